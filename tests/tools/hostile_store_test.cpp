// Stores that a person, a crash or a later build left in a state no program here wrote: every
// one gives a clear error (the phone's status and one line) or a plain default, never a crash,
// and a store that cannot be read never reads as an empty one.
#include "phone_fixture.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>

namespace {

struct Step {
    bool program;                  // velmora itself, else velmora-phone
    std::vector<std::string> args; // {"AppRunAtTime"}, {"reg", "get", "S1"}, ...
    std::string input;
    int status;
    std::string err; // what standard error must hold ("" for anything)
    std::string out; // what standard output must hold
};

// A check of the store after the runs: a query and the first column of its first row, read
// straight from the file (as no program would refuse it).
struct After {
    std::string sql;
    std::string value;
};

struct Case {
    const char* name;
    std::vector<std::string> damage; // statements run on a phone set up with a timetable
    std::string phonePath;           // VELMORA_PHONE instead of the fixture's ("" for that)
    std::vector<Step> runs;
    std::vector<After> after;
};

const Step kShowAnyway = {false, {"show"}, "", -1, "", ""};

std::string rawValue(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string value = "(unreadable)";
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
        value = "(no row)";
        if (sqlite3_step(stmt) == SQLITE_ROW)
            value = sqlite3_column_text(stmt, 0)
                        ? reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))
                        : "NULL";
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return value;
}

class HostileStore : public TempPhone {
  protected:
    // A phone with a timetable, a pending start and every module's tables, at Monday 00:00.
    void setUpPhone() {
        for (const std::vector<std::string>& args :
             std::vector<std::vector<std::string>>{{"reg", "set", "Enabled", "sz", "1100001"},
                                                   {"reg", "set", "S1", "dword", "420"},
                                                   {"reg", "set", "C1", "dword", "0"},
                                                   {"clock", "set", "2026-12-14 00:00"},
                                                   {"lines"},
                                                   {"pending"}})
            ASSERT_EQ(0, phone(args).status) << args[0];
    }

    void check(const Case& c) {
        SCOPED_TRACE(c.name);
        host::closeStore();
        std::filesystem::remove(dbPath);
        std::filesystem::remove(dbPath + "-wal");
        std::filesystem::remove(dbPath + "-shm");
        setUpPhone();
        for (const std::string& sql : c.damage)
            ASSERT_EQ(ERROR_SUCCESS, host::execute(sql.c_str())) << sql << host::storeProblem();
        host::closeStore();
        std::string where = c.phonePath.empty() ? dbPath : c.phonePath;
        std::vector<Step> runs = c.runs;
        runs.push_back(kShowAnyway);
        for (const Step& run : runs) {
            std::string what = (run.program ? "velmora" : "velmora-phone");
            for (const std::string& a : run.args)
                what.append(1, ' ').append(a, 0, 40);
            CommandResult r = runProgram(run.program ? VELMORA_EXE : VELMORA_PHONE_EXE, run.args,
                                         run.input, {"VELMORA_PHONE=" + where});
            EXPECT_FALSE(r.status > 128 && r.status <= 128 + 64) << what << " was killed\n"
                                                                 << r.err;
            for (const char* crash : {"Sanitizer", "runtime error", "terminate called"})
                EXPECT_EQ(std::string::npos, r.err.find(crash)) << what << "\n" << r.err;
            if (run.status >= 0) {
                EXPECT_EQ(run.status, r.status) << what << "\n" << r.out << r.err;
            }
            EXPECT_NE(std::string::npos, r.err.find(run.err)) << what << "\n" << r.err;
            EXPECT_NE(std::string::npos, r.out.find(run.out)) << what << "\n" << r.out;
            // The console says what went wrong in one line.
            if (!run.program && r.status != 0) {
                EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << what << "\n" << r.err;
            }
        }
        for (const After& a : c.after)
            EXPECT_EQ(a.value, rawValue(where, a.sql)) << a.sql;
    }
};

