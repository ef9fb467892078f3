// The simulated phone behind the console: its store, read and changed through the phone's own
// interface (host.h) and its Win32 calls, as the programs on the phone see it.
#include "phone_interface.h"
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

class StorePhone final : public Phone {
  public:
    ~StorePhone() override { host::closeStore(); }

    std::string where() const override { return host::storePath(); }

    LONG open() override {
        // A bad row is said once, in the console's own error line.
        host::echoBadRows(false);
        LONG status = ERROR_SUCCESS;
        host::store(&status);
        return status;
    }

    std::string problem() const override { return host::storeProblem(); }

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
                entry.why = host::storeProblem();
            }
            out->push_back(std::move(entry));
        }
        RegCloseKey(handle);
        for (const ListedValue& entry : *out)
            if (!firstBad && entry.status != ERROR_SUCCESS)
                firstBad = &entry;
        if (status == ERROR_SUCCESS && firstBad)
            status = host::refuse(firstBad->status, firstBad->why);
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
        *line = host::toUtf8(text);
        return ERROR_SUCCESS;
    }

    LONG readClock(ClockReading* out) override {
        // A pin that cannot be read is an error here, never a reason to show the host's time.
        std::optional<SYSTEMTIME> pinned;
        LONG status = host::pinnedClock(&pinned);
        if (status != ERROR_SUCCESS)
            return status;
        GetLocalTime(&out->now);
        out->pinned = pinned.has_value();
        return ERROR_SUCCESS;
    }
    LONG pinClock(const std::optional<SYSTEMTIME>& at) override { return host::pinClock(at); }

    LONG messages(std::vector<MessageRecord>* out, long long afterId) override {
        return host::messages(out, afterId);
    }
    LONG lastMessageId(long long* id) override { return host::lastMessageId(id); }
    LONG clearMessages() override { return host::clearMessages(); }
    LONG queueAnswer(int answer) override { return host::queueAnswer(answer); }

    LONG lines(std::vector<LineDevice>* out) override { return host::lineDevices(out); }
    LONG line(DWORD index, LineDevice* out) override { return host::lineDevice(index, out); }
    LONG setLineState(DWORD index, DWORD state) override {
        return host::setLineState(index, state);
    }
    LONG setLineMedia(DWORD index, DWORD mediaModes) override {
        return host::setLineMedia(index, mediaModes);
    }
    LONG setLineRegistered(DWORD index, bool registered) override {
        return host::setLineRegistered(index, registered);
    }
    LONG setLineFault(DWORD index, line_rules::LineOperation operation, LONG code) override {
        return host::setLineFault(index, operation, code);
    }
    LONG healLine(DWORD index) override { return host::healLine(index); }
    LONG addLine(const std::string& name, DWORD mediaModes, DWORD state, DWORD* index) override {
        return host::addLine(name, mediaModes, state, index);
    }
    LONG removeLine(DWORD index) override { return host::removeLine(index); }
    LONG setReinitAttempts(DWORD count) override { return host::setReinitAttempts(count); }
    LONG setReinitMilliseconds(DWORD ms) override { return host::setReinitMilliseconds(ms); }
    LONG setInitFault(LONG code) override { return host::setInitFault(code); }
    LONG telephonyStatus(TelephonyStatus* out) override { return host::telephonyStatus(out); }
    LONG openHandles(std::vector<TelephonyHandle>* out) override {
        return host::openTelephonyHandles(out);
    }
    LONG clearLeaks() override { return host::clearTelephonyLeaks(); }
    LONG calls(std::vector<TelephonyCall>* out) override { return host::telephonyCalls(out); }
    LONG clearCalls() override { return host::clearTelephonyCalls(); }

    LONG readTick(TickReading* out) override {
        LONG status = host::virtualTickStep(&out->virtualStep);
        out->count = host::peekTickCount();
        return status;
    }
    LONG setVirtualTick(std::optional<DWORD> step, std::optional<DWORD> start) override {
        return host::setVirtualTick(step, start);
    }

    LONG pendingStarts(std::vector<PendingStart>* out) override { return host::pendingStarts(out); }
    LONG refusals(std::vector<Refusal>* out, long long afterId) override {
        return host::timedStartRefusals(out, afterId);
    }
    LONG lastRefusalId(long long* id) override { return host::lastTimedStartRefusalId(id); }

    LONG takeDueStart(const PendingStart& due, const std::optional<SYSTEMTIME>& pinAt) override {
        LONG status = host::execute("BEGIN IMMEDIATE");
        if (status == ERROR_SUCCESS && pinAt)
            status = host::pinClock(*pinAt);
        if (status == ERROR_SUCCESS)
            status = host::takePendingStart(due);
        if (status == ERROR_SUCCESS)
            status = host::execute("COMMIT");
        if (status != ERROR_SUCCESS) {
            std::string why = host::storeProblem();
            host::execute("ROLLBACK");
            host::refuse(status, why);
        }
        return status;
    }

    std::string timedStartCommandLine() const override { return host::toUtf8(APP_RUN_AT_TIME); }

    int startProgram(const std::string& path, std::string* why, long long* processId) override {
        return runProgram(path, {timedStartCommandLine()}, "", why, processId, nullptr);
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
        std::vector<std::string> words = {path};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        // The input through a pipe, else none at all (/dev/null): never our own terminal.
        int feed[2] = {-1, -1};
        if (!input.empty() && pipe2(feed, O_CLOEXEC) != 0) {
            *why = std::strerror(errno);
            return -1;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (input.empty())
            posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        else
            posix_spawn_file_actions_adddup2(&actions, feed[0], STDIN_FILENO);
        FILE* caught = output ? std::tmpfile() : nullptr;
        if (output && !caught) {
            *why = std::strerror(errno);
            posix_spawn_file_actions_destroy(&actions);
            return -1;
        }
        posix_spawn_file_actions_adddup2(&actions, caught ? fileno(caught) : STDERR_FILENO,
                                         STDOUT_FILENO);
        pid_t pid;
        int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (feed[0] >= 0) {
            close(feed[0]);
            // A program that stops reading early must not end the console with SIGPIPE.
            void (*previous)(int) = std::signal(SIGPIPE, SIG_IGN);
            for (size_t sent = 0; rc == 0 && sent < input.size();) {
                ssize_t n = write(feed[1], input.data() + sent, input.size() - sent);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                sent += static_cast<size_t>(n);
            }
            close(feed[1]);
            std::signal(SIGPIPE, previous);
        }
        if (rc != 0) {
            if (caught)
                std::fclose(caught);
            *why = std::strerror(rc);
            return -1;
        }
        *processId = pid;
        int status = 0;
        while (waitpid(pid, &status, 0) < 0) {
            if (errno != EINTR) {
                *why = std::strerror(errno);
                return -1;
            }
        }
        if (caught) {
            output->clear();
            std::rewind(caught);
            char chunk[4096];
            for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, caught)) > 0;)
                output->append(chunk, n);
            std::fclose(caught);
        }
        if (WIFSIGNALED(status)) {
            *why = std::string("killed by signal ") + std::to_string(WTERMSIG(status)) + " (" +
                   strsignal(WTERMSIG(status)) + ")";
            return 128 + WTERMSIG(status);
        }
        return WEXITSTATUS(status);
    }

    std::string programIdentity(const std::string& path) override {
        char resolved[PATH_MAX];
        return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
    }

    LONG backupTo(const std::string& file) override { return host::backupStore(file); }
    LONG restoreFrom(const std::string& file) override { return host::restoreStore(file); }

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
