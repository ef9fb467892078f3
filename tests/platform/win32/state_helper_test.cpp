// The phone state's helper (velmora-state.exe), as scripts use it: exact bytes in and out,
// UTF-8 with LF line endings, one line of error and a status when something is wrong.
#include "support/win32/wine_phone.h"

#include "schedule/settings.h"

#include <memory>
#include <vector>

namespace {

const wchar_t kHelper[] = L"velmora-state.exe";

class StateHelper : public WinePhone {
  protected:
    ProgramResult helper(const std::wstring& arguments) { return runProgram(kHelper, arguments); }
};

TEST_F(StateHelper, ValuesRoundTripWithExactBytes) {
    struct Case {
        const wchar_t* set; // the arguments after "set settings NAME"
        const char* get;    // what "get" prints
        const char* hex;    // what "hex" prints
    } cases[] = {
        // Exactly the bytes given, whatever the type: seven flags without a terminator.
        {L"Enabled 1 3100310030003000300030003100", "sz 14 1100001\n",
         "1 14 3100310030003000300030003100\n"},
        {L"Enabled sz 1100001", "sz 16 1100001\n", "1 16 31003100300030003000300031000000\n"},
        {L"S3 dword 2000", "dword 4 2000\n", "4 4 d0070000\n"},
        {L"S3 dword 0x80000000", "dword 4 2147483648\n", "4 4 00000080\n"},
        {L"S3 dword -1", "dword 4 4294967295\n", "4 4 ffffffff\n"},
        {L"Blob binary 0102ff", "binary 3 0102ff\n", "3 3 0102ff\n"},
        {L"Note sz \"寫入\tline\"", "sz 16 寫入\\tline\n",
         "1 16 eb5b655109006c0069006e0065000000\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(winphone::toUtf8(c.set));
        ProgramResult set = helper(std::wstring(L"set settings ") + c.set);
        ASSERT_EQ(0u, set.status) << set.err;
        std::wstring name = std::wstring(c.set).substr(0, std::wstring(c.set).find(L' '));
        ProgramResult get = helper(L"get settings " + name);
        EXPECT_EQ(0u, get.status) << get.err;
        EXPECT_EQ(c.get, get.out);
        ProgramResult hex = helper(L"hex settings " + name);
        EXPECT_EQ(c.hex, hex.out);
    }
}

TEST_F(StateHelper, DumpListsTheSettingsAndThePhoneState) {
    setSetting(L"Enabled", REG_SZ, L"1100001", 14);
    setClock("2026-12-12 23:00");
    ASSERT_EQ(ERROR_SUCCESS, control::queueAnswer(IDYES));
    ProgramResult dump = helper(L"dump");
    EXPECT_EQ(0u, dump.status) << dump.err;
    EXPECT_EQ(std::string::npos, dump.out.find('\r')) << "LF line endings";
    EXPECT_NE(std::string::npos,
              dump.out.find("SOFTWARE\\QuillmarshSoft\\Velmora\tEnabled\tsz\t14\t1100001\n"))
        << dump.out;
    EXPECT_NE(std::string::npos,
              dump.out.find("SOFTWARE\\VelmoraPhone\tClock\tsz\t40\t2026-12-12 23:00:00\n"))
        << dump.out;
    EXPECT_NE(std::string::npos,
              dump.out.find("SOFTWARE\\VelmoraPhone\tAnswers\tbinary\t4\t06000000\n"))
        << dump.out;
}

TEST_F(StateHelper, LinesAreListedAndThenCanBeSet) {
    ProgramResult lines = helper(L"lines");
    EXPECT_EQ(0u, lines.status) << lines.err;
    EXPECT_EQ("0\tCellular Line\t0x00000014\t5\tyes\t-\n"
              "1\tCellular Data\t0x00000010\t5\tyes\t-\n",
              lines.out);
    EXPECT_EQ(0u, helper(L"set phone\\Lines\\0 State dword 1").status);
    EXPECT_EQ(0u, helper(L"set phone\\Lines\\1\\Faults open dword -5").status);
    EXPECT_EQ("0\tCellular Line\t0x00000014\t1\tyes\t-\n"
              "1\tCellular Data\t0x00000010\t5\tyes\topen=-5\n",
              helper(L"lines").out);
    EXPECT_EQ(DWORD(LINEEQUIPSTATE_MINIMUM), readLine(0)->equipmentState);
}

TEST_F(StateHelper, AnswersResetAndDeletes) {
    EXPECT_EQ(0u, helper(L"answer yes").status);
    EXPECT_EQ(0u, helper(L"answer retry").status);
    EXPECT_EQ(IDYES, takeQueuedAnswer());
    EXPECT_EQ(IDRETRY, takeQueuedAnswer());
    EXPECT_EQ(0, takeQueuedAnswer());

    EXPECT_EQ(0u, helper(L"set phone\\Lines\\0 State dword 1").status);
    EXPECT_EQ(DWORD(1), winphone::stateDword(L"Lines\\0", L"State").value_or(0));
    EXPECT_EQ(0u, helper(L"delete phone\\Lines\\0 State").status);
    EXPECT_FALSE(winphone::stateDword(L"Lines\\0", L"State"));
    setDword(L"S1", 5);
    EXPECT_EQ(0u, helper(L"reset").status);
    DWORD type;
    std::string bytes;
    EXPECT_FALSE(setting(L"S1", &type, &bytes)) << "the settings went with the phone";
}

// The queue is changed under the layer's mutex: answers queued by processes at once all stay.
TEST_F(StateHelper, AnswersQueuedAtOnceAreAllKept) {
    const int kProcesses = 6;
    std::vector<std::unique_ptr<Process>> helpers;
    for (int i = 0; i < kProcesses; ++i)
        helpers.push_back(std::make_unique<Process>(kHelper, i % 2 ? L"answer yes" : L"answer no"));
    for (auto& p : helpers)
        EXPECT_EQ(0u, p->wait()) << p->err();
    int yes = 0, no = 0;
    for (int answer; (answer = takeQueuedAnswer()) != 0;)
        ++(answer == IDYES ? yes : no);
    EXPECT_EQ(kProcesses / 2, yes);
    EXPECT_EQ(kProcesses / 2, no);
}

TEST_F(StateHelper, MistakesAreOneLineAndAStatus) {
    setDword(L"S1", 420);
    struct Case {
        const wchar_t* arguments;
        DWORD status;
        const char* error;
    } cases[] = {
        {L"get settings Missing", 1, "velmora-state: no value 'Missing' in 'settings'\n"},
        {L"get nowhere\\at\\all Enabled", 1, "velmora-state: no key 'nowhere\\at\\all'\n"},
        {L"set settings S1 dword 12x", 2, "velmora-state: '12x' is not a 32-bit number\n"},
        {L"set settings S1 dword 4294967296", 2,
         "velmora-state: '4294967296' is not a 32-bit number\n"},
        {L"set settings B binary 123", 2,
         "velmora-state: '123' is not hex bytes (two hex digits a byte)\n"},
        {L"set settings B text x", 2,
         "velmora-state: unknown value type 'text' (sz, dword, binary or a type code)\n"},
        {L"answer maybe", 2, "velmora-state: usage: answer ok|cancel|abort|retry|ignore|yes|no\n"},
        {L"frobnicate", 2,
         "velmora-state: unknown verb 'frobnicate' (dump, get, hex, set, delete, reset, answer, "
         "lines, serve)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(winphone::toUtf8(c.arguments));
        ProgramResult r = helper(c.arguments);
        EXPECT_EQ(c.status, r.status);
        EXPECT_EQ(c.error, r.err);
        EXPECT_EQ("", r.out);
    }
}

} // namespace
