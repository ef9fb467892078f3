// velmora-state serve: the phone state as a long-lived helper, for the console on the host
// (velmora-phone --wine). One process answers every request of a console run, so that a run pays
// for one Wine start and not one per reading; it also starts the phone's program, inside the
// same wine server.
//
// Requests and answers are lines of UTF-8 with LF, fields as protocol.h writes them. A request
// is a command and its fields; its answer is any number of data lines, "-" and the fields, then
// one closing line ".", the Win32 status and the reason in words (empty when there is none).
// The end of the input, or "quit", ends the helper.
#include "serve.h"
#include "protocol.h"

#include "schedule/next_switch.h"
#include "schedule/settings.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

LONG readValueBytes(HKEY key, const std::wstring& name, DWORD* type, std::string* bytes) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        LONG status = RegQueryValueExW(key, name.c_str(), nullptr, type, nullptr, &size);
        if (status != ERROR_SUCCESS)
            return status;
        bytes->assign(size, '\0');
        status = RegQueryValueExW(key, name.c_str(), nullptr, type,
                                  reinterpret_cast<BYTE*>(bytes->data()), &size);
        if (status != ERROR_MORE_DATA) {
            bytes->resize(size);
            return status;
        }
    }
    return ERROR_MORE_DATA;
}

namespace {

using Fields = std::vector<std::string>;

bool number(const std::string& text, long long* out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    *out = std::strtoll(text.c_str(), &end, 10);
    return *end == 0 && errno == 0;
}

// The answer being written: data lines as they come, the closing line last.
class Reply {
  public:
    void line(const Fields& fields) {
        std::vector<std::string> line = {"-"};
        line.insert(line.end(), fields.begin(), fields.end());
        text += protocol::join(line) + "\n";
    }
    void close(LONG status, const std::string& why = {}) {
        text += protocol::join({".", std::to_string(status), why}) + "\n";
        winphone::writeStd(STD_OUTPUT_HANDLE, text);
        text.clear();
    }

  private:
    std::string text;
};

std::wstring keyOf(const std::string& key) {
    return winphone::withoutEmptyKeyNames(winphone::fromUtf8(key).c_str());
}

LONG openKey(const std::string& key, bool create, HKEY* handle) {
    if (create)
        return RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyOf(key).c_str(), 0, nullptr, 0,
                               KEY_READ | KEY_WRITE, nullptr, handle, nullptr);
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyOf(key).c_str(), 0, KEY_READ, handle);
}

void readValue(const Fields& f, Reply& r) {
    HKEY key;
    LONG status = openKey(f[1], false, &key);
    if (status != ERROR_SUCCESS)
        return r.close(status == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : status);
    DWORD type = 0;
    std::string bytes;
    status = readValueBytes(key, winphone::fromUtf8(f[2]), &type, &bytes);
    RegCloseKey(key);
    if (status == ERROR_SUCCESS)
        r.line({std::to_string(type), protocol::hex(bytes)});
    r.close(status);
}

void listValues(const Fields& f, Reply& r) {
    HKEY key;
    LONG status = openKey(f[1], false, &key);
    // A key that is not there has no values, as a key made on first use would have none.
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND)
        return r.close(ERROR_SUCCESS);
    if (status != ERROR_SUCCESS)
        return r.close(status);
    std::vector<std::wstring> names;
    status = winphone::valueNames(key, &names);
    for (const std::wstring& valueName : names) {
        DWORD type = 0;
        std::string bytes;
        LONG read = readValueBytes(key, valueName, &type, &bytes);
        r.line({winphone::toUtf8(valueName), std::to_string(type), protocol::hex(bytes),
                std::to_string(read)});
    }
    RegCloseKey(key);
    r.close(status);
}

void writeValue(const Fields& f, Reply& r) {
    long long type;
    std::string bytes;
    if (!number(f[3], &type) || !protocol::unhex(f[4], &bytes))
        return r.close(ERROR_INVALID_PARAMETER, "a value is a type code and hex bytes");
    HKEY key;
    LONG status = openKey(f[1], true, &key);
    if (status != ERROR_SUCCESS)
        return r.close(status);
    status =
        winphone::setValueBytes(key, winphone::fromUtf8(f[2]).c_str(), static_cast<DWORD>(type),
                                bytes.data(), static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    r.close(status);
}

void deleteValue(const Fields& f, Reply& r) {
    HKEY key;
    LONG status =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyOf(f[1]).c_str(), 0, KEY_READ | KEY_WRITE, &key);
    if (status != ERROR_SUCCESS)
        return r.close(status == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : status);
    status = RegDeleteValueW(key, winphone::fromUtf8(f[2]).c_str());
    RegCloseKey(key);
    r.close(status);
}

