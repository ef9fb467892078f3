// The phone's telephony: TAPI sessions and lines over the line devices kept in the store, with
// the cellular extension's equipment state and network registration. Sessions and lines are
// handles of this process; the store keeps the devices (so the next process sees the radio as
// the last one left it), the faults set on them, a row per handle still open (so a leak
// outlives the process that made it) and a log of the calls made.
#include "host.h"
#include "win32_tapi.h"

#include "platform/line_rules.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <unistd.h>

namespace host {
namespace {

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS line_devices(
    idx INTEGER PRIMARY KEY, name TEXT NOT NULL, media INTEGER NOT NULL,
    state INTEGER NOT NULL, registered INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS line_faults(
    idx INTEGER NOT NULL, operation TEXT NOT NULL, code INTEGER NOT NULL,
    PRIMARY KEY(idx, operation));
CREATE TABLE IF NOT EXISTS telephony_handles(
    pid INTEGER NOT NULL, handle INTEGER NOT NULL, kind TEXT NOT NULL, device INTEGER,
    PRIMARY KEY(pid, handle));
-- A handle's record is kept by its key alone, so that opening or closing a handle writes one
-- page rather than a row's and its key's; the records are carried over.
CREATE TABLE telephony_handles_keyed(
    pid INTEGER NOT NULL, handle INTEGER NOT NULL, kind TEXT NOT NULL, device INTEGER,
    PRIMARY KEY(pid, handle)) WITHOUT ROWID;
INSERT INTO telephony_handles_keyed(pid, handle, kind, device)
    SELECT pid, handle, kind, device FROM telephony_handles;
DROP TABLE telephony_handles;
ALTER TABLE telephony_handles_keyed RENAME TO telephony_handles;
-- The call log keeps each call's arguments; the log of phones from before it had them goes.
DROP TABLE IF EXISTS telephony_calls;
CREATE TABLE IF NOT EXISTS telephony_call_log(
    id INTEGER PRIMARY KEY, pid INTEGER NOT NULL, call TEXT NOT NULL,
    device INTEGER, arguments TEXT NOT NULL, result INTEGER NOT NULL, count INTEGER NOT NULL);
-- Its entries are numbered by their row alone. The log was made with AUTOINCREMENT numbers,
-- which cost every entry a second page written (SQLite's record of the last number); such a
-- log is carried over, numbers and all, into one without.
CREATE TABLE telephony_call_log_rowid(
    id INTEGER PRIMARY KEY, pid INTEGER NOT NULL, call TEXT NOT NULL,
    device INTEGER, arguments TEXT NOT NULL, result INTEGER NOT NULL, count INTEGER NOT NULL);
INSERT INTO telephony_call_log_rowid(id, pid, call, device, arguments, result, count)
    SELECT id, pid, call, device, arguments, result, count FROM telephony_call_log;
DROP TABLE telephony_call_log;
ALTER TABLE telephony_call_log_rowid RENAME TO telephony_call_log;
-- A new phone: its cellular line (voice and data, radio on, registered) and a data-only line.
INSERT OR IGNORE INTO line_devices(idx, name, media, state, registered)
    SELECT 0, 'Cellular Line', 20, 5, 1
    WHERE NOT EXISTS (SELECT 1 FROM settings WHERE name = 'lines.seeded');
INSERT OR IGNORE INTO line_devices(idx, name, media, state, registered)
    SELECT 1, 'Cellular Data', 16, 5, 1
    WHERE NOT EXISTS (SELECT 1 FROM settings WHERE name = 'lines.seeded');
INSERT OR IGNORE INTO settings(name, value) VALUES('lines.seeded', '1');
)sql";

using line_rules::kHighestVersion;
using line_rules::kLowestVersion;
using line_rules::kOperations;
using line_rules::versionSupported;

struct Session {
    long long id;
};
struct Line {
    long long id;
    HLINEAPP app;
    DWORD device;
};
std::map<uintptr_t, Session> sessions;
std::map<uintptr_t, Line> lines;
// Handles of this process; never reused within it, so a stale one never becomes valid again.
uintptr_t nextHandle = 0x10000;

bool tablesReady = false;

void writeWaitingEntriesNow();

LONG ready() {
    LONG status = ensureSchema("telephony", kSchema);
    tablesReady = status == ERROR_SUCCESS;
    static bool writtenAtClose =
        (whenStoreCloses(writeWaitingEntriesNow), std::atexit(writeWaitingEntriesNow) == 0);
    (void)writtenAtClose;
    return status;
}

// A telephony call that can change the phone, once its telephony tables are set up, is one
// transaction: its reads, what it changes (a line's state, the records of the handles it opens
// and closes) and its entry in the call log, committed together as the call returns. A switch
// makes a dozen calls, and a commit for each statement of them was most of what it wrote. A
// change and the entry that records it are never apart, and a process killed in a call leaves
// neither. A call that changes nothing (negotiating a version, reading the capabilities or the
// equipment state) reads in a transaction of its own and commits nothing: its entry waits (see
// waitingEntries). Where no transaction can be had (a phone this process may not write, or one
// busy past the wait), the call's statements run one by one, each failing for itself, as they
// always did.
enum CallKind { Changes, ReadsOnly };
struct CallTransaction {
    CallKind kind = Changes;
    bool open = false;
    bool changesLine = false; // the result reports a change of a line's state or registration
    std::map<uintptr_t, std::string> removedRecords; // handles whose records it removed, and kind
};
CallTransaction* currentCall = nullptr;

class CallScope {
  public:
    explicit CallScope(CallKind kind) {
        if (currentCall)
            return; // a call made inside another belongs to the outer one's transaction
        currentCall = &call_;
        owner_ = true;
        call_.kind = kind;
        sqlite3* db = tablesReady ? store() : nullptr;
        call_.open = db && sqlite3_get_autocommit(db) &&
                     execute(kind == Changes ? "BEGIN IMMEDIATE" : "BEGIN") == ERROR_SUCCESS;
    }
    ~CallScope() {
        if (!owner_)
            return;
        // Every call ends by logging, which commits; a path that does not gives its writes up.
        if (call_.open)
            rollBack();
        currentCall = nullptr;
    }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

    static void rollBack() {
        sqlite3* db = store();
        if (db && !sqlite3_get_autocommit(db))
            execute("ROLLBACK");
    }

  private:
    CallTransaction call_;
    bool owner_ = false;
};

// The number of devices, or -1 when the store cannot say.
long long deviceCount() {
    long long count = 0;
    return queryInteger("SELECT COUNT(*) FROM line_devices", {}, &count) == ERROR_SUCCESS ? count
                                                                                          : -1;
}

// A device's row, with every column of line_devices in the order below: ERROR_SUCCESS with the
// row, ERROR_BAD_UNIT when the phone has no such line, else the store's status. Every look at
// one device is this one statement.
enum DeviceColumn { DeviceIndex, DeviceName, DeviceMedia, DeviceState, DeviceRegistered };
LONG readDevice(DWORD index, std::vector<Row>* rows) {
    LONG status = ready();
    if (status == ERROR_SUCCESS)
        status = execute("SELECT idx, name, media, state, registered FROM line_devices "
                         "WHERE idx = ?",
                         {Param::integer(index)}, rows);
    if (status == ERROR_SUCCESS && rows->empty())
        status = refuse(ERROR_BAD_UNIT, "the phone has no line " + std::to_string(index));
    return status;
}

// ERROR_SUCCESS when the device exists, ERROR_BAD_UNIT when it does not, else the store's status.
LONG findDevice(DWORD index) {
    std::vector<Row> rows;
    return readDevice(index, &rows);
}

// A device as the console lists it, faults aside; the row is left bad when a column is.
LineDevice deviceFromRow(Row& r) {
    LineDevice d;
    d.index = r.dword(DeviceIndex);
    d.name = r.text(DeviceName);
    d.mediaModes = r.dword(DeviceMedia);
    d.equipmentState = r.dword(DeviceState);
    d.registered = r.integer(DeviceRegistered) != 0;
    return d;
}

// The fault set on a device's operation, 0 when none. A fault the store holds but that cannot be
// read fails the call all the same.
LONG faultOf(DWORD device, const char* operation) {
    std::vector<Row> rows;
    if (execute("SELECT code FROM line_faults WHERE idx = ? AND operation = ?",
                {Param::integer(device), Param::str(operation)}, &rows) != ERROR_SUCCESS)
        return LINEERR_OPERATIONFAILED;
    if (rows.empty())
        return 0;
    LONG code = rows[0].int32(0);
    return rows[0].status() == ERROR_SUCCESS ? code : LINEERR_OPERATIONFAILED;
}

// One entry of the call log: a call, as many times in a row as `count`.
struct LogEntry {
    long long pid;
    std::string call;
    long long device; // -1 when the call is not about one device
    LONG result;
    std::string arguments;
    long long count;
    bool repeats(const LogEntry& e) const {
        return pid == e.pid && call == e.call && device == e.device && result == e.result &&
               arguments == e.arguments;
    }
};

// The entry this process wrote last, and its row.
struct WrittenEntry {
    LogEntry entry;
    long long id = 0;
    bool known = false;
};
WrittenEntry lastWritten;

// Writes an entry; a repeat of the last call with the same arguments and result only raises
// its count. Only this process's own last entry can be repeated by it, so the log's last row is
// looked at only when the entry repeats that one; the row must then still be the last and hold
// that entry (the log may have been cleared, or the write rolled back, since).
void writeLogEntry(const LogEntry& e) {
    sqlite3* db = store();
    if (lastWritten.known && lastWritten.entry.repeats(e) && db &&
        execute("UPDATE telephony_call_log SET count = count + ?1 WHERE id = ?2 AND pid = ?3 "
                "AND call = ?4 AND device IS ?5 AND arguments = ?6 AND result = ?7 "
                "AND id = (SELECT MAX(id) FROM telephony_call_log)",
                {Param::integer(e.count), Param::integer(lastWritten.id), Param::integer(e.pid),
                 Param::str(e.call), e.device < 0 ? Param::null() : Param::integer(e.device),
                 Param::str(e.arguments), Param::integer(e.result)}) == ERROR_SUCCESS &&
        sqlite3_changes(db) == 1)
        return;
    lastWritten.known =
        execute("INSERT INTO telephony_call_log(count, pid, call, device, arguments, result) "
                "VALUES(?, ?, ?, ?, ?, ?)",
                {Param::integer(e.count), Param::integer(e.pid), Param::str(e.call),
                 e.device < 0 ? Param::null() : Param::integer(e.device), Param::str(e.arguments),
                 Param::integer(e.result)}) == ERROR_SUCCESS;
    if (lastWritten.known) {
        lastWritten.entry = e;
        lastWritten.id = sqlite3_last_insert_rowid(db);
    }
}

// The entries of this process's calls that changed nothing, in order, not yet written. They are
// written with the next call that changes something (a session always ends with one), and
// before the process shows a box, reads the log or closes the phone. A process killed in
// between leaves them out: never a change, a handle's record, or the entry of a call that made
// a change. Repeats are counted as they wait, and no more than a few dozen wait: that many are
// written at once.
std::vector<LogEntry> waitingEntries;
const size_t kMostWaitingEntries = 32;

// Takes the waiting entries to be written. A child process finds its parent's entries here:
// they are the parent's to write.
std::vector<LogEntry> takeWaitingEntries() {
    std::vector<LogEntry> taken;
    taken.swap(waitingEntries);
    if (taken.empty())
        return taken;
    const long long self = getpid();
    std::erase_if(taken, [self](const LogEntry& e) { return e.pid != self; });
    return taken;
}

void writeEntries(const std::vector<LogEntry>& entries) {
    for (const LogEntry& e : entries)
        writeLogEntry(e);
}

void noteUnrecordedClose(uintptr_t handle, const std::string& kind);

// Ends the current call and gives its result: a call that changes nothing lets its entry wait;
// any other writes the waiting entries and its own, and commits. Its result is the call's,
// unless the commit failed and took with it a change the result reports.
LONG logged(const char* call, long long device, LONG result, const std::string& arguments = {}) {
    LogEntry entry{getpid(), call, device, result, arguments, 1};
    if (currentCall && currentCall->kind == ReadsOnly) {
        if (currentCall->open) {
            currentCall->open = false;
            execute("COMMIT"); // only ends the reading
        }
        if (!waitingEntries.empty() && waitingEntries.back().repeats(entry))
            ++waitingEntries.back().count;
        else
            waitingEntries.push_back(entry);
        if (waitingEntries.size() >= kMostWaitingEntries)
            writeWaitingEntriesNow();
        return result;
    }
    std::vector<LogEntry> carried = takeWaitingEntries();
    writeEntries(carried);
    writeLogEntry(entry);
    if (!currentCall || !currentCall->open)
        return result;
    currentCall->open = false;
    // A failed statement may already have rolled the transaction back (a full disk can).
    sqlite3* db = store();
    if (db && !sqlite3_get_autocommit(db) && execute("COMMIT") == ERROR_SUCCESS)
        return result;
    std::string why = storeProblem();
    CallScope::rollBack();
    // Nothing of the call stands: a handle whose record it removed is still recorded, and is
    // removed again later; a change it made to a line did not happen. The entries are written
    // one by one, as they would be without a transaction.
    for (const auto& [handle, kind] : currentCall->removedRecords)
        noteUnrecordedClose(handle, kind);
    if (currentCall->changesLine && result == 0)
        entry.result = result = LINEERR_OPERATIONFAILED;
    writeEntries(carried);
    writeLogEntry(entry);
    refuse(ERROR_CANTWRITE, why);
    return result;
}

// Writes the waiting entries in a transaction of their own, unless a call's transaction is
// open (its commit writes them).
void writeWaitingEntriesNow() {
    if (currentCall && currentCall->open)
        return;
    std::vector<LogEntry> carried = takeWaitingEntries();
    if (carried.empty())
        return;
    sqlite3* db = tablesReady ? store() : nullptr;
    bool open = db && sqlite3_get_autocommit(db) && execute("BEGIN IMMEDIATE") == ERROR_SUCCESS;
    writeEntries(carried);
    if (open && execute("COMMIT") != ERROR_SUCCESS) {
        CallScope::rollBack();
        writeEntries(carried);
    }
}

// Arguments as the call log shows them: "name=value" pairs, numbers in hex where they are bits
// or versions.
std::string hexArgument(const char* name, DWORD value, int digits = 0) {
    char text[48];
    std::snprintf(text, sizeof text, "%s=0x%0*X", name, digits, value);
    return text;
}

// Handles closed by this process whose record the store would not give up (a full disk, say).
// A record left standing would pass for a leak, so the removal is tried again as handles are
// opened and closed and as the process ends; what still stands then is said on standard error.
std::map<uintptr_t, std::string> unrecordedCloses;

bool removeHandleRecord(uintptr_t handle, const std::string& kind) {
    if (execute("DELETE FROM telephony_handles WHERE pid = ? AND handle = ?",
                {Param::integer(getpid()), Param::integer(static_cast<long long>(handle))}) !=
        ERROR_SUCCESS)
        return false;
    if (currentCall && currentCall->open)
        currentCall->removedRecords[handle] = kind;
    return true;
}

void retryUnrecordedCloses() {
    for (auto it = unrecordedCloses.begin(); it != unrecordedCloses.end();)
        it = removeHandleRecord(it->first, it->second) ? unrecordedCloses.erase(it) : std::next(it);
}

void sayUnrecordedCloses() {
    retryUnrecordedCloses();
    for (const auto& [handle, kind] : unrecordedCloses)
        std::fprintf(stderr,
                     "%s: the phone could not record that %s 0x%llx was closed (%s); "
                     "'velmora-phone telephony leaks' may still list it\n",
                     program_invocation_short_name, kind.c_str(),
                     static_cast<unsigned long long>(handle), oneLine(storeProblem()).c_str());
}

void noteUnrecordedClose(uintptr_t handle, const std::string& kind) {
    static bool sayAtExit = std::atexit(sayUnrecordedCloses) == 0;
    (void)sayAtExit;
    unrecordedCloses[handle] = kind;
}

uintptr_t newHandle(const char* kind, long long device) {
    retryUnrecordedCloses();
    uintptr_t handle = nextHandle;
    nextHandle += 4;
    execute("INSERT OR REPLACE INTO telephony_handles(pid, handle, kind, device) "
            "VALUES(?, ?, ?, ?)",
            {Param::integer(getpid()), Param::integer(static_cast<long long>(handle)),
             Param::str(kind), device < 0 ? Param::null() : Param::integer(device)});
    return handle;
}

void forgetHandle(uintptr_t handle, const char* kind) {
    retryUnrecordedCloses();
    if (!removeHandleRecord(handle, kind))
        noteUnrecordedClose(handle, kind);
}

Session* findSession(HLINEAPP app) {
    auto it = sessions.find(reinterpret_cast<uintptr_t>(app));
    return it == sessions.end() ? nullptr : &it->second;
}

Line* findLine(HLINE line) {
    auto it = lines.find(reinterpret_cast<uintptr_t>(line));
    return it == lines.end() ? nullptr : &it->second;
}

// The checks every call on a session and a device begins with.
LONG checkDevice(HLINEAPP app, DWORD device) {
    if (!findSession(app))
        return LINEERR_INVALAPPHANDLE;
    LONG status = findDevice(device);
    if (status == ERROR_BAD_UNIT)
        return LINEERR_BADDEVICEID;
    return status == ERROR_SUCCESS ? 0 : LINEERR_OPERATIONFAILED;
}

// One column of a device's row: a line's state or media modes, from 0 to 0xFFFFFFFF; nullopt
// when the device or that column cannot be read.
std::optional<DWORD> lineColumn(DWORD device, DeviceColumn column) {
    std::vector<Row> rows;
    if (readDevice(device, &rows) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD value = rows[0].dword(column);
    return rows[0].status() == ERROR_SUCCESS ? std::optional<DWORD>(value) : std::nullopt;
}

LONG updateLine(DWORD index, const char* column, long long value) {
    LONG status = findDevice(index);
    if (status != ERROR_SUCCESS)
        return status;
    std::string sql = std::string("UPDATE line_devices SET ") + column + " = ? WHERE idx = ?";
    return execute(sql.c_str(), {Param::integer(value), Param::integer(index)});
}

// A knob kept as a setting: a decimal number from lowest to highest, or nullopt when unset.
// A setting that holds anything else is ERROR_BADDB, as a bad row is.
LONG numberSetting(const char* name, std::optional<long long>* out, long long lowest,
                   long long highest) {
    std::optional<std::string> text;
    out->reset();
    LONG status = setting(name, &text);
    if (status != ERROR_SUCCESS || !text)
        return status;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text->c_str(), &end, 10);
    if (text->empty() || *end || errno || v < lowest || v > highest)
        return refuse(ERROR_BADDB, std::string("the phone's setting '") + name + "' holds '" +
                                       oneLine(*text) + "', where a number from " +
                                       std::to_string(lowest) + " to " + std::to_string(highest) +
                                       " belongs");
    *out = v;
    return ERROR_SUCCESS;
}

// Whether this lineInitialize attempt is to answer LINEERR_REINIT, consuming the knobs; the
// store's status when they cannot be read.
LONG answerReinit(bool* reinit) {
    *reinit = false;
    std::optional<long long> attempts, window, since;
    LONG status = numberSetting("telephony.reinit_attempts", &attempts, 0, 0xFFFFFFFFll);
    if (status == ERROR_SUCCESS)
        status = numberSetting("telephony.reinit_ms", &window, 0, 0xFFFFFFFFll);
    if (status == ERROR_SUCCESS)
        status = numberSetting("telephony.reinit_since", &since, 0, 0xFFFFFFFFll);
    if (status != ERROR_SUCCESS)
        return status;
    if (attempts.value_or(0) > 0) {
        *reinit = true;
        setSetting("telephony.reinit_attempts",
                   *attempts > 1 ? std::optional<std::string>(std::to_string(*attempts - 1))
                                 : std::nullopt);
    }
    if (window.value_or(0) > 0) {
        DWORD now = peekTickCount();
        if (!since) {
            since = now;
            setSetting("telephony.reinit_since", std::to_string(*since));
        }
        if (static_cast<DWORD>(now - static_cast<DWORD>(*since)) < static_cast<DWORD>(*window)) {
            *reinit = true;
        } else {
            setSetting("telephony.reinit_ms", std::nullopt);
            setSetting("telephony.reinit_since", std::nullopt);
        }
    }
    return ERROR_SUCCESS;
}

} // namespace

// ---- The phone's lines, for the console and tests ----

LONG lineDevices(std::vector<LineDevice>* out) {
    std::vector<Row> rows, faults;
    out->clear();
    LONG status = ready();
    if (status == ERROR_SUCCESS)
        status = execute("SELECT idx, name, media, state, registered FROM line_devices "
                         "ORDER BY idx",
                         {}, &rows);
    if (status == ERROR_SUCCESS)
        status = execute("SELECT idx, operation, code FROM line_faults ORDER BY idx, operation", {},
                         &faults);
    if (status != ERROR_SUCCESS)
        return status;
    struct Fault {
        long long device;
        std::string text;
    };
    std::vector<Fault> readable;
    status = collectRows(status, faults, &readable, [](Row& f) {
        long long device = f.integer(0);
        std::string operation = f.text(1);
        return Fault{device, operation + '=' + std::to_string(f.int32(2))};
    });
    return collectRows(status, rows, out, [&readable](Row& r) {
        LineDevice d = deviceFromRow(r);
        for (const Fault& f : readable) {
            if (f.device != d.index)
                continue;
            if (!d.faults.empty())
                d.faults += ',';
            d.faults += f.text;
        }
        if (d.faults.empty())
            d.faults.push_back('-');
        return d;
    });
}

LONG lineDevice(DWORD index, LineDevice* out) {
    std::vector<LineDevice> all;
    LONG status = lineDevices(&all);
    for (LineDevice& d : all)
        if (d.index == index) {
            *out = std::move(d);
            return ERROR_SUCCESS;
        }
    return status != ERROR_SUCCESS
               ? status
               : refuse(ERROR_BAD_UNIT, "the phone has no line " + std::to_string(index));
}

const std::vector<std::string>& lineOperations() {
    return kOperations;
}

bool isLineOperation(std::string_view name) {
    return std::find(kOperations.begin(), kOperations.end(), name) != kOperations.end();
}

LONG setLineState(DWORD index, DWORD state) {
    if (state < LINEEQUIPSTATE_MINIMUM || state > LINEEQUIPSTATE_FULL)
        return refuse(ERROR_INVALID_PARAMETER, "an equipment state is 1 to 5");
    return updateLine(index, "state", state);
}

LONG setLineMedia(DWORD index, DWORD mediaModes) {
    return updateLine(index, "media", mediaModes);
}

LONG setLineRegistered(DWORD index, bool registered) {
    return updateLine(index, "registered", registered ? 1 : 0);
}

LONG setLineFault(DWORD index, const std::string& operation, LONG code) {
    if (code >= 0 || !isLineOperation(operation))
        return refuse(ERROR_INVALID_PARAMETER, "a fault is a failing code on a known operation");
    LONG status = findDevice(index);
    if (status != ERROR_SUCCESS)
        return status;
    return execute("INSERT OR REPLACE INTO line_faults(idx, operation, code) VALUES(?, ?, ?)",
                   {Param::integer(index), Param::str(operation), Param::integer(code)});
}

LONG healLine(DWORD index) {
    LONG status = findDevice(index);
    if (status != ERROR_SUCCESS)
        return status;
    return execute("DELETE FROM line_faults WHERE idx = ?", {Param::integer(index)});
}

LONG addLine(const std::string& name, DWORD mediaModes, DWORD state, DWORD* index) {
    if (state < LINEEQUIPSTATE_MINIMUM || state > LINEEQUIPSTATE_FULL || name.empty())
        return refuse(ERROR_INVALID_PARAMETER, "a line needs a name and a state from 1 to 5");
    std::vector<Row> rows;
    LONG status = ready();
    if (status == ERROR_SUCCESS)
        status = execute("INSERT INTO line_devices(idx, name, media, state, registered) "
                         "SELECT COALESCE(MAX(idx) + 1, 0), ?, ?, ?, ? FROM line_devices "
                         "RETURNING idx",
                         {Param::str(name), Param::integer(mediaModes), Param::integer(state),
                          Param::integer(state == LINEEQUIPSTATE_FULL ? 1 : 0)},
                         &rows);
    if (status != ERROR_SUCCESS)
        return status;
    *index = rows.at(0).dword(0);
    return rows[0].status();
}

LONG removeLine(DWORD index) {
    LONG status = findDevice(index);
    if (status != ERROR_SUCCESS)
        return status;
    // Device ids stay 0..count-1: the devices above move down one. Shifting upwards in
    // descending order would collide, so the rows are moved one by one in ascending order.
    status = execute("BEGIN IMMEDIATE");
    if (status != ERROR_SUCCESS)
        return status;
    status = execute("DELETE FROM line_devices WHERE idx = ?", {Param::integer(index)});
    if (status == ERROR_SUCCESS)
        status = execute("DELETE FROM line_faults WHERE idx = ?", {Param::integer(index)});
    long long count = status == ERROR_SUCCESS ? deviceCount() : -1;
    for (long long i = index + 1; status == ERROR_SUCCESS && i <= count; ++i) {
        status =
            execute("UPDATE line_devices SET idx = idx - 1 WHERE idx = ?", {Param::integer(i)});
        if (status == ERROR_SUCCESS)
            status =
                execute("UPDATE line_faults SET idx = idx - 1 WHERE idx = ?", {Param::integer(i)});
    }
    if (status == ERROR_SUCCESS)
        status = execute("COMMIT");
    if (status != ERROR_SUCCESS) {
        std::string why = storeProblem();
        execute("ROLLBACK");
        refuse(status, why);
    }
    return status;
}

LONG setReinitAttempts(DWORD count) {
    return setSetting("telephony.reinit_attempts",
                      count ? std::optional<std::string>(std::to_string(count)) : std::nullopt);
}

LONG setReinitMilliseconds(DWORD ms) {
    LONG status = setSetting("telephony.reinit_since", std::nullopt);
    if (status != ERROR_SUCCESS)
        return status;
    return setSetting("telephony.reinit_ms",
                      ms ? std::optional<std::string>(std::to_string(ms)) : std::nullopt);
}

LONG setInitFault(LONG code) {
    if (code > 0)
        return refuse(ERROR_INVALID_PARAMETER, "a failing lineInitialize answers a negative code");
    return setSetting("telephony.init_fault",
                      code ? std::optional<std::string>(std::to_string(code)) : std::nullopt);
}

LONG telephonyStatus(TelephonyStatus* out) {
    TelephonyStatus s;
    std::optional<long long> attempts, ms, fault, closed;
    LONG status = numberSetting("telephony.reinit_attempts", &attempts, 0, 0xFFFFFFFFll);
    if (status == ERROR_SUCCESS)
        status = numberSetting("telephony.reinit_ms", &ms, 0, 0xFFFFFFFFll);
    if (status == ERROR_SUCCESS)
        status = numberSetting("telephony.init_fault", &fault, INT32_MIN, 0);
    if (status == ERROR_SUCCESS)
        status = numberSetting("telephony.closed_by_shutdown", &closed, 0, INT64_MAX);
    std::vector<Row> rows;
    if (status == ERROR_SUCCESS)
        status = ready();
    if (status == ERROR_SUCCESS)
        status = execute("SELECT kind, COUNT(*) FROM telephony_handles GROUP BY kind", {}, &rows);
    s.reinitAttempts = static_cast<DWORD>(attempts.value_or(0));
    s.reinitMilliseconds = static_cast<DWORD>(ms.value_or(0));
    s.initFault = static_cast<LONG>(fault.value_or(0));
    s.linesClosedByShutdown = closed.value_or(0);
    for (Row& r : rows) {
        std::string kind = r.text(0);
        long long count = r.integer(1);
        if (r.status() != ERROR_SUCCESS)
            status = r.status();
        else
            (kind == "session" ? s.sessionsOpen : s.linesOpen) += count;
    }
    *out = s;
    return status;
}

LONG openTelephonyHandles(std::vector<TelephonyHandle>* out) {
    std::vector<Row> rows;
    out->clear();
    LONG status = ready();
    if (status == ERROR_SUCCESS)
        status = execute("SELECT pid, kind, handle, device FROM telephony_handles "
                         "ORDER BY pid, handle",
                         {}, &rows);
    return collectRows(status, rows, out, [](Row& r) {
        return TelephonyHandle{r.integer(0), r.text(1), r.integer(2),
                               r.integerOrNull(3).value_or(-1)};
    });
}

LONG clearTelephonyLeaks() {
    LONG status = ready();
    if (status == ERROR_SUCCESS)
        status = execute("DELETE FROM telephony_handles");
    if (status == ERROR_SUCCESS)
        status = setSetting("telephony.closed_by_shutdown", std::nullopt);
    return status;
}

void writeWaitingCallEntries() {
    writeWaitingEntriesNow();
}

LONG telephonyCalls(std::vector<TelephonyCall>* out) {
    std::vector<Row> rows;
    out->clear();
    writeWaitingEntriesNow();
    LONG status = ready();
    if (status == ERROR_SUCCESS)
        status = execute("SELECT pid, call, device, result, count, arguments "
                         "FROM telephony_call_log ORDER BY id",
                         {}, &rows);
    return collectRows(status, rows, out, [](Row& r) {
        return TelephonyCall{r.integer(0), r.text(1),    r.integerOrNull(2).value_or(-1),
                             r.int32(3),   r.integer(4), r.text(5)};
    });
}

LONG clearTelephonyCalls() {
    // What waits was called before the log is cleared.
    std::erase_if(waitingEntries, [](const LogEntry& e) { return e.pid == getpid(); });
    LONG status = ready();
    return status == ERROR_SUCCESS ? execute("DELETE FROM telephony_call_log") : status;
}

namespace {
struct ResultName {
    LONG code;
    const char* name;
};
const ResultName kResultNames[] = {
    {LINEERR_ALLOCATED, "LINEERR_ALLOCATED"},
    {LINEERR_BADDEVICEID, "LINEERR_BADDEVICEID"},
    {LINEERR_INCOMPATIBLEAPIVERSION, "LINEERR_INCOMPATIBLEAPIVERSION"},
    {LINEERR_INCOMPATIBLEEXTVERSION, "LINEERR_INCOMPATIBLEEXTVERSION"},
    {LINEERR_INUSE, "LINEERR_INUSE"},
    {LINEERR_INVALAPPHANDLE, "LINEERR_INVALAPPHANDLE"},
    {LINEERR_INVALAPPNAME, "LINEERR_INVALAPPNAME"},
    {LINEERR_INVALEXTVERSION, "LINEERR_INVALEXTVERSION"},
    {LINEERR_INVALLINEHANDLE, "LINEERR_INVALLINEHANDLE"},
    {LINEERR_INVALMEDIAMODE, "LINEERR_INVALMEDIAMODE"},
    {LINEERR_INVALPARAM, "LINEERR_INVALPARAM"},
    {LINEERR_INVALPOINTER, "LINEERR_INVALPOINTER"},
    {LINEERR_INVALPRIVSELECT, "LINEERR_INVALPRIVSELECT"},
    {LINEERR_NODEVICE, "LINEERR_NODEVICE"},
    {LINEERR_NODRIVER, "LINEERR_NODRIVER"},
    {LINEERR_NOMEM, "LINEERR_NOMEM"},
    {LINEERR_NOTOWNER, "LINEERR_NOTOWNER"},
    {LINEERR_NOTREGISTERED, "LINEERR_NOTREGISTERED"},
    {LINEERR_OPERATIONFAILED, "LINEERR_OPERATIONFAILED"},
    {LINEERR_OPERATIONUNAVAIL, "LINEERR_OPERATIONUNAVAIL"},
    {LINEERR_RESOURCEUNAVAIL, "LINEERR_RESOURCEUNAVAIL"},
    {LINEERR_STRUCTURETOOSMALL, "LINEERR_STRUCTURETOOSMALL"},
    {LINEERR_UNINITIALIZED, "LINEERR_UNINITIALIZED"},
    {LINEERR_REINIT, "LINEERR_REINIT"},
};
} // namespace

bool parseLineResult(std::string_view text, LONG* out) {
    for (const ResultName& r : kResultNames)
        if (text == r.name) {
            *out = r.code;
            return true;
        }
    std::string s(text);
    if (s.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        unsigned long long v = std::strtoull(s.c_str() + 2, &end, 16);
        if (*end || errno || v > 0xFFFFFFFFull || s[2] == '-' || s[2] == '+')
            return false;
        *out = static_cast<LONG>(static_cast<DWORD>(v));
        return true;
    }
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (*end || errno || v < INT32_MIN || v > INT32_MAX)
        return false;
    *out = static_cast<LONG>(v);
    return true;
}

} // namespace host

using namespace host;

// ---- TAPI ----

LONG WINAPI lineInitialize(LPHLINEAPP lphLineApp, HINSTANCE, LINECALLBACK lpfnCallback, LPCWSTR,
                           LPDWORD lpdwNumDevs) {
    if (ready() != ERROR_SUCCESS)
        return LINEERR_NODRIVER;
    CallScope scope(Changes);
    if (!lphLineApp || !lpfnCallback || !lpdwNumDevs)
        return logged("lineInitialize", -1, LINEERR_INVALPOINTER);
    std::optional<long long> fault;
    bool reinit = false;
    if (numberSetting("telephony.init_fault", &fault, INT32_MIN, 0) != ERROR_SUCCESS ||
        answerReinit(&reinit) != ERROR_SUCCESS)
        return logged("lineInitialize", -1, LINEERR_OPERATIONFAILED);
    if (fault.value_or(0) < 0)
        return logged("lineInitialize", -1, static_cast<LONG>(*fault));
    if (reinit)
        return logged("lineInitialize", -1, LINEERR_REINIT);
    long long count = deviceCount();
    if (count < 0)
        return logged("lineInitialize", -1, LINEERR_OPERATIONFAILED);
    uintptr_t handle = newHandle("session", -1);
    sessions[handle] = Session{static_cast<long long>(handle)};
    *lphLineApp = reinterpret_cast<HLINEAPP>(handle);
    *lpdwNumDevs = static_cast<DWORD>(count);
    return logged("lineInitialize", -1, 0);
}

LONG WINAPI lineShutdown(HLINEAPP hLineApp) {
    CallScope scope(Changes);
    if (!findSession(hLineApp))
        return logged("lineShutdown", -1, LINEERR_INVALAPPHANDLE);
    // Lines the caller left open are closed with the session, and counted as its leak.
    long long orphans = 0;
    for (auto it = lines.begin(); it != lines.end();) {
        if (it->second.app != hLineApp) {
            ++it;
            continue;
        }
        forgetHandle(it->first, "line");
        it = lines.erase(it);
        ++orphans;
    }
    if (orphans) {
        std::optional<long long> before;
        numberSetting("telephony.closed_by_shutdown", &before, 0, INT64_MAX);
        setSetting("telephony.closed_by_shutdown", std::to_string(before.value_or(0) + orphans));
    }
    forgetHandle(reinterpret_cast<uintptr_t>(hLineApp), "session");
    sessions.erase(reinterpret_cast<uintptr_t>(hLineApp));
    return logged("lineShutdown", -1, 0);
}

LONG WINAPI lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                                    DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                                    LPLINEEXTENSIONID lpExtensionID) {
    CallScope scope(ReadsOnly);
    const char* call = "lineNegotiateAPIVersion";
    const std::string args =
        hexArgument("low", dwAPILowVersion, 8) + " " + hexArgument("high", dwAPIHighVersion, 8);
    if (LONG bad = checkDevice(hLineApp, dwDeviceID))
        return logged(call, dwDeviceID, bad, args);
    if (!lpdwAPIVersion || !lpExtensionID)
        return logged(call, dwDeviceID, LINEERR_INVALPOINTER, args);
    if (dwAPILowVersion > dwAPIHighVersion || dwAPIHighVersion < kLowestVersion ||
        dwAPILowVersion > kHighestVersion)
        return logged(call, dwDeviceID, LINEERR_INCOMPATIBLEAPIVERSION, args);
    if (LONG fault = faultOf(dwDeviceID, "negotiate"))
        return logged(call, dwDeviceID, fault, args);
    *lpdwAPIVersion = std::min(dwAPIHighVersion, kHighestVersion);
    std::memset(lpExtensionID, 0, sizeof *lpExtensionID);
    return logged(call, dwDeviceID, 0, args);
}

