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
    DWORD index = 0;
    if (LONG status = host::addLine(args[1], media, state, &index))
        return failStatus("add the line", status);
    std::printf("%u\n", index);
    return 0;
}

} // namespace

int linesVerb(const Args& args) {
    if (!args.empty())
        return fail("usage: lines");
    std::vector<host::LineDevice> all;
    LONG status = host::lineDevices(&all);
    for (const host::LineDevice& d : all)
        std::printf("%u\t%s\t%s\t%u\t%s\t%s\n", d.index, host::oneLine(d.name).c_str(),
                    hex(d.mediaModes).c_str(), d.equipmentState, d.registered ? "yes" : "no",
                    d.faults.c_str());
    std::fflush(stdout);
    return status ? failStatus("read every line", status) : 0;
}

int lineVerb(const Args& args) {
    if (!args.empty() && args[0] == "add")
        return addVerb(args);
    DWORD index = 0;
    if (args.size() < 2)
        return fail(kLineUsage);
    if (!parseUnsigned(args[0], 10, &index))
        return fail("'" + args[0] + "' is not a line index");
    host::LineDevice device;
    LONG found = host::lineDevice(index, &device);
    if (found == ERROR_BAD_UNIT)
        return fail("the phone has no line " + args[0] + " (see velmora-phone lines)");
    if (found != ERROR_SUCCESS)
        return failStatus("read line " + args[0], found);
    // What a change gives back, as this verb's exit status.
    auto done = [](LONG status, const char* what) { return status ? failStatus(what, status) : 0; };
    const std::string& what = args[1];
    DWORD value = 0;
    if (what == "state" && args.size() == 3) {
        if (!parseState(args[2], &value))
            return fail("'" + args[2] + "' is not an equipment state (1-5)");
        return done(host::setLineState(index, value), "set the line's state");
    }
    if (what == "media" && args.size() == 3) {
        if (!parseUnsigned(args[2], 16, &value))
            return fail("'" + args[2] + "' is not a hexadecimal set of media modes");
        return done(host::setLineMedia(index, value), "set the line's media");
    }
    if (what == "register" && args.size() == 3) {
        if (args[2] != "yes" && args[2] != "no")
            return fail("usage: line N register yes|no");
        return done(host::setLineRegistered(index, args[2] == "yes"),
                    "set the line's registration");
    }
    if (what == "fail" && args.size() == 4) {
        LONG code = 0;
        if (!host::isLineOperation(args[2]))
            return fail("'" + args[2] + "' is not an operation (" + operationList() + ")");
        if (!host::parseLineResult(args[3], &code) || code >= 0)
            return fail("'" + args[3] +
                        "' is not a failure code (a negative number, 0x8... or a LINEERR_ name)");
        return done(host::setLineFault(index, args[2], code), "set the fault");
    }
    if (what == "heal" && args.size() == 2)
        return done(host::healLine(index), "clear the line's faults");
    if (what == "remove" && args.size() == 2)
        return done(host::removeLine(index), "remove the line");
    return fail(kLineUsage);
}

int reinitVerb(const Args& args) {
    DWORD value = 0;
    LONG status = ERROR_INVALID_PARAMETER;
    if (args.size() == 1 && parseUnsigned(args[0], 10, &value))
        status = host::setReinitAttempts(value);
    else if (args.size() == 2 && args[0] == "for" && parseUnsigned(args[1], 10, &value))
        status = host::setReinitMilliseconds(value);
    else
        return fail("usage: reinit COUNT | reinit for MILLISECONDS");
    return status ? failStatus("set the REINIT answers", status) : 0;
}

