// The simulated phone's own interface, beside the Win32 surface: what its console, its tests
// and its other modules need to reach the phone's store and state. Portable code never
// includes this header.
#ifndef VELMORA_HOST_HOST_H
#define VELMORA_HOST_HOST_H

// The whole Win32 surface of the simulated phone, the calls only the phone has included.
#include "platform/platform.h"
#include "platform/box_answers.h"
#include "platform/clock_text.h"
#include "platform/utf8.h"
#include "platform/phone/answers.h"
#include "platform/phone/line_rules.h"
#include "platform/phone/timed_start.h"

#include <cstdint>
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
using ::oneLine;

// ---- The store ----
// Where the phone lives: $VELMORA_PHONE, else velmora/phone.db in the XDG state directory.
std::string storePath();
// The open store, opened on first use; nullptr and a Win32 status code when it cannot be: the
// path names no file SQLite would open as one (ERROR_INVALID_NAME), the store was made by a
// later build (ERROR_REVISION_MISMATCH), or the file cannot be opened or set up.
sqlite3* store(LONG* status = nullptr);
// Creates a module's tables once per process; the store's status when it cannot.
LONG ensureSchema(const char* name, const char* sql);
// Forgets the open store, so that the next use opens $VELMORA_PHONE afresh (tests, tools, and
// the process's end); what a module keeps for it is written first.
void closeStore();
// Has `last` run whenever the open store is about to close, to write what waits for it.
void whenStoreCloses(void (*last)());
// The Win32 status code that stands for an SQLite result code.
LONG statusFromSqlite(int rc);
// The version of the store's own tables that this build makes and reads.
int storeSchemaVersion();

// Copies the whole phone into `file` (replacing it) as one self-contained SQLite file, as of one
// moment while other processes use the phone; the store's status when it cannot, and then
// nothing is left at `file`. ERROR_INVALID_PARAMETER when `file` is the phone itself.
LONG backupStore(const std::string& file);
// Replaces the phone's whole state with the backup at `file`, in one transaction that processes
// see whole, and upgrades an older one. ERROR_FILE_NOT_FOUND when there is none, ERROR_BADDB for
// a file that is no phone's backup or is damaged, ERROR_REVISION_MISMATCH for one of a later
// build, else the store's status; the phone is then left as it was.
LONG restoreStore(const std::string& file);

// Why the last failing store operation failed, in words (the SQLite message, the bad column,
// the refused name); empty after a success.
const std::string& storeProblem();
// Records why an operation is refused and gives back its status, so that a caller can show both.
LONG refuse(LONG status, std::string why);
// A row that holds what no read expects (a hand-edited or damaged store) is also said on
// standard error, once, so that a program that carries on with a default does not do so
// silently. The console says it in its own error line instead and turns this off.
void echoBadRows(bool enabled);

// A store-wide setting: ERROR_SUCCESS with the value (nullopt when unset), else the store's status.
LONG setting(const std::string& name, std::optional<std::string>* value);
LONG setSetting(const std::string& name, const std::optional<std::string>& value);

// A parameter of a statement.
struct Param {
    enum Kind { Null, Int, Text, Blob } kind;
    long long number = 0;
    std::string text;
    static Param null() { return {Null, 0, {}}; }
    static Param integer(long long v) { return {Int, v, {}}; }
    static Param str(std::string v) { return {Text, 0, std::move(v)}; }
    static Param blob(std::string bytes) { return {Blob, 0, std::move(bytes)}; }
};

// One row read from the store, each column as the store holds it. Every read names what it
// expects; a column that holds anything else gives a neutral value (0, empty) and leaves the row
// bad: status() is then ERROR_BADDB and storeProblem() names the column and what it held. Read
// all the columns, then check status() once.
class Row {
  public:
    struct Column {
        int kind; // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL
        std::string name;
        long long number = 0; // an integer's value
        std::string bytes;    // text, blob, or a float as text
    };
    explicit Row(std::vector<Column> columns) : columns_(std::move(columns)) {}

