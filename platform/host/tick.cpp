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

} // namespace

bool setVirtualTick(std::optional<DWORD> stepMs, std::optional<DWORD> start) {
    if (!stepMs)
        return setSetting("tick.step", std::nullopt);
    // A frozen count would keep anything that waits on it waiting for ever.
    if (*stepMs == 0)
        return false;
    if (!start && !parseDword(setting("tick.now")))
        start = hostTickCount();
    if (start && !setSetting("tick.now", std::to_string(*start)))
        return false;
    return setSetting("tick.step", std::to_string(*stepMs));
}

std::optional<DWORD> virtualTickStep() {
    return parseDword(setting("tick.step"));
}

DWORD peekTickCount() {
    if (virtualTickStep())
        if (std::optional<DWORD> now = parseDword(setting("tick.now")))
            return *now;
    return hostTickCount();
}

} // namespace host

DWORD GetTickCount(void) {
    std::optional<DWORD> step = host::virtualTickStep();
    if (!step)
        return host::hostTickCount();
    // One statement, so that two processes reading at once each get their own step.
    std::vector<host::Row> rows;
    if (host::exec("UPDATE settings SET value = CAST((CAST(value AS INTEGER) + ?) % 4294967296 "
                   "AS TEXT) WHERE name = 'tick.now' RETURNING value",
                   {host::Param::integer(*step)}, &rows) &&
        !rows.empty())
        if (std::optional<DWORD> now = host::parseDword(rows[0][0]))
            return *now;
    return host::hostTickCount();
}
