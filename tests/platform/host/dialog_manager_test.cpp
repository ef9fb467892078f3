// The dialog manager: controls built from a template, the modal loop, the control messages,
// the picker's format and keys, and the scripted input language.
#include "dialog_steps.h"
#include "phone_fixture.h"
#include "platform/dialog_script.h"
#include "platform/host/dialog_manager.h"
#include "platform/platform.h"

#include <functional>
#include <sstream>

namespace {

using host::Dialog;
using host::DialogItem;
using host::DialogTemplate;

struct Seen {
    UINT message;
    WORD id, code;
    int checkAtCommand; // the sender's check state when the command arrived
};
std::vector<Seen> seen;
std::function<void(HWND, WORD)> onCommand;

INT_PTR CALLBACK recordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    Seen s{message, 0, 0, -1};
    if (message == WM_COMMAND) {
        s.id = LOWORD(wParam);
        s.code = HIWORD(wParam);
        s.checkAtCommand = (int)SendDlgItemMessageW(dialog, s.id, BM_GETCHECK, 0, 0);
    }
    seen.push_back(s);
    if (message == WM_COMMAND && onCommand)
        onCommand(dialog, s.id);
    if (message == WM_COMMAND && (s.id == IDOK || s.id == IDCANCEL))
        EndDialog(dialog, s.id == IDOK ? 11 : 22);
    return message == WM_INITDIALOG || message == WM_DESTROY;
}

// A small dialog: two boxes (one automatic), a picker, a label, a disabled button, OK, Cancel.
DialogTemplate smallTemplate() {
    DialogTemplate t;
    t.style = WS_POPUP | WS_CAPTION | DS_SETFONT;
    t.caption = u"Small";
    t.cx = 120;
    t.cy = 80;
    t.items = {
        dialogItem(100, u"Button", u"Auto", BS_AUTOCHECKBOX | WS_TABSTOP, 4, 4, 40, 10),
        dialogItem(101, u"Button", u"Manual", BS_CHECKBOX | WS_TABSTOP, 4, 18, 40, 10),
        dialogItem(102, u"SysDateTimePick32", u"DateTimePicker1", DTS_TIMEFORMAT | WS_TABSTOP, 50,
                   4, 33, 12),
        dialogItem(103, u"Static", u"label", SS_LEFT, 4, 32, 60, 8),
        dialogItem(104, u"Button", u"Off", BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, 4, 44, 30, 14),
        dialogItem(IDOK, u"Button", u"Ok", BS_DEFPUSHBUTTON | WS_TABSTOP, 40, 44, 30, 14),
        dialogItem(IDCANCEL, u"Button", u"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 76, 44, 30, 14),
    };
    return t;
}

void initDateClasses() {
    INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), ICC_DATE_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&icc));
}

INT_PTR runSmall(std::vector<std::function<void(Dialog&)>> steps,
                 const DialogTemplate& t = smallTemplate()) {
    seen.clear();
    StepsInstalled installed(std::move(steps));
    return host::runDialog(t, nullptr, recordingProc, 0);
}

std::vector<WORD> commands() {
    std::vector<WORD> ids;
    for (const Seen& s : seen)
        if (s.message == WM_COMMAND)
            ids.push_back(s.id);
    return ids;
}

SYSTEMTIME at(int hour, int minute) {
    SYSTEMTIME t{};
    t.wYear = 2006;
    t.wMonth = 3;
    t.wDay = 12;
    t.wHour = (WORD)hour;
    t.wMinute = (WORD)minute;
    return t;
}

class DialogManager : public TempPhone {
  protected:
    void SetUp() override {
        TempPhone::SetUp();
        initDateClasses();
        onCommand = nullptr;
    }
    void TearDown() override {
        onCommand = nullptr;
        TempPhone::TearDown();
    }
};

} // namespace

