#include "app/app.h"

// Placeholder until the schedule dialog lands: the interactive mode opens nothing yet.
void runScheduleDialog(void) {}
