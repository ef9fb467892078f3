#include "schedule/next_switch.h"

#include "schedule/settings.h"

BOOL isLeapYear(WORD year) {
    return (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) ? 1 : 0;
}

// Moves the record's date on by `days` (at most a week). A day past the month's end is rolled
// into the next month, and past December into January of the next year. The clock only ever
// reports real dates, so even a week's step leaves at most 31 + 7 = 38, which one roll-over
// brings back into the next month. A month the clock cannot report is left alone.
static void advanceDate(SYSTEMTIME* date, WORD days) {
    date->wDay = (WORD)(date->wDay + days);
    if (date->wDay <= 28)
        return;
    switch (date->wMonth) {
    case 1:
    case 3:
    case 5:
    case 7:
    case 8:
    case 10:
        if (date->wDay > 31) {
            date->wDay = (WORD)(date->wDay - 31);
            date->wMonth = (WORD)(date->wMonth + 1);
        }
        break;
    case 4:
    case 6:
    case 9:
    case 11:
        if (date->wDay > 30) {
            date->wDay = (WORD)(date->wDay - 30);
            date->wMonth = (WORD)(date->wMonth + 1);
        }
        break;
    case 2:
        if (isLeapYear(date->wYear)) {
            if (date->wDay > 29) {
                date->wDay = (WORD)(date->wDay - 29);
                date->wMonth = 3;
            }
        } else {
            date->wDay = (WORD)(date->wDay - 28);
            date->wMonth = 3;
        }
        break;
    case 12:
        if (date->wDay > 31) {
            date->wDay = (WORD)(date->wDay - 31);
            date->wMonth = 1;
            date->wYear = (WORD)(date->wYear + 1);
        }
        break;
    default:
        break;
    }
}

LONG findNextSwitch(SYSTEMTIME* record) {
    WCHAR flags[DAY_FLAGS_CHARS];
    readDayFlags(flags);

    // One reading of the clock serves both the search and the caller's record, so a search
    // that runs across midnight cannot pair one day's weekday with the next day's date.
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (record != NULL)
        *record = now;

    int today = now.wDayOfWeek;
    MinuteOfDay current = (MinuteOfDay)now.wHour * 60 + now.wMinute;

    // A switch at exactly the current minute has already happened (or is happening now).
    if (dayTakesPart(flags, today)) {
        MinuteOfDay on = readWeekdayMinute(SwitchOn, today);
        MinuteOfDay off = readWeekdayMinute(SwitchOff, today);
        if (on > current)
            return (LONG)((off > current && off < on) ? off : on);
        if (off > current)
            return (LONG)off;
    }

    // The walk reaches the same weekday a week on, so that a timetable of a single day keeps
    // running after that day's switches are past.
    int step = 1;
    int day = 0;
    for (; step <= WEEKDAY_COUNT; ++step) {
        day = (today + step) % WEEKDAY_COUNT;
        if (dayTakesPart(flags, day))
            break;
    }
    if (step > WEEKDAY_COUNT)
        return NO_NEXT_SWITCH;

    if (record != NULL) {
        record->wDayOfWeek = (WORD)day;
        advanceDate(record, (WORD)step);
    }

    MinuteOfDay on = readWeekdayMinute(SwitchOn, day);
    MinuteOfDay off = readWeekdayMinute(SwitchOff, day);
    return (LONG)(off < on ? off : on);
}

void formatNextSwitchLine(WCHAR* line, size_t capacity) {
    if (line == NULL || capacity == 0)
        return;
    SYSTEMTIME when;
    LONG minute = findNextSwitch(&when);
    if (minute < 0) {
        StringCchCopy(line, capacity, TEXT("Next : None"));
        return;
    }
    StringCchPrintf(line, capacity, TEXT("Next : %d/%d/%d %d:%02d "), (int)when.wYear,
                    (int)when.wMonth, (int)when.wDay, (int)(minute / 60), (int)(minute % 60));
}
