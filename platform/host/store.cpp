// The phone's persistent state: one SQLite database shared by every process on the phone.
#include "host.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdlib>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace host {
namespace {

sqlite3* openDb = nullptr;
std::set<std::string> schemasDone;

const char* const kBaseSchema = R"sql(
CREATE TABLE IF NOT EXISTS settings(name TEXT PRIMARY KEY, value TEXT);
CREATE TABLE IF NOT EXISTS registry_keys(path TEXT PRIMARY KEY COLLATE NOCASE);
CREATE TABLE IF NOT EXISTS registry_values(
    key TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL COLLATE NOCASE,
    type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, name));
CREATE TABLE IF NOT EXISTS messages(
    id INTEGER PRIMARY KEY AUTOINCREMENT, pid INTEGER, caption TEXT, text TEXT,
    type INTEGER, answer INTEGER);
CREATE TABLE IF NOT EXISTS answers(id INTEGER PRIMARY KEY AUTOINCREMENT, answer INTEGER);
CREATE TABLE IF NOT EXISTS windows(
    id INTEGER PRIMARY KEY AUTOINCREMENT, pid INTEGER, title TEXT, class TEXT);
CREATE TABLE IF NOT EXISTS foreground_requests(
    id INTEGER PRIMARY KEY AUTOINCREMENT, window INTEGER, pid INTEGER);
)sql";

bool makeDirs(const std::string& dir) {
    for (size_t i = 1; i <= dir.size(); ++i) {
        if (i == dir.size() || dir[i] == '/') {
            std::string part = dir.substr(0, i);
            if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
                return false;
        }
    }
    return true;
}

LONG statusFromOpenFailure(const std::string& path) {
    // Tell a permission problem from a missing or unusable place.
    size_t slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return ERROR_ACCESS_DENIED;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return ERROR_PATH_NOT_FOUND;
    if (access(dir.c_str(), W_OK) != 0 ||
        (access(path.c_str(), F_OK) == 0 && access(path.c_str(), R_OK | W_OK) != 0))
        return ERROR_ACCESS_DENIED;
    return ERROR_CANTOPEN;
}

// Bumped whenever the base schema changes.
const int kSchemaVersion = 1;

int schemaVersion(sqlite3* db, int* version) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) {
            *version = sqlite3_column_int(stmt, 0);
            rc = SQLITE_OK;
        }
    }
    sqlite3_finalize(stmt);
    return rc;
}

unsigned long long fnv1a(const char* text) {
    unsigned long long h = 14695981039346656037ull;
    for (; *text; ++text)
        h = (h ^ static_cast<unsigned char>(*text)) * 1099511628211ull;
    return h;
}

// Switching to WAL does not wait for a busy phone the way statements do: when two processes
// set up a new phone at once, the second retries for as long as a statement would wait.
int enableWal(sqlite3* db) {
    int rc = SQLITE_BUSY;
    for (int attempt = 0; attempt < 2000; ++attempt) {
        rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        if ((rc & 0xff) != SQLITE_BUSY && (rc & 0xff) != SQLITE_LOCKED)
            return rc;
        usleep(5000);
    }
    return rc;
}

// A phone already set up costs one read here: every timed run opens the store afresh.
int prepareStore(sqlite3* db) {
    int version = 0;
    int rc = schemaVersion(db, &version);
    if (rc != SQLITE_OK || version == kSchemaVersion)
        return rc;
    // WAL lets a timed run and an open dialog use the phone at once; it stays set in the file.
    rc = enableWal(db);
    if (rc != SQLITE_OK)
        return rc;
    std::string setup = std::string("BEGIN IMMEDIATE;") + kBaseSchema +
                        "PRAGMA user_version = " + std::to_string(kSchemaVersion) + "; COMMIT;";
    rc = sqlite3_exec(db, setup.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return rc;
}

} // namespace

std::string storePath() {
    if (const char* phone = std::getenv("VELMORA_PHONE"); phone && *phone)
        return phone;
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        base = state;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/state";
    else
        return {};
    return base + "/velmora/phone.db";
}

LONG statusFromSqlite(int rc) {
    switch (rc & 0xff) {
    case SQLITE_OK:
        return ERROR_SUCCESS;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return ERROR_BADDB;
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_BUSY;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_FULL:
    case SQLITE_IOERR:
        return ERROR_CANTWRITE;
    default:
        return ERROR_CANTOPEN;
    }
}

