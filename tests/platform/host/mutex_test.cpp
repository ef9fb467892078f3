// Named mutexes on the simulated phone: the platform's names, values and errors, ownership by
// thread, one namespace per phone, and a holder that dies holding one.
#include "mutex_holder.h"
#include "phone_fixture.h"

#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const char kSetpriv[] = "/usr/bin/setpriv";

// A mode's permission bits as ls and chmod spell them.
std::string octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

class Mutexes : public TempPhone {
  protected:
    void TearDown() override {
        for (HANDLE h : opened)
            CloseHandle(h);
        TempPhone::TearDown();
    }
    HANDLE create(const char16_t* name, BOOL initialOwner = FALSE) {
        HANDLE h = CreateMutexW(nullptr, initialOwner, name);
        if (h)
            opened.push_back(h);
        return h;
    }
    // Waits on the mutex from another thread of this process.
    DWORD waitElsewhere(HANDLE h, DWORD ms) {
        DWORD outcome = 0;
        std::thread([&] {
            outcome = WaitForSingleObject(h, ms);
            if (outcome == WAIT_OBJECT_0 || outcome == WAIT_ABANDONED)
                ReleaseMutex(h);
        }).join();
        return outcome;
    }
    std::vector<HANDLE> opened;
};

TEST_F(Mutexes, NamesThePlatformRefuses) {
    struct Case {
        std::u16string name;
        DWORD error;
    } cases[] = {
        {u"Global\\Velmora", ERROR_PATH_NOT_FOUND},
        {u"a\\b", ERROR_PATH_NOT_FOUND},
        {u"\\", ERROR_PATH_NOT_FOUND},
        {std::u16string(MAX_PATH + 1, u'x'), ERROR_FILENAME_EXCED_RANGE},
    };
    for (const Case& c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, CreateMutexW(nullptr, TRUE, c.name.c_str())) << c.name.size();
        EXPECT_EQ(c.error, GetLastError()) << c.name.size();
    }
    SetLastError(0xdeadbeef);
    EXPECT_NE(nullptr, create(std::u16string(MAX_PATH, u'x').c_str()));
    EXPECT_EQ((DWORD)ERROR_SUCCESS, GetLastError()) << "a new mutex clears the last error";
}

TEST_F(Mutexes, InvalidHandlesFailWithoutTouchingAnything) {
    HANDLE closed = CreateMutexW(nullptr, FALSE, u"Velmora.Closed");
    ASSERT_TRUE(CloseHandle(closed));
    HANDLE bogus[] = {nullptr, closed, reinterpret_cast<HANDLE>(0x12345)};
    for (HANDLE h : bogus) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(h, 0));
        EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(ReleaseMutex(h));
        EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(CloseHandle(h));
        EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());
    }
}

TEST_F(Mutexes, OwnershipBelongsToAThreadAndCountsItsWaits) {
    HANDLE first = create(u"Velmora.Test");
    ASSERT_NE(nullptr, first);
    SetLastError(0xdeadbeef);
    HANDLE second = create(u"Velmora.Test", TRUE);
    ASSERT_NE(nullptr, second);
    EXPECT_NE(first, second);
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, waitElsewhere(first, 0))
        << "asking for initial ownership of an existing mutex does not take it";

    SetLastError(0xdeadbeef);
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(first, 0));
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(second, INFINITE)) << "the owner again";
    EXPECT_EQ(0xdeadbeefu, GetLastError()) << "a wait that succeeds leaves the last error";
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, waitElsewhere(first, 0));
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, waitElsewhere(second, 30)) << "both handles name one mutex";

    bool releasedElsewhere = true;
    DWORD error = 0;
    std::thread([&] {
        releasedElsewhere = ReleaseMutex(first);
        error = GetLastError();
    }).join();
    EXPECT_FALSE(releasedElsewhere);
    EXPECT_EQ((DWORD)ERROR_NOT_OWNER, error);

    SetLastError(0xdeadbeef);
    EXPECT_TRUE(ReleaseMutex(second));
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, waitElsewhere(first, 0)) << "one release of two waits";
    EXPECT_TRUE(ReleaseMutex(first));
    EXPECT_EQ(0xdeadbeefu, GetLastError());
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, waitElsewhere(first, 0));
    EXPECT_FALSE(ReleaseMutex(first));
    EXPECT_EQ((DWORD)ERROR_NOT_OWNER, GetLastError());

    // Names are told apart by letter case; a new one with initial ownership is owned.
    HANDLE other = create(u"velmora.test", TRUE);
    EXPECT_EQ((DWORD)ERROR_SUCCESS, GetLastError());
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, waitElsewhere(other, 0));
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, waitElsewhere(first, 0));
    EXPECT_TRUE(ReleaseMutex(other));
}

