// The real program under Wine, with the phone's clock pinned: timed runs that switch or do not,
// the notice of a start that cannot be registered, the command lines that pick the mode, and
// the dialog made full screen by the shell's call, whose Done stores and arms.
#include "support/win32/wine_phone.h"

#include "app/app.h"
#include "schedule/settings.h"
#include "schedule/timed_run.h"

#include <cstring>

namespace {

const wchar_t kProgram[] = L"velmora.exe";

std::string pendingOfProgram() {
    return readPending(programPath(kProgram));
}

std::string bytesOf(const void* data, size_t size) {
    return std::string(static_cast<const char*>(data), size);
}

class Program : public WinePhone {
  protected:
    // Line 0 (the voice line) as the network left it before the run.
    void lineBefore(DWORD state, bool registered) {
        ASSERT_EQ(ERROR_SUCCESS, control::setLineState(0, state));
        ASSERT_EQ(ERROR_SUCCESS, control::setLineRegistered(0, registered));
    }
    // Every stored value of the settings key, name and bytes, for comparing before and after.
    std::string storedSettings() {
        std::string all;
        const wchar_t* names[] = {L"Enabled", L"S0", L"C0", L"S1", L"C1", L"S2", L"C2", L"S3",
                                  L"C3",      L"S4", L"C4", L"S5", L"C5", L"S6", L"C6"};
        for (const wchar_t* name : names) {
            DWORD type = 0;
            std::string bytes;
            if (setting(name, &type, &bytes))
                all += winphone::toUtf8(name) + "=" + std::to_string(type) + ":" + bytes + ";";
        }
        return all;
    }
};

TEST_F(Program, TimedRunsAtPinnedMinutes) {
    struct Case {
        const char* what;
        const char* clock;
        const char* flags; // stored as "Enabled" (14 bytes) when given
        int weekday;       // whose minutes are stored, -1 for none
        DWORD on, off;
        DWORD stateBefore;
        bool registeredBefore;
        DWORD stateAfter;
        bool registeredAfter;
        const char* pending;
    } cases[] = {
        // The default timetable: Sunday, Monday and Saturday, off at 00:00, on at 07:00.
        {"a switch-on minute", "2026-12-14 07:00", nullptr, -1, 0, 0, LINEEQUIPSTATE_MINIMUM, false,
         LINEEQUIPSTATE_FULL, true, "2026-12-19 00:00:00"},
        {"a switch-off minute", "2026-12-14 00:00:30", nullptr, -1, 0, 0, LINEEQUIPSTATE_FULL, true,
         LINEEQUIPSTATE_MINIMUM, false, "2026-12-14 07:00:00"},
        // On, then off in the same run: registered again by the switch-on, unregistered by the
        // switch-off; a run that only switched off would have left the registration alone.
        {"S = C", "2026-12-15 10:00", "1110001", 2, 600, 600, LINEEQUIPSTATE_MINIMUM, true,
         LINEEQUIPSTATE_MINIMUM, false, "2026-12-19 00:00:00"},
        {"a minute that matches nothing", "2026-12-14 12:34", nullptr, -1, 0, 0,
         LINEEQUIPSTATE_FULL, true, LINEEQUIPSTATE_FULL, true, "2026-12-19 00:00:00"},
        {"a day that does not take part, at its stored minute", "2026-12-16 07:00", nullptr, -1, 0,
         0, LINEEQUIPSTATE_MINIMUM, false, LINEEQUIPSTATE_MINIMUM, false, "2026-12-19 00:00:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WinePhone::SetUp();
        setClock(c.clock);
        if (c.flags != nullptr) {
            std::wstring flags = winphone::fromUtf8(c.flags);
            setSetting(L"Enabled", REG_SZ, flags.data(), 14);
        }
        if (c.weekday >= 0) {
            setDword((L"S" + std::to_wstring(c.weekday)).c_str(), c.on);
            setDword((L"C" + std::to_wstring(c.weekday)).c_str(), c.off);
        }
        lineBefore(c.stateBefore, c.registeredBefore);
        std::string before = storedSettings();

        ProgramResult run = runProgram(kProgram, L"AppRunAtTime");
        EXPECT_EQ(DWORD(EXIT_TIMED_RUN), run.status) << run.err;
        std::optional<control::LineDevice> voice = readLine(0);
        ASSERT_TRUE(voice.has_value());
        EXPECT_EQ(c.stateAfter, voice->equipmentState);
        EXPECT_EQ(c.registeredAfter, voice->registered);
        EXPECT_EQ(DWORD(LINEEQUIPSTATE_FULL), readLine(1)->equipmentState)
            << "the data-only line is never switched";
        EXPECT_EQ(c.pending, pendingOfProgram());
        EXPECT_EQ(before, storedSettings()) << "a timed run stores nothing";
        EXPECT_TRUE(readBoxes().empty()) << run.err;
        control::TelephonyStatus telephony = readTelephony();
        EXPECT_EQ(0, telephony.sessionsOpen + telephony.linesOpen + telephony.linesClosedByShutdown)
            << "sessions and lines are closed on every path";
    }
}

TEST_F(Program, NoWeekdayEnabledCancelsThePendingStart) {
    setClock("2026-12-14 07:00");
    SYSTEMTIME earlier;
    ASSERT_TRUE(winphone::parseDateTime("2026-12-19 00:00", &earlier));
    ASSERT_TRUE(CeRunAppAtTime(programPath(kProgram).c_str(), &earlier));
    setSetting(L"Enabled", REG_SZ, L"0000000", 14);
    lineBefore(LINEEQUIPSTATE_MINIMUM, false);

    ProgramResult run = runProgram(kProgram, L"AppRunAtTime");
    EXPECT_EQ(DWORD(EXIT_TIMED_RUN), run.status);
    EXPECT_EQ("none", pendingOfProgram());
    EXPECT_EQ(DWORD(LINEEQUIPSTATE_MINIMUM), readLine(0)->equipmentState);
    EXPECT_TRUE(readBoxes().empty()) << "nothing is reported";
}

// A next switch at a stored minute of 1500 is hour 25, which the timed-start service refuses.
TEST_F(Program, AnImpossibleNextSwitchShowsTheTimerNotice) {
    setClock("2026-12-18 23:00"); // a Friday; Saturday comes next
    setDword(L"S6", 1500);
    setDword(L"C6", 1600);
    SYSTEMTIME earlier;
    ASSERT_TRUE(winphone::parseDateTime("2026-12-19 00:00", &earlier));
    ASSERT_TRUE(CeRunAppAtTime(programPath(kProgram).c_str(), &earlier));

    ProgramResult run = runProgram(kProgram, L"AppRunAtTime");
    EXPECT_EQ(DWORD(EXIT_TIMED_RUN), run.status);
    EXPECT_EQ("2026-12-19 00:00:00", pendingOfProgram()) << "the refused call changed nothing";
    std::vector<Box> boxes = readBoxes();
    ASSERT_EQ(1u, boxes.size()) << run.err;
    EXPECT_EQ(ERROR_NOTICE_CAPTION, boxes[0].caption);
    EXPECT_EQ(std::wstring(TIMER_FAILED_NOTICE) + L"\nNo : 87", boxes[0].text);
    EXPECT_EQ(UINT(MB_OK | MB_ICONERROR), boxes[0].type);
    EXPECT_EQ(IDOK, boxes[0].answer) << "pressed by the layer: nobody is at a console";
    EXPECT_NE(std::string::npos,
              run.err.find("== rozev -- 出錯 ==\n設定定時器失敗！\nNo : 87\n-> ok\n"))
        << run.err;
}

// LINEERR_REINIT past the retry window, in virtual tick time: the Retry/Cancel box, then on
// Cancel the OK box with the same text, and the radio untouched.
TEST_F(Program, ReinitPastTheWindowAsksThenGivesUp) {
    const std::wstring fault = L"Fault!\nlineInitialize ret: -2147483566";
    struct Case {
        std::vector<int> answers; // queued on the phone
        std::vector<UINT> boxes;  // the types shown, in turn
        std::vector<int> taken;
    } cases[] = {
        {{}, {MB_RETRYCANCEL, MB_OK}, {IDCANCEL, IDOK}},
        {{IDRETRY}, {MB_RETRYCANCEL, MB_RETRYCANCEL, MB_OK}, {IDRETRY, IDCANCEL, IDOK}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.boxes.size());
        WinePhone::SetUp();
        setClock("2026-12-14 07:00"); // a switch-on minute
        lineBefore(LINEEQUIPSTATE_MINIMUM, false);
        ASSERT_EQ(ERROR_SUCCESS, control::setReinitAttempts(1000));
        ASSERT_EQ(ERROR_SUCCESS, control::setVirtualTick(1000, 0));
        for (int answer : c.answers)
            ASSERT_EQ(ERROR_SUCCESS, control::queueAnswer(answer));

        ProgramResult run = runProgram(kProgram, L"AppRunAtTime");
        EXPECT_EQ(DWORD(EXIT_TIMED_RUN), run.status);
        std::vector<Box> boxes = readBoxes();
        ASSERT_EQ(c.boxes.size(), boxes.size()) << run.err;
        for (size_t i = 0; i < boxes.size(); ++i) {
            EXPECT_EQ(L"Error", boxes[i].caption);
            EXPECT_EQ(fault, boxes[i].text);
            EXPECT_EQ(c.boxes[i], boxes[i].type);
            EXPECT_EQ(c.taken[i], boxes[i].answer);
        }
        EXPECT_EQ(DWORD(LINEEQUIPSTATE_MINIMUM), readLine(0)->equipmentState);
        EXPECT_EQ("2026-12-19 00:00:00", pendingOfProgram())
            << "the next start is armed all the same";
    }
}

// Only the exact command line is a timed run: the platform's lstrcmp would call a soft hyphen,
// a trailing zero-width joiner or a leading byte-order mark equal.
TEST_F(Program, OnlyTheExactCommandLineIsATimedRun) {
    const wchar_t* interactive[] = {L"App\u00ADRunAtTime", L"AppRunAtTime\u200D",
                                    L"\uFEFFAppRunAtTime", L"apprunattime", L"AppRunAtTime x"};
    for (const wchar_t* commandLine : interactive) {
        SCOPED_TRACE(winphone::toUtf8(commandLine));
        // A script that has not ended keeps the dialog open.
        Process p(kProgram, commandLine, Process::FromPipe);
        ASSERT_TRUE(p.started());
        HWND dialog = p.waitForWindow(DIALOG_CAPTION);
        ASSERT_NE(nullptr, dialog) << "the interactive mode opens the dialog";
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_EQ(DWORD(EXIT_INTERACTIVE), p.wait());
    }
    EXPECT_EQ("none", pendingOfProgram()) << "Cancel armed nothing";
    EXPECT_EQ(DWORD(EXIT_TIMED_RUN), runProgram(kProgram, L"AppRunAtTime").status);
}

TEST_F(Program, TheDialogFillsTheScreenAndDoneStoresAndArms) {
    setClock("2026-12-12 23:00"); // a Saturday evening
    Process p(kProgram, L"", Process::FromPipe);
    HWND dialog = p.waitForWindow(DIALOG_CAPTION);
    ASSERT_NE(nullptr, dialog);
    RECT area, window;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0));
    ASSERT_TRUE(GetWindowRect(dialog, &window));
    EXPECT_EQ(area.left, window.left);
    EXPECT_EQ(area.top, window.top);
    EXPECT_EQ(area.right, window.right);
    EXPECT_EQ(area.bottom, window.bottom);
    EXPECT_TRUE(GetWindowLongPtrW(dialog, GWL_STYLE) & WS_SYSMENU) << "Done is the close box";

