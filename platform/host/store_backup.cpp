// Backups of the phone. Between processes its latest state lives in phone.db-wal, so a copy of
// phone.db alone is stale or damaged; a backup is taken by SQLite's online backup instead, as of
// one moment while other processes go on, into one self-contained file. A restore checks the
// file first and then writes it into the phone as one transaction of the phone's own, through
// its WAL, so that every process sees either the old state or the restored one whole.
#include "store_internals.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace host {
namespace {

// A connection to a file that is not the phone; closed with its owner.
struct Connection {
    sqlite3* db = nullptr;
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { close(); }
    void close() {
        sqlite3_close(db);
        db = nullptr;
    }
};

LONG openFile(const std::string& path, int flags, Connection* out) {
    // "./" keeps a relative name from being read as ":memory:" or a URI.
    std::string file = path[0] == '/' ? path : "./" + path;
    int rc = sqlite3_open_v2(file.c_str(), &out->db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK)
        return refuse(statusFromSqlite(rc), "cannot open '" + path + "': " + sqlite3_errstr(rc));
    sqlite3_busy_timeout(out->db, 10000);
    return ERROR_SUCCESS;
}

// The first column of a statement's first row, as text.
LONG firstText(sqlite3* db, const char* sql, std::string* text) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    if (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const unsigned char* first = sqlite3_column_text(stmt, 0);
        *text = first ? reinterpret_cast<const char*>(first) : "";
        rc = SQLITE_OK;
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_OK ? ERROR_SUCCESS : refuse(statusFromSqlite(rc), sqlite3_errmsg(db));
}

// Every page of `from` into `to` in one step, so that the copy is of one moment; `to` keeps the
// reason of a failure.
LONG copyPages(sqlite3* to, sqlite3* from) {
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    if (!backup)
        return sqliteFailure(to, sqlite3_errcode(to));
    int rc = sqlite3_backup_step(backup, -1);
    int finished = sqlite3_backup_finish(backup);
    if (rc == SQLITE_DONE)
        rc = finished;
    return rc == SQLITE_OK ? ERROR_SUCCESS : sqliteFailure(to, rc);
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first, second;
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// Whether the open file is a backup this build can restore: undamaged, with the phone's own
// tables, of this schema version or an earlier one.
LONG checkBackup(sqlite3* db, const std::string& path) {
    std::string answer;
    LONG status = firstText(db, "PRAGMA quick_check", &answer);
    if (status != ERROR_SUCCESS)
        return refuse(status,
                      "'" + path + "' cannot be read as a phone's backup: " + storeProblem());
    if (answer != "ok")
        return refuse(ERROR_BADDB, "'" + path + "' is damaged: " + answer);
    status = firstText(db,
                       "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                       "('settings', 'registry_keys', 'registry_values')",
                       &answer);
    std::string version;
    if (status == ERROR_SUCCESS)
        status = firstText(db, "PRAGMA user_version", &version);
    if (status != ERROR_SUCCESS)
        return status;
    if (answer != "3" || std::stoi(version) < 1)
        return refuse(ERROR_BADDB, "'" + path + "' is not a phone's backup");
    if (std::stoi(version) > storeSchemaVersion())
        return refuse(ERROR_REVISION_MISMATCH,
                      "the backup is of version " + version + "; this program knows version " +
                          std::to_string(storeSchemaVersion()) + " and earlier");
    return ERROR_SUCCESS;
}

// The phone's WAL takes only pages of the phone's own size: a backup of a phone with other
// pages (an older one) is first rewritten with the phone's, into `scratch`, and read from there.
LONG matchPageSize(sqlite3* phone, Connection* backup, const std::string& scratch) {
    std::string want, have;
    LONG status = firstText(phone, "PRAGMA page_size", &want);
    if (status == ERROR_SUCCESS)
        status = firstText(backup->db, "PRAGMA page_size", &have);
    if (status != ERROR_SUCCESS || want == have)
        return status;
    sqlite3_exec(backup->db, ("PRAGMA page_size = " + want).c_str(), nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(backup->db, "VACUUM INTO ?", -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, scratch.c_str(), -1, SQLITE_TRANSIENT);
        rc = sqlite3_step(stmt);
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
        return sqliteFailure(backup->db, rc);
    backup->close();
    return openFile(scratch, SQLITE_OPEN_READONLY, backup);
}

} // namespace

LONG backupStore(const std::string& file) {
    LONG status = ERROR_SUCCESS;
    sqlite3* phone = store(&status);
    if (!phone)
        return status;
    if (sameFile(file, storePath()))
        return refuse(ERROR_INVALID_PARAMETER, "a backup needs a file other than the phone");
    // Written beside its place and moved there whole: a backup cut short leaves nothing.
    const std::string partial = file + ".partial";
    std::remove(partial.c_str());
    {
        Connection copy;
        status = openFile(partial, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &copy);
        if (status == ERROR_SUCCESS)
            status = copyPages(copy.db, phone);
        // The copy says it is in WAL mode, as the phone is; back in rollback mode it is one file
        // that opens without a WAL beside it.
        if (status == ERROR_SUCCESS) {
            int rc =
                sqlite3_exec(copy.db, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK)
                status = sqliteFailure(copy.db, rc);
        }
    }
    if (status == ERROR_SUCCESS && std::rename(partial.c_str(), file.c_str()) != 0) {
        const int error = errno;
        status = refuse(error == EACCES ? ERROR_ACCESS_DENIED : ERROR_CANTWRITE,
                        "cannot put the backup at '" + file + "': " + std::strerror(error));
    }
    if (status != ERROR_SUCCESS)
        std::remove(partial.c_str());
    return status;
}

LONG restoreStore(const std::string& file) {
    struct stat st;
    if (stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return refuse(ERROR_FILE_NOT_FOUND, "no backup at '" + file + "'");
    if (sameFile(file, storePath()))
        return refuse(ERROR_INVALID_PARAMETER, "the phone cannot be restored from itself");
    LONG status = ERROR_SUCCESS;
    sqlite3* phone = store(&status);
    if (!phone)
        return status;
    const std::string scratch = storePath() + ".restoring";
    auto removeScratch = [&] {
        for (const char* part : {"", "-journal", "-wal", "-shm"})
            std::remove((scratch + part).c_str());
    };
    removeScratch();
    {
        Connection backup;
        status = openFile(file, SQLITE_OPEN_READONLY, &backup);
        if (status == ERROR_SUCCESS)
            status = checkBackup(backup.db, file);
        if (status == ERROR_SUCCESS)
            status = matchPageSize(phone, &backup, scratch);
        // One transaction of the phone's: its readers see the old state or the restored one.
        if (status == ERROR_SUCCESS)
            status = copyPages(phone, backup.db);
    }
    removeScratch();
    if (status != ERROR_SUCCESS)
        return status;
    // The whole phone went into the WAL; written back now unless a reader holds it.
    emptyWalUnlessRead(phone);
    // Opened afresh: the modules look for their tables again, and an older backup is upgraded.
    closeStore();
    store(&status);
    return status;
}

} // namespace host
