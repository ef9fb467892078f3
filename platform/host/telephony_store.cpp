// The simulated phone's telephony state (platform/phone/state.h) in its store: the line devices,
// the faults set on them, the knobs of lineInitialize as settings, a row per handle still open
// (so a leak outlives the process that made it) and the call log. A telephony call that can
// change the phone is one transaction; the log entries of calls that only read wait.
#include "telephony_store.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
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

bool tablesReady = false;

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
struct CallTransaction {
    phone_state::CallKind kind = phone_state::CallKind::Changes;
    bool open = false;
    bool changesLine = false; // the result reports a change of a line's state or registration
    std::map<uintptr_t, std::string> removedRecords; // handles whose records it removed, and kind
};
CallTransaction call;
CallTransaction* currentCall = nullptr;
int callDepth = 0; // a call made inside another belongs to the outer one's transaction

void rollBack() {
    sqlite3* db = store();
    if (db && !sqlite3_get_autocommit(db))
        execute("ROLLBACK");
}

using phone_state::CallEntry;

// The entry this process wrote last, and its row.
struct WrittenEntry {
    CallEntry entry;
    long long id = 0;
    bool known = false;
};
WrittenEntry lastWritten;

// Writes an entry; a repeat of the last call with the same arguments and result only raises
// its count. Only this process's own last entry can be repeated by it, so the log's last row is
// looked at only when the entry repeats that one; the row must then still be the last and hold
// that entry (the log may have been cleared, or the write rolled back, since).
void writeLogEntry(const CallEntry& e) {
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
std::vector<CallEntry> waitingEntries;
const size_t kMostWaitingEntries = 32;

// Takes the waiting entries to be written. A child process finds its parent's entries here:
// they are the parent's to write.
std::vector<CallEntry> takeWaitingEntries() {
    std::vector<CallEntry> taken;
    taken.swap(waitingEntries);
    if (taken.empty())
        return taken;
    const long long self = getpid();
    std::erase_if(taken, [self](const CallEntry& e) { return e.pid != self; });
    return taken;
}

void writeEntries(const std::vector<CallEntry>& entries) {
    for (const CallEntry& e : entries)
        writeLogEntry(e);
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

// Ends the current call and gives its result: a call that changes nothing lets its entry wait;
// any other writes the waiting entries and its own, and commits. Its result is the call's,
// unless the commit failed and took with it a change the result reports.
LONG logged(CallEntry entry) {
    LONG result = entry.result;
    if (currentCall->kind == phone_state::CallKind::ReadsOnly) {
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
    std::vector<CallEntry> carried = takeWaitingEntries();
    writeEntries(carried);
    writeLogEntry(entry);
    if (!currentCall->open)
        return result;
    currentCall->open = false;
    // A failed statement may already have rolled the transaction back (a full disk can).
    sqlite3* db = store();
    if (db && !sqlite3_get_autocommit(db) && execute("COMMIT") == ERROR_SUCCESS)
        return result;
    std::string why = storeProblem();
    rollBack();
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

enum DeviceColumn { DeviceIndex, DeviceName, DeviceMedia, DeviceState, DeviceRegistered };

const char* const kKnobSettings[] = {"telephony.init_fault", "telephony.reinit_attempts",
                                     "telephony.reinit_ms", "telephony.reinit_since",
                                     "telephony.closed_by_shutdown"};
struct KnobRange {
    long long lowest, highest;
};
const KnobRange kKnobRanges[] = {
    {INT32_MIN, 0}, {0, 0xFFFFFFFFll}, {0, 0xFFFFFFFFll}, {0, 0xFFFFFFFFll}, {0, INT64_MAX}};

} // namespace

LONG telephonyReady() {
    LONG status = ensureSchema("telephony", kSchema);
    tablesReady = status == ERROR_SUCCESS;
    static bool writtenAtClose =
        (whenStoreCloses(writeWaitingEntriesNow), std::atexit(writeWaitingEntriesNow) == 0);
    (void)writtenAtClose;
    return status;
}

// Writes the waiting entries in a transaction of their own, unless a call's transaction is
// open (its commit writes them).
void writeWaitingEntriesNow() {
    if (currentCall && currentCall->open)
        return;
    std::vector<CallEntry> carried = takeWaitingEntries();
    if (carried.empty())
        return;
    sqlite3* db = tablesReady ? store() : nullptr;
    bool open = db && sqlite3_get_autocommit(db) && execute("BEGIN IMMEDIATE") == ERROR_SUCCESS;
    writeEntries(carried);
    if (open && execute("COMMIT") != ERROR_SUCCESS) {
        rollBack();
        writeEntries(carried);
    }
}

void dropWaitingEntries() {
    std::erase_if(waitingEntries, [](const CallEntry& e) { return e.pid == getpid(); });
}

long long deviceCount() {
    long long count = 0;
    return queryInteger("SELECT COUNT(*) FROM line_devices", {}, &count) == ERROR_SUCCESS ? count
                                                                                          : -1;
}

LONG readDeviceRow(DWORD index, std::vector<Row>* rows) {
    LONG status = telephonyReady();
    if (status == ERROR_SUCCESS)
        status = execute("SELECT idx, name, media, state, registered FROM line_devices "
                         "WHERE idx = ?",
                         {Param::integer(index)}, rows);
    if (status == ERROR_SUCCESS && rows->empty())
        status = refuse(ERROR_BAD_UNIT, "the phone has no line " + std::to_string(index));
    return status;
}

LineDevice deviceFromRow(Row& r) {
    LineDevice d;
    d.index = r.dword(DeviceIndex);
    d.name = r.text(DeviceName);
    d.mediaModes = r.dword(DeviceMedia);
    d.equipmentState = r.dword(DeviceState);
    d.registered = r.integer(DeviceRegistered) != 0;
    return d;
}

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

LONG updateLine(DWORD index, const char* column, long long value) {
    LONG status = phone_state::findDevice(index);
    if (status != ERROR_SUCCESS)
        return status;
    std::string sql = std::string("UPDATE line_devices SET ") + column + " = ? WHERE idx = ?";
    return execute(sql.c_str(), {Param::integer(value), Param::integer(index)});
}

} // namespace host

using namespace host;

namespace phone_state {

const bool kUnreadableKnobFailsCall = true;

LONG ready() {
    return telephonyReady();
}

void beginCall(CallKind kind) {
    if (callDepth++ > 0)
        return;
    call = CallTransaction{};
    currentCall = &call;
    call.kind = kind;
    sqlite3* db = tablesReady ? store() : nullptr;
    call.open = db && sqlite3_get_autocommit(db) &&
                execute(kind == CallKind::Changes ? "BEGIN IMMEDIATE" : "BEGIN") == ERROR_SUCCESS;
}

void noteLineChange() {
    if (currentCall)
        currentCall->changesLine = true;
}

LONG endCall(const CallEntry& entry) {
    LONG result = logged(entry);
    if (--callDepth > 0)
        return result;
    // Every call ends by logging, which commits; a path that does not gives its writes up.
    if (call.open)
        rollBack();
    currentCall = nullptr;
    return result;
}

long long processId() {
    return getpid();
}

DWORD tickCount() {
    return peekTickCount();
}

LONG deviceCount(DWORD* count) {
    long long n = 0;
    LONG status = queryInteger("SELECT COUNT(*) FROM line_devices", {}, &n);
    if (status == ERROR_SUCCESS)
        *count = static_cast<DWORD>(n);
    return status;
}

LONG findDevice(DWORD index) {
    std::vector<Row> rows;
    return readDeviceRow(index, &rows);
}

LONG readDevice(DWORD index, DeviceValue which, DWORD* value) {
    std::vector<Row> rows;
    LONG status = readDeviceRow(index, &rows);
    if (status != ERROR_SUCCESS)
        return status;
    const DeviceColumn columns[] = {DeviceMedia, DeviceState, DeviceRegistered};
    DWORD read = rows[0].dword(columns[static_cast<int>(which)]);
    if (rows[0].status() == ERROR_SUCCESS)
        *value = read;
    return rows[0].status();
}

LONG readDeviceCaps(DWORD index, std::u16string* name, DWORD* mediaModes) {
    std::vector<Row> rows;
    LONG status = readDeviceRow(index, &rows);
    if (status != ERROR_SUCCESS)
        return status;
    std::string read = rows[0].text(DeviceName);
    DWORD media = rows[0].dword(DeviceMedia);
    if (rows[0].status() == ERROR_SUCCESS) {
        *name = fromUtf8(read);
        *mediaModes = media;
    }
    return rows[0].status();
}

LONG writeDevice(DWORD index, DeviceValue which, DWORD value) {
    const char* const columns[] = {"media", "state", "registered"};
    return updateLine(index, columns[static_cast<int>(which)], value);
}

LONG readFault(DWORD index, LineOperation operation, LONG* code) {
    std::vector<Row> rows;
    *code = 0;
    LONG status =
        execute("SELECT code FROM line_faults WHERE idx = ? AND operation = ?",
                {Param::integer(index), Param::str(line_rules::operationName(operation))}, &rows);
    if (status != ERROR_SUCCESS || rows.empty())
        return status;
    LONG value = rows[0].int32(0);
    if (rows[0].status() == ERROR_SUCCESS)
        *code = value;
    return rows[0].status();
}

LONG readKnob(Knob knob, std::optional<long long>* value) {
    const KnobRange& range = kKnobRanges[static_cast<int>(knob)];
    return numberSetting(kKnobSettings[static_cast<int>(knob)], value, range.lowest, range.highest);
}

LONG writeKnob(Knob knob, const std::optional<long long>& value) {
    return setSetting(kKnobSettings[static_cast<int>(knob)],
                      value ? std::optional<std::string>(std::to_string(*value)) : std::nullopt);
}

void recordHandle(uintptr_t handle, bool isLine, DWORD device) {
    retryUnrecordedCloses();
    execute("INSERT OR REPLACE INTO telephony_handles(pid, handle, kind, device) "
            "VALUES(?, ?, ?, ?)",
            {Param::integer(getpid()), Param::integer(static_cast<long long>(handle)),
             Param::str(isLine ? "line" : "session"),
             isLine ? Param::integer(device) : Param::null()});
}

void forgetHandle(uintptr_t handle, bool isLine) {
    retryUnrecordedCloses();
    const char* kind = isLine ? "line" : "session";
    if (!removeHandleRecord(handle, kind))
        noteUnrecordedClose(handle, kind);
}

} // namespace phone_state