    // A second start hands over to the running dialog: it ends at once, and no second dialog
    // opens.
    ProgramResult second = runProgram(kProgram, L"");
    EXPECT_EQ(DWORD(EXIT_INTERACTIVE), second.status);
    EXPECT_EQ(dialog, FindWindowW(nullptr, DIALOG_CAPTION));
    EXPECT_EQ(STILL_ACTIVE, p.wait(0));

    // Done: the close box's SC_CLOSE is OK, which stores the timetable and arms.
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(DWORD(EXIT_INTERACTIVE), p.wait());
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(setting(L"Enabled", &type, &bytes));
    EXPECT_EQ(DWORD(REG_SZ), type);
    EXPECT_EQ(bytesOf(L"1100001", 14), bytes) << "seven flags in 14 bytes";
    for (int day = 0; day < 7; ++day) {
        for (const wchar_t* kind : {L"S", L"C"}) {
            std::wstring name = kind + std::to_wstring(day);
            SCOPED_TRACE(winphone::toUtf8(name));
            DWORD minute = kind[0] == L'S' ? 420 : 0;
            ASSERT_TRUE(setting(name.c_str(), &type, &bytes));
            EXPECT_EQ(DWORD(REG_DWORD), type);
            EXPECT_EQ(bytesOf(&minute, 4), bytes);
        }
    }
    EXPECT_EQ("2026-12-13 00:00:00", pendingOfProgram());
    EXPECT_TRUE(readBoxes().empty());
}

} // namespace