TEST_F(HostileStore, EachGivesAClearErrorAndNoCrash) {
    const std::string longName(20000, 'L');
    const Case cases[] = {
        {"a registry value whose type is no number",
         {"UPDATE registry_values SET type = 'abc' WHERE name = 'S1'"},
         "",
         {{false, {"reg", "get", "S1"}, "", 1, "status 1009", ""},
          {false, {"reg", "get", "S1"}, "", 1, "'abc' in column 'type'", ""},
          {false, {"show"}, "", 1, "", "Enabled"},
          {false, {"show"}, "", 1, "", "cannot be read: status 1009"},
          // The timed run reads the default for S1, says why once, and still arms the next start.
          {true, {"AppRunAtTime"}, "", 1, "'abc' in column 'type'", ""},
          {false, {"pending"}, "", 0, "", "2026-12-14 07:00:00"}},
         {}},
        {"a registry value whose data is no bytes",
         {"UPDATE registry_values SET data = 5 WHERE name = 'Enabled'"},
         "",
         {{false, {"reg", "get", "Enabled"}, "", 1, "status 1009", ""},
          {true, {"AppRunAtTime"}, "", 1, "the number 5 in column 'data'", ""}},
         {}},
        {"queued answers that are no number",
         {"INSERT INTO answers(answer) VALUES('zz')", "INSERT INTO answers(answer) VALUES(NULL)"},
         "",
         // To All asks; the bad answers are dropped one by one and the box takes its default.
         {{true, {}, "click 1024\nclick 1024\nok\n", 0, "queued answer cannot be read", ""},
          {false, {"messages"}, "", 0, "", "\tno\n"}},
         {{"SELECT COUNT(*) FROM answers", "0"}}},
        {"a recorded box whose type is no number",
         {"INSERT INTO messages(pid, caption, text, type, answer) VALUES(1, 'Good', 't', 0, 1)",
          "INSERT INTO messages(pid, caption, text, type, answer) VALUES(1, 'Bad', 't', 'x', 1)"},
         "",
         {{false, {"messages"}, "", 1, "status 1009", "Good\t"},
          {false, {"show"}, "", 1, "", "not every box can be read"}},
         {}},
        {"a window whose process is no number",
         {"INSERT INTO windows(pid, title, class) VALUES('abc', 'Brindlecap', 'Dialog')"},
         "",
         // Not a running dialog: this start opens its own, and the record is dropped.
         {{true, {}, "cancel\n", 0, "'abc' in column 'pid'", ""}},
         {{"SELECT COUNT(*) FROM windows", "0"}}},
        {"a clock pinned at no time",
         {"UPDATE settings SET value = 'soon' WHERE name = 'clock'"},
         "",
         {{false, {"clock"}, "", 1, "status 1009", ""},
          {false, {"simulate", "--days", "1"}, "", 1, "'soon'", ""}},
         {}},
        {"a tick step that is no number",
         {"INSERT INTO settings(name, value) VALUES('tick.step', 'fast')"},
         "",
         {{false, {"tick"}, "", 1, "status 1009", ""}},
         {}},
        {"a line whose state is no number",
         {"UPDATE line_devices SET state = 'abc' WHERE idx = 0"},
         "",
         {{false, {"lines"}, "", 1, "status 1009", "1\tCellular Data"},
          {false, {"line", "0", "state", "1"}, "", 1, "status 1009", ""},
          {true, {"AppRunAtTime"}, "", 1, "", ""}},
         {}},
        {"a pending start with no path",
         {"INSERT INTO timed_starts(path, at) VALUES(NULL, '2026-12-20 00:00:00')"},
         "",
         {{false, {"pending"}, "", 1, "status 1009", ""},
          {false, {"simulate", "--days", "1"}, "", 1, "status 1009", ""}},
         {}},
        // A failure to read is never an empty reading.
        {"no registry values table",
         {"DROP TABLE registry_values"},
         "",
         {{false, {"reg", "get", "S1"}, "", 1, "no such table", ""},
          {false, {"show"}, "", 1, "", "cannot be listed"}},
         {}},
        {"no pending starts table",
         {"DROP TABLE timed_starts"},
         "",
         {{false, {"pending"}, "", 1, "no such table", ""}},
         {}},
        {"no lines table",
         {"DROP TABLE line_devices"},
         "",
         {{false, {"lines"}, "", 1, "no such table", ""}, {true, {"AppRunAtTime"}, "", 1, "", ""}},
         {}},
        // A later build's store is refused and left as it is.
        {"a newer schema version",
         {"PRAGMA user_version = 99"},
         "",
         {{false, {"reg", "get", "S1"}, "", 1, "status 1306", ""},
          {false, {"reg", "set", "S1", "dword", "5"}, "", 1, "knows version 2", ""},
          {true, {"AppRunAtTime"}, "", 255, "No : 1306", ""}},
         {{"PRAGMA user_version", "99"},
          {"SELECT type FROM registry_values WHERE name = 'S1'", "4"}}},
        {"a negative schema version",
         {"PRAGMA user_version = -1"},
         "",
         {{false, {"pending"}, "", 1, "of version -1", ""}},
         {{"PRAGMA user_version", "-1"}}},
        // Names SQLite would not take as a file: writes there would be lost or unlocked.
        {"a phone in memory",
         {},
         ":memory:",
         {{false, {"reg", "set", "S1", "dword", "5"}, "", 1, "status 123", ""},
          {true, {"AppRunAtTime"}, "", 255, "No : 123", ""}},
         {}},
        {"an in-memory URI",
         {},
         "file:" + dir + "/uri.db?mode=memory",
         {{false, {"reg", "set", "S1", "dword", "5"}, "", 1, "not an SQLite URI", ""}},
         {}},
        {"a URI without locking",
         {},
         "FILE:" + dir + "/uri.db?nolock=1",
         {{false, {"pending"}, "", 1, "status 123", ""}},
         {}},
        {"a folder", {}, dir + "/", {{false, {"reg", "get", "S1"}, "", 1, "not a folder", ""}}, {}},
        // A value name longer than the registry takes, from an older phone, hides nothing.
        {"a very long value name",
         {"INSERT INTO registry_values(key, name, type, data) VALUES("
          "'HKEY_LOCAL_MACHINE\\SOFTWARE\\QuillmarshSoft\\Velmora', '" +
          longName + "', 4, x'01000000')"},
         "",
         {{false, {"show"}, "", 0, "", "LLL... (20000 characters)"},
          {false, {"show"}, "", 0, "", "S1 "},
          {false, {"reg", "set", std::string(256, 'x'), "sz", "v"}, "", 1, "status 87", ""},
          {false, {"reg", "get", longName}, "", 0, "", "dword 4 1\n"},
          {false,
           {"reg", "delete", std::string(20000, 'M')},
           "",
           1,
           "MMM... (20000 characters)'",
           ""},
          {false, {"reg", "set", std::string(255, 'x'), "sz", "v"}, "", 0, "", ""}},
         {}},
    };
    for (const Case& c : cases)
        check(c);
    EXPECT_FALSE(std::filesystem::exists(dir + "/uri.db")) << "no URI was opened";
}

} // namespace
