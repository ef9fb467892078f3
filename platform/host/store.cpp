// The phone's persistent state: one SQLite database shared by every process on the phone, found
// from $VELMORA_PHONE (else under the user's state folder), opened once per process in WAL mode
// with a busy timeout, and closed with whatever waits to be written.
#include "store_internals.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {
namespace {

sqlite3* openDb = nullptr;

// What is to be written to the open store before it closes.
std::vector<void (*)()> closingHooks;

// How long a statement waits for another process's lock before it gives up (ERROR_BUSY).
const int kBusyMilliseconds = 10000;

// A commit writes the WAL back into the store once it holds kCheckpointFrames. A process that
// opens the phone cannot tell what an earlier one wrote back, so it writes after what is there;
// the WAL starts again from its beginning only at a process's second commit. Processes that each
// commit once would let it grow without end, so at kResetFrames it is written back and emptied.
// Emptying it must wait until no reader uses it; a commit never waits for that (with a reader
// held, every commit would wait out the busy timeout), so it is only tried, without the busy
// handler: the WAL grows while a reader keeps its snapshot, and the first commit after it lets
// go empties it.
const int kCheckpointFrames = 128;
const int kResetFrames = 1024;

int checkpointAfterCommit(void*, sqlite3* db, const char* name, int frames) {
    if (frames >= kResetFrames)
        emptyWalUnlessRead(db);
    else if (frames >= kCheckpointFrames)
        sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    return SQLITE_OK;
}

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

// The connection's settings, then the store's own tables.
LONG setUpConnection(sqlite3* db) {
    sqlite3_busy_timeout(db, kBusyMilliseconds);
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
    return prepareStore(db);
}

} // namespace

void emptyWalUnlessRead(sqlite3* db) {
    sqlite3_busy_handler(db, nullptr, nullptr);
    sqlite3_wal_checkpoint_v2(db, "main", SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    sqlite3_busy_timeout(db, kBusyMilliseconds);
}

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
        code = setUpConnection(db);
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
    forgetModuleSchemas();
    return openDb;
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
    forgetModuleSchemas();
}

} // namespace host
