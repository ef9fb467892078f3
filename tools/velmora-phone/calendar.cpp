// The phone's calendar (calendar.h): local dates as days since the epoch, and the host's zone
// asked for the offset at an instant.
#include "calendar.h"

#include <ctime>

namespace phone {

int compareLocalTimes(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    const WORD fa[] = {a.wYear, a.wMonth, a.wDay, a.wHour, a.wMinute, a.wSecond};
    const WORD fb[] = {b.wYear, b.wMonth, b.wDay, b.wHour, b.wMinute, b.wSecond};
    for (int i = 0; i < 6; ++i)
        if (fa[i] != fb[i])
            return fa[i] < fb[i] ? -1 : 1;
    return 0;
}

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

// The local time read as if it were UTC: a number that orders like the local time.
long long asIfUtc(const SYSTEMTIME& t) {
    return daysFromCivil(t.wYear, t.wMonth, t.wDay) * 86400 + t.wHour * 3600LL + t.wMinute * 60LL +
           t.wSecond;
}

long long utcOffsetAt(long long instant) {
    time_t t = static_cast<time_t>(instant);
    struct tm local;
    localtime_r(&t, &local);
    return local.tm_gmtoff;
}

} // namespace

SYSTEMTIME localTimeAt(long long instant) {
    time_t t = static_cast<time_t>(instant);
    struct tm local;
    localtime_r(&t, &local);
    return clock_text::timeOf(local);
}

long long startInstant(const SYSTEMTIME& local) {
    const long long wall = asIfUtc(local);
    // No zone is more than 15 hours from UTC, so the instant lies in this window.
    const long long lo = wall - 15 * 3600, hi = wall + 15 * 3600;
    const long long offset = utcOffsetAt(lo);
    if (offset == utcOffsetAt(hi) && asIfUtc(localTimeAt(wall - offset)) == wall)
        return wall - offset; // no change of offset nearby: the one instant with that time
    // Clocks change nearby: walk the window minute by minute for the first local time at or
    // after the wanted one, then find its second.
    for (long long t = lo - ((lo % 60) + 60) % 60; t <= hi + 60; t += 60) {
        if (asIfUtc(localTimeAt(t)) < wall)
            continue;
        long long first = t - 59, last = t;
        while (first < last) {
            long long mid = first + (last - first) / 2;
            if (asIfUtc(localTimeAt(mid)) >= wall)
                last = mid;
            else
                first = mid + 1;
        }
        return last;
    }
    return wall - offset;
}

SYSTEMTIME addDays(const SYSTEMTIME& local, int days) {
    long long d = daysFromCivil(local.wYear, local.wMonth, local.wDay) + days;
    // Back from days to a date (the inverse of daysFromCivil).
    d += 719468;
    const long long era = (d >= 0 ? d : d - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(d - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    SYSTEMTIME out = local;
    out.wDay = static_cast<WORD>(doy - (153 * mp + 2) / 5 + 1);
    out.wMonth = static_cast<WORD>(mp < 10 ? mp + 3 : mp - 9);
    out.wYear = static_cast<WORD>(static_cast<long long>(yoe) + era * 400 + (out.wMonth <= 2));
    out.wDayOfWeek = static_cast<WORD>(dayOfWeek(out.wYear, out.wMonth, out.wDay));
    return out;
}

} // namespace phone
