// The real program's full-screen terminal interface, driven in a tmux pane: what it shows, the
// keyboard editing and what OK stores.
#include "phone_fixture.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

class TerminalDialog : public TempPhone {
  protected:
    void SetUp() override {
        TempPhone::SetUp();
        tmux = findTmux();
        socket = "velmora-test-" + std::to_string(getpid());
    }
    void TearDown() override {
        if (!tmux.empty())
            runProgram(tmux, {"-L", socket, "kill-server"});
        TempPhone::TearDown();
    }

    static std::string findTmux() {
        for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
            std::string path = std::string(dir) + "/tmux";
            if (access(path.c_str(), X_OK) == 0)
                return path;
        }
        return {};
    }

    CommandResult tmuxDo(const std::vector<std::string>& args) {
        std::vector<std::string> all{"-L", socket};
        all.insert(all.end(), args.begin(), args.end());
        return runProgram(tmux, all);
    }

    std::string pane() { return tmuxDo({"capture-pane", "-p", "-t", "dialog"}).out; }

    // Waits until the pane shows the text; false after a few seconds.
    bool waitFor(const std::string& text) {
        for (int i = 0; i < 100; ++i) {
            if (pane().find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    void keys(const std::vector<std::string>& names) {
        std::vector<std::string> args{"send-keys", "-t", "dialog"};
        args.insert(args.end(), names.begin(), names.end());
        tmuxDo(args);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }

    // A press and a release of the first button at a cell, as an xterm reports them.
    void click(int row, int col) {
        std::string at{static_cast<char>(33 + col), static_cast<char>(33 + row)};
        tmuxDo({"send-keys", "-t", "dialog", "-l", "\x1b[M " + at});
        tmuxDo({"send-keys", "-t", "dialog", "-l", "\x1b[M#" + at});
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }

    std::string tmux, socket;
};

} // namespace

TEST_F(TerminalDialog, KeyboardEditsAndOkStores) {
    if (tmux.empty())
        GTEST_SKIP() << "tmux is not installed";
    phone({"clock", "set", "2006-03-12 06:30"});
    phone({"reg", "set", "S1", "dword", "425"});
    std::string exitFile = dir + "/exit";
    std::string command = "env VELMORA_PHONE=" + dbPath + " " + VELMORA_EXE + "; echo $? > " +
                          exitFile + "; sleep 60";
    CommandResult started =
        tmuxDo({"new-session", "-d", "-s", "dialog", "-x", "80", "-y", "24", command});
    ASSERT_EQ(0, started.status) << started.err;
    ASSERT_TRUE(waitFor("Next : 2006/3/12 7:00")) << pane();

    std::string screen = pane();
    for (const char* row : {"[x] SUN [7:00  ] TO [0:00  ]", "[x] MON [7:05  ] TO [0:00  ]",
                            "[ ] TUE [7:00  ] TO [0:00  ]", "[x] SAT [7:00  ] TO [0:00  ]", "<Ok>",
                            "[Cancel]", "[To All]", "[About]", "[Done]", "Brindlecap"})
        EXPECT_NE(std::string::npos, screen.find(row)) << row << "\n" << screen;

    // Sunday on at 8:30 (up a hour, then the minutes typed), Monday out, Tuesday in at 21:15.
    keys({"Tab", "Up", "Right", "3", "0"});
    // Bytes that are not UTF-8 are dropped, and the keys after them still work.
    tmuxDo({"send-keys", "-t", "dialog", "-H", "ff", "8b", "c3"});
    keys({"Tab", "Tab", "Space", "Tab", "Space", "Tab", "2", "1", "1", "5"});
    screen = pane();
    EXPECT_NE(std::string::npos, screen.find("[x] SUN [8:30  ] TO [0:00  ]")) << screen;
    EXPECT_NE(std::string::npos, screen.find("[ ] MON [7:05  ] TO [0:00  ]")) << screen;
    EXPECT_NE(std::string::npos, screen.find("[x] TUE [21:15 ] TO [0:00  ]")) << screen;

    // Disabled pickers are dimmed; the enabled ones are not.
    std::string styled = tmuxDo({"capture-pane", "-e", "-p", "-t", "dialog"}).out;
    EXPECT_NE(std::string::npos, styled.find("MON \x1b[2m[7:05  ]")) << styled;
    EXPECT_NE(std::string::npos, styled.find("THU \x1b[2m[7:00  ]")) << styled;
    EXPECT_EQ(std::string::npos, styled.find("SUN \x1b[2m")) << styled;

    // A wider window is redrawn: the Done button moves to its new right edge.
    tmuxDo({"resize-window", "-t", "dialog", "-x", "100", "-y", "30"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    screen = pane();
    EXPECT_EQ(93u, screen.find("[Done]")) << screen;

    // About pops up over the dialog and goes with Enter; then Enter is OK.
    keys({"BTab", "BTab", "BTab", "BTab", "BTab", "BTab", "BTab", "BTab", "Space"});
    EXPECT_TRUE(waitFor("VANTROLE V1.0")) << pane();
    keys({"Enter"});
    EXPECT_EQ(std::string::npos, pane().find("VANTROLE")) << pane();

    // The mouse: a click on Wednesday's label ticks it, a click on Done is OK.
    click(7, 8);
    EXPECT_NE(std::string::npos, pane().find("[x] WED [7:00  ] TO [0:00  ]")) << pane();
    click(0, 95);

    std::string code;
    for (int i = 0; i < 50 && code.empty(); ++i) {
        std::ifstream(exitFile) >> code;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ("0", code) << pane();
    struct Value {
        const char* name;
        const char* shown;
    } values[] = {{"Enabled", "sz 14 1011001"}, {"S0", "dword 4 510"},  {"C0", "dword 4 0"},
                  {"S1", "dword 4 425"},        {"S2", "dword 4 1275"}, {"C6", "dword 4 0"}};
    for (const Value& v : values)
        EXPECT_EQ(std::string(v.shown) + "\n", phone({"reg", "get", v.name}).out) << v.name;
    std::vector<control::PendingStart> pending = readPending();
    ASSERT_EQ(1u, pending.size());
    EXPECT_EQ("2006-03-12 08:30:00", pending[0].text) << "Sunday's new switch-on is next";
}