std::string timeFields(const SYSTEMTIME& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%u %u %u %u %u %u %u %u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds, t.wDayOfWeek);
    return text;
}

// The next switch as the program's dialog shows it: the program's own code, reading the phone's
// settings and its (pinnable) clock.
void nextSwitch(Reply& r) {
    if (LONG status = openSettings())
        return r.close(status, "the settings key cannot be opened");
    WCHAR text[NEXT_LINE_CHARS];
    formatNextSwitchLine(text, NEXT_LINE_CHARS);
    closeSettings();
    r.line({winphone::toUtf8(text)});
    r.close(ERROR_SUCCESS);
}

void clock(Reply& r) {
    std::optional<SYSTEMTIME> pinned = winphone::pinnedClock();
    SYSTEMTIME now;
    if (pinned)
        now = *pinned;
    else
        GetLocalTime(&now);
    r.line({pinned ? "1" : "0", timeFields(now)});
    r.close(ERROR_SUCCESS);
}

void pin(const Fields& f, Reply& r) {
    if (f.size() < 2)
        return r.close(winphone::pinClock(nullptr) ? ERROR_SUCCESS : ERROR_WRITE_FAULT);
    SYSTEMTIME t;
    if (!winphone::parseDateTime(f[1], &t))
        return r.close(ERROR_INVALID_PARAMETER, "'" + f[1] + "' is no local date and time");
    r.close(winphone::pinClock(&t) ? ERROR_SUCCESS : ERROR_WRITE_FAULT);
}

// A listing gives every record it can read; the first it cannot gives the reply's status and
// reason, so that the console says so instead of showing a shorter list as the whole.
struct Unreadable {
    LONG status = ERROR_SUCCESS;
    std::string problem;
    // True when the record cannot be read (and is left out).
    bool note(LONG recordStatus, const std::string& why) {
        if (recordStatus == ERROR_SUCCESS)
            return false;
        if (status == ERROR_SUCCESS) {
            status = recordStatus;
            problem = why;
        }
        return true;
    }
};

void messages(const Fields& f, Reply& r) {
    long long after = 0;
    if (f.size() > 1)
        number(f[1], &after);
    Unreadable first;
    for (const winphone::MessageRecord& m : winphone::messages()) {
        if (m.id <= after)
            continue;
        if (first.note(m.status, m.problem))
            continue;
        r.line({std::to_string(m.id), std::to_string(m.pid), std::to_string(m.type),
                std::to_string(m.answer), winphone::toUtf8(m.caption), winphone::toUtf8(m.text)});
    }
    r.close(first.status, first.problem);
}

void lines(Reply& r) {
    Unreadable first;
    for (const winphone::LineDevice& d : winphone::lineDevices()) {
        if (first.note(d.status, d.problem))
            continue;
        r.line({std::to_string(d.index), winphone::toUtf8(d.name), std::to_string(d.mediaModes),
                std::to_string(d.equipmentState), d.registered ? "1" : "0", d.faults});
    }
    r.close(first.status, first.problem);
}

// A change to one line: no such line is ERROR_BAD_UNIT, as on the simulated phone.
void lineChange(const Fields& f, Reply& r) {
    long long index, value = 0;
    if (f.size() < 3 || !number(f[1], &index) || index < 0 ||
        (f[0] != "line-fault" && !number(f[2], &value)))
        return r.close(ERROR_INVALID_PARAMETER, "a line's index and a number");
    if (!winphone::lineDevice(static_cast<DWORD>(index)))
        return r.close(ERROR_BAD_UNIT, "the phone has no line " + f[1]);
    const DWORD line = static_cast<DWORD>(index);
    bool ok = false;
    if (f[0] == "line-state") {
        if (value < 1 || value > 5)
            return r.close(ERROR_INVALID_PARAMETER, "an equipment state is 1 to 5");
        ok = winphone::setLineState(line, static_cast<DWORD>(value));
    } else if (f[0] == "line-media") {
        ok = winphone::setLineMedia(line, static_cast<DWORD>(value));
    } else if (f[0] == "line-register") {
        ok = winphone::setLineRegistered(line, value != 0);
    } else if (f[0] == "line-fault") {
        long long code;
        std::optional<line_rules::LineOperation> operation = line_rules::operationFromName(f[2]);
        if (f.size() < 4 || !number(f[3], &code) || code >= 0 || !operation)
            return r.close(ERROR_INVALID_PARAMETER, "a fault is a negative result on an operation");
        ok = winphone::setLineFault(line, *operation, static_cast<LONG>(code));
    }
    r.close(ok ? ERROR_SUCCESS : ERROR_WRITE_FAULT);
}

