#include "schedule/process.h"

HINSTANCE appInstance = NULL;

void showErrorNotice(LPCWSTR text, int number) {
    WCHAR notice[256];
    StringCchPrintf(notice, sizeof notice / sizeof notice[0], TEXT("%s\nNo : %d"), text, number);
    MessageBox(GetActiveWindow(), notice, ERROR_NOTICE_CAPTION, MB_OK | MB_ICONERROR);
}
