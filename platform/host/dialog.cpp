// The Pocket PC shell's full-screen dialog: SHInitDialog marks a running dialog as filling the
// screen and as having a Done button in its title bar, which the terminal draws and the "done"
// key presses.
#include "dialog_manager.h"
#include "host.h"

BOOL SHInitDialog(PSHINITDLGINFO pshidi) {
    host::Dialog* d = pshidi ? host::runningDialog(pshidi->hDlg) : nullptr;
    if (!d)
        return FALSE;
    if (pshidi->dwMask & SHIDIM_FLAGS) {
        d->doneButton = (pshidi->dwFlags & SHIDIF_DONEBUTTON) != 0;
        d->fullScreen = (pshidi->dwFlags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN |
                                            SHIDIF_FULLSCREENNOMENUBAR)) != 0;
    }
    return TRUE;
}
