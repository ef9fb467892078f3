// The phone's clock: the platform's local time unless the phone has been pinned to a local
// time (the state's "Clock" value), which every process on the phone then sees.
#include "win32.h"

#include <cstdio>

namespace {

const wchar_t kClockValue[] = L"Clock";

} // namespace

namespace control {

using namespace winphone;

LONG pinClock(const std::optional<SYSTEMTIME>& time) {
    if (!time) {
        LONG status = deleteStateValue(L"", kClockValue);
        return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
    }
    if (!clock_text::isValidDateTime(*time))
        return noteProblem(ERROR_INVALID_PARAMETER, formatDateTime(*time) + " is no local time");
    return setStateText(L"", kClockValue, fromUtf8(formatDateTime(*time)));
}

LONG pinnedClock(std::optional<SYSTEMTIME>* time) {
    time->reset();
    // The state's layout holds the text to a real date and time.
    StateValue<std::wstring> text = stateText(L"", kClockValue);
    if (text.missing())
        return ERROR_SUCCESS;
    SYSTEMTIME t;
    if (!text)
        return text.status();
    if (!parseDateTime(toUtf8(*text), &t))
        return noteProblem(ERROR_BADDB, "the pinned clock cannot be read");
    *time = t;
    return ERROR_SUCCESS;
}

} // namespace control

void WINAPI phoneGetLocalTime(LPSYSTEMTIME lpSystemTime) {
    if (lpSystemTime == nullptr)
        return;
    // A pin that cannot be read leaves the platform's time (and has been said): this call has
    // no way to fail.
    std::optional<SYSTEMTIME> pinned;
    if (control::pinnedClock(&pinned) == ERROR_SUCCESS && pinned) {
        *lpSystemTime = *pinned;
        return;
    }
    GetLocalTime(lpSystemTime);
}