// Another process's ownership orders ours. Released, it is handed on plainly; killed holding
// it, with WAIT_ABANDONED once, to a thread waiting at the time or asking afterwards; killed
// when nobody else had it open, the name starts afresh.
TEST_F(Mutexes, AnotherProcessHandsItOnReleasedOrKilled) {
    enum End { Released, KilledWhileWaiting, KilledThenAsked, KilledAlone };
    struct Case {
        End end;
        DWORD outcome;
    } cases[] = {{Released, WAIT_OBJECT_0},
                 {KilledWhileWaiting, WAIT_ABANDONED},
                 {KilledThenAsked, WAIT_ABANDONED},
                 {KilledAlone, WAIT_OBJECT_0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.end);
        MutexHolder holder(u"Velmora.Held");
        ASSERT_TRUE(holder.held());
        HANDLE mine = nullptr;
        if (c.end != KilledAlone) {
            SetLastError(0xdeadbeef);
            mine = CreateMutexW(nullptr, FALSE, u"Velmora.Held");
            EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
            EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(mine, 20));
        }
        // The taker owns it then (another thread cannot have it) and hands it on as any owner.
        DWORD outcome = 0;
        bool ownedThen = false, released = false;
        auto take = [&](DWORD ms) {
            outcome = WaitForSingleObject(mine, ms);
            ownedThen = !mutexIsFree(u"Velmora.Held");
            released = ReleaseMutex(mine);
        };
        std::thread waiter;
        if (c.end == KilledWhileWaiting) {
            waiter = std::thread(take, 10000);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        if (c.end == Released)
            holder.release();
        else
            holder.kill();
        if (c.end == KilledAlone) {
            SetLastError(0xdeadbeef);
            mine = CreateMutexW(nullptr, FALSE, u"Velmora.Held");
            EXPECT_EQ((DWORD)ERROR_SUCCESS, GetLastError()) << "a new mutex";
        }
        if (waiter.joinable())
            waiter.join();
        else
            take(0);
        EXPECT_EQ(c.outcome, outcome);
        EXPECT_TRUE(ownedThen);
        EXPECT_TRUE(released);
        EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(mine, 0)) << "only once abandoned";
        EXPECT_TRUE(ReleaseMutex(mine));
        EXPECT_TRUE(CloseHandle(mine));
    }
}

// The phone's virtual tick count does not shorten a wait: a waiter on a mutex that another
// process holds waits its whole time-out in real time, and gets the mutex when it is released
// within it.
TEST_F(Mutexes, WaitsTakeRealTimeWhateverTheTickCount) {
    ASSERT_EQ(ERROR_SUCCESS, control::setVirtualTick(10000));
    struct Case {
        DWORD timeout;
        int releasedAfter; // ms, or -1 for never
        DWORD outcome;
    } cases[] = {{300, -1, WAIT_TIMEOUT}, {5000, 300, WAIT_OBJECT_0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.timeout);
        MutexHolder holder(u"Velmora.Real");
        ASSERT_TRUE(holder.held());
        HANDLE mine = CreateMutexW(nullptr, FALSE, u"Velmora.Real");
        const auto start = std::chrono::steady_clock::now();
        std::thread releaser;
        if (c.releasedAfter >= 0)
            releaser = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(c.releasedAfter));
                holder.release();
            });
        const DWORD outcome = WaitForSingleObject(mine, c.timeout);
        const auto waited = std::chrono::steady_clock::now() - start;
        if (releaser.joinable())
            releaser.join();
        EXPECT_EQ(c.outcome, outcome);
        EXPECT_GE(waited, std::chrono::milliseconds(c.releasedAfter >= 0 ? c.releasedAfter
                                                                         : (int)c.timeout));
        if (outcome == WAIT_OBJECT_0) {
            EXPECT_TRUE(ReleaseMutex(mine));
        }
        EXPECT_TRUE(CloseHandle(mine));
    }
}

