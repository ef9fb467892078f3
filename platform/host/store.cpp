// The phone's persistent state: one SQLite database shared by every process on the phone. Every
// statement gives back the Win32 status of its outcome, and every row is read column by column
// against what the column should hold, so that a damaged or hand-edited store reads as an error,
// never as a crash and never as "nothing there".
#include "host.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string_view>
#include <strings.h>
#include <unordered_map>
#include <sys/stat.h>
#include <unistd.h>

namespace host {
namespace {

sqlite3* openDb = nullptr;
std::set<std::string> schemasDone;
std::string lastProblem;
bool badRowsEchoed = true;
std::set<std::string> badRowsSaid;

// The open connection's statements, prepared once and kept by their text: a timed run repeats a
// few dozen statements, and parsing each afresh was most of its work. SQLite prepares a kept
// statement again by itself when another process changes the tables it reads.
struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};
std::unordered_map<std::string, sqlite3_stmt*, TextHash, std::equal_to<>> keptStatements;
// The programs' statements are fixed texts, far fewer than this; a caller that builds texts
// without end still gets its statements, prepared for the one use.
const size_t kMostKeptStatements = 256;

// What is to be written to the open store before it closes.
std::vector<void (*)()> closingHooks;

// A commit writes the WAL back into the store once it holds kCheckpointFrames. A process that
// opens the phone cannot tell what an earlier one wrote back, so it writes after what is there;
// the WAL starts again from its beginning only at a process's second commit. Processes that each
// commit once would let it grow without end, so at kResetFrames it is written back and emptied
// (waiting, as any commit may, for readers of it to move on).
const int kCheckpointFrames = 128;
const int kResetFrames = 1024;

int checkpointAfterCommit(void*, sqlite3* db, const char* name, int frames) {
    if (frames >= kResetFrames)
        sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    else if (frames >= kCheckpointFrames)
        sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    return SQLITE_OK;
}

void forgetStatements() {
    for (auto& kept : keptStatements)
        sqlite3_finalize(kept.second);
    keptStatements.clear();
}

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

LONG sqliteFailure(sqlite3* db, int rc) {
    return refuse(statusFromSqlite(rc), std::string("the phone's store: ") + sqlite3_errmsg(db));
}

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

// SQLite reads some names as something other than a file: ":memory:" is a database that lives
// and dies with its process, and a "file:" URI may carry options (an in-memory mode, no locking)
// that would cut the process off from the others on the phone. Such writes would report success
// and be lost, so only a plain path is taken.
LONG checkStorePath(const std::string& path) {
    if (path == ":memory:")
        return refuse(ERROR_INVALID_NAME,
                      "VELMORA_PHONE must name a file; ':memory:' would keep the phone in memory");
    if (strncasecmp(path.c_str(), "file:", 5) == 0)
        return refuse(ERROR_INVALID_NAME, "VELMORA_PHONE must name a file, not an SQLite URI");
    if (path.back() == '/')
        return refuse(ERROR_INVALID_NAME, "VELMORA_PHONE must name a file, not a folder");
    return ERROR_SUCCESS;
}

// How a value a row holds is named in a problem: briefly, and on one line.
std::string describeColumn(const Row::Column& c) {
    switch (c.kind) {
    case SQLITE_NULL:
        return "nothing (NULL)";
    case SQLITE_INTEGER:
        return "the number " + std::to_string(c.number);
    case SQLITE_FLOAT:
        return "the number " + c.bytes;
    case SQLITE_TEXT:
        return "the text '" +
               oneLine(c.bytes.size() > 40 ? c.bytes.substr(0, 40) + "..." : c.bytes) + "'";
    default:
        return std::to_string(c.bytes.size()) + " bytes of binary data";
    }
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
    case SQLITE_ERROR: // a table or column the statement names is not there
    case SQLITE_SCHEMA:
    case SQLITE_MISMATCH:
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
        return ERROR_DISK_FULL;
    case SQLITE_IOERR:
    case SQLITE_CONSTRAINT:
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
    LONG code = path.empty() ? refuse(ERROR_PATH_NOT_FOUND,
                                      "neither VELMORA_PHONE nor HOME says where the phone lives")
                             : checkStorePath(path);
    if (code != ERROR_SUCCESS) {
        if (status)
            *status = code;
        return nullptr;
    }
    if (!std::getenv("VELMORA_PHONE") || !*std::getenv("VELMORA_PHONE"))
        makeDirs(path.substr(0, path.find_last_of('/')));

    // A relative path is given as "./path", which SQLite never reads as a special name.
    std::string file = path[0] == '/' ? path : "./" + path;
    sqlite3* db = nullptr;
    // The store's own state is this process's, used by one thread at a time: SQLite's locks
    // between threads, and its count of the memory it holds, would only cost each statement.
    static const bool configured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
    (void)configured;
    int rc =
        sqlite3_open_v2(file.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, 10000);
        // WAL with NORMAL syncs: a crash of any process loses nothing it committed, and a
        // switch (a dozen small commits) does not wait on the disk for each.
        sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
        // The WAL stays when the last process closes the phone: writing it back then cost every
        // timed run four syncs and two unlinks. A commit's automatic checkpoint writes it back
        // once it has grown; a crash loses nothing, as committed pages are in the WAL. The first
        // process to open the phone reads the whole WAL to index it, so the WAL is kept short:
        // a switch adds about two dozen pages of 1 KiB, and indexing 128 costs about a fifth of
        // a millisecond.
        sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_wal_hook(db, checkpointAfterCommit, nullptr);
        code = prepareStore(db);
    } else {
        code = (rc & 0xff) == SQLITE_CANTOPEN ? statusFromOpenFailure(path) : statusFromSqlite(rc);
        refuse(code, sqlite3_errstr(rc));
    }
    if (code != ERROR_SUCCESS) {
        sqlite3_close(db);
        if (status)
            *status = code;
        return nullptr;
    }
    openDb = db;
    schemasDone.clear();
    return openDb;
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

void whenStoreCloses(void (*last)()) {
    if (std::find(closingHooks.begin(), closingHooks.end(), last) == closingHooks.end())
        closingHooks.push_back(last);
}

void closeStore() {
    if (openDb)
        for (void (*last)() : closingHooks)
            last();
    // A connection closes only once its statements are finalized.
    forgetStatements();
    if (openDb)
        sqlite3_close(openDb);
    openDb = nullptr;
    schemasDone.clear();
}

int storeSchemaVersion() {
    return kSchemaVersion;
}

const std::string& storeProblem() {
    return lastProblem;
}

LONG refuse(LONG status, std::string why) {
    lastProblem = std::move(why);
    return status;
}

void echoBadRows(bool enabled) {
    badRowsEchoed = enabled;
}

void Row::markBad(const std::string& what, const std::string& wanted) {
    // The first bad column of a row is the one worth naming.
    if (bad_)
        return;
    bad_ = true;
    refuse(ERROR_BADDB, "a row of the phone's store " + what + ", where " + wanted + " belongs");
    if (badRowsEchoed && badRowsSaid.insert(lastProblem).second)
        std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, lastProblem.c_str());
}

