// The console's backup and restore: the whole phone into one file, and such a file put back in
// its place, each through the phone, which keeps its processes' view whole.
#include "phone.h"

namespace phone {

int backupVerb(Phone& phone, const Args& args) {
    if (args.size() != 1 || args[0].empty())
        return fail("usage: backup FILE");
    return done(phone, "back up the phone to '" + args[0] + "'", phone.backupTo(args[0]));
}

int restoreVerb(Phone& phone, const Args& args) {
    if (args.size() != 1 || args[0].empty())
        return fail("usage: restore FILE");
    return done(phone, "restore the phone from '" + args[0] + "'", phone.restoreFrom(args[0]));
}

} // namespace phone
