// A phone under Wine behind the console: the prefix's registry, read and changed by the Win32
// build's helper (velmora-state serve) running in the prefix. One helper answers the whole
// console run, so that the run pays for one Wine start; the programs the phone starts are
// started by the helper too, inside the same wine server. The helper's protocol is described in
// tools/velmora-state/serve.cpp.
#include "phone_interface.h"
#include "tools/velmora-state/protocol.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <glob.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace phone {
namespace {

// Where the source tree keeps the prefix routine, and where `tools/run --wine` builds the
// Win32 programs (set by the build).
const char kWinePrefixTool[] = VELMORA_WINE_PREFIX_TOOL;
const char kDefaultWin32Folder[] = VELMORA_WIN32_BIN_DEFAULT;

// How long one program started on the phone may take before the helper ends it.
const char kStartLimitSeconds[] = "120";

using Row = std::vector<std::string>;

std::string bytesOf(const std::string& hex) {
    std::string bytes;
    protocol::unhex(hex, &bytes);
    return bytes;
}

long long toNumber(const std::string& text) {
    return std::strtoll(text.c_str(), nullptr, 10);
}

std::string absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[4096];
    return getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

bool isFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

class WinePhone final : public Phone {
  public:
    explicit WinePhone(std::string prefix) : prefix_(absolute(prefix)) {}

    ~WinePhone() override { close(); }

    std::string where() const override { return prefix_; }
    std::string problem() const override { return problem_; }

