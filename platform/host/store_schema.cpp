// The store's tables: the phone's own, set up on a new store and upgraded step by step on an
// older one (a store of a later build is refused), and each module's, set up once and recorded
// by a hash of their text.
#include "store_internals.h"

#include <sqlite3.h>

#include <set>
#include <unistd.h>

namespace host {
namespace {

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
    id INTEGER PRIMARY KEY AUTOINCREMENT, pid INTEGER, title TEXT, class TEXT, started TEXT);
CREATE TABLE IF NOT EXISTS foreground_requests(
    id INTEGER PRIMARY KEY AUTOINCREMENT, window INTEGER, pid INTEGER);
)sql";

// Bumped whenever the base schema changes; a store of a higher version was made by a later
// build, whose tables this one cannot know, and is refused rather than rewritten.
const int kSchemaVersion = 2;

// Each step brings a store of version (its index + 1) to the next version.
const char* const kUpgrades[] = {
    // 2: a window's record names its process by its start as well as by its id, which the
    // system hands out again once the process has ended.
    "ALTER TABLE windows ADD COLUMN started TEXT;",
};
static_assert(sizeof kUpgrades / sizeof kUpgrades[0] == kSchemaVersion - 1,
              "one upgrade step per version");

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

LONG newerStore(int version) {
    return refuse(ERROR_REVISION_MISMATCH, "the store is of version " + std::to_string(version) +
                                               "; this program knows version " +
                                               std::to_string(kSchemaVersion) + " and earlier");
}

} // namespace

// A phone already set up costs one read here: every timed run opens the store afresh.
LONG prepareStore(sqlite3* db) {
    int version = 0;
    int rc = schemaVersion(db, &version);
    if (rc != SQLITE_OK)
        return sqliteFailure(db, rc);
    if (version == kSchemaVersion)
        return ERROR_SUCCESS;
    if (version < 0 || version > kSchemaVersion)
        return newerStore(version);
    // A new phone's pages are small: its rows are a few dozen bytes, and every commit writes,
    // and every process that opens the phone first reads back and checks, whole pages of the
    // WAL. (The size is only taken while the file is still empty, so a phone keeps its own.)
    if (version == 0)
        sqlite3_exec(db, "PRAGMA page_size = 1024", nullptr, nullptr, nullptr);
    // WAL lets a timed run and an open dialog use the phone at once; it stays set in the file.
    rc = enableWal(db);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return sqliteFailure(db, rc);
    // Read again under the write lock: another process may have set up or upgraded the store.
    rc = schemaVersion(db, &version);
    std::string setup;
    if (rc == SQLITE_OK && version == 0)
        setup = kBaseSchema;
    for (int v = version; rc == SQLITE_OK && v > 0 && v < kSchemaVersion; ++v)
        setup += kUpgrades[v - 1];
    LONG status = ERROR_SUCCESS;
    if (rc != SQLITE_OK) {
        status = sqliteFailure(db, rc);
    } else if (version < 0 || version > kSchemaVersion) {
        status = newerStore(version);
    } else if (!setup.empty()) {
        setup += "PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
        rc = sqlite3_exec(db, setup.c_str(), nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            status = sqliteFailure(db, rc);
    }
    if (status == ERROR_SUCCESS) {
        rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            status = sqliteFailure(db, rc);
    }
    if (status != ERROR_SUCCESS)
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return status;
}

void forgetModuleSchemas() {
    schemasDone.clear();
}

LONG ensureSchema(const char* name, const char* sql) {
    LONG status = ERROR_SUCCESS;
    sqlite3* db = store(&status);
    if (!db)
        return status;
    if (schemasDone.count(name))
        return ERROR_SUCCESS;
    // The phone records which version of each module's tables it has, so that a process only
    // reads that record: no write (a read-only phone still reads) and no repeated setup.
    std::string key = std::string("schema.") + name;
    std::string version = std::to_string(fnv1a(sql));
    std::optional<std::string> recorded;
    status = setting(key, &recorded);
    if (status != ERROR_SUCCESS)
        return status;
    // Within a transaction already open (a telephony call's), the setup is a part of it that
    // fails alone, and stands only once that transaction commits: until then it is not taken
    // as done.
    const bool within = !sqlite3_get_autocommit(db);
    if (recorded != version) {
        std::string setup = std::string(within ? "SAVEPOINT module_setup;" : "BEGIN IMMEDIATE;") +
                            sql + "INSERT INTO settings(name, value) VALUES('" + key + "', '" +
                            version + "') ON CONFLICT(name) DO UPDATE SET value = excluded.value;" +
                            (within ? "RELEASE module_setup;" : "COMMIT;");
        int rc = sqlite3_exec(db, setup.c_str(), nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            status = sqliteFailure(db, rc);
            sqlite3_exec(db,
                         within ? "ROLLBACK TO module_setup; RELEASE module_setup;" : "ROLLBACK",
                         nullptr, nullptr, nullptr);
            return status;
        }
        if (within)
            return ERROR_SUCCESS;
    }
    schemasDone.insert(name);
    return ERROR_SUCCESS;
}

int storeSchemaVersion() {
    return kSchemaVersion;
}

} // namespace host
