// The phone's store shared by several processes at once.
#include "phone_fixture.h"

#include <sqlite3.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

class Store : public TempPhone {};

std::string valueName(int i) {
    // Built by appending: GCC 12's -Wrestrict misjudges "literal" + std::string in Release.
    std::string name = "V";
    name += std::to_string(i);
    return name;
}

// Processes that set up a brand-new phone together all get in; none is turned away busy.
TEST_F(Store, ProcessesStartingANewPhoneTogetherAllSucceed) {
    for (int round = 0; round < 10; ++round) {
        host::closeStore();
        std::filesystem::remove(dbPath);
        std::filesystem::remove(dbPath + "-wal");
        std::filesystem::remove(dbPath + "-shm");
        std::vector<CommandResult> results(4);
        std::vector<std::thread> writers;
        for (int i = 0; i < 4; ++i)
            writers.emplace_back([&, i] {
                results[i] = phone({"reg", "set", valueName(i), "dword", "1"});
            });
        writers.emplace_back([&] { EXPECT_EQ(1, velmora({"AppRunAtTime"}).status); });
        for (std::thread& t : writers)
            t.join();
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(0, results[i].status) << "round " << round << ": " << results[i].err;
            EXPECT_EQ("dword 4 1\n", phone({"reg", "get", valueName(i)}).out);
        }
    }
}

// A process killed after it committed loses nothing: the next process reads what it wrote, from
// the WAL the killed process never wrote back.
TEST_F(Store, AProcessKilledAfterACommitLosesNothing) {
    host::closeStore();
    for (DWORD round = 1; round <= 3; ++round) {
        pid_t child = fork();
        if (child == 0) {
            host::closeStore(); // a connection of its own, never closed
            HKEY key = nullptr;
            bool stored =
                RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"\\SOFTWARE\\QuillmarshSoft\\Velmora", 0,
                                nullptr, 0, 0, nullptr, &key, nullptr) == ERROR_SUCCESS &&
                RegSetValueExW(key, u"Durable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&round),
                               sizeof round) == ERROR_SUCCESS;
            raise(stored ? SIGKILL : SIGTERM);
            _exit(1);
        }
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child stored it";
        EXPECT_EQ("dword 4 " + std::to_string(round) + "\n", phone({"reg", "get", "Durable"}).out);
    }
}

// A phone that others have used stays readable to a process that may not write to it.
TEST_F(Store, AReadOnlyPhoneStaysReadable) {
    ASSERT_EQ(0, phone({"reg", "set", "S3", "dword", "123"}).status);
    setClock("2026-12-14 00:00");
    host::closeStore();
    ASSERT_EQ(1, velmora({"AppRunAtTime"}).status);

    // The reader: as root, another user, with its own copy of the console where that user can
    // run it; otherwise the files lose their write permission.
    const bool root = geteuid() == 0;
    const std::string console = root ? dir + "/reader" : std::string(VELMORA_PHONE_EXE);
    if (root) {
        std::filesystem::copy_file(VELMORA_PHONE_EXE, console);
        chmod(console.c_str(), 0755);
    }
    chmod(dir.c_str(), root ? 0755 : 0555);
    if (!root)
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.is_regular_file())
                chmod(entry.path().c_str(), 0444);
    auto readOnly = [&](std::vector<std::string> args) {
        int out[2];
        EXPECT_EQ(0, pipe(out));
        pid_t child = fork();
        if (child == 0) {
            dup2(out[1], 1);
            close(out[0]);
            if (root && (setgid(65534) != 0 || setuid(65534) != 0))
                _exit(125);
            args.insert(args.begin(), console);
            std::vector<char*> argv;
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execve(argv[0], argv.data(), environ);
            _exit(126);
        }
        close(out[1]);
        std::string text;
        char buffer[256];
        for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<size_t>(n));
        close(out[0]);
        int status = 0;
        waitpid(child, &status, 0);
        return std::make_pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1, text);
    };
    auto got = readOnly({"reg", "get", "S3"});
    if (got.first == 126)
        GTEST_SKIP() << "the test's programs cannot be run by another user here";
    EXPECT_EQ(0, got.first);
    EXPECT_EQ("dword 4 123\n", got.second);
    got = readOnly({"pending"});
    EXPECT_EQ(0, got.first);
    EXPECT_NE(std::string::npos, got.second.find("\t2026-12-14 07:00:00\n")) << got.second;

    chmod(dir.c_str(), 0700);
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.is_regular_file())
            chmod(entry.path().c_str(), 0600);
}

} // namespace