LONG WINAPI lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                           DWORD dwExtVersion, LPLINEDEVCAPS lpLineDevCaps) {
    CallScope scope(ReadsOnly);
    const char* call = "lineGetDevCaps";
    const std::string args =
        hexArgument("api", dwAPIVersion, 8) + " " + hexArgument("ext", dwExtVersion, 8);
    if (LONG bad = checkDevice(hLineApp, dwDeviceID))
        return logged(call, dwDeviceID, bad, args);
    if (!lpLineDevCaps)
        return logged(call, dwDeviceID, LINEERR_INVALPOINTER, args);
    if (!versionSupported(dwAPIVersion))
        return logged(call, dwDeviceID, LINEERR_INCOMPATIBLEAPIVERSION, args);
    if (dwExtVersion != 0)
        return logged(call, dwDeviceID, LINEERR_INCOMPATIBLEEXTVERSION, args);
    if (LONG fault = faultOf(dwDeviceID, "devcaps"))
        return logged(call, dwDeviceID, fault, args);
    DWORD fixed = line_rules::devCapsFixedSize(dwAPIVersion);
    DWORD total = lpLineDevCaps->dwTotalSize;
    if (total < fixed)
        return logged(call, dwDeviceID, LINEERR_STRUCTURETOOSMALL, args);
    std::vector<Row> rows;
    LineDevice device;
    if (readDevice(dwDeviceID, &rows) == ERROR_SUCCESS)
        device = deviceFromRow(rows[0]);
    if (rows.empty() || rows[0].status() != ERROR_SUCCESS)
        return logged(call, dwDeviceID, LINEERR_NODEVICE, args);

    std::u16string name = fromUtf8(device.name);
    line_rules::fillDevCaps(lpLineDevCaps, fixed, dwDeviceID, name.c_str(), name.size(),
                            device.mediaModes);
    return logged(call, dwDeviceID, 0, args);
}

