// The shell's full-screen dialog over a desktop dialog: SHInitDialog sizes it to the work area
// and makes Done the caption's close box, whose SC_CLOSE is OK.
#include "support/win32/wine_phone.h"

#include <vector>

namespace {

struct Outcome {
    DWORD flags;
    BOOL initialised;
    RECT window;
    LONG_PTR style;
    INT_PTR ended;
};

INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    Outcome* outcome = reinterpret_cast<Outcome*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (message == WM_INITDIALOG) {
        outcome = reinterpret_cast<Outcome*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        SHINITDLGINFO info = {SHIDIM_FLAGS, dialog, outcome->flags};
        outcome->initialised = SHInitDialog(&info);
        GetWindowRect(dialog, &outcome->window);
        outcome->style = GetWindowLongPtrW(dialog, GWL_STYLE);
        // What the close box sends.
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        return TRUE;
    }
    if (message == WM_COMMAND) {
        EndDialog(dialog, LOWORD(wParam) == IDOK ? 100 : 200);
        return TRUE;
    }
    return FALSE;
}

TEST(ShellDialog, FullScreenAndDoneByFlags) {
    RECT area;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0));
    std::vector<WORD> t = emptyDialogTemplate(100, 60);
    struct Case {
        DWORD flags;
        bool fullScreen, done;
    } cases[] = {
        {SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN, true, true},
        {SHIDIF_SIZEDLG, true, false},
        {SHIDIF_DONEBUTTON, false, true},
        {0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        Outcome outcome = {c.flags, FALSE, {}, 0, 0};
        outcome.ended = DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                                                reinterpret_cast<LPCDLGTEMPLATE>(t.data()), nullptr,
                                                procedure, reinterpret_cast<LPARAM>(&outcome));
        EXPECT_TRUE(outcome.initialised);
        bool fills = outcome.window.left == area.left && outcome.window.top == area.top &&
                     outcome.window.right == area.right && outcome.window.bottom == area.bottom;
        EXPECT_EQ(c.fullScreen, fills);
        EXPECT_EQ(c.done, (outcome.style & WS_SYSMENU) != 0);
        // Done is OK; without it a close is the dialog manager's Cancel.
        EXPECT_EQ(c.done ? 100 : 200, outcome.ended);
    }
}

TEST(ShellDialog, RefusesWhatIsNotADialog) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SHInitDialog(nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    SHINITDLGINFO info = {SHIDIM_FLAGS, nullptr, SHIDIF_DONEBUTTON};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SHInitDialog(&info));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
}

} // namespace