// Processes that open one name at the same moment agree on who made it: exactly one is told
// the mutex is new, and only that one owns it when each asked for ownership as it opened it.
TEST_F(Mutexes, ProcessesOpeningANameAtOnceAgreeWhoMadeIt) {
    enum Outcome { MadeAndOwns = 1, FoundItOwned = 2, Wrong = 3 };
    const int kProcesses = 8;
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        int go[2];
        ASSERT_EQ(0, pipe(go));
        std::vector<pid_t> children;
        for (int i = 0; i < kProcesses; ++i) {
            pid_t pid = fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                close(go[1]);
                char c;
                while (read(go[0], &c, 1) > 0) {
                }
                HANDLE h = CreateMutexW(nullptr, TRUE, u"Velmora.Made");
                const DWORD made = GetLastError();
                int outcome = Wrong;
                if (h && made == ERROR_SUCCESS) {
                    outcome = MadeAndOwns;
                    // Held long enough for every other process to find it owned.
                    usleep(300 * 1000);
                } else if (h && made == ERROR_ALREADY_EXISTS &&
                           WaitForSingleObject(h, 0) == WAIT_TIMEOUT) {
                    outcome = FoundItOwned;
                }
                _exit(outcome);
            }
            children.push_back(pid);
        }
        close(go[0]);
        close(go[1]); // every child goes at once
        std::map<int, int> outcomes;
        for (pid_t pid : children) {
            int status = 0;
            ASSERT_EQ(pid, waitpid(pid, &status, 0));
            ++outcomes[WIFEXITED(status) ? WEXITSTATUS(status) : -1];
        }
        EXPECT_EQ(1, outcomes[MadeAndOwns]);
        EXPECT_EQ(kProcesses - 1, outcomes[FoundItOwned]);
    }
}

TEST_F(Mutexes, EachPhoneHasItsOwnNames) {
    MutexHolder holder(u"Velmora.Phone");
    ASSERT_TRUE(holder.held());
    const std::string otherPhone = dir + "/other.db";
    setenv("VELMORA_PHONE", otherPhone.c_str(), 1);
    HANDLE there = create(u"Velmora.Phone");
    EXPECT_EQ((DWORD)ERROR_SUCCESS, GetLastError());
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(there, 0));
    EXPECT_TRUE(ReleaseMutex(there));
    setenv("VELMORA_PHONE", dbPath.c_str(), 1);
    HANDLE here = create(u"Velmora.Phone");
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(here, 0));
}

// The store follows a symbolic link to its file, so a phone named through a link (directly,
// relatively, or through a chain of links, made before or after the phone's file) is the same
// phone, and its names are the same names.
TEST_F(Mutexes, APhoneNamedThroughALinkSharesItsNames) {
    ASSERT_EQ(0, symlink(dbPath.c_str(), (dir + "/absolute.db").c_str()));
    ASSERT_EQ(0, symlink(dbPath.substr(dbPath.find_last_of('/') + 1).c_str(),
                         (dir + "/relative.db").c_str()));
    ASSERT_EQ(0, symlink("relative.db", (dir + "/chained.db").c_str()));
    MutexHolder holder(u"Velmora.Linked");
    ASSERT_TRUE(holder.held());
    for (const char* link : {"absolute.db", "relative.db", "chained.db"}) {
        SCOPED_TRACE(link);
        const std::string linked = dir + "/" + link;
        setenv("VELMORA_PHONE", linked.c_str(), 1);
        HANDLE there = CreateMutexW(nullptr, FALSE, u"Velmora.Linked");
        ASSERT_NE(nullptr, there);
        EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
        EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(there, 0));
        EXPECT_TRUE(CloseHandle(there));
    }
    setenv("VELMORA_PHONE", dbPath.c_str(), 1);
}

