// Statements on the phone's store: prepared once and kept by their text, run with their
// parameters, their rows read column by column, and every outcome given as a Win32 status with
// its reason kept for storeProblem(). The store-wide settings are read and written here too.
#include "store_internals.h"

#include <sqlite3.h>

#include <string_view>
#include <unordered_map>

namespace host {
namespace {

std::string lastProblem;

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

void bindParams(sqlite3_stmt* stmt, const std::vector<Param>& params) {
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
}

// The row the statement stands on, each column as the store holds it.
Row readRow(sqlite3_stmt* stmt) {
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
    return Row(std::move(columns));
}

} // namespace

void forgetStatements() {
    for (auto& kept : keptStatements)
        sqlite3_finalize(kept.second);
    keptStatements.clear();
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

LONG sqliteFailure(sqlite3* db, int rc) {
    return refuse(statusFromSqlite(rc), std::string("the phone's store: ") + sqlite3_errmsg(db));
}

const std::string& storeProblem() {
    return lastProblem;
}

LONG refuse(LONG status, std::string why) {
    lastProblem = std::move(why);
    return status;
}

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
    bindParams(stmt, params);
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (!rows)
            continue;
        rows->push_back(readRow(stmt));
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
