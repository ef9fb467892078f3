#include "phone.h"

#include <cstdio>

namespace phone {

int clockVerb(const Args& args) {
    if (args.empty()) {
        // The clock reads the pin; a pin that cannot be read is no reason to show the host's time.
        std::optional<SYSTEMTIME> pinned;
        if (LONG status = host::pinnedClock(&pinned))
            return failStatus("read the phone's clock", status);
        SYSTEMTIME now;
        GetLocalTime(&now);
        std::printf("%s\n", host::formatDateTime(now).c_str());
        return 0;
    }
    if (args[0] == "set" && args.size() == 2) {
        SYSTEMTIME t;
        if (!host::parseDateTime(args[1], &t))
            return fail("'" + args[1] + "' is not a local date and time (YYYY-MM-DD HH:MM[:SS])");
        if (LONG status = host::pinClock(t))
            return failStatus("set the phone's clock", status);
        return 0;
    }
    if (args[0] == "follow" && args.size() == 1) {
        if (LONG status = host::pinClock(std::nullopt))
            return failStatus("set the phone's clock", status);
        return 0;
    }
    return fail("usage: clock | clock set \"YYYY-MM-DD HH:MM[:SS]\" | clock follow");
}

LONG showClock() {
    std::optional<SYSTEMTIME> pinned;
    LONG status = host::pinnedClock(&pinned);
    if (status != ERROR_SUCCESS) {
        std::printf("Clock: (cannot be read: %s)\n", statusText(status).c_str());
        return status;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::printf("Clock: %s %s (%s)\n", host::formatDateTime(now).c_str(),
                host::weekdayName(now.wDayOfWeek), pinned ? "pinned" : "following the host");
    return ERROR_SUCCESS;
}

} // namespace phone
