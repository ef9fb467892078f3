// The answers a message box takes with nobody there to pick one, once for every layer: the
// process's own answers (a script of its own) first, then the phone's queue, which every process
// on the phone shares; an answer the box does not have, or a queued entry that is no answer,
// gives the box's safe default. The rules are answers.cpp; each layer keeps the queue in its
// store and defines the state's calls in its answers.cpp: the simulated phone in the table
// answers, the Wine phone in the binary value Answers.
#ifndef VELMORA_PHONE_ANSWERS_H
#define VELMORA_PHONE_ANSWERS_H

#if defined(_WIN32)
// The layer's own sources see the platform itself, not the seam's renamed calls.
#include <windows.h>
#else
#include "platform/platform.h"
#endif

#include <string>

namespace answers_state {

// ---- What each layer's store gives the rules ----
// Puts an answer at the end of the phone's queue; the store's status (a queue that cannot be
// read is left as it is, and its status given).
LONG appendAnswer(int answer);
// Takes the first answer off the phone's queue into `answer`: ERROR_SUCCESS with the answer as
// the queue holds it. Otherwise there is none to take: ERROR_NO_MORE_ITEMS when nothing is
// queued, else the store's status, with `answer` -1 when the queue cannot be read (a first entry
// that is no answer is taken off all the same, so that the answers behind it come in turn; a
// queue that is no list of answers is left as it is; what is wrong has been said on standard
// error), or 0 when there is no queue to take from.
LONG takeFirstAnswer(int* answer);
// Writes a line of the layer's own to standard error, as the layer writes text there.
void sayOnStandardError(const std::string& line);

} // namespace answers_state

namespace phone_answers {

// Queues the answer for the next box any process on the phone shows with nobody there:
// ERROR_INVALID_PARAMETER for what is no answer, else the store's status.
LONG queueAnswer(int answer);
// An answer for this process's next box only (a script of its own), taken before the phone's
// queue, so that another process on the phone can never take it.
void queueProcessAnswer(int answer);
void clearProcessAnswers();
// The answer a box of `type` takes with nobody there: this process's own next answer, else the
// phone's next, else the box's safe default. A queued answer the box does not have, or one that
// cannot be read, is used up and gives the default, which is then said on standard error.
int scriptedAnswer(UINT type);

} // namespace phone_answers

#endif
