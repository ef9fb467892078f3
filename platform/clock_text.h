// The phone's local times as text, for every platform layer and the console: the calendar's
// rules and "YYYY-MM-DD HH:MM:SS", the form the phone state keeps its pinned clock and pending
// starts in.
#ifndef VELMORA_PLATFORM_CLOCK_TEXT_H
#define VELMORA_PLATFORM_CLOCK_TEXT_H

// After the platform's declarations (SYSTEMTIME, WORD), as platform/box_answers.h.
#include <cstddef>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

namespace clock_text {

inline int daysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// 0 = Sunday, the phone's own numbering (Sakamoto's method).
inline int dayOfWeek(int year, int month, int day) {
    static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3)
        year -= 1;
    return (year + year / 4 - year / 100 + year / 400 + offsets[month - 1] + day) % 7;
}

// A real local date and time: month, day of that month, hour, minute and second in range, in
// the years SYSTEMTIME can hold. Checked here rather than by the platform's conversions, which
// take 29 February of any year.
inline bool isValidDateTime(const SYSTEMTIME& t) {
    return t.wYear >= 1601 && t.wYear <= 30827 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 &&
           t.wDay <= daysInMonth(t.wYear, t.wMonth) && t.wHour < 24 && t.wMinute < 60 &&
           t.wSecond < 60 && t.wMilliseconds < 1000;
}

namespace detail {

// Reads between minDigits and maxDigits decimal digits at *at, and nothing else.
inline bool digits(std::string_view text, size_t* at, size_t minDigits, size_t maxDigits,
                   int* out) {
    size_t start = *at;
    int value = 0;
    while (*at < text.size() && *at - start < maxDigits && text[*at] >= '0' && text[*at] <= '9')
        value = value * 10 + (text[(*at)++] - '0');
    *out = value;
    return *at - start >= minDigits;
}

inline bool literal(std::string_view text, size_t* at, char c) {
    if (*at >= text.size() || text[*at] != c)
        return false;
    ++*at;
    return true;
}

} // namespace detail

// "YYYY-MM-DD HH:MM[:SS]": a year of four or five digits, month, day and hour of one or two,
// minutes and seconds of two, one space; nothing before or after. False unless it is a real
// date and time; the weekday is filled in.
inline bool parseDateTime(std::string_view text, SYSTEMTIME* out) {
    using detail::digits;
    using detail::literal;
    size_t at = 0;
    int y, mo, d, h, mi, sec = 0;
    if (!digits(text, &at, 4, 5, &y) || !literal(text, &at, '-') || !digits(text, &at, 1, 2, &mo) ||
        !literal(text, &at, '-') || !digits(text, &at, 1, 2, &d) || !literal(text, &at, ' ') ||
        !digits(text, &at, 1, 2, &h) || !literal(text, &at, ':') || !digits(text, &at, 2, 2, &mi))
        return false;
    if (at < text.size() && (!literal(text, &at, ':') || !digits(text, &at, 2, 2, &sec)))
        return false;
    if (at != text.size() || y > 30827)
        return false;
    SYSTEMTIME t = {};
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

// A broken-down time (localtime_r's, gmtime_r's) as a SYSTEMTIME with its weekday; a leap
// second reads as the last ordinary second, and the milliseconds are 0.
inline SYSTEMTIME timeOf(const struct tm& t) {
    SYSTEMTIME out{};
    out.wYear = static_cast<WORD>(t.tm_year + 1900);
    out.wMonth = static_cast<WORD>(t.tm_mon + 1);
    out.wDayOfWeek = static_cast<WORD>(t.tm_wday);
    out.wDay = static_cast<WORD>(t.tm_mday);
    out.wHour = static_cast<WORD>(t.tm_hour);
    out.wMinute = static_cast<WORD>(t.tm_min);
    out.wSecond = static_cast<WORD>(t.tm_sec > 59 ? 59 : t.tm_sec);
    return out;
}

// "Sunday" … "Saturday" for the phone's weekday index (0 = Sunday), taken modulo 7.
inline const char* weekdayName(int weekday) {
    static const char* const names[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};
    return names[((weekday % 7) + 7) % 7];
}

inline std::string formatDateTime(const SYSTEMTIME& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return text;
}

// The same to the minute, "YYYY-MM-DD HH:MM", however many digits the year has.
inline std::string formatMinute(const SYSTEMTIME& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute);
    return text;
}

// A stored "... HH:MM:SS" without its seconds; a text without them stays as it is.
inline std::string withoutSeconds(const std::string& text) {
    size_t colon = text.rfind(':');
    size_t first = text.find(':');
    return colon != std::string::npos && colon != first ? text.substr(0, colon) : text;
}

// The date of a stored "YYYY-MM-DD HH:MM:SS", without its time.
inline std::string withoutTime(const std::string& text) {
    return text.substr(0, text.find(' '));
}

} // namespace clock_text

#endif
