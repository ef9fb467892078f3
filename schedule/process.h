// What every floor of the program shares within one process: the instance handle that the
// entry records, and the error notice through which failed registry and timer calls are told
// to the user. The entry (app/) sets them up; the timetable code below it uses them.
#ifndef VELMORA_SCHEDULE_PROCESS_H
#define VELMORA_SCHEDULE_PROCESS_H

#include "platform/platform.h"

#define ERROR_NOTICE_CAPTION TEXT("rozev -- 出錯")

// The instance handle the platform passed to the entry; NULL until the entry has run.
extern HINSTANCE appInstance;

// A modal error box, "text\nNo : number", owned by the active window; returns once closed.
void showErrorNotice(LPCWSTR text, int number);

#endif
