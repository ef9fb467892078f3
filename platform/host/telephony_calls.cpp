// A telephony call on the simulated phone as one unit: its transaction, its entry in the call log
// (the entries of calls that only read wait for the next that changes something) and the records
// of the handles it opens and closes, which outlive the process (platform/phone/state.h).
#include "telephony_store.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <unistd.h>

namespace host {
namespace {

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

} // namespace

void writeWaitingEntriesNow() {
    if (currentCall && currentCall->open)
        return;
    std::vector<CallEntry> carried = takeWaitingEntries();
    if (carried.empty())
        return;
    sqlite3* db = telephonyTablesReady() ? store() : nullptr;
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

} // namespace host

using namespace host;

namespace phone_state {

void beginCall(CallKind kind) {
    if (callDepth++ > 0)
        return;
    call = CallTransaction{};
    currentCall = &call;
    call.kind = kind;
    sqlite3* db = telephonyTablesReady() ? store() : nullptr;
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
