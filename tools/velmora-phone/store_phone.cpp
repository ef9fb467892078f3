// The simulated phone behind the console: its store, read and changed through the phone's
// controls (platform/phone/control.h) and its Win32 calls, as the programs on the phone see it;
// the programs it starts are processes of the host.
#include "tools/shared/phone.h"

#include "platform/phone/control.h"
#include "platform/platform.h"
#include "schedule/next_switch.h"
#include "schedule/settings.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace phone {
namespace {

// Writes all of `input` to a pipe and closes it. A program that stops reading early must not end
// the console with SIGPIPE.
void feed(int pipe, const std::string& input) {
    void (*previous)(int) = std::signal(SIGPIPE, SIG_IGN);
    for (size_t sent = 0; sent < input.size();) {
        ssize_t n = write(pipe, input.data() + sent, input.size() - sent);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
    }
    close(pipe);
    std::signal(SIGPIPE, previous);
}

// Starts a program with `input` on its standard input (through a pipe, else none at all:
// /dev/null, never our own terminal) and its standard output on `out`; its process id, or 0 and
// `why` when it cannot be started.
pid_t spawn(const std::string& path, const std::vector<std::string>& args, const std::string& input,
            int out, std::string* why) {
    std::vector<std::string> words = {path};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    int pipeEnds[2] = {-1, -1};
    if (!input.empty() && pipe2(pipeEnds, O_CLOEXEC) != 0) {
        *why = std::strerror(errno);
        return 0;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input.empty())
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    else
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    pid_t pid;
    int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (pipeEnds[0] >= 0) {
        close(pipeEnds[0]);
        if (rc == 0)
            feed(pipeEnds[1], input);
        else
            close(pipeEnds[1]);
    }
    if (rc != 0) {
        *why = std::strerror(rc);
        return 0;
    }
    return pid;
}

// Waits for a program's end: its exit status, 128 + the signal that killed it (with `why`), or
// -1 when it cannot be waited for.
int waitFor(pid_t pid, std::string* why) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            *why = std::strerror(errno);
            return -1;
        }
    }
    if (WIFSIGNALED(status)) {
        *why = std::string("killed by signal ") + std::to_string(WTERMSIG(status)) + " (" +
               strsignal(WTERMSIG(status)) + ")";
        return 128 + WTERMSIG(status);
    }
    return WEXITSTATUS(status);
}

class StorePhone final : public Phone {
  public:
    ~StorePhone() override { control::closePhone(); }

    std::string where() const override { return control::where(); }

    LONG open() override {
        // A bad row is said once, in the console's own error line.
        control::echoBadValues(false);
        return control::openPhone();
    }

    std::string problem() const override { return control::problem(); }

    LONG readValue(const std::u16string& key, const std::u16string& name,
                   RegistryValue* out) override {
        HKEY handle;
        LONG status = openKey(key, &handle);
        if (status != ERROR_SUCCESS)
            return status;
        DWORD size = 0;
        out->name = name;
        status = RegQueryValueEx(handle, name.c_str(), nullptr, &out->type, nullptr, &size);
        if (status == ERROR_SUCCESS) {
            out->bytes.assign(size, '\0');
            status = RegQueryValueEx(handle, name.c_str(), nullptr, &out->type,
                                     reinterpret_cast<BYTE*>(out->bytes.data()), &size);
            out->bytes.resize(size);
        }
        RegCloseKey(handle);
        return status;
    }

    LONG listValues(const std::u16string& key, std::vector<ListedValue>* out) override {
        out->clear();
        HKEY handle;
        LONG status = openKey(key, &handle);
        if (status != ERROR_SUCCESS)
            return status;
        DWORD count = 0, longestName = 0, largestData = 0;
        status = RegQueryInfoKey(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 &count, &longestName, &largestData, nullptr, nullptr);
        // A value that cannot be read is noted in its place, and the listing goes on.
        const ListedValue* firstBad = nullptr;
        for (DWORD i = 0; status == ERROR_SUCCESS && i < count; ++i) {
            ListedValue entry;
            RegistryValue& v = entry.value;
            v.name.assign(longestName + 1, u'\0');
            v.bytes.assign(largestData, '\0');
            DWORD nameChars = longestName + 1, size = largestData;
            entry.status = RegEnumValue(handle, i, v.name.data(), &nameChars, nullptr, &v.type,
                                        reinterpret_cast<BYTE*>(v.bytes.data()), &size);
            if (entry.status == ERROR_NO_MORE_ITEMS)
                break; // values deleted meanwhile
            if (entry.status == ERROR_SUCCESS) {
                v.name.resize(nameChars);
                v.bytes.resize(size);
            } else {
                v = RegistryValue{};
                entry.why = control::problem();
            }
            out->push_back(std::move(entry));
        }
        RegCloseKey(handle);
        for (const ListedValue& entry : *out)
            if (!firstBad && entry.status != ERROR_SUCCESS)
                firstBad = &entry;
        if (status == ERROR_SUCCESS && firstBad)
            status = control::noteProblem(firstBad->status, firstBad->why);
        return status;
    }

    LONG writeValue(const std::u16string& key, const RegistryValue& value) override {
        HKEY handle;
        LONG status = openKey(key, &handle);
        if (status != ERROR_SUCCESS)
            return status;
        status = RegSetValueEx(handle, value.name.c_str(), 0, value.type,
                               reinterpret_cast<const BYTE*>(value.bytes.data()),
                               static_cast<DWORD>(value.bytes.size()));
        RegCloseKey(handle);
        return status;
    }