void lineOther(const Fields& f, Reply& r) {
    long long a = 0, b = 0;
    if (f[0] == "line-add") {
        if (f.size() < 4 || !number(f[2], &a) || !number(f[3], &b))
            return r.close(ERROR_INVALID_PARAMETER, "a name, media modes and a state");
        if (b < 1 || b > 5 || f[1].empty())
            return r.close(ERROR_INVALID_PARAMETER, "a line needs a name and a state of 1 to 5");
        std::optional<DWORD> index = winphone::addLine(
            winphone::fromUtf8(f[1]), static_cast<DWORD>(a), static_cast<DWORD>(b));
        if (index)
            r.line({std::to_string(*index)});
        return r.close(index ? ERROR_SUCCESS : ERROR_WRITE_FAULT);
    }
    if (f.size() < 2 || !number(f[1], &a) || a < 0)
        return r.close(ERROR_INVALID_PARAMETER, "a line's index");
    if (!winphone::lineDevice(static_cast<DWORD>(a)))
        return r.close(ERROR_BAD_UNIT, "the phone has no line " + f[1]);
    bool ok = f[0] == "line-heal" ? winphone::healLine(static_cast<DWORD>(a))
                                  : winphone::removeLine(static_cast<DWORD>(a));
    r.close(ok ? ERROR_SUCCESS : ERROR_WRITE_FAULT);
}

void telephony(const Fields& f, Reply& r) {
    long long n = 0;
    const std::string& verb = f[0];
    if (verb == "reinit" || verb == "reinit-ms" || verb == "init-fault") {
        if (f.size() < 2 || !number(f[1], &n))
            return r.close(ERROR_INVALID_PARAMETER, "a number");
        bool ok = verb == "reinit"      ? winphone::setReinitAttempts(static_cast<DWORD>(n))
                  : verb == "reinit-ms" ? winphone::setReinitMilliseconds(static_cast<DWORD>(n))
                                        : winphone::setInitFault(static_cast<LONG>(n));
        return r.close(ok ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER);
    }
    if (verb == "telephony") {
        winphone::TelephonyStatus s = winphone::telephonyStatus();
        r.line({std::to_string(s.reinitAttempts), std::to_string(s.reinitMilliseconds),
                std::to_string(s.initFault), std::to_string(s.sessionsOpen),
                std::to_string(s.linesOpen), std::to_string(s.linesClosedByShutdown)});
        return r.close(s.status, s.problem);
    }
    if (verb == "handles") {
        const std::wstring key = L"Telephony\\Handles";
        for (const std::wstring& name : winphone::stateValueNames(key)) {
            std::string record = winphone::toUtf8(name);
            std::string what = winphone::toUtf8(winphone::stateText(key, name).value_or(L""));
            size_t colon = record.find(':');
            std::string device = what.rfind("line ", 0) == 0 ? what.substr(5) : "-1";
            r.line({record.substr(0, colon), what.substr(0, what.find(' ')),
                    colon == std::string::npos ? "0" : record.substr(colon + 1), device});
        }
        return r.close(ERROR_SUCCESS);
    }
    if (verb == "calls") {
        for (const winphone::CallRecord& c : winphone::telephonyCalls())
            r.line({std::to_string(c.pid), c.call, std::to_string(c.device),
                    std::to_string(c.result), std::to_string(c.count), c.arguments});
        return r.close(ERROR_SUCCESS);
    }
    bool ok =
        verb == "clear-leaks" ? winphone::clearTelephonyLeaks() : winphone::clearTelephonyCalls();
    r.close(ok ? ERROR_SUCCESS : ERROR_WRITE_FAULT);
}

