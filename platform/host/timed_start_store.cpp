// The timed-start service's state (platform/phone/timed_start.h) in the simulated phone's store:
// the table timed_starts (a path and its local time) and the table timed_start_refusals (what
// the service refused, numbered), and the refusals as the controls read them. A change that
// reads before it writes is a transaction.
#include "host.h"

#include "platform/phone/control_layer.h"

#include <sqlite3.h>

namespace host {
namespace {

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS timed_starts(path TEXT PRIMARY KEY, at TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS timed_start_refusals(
    id INTEGER PRIMARY KEY AUTOINCREMENT, pid INTEGER, path TEXT, at TEXT, error INTEGER);
)sql";

LONG ready() {
    return ensureSchema("timed_starts", kSchema);
}

// Whether the change under way opened the transaction itself (one opened by its caller is the
// caller's to end).
bool ownTransaction = false;
int changeDepth = 0;

} // namespace

} // namespace host

using namespace host;

namespace control {

LONG clearPendingStarts() {
    LONG status = ready();
    return status == ERROR_SUCCESS ? execute("DELETE FROM timed_starts") : status;
}

LONG refusals(std::vector<Refusal>* out, long long afterId) {
    std::vector<Row> rows;
    out->clear();
    LONG status = ready();
    if (status == ERROR_SUCCESS)
        status = execute("SELECT id, pid, path, at, error FROM timed_start_refusals "
                         "WHERE id > ? ORDER BY id",
                         {Param::integer(afterId)}, &rows);
    return collectRows(status, rows, out, [](Row& r) {
        return Refusal{r.integer(0), r.integer(1), r.text(2), r.text(3), r.dword(4)};
    });
}

LONG lastRefusalId(long long* id) {
    *id = 0;
    LONG status = ready();
    if (status != ERROR_SUCCESS)
        return status;
    return queryInteger("SELECT COALESCE(MAX(id), 0) FROM timed_start_refusals", {}, id);
}

} // namespace control

namespace control_layer {

// The store keeps a path as UTF-8.
std::string pathText(const timed_start_state::StoredPath& path) {
    return path;
}

timed_start_state::StoredPath storedPathOf(const std::string& path) {
    return path;
}

} // namespace control_layer

namespace timed_start_state {

StoredPath storedPath(LPCWSTR path) {
    return toUtf8(path);
}

LONG readStarts(std::vector<PendingStart>* out) {
    std::vector<Row> rows;
    LONG status = ready();
    if (status == ERROR_SUCCESS)
        status = execute("SELECT path, at FROM timed_starts", {}, &rows);
    return collectRows(status, rows, out, [](Row& r) {
        PendingStart p;
        p.path = r.text(0);
        // Every stored time passed the check on registration; one that is no time was put
        // there by hand, and is listed as it stands.
        p.text = r.text(1);
        return p;
    });
}

LONG readStart(const StoredPath& path, PendingStart* out) {
    std::vector<Row> rows;
    LONG status = ready();
    if (status == ERROR_SUCCESS)
        status = execute("SELECT at FROM timed_starts WHERE path = ?", {Param::str(path)}, &rows);
    if (status != ERROR_SUCCESS)
        return status;
    if (rows.empty())
        return ERROR_FILE_NOT_FOUND;
    out->path = path;
    out->text = rows[0].text(0);
    return rows[0].status();
}

LONG writeStart(const StoredPath& path, const std::string& text) {
    LONG status = ready();
    if (status != ERROR_SUCCESS)
        return status;
    return execute("INSERT INTO timed_starts(path, at) VALUES(?, ?) "
                   "ON CONFLICT(path) DO UPDATE SET at = excluded.at",
                   {Param::str(path), Param::str(text)});
}

LONG removeStart(const StoredPath& path) {
    LONG status = ready();
    if (status == ERROR_SUCCESS)
        status = execute("DELETE FROM timed_starts WHERE path = ?", {Param::str(path)});
    if (status == ERROR_SUCCESS && sqlite3_changes(store()) == 0)
        return ERROR_FILE_NOT_FOUND;
    return status;
}

LONG beginChange() {
    LONG status = ready();
    if (status != ERROR_SUCCESS)
        return status;
    if (changeDepth++ > 0)
        return ERROR_SUCCESS;
    ownTransaction = sqlite3_get_autocommit(store()) != 0;
    status = ownTransaction ? execute("BEGIN IMMEDIATE") : ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) {
        changeDepth = 0;
        ownTransaction = false;
    }
    return status;
}

LONG endChange(LONG status) {
    if (--changeDepth > 0 || !ownTransaction)
        return status;
    ownTransaction = false;
    if (status == ERROR_SUCCESS)
        status = execute("COMMIT");
    if (status != ERROR_SUCCESS) {
        std::string why = storeProblem();
        sqlite3* db = store();
        if (db && !sqlite3_get_autocommit(db))
            execute("ROLLBACK");
        refuse(status, why);
    }
    return status;
}

LONG appendRefusal(const Refusal& refusal, long long* id) {
    std::vector<Row> rows;
    LONG status = execute("INSERT INTO timed_start_refusals(pid, path, at, error) "
                          "VALUES(?, ?, ?, ?) RETURNING id",
                          {Param::integer(refusal.pid), Param::str(refusal.path),
                           Param::str(refusal.at), Param::integer(refusal.error)},
                          &rows);
    if (status != ERROR_SUCCESS)
        return status;
    *id = rows.at(0).integer(0);
    return rows[0].status();
}

LONG dropRefusalsUpTo(long long id) {
    return execute("DELETE FROM timed_start_refusals WHERE id <= ?", {Param::integer(id)});
}

} // namespace timed_start_state
