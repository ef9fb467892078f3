// The phone's line devices and its telephony knobs: radio states, faults, LINEERR_REINIT
// answers, leak counters, the call log and virtual tick time.
#include "phone.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace phone {
namespace {

const char* const kLineUsage =
    "usage: line N state 1-5 | line N media HEX | line N register yes|no | "
    "line N fail OPERATION CODE | line N heal | line N remove | "
    "line add NAME MEDIA-HEX STATE";

bool parseUnsigned(const std::string& text, int base, DWORD* out) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return false;
    std::string digits = text;
    if (base == 16 && digits.size() > 2 && digits[0] == '0' &&
        (digits[1] == 'x' || digits[1] == 'X'))
        digits = digits.substr(2);
    if (digits.empty() || digits[0] == '-' || digits[0] == '+')
        return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(digits.c_str(), &end, base);
    if (*end || errno || v > 0xFFFFFFFFull)
        return false;
    *out = static_cast<DWORD>(v);
    return true;
}

bool parseState(const std::string& text, DWORD* out) {
    return parseUnsigned(text, 10, out) && *out >= 1 && *out <= 5;
}

std::string hex(DWORD v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", v);
    return buf;
}

std::string operationList() {
    std::string out;
    for (line_rules::LineOperation op : line_rules::kOperations)
        out += std::string(out.empty() ? "" : ", ") + line_rules::operationName(op);
    return out;
}

int addVerb(Phone& phone, const Args& args) {
    DWORD media = 0, state = 0;
    if (args.size() != 4)
        return fail("usage: line add NAME MEDIA-HEX STATE");
    if (args[1].empty())
        return fail("a line needs a name");
    if (!parseUnsigned(args[2], 16, &media))
        return fail("'" + args[2] + "' is not a hexadecimal set of media modes");
    if (!parseState(args[3], &state))
        return fail("'" + args[3] + "' is not an equipment state (1-5)");
    DWORD index = 0;
    if (LONG status = phone.addLine(args[1], media, state, &index))
        return failStatus(phone, "add the line", status);
    std::printf("%u\n", index);
    return 0;
}

} // namespace

int linesVerb(Phone& phone, const Args& args) {
    if (!args.empty())
        return fail("usage: lines");
    std::vector<LineDevice> all;
    LONG status = phone.lines(&all);
    for (const LineDevice& d : all)
        std::printf("%u\t%s\t%s\t%u\t%s\t%s\n", d.index, oneLine(d.name).c_str(),
                    hex(d.mediaModes).c_str(), d.equipmentState, d.registered ? "yes" : "no",
                    d.faults.c_str());
    std::fflush(stdout);
    return done(phone, "read every line", status);
}

int lineVerb(Phone& phone, const Args& args) {
    if (!args.empty() && args[0] == "add")
        return addVerb(phone, args);
    DWORD index = 0;
    if (args.size() < 2)
        return fail(kLineUsage);
    if (!parseUnsigned(args[0], 10, &index))
        return fail("'" + args[0] + "' is not a line index");
    LineDevice device;
    LONG found = phone.line(index, &device);
    if (found == ERROR_BAD_UNIT)
        return fail("the phone has no line " + args[0] + " (see velmora-phone lines)");
    if (found != ERROR_SUCCESS)
        return failStatus(phone, "read line " + args[0], found);
    const std::string& what = args[1];
    DWORD value = 0;
    if (what == "state" && args.size() == 3) {
        if (!parseState(args[2], &value))
            return fail("'" + args[2] + "' is not an equipment state (1-5)");
        return done(phone, "set the line's state", phone.setLineState(index, value));
    }
    if (what == "media" && args.size() == 3) {
        if (!parseUnsigned(args[2], 16, &value))
            return fail("'" + args[2] + "' is not a hexadecimal set of media modes");
        return done(phone, "set the line's media", phone.setLineMedia(index, value));
    }
    if (what == "register" && args.size() == 3) {
        if (args[2] != "yes" && args[2] != "no")
            return fail("usage: line N register yes|no");
        return done(phone, "set the line's registration",
                    phone.setLineRegistered(index, args[2] == "yes"));
    }
    if (what == "fail" && args.size() == 4) {
        LONG code = 0;
        std::optional<line_rules::LineOperation> operation = line_rules::operationFromName(args[2]);
        if (!operation)
            return fail("'" + args[2] + "' is not an operation (" + operationList() + ")");
        if (!line_rules::parseLineResult(args[3], &code) || code >= 0)
            return fail("'" + args[3] +
                        "' is not a failure code (a negative number, 0x8... or a LINEERR_ name)");
        return done(phone, "set the fault", phone.setLineFault(index, *operation, code));
    }
    if (what == "heal" && args.size() == 2)
        return done(phone, "clear the line's faults", phone.healLine(index));
    if (what == "remove" && args.size() == 2)
        return done(phone, "remove the line", phone.removeLine(index));
    return fail(kLineUsage);
}

int reinitVerb(Phone& phone, const Args& args) {
    DWORD value = 0;
    if (args.size() == 1 && parseUnsigned(args[0], 10, &value))
        return done(phone, "set the REINIT answers", phone.setReinitAttempts(value));
    if (args.size() == 2 && args[0] == "for" && parseUnsigned(args[1], 10, &value))
        return done(phone, "set the REINIT answers", phone.setReinitMilliseconds(value));
    return fail("usage: reinit COUNT | reinit for MILLISECONDS");
}

