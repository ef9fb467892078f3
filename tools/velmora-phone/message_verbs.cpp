#include "phone.h"

#include <cstdio>

namespace phone {

int messagesVerb(const Args& args) {
    if (args.size() == 1 && args[0] == "clear") {
        LONG status = host::clearMessages();
        return status ? failStatus("clear the recorded boxes", status) : 0;
    }
    if (!args.empty())
        return fail("usage: messages | messages clear");
    std::vector<host::MessageRecord> all;
    LONG status = host::messages(&all);
    for (const host::MessageRecord& m : all)
        std::printf("%s\t%s\t0x%x\t%s\n", host::oneLine(m.caption).c_str(),
                    host::oneLine(m.text).c_str(), m.type, host::answerName(m.answer));
    std::fflush(stdout);
    return status ? failStatus("read every recorded box", status) : 0;
}

int answerVerb(const Args& args) {
    int answer = args.size() == 1 ? host::answerFromName(args[0]) : 0;
    if (!answer)
        return fail("usage: answer ok|cancel|retry|yes|no|abort|ignore");
    LONG status = host::queueAnswer(answer);
    return status ? failStatus("queue the answer", status) : 0;
}

LONG showMessages() {
    std::vector<host::MessageRecord> all;
    LONG status = host::messages(&all);
    std::printf("Message boxes shown: %zu\n", all.size());
    for (const host::MessageRecord& m : all)
        std::printf("  #%lld [%s] %s (type 0x%x) -> %s\n", m.id, host::oneLine(m.caption).c_str(),
                    host::oneLine(m.text).c_str(), m.type, host::answerName(m.answer));
    if (status != ERROR_SUCCESS)
        std::printf("  (not every box can be read: %s)\n", statusText(status).c_str());
    return status;
}

} // namespace phone
