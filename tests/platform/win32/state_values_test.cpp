// The phone state's typed reads: each value is judged by where it stands, and what it gives
// tells missing from unreadable, with the status as it came and the reason in words.
#include "support/win32/wine_phone.h"

namespace {

std::string dword(DWORD value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

std::string text(const wchar_t* value) {
    return std::string(reinterpret_cast<const char*>(value), (wcslen(value) + 1) * sizeof(wchar_t));
}

class StateValues : public WinePhone {
  protected:
    void put(const wchar_t* key, const wchar_t* name, DWORD type, const std::string& bytes) {
        ASSERT_EQ(ERROR_SUCCESS, winphone::writeStateValue(key, name, type, bytes.data(),
                                                           static_cast<DWORD>(bytes.size())));
    }
};

TEST_F(StateValues, EachIsJudgedByWhereItStands) {
    enum Read { Dword, Text, Bytes };
    struct Case {
        const wchar_t* key;
        const wchar_t* name;
        DWORD type;
        std::string bytes;
        Read read;
        LONG status;
        const char* problem; // part of the reason given ("" when read well)
    } cases[] = {
        // The names are the registry's: any letter case.
        {L"lines\\7", L"STATE", REG_DWORD, dword(5), Dword, ERROR_SUCCESS, ""},
        {L"Lines\\0", L"State", REG_DWORD, dword(0), Dword, ERROR_BADDB,
         "'State' of phone\\Lines\\0 holds the dword 0, where an equipment state from 1 (off) to 5 "
         "(full) belongs"},
        {L"Lines\\0", L"Registered", REG_DWORD, dword(2), Dword, ERROR_BADDB, "where 0 or 1"},
        {L"Lines\\0\\Faults", L"open", REG_DWORD, dword(0xFFFFFFFF), Dword, ERROR_SUCCESS, ""},
        // A key name that is no number is no line, and a value the layout does not know: only
        // the type and size are judged.
        {L"Lines\\x", L"State", REG_DWORD, dword(9), Dword, ERROR_SUCCESS, ""},
        {L"Lines\\0", L"Unknown", REG_BINARY, "\x01", Dword, ERROR_BADDB,
         "holds the bytes 01, where a dword belongs"},
        {L"Lines\\0", L"Unknown", REG_DWORD, dword(9), Text, ERROR_BADDB,
         "holds the dword 9, where text belongs"},
        {L"", L"Clock", REG_SZ, text(L"2028-02-29 23:59:59"), Text, ERROR_SUCCESS, ""},
        {L"", L"Clock", REG_SZ, text(L"2026-02-29 07:00:00"), Text, ERROR_BADDB,
         "holds the text '2026-02-29 07:00:00', where a date and time"},
        {L"", L"Clock", REG_SZ, std::string("\x32\x00\x30", 3), Text, ERROR_BADDB,
         "holds a string of 3 bytes"},
        {L"", L"Clock", REG_EXPAND_SZ, text(L"2026-12-14 07:00:00"), Text, ERROR_BADDB,
         "40 bytes of type 2"},
        // A long text is cut short in the reason, which stays one line.
        {L"", L"Clock", REG_SZ, text(L"a\nvery long text that goes on and on and on and on"), Text,
         ERROR_BADDB, "'a\\nvery long text that goes on and on an...'"},
        {L"TimedStarts", L"C:\\x.exe", REG_SZ, text(L"2026-12-14 25:00:00"), Text, ERROR_BADDB,
         "'C:\\\\x.exe' of phone\\TimedStarts holds the text"},
        {L"", L"Answers", REG_BINARY, "", Bytes, ERROR_SUCCESS, ""},
        {L"", L"Answers", REG_BINARY, dword(IDOK) + dword(IDNO), Bytes, ERROR_SUCCESS, ""},
        {L"", L"Answers", REG_BINARY, dword(IDYES) + dword(0), Bytes, ERROR_BADDB,
         "the bytes 0600000000000000"},
        {L"Telephony\\Handles", L"1:2", REG_SZ, text(L"line 12"), Text, ERROR_SUCCESS, ""},
        {L"Telephony\\Handles", L"1:2", REG_SZ, text(L"line"), Text, ERROR_BADDB,
         "where 'session' or 'line N' belongs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(winphone::toUtf8(std::wstring(c.key) + L" " + c.name));
        WinePhone::SetUp();
        put(c.key, c.name, c.type, c.bytes);
        LONG status;
        std::string problem;
        if (c.read == Dword) {
            winphone::StateValue<DWORD> v = winphone::stateDword(c.key, c.name);
            status = v.status();
            problem = v.problem();
        } else if (c.read == Text) {
            winphone::StateValue<std::wstring> v = winphone::stateText(c.key, c.name);
            status = v.status();
            problem = v.problem();
        } else {
            winphone::StateValue<std::string> v = winphone::stateBytes(c.key, c.name);
            status = v.status();
            problem = v.problem();
            if (v) {
                EXPECT_EQ(c.bytes, *v);
            }
        }
        EXPECT_EQ(c.status, status);
        EXPECT_NE(std::string::npos, problem.find(c.problem)) << problem;
        EXPECT_EQ(std::string::npos, problem.find('\n'));
        if (c.status != ERROR_SUCCESS) {
            EXPECT_EQ(c.status, winphone::lastStateProblem().status);
            EXPECT_EQ(problem, winphone::lastStateProblem().text);
        }
        // The helper judges the value as stored by the same rules.
        EXPECT_EQ(problem, winphone::stateValueProblem(c.key, c.name, c.type, c.bytes,
                                                       c.read == Dword  ? REG_DWORD
                                                       : c.read == Text ? REG_SZ
                                                                        : REG_BINARY));
    }
}

// Missing is not unreadable, and neither is a default: each says which it is.
TEST_F(StateValues, MissingAndUnreadableAreTold) {
    winphone::StateValue<DWORD> noKey = winphone::stateDword(L"Lines\\9", L"State");
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, noKey.status());
    EXPECT_TRUE(noKey.missing());
    EXPECT_FALSE(noKey);
    EXPECT_EQ(DWORD(3), noKey.value_or(3));

    put(L"", L"TickStep", REG_DWORD, dword(0));
    winphone::StateValue<DWORD> bad = winphone::stateDword(L"", L"TickStep");
    EXPECT_EQ(ERROR_BADDB, bad.status());
    EXPECT_FALSE(bad.missing());
    EXPECT_FALSE(std::optional<DWORD>(bad).has_value());

    // What the layer reads through them.
    std::optional<DWORD> step;
    EXPECT_EQ(ERROR_BADDB, control::virtualTickStep(&step));
    put(L"", L"Clock", REG_SZ, text(L"2026-13-01 00:00:00"));
    std::optional<SYSTEMTIME> pinned;
    EXPECT_EQ(ERROR_BADDB, control::pinnedClock(&pinned));
    ASSERT_EQ(ERROR_SUCCESS, control::pinClock(std::nullopt));
    EXPECT_EQ(ERROR_SUCCESS, control::pinnedClock(&pinned));
    EXPECT_FALSE(pinned.has_value());
}

} // namespace
