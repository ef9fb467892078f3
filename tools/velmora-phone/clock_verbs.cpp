#include "phone.h"

#include <cstdio>

namespace phone {

int clockVerb(const Args& args) {
    if (args.empty()) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        std::printf("%s\n", host::formatDateTime(now).c_str());
        return 0;
    }
    if (args[0] == "set" && args.size() == 2) {
        SYSTEMTIME t;
        if (!host::parseDateTime(args[1], &t))
            return fail("'" + args[1] + "' is not a local date and time (YYYY-MM-DD HH:MM[:SS])");
        if (!host::pinClock(t))
            return fail("cannot set the phone's clock", 1);
        return 0;
    }
    if (args[0] == "follow" && args.size() == 1) {
        if (!host::pinClock(std::nullopt))
            return fail("cannot set the phone's clock", 1);
        return 0;
    }
    return fail("usage: clock | clock set \"YYYY-MM-DD HH:MM[:SS]\" | clock follow");
}

void showClock() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::printf("Clock: %s %s (%s)\n", host::formatDateTime(now).c_str(),
                host::weekdayName(now.wDayOfWeek),
                host::pinnedClock() ? "pinned" : "following the host");
}

} // namespace phone
