// The helper's requests on the phone's state (serve.h): registry values with their exact bytes,
// and the phone's controls (platform/phone/control.h), each answered with the control's own
// status and reason.
#include "serve.h"

#include "platform/clock_text.h"
#include "platform/phone/control.h"
#include "platform/utf8.h"
#include "schedule/next_switch.h"
#include "schedule/settings.h"
#include "tools/shared/protocol.h"

#include <cstdio>

namespace serve_requests {
namespace {

LONG openKey(const std::string& key, REGSAM access, HKEY* handle) {
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPathOf(key).c_str(), 0, access, handle);
    return status == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : status;
}

std::string timeFields(const SYSTEMTIME& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%u %u %u %u %u %u %u %u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds, t.wDayOfWeek);
    return text;
}

// Answers a listing: a data line of each entry read, and the control's status.
template <typename Record, typename Line>
void answerList(Reply& r, LONG status, const std::vector<Record>& all, Line fieldsOf) {
    for (const Record& entry : all)
        r.line(fieldsOf(entry));
    r.done(status);
}

// The DWORD a field gives, or nullopt when it is no number.
std::optional<DWORD> dwordField(const Fields& f, size_t at) {
    long long n = 0;
    if (f.size() <= at || !number(f[at], &n))
        return std::nullopt;
    return static_cast<DWORD>(n);
}

} // namespace

void readValue(const Fields& f, Reply& r) {
    HKEY key;
    LONG status = openKey(f[1], KEY_READ, &key);
    if (status != ERROR_SUCCESS)
        return r.close(status);
    DWORD type = 0;
    std::string bytes;
    status = readValueBytes(key, utf16Of<wchar_t>(f[2]), &type, &bytes);
    RegCloseKey(key);
    if (status == ERROR_SUCCESS)
        r.line({std::to_string(type), protocol::hex(bytes)});
    r.close(status);
}

void listValues(const Fields& f, Reply& r) {
    HKEY key;
    LONG status = openKey(f[1], KEY_READ, &key);
    // A key that is not there has no values, as a key made on first use would have none.
    if (status == ERROR_FILE_NOT_FOUND)
        return r.close(ERROR_SUCCESS);
    if (status != ERROR_SUCCESS)
        return r.close(status);
    std::vector<std::wstring> names;
    status = keyNames(key, Names::Values, &names);
    for (const std::wstring& valueName : names) {
        DWORD type = 0;
        std::string bytes;
        LONG read = readValueBytes(key, valueName, &type, &bytes);
        r.line(
            {utf8Of(valueName), std::to_string(type), protocol::hex(bytes), std::to_string(read)});
    }
    RegCloseKey(key);
    r.close(status);
}

void writeValue(const Fields& f, Reply& r) {
    long long type;
    std::string bytes;
    if (!number(f[3], &type) || !protocol::unhex(f[4], &bytes))
        return r.close(ERROR_INVALID_PARAMETER, "a value is a type code and hex bytes");
    r.done(control::storeValue(f[1], f[2], static_cast<DWORD>(type), bytes));
}

void deleteValue(const Fields& f, Reply& r) {
    HKEY key;
    LONG status = openKey(f[1], KEY_READ | KEY_WRITE, &key);
    if (status != ERROR_SUCCESS)
        return r.close(status);
    status = RegDeleteValueW(key, utf16Of<wchar_t>(f[2]).c_str());
    RegCloseKey(key);
    r.close(status);
}

// The next switch as the program's dialog shows it: the program's own code, reading the phone's
// settings and its (pinnable) clock.
void nextSwitch(const Fields&, Reply& r) {
    if (LONG status = openSettings())
        return r.close(status, "the settings key cannot be opened");
    WCHAR text[NEXT_LINE_CHARS];
    formatNextSwitchLine(text, NEXT_LINE_CHARS);
    closeSettings();
    r.line({utf8Of(text)});
    r.close(ERROR_SUCCESS);
}

