// The phone's clock: the platform's local time unless the phone has been pinned to a local
// time (the state's "Clock" value), which every process on the phone then sees.
#include "win32.h"

#include <cstdio>

namespace winphone {

namespace {

const wchar_t kClockValue[] = L"Clock";

} // namespace

bool isValidDateTime(const SYSTEMTIME& t, SYSTEMTIME* withWeekday) {
    if (!clock_text::isValidDateTime(t))
        return false;
    if (withWeekday != nullptr) {
        *withWeekday = t;
        withWeekday->wDayOfWeek =
            static_cast<WORD>(clock_text::dayOfWeek(t.wYear, t.wMonth, t.wDay));
    }
    return true;
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
