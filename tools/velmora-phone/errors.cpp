// How the console says that something went wrong: one line on standard error, with the phone's
// own status and reason when the phone could not do what was asked.
#include "phone.h"

#include <cstdio>

namespace phone {

int fail(const std::string& message, int status) {
    // Whatever the user typed, the error stays one line.
    std::fprintf(stderr, "velmora-phone: %s\n", oneLine(message).c_str());
    return status;
}

std::string statusText(const Phone& phone, LONG status) {
    std::string why = phone.problem();
    return "status " + std::to_string(status) + (why.empty() ? std::string() : ": " + why);
}

int failStatus(const Phone& phone, const std::string& what, LONG status) {
    return fail("cannot " + what + " (" + statusText(phone, status) + ")", 1);
}

int done(const Phone& phone, const std::string& what, LONG status) {
    return status == ERROR_SUCCESS ? 0 : failStatus(phone, what, status);
}

} // namespace phone
