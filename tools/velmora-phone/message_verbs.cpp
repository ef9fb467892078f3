#include "phone.h"

#include <cstdio>

namespace phone {

int messagesVerb(const Args& args) {
    if (args.size() == 1 && args[0] == "clear")
        return host::clearMessages() ? 0 : fail("cannot clear the recorded boxes", 1);
    if (!args.empty())
        return fail("usage: messages | messages clear");
    for (const host::MessageRecord& m : host::messages())
        std::printf("%s\t%s\t0x%x\t%s\n", host::oneLine(m.caption).c_str(),
                    host::oneLine(m.text).c_str(), m.type, host::answerName(m.answer));
    return 0;
}

int answerVerb(const Args& args) {
    int answer = args.size() == 1 ? host::answerFromName(args[0]) : 0;
    if (!answer)
        return fail("usage: answer ok|cancel|retry|yes|no|abort|ignore");
    return host::queueAnswer(answer) ? 0 : fail("cannot queue the answer", 1);
}

void showMessages() {
    std::vector<host::MessageRecord> all = host::messages();
    std::printf("Message boxes shown: %zu\n", all.size());
    for (const host::MessageRecord& m : all)
        std::printf("  #%lld [%s] %s (type 0x%x) -> %s\n", m.id, host::oneLine(m.caption).c_str(),
                    host::oneLine(m.text).c_str(), m.type, host::answerName(m.answer));
}

} // namespace phone
