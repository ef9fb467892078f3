#include "phone.h"

#include <cstdio>

namespace phone {

int showVerb(Phone& phone, const Args& args) {
    if (!args.empty())
        return fail("usage: show");
    std::printf("Phone: %s\n", phone.where().c_str());
    // Every section is shown, whatever an earlier one could not read.
    LONG first = ERROR_SUCCESS;
    for (LONG (*section)(Phone&) :
         {showClock, showRegistry, showNext, showMessages, showLines, showPending}) {
        LONG status = section(phone);
        if (first == ERROR_SUCCESS)
            first = status;
    }
    std::fflush(stdout);
    return first == ERROR_SUCCESS ? 0 : fail("part of the phone cannot be read (see above)", 1);
}

} // namespace phone
