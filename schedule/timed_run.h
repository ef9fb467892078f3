// The switching cycle: switch when a switch of today is due, then arm the next start.
#ifndef VELMORA_SCHEDULE_TIMED_RUN_H
#define VELMORA_SCHEDULE_TIMED_RUN_H

#include "platform/platform.h"

// The notice shown when the next start cannot be registered.
#define TIMER_FAILED_NOTICE TEXT("設定定時器失敗！")

void runDueSwitches(void);
void armWakeUp(void);

#endif
