// The switching cycle in one process: what a timed start switches at a given minute, and the
// start it leaves pending.
#include "phone_fixture.h"

#include "schedule/settings.h"
#include "schedule/timed_run.h"

namespace {

struct Box {
    std::u16string text, caption;
    UINT type;
};

class TimedRun : public TempPhone {
  protected:
    void SetUp() override {
        TempPhone::SetUp();
        host::setMessageBoxPresenter(
            [this](HWND, const std::u16string& text, const std::u16string& caption, UINT type) {
                shown.push_back({text, caption, type});
                return IDOK;
            });
        ASSERT_EQ(ERROR_SUCCESS, openSettings());
        WCHAR path[MAX_PATH];
        GetModuleFileName(nullptr, path, MAX_PATH);
        self = host::toUtf8(path);
    }
    void TearDown() override {
        closeSettings();
        TempPhone::TearDown();
    }

    // One timed start at the given local time, as the entry runs it.
    void timedStart(const std::string& when) {
        setClock(when);
        runDueSwitches();
        armWakeUp();
    }
    std::string pending() {
        std::optional<host::PendingStart> p = readPendingFor(self);
        return p ? p->text : "none";
    }
    // The equipment state of the voice lines and of the others, e.g. "5/5".
    std::string radio() {
        std::string voice, other;
        for (const host::LineDevice& l : readLines())
            ((l.mediaModes & 0x4) ? voice : other) += std::to_string(l.equipmentState);
        return voice + "/" + other;
    }

