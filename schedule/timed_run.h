// The switching cycle: switch when a switch of today is due, then arm the next start.
#ifndef VELMORA_SCHEDULE_TIMED_RUN_H
#define VELMORA_SCHEDULE_TIMED_RUN_H

#include "platform/platform.h"

// The notice shown when the next start cannot be registered.
#define TIMER_FAILED_NOTICE TEXT("設定定時器失敗！")

// Held around "read the timetable and register the next start" in a timed run, and around
// "store the timetable and register" in the dialog, so that the start left pending is always
// the one the stored timetable gives. Never held while the radio is switched or a box is shown.
#define TIMETABLE_LOCK_NAME TEXT("Velmora.Timetable")

void runDueSwitches(void);
// Registers the next start (or cancels the pending one) under the timetable lock; a failure is
// told afterwards.
void armWakeUp(void);
// The registration itself, with no lock and no box: FALSE and the platform's error code when
// the platform refused it.
BOOL registerNextStart(DWORD* error);

#endif
