// Top-level windows, recorded on the phone so that another process can find them.
#include "host.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace {

HWND activeWindow = nullptr;
const uintptr_t kWindowBase = 0x20000;

HWND handleFor(long long id) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(kWindowBase + id));
}
long long idFor(HWND window) {
    return static_cast<long long>(reinterpret_cast<uintptr_t>(window)) -
           static_cast<long long>(kWindowBase);
}

// The boot this host is in: a process's start is counted from it, and the phone's store outlives
// reboots.
std::string bootId() {
    static const std::string id = [] {
        std::ifstream in("/proc/sys/kernel/random/boot_id");
        std::string line;
        std::getline(in, line);
        return line;
    }();
    return id;
}

} // namespace

namespace host {

std::string processIdentity(long long pid) {
    if (pid <= 0 || pid > INT32_MAX)
        return {};
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // "pid (name) state ppid ...": the name may hold anything, so fields count from its end.
    size_t close = all.rfind(')');
    if (close == std::string::npos)
        return {};
    // The state is the third field and the start time (in clock ticks since boot) the 22nd.
    std::string state, started;
    size_t at = close + 1;
    for (int field = 3; field <= 22; ++field) {
        size_t begin = all.find_first_not_of(' ', at);
        if (begin == std::string::npos)
            break;
        at = all.find(' ', begin);
        std::string text = all.substr(begin, at == std::string::npos ? at : at - begin);
        if (field == 3)
            state = text;
        if (field == 22)
            started = text;
    }
    // A zombie has ended; only its exit status is left.
    if (started.empty() || state == "Z")
        return {};
    return std::to_string(pid) + "@" + bootId() + "+" + started;
}

} // namespace host

namespace {

// A window belongs to a live process when its process runs and is the one that made it: a
// record of an ended dialog must not live on in a later process that was given the same id.
bool ownerAlive(long long pid, const std::optional<std::string>& started) {
    std::string now = host::processIdentity(pid);
    return !now.empty() && (!started || *started == now);
}

} // namespace

namespace host {

HWND createTopLevelWindow(const std::u16string& title, const std::u16string& className) {
    std::vector<Row> rows;
    if (execute("INSERT INTO windows(pid, title, class, started) VALUES(?, ?, ?, ?) RETURNING id",
                {Param::integer(getpid()), Param::str(toUtf8(title)), Param::str(toUtf8(className)),
                 Param::str(processIdentity(getpid()))},
                &rows) != ERROR_SUCCESS ||
        rows.empty())
        return nullptr;
    long long id = rows[0].integer(0);
    return rows[0].status() == ERROR_SUCCESS ? handleFor(id) : nullptr;
}

void destroyTopLevelWindow(HWND window) {
    execute("DELETE FROM windows WHERE id = ?", {Param::integer(idFor(window))});
    if (activeWindow == window)
        activeWindow = nullptr;
}

void setActiveWindow(HWND window) {
    activeWindow = window;
}

LONG foregroundRequests(std::vector<ForegroundRequest>* out) {
    std::vector<Row> rows;
    out->clear();
    LONG status = execute("SELECT window, pid FROM foreground_requests ORDER BY id", {}, &rows);
    return collectRows(status, rows, out, [](Row& r) {
        return ForegroundRequest{r.integer(0), r.integer(1)};
    });
}

} // namespace host

HWND GetActiveWindow(void) {
    return activeWindow;
}

HWND FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
    std::vector<host::Row> rows;
    LONG status =
        host::execute("SELECT id, pid, title, class, started FROM windows ORDER BY id", {}, &rows);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return nullptr;
    }
    std::string title = host::toUtf8(lpWindowName), cls = host::toUtf8(lpClassName);
    for (host::Row& r : rows) {
        long long id = r.integer(0);
        long long pid = r.integer(1);
        std::optional<std::string> windowTitle = r.textOrNull(2), windowClass = r.textOrNull(3);
        std::optional<std::string> started = r.textOrNull(4);
        // A record of an ended process, or one that names no process (said on standard error as
        // it is read), can never be a live window: it is dropped.
        if (r.status() != ERROR_SUCCESS || !ownerAlive(pid, started)) {
            host::execute("DELETE FROM windows WHERE id = ?", {host::Param::integer(id)});
            continue;
        }
        if (lpWindowName && windowTitle.value_or("") != title)
            continue;
        if (lpClassName && windowClass.value_or("") != cls)
            continue;
        return handleFor(id);
    }
    return nullptr;
}

BOOL SetForegroundWindow(HWND hWnd) {
    std::vector<host::Row> rows;
    if (!hWnd ||
        host::execute("SELECT pid, title FROM windows WHERE id = ?",
                      {host::Param::integer(idFor(hWnd))}, &rows) != ERROR_SUCCESS ||
        rows.empty())
        return FALSE;
    long long owner = rows[0].integer(0);
    std::string title = rows[0].textOrNull(1).value_or("");
    if (rows[0].status() != ERROR_SUCCESS)
        return FALSE;
    if (host::execute("INSERT INTO foreground_requests(window, pid) VALUES(?, ?)",
                      {host::Param::integer(idFor(hWnd)), host::Param::integer(getpid())}) !=
        ERROR_SUCCESS)
        return FALSE;
    // Only the latest requests are kept: they tell a test or a person what happened lately.
    host::execute("DELETE FROM foreground_requests WHERE id <= (SELECT MAX(id) FROM "
                  "foreground_requests) - 100");
    // A window of another process comes to the front on a phone's screen; here it is said, so
    // that a person or a script knows this start handed over to that window.
    if (owner != getpid())
        std::fprintf(stderr, "%s: brought \"%s\" (process %lld) to the front\n",
                     program_invocation_short_name, title.c_str(), owner);
    return TRUE;
}
