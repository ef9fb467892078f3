// The next moment, strictly after the current minute, at which the timetable switches.
#ifndef VELMORA_SCHEDULE_NEXT_SWITCH_H
#define VELMORA_SCHEDULE_NEXT_SWITCH_H

#include "platform/platform.h"

#define NO_NEXT_SWITCH (-1)

// Fills the record's date (year, month, day, weekday) with the switch's date and returns its
// minute of the day, or a negative value (NO_NEXT_SWITCH) when there is none.
LONG findNextSwitch(SYSTEMTIME* record);
BOOL isLeapYear(WORD year);

#define NEXT_LINE_CHARS 128
// The line that tells the user when the timetable next switches, as the dialog shows it.
void formatNextSwitchLine(WCHAR* line, size_t capacity);

#endif