LONG WINAPI lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
                     DWORD dwExtVersion, DWORD_PTR, DWORD dwPrivileges, DWORD dwMediaModes,
                     LPLINECALLPARAMS const) {
    CallScope scope(Changes);
    const char* call = "lineOpen";
    const std::string args =
        hexArgument("api", dwAPIVersion, 8) + " " + hexArgument("ext", dwExtVersion, 8) + " " +
        hexArgument("privileges", dwPrivileges) + " " + hexArgument("media", dwMediaModes);
    if (LONG bad = checkDevice(hLineApp, dwDeviceID))
        return logged(call, dwDeviceID, bad, args);
    if (!lphLine)
        return logged(call, dwDeviceID, LINEERR_INVALPOINTER, args);
    if (!versionSupported(dwAPIVersion))
        return logged(call, dwDeviceID, LINEERR_INCOMPATIBLEAPIVERSION, args);
    if (dwExtVersion != 0)
        return logged(call, dwDeviceID, LINEERR_INCOMPATIBLEEXTVERSION, args);
    const DWORD privileges =
        LINECALLPRIVILEGE_NONE | LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER;
    if (!dwPrivileges || (dwPrivileges & ~privileges) ||
        ((dwPrivileges & LINECALLPRIVILEGE_NONE) && dwPrivileges != LINECALLPRIVILEGE_NONE))
        return logged(call, dwDeviceID, LINEERR_INVALPRIVSELECT, args);
    if (dwPrivileges & LINECALLPRIVILEGE_OWNER) {
        // An owner must name media modes, and only ones the device has.
        std::optional<DWORD> media = lineColumn(dwDeviceID, DeviceMedia);
        if (!dwMediaModes || (dwMediaModes & ~line_rules::kKnownMediaModes) || !media ||
            (dwMediaModes & ~*media))
            return logged(call, dwDeviceID, LINEERR_INVALMEDIAMODE, args);
    }
    if (LONG fault = faultOf(dwDeviceID, "open"))
        return logged(call, dwDeviceID, fault, args);
    LONG halfOpen = faultOf(dwDeviceID, "halfopen");
    uintptr_t handle = newHandle("line", dwDeviceID);
    lines[handle] = Line{static_cast<long long>(handle), hLineApp, dwDeviceID};
    *lphLine = reinterpret_cast<HLINE>(handle);
    return logged(call, dwDeviceID, halfOpen, args);
}