    // A whole number from lowest to highest.
    long long integer(size_t column, long long lowest = INT64_MIN, long long highest = INT64_MAX);
    // The same, or nullopt for NULL.
    std::optional<long long> integerOrNull(size_t column, long long lowest = INT64_MIN,
                                           long long highest = INT64_MAX);
    DWORD dword(size_t column) { return static_cast<DWORD>(integer(column, 0, 0xFFFFFFFFll)); }
    LONG int32(size_t column) { return static_cast<LONG>(integer(column, INT32_MIN, INT32_MAX)); }
    std::string text(size_t column);
    std::optional<std::string> textOrNull(size_t column);
    std::string blob(size_t column);

    LONG status() const { return bad_ ? ERROR_BADDB : ERROR_SUCCESS; }

  private:
    const Column* expect(size_t column, bool nullAllowed, int kind, const char* wanted);
    void markBad(const std::string& what, const std::string& wanted);
    std::optional<long long> number(size_t column, bool nullAllowed, long long lowest,
                                    long long highest);
    std::vector<Column> columns_;
    bool bad_ = false;
};

// Runs one statement and collects its rows; ERROR_SUCCESS, or the Win32 status that stands for
// the failure (see storeProblem() for the reason), with no rows.
LONG execute(const char* sql, const std::vector<Param>& params = {},
             std::vector<Row>* rows = nullptr);
// Runs a statement that gives one whole number (a count, the latest id).
LONG queryInteger(const char* sql, const std::vector<Param>& params, long long* value);
// Reads each row into a record with `read`; rows that cannot be read are left out. The status
// is the statement's, else that of the first row left out.
template <typename Record, typename Read>
LONG collectRows(LONG status, std::vector<Row>& rows, std::vector<Record>* out, Read read) {
    for (Row& r : rows) {
        Record record = read(r);
        if (r.status() == ERROR_SUCCESS)
            out->push_back(std::move(record));
        else if (status == ERROR_SUCCESS)
            status = r.status();
    }
    return status;
}

// ---- Clock ----
using clock_text::dayOfWeek;
using clock_text::daysInMonth;
using clock_text::formatDateTime;
using clock_text::isValidDateTime;
using clock_text::parseDateTime;
// "Sunday" … "Saturday" for the phone's weekday index (0 = Sunday), taken modulo 7.
const char* weekdayName(int weekday);
// Pins every process on this phone to a local time, or (nullopt) returns to the host's;
// ERROR_INVALID_PARAMETER for a time that does not exist, else the store's status.
LONG pinClock(const std::optional<SYSTEMTIME>& time);
// The time the phone's clock is pinned at, or nullopt when it follows the host's; the store's
// status when that cannot be read (a pin that is not a date and time is ERROR_BADDB).
LONG pinnedClock(std::optional<SYSTEMTIME>* time);