void tick(const Fields& f, Reply& r) {
    if (f[0] == "tick") {
        std::optional<DWORD> step = winphone::virtualTickStep();
        r.line({std::to_string(winphone::peekTickCount()), step ? std::to_string(*step) : "-"});
        return r.close(ERROR_SUCCESS);
    }
    long long step = 0, start = 0;
    bool real = f.size() < 2 || f[1] == "-";
    bool hasStart = f.size() > 2 && f[2] != "-";
    if ((!real && (!number(f[1], &step) || step <= 0)) || (hasStart && !number(f[2], &start)))
        return r.close(ERROR_INVALID_PARAMETER, "a step of 1 ms or more");
    bool ok = winphone::setVirtualTick(
        real ? std::nullopt : std::optional<DWORD>(static_cast<DWORD>(step)),
        hasStart ? std::optional<DWORD>(static_cast<DWORD>(start)) : std::nullopt);
    r.close(ok ? ERROR_SUCCESS : ERROR_WRITE_FAULT);
}

void starts(const Fields& f, Reply& r) {
    if (f[0] == "pending") {
        Unreadable first;
        std::vector<winphone::PendingStart> all;
        winphone::pendingStarts(&all);
        for (const winphone::PendingStart& p : all)
            if (!first.note(p.status, p.problem))
                r.line({winphone::toUtf8(p.path), p.text});
        return r.close(first.status, first.problem);
    }
    if (f[0] == "refusals") {
        long long after = 0;
        if (f.size() > 1)
            number(f[1], &after);
        for (const winphone::TimedStartRefusal& x : winphone::timedStartRefusals())
            if (x.id > after)
                r.line({std::to_string(x.id), std::to_string(x.pid), std::to_string(x.error), x.at,
                        winphone::toUtf8(x.path)});
        return r.close(ERROR_SUCCESS);
    }
    // take PATH TEXT [PIN]: the clock pinned first, then the start off the list.
    if (f.size() < 3)
        return r.close(ERROR_INVALID_PARAMETER, "a path and its time");
    if (f.size() > 3) {
        SYSTEMTIME t;
        if (!winphone::parseDateTime(f[3], &t))
            return r.close(ERROR_INVALID_PARAMETER, "'" + f[3] + "' is no local date and time");
        if (!winphone::pinClock(&t))
            return r.close(ERROR_WRITE_FAULT, "the clock cannot be pinned");
    }
    winphone::PendingStart due;
    due.path = winphone::fromUtf8(f[1]);
    due.text = f[2];
    bool ok = winphone::takePendingStart(due) == ERROR_SUCCESS;
    r.close(ok ? ERROR_SUCCESS : ERROR_WRITE_FAULT, ok ? "" : "the start cannot be taken");
}

// A command line argument quoted as the platform's parser reads it back.
std::wstring quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
        } else {
            out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
            backslashes = 0;
        }
        out += c;
    }
    out.append(backslashes, L'\\');
    return out + L"\"";
}

// A file for a program's standard output, deleted when its last handle closes.
HANDLE outputFile() {
    wchar_t folder[MAX_PATH], name[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"vel", 0, name))
        return INVALID_HANDLE_VALUE;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileW(
        name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

std::string readAll(HANDLE file) {
    std::string text;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        text.append(chunk, got);
    return text;
}

// start LIMIT-SECONDS CATCH PATH INPUT [ARG...]: runs a program of the phone with INPUT on its
// standard input and its standard error joined to ours, its standard output too unless CATCH is
// 1; its exit status, process id, what went wrong, and the output caught.
void start(const Fields& f, Reply& r) {
    long long limit;
    if (f.size() < 5 || !number(f[1], &limit) || limit <= 0)
        return r.close(ERROR_INVALID_PARAMETER, "a time limit, a path and the input");
    const bool catchOutput = f[2] == "1";
    std::wstring path = winphone::fromUtf8(f[3]);
    std::wstring commandLine = quoted(path);
    for (size_t i = 5; i < f.size(); ++i)
        commandLine += L" " + quoted(winphone::fromUtf8(f[i]));

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    const std::string& input = f[4];
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, static_cast<DWORD>(input.size() + 4096)))
        return r.close(static_cast<LONG>(GetLastError()), "no pipe for the program's input");
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    // Written before the start: the pipe holds it all, and the end of the input follows it.
    DWORD written = 0;
    if (!input.empty())
        WriteFile(writeEnd, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    CloseHandle(writeEnd);

    HANDLE joined = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_ERROR_HANDLE), GetCurrentProcess(),
                    &joined, 0, TRUE, DUPLICATE_SAME_ACCESS);
    HANDLE caught = catchOutput ? outputFile() : INVALID_HANDLE_VALUE;
    if (catchOutput && caught == INVALID_HANDLE_VALUE) {
        CloseHandle(readEnd);
        if (joined != nullptr)
            CloseHandle(joined);
        return r.close(static_cast<LONG>(GetLastError()), "no file for the program's output");
    }
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = readEnd;
    si.hStdOutput = catchOutput ? caught : joined;
    si.hStdError = joined;
    PROCESS_INFORMATION pi = {};
    // Wine's process start now and then fails with an internal error while its server is busy
    // (measured: ERROR_INTERNAL_ERROR, 1359, about once in a few hundred starts on a loaded
    // machine); that is tried again. A program that is not there, or not a program, is not.
    BOOL started = FALSE;
    DWORD error = 0;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        if (attempt > 0)
            Sleep(200);
        started = CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                 nullptr, nullptr, &si, &pi);
        error = started ? 0 : GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
            error == ERROR_BAD_EXE_FORMAT || error == ERROR_ACCESS_DENIED)
            break;
    }
    CloseHandle(readEnd);
    if (joined != nullptr)
        CloseHandle(joined);
    if (!started) {
        if (catchOutput)
            CloseHandle(caught);
        r.line({"-1", "0", "cannot start it (error " + std::to_string(error) + ")", ""});
        return r.close(ERROR_SUCCESS);
    }
    std::string why;
    if (WaitForSingleObject(pi.hProcess, static_cast<DWORD>(limit * 1000)) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, 10000);
        why = "ended after " + std::to_string(limit) + " s without finishing";
    }
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    // An exception ends a process with its code; the exit status is then as a killed one's.
    if (why.empty() && code >= 0xC0000000u) {
        char text[48];
        std::snprintf(text, sizeof text, "ended by exception 0x%08lX",
                      static_cast<unsigned long>(code));
        why = text;
        code = 255;
    }
    std::string output;
    if (catchOutput) {
        output = readAll(caught);
        CloseHandle(caught);
    }
    r.line({std::to_string(code), std::to_string(pi.dwProcessId), why, output});
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    r.close(ERROR_SUCCESS);
}

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
    void (*run)(const Fields&, Reply&);
};