namespace {

// A phone made before window records named their process's start is upgraded where it stands,
// by the first process that opens it, and keeps what it holds.
TEST_F(Store, AnOlderStoreIsUpgradedInPlace) {
    ASSERT_EQ(0, phone({"reg", "set", "S1", "dword", "390"}).status);
    ASSERT_EQ(ERROR_SUCCESS, host::execute("ALTER TABLE windows DROP COLUMN started"));
    ASSERT_EQ(ERROR_SUCCESS, host::execute("PRAGMA user_version = 1"));
    host::closeStore();
    EXPECT_EQ("dword 4 390\n", phone({"reg", "get", "S1"}).out);
    EXPECT_EQ(std::to_string(host::storeSchemaVersion()), query("PRAGMA user_version").at(0).at(0));
    HWND window = host::createTopLevelWindow(u"Brindlecap", u"Dialog");
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(host::processIdentity(getpid()), query("SELECT started FROM windows").at(0).at(0));
    host::destroyTopLevelWindow(window);
}

// Every read of a column says what it expects; anything else leaves the row bad with a reason,
// whatever the store holds.
TEST_F(Store, ReadsCheckWhatEachColumnHolds) {
    enum Read { Integer, IntegerOrNull, Dword, Int32, Text, TextOrNull, Blob };
    struct Case {
        const char* value; // an SQL expression
        Read read;
        bool ok;
        const char* shown; // what the reason quotes, for a bad one
    } cases[] = {
        {"42", Integer, true, ""},
        {"'abc'", Integer, false, "the text 'abc'"},
        {"'42'", Integer, false, "the text '42'"}, // text that looks like a number is still text
        {"NULL", Integer, false, "nothing (NULL)"},
        {"NULL", IntegerOrNull, true, ""},
        {"1.5", Integer, false, "the number 1.5"},
        {"x'01'", Integer, false, "1 bytes of binary data"},
        {"4294967295", Dword, true, ""},
        {"4294967296", Dword, false, "the number 4294967296"},
        {"-1", Dword, false, "from 0 to 4294967295"},
        {"-2147483648", Int32, true, ""},
        {"2147483648", Int32, false, "the number 2147483648"},
        {"'abc'", Text, true, ""},
        {"NULL", Text, false, "nothing (NULL)"},
        {"NULL", TextOrNull, true, ""},
        {"7", Text, false, "the number 7"},
        {"x'00ff'", Blob, true, ""},
        {"'abc'", Blob, false, "the text 'abc'"},
        {"printf('%.60c', 'y')", Integer, false, "yyy...'"}, // a long text is cut short
    };
    for (const Case& c : cases) {
        std::vector<host::Row> rows;
        std::string sql = std::string("SELECT ") + c.value + " AS v";
        ASSERT_EQ(ERROR_SUCCESS, host::execute(sql.c_str(), {}, &rows)) << sql;
        ASSERT_EQ(1u, rows.size());
        host::Row& r = rows[0];
        switch (c.read) {
        case Integer:
            r.integer(0);
            break;
        case IntegerOrNull:
            r.integerOrNull(0);
            break;
        case Dword:
            r.dword(0);
            break;
        case Int32:
            r.int32(0);
            break;
        case Text:
            r.text(0);
            break;
        case TextOrNull:
            r.textOrNull(0);
            break;
        case Blob:
            r.blob(0);
            break;
        }
        EXPECT_EQ(c.ok ? ERROR_SUCCESS : ERROR_BADDB, r.status()) << sql;
        if (!c.ok) {
            EXPECT_NE(std::string::npos, host::storeProblem().find(c.shown))
                << sql << ": " << host::storeProblem();
            EXPECT_NE(std::string::npos, host::storeProblem().find("column 'v'"))
                << host::storeProblem();
        }
    }
}

TEST_F(Store, ValuesReadBackExactly) {
    std::vector<host::Row> rows;
    ASSERT_EQ(ERROR_SUCCESS, host::execute("SELECT -5, 'text', x'00ff', NULL", {}, &rows));
    host::Row& r = rows.at(0);
    EXPECT_EQ(-5, r.integer(0));
    EXPECT_EQ("text", r.text(1));
    EXPECT_EQ(std::string("\0\xff", 2), r.blob(2));
    EXPECT_EQ(std::nullopt, r.textOrNull(3));
    EXPECT_EQ(ERROR_SUCCESS, r.status());
    EXPECT_EQ(0, r.integer(9)) << "a column the row does not have";
    EXPECT_EQ(ERROR_BADDB, r.status());
}

// A failing statement gives the status of its failure and the reason, and no rows; the next
// success forgets the reason.
TEST_F(Store, StatementsGiveTheirStatus) {
    std::vector<host::Row> rows;
    ASSERT_EQ(ERROR_SUCCESS, host::execute("SELECT 1", {}, &rows));
    EXPECT_EQ(ERROR_BADDB, host::execute("SELECT * FROM no_such_table", {}, &rows));
    EXPECT_TRUE(rows.empty());
    EXPECT_NE(std::string::npos, host::storeProblem().find("no such table"))
        << host::storeProblem();
    EXPECT_EQ(ERROR_SUCCESS, host::execute("SELECT 1", {}, &rows));
    EXPECT_EQ("", host::storeProblem());

    // The reason a refusal gives is the caller's to show with its status.
    EXPECT_EQ(ERROR_INVALID_NAME, host::refuse(ERROR_INVALID_NAME, "why"));
    EXPECT_EQ("why", host::storeProblem());
}

} // namespace

