// The console's backup and restore on the simulated phone: what a copy of phone.db alone does
// instead, the files a restore refuses, and backups while other processes hold the phone.
#include "phone_fixture.h"

#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// The first column of the first row, read from the file as it stands, or why it could not be.
std::string rawValue(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_stmt* stmt = nullptr;
    std::string value;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_text(stmt, 0))
        value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    else
        value = std::string("(") + sqlite3_errmsg(db) + ")";
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return value;
}

void runSql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr))
        << sqlite3_errmsg(db);
    sqlite3_close(db);
}

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class Backups : public TempPhone {
  protected:
    // S0 read through the console on the phone at `path` (this test's phone by default).
    std::string s0(const std::string& path = {}) {
        CommandResult r = runProgram(VELMORA_PHONE_EXE, {"reg", "get", "S0"}, "",
                                     {"VELMORA_PHONE=" + (path.empty() ? dbPath : path)});
        return r.status == 0 ? r.out : r.err;
    }
    // Values stored from one process, S0 last; many are written back into phone.db.
    void changeMuch(DWORD count) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"\\SOFTWARE\\QuillmarshSoft\\Velmora", 0,
                                  nullptr, 0, 0, nullptr, &key, nullptr));
        const std::string filler(200, 'f');
        for (DWORD i = 0; i + 1 < count; ++i) {
            std::u16string name = u"Later" + host::fromUtf8(std::to_string(i));
            ASSERT_EQ(ERROR_SUCCESS,
                      RegSetValueExW(key, name.c_str(), 0, REG_BINARY,
                                     reinterpret_cast<const BYTE*>(filler.data()), 200));
        }
        DWORD later = 420;
        RegSetValueExW(key, u"S0", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&later), 4);
        RegCloseKey(key);
        host::closeStore();
    }
};

