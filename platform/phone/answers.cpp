// The rules of the answers boxes take with nobody there, once for every layer: this process's
// own answers before the phone's queue, and the safe default for whatever does not answer the
// box. The queue itself is the layer's (answers.h).
#include "platform/phone/answers.h"

#include "platform/box_answers.h"

#include <deque>
#include <string_view>

namespace {

std::deque<int> processAnswers;

} // namespace

namespace phone_answers {

using box_answers::answerFits;
using box_answers::answerName;
using box_answers::defaultAnswer;

LONG queueAnswer(int answer) {
    if (answerName(answer) == std::string_view("none"))
        return ERROR_INVALID_PARAMETER;
    return answers_state::appendAnswer(answer);
}

void queueProcessAnswer(int answer) {
    processAnswers.push_back(answer);
}

void clearProcessAnswers() {
    processAnswers.clear();
}

int scriptedAnswer(UINT type) {
    int answer = 0;
    if (!processAnswers.empty()) {
        answer = processAnswers.front();
        processAnswers.pop_front();
    } else {
        int queued = 0;
        if (answers_state::takeFirstAnswer(&queued) != ERROR_SUCCESS) {
            // What is wrong with the queue has been said as it was read.
            if (queued < 0)
                answers_state::sayOnStandardError(
                    std::string("(the queued answer cannot be read; ") +
                    answerName(defaultAnswer(type)) + " taken instead)\n");
            return defaultAnswer(type);
        }
        answer = queued;
    }
    if (answerFits(type, answer))
        return answer;
    answers_state::sayOnStandardError(std::string("(the queued answer '") + answerName(answer) +
                                      "' does not fit this box; " +
                                      answerName(defaultAnswer(type)) + " taken instead)\n");
    return defaultAnswer(type);
}

} // namespace phone_answers