namespace {

// The number of this process's open files that are the phone's store, its WAL or its index.
int filesOfThePhone(const std::string& dbPath) {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        n += !error && target.rfind(dbPath, 0) == 0;
    }
    return n;
}

// Another connection to the phone, as another process would have: runs statements and gives
// the first column of the first row.
std::string fromAnotherConnection(const std::string& dbPath, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string first;
    EXPECT_EQ(SQLITE_OK, sqlite3_open(dbPath.c_str(), &db));
    sqlite3_busy_timeout(db, 5000);
    const char* rest = sql.c_str();
    while (rest && *rest) {
        sqlite3_stmt* stmt = nullptr;
        EXPECT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, rest, -1, &stmt, &rest)) << sqlite3_errmsg(db);
        if (!stmt)
            break;
        if (sqlite3_step(stmt) == SQLITE_ROW && first.empty() && sqlite3_column_text(stmt, 0))
            first = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return first;
}

long long integerOf(const char* sql, const std::vector<host::Param>& params = {}) {
    long long value = -1;
    EXPECT_EQ(ERROR_SUCCESS, host::queryInteger(sql, params, &value)) << host::storeProblem();
    return value;
}

// Statements are prepared once per connection and kept; what a kept statement gives must be
// what a fresh one would give, and keeping it must hold nothing of the phone.
TEST_F(Store, KeptStatementsActAsFreshOnes) {
    using host::Param;
    ASSERT_EQ(ERROR_SUCCESS, host::execute("CREATE TABLE probe(a, b)"));
    ASSERT_EQ(ERROR_SUCCESS, host::execute("INSERT INTO probe VALUES(1, 2)"));
    const char* readB = "SELECT b FROM probe";
    const struct Step {
        const char* what;
        std::function<void()> run;
    } steps[] = {
        {"a parameter of one use is gone in the next",
         [] {
             EXPECT_EQ(5, integerOf("SELECT ?1", {Param::integer(5)}));
             std::vector<host::Row> rows;
             ASSERT_EQ(ERROR_SUCCESS, host::execute("SELECT ?1", {}, &rows));
             EXPECT_EQ(std::nullopt, rows.at(0).integerOrNull(0));
         }},
        {"another process rebuilds the table a statement reads",
         [&] {
             EXPECT_EQ(2, integerOf(readB));
             fromAnotherConnection(dbPath, "DROP TABLE probe; CREATE TABLE probe(b, a);"
                                           "INSERT INTO probe VALUES(7, 1);");
             EXPECT_EQ(7, integerOf(readB));
         }},
        {"a statement read to its end holds no read of the phone open",
         [&] {
             EXPECT_EQ(7, integerOf(readB));
             // A checkpoint that empties the WAL must wait for every reader: none may be left.
             EXPECT_EQ("0", fromAnotherConnection(dbPath, "PRAGMA wal_checkpoint(TRUNCATE)"));
             EXPECT_EQ(0, std::filesystem::file_size(dbPath + "-wal"));
         }},
        {"a statement that failed serves again",
         [] {
             ASSERT_EQ(ERROR_SUCCESS, host::execute("CREATE TABLE once(k PRIMARY KEY)"));
             const char* insert = "INSERT INTO once VALUES(?)";
             EXPECT_EQ(ERROR_SUCCESS, host::execute(insert, {Param::integer(1)}));
             EXPECT_EQ(ERROR_CANTWRITE, host::execute(insert, {Param::integer(1)}));
             EXPECT_EQ(ERROR_SUCCESS, host::execute(insert, {Param::integer(2)}));
             EXPECT_EQ(2, integerOf("SELECT COUNT(*) FROM once"));
         }},
        {"more texts than are kept are all run",
         [] {
             for (int i = 0; i < 400; ++i) {
                 std::string sql = "SELECT ";
                 sql += std::to_string(i);
                 ASSERT_EQ(i, integerOf(sql.c_str()));
             }
             EXPECT_EQ(7, integerOf("SELECT b FROM probe"));
         }},
        {"closing the store closes its files",
         [&] {
             EXPECT_GT(filesOfThePhone(dbPath), 0);
             host::closeStore();
             EXPECT_EQ(0, filesOfThePhone(dbPath)) << "a statement kept the connection open";
             EXPECT_EQ(7, integerOf("SELECT b FROM probe"));
         }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.run();
    }
}

// A module's tables set up within a transaction stand only if it commits: rolled back, they are
// set up again at the next use.
TEST_F(Store, ASetupRolledBackIsDoneAgain) {
    const char* sql = "CREATE TABLE IF NOT EXISTS probe_module(a);";
    ASSERT_EQ(ERROR_SUCCESS, host::execute("BEGIN IMMEDIATE"));
    ASSERT_EQ(ERROR_SUCCESS, host::ensureSchema("probe", sql)) << host::storeProblem();
    ASSERT_EQ(ERROR_SUCCESS, host::execute("ROLLBACK"));
    ASSERT_EQ(ERROR_SUCCESS, host::ensureSchema("probe", sql)) << host::storeProblem();
    EXPECT_EQ(1, integerOf("SELECT COUNT(*) FROM sqlite_master WHERE name = 'probe_module'"));
}

// A new phone is made with small pages; a phone made before with larger ones keeps them, and
// works as ever.
// Processes that each make one change (the console's `reg set`, say) still keep the WAL short:
// each one opens the phone afresh and cannot tell what an earlier one wrote back, so without a
// limit every change would be added to its end.
TEST_F(Store, OneChangeAProcessKeepsTheLogShort) {
    const std::string wal = dbPath + "-wal";
    off_t largest = 0;
    for (int process = 0; process < 1500; ++process) {
        ASSERT_EQ(ERROR_SUCCESS, host::setSetting("probe", std::to_string(process)));
        host::closeStore();
        struct stat file = {};
        if (stat(wal.c_str(), &file) == 0)
            largest = std::max(largest, file.st_size);
    }
    EXPECT_LT(largest, 1100 * 1024) << "the log grew without bound";
    std::optional<std::string> value;
    EXPECT_EQ(ERROR_SUCCESS, host::setting("probe", &value));
    EXPECT_EQ("1499", value.value_or(""));
}

// A reader that keeps its snapshot keeps the WAL from being emptied. Commits meanwhile never wait
// for it (each would wait out the busy timeout), and the first commit after it lets go brings the
// WAL back under its bound.
TEST_F(Store, CommitsNeverWaitForAReader) {
    const std::string wal = dbPath + "-wal";
    auto walPages = [&] {
        std::error_code error;
        auto size = std::filesystem::file_size(wal, error);
        return error || size < 32 ? 0 : static_cast<long long>((size - 32) / (1024 + 24));
    };
    ASSERT_EQ(ERROR_SUCCESS, host::setSetting("probe", std::string("first")));
    sqlite3* opened = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(dbPath.c_str(), &opened));
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> reader(opened, sqlite3_close);
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(opened, "BEGIN; SELECT COUNT(*) FROM settings;", nullptr,
                                      nullptr, nullptr));
    int commit = 0;
    while (walPages() < 1000)
        ASSERT_EQ(ERROR_SUCCESS, host::setSetting("probe", std::to_string(commit++)));
    for (int i = 0; i < 400; ++i) {
        const auto started = std::chrono::steady_clock::now();
        ASSERT_EQ(ERROR_SUCCESS, host::setSetting("probe", std::to_string(commit++)));
        ASSERT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(100))
            << "commit " << i << " past a WAL of " << walPages() << " pages waited";
    }
    EXPECT_GT(walPages(), 1024) << "the reader's snapshot was taken from it";
    reader.reset();
    ASSERT_EQ(ERROR_SUCCESS, host::setSetting("probe", std::string("last")));
    EXPECT_LT(walPages(), 1024);
}

TEST_F(Store, ANewPhoneHasSmallPagesAndAnOlderOneKeepsItsOwn) {
    EXPECT_EQ(1024, integerOf("PRAGMA page_size"));
    host::closeStore();
    const std::string older = dir + "/older.db";
    fromAnotherConnection(older, "PRAGMA page_size = 4096; PRAGMA journal_mode = WAL;"
                                 "CREATE TABLE made_before(a);");
    setenv("VELMORA_PHONE", older.c_str(), 1);
    EXPECT_EQ(ERROR_SUCCESS, host::setSetting("probe", std::string("kept")));
    host::closeStore();
    std::optional<std::string> value;
    EXPECT_EQ(ERROR_SUCCESS, host::setting("probe", &value));
    EXPECT_EQ("kept", value.value_or(""));
    EXPECT_EQ(4096, integerOf("PRAGMA page_size"));
    host::closeStore();
    setenv("VELMORA_PHONE", dbPath.c_str(), 1);
}

} // namespace
