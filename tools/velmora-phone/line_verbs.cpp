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
    for (const std::string& op : host::lineOperations())
        out += (out.empty() ? "" : ", ") + op;
    return out;
}

int addVerb(const Args& args) {
    DWORD media = 0, state = 0;
    if (args.size() != 4)
        return fail("usage: line add NAME MEDIA-HEX STATE");
    if (args[1].empty())
        return fail("a line needs a name");
    if (!parseUnsigned(args[2], 16, &media))
        return fail("'" + args[2] + "' is not a hexadecimal set of media modes");
    if (!parseState(args[3], &state))
        return fail("'" + args[3] + "' is not an equipment state (1-5)");
    std::optional<DWORD> index = host::addLine(args[1], media, state);
    if (!index)
        return fail("cannot add the line", 1);
    std::printf("%u\n", *index);
    return 0;
}

} // namespace

int linesVerb(const Args& args) {
    if (!args.empty())
        return fail("usage: lines");
    for (const host::LineDevice& d : host::lineDevices())
        std::printf("%u\t%s\t%s\t%u\t%s\t%s\n", d.index, host::oneLine(d.name).c_str(),
                    hex(d.mediaModes).c_str(), d.equipmentState, d.registered ? "yes" : "no",
                    d.faults.c_str());
    return 0;
}

int lineVerb(const Args& args) {
    if (!args.empty() && args[0] == "add")
        return addVerb(args);
    DWORD index = 0;
    if (args.size() < 2)
        return fail(kLineUsage);
    if (!parseUnsigned(args[0], 10, &index))
        return fail("'" + args[0] + "' is not a line index");
    if (!host::lineDevice(index))
        return fail("the phone has no line " + args[0] + " (see velmora-phone lines)");
    const std::string& what = args[1];
    DWORD value = 0;
    if (what == "state" && args.size() == 3) {
        if (!parseState(args[2], &value))
            return fail("'" + args[2] + "' is not an equipment state (1-5)");
        return host::setLineState(index, value) ? 0 : fail("cannot set the line's state", 1);
    }
    if (what == "media" && args.size() == 3) {
        if (!parseUnsigned(args[2], 16, &value))
            return fail("'" + args[2] + "' is not a hexadecimal set of media modes");
        return host::setLineMedia(index, value) ? 0 : fail("cannot set the line's media", 1);
    }
    if (what == "register" && args.size() == 3) {
        if (args[2] != "yes" && args[2] != "no")
            return fail("usage: line N register yes|no");
        return host::setLineRegistered(index, args[2] == "yes")
                   ? 0
                   : fail("cannot set the line's registration", 1);
    }
    if (what == "fail" && args.size() == 4) {
        LONG code = 0;
        if (!host::isLineOperation(args[2]))
            return fail("'" + args[2] + "' is not an operation (" + operationList() + ")");
        if (!host::parseLineResult(args[3], &code) || code >= 0)
            return fail("'" + args[3] +
                        "' is not a failure code (a negative number, 0x8... or a LINEERR_ name)");
        return host::setLineFault(index, args[2], code) ? 0 : fail("cannot set the fault", 1);
    }
    if (what == "heal" && args.size() == 2)
        return host::healLine(index) ? 0 : fail("cannot clear the line's faults", 1);
    if (what == "remove" && args.size() == 2)
        return host::removeLine(index) ? 0 : fail("cannot remove the line", 1);
    return fail(kLineUsage);
}

int reinitVerb(const Args& args) {
    DWORD value = 0;
    if (args.size() == 1 && parseUnsigned(args[0], 10, &value))
        return host::setReinitAttempts(value) ? 0 : fail("cannot set the REINIT answers", 1);
    if (args.size() == 2 && args[0] == "for" && parseUnsigned(args[1], 10, &value))
        return host::setReinitMilliseconds(value) ? 0 : fail("cannot set the REINIT answers", 1);
    return fail("usage: reinit COUNT | reinit for MILLISECONDS");
}

