// The console's verbs by name, for the programs that drive a phone with them: velmora-phone
// itself and the comparison of two phones. The console defines them (tools/velmora-phone/).
#ifndef VELMORA_TOOLS_SHARED_CONSOLE_H
#define VELMORA_TOOLS_SHARED_CONSOLE_H

#include "tools/shared/phone.h"

#include <string>
#include <vector>

namespace phone {

using Args = std::vector<std::string>;

// One verb of the console; args excludes the verb itself. Its exit status.
struct Verb {
    const char* name;
    const char* usage;
    int (*run)(Phone& phone, const Args& args);
};

// Every verb, in the order the usage lists them; findVerb gives nullptr when there is no such
// verb.
const std::vector<Verb>& verbs();
const Verb* findVerb(const std::string& name);

// "status N: why", or "status N" when the phone gave no reason.
std::string statusText(const Phone& phone, LONG status);

} // namespace phone

#endif
