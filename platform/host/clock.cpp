// The phone's clock: the host's local time unless the phone has been pinned to a local time,
// which every process on the phone then sees.
#include "host.h"

#include <cstdio>
#include <ctime>
#include <sys/time.h>

namespace control {

LONG pinClock(const std::optional<SYSTEMTIME>& time) {
    using namespace host;
    if (time && !isValidDateTime(*time))
        return refuse(ERROR_INVALID_PARAMETER, formatDateTime(*time) + " is no local time");
    return setSetting("clock",
                      time ? std::optional<std::string>(formatDateTime(*time)) : std::nullopt);
}

LONG pinnedClock(std::optional<SYSTEMTIME>* time) {
    using namespace host;
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

} // namespace control

void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    if (!lpSystemTime)
        return;
    // A pin that cannot be read leaves the host's time: this call has no way to fail. It is read
    // twice first, so that a lock or a read of the disk failing once does not move the clock.
    std::optional<SYSTEMTIME> pinned;
    if ((control::pinnedClock(&pinned) == ERROR_SUCCESS ||
         control::pinnedClock(&pinned) == ERROR_SUCCESS) &&
        pinned) {
        *lpSystemTime = *pinned;
        return;
    }
    struct timeval now;
    gettimeofday(&now, nullptr);
    struct tm local;
    time_t seconds = now.tv_sec;
    localtime_r(&seconds, &local);
    *lpSystemTime = clock_text::timeOf(local);
    lpSystemTime->wMilliseconds = static_cast<WORD>(now.tv_usec / 1000);
}