TEST(PickerFormat, ShowsTimesAsTheFormatSays) {
    struct Case {
        const char16_t* format;
        int hour, minute;
        const char16_t* shown;
    } cases[] = {
        {u"H':'mm' '", 7, 5, u"7:05 "},
        {u"H':'mm' '", 0, 0, u"0:00 "},
        {u"H':'mm' '", 23, 59, u"23:59 "},
        {u"HH:mm", 7, 5, u"07:05"},
        {u"h:m t", 0, 5, u"12:5 A"},
        {u"hh:mm tt", 13, 30, u"01:30 PM"},
        {u"h:mm tt", 12, 0, u"12:00 PM"},
        {u"'It''s' H", 9, 0, u"It's 9"},
        {u"H''mm", 9, 7, u"9'07"},
        {u"'H:mm'", 9, 7, u"H:mm"},
        {u"HHH", 9, 0, u"099"},
        {u"yyyy/M/d", 0, 0, u"2006/3/12"},
        {u"dddd MMM", 0, 0, u"Sunday Mar"},
        {u"H 'unterminated", 9, 0, u"9 unterminated"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(host::toUtf8(c.shown),
                  host::toUtf8(host::formatPickerTime(host::parsePickerFormat(c.format),
                                                      at(c.hour, c.minute))))
            << host::toUtf8(c.format);
}

TEST_F(DialogManager, BuildsControlsAndRunsTheModalLoop) {
    HWND dialogWindow = nullptr;
    bool foundWhileRunning = false, activeWhileRunning = false;
    INT_PTR result = runSmall({[&](Dialog& d) {
        dialogWindow = d.handle;
        foundWhileRunning = FindWindowW(nullptr, u"Small") == d.handle;
        activeWhileRunning = GetActiveWindow() == d.handle;
        EXPECT_EQ(7u, d.controls.size());
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d.handle, 100)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d.handle, 104)));
        EXPECT_EQ(nullptr, GetDlgItem(d.handle, 999));
        EXPECT_EQ(0, d.focus) << "the first tab stop has the focus";
        pressDone(d);
    }});
    EXPECT_EQ(11, result);
    EXPECT_TRUE(foundWhileRunning) << "a second start must find the running dialog";
    EXPECT_TRUE(activeWhileRunning) << "notices are owned by the running dialog";
    EXPECT_EQ(nullptr, FindWindowW(nullptr, u"Small")) << "the window goes with the dialog";
    EXPECT_EQ(nullptr, GetActiveWindow());
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ((UINT)WM_INITDIALOG, seen.front().message);
    EXPECT_EQ((UINT)WM_DESTROY, seen.back().message);
    EXPECT_EQ(std::vector<WORD>{IDOK}, commands());
    EXPECT_EQ(nullptr, GetDlgItem(dialogWindow, 100)) << "controls end with their dialog";
}

TEST_F(DialogManager, RefusesToBuildWithoutItsClasses) {
    DialogTemplate unknown = smallTemplate();
    unknown.items[0].className = u"NoSuchClass";
    EXPECT_EQ(-1, runSmall({}, unknown));
    EXPECT_TRUE(seen.empty()) << "no message reaches the procedure of a dialog never built";

    INITCOMMONCONTROLSEX wrongSize{sizeof(INITCOMMONCONTROLSEX) + 4, ICC_DATE_CLASSES};
    EXPECT_FALSE(InitCommonControlsEx(&wrongSize));
    EXPECT_FALSE(InitCommonControlsEx(nullptr));
    EXPECT_EQ(-1, DialogBoxIndirectParamW(nullptr, nullptr, nullptr, recordingProc, 0));
}

TEST_F(DialogManager, EndOfInputCancels) {
    EXPECT_EQ(22, runSmall({}));
    EXPECT_EQ(std::vector<WORD>{IDCANCEL}, commands());
}

TEST_F(DialogManager, ClicksToggleAutomaticBoxesBeforeTheCommand) {
    std::string error;
    runSmall({
        [&](Dialog& d) { EXPECT_TRUE(clickControl(d, 100, &error)); },
        [&](Dialog& d) { EXPECT_TRUE(clickControl(d, 101, &error)); },
        [&](Dialog& d) { EXPECT_TRUE(clickControl(d, 100, &error)); },
        [&](Dialog& d) {
            EXPECT_EQ(BST_UNCHECKED, SendDlgItemMessageW(d.handle, 100, BM_GETCHECK, 0, 0));
            EXPECT_EQ(BST_UNCHECKED, SendDlgItemMessageW(d.handle, 101, BM_GETCHECK, 0, 0))
                << "a plain check box is left to its dialog";
            pressDone(d);
        },
    });
    ASSERT_EQ((std::vector<WORD>{100, 101, 100, IDOK}), commands());
    std::vector<int> states;
    for (const Seen& s : seen)
        if (s.message == WM_COMMAND && s.id != IDOK)
            states.push_back(s.checkAtCommand);
    EXPECT_EQ((std::vector<int>{BST_CHECKED, BST_UNCHECKED, BST_UNCHECKED}), states);
}

