// The Pocket PC shell's full-screen dialog over a desktop dialog: SHInitDialog sizes the
// dialog to the work area (the whole screen of a phone), and its Done button becomes the
// caption's close box, whose SC_CLOSE acts as OK. With nobody at a console, the dialog takes
// the dialog script's lines from standard input, as on the simulated phone.
#include "win32.h"

namespace {

const UINT_PTR kDoneSubclass = 1;

// The close box (and Alt+F4) sends SC_CLOSE; on the phone Done means OK, where the desktop's
// dialog manager would turn a close into Cancel.
LRESULT CALLBACK doneMeansOk(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                             DWORD_PTR) {
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        return 0;
    }
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(dialog, doneMeansOk, kDoneSubclass);
    return DefSubclassProc(dialog, message, wParam, lParam);
}

} // namespace

BOOL SHInitDialog(PSHINITDLGINFO pshidi) {
    if (pshidi == nullptr || !IsWindow(pshidi->hDlg)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    HWND dialog = pshidi->hDlg;
    if (!winphone::consoleInput())
        winphone::startDialogScript(dialog, GetStdHandle(STD_INPUT_HANDLE),
                                    GetStdHandle(STD_OUTPUT_HANDLE),
                                    GetStdHandle(STD_ERROR_HANDLE));
    if (!(pshidi->dwMask & SHIDIM_FLAGS))
        return TRUE;
    DWORD flags = pshidi->dwFlags;
    UINT position = SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED;
    RECT area = {};
    if (flags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR))
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    else
        position |= SWP_NOMOVE | SWP_NOSIZE;
    if (flags & SHIDIF_DONEBUTTON) {
        SetWindowLongPtrW(dialog, GWL_STYLE, GetWindowLongPtrW(dialog, GWL_STYLE) | WS_SYSMENU);
        if (!SetWindowSubclass(dialog, doneMeansOk, kDoneSubclass, 0))
            return FALSE;
    }
    return SetWindowPos(dialog, nullptr, area.left, area.top, area.right - area.left,
                        area.bottom - area.top, position);
}
