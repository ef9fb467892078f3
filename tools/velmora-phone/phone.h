// velmora-phone: the console of a phone, for people and scripts. The verbs learn everything about
// the phone through the phone's interface (tools/shared/phone.h) and do all the formatting, with
// the platform's shared helpers that hold no phone state (text, dates, names).
#ifndef VELMORA_TOOLS_PHONE_H
#define VELMORA_TOOLS_PHONE_H

#include "calendar.h"
#include "tools/shared/console.h"

#include "platform/box_answers.h"
#include "platform/utf8.h"

#include <string>
#include <vector>

namespace phone {

using box_answers::answerFromName;
using box_answers::answerName;

// Prints "velmora-phone: MESSAGE" on standard error; returns the status to exit with.
int fail(const std::string& message, int status = 2);
// Prints "velmora-phone: cannot WHAT (status N: why)" and returns 1: a phone that cannot do
// what was asked, with the phone's own status code and reason.
int failStatus(const Phone& phone, const std::string& what, LONG status);
// 0 for ERROR_SUCCESS, else failStatus: the exit status of a verb that makes one change.
int done(const Phone& phone, const std::string& what, LONG status);

int regVerb(Phone& phone, const Args& args);
int clockVerb(Phone& phone, const Args& args);
int messagesVerb(Phone& phone, const Args& args);
int answerVerb(Phone& phone, const Args& args);
int showVerb(Phone& phone, const Args& args);
int nextVerb(Phone& phone, const Args& args);
int linesVerb(Phone& phone, const Args& args);
int lineVerb(Phone& phone, const Args& args);
int reinitVerb(Phone& phone, const Args& args);
int telephonyVerb(Phone& phone, const Args& args);
int tickVerb(Phone& phone, const Args& args);
int pendingVerb(Phone& phone, const Args& args);
int runVerb(Phone& phone, const Args& args);
int simulateVerb(Phone& phone, const Args& args);
int backupVerb(Phone& phone, const Args& args);
int restoreVerb(Phone& phone, const Args& args);

// Sections of "show", one per part of the phone. Each lists what it can read, says in its place
// what it cannot, and gives back the status of the first failure.
LONG showRegistry(Phone& phone);
LONG showClock(Phone& phone);
LONG showMessages(Phone& phone);
LONG showNext(Phone& phone);
LONG showLines(Phone& phone);
LONG showPending(Phone& phone);

} // namespace phone

#endif