void clock(const Fields&, Reply& r) {
    std::optional<SYSTEMTIME> pinned;
    LONG status = control::pinnedClock(&pinned);
    if (status != ERROR_SUCCESS)
        return r.done(status);
    SYSTEMTIME now;
    GetLocalTime(&now);
    r.line({pinned ? "1" : "0", timeFields(pinned ? *pinned : now)});
    r.close(ERROR_SUCCESS);
}

void pin(const Fields& f, Reply& r) {
    if (f.size() < 2)
        return r.done(control::pinClock(std::nullopt));
    SYSTEMTIME t;
    if (!clock_text::parseDateTime(f[1], &t))
        return r.close(ERROR_INVALID_PARAMETER, "'" + f[1] + "' is no local date and time");
    r.done(control::pinClock(t));
}

void messages(const Fields& f, Reply& r) {
    long long after = 0;
    if (f.size() > 1)
        number(f[1], &after);
    std::vector<control::MessageRecord> all;
    answerList(r, control::messages(&all, after), all, [](const control::MessageRecord& m) {
        return Fields{std::to_string(m.id),
                      std::to_string(m.pid),
                      std::to_string(m.type),
                      std::to_string(m.answer),
                      m.caption,
                      m.text};
    });
}

void lines(const Fields&, Reply& r) {
    std::vector<control::LineDevice> all;
    answerList(r, control::lineDevices(&all), all, [](const control::LineDevice& d) {
        return Fields{std::to_string(d.index),      d.name,
                      std::to_string(d.mediaModes), std::to_string(d.equipmentState),
                      d.registered ? "1" : "0",     d.faults};
    });
}

// A change to one line: LINE VALUE, or for a fault LINE OPERATION CODE.
void lineChange(const Fields& f, Reply& r) {
    std::optional<DWORD> line = dwordField(f, 1), value = dwordField(f, 2);
    if (!line || (f[0] != "line-fault" && !value))
        return r.close(ERROR_INVALID_PARAMETER, "a line's index and a number");
    if (f[0] == "line-state")
        return r.done(control::setLineState(*line, *value));
    if (f[0] == "line-media")
        return r.done(control::setLineMedia(*line, *value));
    if (f[0] == "line-register")
        return r.done(control::setLineRegistered(*line, *value != 0));
    long long code;
    std::optional<line_rules::LineOperation> operation = line_rules::operationFromName(f[2]);
    if (f.size() < 4 || !number(f[3], &code) || code >= 0 || !operation)
        return r.close(ERROR_INVALID_PARAMETER, "a fault is a negative result on an operation");
    r.done(control::setLineFault(*line, *operation, static_cast<LONG>(code)));
}

void lineOther(const Fields& f, Reply& r) {
    if (f[0] == "line-add") {
        std::optional<DWORD> media = dwordField(f, 2), state = dwordField(f, 3);
        if (!media || !state)
            return r.close(ERROR_INVALID_PARAMETER, "a name, media modes and a state");
        DWORD index = 0;
        LONG status = control::addLine(f[1], *media, *state, &index);
        if (status == ERROR_SUCCESS)
            r.line({std::to_string(index)});
        return r.done(status);
    }
    std::optional<DWORD> line = dwordField(f, 1);
    if (!line)
        return r.close(ERROR_INVALID_PARAMETER, "a line's index");
    r.done(f[0] == "line-heal" ? control::healLine(*line) : control::removeLine(*line));
}

