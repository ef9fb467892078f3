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
        return host::pinClock(std::nullopt) == ERROR_SUCCESS;
    SYSTEMTIME t;
    return host::parseDateTime(when, &t) && host::pinClock(t) == ERROR_SUCCESS;
}

std::string pendingStart(LPCWSTR path) {
    std::optional<host::PendingStart> start;
    if (host::pendingStart(host::toUtf8(path), &start) != ERROR_SUCCESS)
        return "unreadable";
    return start ? start->text : "none";
}

std::vector<Refusal> refusals() {
    std::vector<host::TimedStartRefusal> all;
    EXPECT_EQ(ERROR_SUCCESS, host::timedStartRefusals(&all));
    std::vector<Refusal> out;
    for (const host::TimedStartRefusal& r : all)
        out.push_back({r.pid, r.path, r.at, r.error});
    return out;
}

long long processId() {
    return getpid();
}

bool setLineState(DWORD line, DWORD state) {
    return host::setLineState(line, state) == ERROR_SUCCESS;
}

bool setLineMedia(DWORD line, DWORD mediaModes) {
    return host::setLineMedia(line, mediaModes) == ERROR_SUCCESS;
}

bool setLineFault(DWORD line, const char* operation, LONG code) {
    std::optional<line_rules::LineOperation> op = line_rules::operationFromName(operation);
    return op && host::setLineFault(line, *op, code) == ERROR_SUCCESS;
}

DWORD lineState(DWORD line) {
    host::LineDevice device;
    return host::lineDevice(line, &device) == ERROR_SUCCESS ? device.equipmentState : 0;
}

bool lineRegistered(DWORD line) {
    host::LineDevice device;
    return host::lineDevice(line, &device) == ERROR_SUCCESS && device.registered;
}

bool setReinitAttempts(DWORD count) {
    return host::setReinitAttempts(count) == ERROR_SUCCESS;
}

bool setVirtualTick(DWORD step, DWORD start) {
    return host::setVirtualTick(step, start) == ERROR_SUCCESS;
}

Leaks leaks() {
    host::TelephonyStatus s;
    if (host::telephonyStatus(&s) != ERROR_SUCCESS)
        return {-1, -1, -1};
    return {s.sessionsOpen, s.linesOpen, s.linesClosedByShutdown};
}

bool clearLeaks() {
    return host::clearTelephonyLeaks() == ERROR_SUCCESS;
}

void reopenPhone() {
    host::closeStore();
}

} // namespace contract
