// The phone's store shared by several processes at once.
#include "phone_fixture.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
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
