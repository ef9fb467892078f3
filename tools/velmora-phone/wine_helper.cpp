// The Wine phone's helper (wine_helper.h): its start through the prefix routine with the
// prefix in its environment, the requests and answers on its pipes, and its end.
#include "wine_helper.h"

#include "tools/shared/protocol.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
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

// Where the source tree keeps the prefix routine (set by the build).
const char kWinePrefixTool[] = VELMORA_WINE_PREFIX_TOOL;

bool isFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

LONG WineHelper::start(const std::string& bin) {
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
    std::vector<std::string> env = environment();
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

LONG WineHelper::call(const Row& request, std::vector<Row>* rows, size_t fields) {
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
            return static_cast<LONG>(std::strtol(row[1].c_str(), nullptr, 10));
        } else {
            return refuse(ERROR_INVALID_DATA, "the helper answered '" + answer + "'");
        }
    }
}

bool WineHelper::readLine(std::string* line) {
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

LONG WineHelper::lost() {
    stop();
    return refuse(ERROR_BROKEN_PIPE, "the Wine phone's helper ended");
}

void WineHelper::stop() {
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

void WineHelper::stopServer() const {
    std::vector<std::string> env = environment();
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

std::vector<std::string> WineHelper::environment() const {
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

// Whether a wine server already serves the prefix: it keeps a socket in a folder named after the
// prefix's device and inode, under /tmp/.wine-UID (or, for root, a /tmp/wine-* folder of its
// own).
bool WineHelper::serverRunning() const {
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

} // namespace phone
