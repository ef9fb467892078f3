// The simulated phone's telephony state (platform/phone/state.h) in its store: the line devices,
// the faults set on them and the knobs of lineInitialize as settings. A telephony call that can
// change the phone is one transaction, with its entry in the call log (telephony_calls.cpp).
#include "telephony_store.h"

#include <sqlite3.h>

#include <cstdlib>
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
bool telephonyTablesReady() {
    return tablesReady;
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

control::LineDevice deviceFromRow(Row& r) {
    control::LineDevice d;
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

long long processId() {
    return getpid();
}

DWORD tickCount() {
    return control::peekTickCount();
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

} // namespace phone_state
