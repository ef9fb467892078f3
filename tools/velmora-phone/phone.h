// velmora-phone: the simulated phone's console, for people and scripts.
#ifndef VELMORA_TOOLS_PHONE_H
#define VELMORA_TOOLS_PHONE_H

#include "platform/host/host.h"

#include <string>
#include <vector>

namespace phone {

using Args = std::vector<std::string>;

// One verb of the console; args excludes the verb itself.
struct Verb {
    const char* name;
    const char* usage;
    int (*run)(const Args& args);
};

// Prints "velmora-phone: MESSAGE" on standard error; returns the status to exit with.
int fail(const std::string& message, int status = 2);
// Prints "velmora-phone: cannot WHAT (status N: why)" and returns 1: a phone that cannot do
// what was asked, with the phone's own status code and reason.
int failStatus(const std::string& what, LONG status);
// "status N: why", or "status N" when the phone gave no reason.
std::string statusText(LONG status);
// Opens the phone's store, or reports why it cannot be opened.
bool openPhone();

int regVerb(const Args& args);
int clockVerb(const Args& args);
int messagesVerb(const Args& args);
int answerVerb(const Args& args);
int showVerb(const Args& args);
int nextVerb(const Args& args);
int linesVerb(const Args& args);
int lineVerb(const Args& args);
int reinitVerb(const Args& args);
int telephonyVerb(const Args& args);
int tickVerb(const Args& args);
int pendingVerb(const Args& args);
int runVerb(const Args& args);
int simulateVerb(const Args& args);

// Sections of "show", one per part of the phone. Each lists what it can read, says in its place
// what it cannot, and gives back the status of the first failure.
LONG showRegistry();
LONG showClock();
LONG showMessages();
LONG showNext();
LONG showLines();
LONG showPending();

} // namespace phone

#endif