const Command kCommands[] = {
    {"hello", 1,
     [](const Fields&, Reply& r) {
         r.line({protocol::kVersion});
         r.close(ERROR_SUCCESS);
     }},
    {"read", 3, readValue},
    {"list", 2, listValues},
    {"write", 5, writeValue},
    {"delete", 3, deleteValue},
    {"next", 1, [](const Fields&, Reply& r) { nextSwitch(r); }},
    {"clock", 1, [](const Fields&, Reply& r) { clock(r); }},
    {"pin", 1, pin},
    {"messages", 1, messages},
    {"clear-messages", 1,
     [](const Fields&, Reply& r) {
         r.close(winphone::clearMessages() ? ERROR_SUCCESS : ERROR_WRITE_FAULT);
     }},
    {"answer", 2,
     [](const Fields& f, Reply& r) {
         long long n = 0;
         r.close(number(f[1], &n) && winphone::queueAnswer(static_cast<int>(n)) == ERROR_SUCCESS
                     ? ERROR_SUCCESS
                     : ERROR_INVALID_PARAMETER);
     }},
    {"lines", 1, [](const Fields&, Reply& r) { lines(r); }},
    {"line-state", 3, lineChange},
    {"line-media", 3, lineChange},
    {"line-register", 3, lineChange},
    {"line-fault", 4, lineChange},
    {"line-heal", 2, lineOther},
    {"line-remove", 2, lineOther},
    {"line-add", 4, lineOther},
    {"reinit", 2, telephony},
    {"reinit-ms", 2, telephony},
    {"init-fault", 2, telephony},
    {"telephony", 1, telephony},
    {"handles", 1, telephony},
    {"calls", 1, telephony},
    {"clear-leaks", 1, telephony},
    {"clear-calls", 1, telephony},
    {"tick", 1, tick},
    {"set-tick", 1, tick},
    {"pending", 1, starts},
    {"refusals", 1, starts},
    {"take", 3, starts},
    {"start", 5, start},
    {"reset", 1,
     [](const Fields&, Reply& r) {
         r.close(winphone::resetPhone({winphone::withoutEmptyKeyNames(SETTINGS_KEY_PATH)})
                     ? ERROR_SUCCESS
                     : ERROR_WRITE_FAULT);
     }},
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
        if (found == nullptr)
            reply.close(ERROR_NOT_SUPPORTED, "this helper does not know '" + f[0] + "'");
        else if (f.size() < found->fields)
            reply.close(ERROR_INVALID_PARAMETER, "'" + f[0] + "' needs more fields");
        else
            found->run(f, reply);
    }
    return 0;
}
