// The pending verb, and the pending starts' section of "show": every start the phone holds,
// with its program and time.
#include "timed_starts.h"

#include <cstdio>

namespace phone {

int pendingVerb(Phone& phone, const Args& args) {
    if (!args.empty())
        return fail("usage: pending");
    std::vector<PendingStart> all;
    LONG status = phone.pendingStarts(&all);
    // "none" only when the phone says so: a list that cannot be read is not an empty one.
    if (all.empty() && status == ERROR_SUCCESS)
        std::printf("none\n");
    for (const PendingStart& p : all)
        std::printf("%s\t%s\n", oneLine(p.path).c_str(), p.text.c_str());
    std::fflush(stdout);
    return done(phone, "read every pending start", status);
}

LONG showPending(Phone& phone) {
    std::vector<PendingStart> all;
    LONG status = phone.pendingStarts(&all);
    std::printf("Timed starts pending: %zu\n", all.size());
    for (const PendingStart& p : all)
        std::printf("  %s  %s\n", p.valid ? timed::stamp(p.at).c_str() : p.text.c_str(),
                    p.path.c_str());
    if (status != ERROR_SUCCESS)
        std::printf("  (not every start can be read: %s)\n", statusText(phone, status).c_str());
    return status;
}

} // namespace phone
