// The program's entry: opens the settings, then either does a timed run or opens the dialog.
#include "app/app.h"
#include "schedule/settings.h"
#include "schedule/timed_run.h"

HINSTANCE appInstance = NULL;

void showErrorNotice(LPCWSTR text, int number) {
    WCHAR notice[256];
    StringCchPrintf(notice, 256, TEXT("%s\nNo : %d"), text, number);
    MessageBox(GetActiveWindow(), notice, ERROR_NOTICE_CAPTION, MB_OK | MB_ICONERROR);
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

    // One dialog at a time: a second start brings the running one to the front.
    HWND running = FindWindow(NULL, DIALOG_CAPTION);
    if (running != NULL)
        SetForegroundWindow(running);
    else
        runScheduleDialog();

    closeSettings();
    return EXIT_INTERACTIVE;
}
