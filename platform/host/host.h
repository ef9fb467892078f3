// The simulated phone's own interface, beside the Win32 surface: what its console, its tests
// and its other modules need to reach the phone's store and state. Portable code never
// includes this header.
#ifndef VELMORA_HOST_HOST_H
#define VELMORA_HOST_HOST_H

#include "win32_core.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

// The program's entry, defined by the application.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd);

namespace host {

// ---- Text ----
std::string toUtf8(std::u16string_view text);
std::string toUtf8(const WCHAR* text);
std::u16string fromUtf8(std::string_view text);
bool isValidUtf8(std::string_view text);
// Escapes newlines, tabs and backslashes so that a text fits on one line of a listing.
std::string oneLine(std::string_view text);

// ---- The store ----
// Where the phone lives: $VELMORA_PHONE, else velmora/phone.db in the XDG state directory.
std::string storePath();
// The open store, opened on first use; nullptr and a Win32 status code when it cannot be.
sqlite3* store(LONG* status = nullptr);
// Creates a module's tables once per process; false when the store cannot be opened.
bool ensureSchema(const char* name, const char* sql);
// Forgets the open store, so that the next use opens $VELMORA_PHONE afresh (tests, tools).
void closeStore();
// The Win32 status code that stands for an SQLite result code.
LONG statusFromSqlite(int rc);
// A store-wide setting; empty when unset.
std::optional<std::string> setting(const std::string& name);
bool setSetting(const std::string& name, const std::optional<std::string>& value);

// Runs one statement with text/integer parameters; false on any failure.
struct Param {
    enum Kind { Null, Int, Text, Blob } kind;
    long long number = 0;
    std::string text;
    static Param null() { return {Null, 0, {}}; }
    static Param integer(long long v) { return {Int, v, {}}; }
    static Param str(std::string v) { return {Text, 0, std::move(v)}; }
    static Param blob(std::string bytes) { return {Blob, 0, std::move(bytes)}; }
};
using Row = std::vector<std::optional<std::string>>;
bool exec(const char* sql, const std::vector<Param>& params = {}, std::vector<Row>* rows = nullptr);

// ---- Clock ----
bool parseDateTime(std::string_view text, SYSTEMTIME* out);
std::string formatDateTime(const SYSTEMTIME& time);
int dayOfWeek(int year, int month, int day);
// "Sunday" … "Saturday" for the phone's weekday index (0 = Sunday), taken modulo 7.
const char* weekdayName(int weekday);
int daysInMonth(int year, int month);
// A real local date and time: month, day of that month, hour, minute and second in range.
bool isValidDateTime(const SYSTEMTIME& time);
// Pins every process on this phone to a local time, or (nullopt) returns to the host's.
bool pinClock(const std::optional<SYSTEMTIME>& time);
std::optional<SYSTEMTIME> pinnedClock();

// ---- Message boxes ----
const char* answerName(int answer);
int answerFromName(std::string_view name); // 0 when unknown
// The answer a box of this type gets when nobody picks one.
int defaultAnswer(UINT type);
bool answerFits(UINT type, int answer);
bool queueAnswer(int answer);
// An answer for this process's next box only (a front-end's script), taken before the phone's
// queue, so that another process on the phone can never take it.
void queueProcessAnswer(int answer);
void clearProcessAnswers();
struct MessageRecord {
    long long id;
    long long pid;
    std::string caption, text;
    UINT type;
    int answer;
};
std::vector<MessageRecord> messages();
bool clearMessages();
// A front-end (the dialog's terminal interface) may show boxes itself; it returns the answer.
using MessageBoxPresenter = std::function<int(HWND owner, const std::u16string& text,
                                              const std::u16string& caption, UINT type)>;
void setMessageBoxPresenter(MessageBoxPresenter presenter);
// Whether boxes ask the person at the terminal; by default when stdin and stderr are terminals.
void setTerminalPrompts(std::optional<bool> enabled);

// ---- Windows ----
HWND createTopLevelWindow(const std::u16string& title, const std::u16string& className);
void destroyTopLevelWindow(HWND window);
void setActiveWindow(HWND window);
struct ForegroundRequest {
    long long window;
    long long pid;
};
std::vector<ForegroundRequest> foregroundRequests();

// ---- Telephony lines ----
// The phone's line devices, with their cellular radio state, and the simulated telephony
// session's knobs: per-device faults, LINEERR_REINIT answers, leak counters and a call log.
struct LineDevice {
    DWORD index;
    std::string name;
    DWORD mediaModes;
    DWORD equipmentState; // 1-5, the cellular extension's LINEEQUIPSTATE_*
    bool registered;
    std::string faults; // as `velmora-phone lines` prints them, "-" for none
};
std::vector<LineDevice> lineDevices();
std::optional<LineDevice> lineDevice(DWORD index);
// The operations a fault can be set on, as the console names them: negotiate, devcaps, open,
// halfopen (the open fails yet hands back a line that must still be closed), getstate,
// setstate, register, unregister, close (the line is closed all the same).
const std::vector<std::string>& lineOperations();
bool isLineOperation(std::string_view name);
// Each returns false when the device does not exist, the value is out of range or the store
// cannot be written.
bool setLineState(DWORD index, DWORD state); // 1-5
bool setLineMedia(DWORD index, DWORD mediaModes);
bool setLineRegistered(DWORD index, bool registered);
bool setLineFault(DWORD index, const std::string& operation, LONG code); // code < 0
bool healLine(DWORD index);
// Appends a device; registered when its state is full. Its index, or nullopt.
std::optional<DWORD> addLine(const std::string& name, DWORD mediaModes, DWORD state);
// Removes a device; the devices above it move down one index, with their faults.
bool removeLine(DWORD index);
// The next `count` lineInitialize attempts answer LINEERR_REINIT; 0 clears.
bool setReinitAttempts(DWORD count);
// lineInitialize answers LINEERR_REINIT for `ms` milliseconds of tick count, counted from the
// first attempt that sees it; 0 clears.
bool setReinitMilliseconds(DWORD ms);
// Every lineInitialize answers `code` (< 0); 0 clears.
bool setInitFault(LONG code);
struct TelephonyStatus {
    DWORD reinitAttempts = 0;
    DWORD reinitMilliseconds = 0;
    LONG initFault = 0;
    long long sessionsOpen = 0;          // sessions started and not shut down, by any process
    long long linesOpen = 0;             // lines opened and not closed, by any process
    long long linesClosedByShutdown = 0; // lines a lineShutdown had to close for its caller
};
TelephonyStatus telephonyStatus();
struct TelephonyHandle {
    long long pid;
    std::string kind; // "session" or "line"
    long long handle;
    long long device; // -1 for a session
};
std::vector<TelephonyHandle> openTelephonyHandles();
// Forgets open handles and the shutdown count (handles of live processes stay usable).
bool clearTelephonyLeaks();
// Every telephony call made on the phone; repeats of the same call, arguments and result are
// counted.
struct TelephonyCall {
    long long pid;
    std::string call; // the function's name, e.g. "lineOpen"
    long long device; // -1 when the call is not about one device
    LONG result;
    long long count;
    // What the caller asked for, e.g. "low=0x00020000 high=0x00022000" for a negotiation;
    // empty for calls whose arguments are only handles and slots.
    std::string arguments;
};
std::vector<TelephonyCall> telephonyCalls();
bool clearTelephonyCalls();
// Parses a result code: a LINEERR_* name, signed decimal or 0x hex; false when unreadable.
bool parseLineResult(std::string_view text, LONG* out);

// ---- Tick count ----
// In virtual time every GetTickCount call on the phone advances the count by `stepMs`,
// starting from `start` (or from where it stands); nullopt returns to the host's clock. A step
// of 0 is refused: a count that never moves would hang anything waiting on it.
bool setVirtualTick(std::optional<DWORD> stepMs, std::optional<DWORD> start = std::nullopt);
std::optional<DWORD> virtualTickStep();
// The tick count as GetTickCount would give it, without advancing virtual time.
DWORD peekTickCount();

// ---- Timed starts ----
// What CeRunAppAtTime keeps: at most one pending start per executable path, a local time.
struct PendingStart {
    std::string path;
    std::string text; // the stored time, YYYY-MM-DD HH:MM:SS
    SYSTEMTIME at{};  // the same, with its weekday; only meaningful when valid
    bool valid = false;
};
// Every pending start, earliest first.
std::vector<PendingStart> pendingStarts();
std::optional<PendingStart> pendingStart(const std::string& path);
// Takes a start off the list as it fires; a registration made since it was read stays.
bool takePendingStart(const PendingStart& start);
bool clearPendingStarts();
// When a start registered for a local time fires, in seconds since the epoch: the first
// instant whose local time is at or after it. A time in the hour skipped when clocks go forward
// fires at the first minute that exists after it; a time in a repeated hour fires at its first
// occurrence only.
long long startInstant(const SYSTEMTIME& local);
// The host's local date and time at an instant, with its weekday.
SYSTEMTIME localTimeAt(long long instant);
// Orders two local times by date and time (weekday and milliseconds aside): <0, 0, >0.
int compareLocalTimes(const SYSTEMTIME& a, const SYSTEMTIME& b);
// The same local time so many days later (or earlier), with its weekday.
SYSTEMTIME addDays(const SYSTEMTIME& local, int days);

// ---- Process ----
HINSTANCE instance();

} // namespace host

#endif