    LONG deleteValue(const std::u16string& key, const std::u16string& name) override {
        HKEY handle;
        LONG status = openKey(key, &handle);
        if (status != ERROR_SUCCESS)
            return status;
        status = RegDeleteValue(handle, name.c_str());
        RegCloseKey(handle);
        return status;
    }

    LONG nextSwitchLine(std::string* line) override {
        // The program's own code on this phone, so that the console and the dialog never
        // disagree.
        LONG status = openSettings();
        if (status != ERROR_SUCCESS)
            return status;
        WCHAR text[NEXT_LINE_CHARS];
        formatNextSwitchLine(text, NEXT_LINE_CHARS);
        closeSettings();
        *line = utf8Of(text);
        return ERROR_SUCCESS;
    }

    LONG readClock(ClockReading* out) override {
        // A pin that cannot be read is an error here, never a reason to show the host's time.
        std::optional<SYSTEMTIME> pinned;
        LONG status = control::pinnedClock(&pinned);
        if (status != ERROR_SUCCESS)
            return status;
        GetLocalTime(&out->now);
        out->pinned = pinned.has_value();
        return ERROR_SUCCESS;
    }
    LONG pinClock(const std::optional<SYSTEMTIME>& at) override { return control::pinClock(at); }

    LONG messages(std::vector<MessageRecord>* out, long long afterId) override {
        return control::messages(out, afterId);
    }
    LONG lastMessageId(long long* id) override { return control::lastMessageId(id); }
    LONG clearMessages() override { return control::clearMessages(); }
    LONG queueAnswer(int answer) override { return control::queueAnswer(answer); }

    LONG lines(std::vector<LineDevice>* out) override { return control::lineDevices(out); }
    LONG line(DWORD index, LineDevice* out) override { return control::lineDevice(index, out); }
    LONG setLineState(DWORD index, DWORD state) override {
        return control::setLineState(index, state);
    }
    LONG setLineMedia(DWORD index, DWORD mediaModes) override {
        return control::setLineMedia(index, mediaModes);
    }
    LONG setLineRegistered(DWORD index, bool registered) override {
        return control::setLineRegistered(index, registered);
    }
    LONG setLineFault(DWORD index, line_rules::LineOperation operation, LONG code) override {
        return control::setLineFault(index, operation, code);
    }
    LONG healLine(DWORD index) override { return control::healLine(index); }
    LONG addLine(const std::string& name, DWORD mediaModes, DWORD state, DWORD* index) override {
        return control::addLine(name, mediaModes, state, index);
    }
    LONG removeLine(DWORD index) override { return control::removeLine(index); }
    LONG setReinitAttempts(DWORD count) override { return control::setReinitAttempts(count); }
    LONG setReinitMilliseconds(DWORD ms) override { return control::setReinitMilliseconds(ms); }
    LONG setInitFault(LONG code) override { return control::setInitFault(code); }
    LONG telephonyStatus(TelephonyStatus* out) override { return control::telephonyStatus(out); }
    LONG openHandles(std::vector<OpenHandle>* out) override { return control::openHandles(out); }
    LONG clearLeaks() override { return control::clearLeaks(); }
    LONG calls(std::vector<CallRecord>* out) override { return control::callLog(out); }
    LONG clearCalls() override { return control::clearCallLog(); }

    LONG readTick(TickReading* out) override {
        LONG status = control::virtualTickStep(&out->virtualStep);
        out->count = control::peekTickCount();
        return status;
    }
    LONG setVirtualTick(std::optional<DWORD> step, std::optional<DWORD> start) override {
        return control::setVirtualTick(step, start);
    }

    LONG pendingStarts(std::vector<PendingStart>* out) override {
        return control::pendingStarts(out);
    }
    LONG refusals(std::vector<Refusal>* out, long long afterId) override {
        return control::refusals(out, afterId);
    }
    LONG lastRefusalId(long long* id) override { return control::lastRefusalId(id); }

    LONG takeDueStart(const PendingStart& due, const std::optional<SYSTEMTIME>& pinAt) override {
        return control::takePendingStart(due, pinAt);
    }

    int runProgram(const std::string& path, const std::vector<std::string>& args,
                   const std::string& input, std::string* why, long long* processId,
                   std::string* output) override {
        why->clear();
        *processId = 0;
        if (access(path.c_str(), X_OK) != 0) {
            *why = std::strerror(errno);
            return -1;
        }
        FILE* caught = output ? std::tmpfile() : nullptr;
        if (output && !caught) {
            *why = std::strerror(errno);
            return -1;
        }
        pid_t pid = spawn(path, args, input, caught ? fileno(caught) : STDERR_FILENO, why);
        if (pid <= 0) {
            if (caught)
                std::fclose(caught);
            return -1;
        }
        *processId = pid;
        int status = waitFor(pid, why);
        if (caught) {
            output->clear();
            std::rewind(caught);
            char chunk[4096];
            for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, caught)) > 0;)
                output->append(chunk, n);
            std::fclose(caught);
        }
        return status;
    }

    std::string programIdentity(const std::string& path) override {
        char resolved[PATH_MAX];
        return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
    }

    LONG backupTo(const std::string& file) override { return control::backupPhone(file); }
    LONG restoreFrom(const std::string& file) override { return control::restorePhone(file); }

  private:
    static LONG openKey(const std::u16string& key, HKEY* handle) {
        return RegCreateKeyEx(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, 0, nullptr, handle,
                              nullptr);
    }
};

} // namespace

std::unique_ptr<Phone> storePhone() {
    return std::make_unique<StorePhone>();
}

} // namespace phone
