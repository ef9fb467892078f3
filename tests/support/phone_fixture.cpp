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

std::vector<host::MessageRecord> readBoxes() {
    std::vector<host::MessageRecord> out;
    EXPECT_EQ(ERROR_SUCCESS, host::messages(&out)) << host::storeProblem();
    return out;
}
std::vector<host::LineDevice> readLines() {
    return checked(host::lineDevices);
}
host::LineDevice readLine(DWORD index) {
    host::LineDevice out{};
    EXPECT_EQ(ERROR_SUCCESS, host::lineDevice(index, &out)) << host::storeProblem();
    return out;
}
std::vector<host::PendingStart> readPending() {
    return checked(host::pendingStarts);
}
std::optional<host::PendingStart> readPendingFor(const std::string& path) {
    std::optional<host::PendingStart> out;
    EXPECT_EQ(ERROR_SUCCESS, host::pendingStart(path, &out)) << host::storeProblem();
    return out;
}
host::TelephonyStatus readTelephony() {
    return checked(host::telephonyStatus);
}
std::vector<host::TelephonyHandle> readHandles() {
    return checked(host::openTelephonyHandles);
}
std::vector<host::TelephonyCall> readCalls() {
    return checked(host::telephonyCalls);
}
std::vector<host::ForegroundRequest> readForegroundRequests() {
    return checked(host::foregroundRequests);
}
std::optional<SYSTEMTIME> readPinnedClock() {
    return checked(host::pinnedClock);
}
std::optional<DWORD> readTickStep() {
    return checked(host::virtualTickStep);
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
    ASSERT_EQ(ERROR_SUCCESS, host::pinClock(t));
}