// Copying phone.db alone and putting it back later does not give the old state back: the WAL
// beside it still holds the latest pages, which undo the copy, or, once they were written back
// into phone.db and the WAL started again, leave it damaged. The console's backup and restore
// give the state back.
TEST_F(Backups, ACopyOfThePhoneFileAloneIsNoBackup) {
    const struct Case {
        const char* what;
        int changes;  // values stored afterwards, from one process
        bool damaged; // what the copy put back gives: a damaged phone, else the later state
    } cases[] = {{"one change since", 1, false}, {"many changes since", 400, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host::closeStore();
        for (const char* file : {"", "-wal", "-shm"})
            fs::remove(dbPath + file);
        ASSERT_EQ(0, phone({"reg", "set", "S0", "dword", "390"}).status);
        const std::string copied = dir + "/copied.db", saved = dir + "/saved.db";
        fs::copy_file(dbPath, copied, fs::copy_options::overwrite_existing);
        CommandResult r = phone({"backup", saved});
        ASSERT_EQ(0, r.status) << r.err;
        changeMuch(c.changes);

        fs::copy_file(copied, dbPath, fs::copy_options::overwrite_existing);
        if (c.damaged) {
            EXPECT_NE("ok", rawValue(dbPath, "PRAGMA integrity_check"));
        } else {
            EXPECT_EQ("ok", rawValue(dbPath, "PRAGMA integrity_check"));
            EXPECT_EQ("dword 4 420\n", s0()) << "the WAL undid the copy";
        }

        r = phone({"restore", saved});
        ASSERT_EQ(0, r.status) << r.err;
        EXPECT_EQ("ok", rawValue(dbPath, "PRAGMA integrity_check"));
        EXPECT_EQ("dword 4 390\n", s0());
        EXPECT_EQ(1, phone({"reg", "get", "Later0"}).status) << "a change made after the backup";
        EXPECT_EQ(std::to_string(host::storeSchemaVersion()),
                  rawValue(dbPath, "PRAGMA user_version"));

        // The backup is one file: nothing beside it, none needed to read it (so that it opens
        // from a place nobody may write, too), and alone it is the phone.
        for (const char* beside : {"-wal", "-shm", "-journal", ".partial"})
            EXPECT_FALSE(fs::exists(saved + beside)) << beside;
        EXPECT_EQ("delete", rawValue(saved, "PRAGMA journal_mode"));
        const std::string alone = dir + "/alone/phone.db";
        fs::remove_all(dir + "/alone");
        fs::create_directory(dir + "/alone");
        fs::copy_file(saved, alone);
        EXPECT_EQ("dword 4 390\n", s0(alone));
    }
}

// A file that is no backup this build can restore is refused with its status, and the phone is
// left exactly as it was.
TEST_F(Backups, ARestoreRefusesWhatIsNoBackupAndLeavesThePhone) {
    ASSERT_EQ(0, phone({"reg", "set", "S0", "dword", "390"}).status);
    const std::string good = dir + "/good.db";
    ASSERT_EQ(0, phone({"backup", good}).status);
    const std::string newer = std::to_string(host::storeSchemaVersion() + 1);
    const struct Case {
        const char* what;
        std::function<void(const std::string&)> make;
        const char* status;
    } cases[] = {
        {"no file", [](const std::string&) {}, "status 2:"},
        {"a text file", [](const std::string& f) { std::ofstream(f) << "not a phone\n"; },
         "status 1009:"},
        {"another program's database",
         [](const std::string& f) { runSql(f, "CREATE TABLE notes(text); PRAGMA user_version=2"); },
         "status 1009:"},
        {"a backup cut short",
         [&](const std::string& f) {
             std::ofstream(f, std::ios::binary) << bytesOf(good).substr(0, 6 * 1024);
         },
         "status 1009:"},
        {"a backup of a later build",
         [&](const std::string& f) {
             fs::copy_file(good, f);
             runSql(f, "PRAGMA user_version = " + newer);
         },
         "status 1306:"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = dir + "/refused" + std::to_string(n++) + ".db";
        c.make(file);
        const std::string db = bytesOf(dbPath), wal = bytesOf(dbPath + "-wal");
        CommandResult r = phone({"restore", file});
        EXPECT_EQ(1, r.status);
        EXPECT_NE(std::string::npos, r.err.find(c.status)) << r.err;
        EXPECT_TRUE(db == bytesOf(dbPath) && wal == bytesOf(dbPath + "-wal")) << "phone changed";
        EXPECT_EQ("dword 4 390\n", s0());
    }
}

// Another process's open read or write transaction neither holds a backup up nor gets into it;
// a restore goes past a reader, which sees the restored phone once it reads again.
TEST_F(Backups, OtherProcessesReadingOrWritingMeanwhile) {
    const struct Case {
        const char* what;
        const char* hold;
        bool restoreToo;
    } cases[] = {
        {"a read", "BEGIN; SELECT COUNT(*) FROM registry_values;", true},
        {"a write", "BEGIN IMMEDIATE; UPDATE registry_values SET data = x'07000000';", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(0, phone({"reg", "set", "S0", "dword", "390"}).status);
        const std::string saved = dir + "/held.db";
        fs::remove(saved);
        sqlite3* other = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_open(dbPath.c_str(), &other));
        std::unique_ptr<sqlite3, int (*)(sqlite3*)> closing(other, sqlite3_close);
        ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, c.hold, nullptr, nullptr, nullptr));

        const auto started = std::chrono::steady_clock::now();
        CommandResult r = phone({"backup", saved});
        EXPECT_EQ(0, r.status) << r.err;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
        if (c.restoreToo) {
            ASSERT_EQ(0, phone({"reg", "set", "S0", "dword", "420"}).status);
            r = phone({"restore", saved});
            EXPECT_EQ(0, r.status) << r.err;
        }
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        std::string seen = "(none)";
        sqlite3_exec(
            other, "SELECT hex(data) FROM registry_values WHERE name = 'S0'",
            [](void* out, int, char** values, char**) {
                *static_cast<std::string*>(out) = values[0];
                return 0;
            },
            &seen, nullptr);
        closing.reset();
        EXPECT_EQ("86010000", seen) << "390, as the other process reads it now";
        EXPECT_EQ("dword 4 390\n", s0(saved)) << "the backup, without what was not committed";
        EXPECT_EQ("dword 4 390\n", s0());
    }
}

// A phone an earlier build made (schema version 1, 4 KiB pages) restores into a new phone, which
// keeps its own pages and upgrades what it was given.
TEST_F(Backups, AnOlderPhoneRestoresAndIsUpgraded) {
    const std::string older = dir + "/older.db";
    runSql(older, "PRAGMA page_size = 4096; PRAGMA journal_mode = WAL;");
    ASSERT_EQ(0, runProgram(VELMORA_PHONE_EXE, {"reg", "set", "S0", "dword", "405"}, "",
                            {"VELMORA_PHONE=" + older})
                     .status);
    runSql(older, "ALTER TABLE windows DROP COLUMN started; PRAGMA user_version = 1;"
                  "PRAGMA journal_mode = DELETE;");
    ASSERT_EQ(0, phone({"reg", "set", "S0", "dword", "390"}).status);

    CommandResult r = phone({"restore", older});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("dword 4 405\n", s0());
    EXPECT_EQ(std::to_string(host::storeSchemaVersion()), rawValue(dbPath, "PRAGMA user_version"));
    EXPECT_EQ("1024", rawValue(dbPath, "PRAGMA page_size"));
    EXPECT_EQ("ok", rawValue(dbPath, "PRAGMA integrity_check"));
}

} // namespace
