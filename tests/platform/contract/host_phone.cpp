// The contract's fixture on the simulated phone: a fresh store per test.
#include "contract.h"

#include "platform/host/host.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace contract {

namespace {
std::string phoneDir;
}

void newPhone() {
    if (!phoneDir.empty())
        endPhone();
    char folder[] = "/tmp/velmora-contract-XXXXXX";
    phoneDir = mkdtemp(folder);
    setenv("VELMORA_PHONE", (phoneDir + "/phone.db").c_str(), 1);
    host::closeStore();
    host::setTerminalPrompts(false);
}

void endPhone() {
    host::closeStore();
    unsetenv("VELMORA_PHONE");
    std::filesystem::remove_all(phoneDir);
    phoneDir.clear();
}

bool pinClock(const char* when) {
    if (when == nullptr)
        return host::pinClock(std::nullopt);
    SYSTEMTIME t;
    return host::parseDateTime(when, &t) && host::pinClock(t);
}

std::string pendingStart(LPCWSTR path) {
    std::optional<host::PendingStart> start = host::pendingStart(host::toUtf8(path));
    return start ? start->text : "none";
}

bool setLineState(DWORD line, DWORD state) {
    return host::setLineState(line, state);
}

bool setLineMedia(DWORD line, DWORD mediaModes) {
    return host::setLineMedia(line, mediaModes);
}

bool setLineFault(DWORD line, const char* operation, LONG code) {
    return host::setLineFault(line, operation, code);
}

DWORD lineState(DWORD line) {
    std::optional<host::LineDevice> device = host::lineDevice(line);
    return device ? device->equipmentState : 0;
}

bool lineRegistered(DWORD line) {
    std::optional<host::LineDevice> device = host::lineDevice(line);
    return device && device->registered;
}

bool setReinitAttempts(DWORD count) {
    return host::setReinitAttempts(count);
}

bool setVirtualTick(DWORD step, DWORD start) {
    return host::setVirtualTick(step, start);
}

Leaks leaks() {
    host::TelephonyStatus s = host::telephonyStatus();
    return {s.sessionsOpen, s.linesOpen, s.linesClosedByShutdown};
}

} // namespace contract
