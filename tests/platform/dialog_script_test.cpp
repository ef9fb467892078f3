// The dialog script driving a dialog of the simulated phone through the window calls: what
// dump reads, what click and set refuse, the layer's commands, one command at a time, and
// errors kept to one printable line.
#include "dialog_steps.h"
#include "phone_fixture.h"
#include "platform/dialog_script.h"

#include <functional>

namespace {

using host::Dialog;

struct Command {
    WORD id;
    HWND from;
};
std::vector<Command> commands;
std::function<void(HWND, WORD)> onCommand;

INT_PTR CALLBACK scriptedProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COMMAND)
        return message == WM_INITDIALOG;
    commands.push_back({LOWORD(wParam), reinterpret_cast<HWND>(lParam)});
    if (onCommand)
        onCommand(dialog, LOWORD(wParam));
    if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
        EndDialog(dialog, LOWORD(wParam));
    return TRUE;
}

// Every kind of control the dump tells apart, with texts that need care on the way out.
host::DialogTemplate scriptTemplate() {
    host::DialogTemplate t;
    t.style = WS_POPUP | WS_CAPTION;
    t.caption = u"Script";
    t.cx = 160;
    t.cy = 100;
    t.items = {
        dialogItem(10, u"Button", u"Three", BS_AUTO3STATE | WS_TABSTOP, 4, 4, 40, 10),
        dialogItem(11, u"Button", u"Radio", BS_AUTORADIOBUTTON | WS_TABSTOP, 4, 16, 40, 10),
        dialogItem(12, u"SysDateTimePick32", u"DateTimePicker1", DTS_TIMEFORMAT | WS_TABSTOP, 50, 4,
                   33, 12),
        dialogItem(0xFFFF, u"Static", u"tab\there \"q\" back\\slash\nline", SS_LEFT, 4, 30, 80, 8),
        // 星期 and a clef from beyond the first plane; then half a surrogate pair.
        dialogItem(14, u"Static", u"\u661f\u671f \U0001D11E \xD834!", SS_LEFT, 4, 40, 80, 8),
        dialogItem(15, u"Button", u"Frame", BS_GROUPBOX, 0, 0, 150, 90),
        dialogItem(16, u"Button", u"Off", BS_PUSHBUTTON | WS_DISABLED, 4, 60, 30, 14),
        dialogItem(17, u"Static", u"grey", SS_LEFT | WS_DISABLED, 40, 60, 30, 8),
        dialogItem(IDCANCEL, u"Button", u"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 76, 60, 30, 14),
        dialogItem(0, u"Static", u"", SS_ICON, 120, 4, 18, 18),
    };
    t.items.back().textOrdinal = 101; // the icon resource, by number
    return t;
}

class DialogScript : public TempPhone {
  protected:
    void SetUp() override {
        TempPhone::SetUp();
        INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), ICC_DATE_CLASSES};
        ASSERT_TRUE(InitCommonControlsEx(&icc));
        commands.clear();
        onCommand = nullptr;
    }
    void TearDown() override {
        onCommand = nullptr;
        TempPhone::TearDown();
    }

    // Runs the dialog; the steps get its window.
    void run(std::vector<std::function<void(HWND)>> steps) {
        std::vector<DialogStep> wrapped;
        for (auto& s : steps)
            wrapped.push_back([s](Dialog& d) { s(d.handle); });
        StepsInstalled installed(std::move(wrapped));
        host::runDialog(scriptTemplate(), nullptr, scriptedProc, 0);
    }

    // Runs a line that must succeed; its output.
    static std::string line(HWND dialog, const std::string& text) {
        std::string out, error;
        EXPECT_TRUE(runDialogScriptLine(dialog, text, &out, &error)) << text << ": " << error;
        return out;
    }
    // Runs a line that must be refused; its one line of complaint.
    static std::string refused(HWND dialog, const std::string& text) {
        std::string out, error;
        EXPECT_FALSE(runDialogScriptLine(dialog, text, &out, &error)) << text;
        EXPECT_TRUE(out.empty()) << text;
        return error;
    }
};

SYSTEMTIME pickerTime(HWND dialog, int id) {
    SYSTEMTIME t{};
    SendDlgItemMessageW(dialog, id, DTM_GETSYSTEMTIME, 0, (LPARAM)&t);
    return t;
}

} // namespace