TEST_F(DialogManager, DisabledControlsTakeNoInput) {
    std::string error;
    runSmall({
        [&](Dialog& d) {
            EXPECT_FALSE(clickControl(d, 104, &error));
            EXPECT_EQ("control 104 is disabled", error);
            EXPECT_FALSE(EnableWindow(GetDlgItem(d.handle, 102), FALSE))
                << "returns whether it was disabled before";
            EXPECT_TRUE(EnableWindow(GetDlgItem(d.handle, 102), FALSE));
            SYSTEMTIME before = d.find(102)->time;
            EXPECT_FALSE(runDialogScriptLine(d.handle, "set 102 9:30", nullptr, &error));
            EXPECT_EQ("control 102 is disabled", error);
            EXPECT_EQ(before.wHour, d.find(102)->time.wHour);
            EXPECT_FALSE(clickControl(d, 103, &error)) << "a label cannot be clicked";
            EXPECT_FALSE(clickControl(d, 999, &error));
            EXPECT_EQ("no control with id 999", error);
        },
        [&](Dialog& d) {
            // Tab order: template order over enabled tab stops, wrapping both ways.
            std::vector<int> order;
            for (int i = 0; i < 5; ++i) {
                order.push_back(d.focused() ? d.focused()->id : -1);
                pressKey(d, "tab", nullptr);
            }
            EXPECT_EQ((std::vector<int>{100, 101, IDOK, IDCANCEL, 100}), order);
            pressKey(d, "shift-tab", nullptr); // back from 101
            pressKey(d, "shift-tab", nullptr);
            EXPECT_EQ(IDCANCEL, d.focused()->id);
        },
    });
    EXPECT_EQ(std::vector<WORD>{IDCANCEL}, commands()) << "refused input sends nothing";
}

TEST_F(DialogManager, PickersTakeOnlyRealTimes) {
    runSmall({[&](Dialog& d) {
        HWND picker = GetDlgItem(d.handle, 102);
        SendMessageW(picker, DTM_SETFORMAT, 0, (LPARAM)u"H':'mm' '");
        SYSTEMTIME good = at(7, 5);
        EXPECT_TRUE(SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&good));
        struct Bad {
            int hour, minute, month, day;
        } bad[] = {{33, 20, 3, 12}, {24, 0, 3, 12}, {7, 60, 3, 12}, {7, 0, 13, 1}, {7, 0, 2, 30}};
        for (const Bad& b : bad) {
            SYSTEMTIME t = at(b.hour, b.minute);
            t.wMonth = (WORD)b.month;
            t.wDay = (WORD)b.day;
            EXPECT_FALSE(SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&t))
                << b.hour << ":" << b.minute;
        }
        EXPECT_FALSE(SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_NONE, (LPARAM)&good))
            << "a picker without the none style always holds a time";
        SYSTEMTIME read{};
        EXPECT_EQ(GDT_VALID, SendMessageW(picker, DTM_GETSYSTEMTIME, 0, (LPARAM)&read));
        EXPECT_EQ(7, read.wHour);
        EXPECT_EQ(5, read.wMinute);
        EXPECT_EQ(u"7:05 ", d.find(102)->shownTime());
    }});
}

TEST_F(DialogManager, KeysEditThePickerFieldByField) {
    struct Case {
        std::vector<const char*> keys;
        const char16_t* shown;
    } cases[] = {
        {{"up"}, u"8:05 "},
        {{"down", "down", "down", "down", "down", "down", "down", "down"}, u"23:05 "},
        {{"right", "up"}, u"7:06 "},
        {{"right", "down", "down", "down", "down", "down", "down"}, u"7:59 "},
        {{"left", "up"}, u"7:06 "},
        {{"1", "5", "3", "0"}, u"15:30 "},
        {{"9", "4", "5"}, u"9:45 "},
        {{"2", "5"}, u"5:05 "},
        {{"0", "0", "0", "7"}, u"0:07 "},
        {{"right", "7"}, u"7:07 "},
    };
    for (const Case& c : cases) {
        std::u16string shown;
        runSmall({[&](Dialog& d) {
            HWND picker = GetDlgItem(d.handle, 102);
            SendMessageW(picker, DTM_SETFORMAT, 0, (LPARAM)u"H':'mm' '");
            SYSTEMTIME t = at(7, 5);
            SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&t);
            ASSERT_TRUE(clickControl(d, 102, nullptr));
            for (const char* k : c.keys)
                ASSERT_TRUE(pressKey(d, k, nullptr)) << k;
            shown = d.find(102)->shownTime();
        }});
        EXPECT_EQ(host::toUtf8(c.shown), host::toUtf8(shown)) << c.keys.size() << " keys";
    }
}

