// The phone's clock: the platform's local time unless the phone has been pinned to a local
// time (the state's "Clock" value), which every process on the phone then sees.
#include "win32.h"

#include <cstdio>

namespace winphone {

namespace {

const wchar_t kClockValue[] = L"Clock";

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

bool isValidDateTime(const SYSTEMTIME& t, SYSTEMTIME* withWeekday) {
    // Checked here rather than by the platform's conversions, which take 29 February of
    // any year.
    if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
        t.wDay > daysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 ||
        t.wSecond > 59 || t.wMilliseconds > 999)
        return false;
    if (withWeekday != nullptr) {
        *withWeekday = t;
        withWeekday->wDayOfWeek = static_cast<WORD>(dayOfWeek(t.wYear, t.wMonth, t.wDay));
    }
    return true;
}

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
    if (at != text.size() || y > 30827)
        return false;
    SYSTEMTIME t = {};
    t.wYear = static_cast<WORD>(y);
    t.wMonth = static_cast<WORD>(mo);
    t.wDay = static_cast<WORD>(d);
    t.wHour = static_cast<WORD>(h);
    t.wMinute = static_cast<WORD>(mi);
    t.wSecond = static_cast<WORD>(sec);
    return isValidDateTime(t, out);
}

std::string formatDateTime(const SYSTEMTIME& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return text;
}

bool pinClock(const SYSTEMTIME* time) {
    if (time == nullptr) {
        LONG status = deleteStateValue(L"", kClockValue);
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    if (!isValidDateTime(*time))
        return false;
    return setStateText(L"", kClockValue, fromUtf8(formatDateTime(*time)));
}

StateValue<SYSTEMTIME> pinnedClock() {
    // The state's layout holds the text to a real date and time.
    StateValue<std::wstring> text = stateText(L"", kClockValue);
    SYSTEMTIME t;
    if (!text)
        return StateValue<SYSTEMTIME>::failed(text.status(), text.problem());
    if (!parseDateTime(toUtf8(*text), &t))
        return StateValue<SYSTEMTIME>::failed(ERROR_BADDB, "the pinned clock cannot be read");
    return t;
}

} // namespace winphone

void WINAPI phoneGetLocalTime(LPSYSTEMTIME lpSystemTime) {
    if (lpSystemTime == nullptr)
        return;
    // A pin that cannot be read leaves the platform's time (and has been said): this call has
    // no way to fail.
    if (winphone::StateValue<SYSTEMTIME> pinned = winphone::pinnedClock()) {
        *lpSystemTime = *pinned;
        return;
    }
    GetLocalTime(lpSystemTime);
}
