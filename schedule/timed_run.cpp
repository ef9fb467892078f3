// The switching cycle. The program never stays resident: each timed start switches what is due
// in the current minute, asks the platform to start it again at the next switch, and ends.
#include "schedule/timed_run.h"

#include "radio/radio.h"
#include "schedule/named_lock.h"
#include "schedule/next_switch.h"
#include "schedule/process.h"
#include "schedule/settings.h"

#define MODULE_PATH_CHARS 260

void runDueSwitches(void) {
    WCHAR flags[DAY_FLAGS_CHARS];
    SYSTEMTIME now;
    readDayFlags(flags);
    GetLocalTime(&now);
    int weekday = now.wDayOfWeek;
    if (!dayTakesPart(flags, weekday))
        return;

    // The clock is read once: a slow switch-on must not move the minute the switch-off is
    // compared with.
    MinuteOfDay minute = (MinuteOfDay)now.wHour * 60 + now.wMinute;
    if (readWeekdayMinute(SwitchOn, weekday) == minute)
        switchRadio(appInstance, TRUE);
    if (readWeekdayMinute(SwitchOff, weekday) == minute)
        switchRadio(appInstance, FALSE);
}

BOOL registerNextStart(DWORD* error) {
    WCHAR path[MODULE_PATH_CHARS];
    // Empty if the path cannot be had: the platform then refuses the call, which is reported.
    path[0] = TEXT('\0');
    GetModuleFileName(NULL, path, MODULE_PATH_CHARS);

    SYSTEMTIME next;
    memset(&next, 0, sizeof(next));
    LONG minute = findNextSwitch(&next);
    if (minute < 0) {
        // Nothing left to switch: the cycle stops until the timetable is stored again.
        CeRunAppAtTime(path, NULL);
        return TRUE;
    }

    // A new registration replaces the pending one, so there is never a moment with none. A
    // minute past the record's hours gives an hour the platform refuses, never a wrapped one:
    // armed at a real hour, it would find nothing due and arm the same minute again.
    next.wHour = hourOfMinute((MinuteOfDay)minute);
    next.wMinute = (WORD)(minute % 60);
    next.wSecond = 0;
    if (CeRunAppAtTime(path, &next))
        return TRUE;
    *error = GetLastError();
    return FALSE;
}

void armWakeUp(void) {
    NamedLock lock;
    takeNamedLock(&lock, TIMETABLE_LOCK_NAME);
    DWORD error = 0;
    BOOL armed = registerNextStart(&error);
    releaseNamedLock(&lock);
    reportNamedLockFailure(&lock);
    if (!armed)
        showErrorNotice(TIMER_FAILED_NOTICE, (int)error);
}
