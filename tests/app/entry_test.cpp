// The entry: which mode a command line picks, the exit codes, and a settings key that cannot
// be opened.
#include "phone_fixture.h"

#include "app/app.h"

#include <fstream>

namespace {

class Entry : public TempPhone {};

TEST_F(Entry, CommandLinePicksTheMode) {
    struct Case {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{"AppRunAtTime"}, 1},
        {{}, 0},
        {{"apprunattime"}, 0},
        {{"APPRUNATTIME"}, 0},
        {{"AppRunAtTime", "x"}, 0}, // the arguments join into "AppRunAtTime x"
        {{"AppRunAtTimeX"}, 0},
        {{" AppRunAtTime"}, 0},
        // Equal to it by a locale's rules, not character by character: a soft hyphen, a
        // trailing zero-width joiner, a leading byte-order mark.
        {{"App\u00ADRunAtTime"}, 0},
        {{"AppRunAtTime\u200D"}, 0},
        {{"\uFEFFAppRunAtTime"}, 0},
    };
    for (const Case& c : cases) {
        CommandResult r = velmora(c.args);
        EXPECT_EQ(c.status, r.status) << (c.args.empty() ? "(empty)" : c.args[0]) << "\n" << r.err;
    }
    EXPECT_TRUE(boxes().empty()) << "no run showed a box";
}

// The other tests start the programs without a leak check (it is slow); here each program's
// main paths run once with it.
TEST_F(Entry, EachProgramEndsWithoutLeaks) {
    setClock("2026-12-12 23:00");
    const std::vector<std::string> checked{"ASAN_OPTIONS=detect_leaks=1"};
    struct Case {
        std::string program;
        std::vector<std::string> args;
        std::string input;
        int status;
    } cases[] = {
        {VELMORA_EXE, {}, "click 1001\nset 1009 6:45\nok\n", 0},
        {VELMORA_EXE, {"AppRunAtTime"}, "", 1},
        {VELMORA_PHONE_EXE, {"simulate", "--days", "2"}, "", 0},
        {VELMORA_PHONE_EXE, {"lines"}, "", 0},
        {VELMORA_PHONE_EXE, {"reg", "set", "S3", "dword", "400"}, "", 0},
        {VELMORA_PHONE_EXE, {"simulate", "--days", "1", "--svg", dir + "/day.svg"}, "", 0},
        {VELMORA_PHONE_EXE, {"backup", dir + "/phone.bak"}, "", 0},
    };
    for (const Case& c : cases) {
        CommandResult r = runProgram(c.program, c.args, c.input, checked);
        std::string what = c.program + (c.args.empty() ? "" : " " + c.args[0]);
        EXPECT_EQ(r.err.find("LeakSanitizer"), std::string::npos) << what << "\n" << r.err;
        EXPECT_EQ(r.status, c.status) << what << "\n" << r.err;
    }
}

TEST_F(Entry, AnUnopenableStoreShowsTheNoticeAndEndsWithMinusOne) {
    std::string garbage = dir + "/garbage.db";
    std::ofstream(garbage) << "definitely not an SQLite database, only text in a file\n";
    CommandResult r = runProgram(VELMORA_EXE, {"AppRunAtTime"}, "", {"VELMORA_PHONE=" + garbage});
    EXPECT_EQ(255, r.status);
    EXPECT_NE(std::string::npos,
              r.err.find("== rozev -- 出錯 ==\n寫入註冊表設定時出錯！RegCreateKeyEx\nNo : 1009\n"))
        << r.err;
    r = runProgram(VELMORA_EXE, {}, "", {"VELMORA_PHONE=" + dir});
    EXPECT_EQ(255, r.status) << "a folder is no store either";
}

TEST_F(Entry, NoticeTextAndBoxInProcess) {
    std::u16string text, caption;
    UINT type = 0;
    host::setMessageBoxPresenter(
        [&](HWND, const std::u16string& t, const std::u16string& c, UINT ty) {
            text = t;
            caption = c;
            type = ty;
            return IDOK;
        });
    setenv("VELMORA_PHONE", dir.c_str(), 1); // a folder: the key cannot be opened
    host::closeStore();
    WCHAR commandLine[] = u"AppRunAtTime";
    EXPECT_EQ(-1, WinMain(host::instance(), nullptr, commandLine, 1));
    EXPECT_EQ(u"rozev -- 出錯", caption);
    EXPECT_EQ(u"寫入註冊表設定時出錯！RegCreateKeyEx\nNo : 5", text);
    EXPECT_EQ(0x10u, type);
    EXPECT_EQ(host::instance(), appInstance);
}

TEST_F(Entry, ASecondStartBringsTheRunningDialogForward) {
    HWND running = host::createTopLevelWindow(u"Brindlecap", u"Dialog");
    ASSERT_NE(nullptr, running);
    CommandResult r = velmora({});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("velmora: brought \"Brindlecap\" (process " + std::to_string(getpid()) +
                  ") to the front\n",
              r.err);
    std::vector<host::ForegroundRequest> requests = readForegroundRequests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_NE(getpid(), requests[0].pid) << "the second start asked for it";
    EXPECT_EQ(1u, query("SELECT id FROM windows").size()) << "no second dialog was opened";
    EXPECT_TRUE(boxes().empty());
}

TEST_F(Entry, AWindowCalledRozevIsNotTheDialog) {
    host::createTopLevelWindow(u"rozev", u"Other");
    EXPECT_EQ(0, velmora({}).status);
    EXPECT_TRUE(readForegroundRequests().empty());
}

} // namespace
