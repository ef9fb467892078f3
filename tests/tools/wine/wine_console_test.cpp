// The console on a phone under Wine: its verbs through the Wine phone, the --wine switch of
// velmora-phone, and a difference planted between the two phones that the comparison must
// report. Runs in the test prefix ($VELMORA_TEST_WINEPREFIX) with the Win32 build in
// $VELMORA_WIN32_BIN; one helper serves every in-process test.
#include "phone_fixture.h"
#include "tools/velmora-phone/phone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string testPrefix() {
    const char* prefix = std::getenv("VELMORA_TEST_WINEPREFIX");
    return prefix ? prefix : "";
}

// One Wine phone for the whole program: a helper start costs a second or two.
phone::Phone* theWinePhone() {
    static std::unique_ptr<phone::Phone> wine = [] {
        std::unique_ptr<phone::Phone> p = phone::winePhone(testPrefix());
        LONG status = p->open();
        EXPECT_EQ(ERROR_SUCCESS, status) << p->problem();
        return status == ERROR_SUCCESS ? std::move(p) : nullptr;
    }();
    return wine.get();
}

struct Said {
    int status;
    std::string out, err;
};

class WineConsole : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(testPrefix().empty()) << "VELMORA_TEST_WINEPREFIX names the test prefix";
        wine = theWinePhone();
        ASSERT_NE(nullptr, wine);
        ASSERT_EQ(ERROR_SUCCESS, wine->resetPhone()) << wine->problem();
    }

  public:
    Said run(const std::vector<std::string>& words) {
        const phone::Verb* verb = phone::findVerb(words.at(0));
        EXPECT_NE(nullptr, verb) << words[0];
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int status = verb ? verb->run(*wine, phone::Args(words.begin() + 1, words.end())) : -1;
        std::string out = testing::internal::GetCapturedStdout();
        return {status, out, testing::internal::GetCapturedStderr()};
    }

  protected:
    phone::Phone* wine = nullptr;
};

// Each group: verbs run in turn on a new Wine phone, with what each must print and exit with.
struct Expect {
    std::vector<std::string> words;
    int status;
    std::string out; // exactly, unless it begins with '~': then the rest must appear in it
};

void check(WineConsole* test, const std::vector<Expect>& group) {
    for (const Expect& e : group) {
        Said said = test->run(e.words);
        std::string line;
        for (const std::string& w : e.words)
            line += w + " ";
        EXPECT_EQ(e.status, said.status) << line << "\n" << said.err;
        if (!e.out.empty() && e.out[0] == '~')
            EXPECT_NE(std::string::npos, said.out.find(e.out.substr(1))) << line << said.out;
        else
            EXPECT_EQ(e.out, said.out) << line;
        // A failure is one line on standard error.
        if (said.status != 0) {
            EXPECT_EQ(1, std::count(said.err.begin(), said.err.end(), '\n')) << said.err;
        }
    }
}

TEST_F(WineConsole, RegistryValuesWithTheirExactBytes) {
    check(this, {
                    {{"reg", "get", "Enabled"}, 1, ""},
                    {{"reg", "set", "Enabled", "sz", "1100001"}, 0, ""},
                    {{"reg", "get", "Enabled"}, 0, "sz 16 1100001\n"},
                    {{"reg", "set", "Notice", "sz", "無線電\tON"}, 0, ""},
                    {{"reg", "get", "Notice"}, 0, "sz 14 無線電\\tON\n"},
                    {{"reg", "set", "S1", "dword", "0x1c2"}, 0, ""},
                    {{"reg", "get", "S1"}, 0, "dword 4 450\n"},
                    {{"reg", "set", "Raw", "binary", "00ff10"}, 0, ""},
                    {{"reg", "get", "Raw"}, 0, "binary 3 00ff10\n"},
                    {{"reg", "delete", "Raw"}, 0, ""},
                    {{"reg", "delete", "Raw"}, 1, ""},
                    {{"reg", "set", "Bad", "dword", "12x"}, 2, ""},
                });
}

TEST_F(WineConsole, ClockNextAndPending) {
    check(this, {
                    {{"clock", "set", "2026-12-14 06:00"}, 0, ""},
                    {{"clock"}, 0, "2026-12-14 06:00:00\n"},
                    {{"next"}, 0, "~Next : 2026/12/14 7:00"},
                    {{"pending"}, 0, "none\n"},
                    {{"clock", "set", "2026-02-30 06:00"}, 2, ""},
                    {{"clock", "follow"}, 0, ""},
                });
    // The program's own answer: the next switch moves with the stored timetable.
    check(this, {
                    {{"clock", "set", "2026-12-14 06:00"}, 0, ""},
                    {{"reg", "set", "S1", "dword", "395"}, 0, ""},
                    {{"next"}, 0, "~2026/12/14 6:35"},
                });
}