TEST_F(DialogManager, EnterEscapeAndSpace) {
    struct Case {
        std::vector<const char*> keys;
        std::vector<WORD> commands;
    } cases[] = {
        {{"enter"}, {IDOK}},
        {{"escape"}, {IDCANCEL}},
        {{"space", "space", "enter"}, {100, 100, IDOK}},
        {{"tab", "tab", "tab", "tab", "enter"}, {IDOK}}, // Enter is OK wherever the focus is
        {{"tab", "tab", "tab", "tab", "space"}, {IDCANCEL}},
        {{"tab", "tab", "tab", "enter"}, {IDOK}},
        {{"tab", "tab", "enter"}, {IDOK}}, // from the picker, the default button
    };
    for (const Case& c : cases) {
        runSmall({[&](Dialog& d) {
            for (const char* k : c.keys)
                ASSERT_TRUE(pressKey(d, k, nullptr)) << k;
        }});
        std::vector<WORD> expected = c.commands;
        if (expected.back() != IDOK && expected.back() != IDCANCEL)
            expected.push_back(IDCANCEL);
        EXPECT_EQ(expected, commands()) << c.keys.size() << " keys, first " << c.keys[0];
    }
}

TEST_F(DialogManager, CommandLinesAndTheirComplaints) {
    std::string firstDump, lastDump;
    runSmall({[&](Dialog& d) {
        std::string out, error;
        ASSERT_TRUE(runDialogScriptLine(d.handle, "dump", &out, &error));
        firstDump = out;
        struct Bad {
            const char* line;
            const char* error;
        } bad[] = {
            {"frobnicate 3", "unknown command 'frobnicate 3'"},
            {"click 999", "no control with id 999"},
            {"click 65636", "no control with id 65636"}, // not 100 by its low word
            {"set 65638 7:05", "no control with id 65638"},
            {"click abc", "'abc' is not a control id"},
            {"click", "usage: click ID"},
            {"set 102 25:00", "not a time of day: 25:00"},
            {"set 102 7", "'7' is not a time H:MM"},
            {"set 102 7:5", "'7:5' is not a time H:MM"},
            {"set 100 7:05", "control 100 is not a time picker"},
            {"click 104", "control 104 is disabled"},
            {"answer maybe", "usage: answer yes|no|ok"},
            {"key f13", "unknown key 'f13'"},
            {"ok now", "usage: ok"},
            {"frob\x01\x7f", "unknown command 'frob\\x01\\x7f'"},
        };
        for (const Bad& b : bad) {
            error.clear();
            EXPECT_FALSE(runDialogScriptLine(d.handle, b.line, &out, &error)) << b.line;
            EXPECT_EQ(0u, error.find(b.error)) << b.line << " -> " << error;
            EXPECT_EQ(std::string::npos, error.find('\n')) << "one line";
        }
        EXPECT_FALSE(runDialogScriptLine(d.handle, std::string(100000, 'x'), &out, &error));
        EXPECT_LT(error.size(), 300u) << "a huge line is not echoed whole";
        out.clear();
        ASSERT_TRUE(runDialogScriptLine(d.handle, "dump", &out, &error));
        EXPECT_EQ(firstDump, out) << "refused commands change nothing";
        EXPECT_TRUE(runDialogScriptLine(d.handle, "", &out, &error));
        EXPECT_TRUE(runDialogScriptLine(d.handle, "# a comment", &out, &error));
        EXPECT_TRUE(runDialogScriptLine(d.handle, "click 100", &out, &error));
        EXPECT_TRUE(runDialogScriptLine(d.handle, "set 102 6:45", &out, &error));
        SendMessageW(GetDlgItem(d.handle, 102), DTM_SETFORMAT, 0, (LPARAM)u"H':'mm' '");
        out.clear();
        runDialogScriptLine(d.handle, "dump", &out, &error);
        lastDump = out;
    }});
    EXPECT_NE(std::string::npos, lastDump.find("100\tButton\t\"Auto\"\t1\t1\t-\t-\n")) << lastDump;
    EXPECT_NE(std::string::npos,
              lastDump.find("102\tSysDateTimePick32\t\"6:45 \"\t-\t1\t\"6:45 \"\tfocus\n"))
        << lastDump;
    EXPECT_NE(std::string::npos, lastDump.find("104\tButton\t\"Off\"\t-\t0\t-\t-\n")) << lastDump;
    EXPECT_NE(std::string::npos, lastDump.find("103\tStatic\t\"label\"\t-\t1\t-\t-\n")) << lastDump;
}

