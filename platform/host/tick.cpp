// The phone's tick count: the host's monotonic clock in milliseconds, or virtual time, in
// which every reading advances the count by a fixed step, so that waits measured in seconds
// of tick count pass in a few calls. Virtual time lives in the store and so is shared by every
// process on the phone.
#include "host.h"

#include <cstdlib>
#include <ctime>

namespace host {
namespace {

DWORD hostTickCount() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<DWORD>(static_cast<unsigned long long>(ts.tv_sec) * 1000u +
                              static_cast<unsigned long long>(ts.tv_nsec) / 1000000u);
}

std::optional<DWORD> parseDword(const std::optional<std::string>& text) {
    if (!text || text->empty())
        return std::nullopt;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text->c_str(), &end, 10);
    if (*end || v > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<DWORD>(v);
}

// A tick setting: nullopt when unset; ERROR_BADDB when it holds no count.
LONG tickSetting(const char* name, std::optional<DWORD>* out) {
    std::optional<std::string> text;
    out->reset();
    LONG status = setting(name, &text);
    if (status != ERROR_SUCCESS || !text)
        return status;
    *out = parseDword(text);
    if (!*out)
        return refuse(ERROR_BADDB, std::string("the phone's setting '") + name + "' holds '" +
                                       oneLine(*text) + "', where a tick count belongs");
    return ERROR_SUCCESS;
}

} // namespace
} // namespace host

namespace control {

using namespace host;

LONG setVirtualTick(std::optional<DWORD> stepMs, std::optional<DWORD> start) {
    if (!stepMs)
        return setSetting("tick.step", std::nullopt);
    // A frozen count would keep anything that waits on it waiting for ever.
    if (*stepMs == 0)
        return refuse(ERROR_INVALID_PARAMETER, "a step of virtual time is 1 ms or more");
    std::optional<DWORD> now;
    // A count that cannot be read is started afresh.
    if (!start && (tickSetting("tick.now", &now) != ERROR_SUCCESS || !now))
        start = hostTickCount();
    LONG status = start ? setSetting("tick.now", std::to_string(*start)) : ERROR_SUCCESS;
    if (status != ERROR_SUCCESS)
        return status;
    return setSetting("tick.step", std::to_string(*stepMs));
}

LONG virtualTickStep(std::optional<DWORD>* step) {
    return tickSetting("tick.step", step);
}

DWORD peekTickCount() {
    std::optional<DWORD> step, now;
    if (virtualTickStep(&step) == ERROR_SUCCESS && step &&
        tickSetting("tick.now", &now) == ERROR_SUCCESS && now)
        return *now;
    return hostTickCount();
}

} // namespace control

DWORD GetTickCount(void) {
    // A virtual count that cannot be read leaves the host's: this call has no way to fail.
    std::optional<DWORD> step;
    if (control::virtualTickStep(&step) != ERROR_SUCCESS || !step)
        return host::hostTickCount();
    // One statement, so that two processes reading at once each get their own step.
    std::vector<host::Row> rows;
    if (host::execute("UPDATE settings SET value = CAST((CAST(value AS INTEGER) + ?) % "
                      "4294967296 AS TEXT) WHERE name = 'tick.now' RETURNING value",
                      {host::Param::integer(*step)}, &rows) == ERROR_SUCCESS &&
        !rows.empty())
        if (std::optional<DWORD> now = host::parseDword(rows[0].textOrNull(0)))
            return *now;
    return host::hostTickCount();
}
