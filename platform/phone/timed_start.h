// The phone's timed-start service, once for every layer: at most one pending start per program
// path, the registrations the service refused (the latest hundred), and a start taken off the
// list as it fires. The rules (timed_start.cpp) define CeRunAppAtTime and the calls below; each
// layer keeps the starts and refusals in its own store and defines the state's calls in its
// timed_start_store.cpp: the simulated phone in the tables timed_starts and
// timed_start_refusals, the Wine phone under the keys TimedStarts and TimedStartRefusals.
#ifndef VELMORA_PHONE_TIMED_START_H
#define VELMORA_PHONE_TIMED_START_H

#if defined(_WIN32)
// The layer's own sources see the platform itself, not the seam's renamed calls.
#include <windows.h>
#include <tapi.h>
#include "platform/phone_only.h"
#else
#include "platform/platform.h"
#endif

#include <string>
#include <vector>

namespace timed_start_state {

// A program's path as the store keeps it: UTF-8 on the simulated phone, the platform's UTF-16
// on desktop Win32.
#if defined(_WIN32)
using StoredPath = std::wstring;
#else
using StoredPath = std::string;
#endif

// A pending start. One whose time cannot be read is listed with why (status and problem) and
// no text, where the store can still name it.
struct PendingStart {
    StoredPath path;
    std::string text; // the stored local time, YYYY-MM-DD HH:MM:SS
    SYSTEMTIME at{};  // the same, with its weekday; only meaningful when valid
    bool valid = false;
    LONG status = ERROR_SUCCESS;
    std::string problem;
};

// A registration the service refused: CeRunAppAtTime failed with this last error.
struct Refusal {
    long long pid;
    DWORD error;
    std::string at; // the time asked for as given (it may be no time at all), "" to cancel
    StoredPath path;
};

// ---- What each layer's store gives the rules ----
// The caller's path as the store keeps it; empty for none.
StoredPath storedPath(LPCWSTR path);
// Every stored start with its path and text, in the store's order; the store's status when not
// every one can be read (those it cannot name are left out).
LONG readStarts(std::vector<PendingStart>* out);
// The start stored for `path`: ERROR_FILE_NOT_FOUND when there is none, ERROR_BADDB when its
// time cannot be read, else the store's status.
LONG readStart(const StoredPath& path, PendingStart* out);
// Stores the start of `path` in place of the one there; the store's status.
LONG writeStart(const StoredPath& path, const std::string& text);
// Removes the start of `path`: ERROR_FILE_NOT_FOUND when there was none, else the store's status.
LONG removeStart(const StoredPath& path);
// A change that reads before it writes is one unit from beginChange to endChange (a
// transaction, the state's lock), so that no other process changes the starts in between; a
// unit begun inside another belongs to the outer one. beginChange gives the store's status
// when no unit can be had, and then nothing is to be changed; endChange keeps what the unit
// wrote when `status` is ERROR_SUCCESS, and gives `status`, or the store's when it could not.
LONG beginChange();
LONG endChange(LONG status);
// Records a refusal and gives its number; the store's status when it cannot.
LONG appendRefusal(const Refusal& refusal, long long* id);
// Forgets the refusals numbered up to `id`; the store's status.
LONG dropRefusalsUpTo(long long id);

} // namespace timed_start_state

namespace phone_timed_start {

using timed_start_state::PendingStart;

// How many refused registrations are kept.
inline constexpr long long kRefusalsKept = 100;

// Every pending start, earliest first and by path at the same time. A start whose time cannot be
// read comes before all others, and one whose stored time is no date and time after them. The
// store's status when not every start can be read (those it cannot name are left out).
LONG pendingStarts(std::vector<PendingStart>* out);
// Takes a start off the list as it fires. A registration made since it was read (for another
// time) stays, as does a start whose time cannot be read; the store's status when the list
// cannot be changed.
LONG takePendingStart(const PendingStart& start);

} // namespace phone_timed_start

#endif