TEST_F(DialogManager, ScriptFrontEndReadsLinesUntilTheEnd) {
    std::istringstream in("click 100\nbogus\ndump\nok\nclick 101\n");
    std::ostringstream out, err;
    seen.clear();
    host::setDialogFrontEnd(host::makeScriptFrontEnd(in, out, err));
    EXPECT_EQ(11, host::runDialog(smallTemplate(), nullptr, recordingProc, 0));
    host::setDialogFrontEnd(nullptr);
    EXPECT_EQ((std::vector<WORD>{100, IDOK}), commands()) << "nothing is read after OK";
    EXPECT_EQ("velmora: unknown command 'bogus' (" + std::string(kDialogScriptCommands) + ")\n",
              err.str());
    EXPECT_NE(std::string::npos, out.str().find("100\tButton\t\"Auto\"\t1\t1")) << out.str();
}

namespace {

// A template in the classic in-memory layout, built as a program would build one.
struct TemplateBytes {
    std::vector<BYTE> bytes;
    void raw(const void* data, size_t n) {
        const BYTE* b = static_cast<const BYTE*>(data);
        bytes.insert(bytes.end(), b, b + n);
    }
    void word(WORD w) { raw(&w, 2); }
    void text(const char16_t* s) {
        do
            word(*s);
        while (*s++);
    }
    void align() {
        while (bytes.size() % 4)
            bytes.push_back(0);
    }
};

} // namespace

static_assert(sizeof(DLGTEMPLATE) == 18, "the platform packs the header to two bytes");
static_assert(sizeof(DLGITEMTEMPLATE) == 18, "the platform packs the item header to two bytes");

TEST_F(DialogManager, RunsATemplateBuiltInMemory) {
    TemplateBytes t;
    DLGTEMPLATE header{WS_POPUP | WS_CAPTION | DS_SETFONT, 0, 2, 0, 0, 100, 60};
    t.raw(&header, sizeof header);
    t.word(0);         // no menu
    t.word(0);         // the dialog class
    t.text(u"Memory"); // caption
    t.word(8);
    t.text(u"Tahoma");
    t.align();
    DLGITEMTEMPLATE go{WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 4, 4, 40, 10, 300};
    t.raw(&go, sizeof go);
    t.word(0xFFFF);
    t.word(0x0080); // Button by its ordinal
    t.text(u"Go");
    t.word(0);
    t.align();
    DLGITEMTEMPLATE pick{
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | DTS_TIMEFORMAT, 0, 50, 4, 33, 12, 301};
    t.raw(&pick, sizeof pick);
    t.text(u"SysDateTimePick32");
    t.text(u"");
    t.word(0);

    seen.clear();
    std::string dump;
    StepsInstalled installed({[&](Dialog& d) {
        ASSERT_TRUE(clickControl(d, 300, nullptr));
        std::string out;
        runDialogScriptLine(d.handle, "dump", &out, nullptr);
        dump = out;
        pressDone(d);
    }});
    EXPECT_EQ(11, DialogBoxIndirectParamW(host::instance(),
                                          reinterpret_cast<LPCDLGTEMPLATE>(t.bytes.data()), nullptr,
                                          recordingProc, 0));
    EXPECT_EQ((std::vector<WORD>{300, IDOK}), commands());
    EXPECT_EQ(0u, dump.find("300\tButton\t\"Go\"\t1\t1\t-\tfocus\n301\tSysDateTimePick32\t\""))
        << dump;
}

