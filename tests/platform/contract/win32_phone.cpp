// The contract's fixture on the phone over desktop Win32: one prefix for the whole run, made a
// new phone before each test by deleting the phone's keys.
#include "contract.h"

#include "platform/win32/win32.h"

namespace contract {

// The keys the tests create beside the phone's own.
const wchar_t kTestKeys[] = L"SOFTWARE\\VelmoraContract";

void newPhone() {
    ASSERT_TRUE(winphone::resetPhone({kTestKeys}));
}

void endPhone() {}

bool pinClock(const char* when) {
    if (when == nullptr)
        return winphone::pinClock(nullptr);
    SYSTEMTIME t;
    return winphone::parseDateTime(when, &t) && winphone::pinClock(&t);
}

std::string pendingStart(LPCWSTR path) {
    std::optional<winphone::PendingStart> start = winphone::pendingStart(path);
    return start ? start->text : "none";
}

std::vector<Refusal> refusals() {
    std::vector<Refusal> out;
    for (const winphone::TimedStartRefusal& r : winphone::timedStartRefusals())
        out.push_back({r.pid, winphone::toUtf8(r.path), r.at, r.error});
    return out;
}

long long processId() {
    return GetCurrentProcessId();
}

bool setLineState(DWORD line, DWORD state) {
    return winphone::setLineState(line, state);
}

bool setLineMedia(DWORD line, DWORD mediaModes) {
    return winphone::setLineMedia(line, mediaModes);
}

bool setLineFault(DWORD line, const char* operation, LONG code) {
    std::optional<line_rules::LineOperation> op = line_rules::operationFromName(operation);
    return op && winphone::setLineFault(line, *op, code);
}

DWORD lineState(DWORD line) {
    std::optional<winphone::LineDevice> device = winphone::lineDevice(line);
    return device ? device->equipmentState : 0;
}

bool lineRegistered(DWORD line) {
    std::optional<winphone::LineDevice> device = winphone::lineDevice(line);
    return device && device->registered;
}

bool setReinitAttempts(DWORD count) {
    return winphone::setReinitAttempts(count);
}

bool setVirtualTick(DWORD step, DWORD start) {
    return winphone::setVirtualTick(step, start);
}

Leaks leaks() {
    winphone::TelephonyStatus s = winphone::telephonyStatus();
    return {s.sessionsOpen, s.linesOpen, s.linesClosedByShutdown};
}

bool clearLeaks() {
    return winphone::clearTelephonyLeaks();
}

// Every process reads the registry afresh.
void reopenPhone() {}

} // namespace contract