TEST_F(WineConsole, LinesFaultsAndTelephony) {
    check(this, {
                    {{"lines"},
                     0,
                     "0\tCellular Line\t0x00000014\t5\tyes\t-\n"
                     "1\tCellular Data\t0x00000010\t5\tyes\t-\n"},
                    {{"line", "0", "state", "1"}, 0, ""},
                    {{"line", "0", "register", "no"}, 0, ""},
                    {{"line", "0", "fail", "setstate", "LINEERR_OPERATIONFAILED"}, 0, ""},
                    {{"line", "add", "Fax", "8", "3"}, 0, "2\n"},
                    {{"line", "1", "remove"}, 0, ""},
                    {{"lines"},
                     0,
                     "0\tCellular Line\t0x00000014\t1\tno\tsetstate=-2147483576\n"
                     "1\tFax\t0x00000008\t3\tno\t-\n"},
                    {{"line", "7", "state", "2"}, 2, ""},
                    {{"line", "0", "heal"}, 0, ""},
                    {{"reinit", "3"}, 0, ""},
                    {{"reinit", "for", "1500"}, 0, ""},
                    {{"telephony", "fail", "LINEERR_NODRIVER"}, 0, ""},
                    {{"telephony"},
                     0,
                     "sessions open\t0\nlines open\t0\nlines closed by shutdown\t0\n"
                     "reinit attempts\t3\nreinit milliseconds\t1500\ninit fault\t-2147483581\n"},
                    {{"telephony", "calls"}, 0, ""},
                    {{"tick", "virtual", "10", "1000"}, 0, ""},
                    {{"tick"}, 0, "1000\tvirtual +10 ms a reading\n"},
                    {{"tick", "real"}, 0, ""},
                });
}

TEST_F(WineConsole, BoxesAndAnswers) {
    check(this, {
                    {{"answer", "retry"}, 0, ""},
                    {{"answer", "maybe"}, 2, ""},
                    {{"messages"}, 0, ""},
                    {{"messages", "clear"}, 0, ""},
                });
}

