// The dialog script's driver on a dialog of the test's own: lines from a pipe run in order, one
// at a time, only once the dialog shows and never inside the modal loop of a line that is
// still running; refused lines go to the errors, dumps to the output; the end of the input is
// Cancel, even for a dialog that ignores it; the answers a script queued end with its dialog.
#include "support/win32/wine_phone.h"

#include "platform/dialog_script.h"
#include "platform/platform.h"

#include <vector>

namespace {

const int kDayBox = 100;
const int kSlowButton = 101; // runs a modal loop of its own for a while, as a box would
const int kAskButton = 102;  // asks Yes or No

struct Outcome {
    bool ignoresCancel;
    HANDLE input, output, errors;
    bool started = false;
    int checkedDuringOpening = -1; // the day box, after a while of messages in WM_INITDIALOG
    int checkedDuringSlowPress = -1;
    std::vector<int> answers; // what each Yes/No question got
    std::vector<int> commands;
};

// Runs the messages of this thread for a while, as a modal loop does.
void pumpFor(DWORD ms) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(5);
    }
}

int checkOf(HWND dialog) {
    return static_cast<int>(SendDlgItemMessageW(dialog, kDayBox, BM_GETCHECK, 0, 0));
}

INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    Outcome* outcome = reinterpret_cast<Outcome*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (message == WM_INITDIALOG) {
        outcome = reinterpret_cast<Outcome*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        HINSTANCE instance = GetModuleHandleW(nullptr);
        struct Control {
            int id;
            const wchar_t* text;
            DWORD style;
        } const controls[] = {{kDayBox, L"SUN", BS_AUTOCHECKBOX},
                              {kSlowButton, L"Slow", BS_PUSHBUTTON},
                              {kAskButton, L"Ask", BS_PUSHBUTTON}};
        int y = 0;
        for (const Control& c : controls)
            CreateWindowExW(0, L"Button", c.text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | c.style, 0,
                            y += 20, 60, 16, dialog,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
        outcome->started =
            winphone::startDialogScript(dialog, outcome->input, outcome->output, outcome->errors);
        // The dialog is not open yet: nothing of the script may run meanwhile.
        pumpFor(100);
        outcome->checkedDuringOpening = checkOf(dialog);
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    int id = LOWORD(wParam);
    outcome->commands.push_back(id);
    if (id == kSlowButton) {
        pumpFor(150);
        outcome->checkedDuringSlowPress = checkOf(dialog);
    } else if (id == kAskButton) {
        outcome->answers.push_back(MessageBox(dialog, L"Sure?", L"Question", MB_YESNO));
    } else if (id == IDOK || (id == IDCANCEL && !outcome->ignoresCancel)) {
        EndDialog(dialog, id == IDOK ? 100 : 200);
    }
    return TRUE;
}

struct Ran {
    INT_PTR result;
    Outcome outcome;
    std::string out, err;
};

HANDLE tempFile(std::wstring* path) {
    wchar_t folder[MAX_PATH], file[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"scr", 0, file);
    *path = file;
    return CreateFileW(file, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
}

std::string contents(HANDLE file) {
    std::string text;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD got;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    return text;
}

// Runs the test dialog with the script written to its input pipe, which is then closed.
Ran runScript(const std::string& script, bool ignoresCancel = false) {
    Ran ran = {};
    ran.outcome.ignoresCancel = ignoresCancel;
    HANDLE writeEnd;
    std::wstring outPath, errPath;
    EXPECT_TRUE(CreatePipe(&ran.outcome.input, &writeEnd, nullptr, 0));
    ran.outcome.output = tempFile(&outPath);
    ran.outcome.errors = tempFile(&errPath);
    // Written by a thread of its own, as a script's writer is another process: a script
    // longer than the pipe holds waits for the dialog to read it.
    struct Writer {
        HANDLE pipe;
        const std::string* script;
    } writer = {writeEnd, &script};
    HANDLE writing = CreateThread(
        nullptr, 0,
        [](void* parameter) -> DWORD {
            Writer* w = static_cast<Writer*>(parameter);
            DWORD written;
            for (size_t at = 0; at < w->script->size(); at += written)
                if (!WriteFile(w->pipe, w->script->data() + at,
                               static_cast<DWORD>(w->script->size() - at), &written, nullptr))
                    break;
            CloseHandle(w->pipe);
            return 0;
        },
        &writer, 0, nullptr);
    EXPECT_NE(nullptr, writing);
    std::vector<WORD> t = emptyDialogTemplate(100, 80);
    ran.result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                                         reinterpret_cast<LPCDLGTEMPLATE>(t.data()), nullptr,
                                         procedure, reinterpret_cast<LPARAM>(&ran.outcome));
    WaitForSingleObject(writing, INFINITE);
    CloseHandle(writing);
    ran.out = contents(ran.outcome.output);
    ran.err = contents(ran.outcome.errors);
    CloseHandle(ran.outcome.output);
    CloseHandle(ran.outcome.errors);
    DeleteFileW(outPath.c_str());
    DeleteFileW(errPath.c_str());
    // The reader has met the end of the pipe by now: the dialog was cancelled for it, or
    // ended by a line before it.
    CloseHandle(ran.outcome.input);
    return ran;
}

std::string repeated(const std::string& line, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += line;
    return out;
}

class DialogScriptInput : public WinePhone {};

// The test dialog's dump, its day box ticked or not.
std::string dumpWithDay(int checked) {
    return "100\tButton\t\"SUN\"\t" + std::to_string(checked) +
           "\t1\t-\tfocus\n101\tButton\t\"Slow\"\t-\t1\t-\t-\n102\tButton\t\"Ask\"\t-\t1\t-\t-\n";
}

std::vector<int> dayClicksThen(int clicks, int last) {
    std::vector<int> commands(static_cast<size_t>(clicks), kDayBox);
    commands.push_back(last);
    return commands;
}

TEST_F(DialogScriptInput, LinesRunInOrderOnceTheDialogShows) {
    const std::string refusals =
        "velmora: unknown command 'frobnicate' (" + std::string(kDialogScriptCommands) +
        ")\nvelmora: no control with id 999\n"
        "velmora: key: only the simulated phone presses keys; use click, set, ok or cancel\n"
        "velmora: control 100 is not a time picker\n";
    struct Case {
        const char* what;
        std::string script;
        bool ignoresCancel;
        INT_PTR result;
        std::vector<int> commands;
        std::string out, err;
    } cases[] = {
        {"ok ends the dialog; the lines after it are not run", "click 100\ndump\nok\nclick 100\n",
         false, 100, dayClicksThen(1, IDOK), dumpWithDay(1), ""},
        {"the end of the input is Cancel", "click 100\n", false, 200, dayClicksThen(1, IDCANCEL),
         "", ""},
        {"a dialog that ignores Cancel still ends", "", true, IDCANCEL, dayClicksThen(0, IDCANCEL),
         "", ""},
        {"refused lines are one line each on the errors, and change nothing",
         "frobnicate\nclick 999\nkey tab\nset 100 7:00\n", false, 200, dayClicksThen(0, IDCANCEL),
         "", refusals},
        {"CR LF endings, and a last line without its newline", "click 100\r\n\r\n# a note\r\nok",
         false, 100, dayClicksThen(1, IDOK), "", ""},
        {"a line too long to keep is not run, and the next one is",
         "click " + std::string(70000, '1') + "\nclick 100\nok\n", false, 100,
         dayClicksThen(1, IDOK), "", "velmora: a line longer than 65536 bytes was not run\n"},
        {"a script longer than the lines read ahead, then its end",
         repeated("click 100\n", 40) + "dump\n", false, 200, dayClicksThen(40, IDCANCEL),
         dumpWithDay(0), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Ran ran = runScript(c.script, c.ignoresCancel);
        EXPECT_TRUE(ran.outcome.started);
        EXPECT_EQ(BST_UNCHECKED, ran.outcome.checkedDuringOpening);
        EXPECT_EQ(c.result, ran.result);
        EXPECT_EQ(c.commands, ran.outcome.commands);
        EXPECT_EQ(c.out, ran.out);
        EXPECT_EQ(c.err, ran.err);
    }
}

// A line that runs a modal loop of its own (a message box's, say) keeps the next line waiting
// until it returns, however many ticks come meanwhile.
TEST_F(DialogScriptInput, TheNextLineWaitsForTheOneStillRunning) {
    Ran ran = runScript("click 101\nclick 100\ndump\nok\n");
    EXPECT_EQ(100, ran.result);
    EXPECT_EQ(BST_UNCHECKED, ran.outcome.checkedDuringSlowPress);
    EXPECT_EQ((std::vector<int>{kSlowButton, kDayBox, IDOK}), ran.outcome.commands);
    EXPECT_NE(std::string::npos, ran.out.find("100\tButton\t\"SUN\"\t1\t")) << ran.out;
}

TEST_F(DialogScriptInput, AnswersGoToThisDialogsBoxesAndEndWithIt) {
    Ran ran = runScript("answer yes\nclick 102\nclick 102\nanswer no\nanswer yes\nclick 102\n");
    // The second question found nothing queued: its safe default.
    EXPECT_EQ((std::vector<int>{IDYES, IDNO, IDNO}), ran.outcome.answers);
    EXPECT_EQ(200, ran.result);
    // The script's last answer was never taken; it ended with the dialog, so a later box of
    // the process gets its default.
    EXPECT_EQ(IDNO, MessageBox(nullptr, L"Later?", L"Question", MB_YESNO));
}

TEST(DialogScriptStart, RefusesWithoutAnInputOrADialog) {
    HANDLE readEnd, writeEnd;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    EXPECT_FALSE(winphone::startDialogScript(nullptr, readEnd, nullptr, nullptr));
    HWND window = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, window);
    EXPECT_FALSE(winphone::startDialogScript(window, nullptr, nullptr, nullptr));
    EXPECT_FALSE(winphone::startDialogScript(window, INVALID_HANDLE_VALUE, nullptr, nullptr));
    DestroyWindow(window);
    CloseHandle(writeEnd);
    CloseHandle(readEnd);
}

} // namespace
