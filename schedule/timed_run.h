// The switching cycle: switch when a switch of today is due, then arm the next start.
#ifndef VELMORA_SCHEDULE_TIMED_RUN_H
#define VELMORA_SCHEDULE_TIMED_RUN_H

#include "platform/platform.h"

void runDueSwitches(void);
void armWakeUp(void);

#endif