// The script's answers are the dialog's own: never on the phone's queue, where another process's
// box could take them, and gone when the dialog ends.
TEST_F(DialogManager, ScriptAnswersBelongToTheDialogAlone) {
    std::vector<int> answers;
    size_t onThePhone = 99;
    onCommand = [&](HWND dialog, WORD id) {
        if (id != 100)
            return;
        onThePhone = query("SELECT answer FROM answers").size();
        answers.push_back(MessageBoxW(dialog, u"Sure?", u"Q", MB_YESNO | MB_ICONQUESTION));
    };
    std::istringstream in("answer yes\nanswer no\nanswer ok\nclick 100\ncancel\n");
    std::ostringstream out, err;
    host::setDialogFrontEnd(host::makeScriptFrontEnd(in, out, err));
    host::runDialog(smallTemplate(), nullptr, recordingProc, 0);
    host::setDialogFrontEnd(nullptr);
    EXPECT_EQ(std::vector<int>{IDYES}, answers);
    EXPECT_EQ(0u, onThePhone);
    size_t left = query("SELECT answer FROM answers").size();
    EXPECT_EQ(0u, left) << left << " answers would answer a later box";
    EXPECT_EQ(IDNO, MessageBoxW(nullptr, u"Later?", u"Q", MB_YESNO)) << "its own default";
}

// The window calls the dialog script drives a dialog through, answered as the platform answers
// them: outputs and the last error are filled with markers first, and a refused call leaves the
// error set while a successful one leaves it alone.
TEST_F(DialogManager, WindowCallsAnswerAsThePlatformDoes) {
    runSmall({[&](Dialog& d) {
        HWND dialog = d.handle, bogus = reinterpret_cast<HWND>(0x1234);
        std::vector<int> ids;
        for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            ids.push_back(GetDlgCtrlID(c));
        EXPECT_EQ((std::vector<int>{100, 101, 102, 103, 104, IDOK, IDCANCEL}), ids);
        HWND first = GetDlgItem(dialog, 100), picker = GetDlgItem(dialog, 102);
        struct Relation {
            HWND from;
            UINT command;
            HWND to;
        } relations[] = {
            {first, GW_HWNDPREV, nullptr}, {first, GW_HWNDLAST, GetDlgItem(dialog, IDCANCEL)},
            {picker, GW_HWNDFIRST, first}, {picker, GW_CHILD, nullptr},
            {first, GW_OWNER, nullptr},    {dialog, GW_HWNDNEXT, nullptr},
        };
        for (const Relation& r : relations) {
            SetLastError(0xdeadbeef);
            EXPECT_EQ(r.to, GetWindow(r.from, r.command)) << r.command;
            EXPECT_EQ(0xdeadbeefu, GetLastError()) << r.command;
        }

        WCHAR text[16];
        auto marked = [&] { std::fill(std::begin(text), std::end(text), WCHAR(0xAAAA)); };
        SendMessageW(picker, DTM_SETFORMAT, 0, (LPARAM)u"H':'mm' '");
        SYSTEMTIME t = at(7, 5);
        SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&t);
        struct Text {
            int (*call)(HWND, LPWSTR, int);
            HWND window;
            int capacity;
            const char16_t* expected;
        } texts[] = {
            {GetClassNameW, first, 16, u"Button"},
            {GetClassNameW, first, 4, u"But"},
            {GetClassNameW, dialog, 16, u"#32770"},
            {GetWindowTextW, GetDlgItem(dialog, 103), 3, u"la"},
            {GetWindowTextW, picker, 16, u"7:05 "},
            {GetWindowTextW, dialog, 16, u"Small"},
        };
        for (const Text& c : texts) {
            marked();
            SetLastError(0xdeadbeef);
            std::u16string expected = c.expected;
            EXPECT_EQ((int)expected.size(), c.call(c.window, text, c.capacity))
                << host::toUtf8(expected);
            EXPECT_EQ(expected, std::u16string(text)) << "terminated in place";
            EXPECT_EQ(WCHAR(0xAAAA), text[expected.size() + 1]) << "nothing written past it";
            EXPECT_EQ(0xdeadbeefu, GetLastError());
        }
        EXPECT_EQ(5, GetWindowTextLengthW(picker)) << "a picker's text is the time it shows";

        LONG style = GetWindowLongW(GetDlgItem(dialog, 104), GWL_STYLE);
        EXPECT_EQ(WS_DISABLED, style & WS_DISABLED);
        EXPECT_EQ(BS_PUSHBUTTON, style & BS_TYPEMASK);
        EnableWindow(GetDlgItem(dialog, 104), TRUE);
        EXPECT_EQ(0, GetWindowLongW(GetDlgItem(dialog, 104), GWL_STYLE) & WS_DISABLED)
            << "the style follows EnableWindow";
        EXPECT_EQ(104, GetWindowLongW(GetDlgItem(dialog, 104), GWL_ID));
        EnableWindow(GetDlgItem(dialog, 104), FALSE);

        auto refuse = [&](const char* call, auto invoke, DWORD error) {
            marked();
            SetLastError(0xdeadbeef);
            EXPECT_EQ(0, (intptr_t)invoke()) << call;
            EXPECT_EQ(error, GetLastError()) << call;
        };
        refuse(
            "GetWindow", [&] { return GetWindow(bogus, GW_CHILD); }, ERROR_INVALID_WINDOW_HANDLE);
        refuse(
            "GetDlgCtrlID", [&] { return GetDlgCtrlID(bogus); }, ERROR_INVALID_WINDOW_HANDLE);
        refuse(
            "GetClassNameW", [&] { return GetClassNameW(bogus, text, 16); },
            ERROR_INVALID_WINDOW_HANDLE);
        refuse(
            "GetWindowTextW", [&] { return GetWindowTextW(bogus, text, 16); },
            ERROR_INVALID_WINDOW_HANDLE);
        EXPECT_EQ(0, text[0]) << "a refused GetWindowText leaves an empty text";
        refuse(
            "GetWindowLongW", [&] { return GetWindowLongW(first, -21); }, ERROR_INVALID_INDEX);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(0, GetDlgCtrlID(dialog)) << "a top-level window has no id";
        EXPECT_EQ(0xdeadbeefu, GetLastError());

        // Focus: the first tab stop has it; a disabled window, or any window of a disabled
        // dialog, cannot take it.
        EXPECT_EQ(first, GetFocus());
        EXPECT_EQ(first, SetFocus(GetDlgItem(dialog, 103)));
        EXPECT_EQ(GetDlgItem(dialog, 103), GetFocus());
        EXPECT_EQ(nullptr, SetFocus(GetDlgItem(dialog, 104)));
        EnableWindow(dialog, FALSE);
        EXPECT_EQ(nullptr, SetFocus(first));
        EnableWindow(dialog, TRUE);
        EXPECT_EQ(GetDlgItem(dialog, 103), GetFocus());
        EXPECT_TRUE(IsChild(dialog, picker));
        EXPECT_FALSE(IsChild(picker, dialog));
        EXPECT_FALSE(IsChild(dialog, bogus));
    }});
}

