#include "phone.h"

#include <cstdio>

namespace phone {

int nextVerb(Phone& phone, const Args& args) {
    if (!args.empty())
        return fail("usage: next");
    // The very line the dialog shows, so that scripts and the dialog never disagree.
    std::string line;
    if (LONG status = phone.nextSwitchLine(&line))
        return failStatus(phone, "tell the next switch", status);
    std::printf("%s\n", line.c_str());
    return 0;
}

LONG showNext(Phone& phone) {
    std::string line;
    LONG status = phone.nextSwitchLine(&line);
    if (status != ERROR_SUCCESS)
        std::printf("Next switch: (cannot be told: %s)\n", statusText(phone, status).c_str());
    else
        std::printf("Next switch (as the dialog shows it): %s\n", line.c_str());
    return status;
}

} // namespace phone
