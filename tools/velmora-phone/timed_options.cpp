// The options of the timed verbs: --tsv and --until for both, and for simulate alone (virtual
// time) --days, --off spans and --svg.
#include "timed_starts.h"

#include <cerrno>
#include <cstdlib>

namespace phone::timed {

bool parseOptions(const Args& args, bool simulating, Options* o, std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--tsv") {
            o->tsv = true;
        } else if (a == "--off" && simulating && i + 2 < args.size()) {
            OffSpan span;
            for (SYSTEMTIME* t : {&span.from, &span.to})
                if (!parseDateTime(args[++i], t)) {
                    *error =
                        "'" + args[i] + "' is not a local date and time (YYYY-MM-DD HH:MM[:SS])";
                    return false;
                }
            if (compareLocalTimes(span.from, span.to) >= 0) {
                *error = "--off " + args[i - 1] + " " + args[i] +
                         ": the phone must be off before it is on again";
                return false;
            }
            o->off.push_back(span);
        } else if (a == "--svg" && simulating && i + 1 < args.size() && !args[i + 1].empty()) {
            o->svg = args[++i];
        } else if (a == "--days" && simulating && i + 1 < args.size()) {
            const std::string& n = args[++i];
            char* end = nullptr;
            errno = 0;
            long days = std::strtol(n.c_str(), &end, 10);
            if (n.empty() || *end || errno || days < 1 || days > kMaxSimulatedDays) {
                *error = "'" + n + "' is not a number of days (1-" +
                         std::to_string(kMaxSimulatedDays) + ")";
                return false;
            }
            o->days = static_cast<int>(days);
        } else if (a == "--until" && i + 1 < args.size()) {
            SYSTEMTIME t;
            if (!parseDateTime(args[++i], &t)) {
                *error = "'" + args[i] + "' is not a local date and time (YYYY-MM-DD HH:MM[:SS])";
                return false;
            }
            o->until = t;
        } else {
            *error = "unexpected '" + a + "'";
            return false;
        }
    }
    if (o->days && o->until) {
        *error = "give --days or --until, not both";
        return false;
    }
    return true;
}

} // namespace phone::timed