// What the Wine phone cannot do reaches the console with the phone's own status and reason, as
// on the simulated phone: here a value of the phone's state that holds what it must not.
TEST_F(WineConsole, AFailureCarriesThePhonesOwnStatus) {
    struct Case {
        const char16_t* name;
        DWORD type;
        std::string bytes;
        std::vector<std::string> words;
        const char* said; // a part of the one line on standard error
    } cases[] = {
        {u"Answers",
         REG_BINARY,
         std::string("\x63\0\0\0", 4),
         {"answer", "yes"},
         "(status 1009: the value 'Answers' of phone holds the bytes 63000000"},
        {u"TickStep",
         REG_DWORD,
         std::string(4, '\0'),
         {"tick"},
         "(status 1009: the value 'TickStep' of phone holds the dword 0"},
        {u"Clock",
         REG_SZ,
         std::string("s\0o\0o\0n\0\0\0", 10),
         {"clock"},
         "(status 1009: the value 'Clock' of phone holds the text 'soon'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words[0]);
        ASSERT_EQ(ERROR_SUCCESS, wine->resetPhone()) << wine->problem();
        ASSERT_EQ(ERROR_SUCCESS,
                  wine->writeValue(u"\\SOFTWARE\\VelmoraPhone", {c.name, c.type, c.bytes}))
            << wine->problem();
        Said said = run(c.words);
        EXPECT_EQ(1, said.status);
        EXPECT_NE(std::string::npos, said.err.find(c.said)) << said.err;
        EXPECT_EQ(1, std::count(said.err.begin(), said.err.end(), '\n')) << said.err;
    }
}

TEST_F(WineConsole, TimedRunsAndASimulatedSpan) {
    // One timed run arms the first start; the path is the host's name for the .exe.
    check(this, {{{"clock", "set", "2026-12-12 23:00"}, 0, ""}});
    std::string why;
    long long pid = 0;
    const std::string program = phone::win32ProgramFolder() + "/velmora.exe";
    EXPECT_EQ(1, wine->runProgram(program, {"AppRunAtTime"}, "", &why, &pid)) << why;
    EXPECT_GT(pid, 0);
    Said pending = run({"pending"});
    char resolved[4096];
    ASSERT_NE(nullptr, realpath(program.c_str(), resolved));
    EXPECT_EQ(std::string(resolved) + "\t2026-12-13 00:00:00\n", pending.out);

    Said simulated = run({"simulate", "--days", "1", "--tsv"});
    EXPECT_EQ(0, simulated.status) << simulated.err;
    EXPECT_NE(std::string::npos,
              simulated.out.find("start\t2026-12-13 00:00:00\t" + std::string(resolved) +
                                 "\t2026-12-13 00:00:00\t0=5,1=5\t0=1,1=5\t0\t2026-12-13 07:00:00"))
        << simulated.out;
    EXPECT_NE(std::string::npos, simulated.out.find("summary\t2\t1\t1\t0\t0\t0\n"))
        << simulated.out;
    EXPECT_NE(std::string::npos, simulated.out.find("clock\t2026-12-13 07:00:00\n"));
    // A program that is not there is said at once, not tried again.
    EXPECT_EQ(-1,
              wine->runProgram(phone::win32ProgramFolder() + "/no-such.exe", {}, "", &why, &pid));
    EXPECT_EQ(0, pid);
    EXPECT_NE(std::string::npos, why.find("cannot start it (error 2)")) << why;
    // The telephony calls of each start were logged, by the started process.
    Said calls = run({"telephony", "calls"});
    EXPECT_NE(std::string::npos, calls.out.find("\tlineSetEquipmentState\t0\t0\t")) << calls.out;
}

// velmora-phone itself: the switch, and a phone that cannot be reached.
TEST(WineConsoleProgram, TheWineSwitchIsAskedForAndChecked) {
    char dirTemplate[] = "/tmp/wine-console-test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dirTemplate));
    const std::string dir = dirTemplate, store = "VELMORA_PHONE=" + dir + "/phone.db";

    CommandResult noPrefix = runProgram(VELMORA_PHONE_EXE, {"--wine"});
    EXPECT_EQ(2, noPrefix.status);
    EXPECT_NE(std::string::npos, noPrefix.err.find("--wine needs the prefix"));

    // A prefix in the environment does not switch the console by itself.
    const std::string unused = dir + "/not-a-phone";
    CommandResult simulated =
        runProgram(VELMORA_PHONE_EXE, {"pending"}, "", {store, "VELMORA_WINEPREFIX=" + unused});
    EXPECT_EQ(0, simulated.status) << simulated.err;
    EXPECT_EQ("none\n", simulated.out);
    struct stat st;
    EXPECT_NE(0, stat(unused.c_str(), &st));

    // No Win32 build where the console looks: one line saying where it looked, no prefix made.
    CommandResult noBuild = runProgram(VELMORA_PHONE_EXE, {"--wine", unused, "lines"}, "",
                                       {"VELMORA_WIN32_BIN=" + dir});
    EXPECT_EQ(1, noBuild.status);
    EXPECT_NE(std::string::npos, noBuild.err.find("no Win32 build in " + dir));
    EXPECT_EQ(1, std::count(noBuild.err.begin(), noBuild.err.end(), '\n')) << noBuild.err;
    EXPECT_NE(0, stat(unused.c_str(), &st));

    // Through the real program and the real helper, on the test prefix.
    CommandResult lines = runProgram(VELMORA_PHONE_EXE, {"--wine", testPrefix(), "lines"});
    EXPECT_EQ(0, lines.status) << lines.err;
    EXPECT_EQ(0u, lines.out.find("0\tCellular Line\t0x00000014\t")) << lines.out;
    std::system(("rm -rf '" + dir + "'").c_str());
}

// An edit planted on one phone between two steps fails the comparison, which shows both values.
TEST(WineComparison, APlantedDifferenceIsReportedWithBothSides) {
    char dirTemplate[] = "/tmp/wine-compare-test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dirTemplate));
    const std::string file = std::string(dirTemplate) + "/scenarios";
    std::ofstream(file) << "scenario alike: nothing planted\n"
                           "  reg set S1 dword 420\n"
                           "  lines\n"
                           "scenario planted-value: the Wine phone's switch-on edited\n"
                           "  reg set S1 dword 420\n"
                           "  on wine: reg set S1 dword 421\n"
                           "  lines\n"
                           "scenario planted-line: the simulated phone's radio switched off\n"
                           "  clock set \"2026-12-14 06:00\"\n"
                           "  on simulated: line 0 state 1\n";
    CommandResult result = runProgram(VELMORA_COMPARE_EXE, {"--wine", testPrefix(), file});
    EXPECT_EQ(1, result.status) << result.out << result.err;
    const std::string& out = result.out;
    EXPECT_NE(std::string::npos, out.find("ok   alike")) << out;
    EXPECT_NE(std::string::npos, out.find("FAIL planted-value")) << out;
    EXPECT_NE(std::string::npos, out.find("line 6: on wine: reg set S1 dword 421")) << out;
    EXPECT_NE(std::string::npos, out.find("simulated: S1 type 4, 4 bytes a4010000")) << out;
    EXPECT_NE(std::string::npos, out.find("wine:      S1 type 4, 4 bytes a5010000")) << out;
    EXPECT_NE(std::string::npos, out.find("FAIL planted-line")) << out;
    EXPECT_NE(std::string::npos, out.find("simulated: 0\tCellular Line\t0x00000014\t1\tyes"))
        << out;
    EXPECT_NE(std::string::npos, out.find("wine:      0\tCellular Line\t0x00000014\t5\tyes"))
        << out;
    EXPECT_NE(std::string::npos, out.find("1 passed, 2 failed\n")) << out;
    std::system(("rm -rf '" + std::string(dirTemplate) + "'").c_str());
}

} // namespace
