// The phone as everything outside the program reads and changes it: the console, the Wine
// phone's helper, the benchmark and the tests. One set of records (UTF-8 text) and one set of
// calls, each giving back a Win32 status that carries the real code (ERROR_BAD_UNIT for a line
// the phone does not have, ERROR_INVALID_PARAMETER for a value out of range, ERROR_BADDB for what
// cannot be read, the store's or the registry's own status) with the reason in words from
// problem(). Lists give back what could be read even when the status is not ERROR_SUCCESS: an
// entry that cannot be read is left out, and the status is then that of the first. Both layers
// implement it: mostly once over the phone's state (control.cpp here), the rest in each layer's
// control.cpp.
#ifndef VELMORA_PHONE_CONTROL_H
#define VELMORA_PHONE_CONTROL_H

#if defined(_WIN32)
// The layer's own sources see the platform itself, not the seam's renamed calls.
#include <windows.h>
#include <tapi.h>
#include "platform/phone_only.h"
#else
#include "platform/platform.h"
#endif

#include "platform/phone/line_rules.h"

#include <optional>
#include <string>
#include <vector>

namespace control {

using line_rules::LineOperation;

// ---- The phone itself ----
// Where the phone lives, as people name it: the store's path on the simulated phone; the key of
// the phone's state under HKEY_LOCAL_MACHINE on the Wine phone.
std::string where();
// Makes the phone ready for the calls below; the status when it cannot be reached.
LONG openPhone();
// Lets go of what this process keeps of the phone (the open store), so that the next call
// finds it as another process would.
void closePhone();
// Whether a value that cannot be read is also said on standard error, once (so that a program
// going on with its default does not do so silently). A tool that says it itself turns it off.
void echoBadValues(bool enabled);
// Why the last call that failed did, in words; empty when it said no more than its status.
const std::string& problem();
// Keeps `why` as what problem() gives (empty forgets the last), and gives back `status`: for a
// caller with a failure of its own to say, or one that makes several calls and must know which
// gave the reason.
LONG noteProblem(LONG status, std::string why);
// A new phone: its state and the given program keys (paths under HKEY_LOCAL_MACHINE) deleted;
// the lines are seeded again on first use. The store's or the registry's status.
LONG resetPhone(const std::vector<std::string>& programKeys);
// Copies the whole phone into `file` (replacing it) as one file that holds its state as of one
// moment while other processes use the phone; the store's status when it cannot, and then nothing
// is left at `file`. ERROR_NOT_SUPPORTED where a phone is backed up otherwise (a Wine phone is
// backed up as its prefix).
LONG backupPhone(const std::string& file);
// Replaces the phone's whole state with the backup at `file`, whole for every process that reads
// it afterwards. ERROR_FILE_NOT_FOUND when there is none, ERROR_BADDB for a file that is no
// phone's backup or is damaged, ERROR_REVISION_MISMATCH for one of a later build, else the store's
// status; the phone is then left as it was. ERROR_NOT_SUPPORTED as for a backup.
LONG restorePhone(const std::string& file);
// Stores a value under HKEY_LOCAL_MACHINE (`key` a path, empty names skipped) with exactly
// these bytes, whatever its type, making the key; the registry's status.
LONG storeValue(const std::string& key, const std::string& name, DWORD type,
                const std::string& bytes);
// What is wrong with a value as the phone's state holds it there (`key` a path under
// HKEY_LOCAL_MACHINE): its type, size, range or form. "" when nothing is, or when the key is
// none of the phone state's.
std::string valueProblem(const std::string& key, const std::string& name, DWORD type,
                         const std::string& bytes);

// ---- Lines ----
struct LineDevice {
    DWORD index = 0;
    std::string name;
    DWORD mediaModes = 0;
    DWORD equipmentState = 0; // 1-5, the cellular extension's LINEEQUIPSTATE_*
    bool registered = false;
    std::string faults; // "operation=code,...", "-" for none
};
// Every line device, by index.
LONG lineDevices(std::vector<LineDevice>* out);
// One device; ERROR_BAD_UNIT when the phone has no such line.
LONG lineDevice(DWORD index, LineDevice* out);
// Each gives ERROR_BAD_UNIT when the device does not exist, ERROR_INVALID_PARAMETER when the
// value is out of range, else the state's status.
LONG setLineState(DWORD index, DWORD state); // 1-5
LONG setLineMedia(DWORD index, DWORD mediaModes);
LONG setLineRegistered(DWORD index, bool registered);
// A fault on one operation: halfopen fails the open yet hands back a line that must still be
// closed; a failing close closes the line all the same. `code` < 0.
LONG setLineFault(DWORD index, LineOperation operation, LONG code);
LONG healLine(DWORD index);
// Appends a device, registered when its state is full; its index.
LONG addLine(const std::string& name, DWORD mediaModes, DWORD state, DWORD* index);
// Removes a device; the devices above it move down one index, with their faults.
LONG removeLine(DWORD index);

// ---- lineInitialize ----
// The next `count` attempts answer LINEERR_REINIT; 0 clears.
LONG setReinitAttempts(DWORD count);
// Attempts answer LINEERR_REINIT for `ms` milliseconds of tick count, counted from the first
// attempt that sees it; 0 clears.
LONG setReinitMilliseconds(DWORD ms);
// Every attempt answers `code` (< 0); 0 clears.
LONG setInitFault(LONG code);

// ---- Telephony ----
struct TelephonyStatus {
    DWORD reinitAttempts = 0;
    DWORD reinitMilliseconds = 0;
    LONG initFault = 0;
    long long sessionsOpen = 0;          // sessions started and not shut down, by any process
    long long linesOpen = 0;             // lines opened and not closed, by any process
    long long linesClosedByShutdown = 0; // lines a lineShutdown had to close for its caller
};
// The figures that cannot be read are left 0.
LONG telephonyStatus(TelephonyStatus* out);
// A session or line still open, by any process: a leak outlives its process.
struct OpenHandle {
    long long pid;
    std::string kind; // "session" or "line"
    long long handle;
    long long device; // -1 for a session
};
LONG openHandles(std::vector<OpenHandle>* out);
// Forgets the open handles and the shutdown count (handles of live processes stay usable).
LONG clearLeaks();
// One entry of the call log: a call, as many times in a row as `count`.
struct CallRecord {
    long long pid;
    std::string call; // the function's name, e.g. "lineOpen"
    long long device; // -1 when the call is not about one device
    LONG result;
    long long count;
    // What the caller asked for ("state=1", "low=0x00010003 high=0x00020000"); empty for calls
    // of handles alone.
    std::string arguments;
};
LONG callLog(std::vector<CallRecord>* out);
LONG clearCallLog();

// ---- Clock and tick count ----
// Pins every process on the phone to a local time, or (nullopt) follows the platform's;
// ERROR_INVALID_PARAMETER for a time that does not exist.
LONG pinClock(const std::optional<SYSTEMTIME>& time);
// The pinned time, nullopt when the clock follows the platform's (a pin that is no date and time
// is ERROR_BADDB).
LONG pinnedClock(std::optional<SYSTEMTIME>* time);
// In virtual time every GetTickCount on the phone advances the count by `stepMs`, from `start`
// (or from where it stands); nullopt returns to the platform's count. A step of 0 is
// ERROR_INVALID_PARAMETER: a count that never moves would hang anything waiting on it.
LONG setVirtualTick(std::optional<DWORD> stepMs, std::optional<DWORD> start = std::nullopt);
// The step of virtual time, nullopt when the count is the platform's.
LONG virtualTickStep(std::optional<DWORD>* step);
// The tick count as GetTickCount would give it, without moving virtual time on; the platform's
// when virtual time cannot be read.
DWORD peekTickCount();

// ---- Message boxes ----
// Queues the answer (IDOK, IDYES, ...) for the next box any process shows with nobody there;
// ERROR_INVALID_PARAMETER for what is no answer.
LONG queueAnswer(int answer);
struct MessageRecord {
    long long id;
    long long pid;
    std::string caption, text;
    UINT type;
    int answer; // 0 until the box has been answered
};
// The boxes recorded, oldest first, from the one after `afterId`.
LONG messages(std::vector<MessageRecord>* out, long long afterId = 0);
// The id of the latest box, 0 when none.
LONG lastMessageId(long long* id);
LONG clearMessages();

// ---- The timed-start service ----
struct PendingStart {
    std::string path; // as the phone holds it
    std::string text; // the stored local time, YYYY-MM-DD HH:MM:SS
    SYSTEMTIME at{};  // the same, with its weekday; only meaningful when valid
    bool valid = false;
};
// Every pending start, earliest first and by path at the same time; one whose stored time is no
// date and time comes after the others.
LONG pendingStarts(std::vector<PendingStart>* out);
// The start pending for one path, nullopt when there is none.
LONG pendingStart(const std::string& path, std::optional<PendingStart>* out);
// Takes a start off as it fires, with the clock pinned at `pinAt` first when given, in one
// change. A registration made since it was read (for another time) stays.
LONG takePendingStart(const PendingStart& start,
                      const std::optional<SYSTEMTIME>& pinAt = std::nullopt);
LONG clearPendingStarts();
// A registration the service refused: CeRunAppAtTime failed with this last error.
struct Refusal {
    long long id;
    long long pid;
    std::string path;
    std::string at; // the time asked for as given (it may be no time at all), "" to cancel
    DWORD error;
};
// The latest hundred, oldest first, from the one after `afterId`.
LONG refusals(std::vector<Refusal>* out, long long afterId = 0);
// The id of the latest refusal, 0 when none.
LONG lastRefusalId(long long* id);

} // namespace control

#endif
