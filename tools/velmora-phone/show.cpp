#include "phone.h"

#include <cstdio>

namespace phone {

int showVerb(const Args& args) {
    if (!args.empty())
        return fail("usage: show");
    std::printf("Phone: %s\n", host::storePath().c_str());
    showClock();
    showRegistry();
    showNext();
    showMessages();
    showLines();
    showPending();
    return 0;
}

} // namespace phone
