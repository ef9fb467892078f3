// The application shell: the entry's process-wide state and the shared error notice.
#ifndef VELMORA_APP_APP_H
#define VELMORA_APP_APP_H

#include "platform/platform.h"

#define TIMED_RUN_COMMAND_LINE TEXT("AppRunAtTime")
// The running dialog's caption, which a second interactive start looks for.
#define DIALOG_CAPTION TEXT("Brindlecap")
#define ERROR_NOTICE_CAPTION TEXT("rozev -- 出錯")

#define EXIT_SETTINGS_FAILED (-1)
#define EXIT_INTERACTIVE 0
#define EXIT_TIMED_RUN 1

extern HINSTANCE appInstance;

void showErrorNotice(LPCWSTR text, int number);

// The interactive mode's dialog; returns when the user has closed it.
void runScheduleDialog(void);

#endif