    LONG open() override {
        const std::string bin = win32ProgramFolder();
        const std::string helper = bin + "/velmora-state.exe";
        if (!isFile(helper))
            return refuse(ERROR_FILE_NOT_FOUND,
                          "no Win32 build in " + bin +
                              " (tools/run --wine builds it; VELMORA_WIN32_BIN names another)");
        if (!isFile(kWinePrefixTool))
            return refuse(ERROR_FILE_NOT_FOUND, std::string("no ") + kWinePrefixTool);
        // A helper that ends early must not end the console with it.
        std::signal(SIGPIPE, SIG_IGN);
        serverWasRunning_ = serverRunning();

        int toChild[2], fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) != 0)
            return refuse(ERROR_OPEN_FAILED, std::strerror(errno));
        if (pipe2(fromChild, O_CLOEXEC) != 0) {
            ::close(toChild[0]);
            ::close(toChild[1]);
            return refuse(ERROR_OPEN_FAILED, std::strerror(errno));
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
        std::vector<std::string> env = helperEnvironment();
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string tool = kWinePrefixTool, run = "run", program = helper, serve = "serve";
        char* argv[] = {tool.data(), run.data(), program.data(), serve.data(), nullptr};
        int rc = posix_spawn(&helper_, tool.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(toChild[0]);
        ::close(fromChild[1]);
        if (rc != 0) {
            ::close(toChild[1]);
            ::close(fromChild[0]);
            helper_ = 0;
            return refuse(ERROR_OPEN_FAILED,
                          std::string("cannot start ") + kWinePrefixTool + ": " + strerror(rc));
        }
        to_ = toChild[1];
        from_ = fromChild[0];
        std::vector<Row> rows;
        LONG status = call({"hello"}, &rows);
        if (status == ERROR_SUCCESS && (rows.empty() || rows[0][0] != protocol::kVersion))
            status = refuse(ERROR_REVISION_MISMATCH,
                            "the helper in " + bin + " speaks another protocol; rebuild it");
        return status;
    }

    LONG readValue(const std::u16string& key, const std::u16string& name,
                   RegistryValue* out) override {
        std::vector<Row> rows;
        LONG status = call({"read", host::toUtf8(key), host::toUtf8(name)}, &rows, 2);
        if (status == ERROR_SUCCESS) {
            out->name = name;
            out->type = static_cast<DWORD>(toNumber(rows[0][0]));
            out->bytes = bytesOf(rows[0][1]);
        }
        return status;
    }

    LONG listValues(const std::u16string& key, std::vector<ListedValue>* out) override {
        out->clear();
        std::vector<Row> rows;
        LONG status = call({"list", host::toUtf8(key)}, &rows, 4);
        for (const Row& r : rows) {
            ListedValue v;
            v.value.name = host::fromUtf8(r[0]);
            v.value.type = static_cast<DWORD>(toNumber(r[1]));
            v.value.bytes = bytesOf(r[2]);
            v.status = static_cast<LONG>(toNumber(r[3]));
            if (v.status != ERROR_SUCCESS)
                v.value = RegistryValue{v.value.name, REG_NONE, {}};
            if (status == ERROR_SUCCESS && v.status != ERROR_SUCCESS)
                status = refuse(v.status, "'" + r[0] + "' cannot be read");
            out->push_back(std::move(v));
        }
        return status;
    }

    LONG writeValue(const std::u16string& key, const RegistryValue& value) override {
        return call({"write", host::toUtf8(key), host::toUtf8(value.name),
                     std::to_string(value.type), protocol::hex(value.bytes)});
    }

    LONG deleteValue(const std::u16string& key, const std::u16string& name) override {
        return call({"delete", host::toUtf8(key), host::toUtf8(name)});
    }

    LONG nextSwitchLine(std::string* line) override {
        std::vector<Row> rows;
        LONG status = call({"next"}, &rows, 1);
        if (status == ERROR_SUCCESS)
            *line = rows[0][0];
        return status;
    }

    LONG readClock(ClockReading* out) override {
        std::vector<Row> rows;
        LONG status = call({"clock"}, &rows, 2);
        if (status != ERROR_SUCCESS)
            return status;
        unsigned f[8] = {};
        if (std::sscanf(rows[0][1].c_str(), "%u %u %u %u %u %u %u %u", &f[0], &f[1], &f[2], &f[3],
                        &f[4], &f[5], &f[6], &f[7]) != 8)
            return refuse(ERROR_INVALID_DATA, "the helper's clock reads '" + rows[0][1] + "'");
        SYSTEMTIME& t = out->now;
        t.wYear = static_cast<WORD>(f[0]);
        t.wMonth = static_cast<WORD>(f[1]);
        t.wDay = static_cast<WORD>(f[2]);
        t.wHour = static_cast<WORD>(f[3]);
        t.wMinute = static_cast<WORD>(f[4]);
        t.wSecond = static_cast<WORD>(f[5]);
        t.wMilliseconds = static_cast<WORD>(f[6]);
        t.wDayOfWeek = static_cast<WORD>(f[7]);
        out->pinned = rows[0][0] == "1";
        return ERROR_SUCCESS;
    }

    LONG pinClock(const std::optional<SYSTEMTIME>& at) override {
        if (!at)
            return call({"pin"});
        if (!host::isValidDateTime(*at))
            return refuse(ERROR_INVALID_PARAMETER, "no such local time");
        return call({"pin", host::formatDateTime(*at)});
    }

    LONG messages(std::vector<MessageRecord>* out, long long afterId) override {
        out->clear();
        std::vector<Row> rows;
        LONG status = call({"messages", std::to_string(afterId)}, &rows, 6);
        for (const Row& r : rows)
            out->push_back({toNumber(r[0]), toNumber(r[1]), r[4], r[5],
                            static_cast<UINT>(toNumber(r[2])), static_cast<int>(toNumber(r[3]))});
        return status;
    }
    LONG lastMessageId(long long* id) override {
        std::vector<MessageRecord> all;
        LONG status = messages(&all, 0);
        *id = all.empty() ? 0 : all.back().id;
        return status;
    }
    LONG clearMessages() override { return call({"clear-messages"}); }
    LONG queueAnswer(int answer) override { return call({"answer", std::to_string(answer)}); }

    LONG lines(std::vector<LineDevice>* out) override {
        out->clear();
        std::vector<Row> rows;
        LONG status = call({"lines"}, &rows, 6);
        for (const Row& r : rows)
            out->push_back({static_cast<DWORD>(toNumber(r[0])), r[1],
                            static_cast<DWORD>(toNumber(r[2])), static_cast<DWORD>(toNumber(r[3])),
                            r[4] == "1", r[5]});
        return status;
    }
    LONG line(DWORD index, LineDevice* out) override {
        std::vector<LineDevice> all;
        LONG status = lines(&all);
        if (status != ERROR_SUCCESS)
            return status;
        for (const LineDevice& d : all)
            if (d.index == index) {
                *out = d;
                return ERROR_SUCCESS;
            }
        return refuse(ERROR_BAD_UNIT, "the phone has no line " + std::to_string(index));
    }
    LONG setLineState(DWORD index, DWORD state) override {
        return call({"line-state", std::to_string(index), std::to_string(state)});
    }
    LONG setLineMedia(DWORD index, DWORD mediaModes) override {
        return call({"line-media", std::to_string(index), std::to_string(mediaModes)});
    }
    LONG setLineRegistered(DWORD index, bool registered) override {
        return call({"line-register", std::to_string(index), registered ? "1" : "0"});
    }
    LONG setLineFault(DWORD index, line_rules::LineOperation operation, LONG code) override {
        return call({"line-fault", std::to_string(index), line_rules::operationName(operation),
                     std::to_string(code)});
    }
    LONG healLine(DWORD index) override { return call({"line-heal", std::to_string(index)}); }
    LONG addLine(const std::string& name, DWORD mediaModes, DWORD state, DWORD* index) override {
        std::vector<Row> rows;
        LONG status =
            call({"line-add", name, std::to_string(mediaModes), std::to_string(state)}, &rows, 1);
        if (status == ERROR_SUCCESS)
            *index = static_cast<DWORD>(toNumber(rows[0][0]));
        return status;
    }
    LONG removeLine(DWORD index) override { return call({"line-remove", std::to_string(index)}); }
    LONG setReinitAttempts(DWORD count) override { return call({"reinit", std::to_string(count)}); }
    LONG setReinitMilliseconds(DWORD ms) override {
        return call({"reinit-ms", std::to_string(ms)});
    }
    LONG setInitFault(LONG code) override { return call({"init-fault", std::to_string(code)}); }
    LONG telephonyStatus(TelephonyStatus* out) override {
        std::vector<Row> rows;
        LONG status = call({"telephony"}, &rows, 6);
        if (status == ERROR_SUCCESS) {
            const Row& r = rows[0];
            out->reinitAttempts = static_cast<DWORD>(toNumber(r[0]));
            out->reinitMilliseconds = static_cast<DWORD>(toNumber(r[1]));
            out->initFault = static_cast<LONG>(toNumber(r[2]));
            out->sessionsOpen = toNumber(r[3]);
            out->linesOpen = toNumber(r[4]);
            out->linesClosedByShutdown = toNumber(r[5]);
        }
        return status;
    }
    LONG openHandles(std::vector<TelephonyHandle>* out) override {
        out->clear();
        std::vector<Row> rows;
        LONG status = call({"handles"}, &rows, 4);
        for (const Row& r : rows)
            out->push_back({toNumber(r[0]), r[1], toNumber(r[2]), toNumber(r[3])});
        return status;
    }
    LONG clearLeaks() override { return call({"clear-leaks"}); }
    LONG calls(std::vector<TelephonyCall>* out) override {
        out->clear();
        std::vector<Row> rows;
        LONG status = call({"calls"}, &rows, 6);
        for (const Row& r : rows)
            out->push_back({toNumber(r[0]), r[1], toNumber(r[2]), static_cast<LONG>(toNumber(r[3])),
                            toNumber(r[4]), r[5]});
        return status;
    }
    LONG clearCalls() override { return call({"clear-calls"}); }

    LONG readTick(TickReading* out) override {
        std::vector<Row> rows;
        LONG status = call({"tick"}, &rows, 2);
        if (status == ERROR_SUCCESS) {
            out->count = static_cast<DWORD>(toNumber(rows[0][0]));
            out->virtualStep = rows[0][1] == "-"
                                   ? std::nullopt
                                   : std::optional<DWORD>(static_cast<DWORD>(toNumber(rows[0][1])));
        }
        return status;
    }
    LONG setVirtualTick(std::optional<DWORD> step, std::optional<DWORD> start) override {
        return call(
            {"set-tick", step ? std::to_string(*step) : "-", start ? std::to_string(*start) : "-"});
    }

    LONG pendingStarts(std::vector<PendingStart>* out) override {
        out->clear();
        std::vector<Row> rows;
        LONG status = call({"pending"}, &rows, 2);
        for (const Row& r : rows) {
            PendingStart p;
            p.path = hostPath(r[0]);
            p.text = r[1];
            p.valid = host::parseDateTime(p.text, &p.at);
            out->push_back(p);
        }
        return status;
    }
    LONG refusals(std::vector<Refusal>* out, long long afterId) override {
        out->clear();
        std::vector<Row> rows;
        LONG status = call({"refusals", std::to_string(afterId)}, &rows, 5);
        for (const Row& r : rows)
            out->push_back({toNumber(r[0]), toNumber(r[1]), hostPath(r[4]), r[3],
                            static_cast<DWORD>(toNumber(r[2]))});
        return status;
    }
    LONG lastRefusalId(long long* id) override {
        std::vector<Refusal> all;
        LONG status = refusals(&all, 0);
        *id = all.empty() ? 0 : all.back().id;
        return status;
    }
    LONG takeDueStart(const PendingStart& due, const std::optional<SYSTEMTIME>& pinAt) override {
        Row request = {"take", windowsPath(due.path), due.text};
        if (pinAt)
            request.push_back(host::formatDateTime(*pinAt));
        return call(request);
    }

    std::string timedStartCommandLine() const override { return "AppRunAtTime"; }

    int startProgram(const std::string& path, std::string* why, long long* processId) override {
        return runProgram(path, {timedStartCommandLine()}, "", why, processId, nullptr);
    }

    int runProgram(const std::string& path, const std::vector<std::string>& args,
                   const std::string& input, std::string* why, long long* processId,
                   std::string* output) override {
        why->clear();
        *processId = 0;
        Row request = {"start", kStartLimitSeconds, output ? "1" : "0", windowsPath(path), input};
        request.insert(request.end(), args.begin(), args.end());
        std::vector<Row> rows;
        LONG status = call(request, &rows, 4);
        if (status != ERROR_SUCCESS) {
            *why = statusTextOf(status);
            return -1;
        }
        int exitStatus = static_cast<int>(toNumber(rows[0][0]));
        *processId = toNumber(rows[0][1]);
        *why = rows[0][2];
        if (output)
            *output = rows[0][3];
        return exitStatus;
    }

    // Windows paths name one file however their letters are cased and slashes written.
    std::string programIdentity(const std::string& path) override {
        std::string id = windowsPath(path);
        for (char& c : id)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return id;
    }

    LONG resetPhone() override { return call({"reset"}); }

  private:
    LONG refuse(LONG status, std::string why) {
        problem_ = std::move(why);
        return status;
    }

    std::string statusTextOf(LONG status) const {
        return "status " + std::to_string(status) + (problem_.empty() ? "" : ": " + problem_);
    }

    // A path on drive Z:, which Wine maps to the host's root, as the host names it; any other
    // as the phone holds it. windowsPath() gives the phone's name back exactly.
    static std::string hostPath(const std::string& path) {
        if (path.rfind("Z:\\", 0) != 0 || path.find('/') != std::string::npos)
            return path;
        std::string out = path.substr(2);
        for (char& c : out)
            if (c == '\\')
                c = '/';
        return out;
    }

    // A host path as the phone names it: Wine's drive Z: is the host's root.
    static std::string windowsPath(const std::string& path) {
        if (path.empty() || path[0] != '/')
            return path;
        std::string out = "Z:" + path;
        for (char& c : out)
            if (c == '/')
                c = '\\';
        return out;
    }

    std::vector<std::string> helperEnvironment() const {
        std::vector<std::string> env;
        bool timeoutSet = false;
        for (char** e = environ; *e; ++e) {
            std::string entry = *e;
            if (entry.rfind("VELMORA_WINEPREFIX=", 0) == 0)
                continue;
            timeoutSet = timeoutSet || entry.rfind("VELMORA_WINE_TIMEOUT=", 0) == 0;
            env.push_back(entry);
        }
        env.push_back("VELMORA_WINEPREFIX=" + prefix_);
        // The helper lasts as long as the console run (a `run` may wait for days); each program
        // it starts has a limit of its own.
        if (!timeoutSet)
            env.push_back("VELMORA_WINE_TIMEOUT=2592000");
        return env;
    }

    // Whether a wine server already serves the prefix: it keeps a socket in a folder named
    // after the prefix's device and inode, under /tmp/.wine-UID (or, for root, a /tmp/wine-*
    // folder of its own).
    bool serverRunning() const {
        struct stat st;
        if (stat(prefix_.c_str(), &st) != 0)
            return false;
        char server[64];
        std::snprintf(server, sizeof server, "server-%llx-%llx",
                      static_cast<unsigned long long>(st.st_dev),
                      static_cast<unsigned long long>(st.st_ino));
        const std::string patterns[] = {"/tmp/.wine-" + std::to_string(getuid()) + "/" + server +
                                            "/socket",
                                        std::string("/tmp/wine-*/") + server + "/socket"};
        for (const std::string& pattern : patterns) {
            glob_t found;
            bool any = glob(pattern.c_str(), 0, nullptr, &found) == 0 && found.gl_pathc > 0;
            globfree(&found);
            if (any)
                return true;
        }
        return false;
    }

    // Sends one request and reads its answer: the data lines into `rows` (each with at least
    // `fields` fields), the status of the closing line.
    LONG call(const Row& request, std::vector<Row>* rows = nullptr, size_t fields = 0) {
        std::vector<Row> ignored;
        if (rows == nullptr)
            rows = &ignored;
        rows->clear();
        problem_.clear();
        if (to_ < 0)
            return refuse(ERROR_BROKEN_PIPE, "the Wine phone's helper is not running");
        std::string line = protocol::join(request) + "\n";
        for (size_t sent = 0; sent < line.size();) {
            ssize_t n = ::write(to_, line.data() + sent, line.size() - sent);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return lost();
            sent += static_cast<size_t>(n);
        }
        for (;;) {
            std::string answer;
            if (!readLine(&answer))
                return lost();
            Row row = protocol::split(answer);
            if (row[0] == "-") {
                row.erase(row.begin());
                if (row.size() < fields)
                    return refuse(ERROR_INVALID_DATA, "the helper answered '" + answer + "'");
                rows->push_back(std::move(row));
            } else if (row[0] == "." && row.size() >= 2) {
                problem_ = row.size() > 2 ? row[2] : "";
                return static_cast<LONG>(toNumber(row[1]));
            } else {
                return refuse(ERROR_INVALID_DATA, "the helper answered '" + answer + "'");
            }
        }
    }

    bool readLine(std::string* line) {
        for (;;) {
            size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                *line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                if (!line->empty() && line->back() == '\r')
                    line->pop_back();
                return true;
            }
            char chunk[65536];
            ssize_t n = ::read(from_, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }

    LONG lost() {
        close();
        return refuse(ERROR_BROKEN_PIPE, "the Wine phone's helper ended");
    }

    // Ends the helper, and the wine server when this run started it.
    void close() {
        if (to_ >= 0) {
            ::close(to_);
            to_ = -1;
        }
        if (from_ >= 0) {
            ::close(from_);
            from_ = -1;
        }
        if (helper_ > 0) {
            int status;
            while (waitpid(helper_, &status, 0) < 0 && errno == EINTR) {
            }
            helper_ = 0;
            if (!serverWasRunning_ && serverRunning())
                stopServer();
        }
    }

    void stopServer() const {
        std::vector<std::string> env = helperEnvironment();
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string tool = kWinePrefixTool, stop = "stop";
        char* argv[] = {tool.data(), stop.data(), nullptr};
        pid_t pid;
        if (posix_spawn(&pid, tool.c_str(), nullptr, nullptr, argv, envp.data()) != 0)
            return;
        int status;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }

    std::string prefix_;
    std::string problem_;
    std::string buffer_;
    pid_t helper_ = 0;
    int to_ = -1, from_ = -1;
    bool serverWasRunning_ = true;
};

} // namespace

std::string win32ProgramFolder() {
    const char* bin = std::getenv("VELMORA_WIN32_BIN");
    return bin && *bin ? absolute(bin) : std::string(kDefaultWin32Folder);
}

std::unique_ptr<Phone> winePhone(const std::string& prefix) {
    return std::make_unique<WinePhone>(prefix);
}

} // namespace phone