void telephony(const Fields& f, Reply& r) {
    const std::string& verb = f[0];
    if (verb == "reinit" || verb == "reinit-ms" || verb == "init-fault") {
        std::optional<DWORD> n = dwordField(f, 1);
        if (!n)
            return r.close(ERROR_INVALID_PARAMETER, "a number");
        return r.done(verb == "reinit"      ? control::setReinitAttempts(*n)
                      : verb == "reinit-ms" ? control::setReinitMilliseconds(*n)
                                            : control::setInitFault(static_cast<LONG>(*n)));
    }
    if (verb == "telephony") {
        control::TelephonyStatus s;
        LONG status = control::telephonyStatus(&s);
        r.line({std::to_string(s.reinitAttempts), std::to_string(s.reinitMilliseconds),
                std::to_string(s.initFault), std::to_string(s.sessionsOpen),
                std::to_string(s.linesOpen), std::to_string(s.linesClosedByShutdown)});
        return r.done(status);
    }
    if (verb == "handles") {
        std::vector<control::OpenHandle> all;
        return answerList(r, control::openHandles(&all), all, [](const control::OpenHandle& h) {
            return Fields{std::to_string(h.pid), h.kind, std::to_string(h.handle),
                          std::to_string(h.device)};
        });
    }
    if (verb == "calls") {
        std::vector<control::CallRecord> all;
        return answerList(r, control::callLog(&all), all, [](const control::CallRecord& c) {
            return Fields{std::to_string(c.pid),    c.call,
                          std::to_string(c.device), std::to_string(c.result),
                          std::to_string(c.count),  c.arguments};
        });
    }
    r.done(verb == "clear-leaks" ? control::clearLeaks() : control::clearCallLog());
}

// tick; set-tick STEP|- [START|-]
void tick(const Fields& f, Reply& r) {
    if (f[0] == "tick") {
        std::optional<DWORD> step;
        LONG status = control::virtualTickStep(&step);
        r.line({std::to_string(control::peekTickCount()), step ? std::to_string(*step) : "-"});
        return r.done(status);
    }
    long long step = 0, start = 0;
    bool real = f.size() < 2 || f[1] == "-";
    bool hasStart = f.size() > 2 && f[2] != "-";
    if ((!real && (!number(f[1], &step) || step <= 0)) || (hasStart && !number(f[2], &start)))
        return r.close(ERROR_INVALID_PARAMETER, "a step of 1 ms or more");
    r.done(control::setVirtualTick(
        real ? std::nullopt : std::optional<DWORD>(static_cast<DWORD>(step)),
        hasStart ? std::optional<DWORD>(static_cast<DWORD>(start)) : std::nullopt));
}

// pending; refusals [AFTER]; take PATH TEXT [PIN]: the clock pinned, then the start taken off.
void starts(const Fields& f, Reply& r) {
    if (f[0] == "pending") {
        std::vector<control::PendingStart> all;
        return answerList(r, control::pendingStarts(&all), all, [](const control::PendingStart& p) {
            return Fields{p.path, p.text};
        });
    }
    if (f[0] == "refusals") {
        long long after = 0;
        if (f.size() > 1)
            number(f[1], &after);
        std::vector<control::Refusal> all;
        return answerList(r, control::refusals(&all, after), all, [](const control::Refusal& x) {
            return Fields{std::to_string(x.id), std::to_string(x.pid), std::to_string(x.error),
                          x.at, x.path};
        });
    }
    std::optional<SYSTEMTIME> pinAt;
    if (f.size() > 3) {
        SYSTEMTIME t;
        if (!clock_text::parseDateTime(f[3], &t))
            return r.close(ERROR_INVALID_PARAMETER, "'" + f[3] + "' is no local date and time");
        pinAt = t;
    }
    control::PendingStart due;
    due.path = f[1];
    due.text = f[2];
    r.done(control::takePendingStart(due, pinAt));
}

// hello; answer N; clear-messages; reset.
void phone(const Fields& f, Reply& r) {
    if (f[0] == "hello") {
        r.line({protocol::kVersion});
        return r.close(ERROR_SUCCESS);
    }
    if (f[0] == "answer") {
        long long n = 0;
        if (!number(f[1], &n))
            return r.close(ERROR_INVALID_PARAMETER, "an answer's number");
        return r.done(control::queueAnswer(static_cast<int>(n)));
    }
    if (f[0] == "clear-messages")
        return r.done(control::clearMessages());
    r.done(control::resetPhone({utf8Of(keyPathOf(utf8Of(SETTINGS_KEY_PATH)))}));
}

} // namespace serve_requests