LONG WINAPI lineClose(HLINE hLine) {
    CallScope scope(Changes);
    Line* line = findLine(hLine);
    if (!line)
        return logged("lineClose", -1, LINEERR_INVALLINEHANDLE);
    DWORD device = line->device;
    forgetHandle(reinterpret_cast<uintptr_t>(hLine), "line");
    lines.erase(reinterpret_cast<uintptr_t>(hLine));
    // A failing close still releases the line: nothing the caller could do would free it.
    return logged("lineClose", device, faultOf(device, "close"));
}

LONG WINAPI lineGetEquipmentState(HLINE hLine, LPDWORD lpdwState, LPDWORD lpdwRadioSupport) {
    CallScope scope(ReadsOnly);
    const char* call = "lineGetEquipmentState";
    Line* line = findLine(hLine);
    if (!line)
        return logged(call, -1, LINEERR_INVALLINEHANDLE);
    if (!lpdwState || !lpdwRadioSupport)
        return logged(call, line->device, LINEERR_INVALPOINTER);
    if (LONG fault = faultOf(line->device, "getstate"))
        return logged(call, line->device, fault);
    std::optional<DWORD> state = lineColumn(line->device, DeviceState);
    if (!state)
        return logged(call, line->device, LINEERR_NODEVICE);
    *lpdwState = *state;
    *lpdwRadioSupport = LINERADIOSUPPORT_ON;
    return logged(call, line->device, 0);
}

