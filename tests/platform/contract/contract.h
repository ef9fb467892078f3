// The seam's contract: one list of tests that runs against whichever layer is built, the
// simulated phone (host build, under the sanitizers) or the phone over desktop Win32 (mingw
// build, under Wine). A test sees the phone only through the seam, except for the few things a
// test must arrange or read back beyond it, which each layer's fixture supplies
// (host_phone.cpp, win32_phone.cpp); what a test reads or changes of the phone goes through the
// phone's controls, which both layers serve. Cases only one layer has are marked where they
// stand.
#ifndef VELMORA_TESTS_CONTRACT_H
#define VELMORA_TESTS_CONTRACT_H

#include "platform/platform.h"

#include "platform/clock_text.h"
#include "platform/phone/control.h"
#include "platform/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace contract {

// What a refused call must leave alone, and what a call that succeeds must not set.
const DWORD kMarker = 0xdeadbeef;
const BYTE kMarkerByte = 0xAB;

// A new phone: no settings, no state; its lines are seeded on first use.
void newPhone();
void endPhone();
// This process's id, as the phone records it.
long long processId();

// ---- Through the phone's controls (platform/phone/control.h), on either layer ----
// "YYYY-MM-DD HH:MM[:SS]" pins the phone's clock; nullptr follows the platform's again.
inline bool pinClock(const char* when) {
    SYSTEMTIME t;
    if (when == nullptr)
        return control::pinClock(std::nullopt) == ERROR_SUCCESS;
    return clock_text::parseDateTime(when, &t) && control::pinClock(t) == ERROR_SUCCESS;
}
// The pending start of an executable, "YYYY-MM-DD HH:MM:SS", "none", or "unreadable".
inline std::string pendingStart(LPCWSTR path) {
    std::string utf8;
    appendUtf8(utf8, path, std::char_traits<WCHAR>::length(path));
    std::optional<control::PendingStart> start;
    if (control::pendingStart(utf8, &start) != ERROR_SUCCESS)
        return "unreadable";
    return start ? start->text : "none";
}
// The registrations the timed-start service refused, oldest first.
inline std::vector<control::Refusal> refusals() {
    std::vector<control::Refusal> all;
    EXPECT_EQ(ERROR_SUCCESS, control::refusals(&all)) << control::problem();
    return all;
}
inline bool setLineFault(DWORD line, const char* operation, LONG code) {
    std::optional<line_rules::LineOperation> op = line_rules::operationFromName(operation);
    return op && control::setLineFault(line, *op, code) == ERROR_SUCCESS;
}
inline DWORD lineState(DWORD line) {
    control::LineDevice device;
    return control::lineDevice(line, &device) == ERROR_SUCCESS ? device.equipmentState : 0;
}
inline bool lineRegistered(DWORD line) {
    control::LineDevice device;
    return control::lineDevice(line, &device) == ERROR_SUCCESS && device.registered;
}
struct Leaks {
    long long sessionsOpen, linesOpen, linesClosedByShutdown;
};
inline Leaks leaks() {
    control::TelephonyStatus s;
    if (control::telephonyStatus(&s) != ERROR_SUCCESS)
        return {-1, -1, -1};
    return {s.sessionsOpen, s.linesOpen, s.linesClosedByShutdown};
}
// The phone as the next process finds it: what this one keeps of it is let go.
void reopenPhone();
// A line's record deleted by hand, beyond the controls, as a person editing the store might:
// the lines above keep their indices.
void deleteLineRecord(DWORD index);

} // namespace contract

class Seam : public ::testing::Test {
  protected:
    void SetUp() override { contract::newPhone(); }
    void TearDown() override { contract::endPhone(); }
};

#endif