int telephonyVerb(const Args& args) {
    if (args.empty()) {
        host::TelephonyStatus s;
        if (LONG status = host::telephonyStatus(&s))
            return failStatus("read the telephony state", status);
        std::printf("sessions open\t%lld\n", s.sessionsOpen);
        std::printf("lines open\t%lld\n", s.linesOpen);
        std::printf("lines closed by shutdown\t%lld\n", s.linesClosedByShutdown);
        std::printf("reinit attempts\t%u\n", s.reinitAttempts);
        std::printf("reinit milliseconds\t%u\n", s.reinitMilliseconds);
        std::printf("init fault\t%s\n", s.initFault ? std::to_string(s.initFault).c_str() : "-");
        return 0;
    }
    if (args[0] == "leaks" && args.size() == 1) {
        std::vector<host::TelephonyHandle> handles;
        LONG status = host::openTelephonyHandles(&handles);
        for (const host::TelephonyHandle& h : handles) {
            std::string device = h.device < 0 ? "-" : std::to_string(h.device);
            std::printf("%lld\t%s\t0x%llx\t%s\n", h.pid, h.kind.c_str(), h.handle, device.c_str());
        }
        std::fflush(stdout);
        return status ? failStatus("read every open handle", status) : 0;
    }
    if (args[0] == "leaks" && args.size() == 2 && args[1] == "clear") {
        LONG status = host::clearTelephonyLeaks();
        return status ? failStatus("clear the open handles", status) : 0;
    }
    if (args[0] == "calls" && args.size() == 1) {
        std::vector<host::TelephonyCall> calls;
        LONG status = host::telephonyCalls(&calls);
        for (const host::TelephonyCall& c : calls) {
            std::string device = c.device < 0 ? "-" : std::to_string(c.device);
            std::printf("%lld\t%s\t%s\t%d\t%lld\n", c.pid, c.call.c_str(), device.c_str(),
                        static_cast<int>(c.result), c.count);
        }
        std::fflush(stdout);
        return status ? failStatus("read every logged call", status) : 0;
    }
    if (args[0] == "calls" && args.size() == 2 && args[1] == "clear") {
        LONG status = host::clearTelephonyCalls();
        return status ? failStatus("clear the call log", status) : 0;
    }
    if (args[0] == "fail" && args.size() == 2) {
        LONG code = 0;
        if (!host::parseLineResult(args[1], &code) || code >= 0)
            return fail("'" + args[1] +
                        "' is not a failure code (a negative number, 0x8... or a LINEERR_ name)");
        LONG status = host::setInitFault(code);
        return status ? failStatus("set the fault", status) : 0;
    }
    if (args[0] == "heal" && args.size() == 1) {
        LONG status = host::setInitFault(0);
        return status ? failStatus("clear the fault", status) : 0;
    }
    return fail("usage: telephony | telephony leaks [clear] | telephony calls [clear] | "
                "telephony fail CODE | telephony heal");
}

int tickVerb(const Args& args) {
    if (args.empty()) {
        std::optional<DWORD> step;
        if (LONG status = host::virtualTickStep(&step))
            return failStatus("read the tick count", status);
        if (step)
            std::printf("%u\tvirtual +%u ms a reading\n", host::peekTickCount(), *step);
        else
            std::printf("%u\treal\n", host::peekTickCount());
        return 0;
    }
    DWORD step = 0, start = 0;
    if (args[0] == "real" && args.size() == 1) {
        LONG status = host::setVirtualTick(std::nullopt);
        return status ? failStatus("set the tick count", status) : 0;
    }
    if (args[0] == "virtual" && (args.size() == 2 || args.size() == 3)) {
        if (!parseUnsigned(args[1], 10, &step) || step == 0)
            return fail("'" + args[1] + "' is not a step in milliseconds (1 or more)");
        if (args.size() == 3 && !parseUnsigned(args[2], 10, &start))
            return fail("'" + args[2] + "' is not a tick count");
        std::optional<DWORD> from = args.size() == 3 ? std::optional<DWORD>(start) : std::nullopt;
        LONG status = host::setVirtualTick(step, from);
        return status ? failStatus("set the tick count", status) : 0;
    }
    return fail("usage: tick | tick virtual STEP-MS [START] | tick real");
}

LONG showLines() {
    std::vector<host::LineDevice> all;
    LONG first = host::lineDevices(&all);
    std::printf("Line devices: %zu\n", all.size());
    for (const host::LineDevice& d : all)
        std::printf("  %u %s: media %s, equipment state %u, %s, faults %s\n", d.index,
                    host::oneLine(d.name).c_str(), hex(d.mediaModes).c_str(), d.equipmentState,
                    d.registered ? "registered" : "not registered", d.faults.c_str());
    if (first != ERROR_SUCCESS)
        std::printf("  (not every line can be read: %s)\n", statusText(first).c_str());
    host::TelephonyStatus s;
    LONG status = host::telephonyStatus(&s);
    if (status != ERROR_SUCCESS) {
        std::printf("Telephony: (cannot be read: %s)\n", statusText(status).c_str());
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
    std::optional<DWORD> step;
    status = host::virtualTickStep(&step);
    if (status != ERROR_SUCCESS)
        std::printf("  tick count: (cannot be read: %s)\n", statusText(status).c_str());
    else if (step)
        std::printf("  tick count: virtual, %u now, +%u ms a reading\n", host::peekTickCount(),
                    *step);
    return first ? first : status;
}

} // namespace phone
