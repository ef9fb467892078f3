// The real program's processes racing one another under Wine, where the program's locks are
// Wine's own named mutexes (one namespace per prefix): interactive starts at the same moment,
// and the dialog's OK against a timed run. Fewer rounds than on the simulated phone, since
// every start here is a Wine process.
#include "support/win32/wine_phone.h"

#include "app/app.h"
#include "schedule/settings.h"

#include <chrono>
#include <memory>

namespace {

const wchar_t kProgram[] = L"velmora.exe";

std::string pendingOfProgram() {
    return readPending(programPath(kProgram));
}

long long msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

class Races : public WinePhone {};

// Every start while a dialog is opening or open hands over to it: one dialog opens, however
// many starts come at once. Each start has its script ready on a pipe (`dump`, then `ok`), as
// a script would pipe it; a second dialog would read it and dump too.
TEST_F(Races, StartsAtOnceOpenOneDialog) {
    const int kRounds = 3, kStarts = 20;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        WinePhone::SetUp();
        setClock("2026-12-12 23:00"); // a Saturday evening: Sunday 00:00 comes next
        auto began = std::chrono::steady_clock::now();
        std::vector<std::unique_ptr<Process>> starts;
        for (int i = 0; i < kStarts; ++i) {
            starts.push_back(std::make_unique<Process>(kProgram, L"", Process::FromPipe));
            ASSERT_TRUE(starts.back()->started());
        }
        // The starts that hand over end by themselves; the dialog waits for its script.
        int ended = 0;
        while (msSince(began) < 30000) {
            ended = 0;
            for (const auto& p : starts)
                ended += p->wait(0) != STILL_ACTIVE;
            if (ended >= kStarts - 1)
                break;
            Sleep(20);
        }
        // A start that has handed over reads no more; writing to it may fail, harmlessly.
        for (const auto& p : starts) {
            p->send("dump\nok\n");
            p->closeInput();
        }
        int dialogs = 0;
        for (const auto& p : starts) {
            EXPECT_EQ(DWORD(EXIT_INTERACTIVE), p->wait()) << p->err();
            dialogs += p->out().find("1000\tButton\t\"SUN\"") != std::string::npos;
        }
        EXPECT_EQ(kStarts - 1, ended) << "every start but one handed over";
        EXPECT_EQ(1, dialogs);
        EXPECT_EQ("2026-12-13 00:00:00", pendingOfProgram()) << "the one dialog's OK armed";
        EXPECT_TRUE(readBoxes().empty()) << "no lock was given up on";
    }
}

// A timed run and the dialog's OK at the same moment: whichever comes last, the start left
// pending is the one the stored timetable gives. The dialog is open, its change made, before
// the timed run starts. Its OK is sent once the timed run has opened its telephony session, a
// little later each round, so that the dialog stores and registers before, while and after the
// timed run switches the radio and registers (measured: the switch takes 3-22 ms from the
// session, and a line of the script runs 2-15 ms after it is sent).
TEST_F(Races, DialogOkAgainstATimedRunLeavesTheTimetablesStart) {
    const int kRounds = 10, kStepMs = 2;
    const std::wstring program = programPath(kProgram);
    SYSTEMTIME sevenOClock;
    ASSERT_TRUE(winphone::parseDateTime("2026-12-14 07:00", &sevenOClock));
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        WinePhone::SetUp();
        setClock("2026-12-14 00:00"); // Monday: the switch-off is due, 07:00 comes next
        setDword(L"S1", 420);
        ASSERT_EQ(ERROR_SUCCESS, control::setLineState(0, LINEEQUIPSTATE_FULL));
        ASSERT_TRUE(CeRunAppAtTime(program.c_str(), &sevenOClock));

        Process dialog(kProgram, L"", Process::FromPipe);
        ASSERT_TRUE(dialog.send("set 1011 6:30\ndump\n"));
        ASSERT_TRUE(dialog.waitForOutput("1011\t")) << dialog.out();
        Process timed(kProgram, L"AppRunAtTime");
        auto started = std::chrono::steady_clock::now();
        while (winphone::stateValueNames(L"Telephony\\Handles").empty() &&
               timed.wait(0) == STILL_ACTIVE && msSince(started) < 30000)
            Sleep(1);
        Sleep(round * kStepMs);
        ASSERT_TRUE(dialog.send("ok\n"));
        dialog.closeInput();
        EXPECT_EQ(DWORD(EXIT_TIMED_RUN), timed.wait()) << timed.err();
        EXPECT_EQ(DWORD(EXIT_INTERACTIVE), dialog.wait()) << dialog.err();

        DWORD type = 0, s1 = 0;
        std::string bytes;
        ASSERT_TRUE(setting(L"S1", &type, &bytes));
        ASSERT_EQ(sizeof s1, bytes.size());
        memcpy(&s1, bytes.data(), sizeof s1);
        ASSERT_EQ(390u, s1) << "the dialog stored Monday's 6:30";
        EXPECT_EQ("2026-12-14 06:30:00", pendingOfProgram());
        EXPECT_EQ(DWORD(LINEEQUIPSTATE_MINIMUM), readLine(0)->equipmentState);
        EXPECT_TRUE(readBoxes().empty()) << timed.err() << dialog.err();
    }
}

} // namespace
