// velmora-state serve: the phone state as a long-lived helper, for the console on the host
// (velmora-phone --wine). One process answers every request of a console run, so that a run pays
// for one Wine start and not one per reading; it also starts the phone's program, inside the
// same wine server.
//
// Requests and answers are lines of UTF-8 with LF, fields as tools/shared/protocol.h writes them.
// A request is a command and its fields; its answer is any number of data lines, "-" and the
// fields, then one closing line ".", the Win32 status exactly as the phone gave it, and the
// reason in words (empty when there is none). The end of the input, or "quit", ends the helper.
#include "serve.h"

#include "platform/phone/control.h"
#include "tools/shared/protocol.h"

#include <cerrno>
#include <cstdlib>

namespace serve_requests {

bool number(const std::string& text, long long* out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    *out = std::strtoll(text.c_str(), &end, 10);
    return *end == 0 && errno == 0;
}

void Reply::line(const Fields& fields) {
    std::vector<std::string> line = {"-"};
    line.insert(line.end(), fields.begin(), fields.end());
    text += protocol::join(line) + "\n";
}

void Reply::close(LONG status, const std::string& why) {
    text += protocol::join({".", std::to_string(status), why}) + "\n";
    writeStd(STD_OUTPUT_HANDLE, text);
    text.clear();
}

void Reply::done(LONG status) {
    close(status, status == ERROR_SUCCESS ? std::string() : control::problem());
}

} // namespace serve_requests

namespace {

using namespace serve_requests;

bool readRequest(HANDLE in, std::string* buffer, std::string* line) {
    for (;;) {
        size_t end = buffer->find('\n');
        if (end != std::string::npos) {
            *line = buffer->substr(0, end);
            buffer->erase(0, end + 1);
            if (!line->empty() && line->back() == '\r')
                line->pop_back();
            return true;
        }
        char chunk[4096];
        DWORD got = 0;
        if (!ReadFile(in, chunk, sizeof chunk, &got, nullptr) || got == 0)
            return false;
        buffer->append(chunk, got);
    }
}

struct Command {
    const char* name;
    size_t fields; // at least, the command's own name included
    Request run;
    bool changes = false; // it may change the phone
};

const Command kCommands[] = {
    {"hello", 1, phone},
    {"read", 3, readValue},
    {"list", 2, listValues},
    {"write", 5, writeValue, true},
    {"delete", 3, deleteValue, true},
    {"next", 1, nextSwitch},
    {"clock", 1, clock},
    {"pin", 1, pin, true},
    {"messages", 1, messages},
    {"clear-messages", 1, phone, true},
    {"answer", 2, phone, true},
    {"lines", 1, lines},
    {"line-state", 3, lineChange, true},
    {"line-media", 3, lineChange, true},
    {"line-register", 3, lineChange, true},
    {"line-fault", 4, lineChange, true},
    {"line-heal", 2, lineOther, true},
    {"line-remove", 2, lineOther, true},
    {"line-add", 4, lineOther, true},
    {"reinit", 2, telephony, true},
    {"reinit-ms", 2, telephony, true},
    {"init-fault", 2, telephony, true},
    {"telephony", 1, telephony},
    {"handles", 1, telephony},
    {"calls", 1, telephony},
    {"clear-leaks", 1, telephony, true},
    {"clear-calls", 1, telephony, true},
    {"tick", 1, tick},
    {"set-tick", 1, tick, true},
    {"pending", 1, starts},
    {"refusals", 1, starts},
    {"take", 3, starts, true},
    {"start", 5, start, true},
    {"reset", 1, phone, true},
};

} // namespace

int serve() {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    std::string buffer, line;
    Reply reply;
    while (readRequest(in, &buffer, &line)) {
        Fields f = protocol::split(line);
        if (f[0] == "quit")
            break;
        const Command* found = nullptr;
        for (const Command& c : kCommands)
            if (f[0] == c.name)
                found = &c;
        // Each answer gives the reason of its own request only.
        control::noteProblem(ERROR_SUCCESS, {});
        if (found == nullptr)
            reply.close(ERROR_NOT_SUPPORTED, "this helper does not know '" + f[0] + "'");
        else if (f.size() < found->fields)
            reply.close(ERROR_INVALID_PARAMETER, "'" + f[0] + "' needs more fields");
        else
            found->run(f, reply);
        // What a request changed is flushed before the next one is read.
        if (found != nullptr && found->changes)
            flushPhone();
    }
    return 0;
}