LONG WINAPI lineSetEquipmentState(HLINE hLine, DWORD dwState) {
    CallScope scope(Changes);
    const char* call = "lineSetEquipmentState";
    const std::string args = "state=" + std::to_string(dwState);
    Line* line = findLine(hLine);
    if (!line)
        return logged(call, -1, LINEERR_INVALLINEHANDLE, args);
    if (dwState < LINEEQUIPSTATE_MINIMUM || dwState > LINEEQUIPSTATE_FULL)
        return logged(call, line->device, LINEERR_INVALPARAM, args);
    if (LONG fault = faultOf(line->device, "setstate"))
        return logged(call, line->device, fault, args);
    currentCall->changesLine = true;
    if (setLineState(line->device, dwState) != ERROR_SUCCESS)
        return logged(call, line->device, LINEERR_OPERATIONFAILED, args);
    return logged(call, line->device, 0, args);
}

LONG WINAPI lineRegister(HLINE hLine, DWORD dwRegisterMode, LPCWSTR lpszOperator,
                         DWORD dwOperatorFormat) {
    CallScope scope(Changes);
    const char* call = "lineRegister";
    const std::string args = "mode=" + std::to_string(dwRegisterMode) + " operator=" +
                             (lpszOperator ? oneLine(toUtf8(lpszOperator)) : std::string("-")) +
                             " format=" + std::to_string(dwOperatorFormat);
    Line* line = findLine(hLine);
    if (!line)
        return logged(call, -1, LINEERR_INVALLINEHANDLE, args);
    if (dwRegisterMode < LINEREGMODE_AUTOMATIC || dwRegisterMode > LINEREGMODE_MANAUTO)
        return logged(call, line->device, LINEERR_INVALPARAM, args);
    // Choosing the network by hand needs the operator's name in a known format.
    if (dwRegisterMode != LINEREGMODE_AUTOMATIC &&
        (!lpszOperator ||
         (dwOperatorFormat != LINEOPFORMAT_ALPHASHORT &&
          dwOperatorFormat != LINEOPFORMAT_ALPHALONG && dwOperatorFormat != LINEOPFORMAT_NUMERIC)))
        return logged(call, line->device, LINEERR_INVALPARAM, args);
    if (LONG fault = faultOf(line->device, "register"))
        return logged(call, line->device, fault, args);
    currentCall->changesLine = true;
    if (setLineRegistered(line->device, true) != ERROR_SUCCESS)
        return logged(call, line->device, LINEERR_OPERATIONFAILED, args);
    return logged(call, line->device, 0, args);
}

LONG WINAPI lineUnregister(HLINE hLine) {
    CallScope scope(Changes);
    const char* call = "lineUnregister";
    Line* line = findLine(hLine);
    if (!line)
        return logged(call, -1, LINEERR_INVALLINEHANDLE);
    if (LONG fault = faultOf(line->device, "unregister"))
        return logged(call, line->device, fault);
    currentCall->changesLine = true;
    if (setLineRegistered(line->device, false) != ERROR_SUCCESS)
        return logged(call, line->device, LINEERR_OPERATIONFAILED);
    return logged(call, line->device, 0);
}
