// The program's entry: opens the settings, then either does a timed run or opens the dialog.
#include "app/app.h"
#include "schedule/named_lock.h"
#include "schedule/settings.h"
#include "schedule/timed_run.h"

// Held while this start looks for a running dialog and, finding none, opens its own.
static NamedLock dialogStart;

void endDialogStart(void) {
    releaseNamedLock(&dialogStart);
}

// Compared character by character, the whole string: the platform's lstrcmp compares by
// locale rules, under which a soft hyphen, a zero-width joiner or a byte-order mark would make
// another command line equal to this one.
static BOOL isTimedRunCommandLine(LPCWSTR commandLine) {
    LPCWSTR expected = TIMED_RUN_COMMAND_LINE;
    if (commandLine == NULL)
        return FALSE;
    while (*commandLine != 0 && *commandLine == *expected) {
        ++commandLine;
        ++expected;
    }
    return *commandLine == *expected;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR lpCmdLine, int) {
    appInstance = hInstance;

    LONG status = openSettings();
    if (status != ERROR_SUCCESS) {
        showErrorNotice(TEXT("寫入註冊表設定時出錯！RegCreateKeyEx"), status);
        return EXIT_SETTINGS_FAILED;
    }

    if (isTimedRunCommandLine(lpCmdLine)) {
        runDueSwitches();
        armWakeUp();
        closeSettings();
        return EXIT_TIMED_RUN;
    }

    // One dialog at a time: a second start brings the running one to the front. Looking for it
    // and opening ours are one step under a lock that the dialog lets go once its window exists,
    // so that starts at the same moment never open two.
    if (!takeNamedLock(&dialogStart, DIALOG_START_LOCK_NAME))
        reportNamedLockFailure(&dialogStart);
    HWND running = FindWindow(NULL, DIALOG_CAPTION);
    if (running != NULL) {
        endDialogStart();
        SetForegroundWindow(running);
    } else {
        runScheduleDialog();
    }
    endDialogStart();

    closeSettings();
    return EXIT_INTERACTIVE;
}
