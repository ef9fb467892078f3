// The seam's contract: one list of tests that runs against whichever layer is built, the
// simulated phone (host build, under the sanitizers) or the phone over desktop Win32 (mingw
// build, under Wine). A test sees the phone only through the seam, except for the few things a
// test must arrange or read back beyond it, which each layer's fixture supplies
// (host_phone.cpp, win32_phone.cpp). Cases only one layer has are marked where they stand.
#ifndef VELMORA_TESTS_CONTRACT_H
#define VELMORA_TESTS_CONTRACT_H

#include "platform/platform.h"

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
// "YYYY-MM-DD HH:MM[:SS]" pins the phone's clock; nullptr follows the platform's again.
bool pinClock(const char* when);
// The pending start of an executable, "YYYY-MM-DD HH:MM:SS", or "none".
std::string pendingStart(LPCWSTR path);
// The registrations the timed-start service refused, oldest first; the path in UTF-8.
struct Refusal {
    long long pid;
    std::string path, at;
    DWORD error;
};
std::vector<Refusal> refusals();
// This process's id, as the phone records it.
long long processId();
bool setLineState(DWORD line, DWORD state);
bool setLineMedia(DWORD line, DWORD mediaModes);
bool setLineFault(DWORD line, const char* operation, LONG code);
DWORD lineState(DWORD line);
bool lineRegistered(DWORD line);
bool setReinitAttempts(DWORD count);
bool setVirtualTick(DWORD step, DWORD start);
struct Leaks {
    long long sessionsOpen, linesOpen, linesClosedByShutdown;
};
Leaks leaks();
bool clearLeaks();
// The phone as the next process finds it: what this one keeps of it is let go.
void reopenPhone();

} // namespace contract

class Seam : public ::testing::Test {
  protected:
    void SetUp() override { contract::newPhone(); }
    void TearDown() override { contract::endPhone(); }
};

#endif