// ---- Message boxes ----
using box_answers::answerFits;
using box_answers::answerFromName;
using box_answers::answerName;
using box_answers::defaultAnswer;
// The answers boxes take with nobody at a terminal (platform/phone/answers.h): the phone's queue,
// and this process's own, taken first (a front-end's script).
using phone_answers::clearProcessAnswers;
using phone_answers::queueAnswer;
using phone_answers::queueProcessAnswer;
struct MessageRecord {
    long long id;
    long long pid;
    std::string caption, text;
    UINT type;
    int answer;
};
// The recorded boxes, oldest first, from the one after `afterId`. Rows that cannot be read are
// left out, and the status is then that of the first (ERROR_BADDB).
LONG messages(std::vector<MessageRecord>* out, long long afterId = 0);
// The id of the latest recorded box, 0 when none.
LONG lastMessageId(long long* id);
LONG clearMessages();
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
LONG foregroundRequests(std::vector<ForegroundRequest>* out);
// Who a process is: its id and, because ids are handed out again, when it started. Empty when
// the process does not run (or has ended and only its exit status is left).
std::string processIdentity(long long pid);

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
// Every line device, by index. Rows that cannot be read are left out, and the status is then
// that of the first (ERROR_BADDB).
LONG lineDevices(std::vector<LineDevice>* out);
// One device; ERROR_BAD_UNIT when the phone has no such line.
LONG lineDevice(DWORD index, LineDevice* out);
// Each returns ERROR_BAD_UNIT when the device does not exist, ERROR_INVALID_PARAMETER when the
// value is out of range, else the store's status.
LONG setLineState(DWORD index, DWORD state); // 1-5
LONG setLineMedia(DWORD index, DWORD mediaModes);
LONG setLineRegistered(DWORD index, bool registered);
// A fault on one operation (line_rules::LineOperation): halfopen fails the open yet hands back a
// line that must still be closed; a failing close closes the line all the same.
LONG setLineFault(DWORD index, line_rules::LineOperation operation, LONG code); // code < 0
LONG healLine(DWORD index);
// Appends a device; registered when its state is full.
LONG addLine(const std::string& name, DWORD mediaModes, DWORD state, DWORD* index);
// Removes a device; the devices above it move down one index, with their faults.
LONG removeLine(DWORD index);
// The next `count` lineInitialize attempts answer LINEERR_REINIT; 0 clears.
LONG setReinitAttempts(DWORD count);
// lineInitialize answers LINEERR_REINIT for `ms` milliseconds of tick count, counted from the
// first attempt that sees it; 0 clears.
LONG setReinitMilliseconds(DWORD ms);
// Every lineInitialize answers `code` (< 0); 0 clears.
LONG setInitFault(LONG code);
struct TelephonyStatus {
    DWORD reinitAttempts = 0;
    DWORD reinitMilliseconds = 0;
    LONG initFault = 0;
    long long sessionsOpen = 0;          // sessions started and not shut down, by any process
    long long linesOpen = 0;             // lines opened and not closed, by any process
    long long linesClosedByShutdown = 0; // lines a lineShutdown had to close for its caller
};
LONG telephonyStatus(TelephonyStatus* out);
struct TelephonyHandle {
    long long pid;
    std::string kind; // "session" or "line"
    long long handle;
    long long device; // -1 for a session
};
LONG openTelephonyHandles(std::vector<TelephonyHandle>* out);
// Forgets open handles and the shutdown count (handles of live processes stay usable).
LONG clearTelephonyLeaks();
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
LONG telephonyCalls(std::vector<TelephonyCall>* out);
// The log entries of this process's calls that changed nothing wait for its next call that
// changes something; this writes them now (before a box is shown, say).
void writeWaitingCallEntries();
LONG clearTelephonyCalls();

// ---- Tick count ----
// In virtual time every GetTickCount call on the phone advances the count by `stepMs`,
// starting from `start` (or from where it stands); nullopt returns to the host's clock. A step
// of 0 is refused: a count that never moves would hang anything waiting on it.
LONG setVirtualTick(std::optional<DWORD> stepMs, std::optional<DWORD> start = std::nullopt);
// The step of virtual time, or nullopt when the tick count is the host's.
LONG virtualTickStep(std::optional<DWORD>* step);
// The tick count as GetTickCount would give it, without advancing virtual time.
DWORD peekTickCount();

// ---- Timed starts ----
// What CeRunAppAtTime keeps (platform/phone/timed_start.h): at most one pending start per
// executable path, a local time. pendingStarts lists them earliest first; takePendingStart takes
// one off as it fires, leaving a registration made since it was read.
using phone_timed_start::pendingStarts;
using phone_timed_start::takePendingStart;
using timed_start_state::PendingStart;
// The start pending for one path, or nullopt; the status as pendingStarts gives it.
LONG pendingStart(const std::string& path, std::optional<PendingStart>* out);
// Forgets every pending start; the store's status.
LONG clearPendingStarts();
// A registration the service refused: CeRunAppAtTime failed, with this last error. The latest
// hundred are kept, oldest first, from the one after `afterId`.
struct TimedStartRefusal {
    long long id;
    long long pid;
    std::string path;
    std::string at; // the time asked for, as given (it may be no time at all), or "" to cancel
    DWORD error;
};
LONG timedStartRefusals(std::vector<TimedStartRefusal>* out, long long afterId = 0);
// The id of the latest refusal, 0 when none.
LONG lastTimedStartRefusalId(long long* id);

// ---- Calendar (calendar.cpp) ----
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
