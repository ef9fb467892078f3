// The phone's clock: the host's local time unless the phone has been pinned to a local time,
// which every process on the phone then sees.
#include "host.h"

#include <cstdio>
#include <ctime>
#include <sys/time.h>

namespace host {

int daysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

int dayOfWeek(int year, int month, int day) {
    // Sakamoto's method; 0 = Sunday, the phone's own numbering.
    static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3)
        year -= 1;
    return (year + year / 4 - year / 100 + year / 400 + offsets[month - 1] + day) % 7;
}

const char* weekdayName(int weekday) {
    static const char* const names[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};
    return names[((weekday % 7) + 7) % 7];
}

bool isValidDateTime(const SYSTEMTIME& t) {
    return t.wYear >= 1601 && t.wYear <= 30827 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 &&
           t.wDay <= daysInMonth(t.wYear, t.wMonth) && t.wHour < 24 && t.wMinute < 60 &&
           t.wSecond < 60 && t.wMilliseconds < 1000;
}

namespace {

// Reads between minDigits and maxDigits decimal digits at *at, and nothing else.
bool digits(std::string_view text, size_t* at, size_t minDigits, size_t maxDigits, int* out) {
    size_t start = *at;
    int value = 0;
    while (*at < text.size() && *at - start < maxDigits && text[*at] >= '0' && text[*at] <= '9')
        value = value * 10 + (text[(*at)++] - '0');
    *out = value;
    return *at - start >= minDigits;
}

bool literal(std::string_view text, size_t* at, char c) {
    if (*at >= text.size() || text[*at] != c)
        return false;
    ++*at;
    return true;
}

} // namespace

// "YYYY-MM-DD HH:MM[:SS]": a year of four or five digits, month, day and hour of one or two,
// minutes and seconds of two, one space; nothing before or after.
bool parseDateTime(std::string_view text, SYSTEMTIME* out) {
    size_t at = 0;
    int y, mo, d, h, mi, sec = 0;
    if (!digits(text, &at, 4, 5, &y) || !literal(text, &at, '-') || !digits(text, &at, 1, 2, &mo) ||
        !literal(text, &at, '-') || !digits(text, &at, 1, 2, &d) || !literal(text, &at, ' ') ||
        !digits(text, &at, 1, 2, &h) || !literal(text, &at, ':') || !digits(text, &at, 2, 2, &mi))
        return false;
    if (at < text.size() && (!literal(text, &at, ':') || !digits(text, &at, 2, 2, &sec)))
        return false;
    if (at != text.size() || y < 1601 || y > 30827)
        return false;
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(y);
    t.wMonth = static_cast<WORD>(mo);
    t.wDay = static_cast<WORD>(d);
    t.wHour = static_cast<WORD>(h);
    t.wMinute = static_cast<WORD>(mi);
    t.wSecond = static_cast<WORD>(sec);
    if (!isValidDateTime(t))
        return false;
    t.wDayOfWeek = static_cast<WORD>(dayOfWeek(y, mo, d));
    *out = t;
    return true;
}

std::string formatDateTime(const SYSTEMTIME& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return buf;
}

LONG pinClock(const std::optional<SYSTEMTIME>& time) {
    if (time && !isValidDateTime(*time))
        return refuse(ERROR_INVALID_PARAMETER, formatDateTime(*time) + " is no local time");
    return setSetting("clock",
                      time ? std::optional<std::string>(formatDateTime(*time)) : std::nullopt);
}

LONG pinnedClock(std::optional<SYSTEMTIME>* time) {
    std::optional<std::string> text;
    time->reset();
    LONG status = setting("clock", &text);
    if (status != ERROR_SUCCESS || !text)
        return status;
    SYSTEMTIME t;
    if (!parseDateTime(*text, &t))
        return refuse(ERROR_BADDB, "the phone's clock is pinned at '" + oneLine(*text) +
                                       "', which is no date and time");
    *time = t;
    return ERROR_SUCCESS;
}

} // namespace host

void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    if (!lpSystemTime)
        return;
    // A pin that cannot be read leaves the host's time: this call has no way to fail.
    std::optional<SYSTEMTIME> pinned;
    if (host::pinnedClock(&pinned) == ERROR_SUCCESS && pinned) {
        *lpSystemTime = *pinned;
        return;
    }
    struct timeval now;
    gettimeofday(&now, nullptr);
    struct tm local;
    time_t seconds = now.tv_sec;
    localtime_r(&seconds, &local);
    lpSystemTime->wYear = static_cast<WORD>(local.tm_year + 1900);
    lpSystemTime->wMonth = static_cast<WORD>(local.tm_mon + 1);
    lpSystemTime->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    lpSystemTime->wDay = static_cast<WORD>(local.tm_mday);
    lpSystemTime->wHour = static_cast<WORD>(local.tm_hour);
    lpSystemTime->wMinute = static_cast<WORD>(local.tm_min);
    // A leap second reads as the last ordinary second.
    lpSystemTime->wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);
    lpSystemTime->wMilliseconds = static_cast<WORD>(now.tv_usec / 1000);
}
