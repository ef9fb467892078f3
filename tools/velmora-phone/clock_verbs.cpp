#include "phone.h"

#include <cstdio>

namespace phone {

int clockVerb(Phone& phone, const Args& args) {
    if (args.empty()) {
        ClockReading clock;
        if (LONG status = phone.readClock(&clock))
            return failStatus(phone, "read the phone's clock", status);
        std::printf("%s\n", formatDateTime(clock.now).c_str());
        return 0;
    }
    if (args[0] == "set" && args.size() == 2) {
        SYSTEMTIME t;
        if (!parseDateTime(args[1], &t))
            return fail("'" + args[1] + "' is not a local date and time (YYYY-MM-DD HH:MM[:SS])");
        return done(phone, "set the phone's clock", phone.pinClock(t));
    }
    if (args[0] == "follow" && args.size() == 1)
        return done(phone, "set the phone's clock", phone.pinClock(std::nullopt));
    return fail("usage: clock | clock set \"YYYY-MM-DD HH:MM[:SS]\" | clock follow");
}

LONG showClock(Phone& phone) {
    ClockReading clock;
    LONG status = phone.readClock(&clock);
    if (status != ERROR_SUCCESS) {
        std::printf("Clock: (cannot be read: %s)\n", statusText(phone, status).c_str());
        return status;
    }
    std::printf("Clock: %s %s (%s)\n", formatDateTime(clock.now).c_str(),
                weekdayName(clock.now.wDayOfWeek), clock.pinned ? "pinned" : "following the host");
    return ERROR_SUCCESS;
}

} // namespace phone