// Whoever may use the store may use its mutexes: the folder and its files take the store's
// permissions whatever the umask, the folder with search where reading is granted, and follow
// them when they change. Nothing made on the way is left behind.
TEST_F(Mutexes, TheFolderAndItsFilesTakeTheStoresPermissions) {
    ASSERT_NE(nullptr, host::store());
    struct Case {
        mode_t store, umask, folder, file;
    } cases[] = {
        {0600, 077, 0700, 0600}, {0644, 077, 0755, 0644}, {0666, 022, 0777, 0666},
        {0660, 022, 0770, 0660}, {0640, 0, 0750, 0640},   {0600, 0, 0700, 0600},
    };
    const std::string folder = dbPath + "-mutex";
    const mode_t umaskBefore = umask(0);
    std::vector<std::u16string> names;
    for (const Case& c : cases) {
        SCOPED_TRACE("store " + octal(c.store) + ", umask " + octal(c.umask));
        ASSERT_EQ(0, chmod(dbPath.c_str(), c.store));
        umask(c.umask);
        // The names made before, and a new one.
        names.push_back(u"Velmora.Name" + host::fromUtf8(std::to_string(names.size())));
        for (const std::u16string& name : names) {
            HANDLE h = CreateMutexW(nullptr, FALSE, name.c_str());
            ASSERT_NE(nullptr, h);
            CloseHandle(h);
        }
        struct stat st;
        ASSERT_EQ(0, stat(folder.c_str(), &st));
        EXPECT_EQ(octal(c.folder), octal(st.st_mode));
        size_t files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            ASSERT_EQ(0, stat(entry.path().c_str(), &st));
            EXPECT_EQ(octal(c.file), octal(st.st_mode)) << entry.path();
            ++files;
        }
        EXPECT_EQ(names.size(), files);
        size_t folders = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            folders += entry.path().filename().string().find("-mutex") != std::string::npos;
        EXPECT_EQ(1u, folders);
    }
    umask(umaskBefore);
}

// Two users on a phone whose store both may write: each one's runs take the timetable lock in
// the folder and files the other made. Root makes them for the store's owner.
TEST_F(Mutexes, UsersWhoShareAPhoneShareItsMutexes) {
    if (geteuid() != 0 || access(kSetpriv, X_OK) != 0)
        GTEST_SKIP() << "runs programs as two other users: needs root and " << kSetpriv;
    const int root = 0, first = 60001, second = 60002;
    auto as = [&](int user, std::vector<std::string> args) {
        const std::string id = std::to_string(user);
        args.insert(args.begin(), {"--reuid=" + id, "--regid=" + id, "--clear-groups"});
        return runProgram(kSetpriv, args, "", {"VELMORA_PHONE=" + dbPath});
    };
    ASSERT_EQ(0, chmod(dir.c_str(), 0777));
    ASSERT_EQ(0, as(first, {VELMORA_PHONE_EXE, "clock", "set", "2026-12-14 00:00"}).status);
    struct Case {
        mode_t store;
        std::vector<int> users; // in the order they run, the first making the mutexes
    } cases[] = {
        {0666, {first, second, first}},
        {0666, {second, first}},
        {0644, {root, first}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.users[0]);
        std::filesystem::remove_all(dbPath + "-mutex");
        for (const char* file : {"", "-wal", "-shm"})
            ASSERT_EQ(0, chmod((dbPath + file).c_str(), c.store)) << file;
        for (int user : c.users) {
            CommandResult run = as(user, {VELMORA_EXE, "AppRunAtTime"});
            EXPECT_EQ(1, run.status) << user << ": " << run.err;
            EXPECT_EQ("", run.err) << user;
        }
    }
    EXPECT_TRUE(boxes().empty());
}

} // namespace