// BM_CLICK is a press and release of the mouse button: the button takes the focus, an automatic
// box changes before its dialog hears of it, and a disabled button is clicked all the same
// (whoever sends the message decides), only without the focus.
TEST_F(DialogManager, ButtonClicksAsMessages) {
    DialogTemplate t = smallTemplate();
    t.items.push_back(
        dialogItem(105, u"Button", u"Three", BS_AUTO3STATE | WS_TABSTOP, 4, 60, 40, 10));
    t.items.push_back(dialogItem(106, u"Button", u"Frame", BS_GROUPBOX, 0, 0, 110, 70));
    std::vector<int> states;
    runSmall({[&](Dialog& d) {
                 for (int i = 0; i < 3; ++i) {
                     SendDlgItemMessageW(d.handle, 105, BM_CLICK, 0, 0);
                     states.push_back((int)SendDlgItemMessageW(d.handle, 105, BM_GETCHECK, 0, 0));
                 }
                 EXPECT_EQ(GetDlgItem(d.handle, 105), GetFocus());
                 SendDlgItemMessageW(d.handle, 104, BM_CLICK, 0, 0);
                 EXPECT_EQ(GetDlgItem(d.handle, 105), GetFocus())
                     << "a disabled button takes no focus";
                 SendDlgItemMessageW(d.handle, 103, BM_CLICK, 0, 0); // a label is no button
                 SendDlgItemMessageW(d.handle, 106, BM_CLICK, 0, 0); // nor is a frame
                 SendDlgItemMessageW(d.handle, 102, BM_CLICK, 0, 0); // nor a picker
             }},
             t);
    EXPECT_EQ((std::vector<int>{BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED}), states);
    EXPECT_EQ((std::vector<WORD>{105, 105, 105, 104, IDCANCEL}), commands());
}
