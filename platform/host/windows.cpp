// Top-level windows, recorded on the phone so that another process can find them.
#include "host.h"

#include <cerrno>
#include <cstdio>
#include <csignal>
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

bool processAlive(long long pid) {
    if (pid <= 0 || (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM))
        return false;
    // A zombie has ended; only its exit status is left.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t close = all.rfind(')');
    return close == std::string::npos || close + 2 >= all.size() || all[close + 2] != 'Z';
}

} // namespace

namespace host {

HWND createTopLevelWindow(const std::u16string& title, const std::u16string& className) {
    std::vector<Row> rows;
    if (!exec("INSERT INTO windows(pid, title, class) VALUES(?, ?, ?) RETURNING id",
              {Param::integer(getpid()), Param::str(toUtf8(title)), Param::str(toUtf8(className))},
              &rows) ||
        rows.empty())
        return nullptr;
    return handleFor(std::stoll(*rows[0][0]));
}

void destroyTopLevelWindow(HWND window) {
    exec("DELETE FROM windows WHERE id = ?", {Param::integer(idFor(window))});
    if (activeWindow == window)
        activeWindow = nullptr;
}

void setActiveWindow(HWND window) {
    activeWindow = window;
}

std::vector<ForegroundRequest> foregroundRequests() {
    std::vector<Row> rows;
    std::vector<ForegroundRequest> out;
    if (exec("SELECT window, pid FROM foreground_requests ORDER BY id", {}, &rows))
        for (const Row& r : rows)
            out.push_back({std::stoll(r[0].value_or("0")), std::stoll(r[1].value_or("0"))});
    return out;
}

} // namespace host

HWND GetActiveWindow(void) {
    return activeWindow;
}

HWND FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
    std::vector<host::Row> rows;
    if (!host::exec("SELECT id, pid, title, class FROM windows ORDER BY id", {}, &rows))
        return nullptr;
    std::string title = host::toUtf8(lpWindowName), cls = host::toUtf8(lpClassName);
    for (const host::Row& r : rows) {
        long long id = std::stoll(*r[0]);
        if (!processAlive(std::stoll(r[1].value_or("0")))) {
            host::exec("DELETE FROM windows WHERE id = ?", {host::Param::integer(id)});
            continue;
        }
        if (lpWindowName && r[2].value_or("") != title)
            continue;
        if (lpClassName && r[3].value_or("") != cls)
            continue;
        return handleFor(id);
    }
    return nullptr;
}

BOOL SetForegroundWindow(HWND hWnd) {
    std::vector<host::Row> rows;
    if (!hWnd ||
        !host::exec("SELECT pid, title FROM windows WHERE id = ?",
                    {host::Param::integer(idFor(hWnd))}, &rows) ||
        rows.empty())
        return FALSE;
    if (!host::exec("INSERT INTO foreground_requests(window, pid) VALUES(?, ?)",
                    {host::Param::integer(idFor(hWnd)), host::Param::integer(getpid())}))
        return FALSE;
    // Only the latest requests are kept: they tell a test or a person what happened lately.
    host::exec("DELETE FROM foreground_requests WHERE id <= (SELECT MAX(id) FROM "
               "foreground_requests) - 100");
    // A window of another process comes to the front on a phone's screen; here it is said, so
    // that a person or a script knows this start handed over to that window.
    long long owner = std::stoll(rows[0][0].value_or("0"));
    if (owner != getpid())
        std::fprintf(stderr, "%s: brought \"%s\" (process %lld) to the front\n",
                     program_invocation_short_name, rows[0][1].value_or("").c_str(), owner);
    return TRUE;
}