const Row::Column* Row::expect(size_t column, bool nullAllowed, int kind, const char* wanted) {
    const Column* c = column < columns_.size() ? &columns_[column] : nullptr;
    if (c && (c->kind == kind || (nullAllowed && c->kind == SQLITE_NULL)))
        return c;
    markBad(c ? "holds " + describeColumn(*c) + " in column '" + c->name + "'"
              : "has no column " + std::to_string(column + 1),
            wanted);
    return nullptr;
}

std::optional<long long> Row::number(size_t column, bool nullAllowed, long long lowest,
                                     long long highest) {
    const Column* c = expect(column, nullAllowed, SQLITE_INTEGER, "a whole number");
    if (!c)
        return 0;
    if (c->kind == SQLITE_NULL)
        return std::nullopt;
    if (c->number >= lowest && c->number <= highest)
        return c->number;
    markBad("holds " + describeColumn(*c) + " in column '" + c->name + "'",
            "a whole number from " + std::to_string(lowest) + " to " + std::to_string(highest));
    return 0;
}

long long Row::integer(size_t column, long long lowest, long long highest) {
    return number(column, false, lowest, highest).value_or(0);
}

std::optional<long long> Row::integerOrNull(size_t column, long long lowest, long long highest) {
    return number(column, true, lowest, highest);
}

std::string Row::text(size_t column) {
    const Column* c = expect(column, false, SQLITE_TEXT, "text");
    return c ? c->bytes : std::string();
}

