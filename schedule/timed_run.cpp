#include "schedule/timed_run.h"

// Placeholders until the switching cycle lands: a timed run switches and arms nothing yet.
void runDueSwitches(void) {}
void armWakeUp(void) {}