int telephonyVerb(const Args& args) {
    if (args.empty()) {
        host::TelephonyStatus s = host::telephonyStatus();
        std::printf("sessions open\t%lld\n", s.sessionsOpen);
        std::printf("lines open\t%lld\n", s.linesOpen);
        std::printf("lines closed by shutdown\t%lld\n", s.linesClosedByShutdown);
        std::printf("reinit attempts\t%u\n", s.reinitAttempts);
        std::printf("reinit milliseconds\t%u\n", s.reinitMilliseconds);
        std::printf("init fault\t%s\n", s.initFault ? std::to_string(s.initFault).c_str() : "-");
        return 0;
    }
    if (args[0] == "leaks" && args.size() == 1) {
        for (const host::TelephonyHandle& h : host::openTelephonyHandles()) {
            std::string device = h.device < 0 ? "-" : std::to_string(h.device);
            std::printf("%lld\t%s\t0x%llx\t%s\n", h.pid, h.kind.c_str(), h.handle, device.c_str());
        }
        return 0;
    }
    if (args[0] == "leaks" && args.size() == 2 && args[1] == "clear")
        return host::clearTelephonyLeaks() ? 0 : fail("cannot clear the open handles", 1);
    if (args[0] == "calls" && args.size() == 1) {
        for (const host::TelephonyCall& c : host::telephonyCalls()) {
            std::string device = c.device < 0 ? "-" : std::to_string(c.device);
            std::printf("%lld\t%s\t%s\t%d\t%lld\t%s\n", c.pid, c.call.c_str(), device.c_str(),
                        static_cast<int>(c.result), c.count,
                        c.arguments.empty() ? "-" : c.arguments.c_str());
        }
        return 0;
    }
    if (args[0] == "calls" && args.size() == 2 && args[1] == "clear")
        return host::clearTelephonyCalls() ? 0 : fail("cannot clear the call log", 1);
    if (args[0] == "fail" && args.size() == 2) {
        LONG code = 0;
        if (!host::parseLineResult(args[1], &code) || code >= 0)
            return fail("'" + args[1] +
                        "' is not a failure code (a negative number, 0x8... or a LINEERR_ name)");
        return host::setInitFault(code) ? 0 : fail("cannot set the fault", 1);
    }
    if (args[0] == "heal" && args.size() == 1)
        return host::setInitFault(0) ? 0 : fail("cannot clear the fault", 1);
    return fail("usage: telephony | telephony leaks [clear] | telephony calls [clear] | "
                "telephony fail CODE | telephony heal");
}

int tickVerb(const Args& args) {
    if (args.empty()) {
        std::optional<DWORD> step = host::virtualTickStep();
        if (step)
            std::printf("%u\tvirtual +%u ms a reading\n", host::peekTickCount(), *step);
        else
            std::printf("%u\treal\n", host::peekTickCount());
        return 0;
    }
    DWORD step = 0, start = 0;
    if (args[0] == "real" && args.size() == 1)
        return host::setVirtualTick(std::nullopt) ? 0 : fail("cannot set the tick count", 1);
    if (args[0] == "virtual" && (args.size() == 2 || args.size() == 3)) {
        if (!parseUnsigned(args[1], 10, &step) || step == 0)
            return fail("'" + args[1] + "' is not a step in milliseconds (1 or more)");
        if (args.size() == 3 && !parseUnsigned(args[2], 10, &start))
            return fail("'" + args[2] + "' is not a tick count");
        std::optional<DWORD> from = args.size() == 3 ? std::optional<DWORD>(start) : std::nullopt;
        return host::setVirtualTick(step, from) ? 0 : fail("cannot set the tick count", 1);
    }
    return fail("usage: tick | tick virtual STEP-MS [START] | tick real");
}

void showLines() {
    std::vector<host::LineDevice> all = host::lineDevices();
    std::printf("Line devices: %zu\n", all.size());
    for (const host::LineDevice& d : all)
        std::printf("  %u %s: media %s, equipment state %u, %s, faults %s\n", d.index,
                    host::oneLine(d.name).c_str(), hex(d.mediaModes).c_str(), d.equipmentState,
                    d.registered ? "registered" : "not registered", d.faults.c_str());
    host::TelephonyStatus s = host::telephonyStatus();
    std::printf("Telephony: %lld session(s) and %lld line(s) open, %lld line(s) closed by "
                "shutdown\n",
                s.sessionsOpen, s.linesOpen, s.linesClosedByShutdown);
    if (s.reinitAttempts || s.reinitMilliseconds)
        std::printf("  lineInitialize answers LINEERR_REINIT: %u more attempt(s), %u ms\n",
                    s.reinitAttempts, s.reinitMilliseconds);
    if (s.initFault)
        std::printf("  lineInitialize fails with %d\n", static_cast<int>(s.initFault));
    if (std::optional<DWORD> step = host::virtualTickStep())
        std::printf("  tick count: virtual, %u now, +%u ms a reading\n", host::peekTickCount(),
                    *step);
}

} // namespace phone