std::optional<std::string> Row::textOrNull(size_t column) {
    const Column* c = expect(column, true, SQLITE_TEXT, "text");
    if (!c)
        return std::string();
    if (c->kind == SQLITE_NULL)
        return std::nullopt;
    return c->bytes;
}

std::string Row::blob(size_t column) {
    const Column* c = expect(column, false, SQLITE_BLOB, "binary data");
    return c ? c->bytes : std::string();
}

namespace {

// One use of a statement: a kept one is reset and its parameters cleared afterwards, so that it
// holds no read of the phone open and no caller's values; any other is finalized.
struct StatementUse {
    sqlite3_stmt* stmt = nullptr;
    bool kept = false;

    int prepare(sqlite3* db, const char* sql) {
        auto found = keptStatements.find(std::string_view(sql));
        // A kept statement still running (a caller's statement in the middle of its rows) is
        // not shared: this use gets one of its own.
        if (found != keptStatements.end() && !sqlite3_stmt_busy(found->second)) {
            stmt = found->second;
            kept = true;
            return SQLITE_OK;
        }
        const char* tail = nullptr;
        int rc = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, &tail);
        // Only a whole single statement is kept: its text is then its key, whole.
        if (rc == SQLITE_OK && stmt && found == keptStatements.end() && tail && !*tail &&
            keptStatements.size() < kMostKeptStatements) {
            keptStatements.emplace(sql, stmt);
            kept = true;
        }
        return rc;
    }
    ~StatementUse() {
        if (kept) {
            sqlite3_reset(stmt);
            sqlite3_clear_bindings(stmt);
        } else {
            sqlite3_finalize(stmt);
        }
    }
};

} // namespace

LONG execute(const char* sql, const std::vector<Param>& params, std::vector<Row>* rows) {
    if (rows)
        rows->clear();
    LONG status = ERROR_SUCCESS;
    sqlite3* db = store(&status);
    if (!db)
        return status;
    StatementUse use;
    int rc = use.prepare(db, sql);
    if (rc != SQLITE_OK)
        return sqliteFailure(db, rc);
    sqlite3_stmt* stmt = use.stmt;
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
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (!rows)
            continue;
        std::vector<Row::Column> columns;
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
            Row::Column column;
            column.kind = sqlite3_column_type(stmt, c);
            const char* name = sqlite3_column_name(stmt, c);
            column.name = name ? name : "?";
            if (column.kind == SQLITE_INTEGER) {
                column.number = sqlite3_column_int64(stmt, c);
            } else if (column.kind != SQLITE_NULL) {
                const void* data = column.kind == SQLITE_BLOB ? sqlite3_column_blob(stmt, c)
                                                              : sqlite3_column_text(stmt, c);
                int size = sqlite3_column_bytes(stmt, c);
                column.bytes.assign(static_cast<const char*>(data ? data : ""), size);
            }
            columns.push_back(std::move(column));
        }
        rows->emplace_back(std::move(columns));
    }
    if (rc != SQLITE_DONE) {
        status = sqliteFailure(db, rc);
        if (rows)
            rows->clear();
        return status;
    }
    lastProblem.clear();
    return ERROR_SUCCESS;
}

LONG queryInteger(const char* sql, const std::vector<Param>& params, long long* value) {
    std::vector<Row> rows;
    *value = 0;
    LONG status = execute(sql, params, &rows);
    if (status != ERROR_SUCCESS)
        return status;
    if (rows.empty())
        return refuse(ERROR_BADDB, std::string("the phone's store gave no row for: ") + sql);
    *value = rows[0].integer(0);
    return rows[0].status();
}

LONG setting(const std::string& name, std::optional<std::string>* value) {
    std::vector<Row> rows;
    value->reset();
    LONG status = execute("SELECT value FROM settings WHERE name = ?", {Param::str(name)}, &rows);
    if (status != ERROR_SUCCESS || rows.empty())
        return status;
    *value = rows[0].textOrNull(0);
    return rows[0].status();
}

LONG setSetting(const std::string& name, const std::optional<std::string>& value) {
    if (!value)
        return execute("DELETE FROM settings WHERE name = ?", {Param::str(name)});
    return execute("INSERT INTO settings(name, value) VALUES(?, ?) "
                   "ON CONFLICT(name) DO UPDATE SET value = excluded.value",
                   {Param::str(name), Param::str(*value)});
}

} // namespace host
