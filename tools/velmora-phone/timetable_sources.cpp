// The readings of the phone that the timetable check starts from: the stored values, as bytes,
// and the days on which the host's zone changes its clocks.
#include "timetable_check.h"
#include "tools/shared/phone.h"

#include "schedule/settings.h"

#include <ctime>

namespace phone {
namespace {

// The value's bytes exactly as stored; nullopt when the phone has none (or cannot read it, which
// the program would take for none as well).
std::optional<std::string> readBytes(Phone& phone, const WCHAR* name) {
    RegistryValue value;
    if (phone.readValue(SETTINGS_KEY_PATH, name, &value) != ERROR_SUCCESS)
        return std::nullopt;
    return value.bytes;
}

SYSTEMTIME fromWallSeconds(long long seconds) {
    time_t t = static_cast<time_t>(seconds);
    struct tm tm;
    gmtime_r(&t, &tm);
    return clock_text::timeOf(tm);
}

// How far the local clock stands from UTC at an instant.
long long offsetAt(long long instant) {
    return wallSeconds(localTimeAt(instant)) - instant;
}

} // namespace

long long wallSeconds(const SYSTEMTIME& t) {
    struct tm tm {};
    tm.tm_year = t.wYear - 1900;
    tm.tm_mon = t.wMonth - 1;
    tm.tm_mday = t.wDay;
    tm.tm_hour = t.wHour;
    tm.tm_min = t.wMinute;
    tm.tm_sec = t.wSecond;
    return static_cast<long long>(timegm(&tm));
}

SYSTEMTIME firingTime(const SYSTEMTIME& due, const SYSTEMTIME& now, const std::vector<OffSpan>& off,
                      Lateness* why) {
    long long instant = startInstant(due);
    SYSTEMTIME at = localTimeAt(instant);
    *why = compareLocalTimes(at, due) != 0 ? Lateness::ClockSkipped : Lateness::OnTime;
    if (compareLocalTimes(at, now) < 0) {
        at = now;
        instant = startInstant(now);
        *why = Lateness::Overdue;
    }
    // A phone switched on again runs what fell due while it was off; spans may follow or
    // overlap one another.
    for (bool moved = true; moved;) {
        moved = false;
        for (const OffSpan& o : off) {
            const long long from = startInstant(o.from), to = startInstant(o.to);
            if (instant >= from && instant < to) {
                instant = to;
                at = localTimeAt(to);
                *why = Lateness::PhoneOff;
                moved = true;
            }
        }
    }
    return at;
}

StoredTimetable readStoredTimetable(Phone& phone) {
    StoredTimetable stored;
    stored.enabled = readBytes(phone, DAY_FLAGS_VALUE);
    for (int day = 0; day < kWeekdays; ++day) {
        WCHAR name[SWITCH_NAME_CHARS];
        formatSwitchName(name, SWITCH_NAME_CHARS, SwitchOn, day);
        stored.on[day] = readBytes(phone, name);
        formatSwitchName(name, SWITCH_NAME_CHARS, SwitchOff, day);
        stored.off[day] = readBytes(phone, name);
    }
    return stored;
}

std::vector<ClockChange> clockChanges(const SYSTEMTIME& begin, const SYSTEMTIME& end) {
    std::vector<ClockChange> out;
    SYSTEMTIME day = begin, lastDay = end;
    day.wHour = day.wMinute = day.wSecond = day.wMilliseconds = 0;
    lastDay.wHour = lastDay.wMinute = lastDay.wSecond = lastDay.wMilliseconds = 0;
    // From the last instant before the day to its own last instant: a change in between is the
    // day's (one a day is enough for every zone there is).
    long long lo = startInstant(day) - 1;
    while (compareLocalTimes(day, lastDay) <= 0) {
        SYSTEMTIME next = addDays(day, 1);
        const long long nextStart = startInstant(next);
        long long hi = nextStart - 1;
        const long long before = offsetAt(lo), after = offsetAt(hi);
        if (before != after) {
            // The first instant on the new offset.
            long long a = lo, b = hi;
            while (b - a > 1) {
                long long mid = a + (b - a) / 2;
                (offsetAt(mid) == before ? a : b) = mid;
            }
            out.push_back({fromWallSeconds(b + before), fromWallSeconds(b + after)});
        }
        lo = hi;
        day = next;
    }
    return out;
}

} // namespace phone
