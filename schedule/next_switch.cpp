#include "schedule/next_switch.h"

// Placeholder until the search lands: no next switch is ever found.
LONG findNextSwitch(SYSTEMTIME*) {
    return NO_NEXT_SWITCH;
}
BOOL isLeapYear(WORD) {
    return FALSE;
}
void formatNextSwitchLine(WCHAR* line, size_t capacity) {
    StringCchCopy(line, capacity, TEXT("Next : None"));
}
