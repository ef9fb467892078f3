#include "phone.h"

#include <cstdio>

namespace phone {

int messagesVerb(Phone& phone, const Args& args) {
    if (args.size() == 1 && args[0] == "clear")
        return done(phone, "clear the recorded boxes", phone.clearMessages());
    if (!args.empty())
        return fail("usage: messages | messages clear");
    std::vector<MessageRecord> all;
    LONG status = phone.messages(&all);
    for (const MessageRecord& m : all)
        std::printf("%s\t%s\t0x%x\t%s\n", oneLine(m.caption).c_str(), oneLine(m.text).c_str(),
                    m.type, answerName(m.answer));
    std::fflush(stdout);
    return done(phone, "read every recorded box", status);
}

int answerVerb(Phone& phone, const Args& args) {
    int answer = args.size() == 1 ? answerFromName(args[0]) : 0;
    if (!answer)
        return fail("usage: answer ok|cancel|retry|yes|no|abort|ignore");
    return done(phone, "queue the answer", phone.queueAnswer(answer));
}

LONG showMessages(Phone& phone) {
    std::vector<MessageRecord> all;
    LONG status = phone.messages(&all);
    std::printf("Message boxes shown: %zu\n", all.size());
    for (const MessageRecord& m : all)
        std::printf("  #%lld [%s] %s (type 0x%x) -> %s\n", m.id, oneLine(m.caption).c_str(),
                    oneLine(m.text).c_str(), m.type, answerName(m.answer));
    if (status != ERROR_SUCCESS)
        std::printf("  (not every box can be read: %s)\n", statusText(phone, status).c_str());
    return status;
}

} // namespace phone
