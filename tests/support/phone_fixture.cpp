#include "phone_fixture.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

template <typename T> T checked(LONG (*read)(T*)) {
    T out{};
    LONG status = read(&out);
    EXPECT_EQ(ERROR_SUCCESS, status) << host::storeProblem();
    return out;
}

} // namespace

std::vector<control::MessageRecord> readBoxes() {
    std::vector<control::MessageRecord> out;
    EXPECT_EQ(ERROR_SUCCESS, control::messages(&out)) << host::storeProblem();
    return out;
}
std::vector<control::LineDevice> readLines() {
    return checked(control::lineDevices);
}
control::LineDevice readLine(DWORD index) {
    control::LineDevice out{};
    EXPECT_EQ(ERROR_SUCCESS, control::lineDevice(index, &out)) << host::storeProblem();
    return out;
}
std::vector<control::PendingStart> readPending() {
    return checked(control::pendingStarts);
}
std::optional<control::PendingStart> readPendingFor(const std::string& path) {
    std::optional<control::PendingStart> out;
    EXPECT_EQ(ERROR_SUCCESS, control::pendingStart(path, &out)) << host::storeProblem();
    return out;
}
control::TelephonyStatus readTelephony() {
    return checked(control::telephonyStatus);
}
std::vector<control::OpenHandle> readHandles() {
    return checked(control::openHandles);
}
std::vector<control::CallRecord> readCalls() {
    return checked(control::callLog);
}
std::vector<host::ForegroundRequest> readForegroundRequests() {
    return checked(host::foregroundRequests);
}
std::optional<SYSTEMTIME> readPinnedClock() {
    return checked(control::pinnedClock);
}
std::optional<DWORD> readTickStep() {
    return checked(control::virtualTickStep);
}

std::vector<std::vector<std::string>> query(const std::string& sql) {
    sqlite3* db = host::store();
    std::vector<std::vector<std::string>> rows;
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr)) << sql;
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
        std::vector<std::string> row;
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
            const unsigned char* text = sqlite3_column_text(stmt, c);
            row.push_back(text ? reinterpret_cast<const char*>(text) : "NULL");
        }
        rows.push_back(row);
    }
    sqlite3_finalize(stmt);
    return rows;
}

CommandResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input, const std::vector<std::string>& environment) {
    char tmpl[] = "/tmp/velmora-run-XXXXXX";
    std::string work = mkdtemp(tmpl);
    std::string inPath = work + "/in", outPath = work + "/out", errPath = work + "/err";
    std::ofstream(inPath, std::ios::binary) << input;

    std::vector<std::string> argStore{program};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        bool replaced = false;
        for (const std::string& extra : environment)
            if (entry.substr(0, entry.find('=') + 1) == extra.substr(0, extra.find('=') + 1))
                replaced = true;
        if (!replaced)
            envStore.push_back(entry);
    }
    envStore.insert(envStore.end(), environment.begin(), environment.end());
    // A leak check costs a sanitized program about 50 ms at its end, and the tests start
    // thousands: the programs started here skip it, unless the environment asks for it. The
    // tests' own processes keep it, and ProgramsEnd checks each program's paths once.
    bool asanOptionsGiven = false;
    for (const std::string& e : envStore)
        asanOptionsGiven = asanOptionsGiven || e.rfind("ASAN_OPTIONS=", 0) == 0;
    if (!asanOptionsGiven)
        envStore.push_back("ASAN_OPTIONS=detect_leaks=0");
    std::vector<char*> envp;
    for (std::string& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    CommandResult result;
    pid_t pid;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    std::filesystem::remove_all(work);
    return result;
}

void TempPhone::SetUp() {
    char tmpl[] = "/tmp/velmora-phone-XXXXXX";
    dir = mkdtemp(tmpl);
    dbPath = dir + "/phone.db";
    setenv("VELMORA_PHONE", dbPath.c_str(), 1);
    host::closeStore();
    host::setTerminalPrompts(false);
    host::setMessageBoxPresenter(nullptr);
}

void TempPhone::TearDown() {
    host::closeStore();
    host::setMessageBoxPresenter(nullptr);
    unsetenv("VELMORA_PHONE");
    std::filesystem::remove_all(dir);
}

CommandResult TempPhone::phone(const std::vector<std::string>& args, const std::string& input) {
    return runProgram(VELMORA_PHONE_EXE, args, input, {"VELMORA_PHONE=" + dbPath});
}

CommandResult TempPhone::velmora(const std::vector<std::string>& args, const std::string& input) {
    return runProgram(VELMORA_EXE, args, input, {"VELMORA_PHONE=" + dbPath});
}

void TempPhone::setClock(const std::string& when) {
    SYSTEMTIME t;
    ASSERT_TRUE(host::parseDateTime(when, &t)) << when;
    ASSERT_EQ(ERROR_SUCCESS, control::pinClock(t));
}
