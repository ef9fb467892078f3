// Processes that start at the same moment on one phone: interactive starts racing one another,
// and the dialog's OK racing a timed run. Each race is run for many rounds, with the phone's
// tick count real and virtual: virtual time must not cut short the waits that keep them apart.
#include "phone_fixture.h"

#include "schedule/next_switch.h"
#include "schedule/settings.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

class Races : public TempPhone, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        TempPhone::SetUp();
        if (GetParam()) {
            ASSERT_EQ(ERROR_SUCCESS, control::setVirtualTick(10000));
        }
    }
};

// A program started with a pipe for its standard input, which the test writes when it likes.
struct Started {
    pid_t pid = -1;
    int input = -1;
    std::string outPath, errPath;
    int status = -1;
};

Started startWithPipe(const std::string& program, const std::string& work, int index) {
    Started s;
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return s;
    s.outPath = work + "/out." + std::to_string(index);
    s.errPath = work + "/err." + std::to_string(index);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[0], 0);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    posix_spawn_file_actions_addopen(&actions, 1, s.outPath.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, s.errPath.c_str(), O_WRONLY | O_CREAT, 0600);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    if (posix_spawn(&s.pid, program.c_str(), &actions, nullptr, argv, environ) != 0)
        s.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[0]);
    s.input = pipeFds[1];
    return s;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Every start while a dialog is opening or open hands over to it: exactly one dialog opens,
// however many starts come at once.
TEST_P(Races, StartsAtOnceOpenOneDialog) {
    const int kRounds = 4, kStarts = 12;
    signal(SIGPIPE, SIG_IGN);
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::string work = dir + "/round" + std::to_string(round);
        ASSERT_TRUE(std::filesystem::create_directory(work));
        std::vector<Started> starts;
        for (int i = 0; i < kStarts; ++i)
            starts.push_back(startWithPipe(VELMORA_EXE, work, i));
        // The starts that hand over end at once; the dialog waits for its commands.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        int ended = 0;
        while (ended < kStarts - 1 && std::chrono::steady_clock::now() < deadline) {
            for (Started& s : starts)
                if (s.status < 0 && s.pid > 0 && waitpid(s.pid, &s.status, WNOHANG) == s.pid)
                    ++ended;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        for (Started& s : starts) {
            // A start that has handed over reads no more; the write to it fails harmlessly.
            ssize_t written = write(s.input, "dump\nok\n", 8);
            (void)written;
            close(s.input);
        }
        int dialogs = 0, handedOver = 0;
        for (Started& s : starts) {
            if (s.status < 0)
                waitpid(s.pid, &s.status, 0);
            EXPECT_TRUE(WIFEXITED(s.status) && WEXITSTATUS(s.status) == 0) << slurp(s.errPath);
            dialogs += slurp(s.outPath).find("1000\tButton\t\"SUN\"") != std::string::npos;
            handedOver += slurp(s.errPath).find("to the front") != std::string::npos;
        }
        EXPECT_EQ(1, dialogs);
        EXPECT_EQ(kStarts - 1, handedOver);
        EXPECT_EQ(1u, readPending().size()) << "the one dialog's OK armed the start";
        ASSERT_EQ(ERROR_SUCCESS, control::clearPendingStarts());
    }
}

// A timed run and the dialog's OK at the same moment: whichever comes last, the start left
// pending is the one the stored timetable gives.
TEST_P(Races, DialogOkAgainstATimedRunLeavesTheTimetablesStart) {
    const int kRounds = 50;
    ASSERT_EQ(ERROR_SUCCESS, openSettings());
    setClock("2026-12-14 00:00"); // Monday: the switch-off is due, 07:00 comes next
    SYSTEMTIME sevenOClock;
    ASSERT_TRUE(host::parseDateTime("2026-12-14 07:00", &sevenOClock));
    const std::u16string program = host::fromUtf8(VELMORA_EXE);
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_TRUE(writeSwitchMinute(u"S1", 420));
        ASSERT_EQ(ERROR_SUCCESS, control::setLineState(0, 5));
        ASSERT_TRUE(CeRunAppAtTime(program.c_str(), &sevenOClock));
        CommandResult timed, dialog;
        // The dialog starts a little later each round, so that its OK falls at every point of
        // the timed run's work.
        std::thread t([&] { timed = velmora({"AppRunAtTime"}); });
        std::thread d([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(round % 10 * 4));
            dialog = velmora({}, "set 1011 6:30\nok\n");
        });
        t.join();
        d.join();
        EXPECT_EQ(1, timed.status) << timed.err;
        EXPECT_EQ(0, dialog.status) << dialog.err;

        SYSTEMTIME next = {};
        LONG minute = findNextSwitch(&next);
        ASSERT_EQ(390, minute) << "the dialog stored Monday's 6:30";
        std::optional<control::PendingStart> pending = readPendingFor(VELMORA_EXE);
        ASSERT_TRUE(pending.has_value());
        EXPECT_EQ("2026-12-14 06:30:00", pending->text);
    }
    EXPECT_TRUE(boxes().empty());
    closeSettings();
}

INSTANTIATE_TEST_SUITE_P(Tick, Races, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "virtual" : "real"; });

} // namespace