int telephonyVerb(Phone& phone, const Args& args) {
    if (args.empty()) {
        TelephonyStatus s;
        if (LONG status = phone.telephonyStatus(&s))
            return failStatus(phone, "read the telephony state", status);
        std::printf("sessions open\t%lld\n", s.sessionsOpen);
        std::printf("lines open\t%lld\n", s.linesOpen);
        std::printf("lines closed by shutdown\t%lld\n", s.linesClosedByShutdown);
        std::printf("reinit attempts\t%u\n", s.reinitAttempts);
        std::printf("reinit milliseconds\t%u\n", s.reinitMilliseconds);
        std::printf("init fault\t%s\n", s.initFault ? std::to_string(s.initFault).c_str() : "-");
        return 0;
    }
    if (args[0] == "leaks" && args.size() == 1) {
        std::vector<OpenHandle> handles;
        LONG status = phone.openHandles(&handles);
        for (const OpenHandle& h : handles) {
            std::string device = h.device < 0 ? "-" : std::to_string(h.device);
            std::printf("%lld\t%s\t0x%llx\t%s\n", h.pid, h.kind.c_str(), h.handle, device.c_str());
        }
        std::fflush(stdout);
        return done(phone, "read every open handle", status);
    }
    if (args[0] == "leaks" && args.size() == 2 && args[1] == "clear")
        return done(phone, "clear the open handles", phone.clearLeaks());
    if (args[0] == "calls" && args.size() == 1) {
        std::vector<CallRecord> calls;
        LONG status = phone.calls(&calls);
        for (const CallRecord& c : calls) {
            std::string device = c.device < 0 ? "-" : std::to_string(c.device);
            std::printf("%lld\t%s\t%s\t%d\t%lld\t%s\n", c.pid, c.call.c_str(), device.c_str(),
                        static_cast<int>(c.result), c.count,
                        c.arguments.empty() ? "-" : c.arguments.c_str());
        }
        std::fflush(stdout);
        return done(phone, "read every logged call", status);
    }
    if (args[0] == "calls" && args.size() == 2 && args[1] == "clear")
        return done(phone, "clear the call log", phone.clearCalls());
    if (args[0] == "fail" && args.size() == 2) {
        LONG code = 0;
        if (!line_rules::parseLineResult(args[1], &code) || code >= 0)
            return fail("'" + args[1] +
                        "' is not a failure code (a negative number, 0x8... or a LINEERR_ name)");
        return done(phone, "set the fault", phone.setInitFault(code));
    }
    if (args[0] == "heal" && args.size() == 1)
        return done(phone, "clear the fault", phone.setInitFault(0));
    return fail("usage: telephony | telephony leaks [clear] | telephony calls [clear] | "
                "telephony fail CODE | telephony heal");
}

int tickVerb(Phone& phone, const Args& args) {
    if (args.empty()) {
        TickReading tick;
        if (LONG status = phone.readTick(&tick))
            return failStatus(phone, "read the tick count", status);
        if (tick.virtualStep)
            std::printf("%u\tvirtual +%u ms a reading\n", tick.count, *tick.virtualStep);
        else
            std::printf("%u\treal\n", tick.count);
        return 0;
    }
    DWORD step = 0, start = 0;
    if (args[0] == "real" && args.size() == 1)
        return done(phone, "set the tick count", phone.setVirtualTick(std::nullopt, std::nullopt));
    if (args[0] == "virtual" && (args.size() == 2 || args.size() == 3)) {
        if (!parseUnsigned(args[1], 10, &step) || step == 0)
            return fail("'" + args[1] + "' is not a step in milliseconds (1 or more)");
        if (args.size() == 3 && !parseUnsigned(args[2], 10, &start))
            return fail("'" + args[2] + "' is not a tick count");
        std::optional<DWORD> from = args.size() == 3 ? std::optional<DWORD>(start) : std::nullopt;
        return done(phone, "set the tick count", phone.setVirtualTick(step, from));
    }
    return fail("usage: tick | tick virtual STEP-MS [START] | tick real");
}

LONG showLines(Phone& phone) {
    std::vector<LineDevice> all;
    LONG first = phone.lines(&all);
    std::printf("Line devices: %zu\n", all.size());
    for (const LineDevice& d : all)
        std::printf("  %u %s: media %s, equipment state %u, %s, faults %s\n", d.index,
                    oneLine(d.name).c_str(), hex(d.mediaModes).c_str(), d.equipmentState,
                    d.registered ? "registered" : "not registered", d.faults.c_str());
    if (first != ERROR_SUCCESS)
        std::printf("  (not every line can be read: %s)\n", statusText(phone, first).c_str());
    TelephonyStatus s;
    LONG status = phone.telephonyStatus(&s);
    if (status != ERROR_SUCCESS) {
        std::printf("Telephony: (cannot be read: %s)\n", statusText(phone, status).c_str());
        return first ? first : status;
    }
    std::printf("Telephony: %lld session(s) and %lld line(s) open, %lld line(s) closed by "
                "shutdown\n",
                s.sessionsOpen, s.linesOpen, s.linesClosedByShutdown);
    if (s.reinitAttempts || s.reinitMilliseconds)
        std::printf("  lineInitialize answers LINEERR_REINIT: %u more attempt(s), %u ms\n",
                    s.reinitAttempts, s.reinitMilliseconds);
    if (s.initFault)
        std::printf("  lineInitialize fails with %d\n", static_cast<int>(s.initFault));
    TickReading tick;
    status = phone.readTick(&tick);
    if (status != ERROR_SUCCESS)
        std::printf("  tick count: (cannot be read: %s)\n", statusText(phone, status).c_str());
    else if (tick.virtualStep)
        std::printf("  tick count: virtual, %u now, +%u ms a reading\n", tick.count,
                    *tick.virtualStep);
    return first ? first : status;
}

} // namespace phone
