// The timetable's storage: defaults, formats and the way odd stored values read.
#include "phone_fixture.h"

#include "schedule/settings.h"

namespace {

class Settings : public TempPhone {
  protected:
    void SetUp() override {
        TempPhone::SetUp();
        ASSERT_EQ(ERROR_SUCCESS, openSettings());
    }
    void TearDown() override {
        closeSettings();
        TempPhone::TearDown();
    }
    void store(const char* name, DWORD type, const void* bytes, DWORD size) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(SETTINGS_ROOT, SETTINGS_KEY_PATH, 0, nullptr, 0, 0,
                                                 nullptr, &key, nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, host::fromUtf8(name).c_str(), 0, type,
                                                (const BYTE*)bytes, size));
        RegCloseKey(key);
    }
    std::string flags() {
        WCHAR buffer[DAY_FLAGS_CHARS];
        for (WCHAR& c : buffer)
            c = u'?';
        EXPECT_TRUE(readDayFlags(buffer));
        return host::toUtf8(std::u16string(buffer, 7));
    }
};

TEST_F(Settings, AnEmptyKeyReadsAsTheDefaults) {
    EXPECT_EQ("1100001", flags());
    for (int day = 0; day < 7; ++day) {
        EXPECT_EQ(420u, readWeekdayMinute(SwitchOn, day));
        EXPECT_EQ(0u, readWeekdayMinute(SwitchOff, day));
    }
}

TEST_F(Settings, StoredFlagsOfEveryLength) {
    struct Case {
        std::u16string stored;
        DWORD bytes; // as stored
        std::string read;
    } cases[] = {
        {u"0111110", 14, "0111110"},
        {u"0111110", 16, "0111110"},   // with its terminator, as an editor stores it
        {u"11", 4, "1100000"},         // missing weekdays do not take part
        {u"1111111", 13, "1111110"},   // a half character does not take part either
        {u"11111111", 16, "1111111"},  // eight characters fill the buffer exactly
        {u"111111111", 18, "1100001"}, // more than 16 bytes cannot be read: defaults
        {u"", 0, "0000000"},
    };
    for (const Case& c : cases) {
        store("Enabled", REG_SZ, c.stored.c_str(), c.bytes);
        EXPECT_EQ(c.read, flags()) << host::toUtf8(c.stored) << " in " << c.bytes << " bytes";
    }
}

TEST_F(Settings, MinutesAreReadUnchangedOrDefaulted) {
    DWORD big = 2000, top = 0x80000000u;
    store("S3", REG_DWORD, &big, 4);
    store("C4", REG_DWORD, &top, 4);
    EXPECT_EQ(2000u, readSwitchMinute(u"S3")) << "never clamped";
    EXPECT_EQ(0x80000000u, readSwitchMinute(u"C4"));
    EXPECT_EQ(0u, readSwitchMinute(u"C5"));
    EXPECT_EQ(420u, readSwitchMinute(u"S5"));
    EXPECT_EQ(420u, readSwitchMinute(u"Sx")) << "the default follows the first letter only";

    WORD shortValue = 0x1234;
    store("S1", REG_DWORD, &shortValue, 2);
    EXPECT_EQ(0x1234u, readSwitchMinute(u"S1")) << "missing upper bytes read as zero";
    BYTE eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    store("C1", REG_BINARY, eight, 8);
    EXPECT_EQ(0u, readSwitchMinute(u"C1")) << "too long to read: the default";
}

TEST_F(Settings, WritesUseTheStorageFormat) {
    EXPECT_TRUE(writeDayFlags(u"1010101"));
    EXPECT_TRUE(writeSwitchMinute(u"S2", 605));
    EXPECT_EQ("sz 14 1010101\n", phone({"reg", "get", "Enabled"}).out);
    EXPECT_EQ("dword 4 605\n", phone({"reg", "get", "S2"}).out);
    EXPECT_EQ("1010101", flags());
    EXPECT_EQ(605u, readWeekdayMinute(SwitchOn, 2));
    EXPECT_TRUE(boxes().empty());
}

TEST_F(Settings, AFailedWriteShowsItsNoticeAndGoesOn) {
    closeSettings(); // writes now go to a handle that is not open
    EXPECT_FALSE(writeSwitchMinute(u"C6", 30));
    EXPECT_FALSE(writeDayFlags(u"1111111"));
    std::vector<control::MessageRecord> all = boxes();
    ASSERT_EQ(2u, all.size());
    EXPECT_EQ("rozev -- 出錯", all[0].caption);
    EXPECT_EQ("往註冊表內寫入設定時出錯！\nC6\nNo : 6", all[0].text);
    EXPECT_EQ(0x10u, all[0].type);
    EXPECT_EQ("往註冊表內寫入設定時出錯！\nEnabled\nNo : 6", all[1].text);
    EXPECT_EQ("1100001", flags()) << "reads fall back to the defaults silently";
    EXPECT_EQ(2u, boxes().size());
}

TEST(DayFlags, OnlyTheCharacterOneTakesPart) {
    const WCHAR flags[] = u"1x1 0A1";
    const bool expected[] = {true, false, true, false, false, false, true};
    for (int day = 0; day < 7; ++day)
        EXPECT_EQ(expected[day], dayTakesPart(flags, day) != FALSE) << day;
    EXPECT_FALSE(dayTakesPart(flags, 7));
    EXPECT_FALSE(dayTakesPart(flags, -1));
}

TEST(SwitchNames, FollowTheWeekdayIndex) {
    WCHAR name[SWITCH_NAME_CHARS];
    formatSwitchName(name, SWITCH_NAME_CHARS, SwitchOn, 0);
    EXPECT_EQ(u"S0", std::u16string(name));
    formatSwitchName(name, SWITCH_NAME_CHARS, SwitchOff, 6);
    EXPECT_EQ(u"C6", std::u16string(name));
}

} // namespace