    std::vector<Box> shown;
    std::string self;
};

// 2026-12-13 is a Sunday; the default timetable switches off at 00:00 and on at 07:00 on
// Sunday, Monday and Saturday.
TEST_F(TimedRun, DefaultTimetableSwitchesAndArms) {
    const std::string on = radio();
    ASSERT_NE(std::string::npos, on.find('/')) << "the phone has lines";
    ASSERT_NE('/', on[0]) << "the phone has a voice line";
    ASSERT_EQ(std::string::npos, on.substr(0, on.find('/')).find_first_not_of('5'))
        << "a new phone's voice lines are on: " << on;
    const std::string off = std::string(on.find('/'), '1') + on.substr(on.find('/'));

    struct Case {
        const char* when;
        const char* radio; // "on" or "off" afterwards
        const char* next;
    } cases[] = {
        {"2026-12-14 00:00", "off", "2026-12-14 07:00:00"}, // Monday's switch-off
        {"2026-12-14 06:59", "off", "2026-12-14 07:00:00"}, // a minute matching neither
        {"2026-12-14 07:00", "on", "2026-12-19 00:00:00"},  // Monday's switch-on
        {"2026-12-15 00:00", "on", "2026-12-19 00:00:00"},  // Tuesday: its '0' flag rules
        {"2026-12-14 00:00", "off", "2026-12-14 07:00:00"},
        {"2026-12-14 07:01", "off", "2026-12-19 00:00:00"}, // a late start switches nothing
        {"2026-12-16 07:00", "off", "2026-12-19 00:00:00"}, // Wednesday at its stored minute
        {"2026-12-19 07:00", "on", "2026-12-20 00:00:00"},  // Saturday's switch-on
        {"2026-12-20 23:59", "on", "2026-12-21 00:00:00"},  // Sunday night, Monday next
    };
    for (const Case& c : cases) {
        timedStart(c.when);
        EXPECT_EQ(std::string(c.radio) == "on" ? on : off, radio()) << c.when;
        EXPECT_EQ(c.next, pending()) << c.when;
    }
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(1u, readPending().size()) << "never more than one pending start";
}

TEST_F(TimedRun, EqualSwitchMinutesSwitchOnThenOff) {
    // Tuesday takes part with both switches at 10:00.
    ASSERT_TRUE(writeDayFlags(TEXT("0010000")));
    ASSERT_TRUE(writeSwitchMinute(TEXT("S2"), 600));
    ASSERT_TRUE(writeSwitchMinute(TEXT("C2"), 600));
    const std::string on = radio();
    ASSERT_NE('/', on[0]) << "the phone has a voice line";
    const std::string off = std::string(on.find('/'), '1') + on.substr(on.find('/'));

    // From on: the switch-on leaves it alone and the switch-off turns it off. From off: on
    // and then off again, never the other way round, which would leave it on.
    timedStart("2026-12-15 10:00");
    EXPECT_EQ(off, radio());
    ASSERT_EQ(ERROR_SUCCESS, host::clearTelephonyCalls());
    timedStart("2026-12-15 10:00");
    EXPECT_EQ(off, radio());
    std::vector<std::string> switches;
    for (const host::TelephonyCall& c : readCalls())
        if (c.call == "lineRegister" || c.call == "lineUnregister" || c.call == "lineInitialize")
            switches.push_back(c.call);
    EXPECT_EQ((std::vector<std::string>{"lineInitialize", "lineRegister", "lineInitialize",
                                        "lineUnregister"}),
              switches)
        << "two sessions: on, then off";
    EXPECT_EQ("2026-12-22 10:00:00", pending()) << "Tuesday alone comes round a week later";
    EXPECT_TRUE(shown.empty());
}

TEST_F(TimedRun, NoNextSwitchCancelsThePendingStart) {
    struct Case {
        const char* label;
        const char16_t* flags;
        DWORD minute; // stored as Sunday's switch-on
    } cases[] = {
        {"no weekday", u"0000000", 420},
        {"top bit set", u"1000000", 0x80000000u},
    };
    for (const Case& c : cases) {
        SYSTEMTIME earlier;
        ASSERT_TRUE(host::parseDateTime("2026-12-13 05:00", &earlier));
        WCHAR path[MAX_PATH];
        GetModuleFileName(nullptr, path, MAX_PATH);
        ASSERT_TRUE(CeRunAppAtTime(path, &earlier));
        ASSERT_TRUE(writeDayFlags(c.flags));
        ASSERT_TRUE(writeSwitchMinute(TEXT("S0"), c.minute));
        ASSERT_TRUE(writeSwitchMinute(TEXT("C0"), c.minute));
        timedStart("2026-12-13 00:00");
        EXPECT_EQ("none", pending()) << c.label;
        EXPECT_TRUE(shown.empty()) << c.label;
    }
}

TEST_F(TimedRun, OutOfRangeNextMinuteIsRefusedWithTheNotice) {
    WCHAR path[MAX_PATH];
    GetModuleFileName(nullptr, path, MAX_PATH);
    SYSTEMTIME earlier;
    ASSERT_TRUE(host::parseDateTime("2026-12-13 05:00", &earlier));
    ASSERT_TRUE(CeRunAppAtTime(path, &earlier));

    ASSERT_TRUE(writeSwitchMinute(TEXT("S1"), 1500)); // Monday "25:00"
    const std::string before = radio();
    timedStart("2026-12-14 00:00");
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(u"設定定時器失敗！\nNo : 87", shown[0].text);
    EXPECT_EQ(u"rozev -- 出錯", shown[0].caption);
    EXPECT_EQ(0x10u, shown[0].type);
    EXPECT_EQ("2026-12-13 05:00:00", pending()) << "nothing half-registered";
    EXPECT_NE(before, radio()) << "the switch-off at 00:00 still happened";

    // 25:00 never equals the current minute, so a start at 01:00 switches nothing either.
    timedStart("2026-12-14 01:00");
    EXPECT_EQ(2u, shown.size());
}

TEST_F(TimedRun, ARegistrationReplacesThePreviousOne) {
    WCHAR path[MAX_PATH];
    GetModuleFileName(nullptr, path, MAX_PATH);
    SYSTEMTIME far;
    ASSERT_TRUE(host::parseDateTime("2030-06-01 12:00", &far));
    ASSERT_TRUE(CeRunAppAtTime(path, &far));
    timedStart("2026-12-12 23:00");
    EXPECT_EQ("2026-12-13 00:00:00", pending());
    std::vector<host::PendingStart> all = readPending();
    EXPECT_EQ(1u, all.size());
    EXPECT_TRUE(shown.empty());
}

} // namespace