TEST_F(DialogScript, DumpReadsEveryControlThroughTheWindowCalls) {
    std::string dump;
    run({[&](HWND dialog) {
        SendDlgItemMessageW(dialog, 12, DTM_SETFORMAT, 0, (LPARAM)u"H':'mm' '");
        SendDlgItemMessageW(dialog, 10, BM_SETCHECK, BST_INDETERMINATE, 0);
        line(dialog, "set 12 6:05");
        dump = line(dialog, "dump");
    }});
    EXPECT_EQ(
        "10\tButton\t\"Three\"\t2\t1\t-\t-\n"
        "11\tButton\t\"Radio\"\t0\t1\t-\t-\n"
        "12\tSysDateTimePick32\t\"6:05 \"\t-\t1\t\"6:05 \"\tfocus\n"
        "-1\tStatic\t\"tab\\there \\\"q\\\" back\\\\slash\\nline\"\t-\t1\t-\t-\n"
        "14\tStatic\t\"\xE6\x98\x9F\xE6\x9C\x9F \xF0\x9D\x84\x9E \xEF\xBF\xBD!\"\t-\t1\t-\t-\n"
        "15\tButton\t\"Frame\"\t-\t1\t-\t-\n"
        "16\tButton\t\"Off\"\t-\t0\t-\t-\n"
        "17\tStatic\t\"grey\"\t-\t0\t-\t-\n"
        "2\tButton\t\"Cancel\"\t-\t1\t-\t-\n"
        "0\tStatic\t\"#101\"\t-\t1\t-\t-\n",
        dump);
}

TEST_F(DialogScript, ClickAndSetRefuseWhatAPersonCouldNotDo) {
    run({[&](HWND dialog) {
        struct Case {
            const char* line;
            const char* error;
        } cases[] = {
            {"click 15", "control 15 cannot be clicked"}, // a frame
            {"click -1", "control -1 cannot be clicked"}, // the classic template's 0xFFFF
            {"click 65535", "control 65535 cannot be clicked"},
            {"click 16", "control 16 is disabled"},
            {"click 17", "control 17 is disabled"},
            {"set 16 7:00", "control 16 is not a time picker"},
            {"set 12 24:00", "not a time of day: 24:00"},
            {"set 12 7:60", "not a time of day: 7:60"},
            {"set 12 -1:05", "not a time of day: -1:05"},
            {"click 1000000000", "'1000000000' is not a control id"},
        };
        std::string before = line(dialog, "dump");
        for (const Case& c : cases)
            EXPECT_EQ(c.error, refused(dialog, c.line)) << c.line;
        EnableWindow(dialog, FALSE); // as while a dialog of its own runs over it
        EXPECT_EQ("the dialog is not taking input", refused(dialog, "click 10"));
        EXPECT_EQ("control 12 is disabled", refused(dialog, "set 12 7:00"));
        EnableWindow(dialog, TRUE);
        EXPECT_EQ(before, line(dialog, "dump")) << "refused lines change nothing";
        EXPECT_TRUE(commands.empty());
    }});
}

TEST_F(DialogScript, SetChangesOnlyTheHourAndMinute) {
    run({[&](HWND dialog) {
        SYSTEMTIME t{2006, 3, 0, 12, 7, 5, 42, 0};
        ASSERT_TRUE(SendDlgItemMessageW(dialog, 12, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&t));
        line(dialog, "set 12 23:59");
        SYSTEMTIME now = pickerTime(dialog, 12);
        EXPECT_EQ((std::vector<int>{2006, 3, 12, 23, 59, 42}),
                  (std::vector<int>{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                                    now.wSecond}));
        EXPECT_EQ(GetDlgItem(dialog, 12), GetFocus());
        line(dialog, "click 10");
        EXPECT_EQ(GetDlgItem(dialog, 10), GetFocus());
        line(dialog, "click 12");
        EXPECT_EQ(GetDlgItem(dialog, 12), GetFocus()) << "a click selects a picker";
    }});
    ASSERT_EQ(2u, commands.size()); // box 10, then the end of input
    EXPECT_EQ(10, commands[0].id);
}