sqlite3* store(LONG* status) {
    if (status)
        *status = ERROR_SUCCESS;
    if (openDb)
        return openDb;
    std::string path = storePath();
    if (path.empty()) {
        if (status)
            *status = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    if (!std::getenv("VELMORA_PHONE") || !*std::getenv("VELMORA_PHONE"))
        makeDirs(path.substr(0, path.find_last_of('/')));

    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, 10000);
        // WAL with NORMAL syncs: a crash of any process loses nothing it committed, and a
        // switch (dozens of small commits) does not wait on the disk for each.
        sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
        // The WAL stays when the last process closes the phone: writing it back then cost every
        // timed run four syncs and two unlinks. A commit's automatic checkpoint writes it back
        // once it has grown; a crash loses nothing, as committed pages are in the WAL. The first
        // process to open the phone reads the whole WAL to index it, so the WAL is kept short:
        // a switch adds about 36 pages, and indexing 128 costs about a third of a millisecond.
        sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_wal_autocheckpoint(db, 128);
        rc = prepareStore(db);
    }
    if (rc != SQLITE_OK) {
        LONG code =
            (rc & 0xff) == SQLITE_CANTOPEN ? statusFromOpenFailure(path) : statusFromSqlite(rc);
        sqlite3_close(db);
        if (status)
            *status = code;
        return nullptr;
    }
    openDb = db;
    schemasDone.clear();
    return openDb;
}

bool ensureSchema(const char* name, const char* sql) {
    sqlite3* db = store();
    if (!db)
        return false;
    if (schemasDone.count(name))
        return true;
    // The phone records which version of each module's tables it has, so that a process only
    // reads that record: no write (a read-only phone still reads) and no repeated setup.
    std::string key = std::string("schema.") + name;
    std::string version = std::to_string(fnv1a(sql));
    if (setting(key) != version) {
        std::string setup = std::string("BEGIN IMMEDIATE;") + sql +
                            "INSERT INTO settings(name, value) VALUES('" + key + "', '" + version +
                            "') ON CONFLICT(name) DO UPDATE SET value = excluded.value; COMMIT;";
        if (sqlite3_exec(db, setup.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
    }
    schemasDone.insert(name);
    return true;
}

void closeStore() {
    if (openDb)
        sqlite3_close(openDb);
    openDb = nullptr;
    schemasDone.clear();
}

bool exec(const char* sql, const std::vector<Param>& params, std::vector<Row>* rows) {
    sqlite3* db = store();
    if (!db)
        return false;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK)
        return false;
    for (size_t i = 0; i < params.size(); ++i) {
        const Param& p = params[i];
        int idx = static_cast<int>(i) + 1;
        switch (p.kind) {
        case Param::Null:
            sqlite3_bind_null(stmt, idx);
            break;
        case Param::Int:
            sqlite3_bind_int64(stmt, idx, p.number);
            break;
        case Param::Text:
            sqlite3_bind_text(stmt, idx, p.text.data(), static_cast<int>(p.text.size()),
                              SQLITE_TRANSIENT);
            break;
        case Param::Blob:
            sqlite3_bind_blob(stmt, idx, p.text.data(), static_cast<int>(p.text.size()),
                              SQLITE_TRANSIENT);
            break;
        }
    }
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (!rows)
            continue;
        Row row;
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
            if (sqlite3_column_type(stmt, c) == SQLITE_NULL) {
                row.emplace_back(std::nullopt);
                continue;
            }
            const void* data = sqlite3_column_blob(stmt, c);
            int size = sqlite3_column_bytes(stmt, c);
            row.emplace_back(std::string(static_cast<const char*>(data ? data : ""), size));
        }
        rows->push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE;
}

std::optional<std::string> setting(const std::string& name) {
    std::vector<Row> rows;
    if (!exec("SELECT value FROM settings WHERE name = ?", {Param::str(name)}, &rows) ||
        rows.empty())
        return std::nullopt;
    return rows[0][0];
}

bool setSetting(const std::string& name, const std::optional<std::string>& value) {
    if (!value)
        return exec("DELETE FROM settings WHERE name = ?", {Param::str(name)});
    return exec("INSERT INTO settings(name, value) VALUES(?, ?) "
                "ON CONFLICT(name) DO UPDATE SET value = excluded.value",
                {Param::str(name), Param::str(*value)});
}

} // namespace host