// A line opens a message box; the box's own loop goes on delivering ticks, and a line those
// ticks would run must wait for the first to finish.
TEST_F(DialogScript, ALineWaitsWhileTheLastRuns) {
    std::string inBox, error;
    bool busyInBox = false;
    host::setMessageBoxPresenter(
        [&](HWND owner, const std::u16string&, const std::u16string&, UINT) {
            busyInBox = dialogScriptBusy(owner);
            EXPECT_FALSE(runDialogScriptLine(owner, "click 11", &inBox, &error));
            return IDYES;
        });
    onCommand = [](HWND dialog, WORD id) {
        if (id == 10)
            MessageBoxW(dialog, u"Sure?", u"Q", MB_YESNO);
    };
    run({[&](HWND dialog) {
        line(dialog, "click 10");
        EXPECT_FALSE(dialogScriptBusy(dialog));
        line(dialog, "click 11");
    }});
    EXPECT_TRUE(busyInBox);
    EXPECT_EQ("the previous command is still running", error);
    EXPECT_TRUE(inBox.empty());
    ASSERT_EQ(3u, commands.size());
    EXPECT_EQ(10, commands[0].id);
    EXPECT_EQ(11, commands[1].id) << "the refused line ran nothing";
}

TEST_F(DialogScript, AnswersKeysAndPicturesGoToTheLayer) {
    std::vector<int> answers;
    onCommand = [&](HWND dialog, WORD id) {
        if (id == 10)
            answers.push_back(MessageBoxW(dialog, u"Sure?", u"Q", MB_YESNO));
    };
    run({[&](HWND dialog) {
        EXPECT_EQ("usage: answer yes|no|ok", refused(dialog, "answer cancel"));
        EXPECT_EQ("usage: answer yes|no|ok", refused(dialog, "answer"));
        line(dialog, "answer yes");
        line(dialog, "click 10");
        line(dialog, "click 10"); // the queue is empty again: the box's own default
        EXPECT_EQ("usage: key NAME", refused(dialog, "key"));
        EXPECT_EQ(0u, refused(dialog, "key f13").find("unknown key 'f13'"));
        line(dialog, "key tab");
        EXPECT_EQ(GetDlgItem(dialog, 11), GetFocus());
        EXPECT_EQ("usage: snap FILE", refused(dialog, "snap  \t"));
        std::string snap = refused(dialog, "snap /tmp/a picture.png");
        EXPECT_EQ(0u, snap.find("snap: ")) << snap;
    }});
    EXPECT_EQ((std::vector<int>{IDYES, IDNO}), answers);
}

TEST_F(DialogScript, OkAndCancelReachTheDialogAsItsButtons) {
    HWND cancel = nullptr;
    run({[&](HWND dialog) {
        cancel = GetDlgItem(dialog, IDCANCEL);
        EXPECT_EQ("usage: ok", refused(dialog, "ok now"));
        line(dialog, "ok"); // the template has no OK button: the Done button's command
    }});
    ASSERT_EQ(1u, commands.size());
    EXPECT_EQ(IDOK, commands[0].id);
    EXPECT_EQ(nullptr, commands[0].from);
    commands.clear();
    run({[&](HWND dialog) { line(dialog, "cancel"); }});
    ASSERT_EQ(1u, commands.size());
    EXPECT_EQ(IDCANCEL, commands[0].id);
    EXPECT_NE(nullptr, commands[0].from) << "sent as from the Cancel button";
}

TEST_F(DialogScript, ErrorsAreOnePrintableLine) {
    run({[&](HWND dialog) {
        std::string error = refused(dialog, "frob\t\x01\x7f\\");
        EXPECT_EQ(0u, error.find("unknown command 'frob\\t\\x01\\x7f\\\\' (click ID"));
        std::string accents;
        for (int i = 0; i < 300; ++i)
            accents += "\xC3\xA9"; // é
        error = refused(dialog, accents);
        EXPECT_LT(error.size(), 220u) << "a huge line is not echoed whole";
        EXPECT_EQ("...", error.substr(error.size() - 3));
        EXPECT_TRUE(host::isValidUtf8(error)) << "cut between characters";
        EXPECT_TRUE(line(dialog, "   ").empty());
        EXPECT_TRUE(line(dialog, "# click 10").empty());
    }});
    ASSERT_EQ(1u, commands.size()) << "only the end of input";
}
