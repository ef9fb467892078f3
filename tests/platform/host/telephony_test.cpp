// The simulated phone's telephony beyond the contract (tests/platform/contract/telephony_test.cpp):
// its store's lines, handle records and call log, faults and REINIT answers as the console sets
// them, virtual tick time, and a transaction for each call that changes something.
#include "platform/platform.h"
#include "support/phone_fixture.h"

#include <sqlite3.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <functional>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Op = line_rules::LineOperation;

void CALLBACK noEvents(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

class TelephonyTest : public TempPhone {
  protected:
    void TearDown() override {
        for (HLINE line : openLines)
            lineClose(line);
        for (HLINEAPP app : openApps)
            lineShutdown(app);
        TempPhone::TearDown();
    }

    HLINEAPP start(DWORD* count = nullptr) {
        HLINEAPP app = 0;
        DWORD devices = 0;
        EXPECT_EQ(lineInitialize(&app, host::instance(), noEvents, u"test", &devices), 0);
        EXPECT_NE(app, nullptr);
        if (count)
            *count = devices;
        openApps.push_back(app);
        return app;
    }
    void end(HLINEAPP app) {
        EXPECT_EQ(lineShutdown(app), 0);
        std::erase(openApps, app);
    }
    HLINE open(HLINEAPP app, DWORD device) {
        HLINE line = 0;
        EXPECT_EQ(lineOpen(app, device, &line, 0x00020000, 0, 0, LINECALLPRIVILEGE_OWNER,
                           LINEMEDIAMODE_DATAMODEM, nullptr),
                  0);
        EXPECT_NE(line, nullptr);
        openLines.push_back(line);
        return line;
    }
    void close(HLINE line) {
        EXPECT_EQ(lineClose(line), 0);
        std::erase(openLines, line);
    }

    std::vector<HLINEAPP> openApps;
    std::vector<HLINE> openLines;
};

// ---- Sessions and the lines of the store ----

// A close the store would not record (read-only here, as a full disk would refuse it) is
// recorded later if it can be, else said as the process ends: the record of a handle that was
// closed does not pass for a leak unannounced.
TEST_F(TelephonyTest, ACloseTheStoreRefusedIsRecordedLaterOrSaid) {
    struct Case {
        bool storeComesBack;
        size_t recordsLeft;
        const char* said;
    } cases[] = {{true, 0, ""}, {false, 1, "could not record that session 0x"}};
    for (const Case& c : cases) {
        std::string errPath = dir + "/err";
        host::closeStore();
        pid_t child = fork();
        if (child == 0) {
            freopen(errPath.c_str(), "w", stderr);
            HLINEAPP app = 0;
            DWORD devices = 0;
            if (lineInitialize(&app, host::instance(), noEvents, u"t", &devices) != 0)
                _exit(3);
            host::execute("PRAGMA query_only = 1");
            bool shutDown = lineShutdown(app) == 0; // it is closed, whatever the store says
            if (c.storeComesBack)
                host::execute("PRAGMA query_only = 0");
            std::exit(shutDown ? 0 : 4);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(0, WEXITSTATUS(status));
        std::vector<control::OpenHandle> left = readHandles();
        EXPECT_EQ(c.recordsLeft, left.size());
        std::ifstream in(errPath);
        std::string err((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (*c.said)
            EXPECT_NE(std::string::npos, err.find(c.said)) << err;
        else
            EXPECT_EQ("", err);
        ASSERT_EQ(ERROR_SUCCESS, control::clearLeaks());
    }
}

TEST_F(TelephonyTest, RemovedLinesStayRemoved) {
    ASSERT_EQ(ERROR_SUCCESS, control::removeLine(0));
    ASSERT_EQ(ERROR_SUCCESS, control::removeLine(0));
    host::closeStore(); // a later process must not find the phone new again
    EXPECT_TRUE(readLines().empty());
    DWORD count = 7;
    end(start(&count));
    EXPECT_EQ(count, 0u);
}

TEST_F(TelephonyTest, OpenHandlesAreRecordedWithTheProcess) {
    HLINEAPP app = start();
    HLINE line = open(app, 0);
    std::vector<control::OpenHandle> handles = readHandles();
    ASSERT_EQ(handles.size(), 2u);
    for (const control::OpenHandle& h : handles)
        EXPECT_EQ(h.pid, getpid());
    EXPECT_EQ(handles[0].kind, "session");
    EXPECT_EQ(handles[0].device, -1);
    EXPECT_EQ(handles[1].kind, "line");
    EXPECT_EQ(handles[1].device, 0);
    // Another process sees them too.
    CommandResult status = phone({"telephony"});
    EXPECT_NE(status.out.find("sessions open\t1\nlines open\t1\n"), std::string::npos)
        << status.out;
    close(line);
    end(app);
    EXPECT_TRUE(readHandles().empty());
}

// ---- Faults ----

TEST_F(TelephonyTest, FaultsAreListedHealedAndFollowTheirDevice) {
    for (const control::LineDevice& line : readLines())
        EXPECT_EQ(line.faults, "-") << "a new phone's line " << line.index;
    DWORD third = 0;
    ASSERT_EQ(ERROR_SUCCESS, control::addLine("Third", LINEMEDIAMODE_INTERACTIVEVOICE, 1, &third));
    ASSERT_EQ(2u, third);
    ASSERT_EQ(ERROR_SUCCESS, control::setLineFault(2, Op::Open, -5));
    ASSERT_EQ(ERROR_SUCCESS, control::setLineFault(2, Op::Close, LINEERR_NOMEM));
    ASSERT_EQ(ERROR_SUCCESS, control::setLineFault(2, Op::Open, -6)); // replaces
    EXPECT_EQ(readLine(2).faults, "close=-2147483580,open=-6");
    EXPECT_NE(ERROR_SUCCESS, control::setLineFault(2, Op::Open, 0));
    EXPECT_NE(ERROR_SUCCESS, control::setLineFault(2, Op::Open, 5));
    EXPECT_NE(ERROR_SUCCESS, control::setLineFault(3, Op::Open, -5));
    ASSERT_EQ(ERROR_SUCCESS,
              control::removeLine(1)); // the third line becomes device 1, faults and all
    ASSERT_EQ(readLines().size(), 2u);
    EXPECT_EQ(readLine(1).name, "Third");
    EXPECT_EQ(readLine(1).faults, "close=-2147483580,open=-6");
    EXPECT_EQ(readLine(0).faults, "-");
    ASSERT_EQ(ERROR_SUCCESS, control::healLine(1));
    EXPECT_EQ(readLine(1).faults, "-");
    EXPECT_NE(ERROR_SUCCESS, control::healLine(2));
}

TEST_F(TelephonyTest, InitializeFaultAndReinitAnswers) {
    HLINEAPP app = 0;
    DWORD count = 0;
    ASSERT_EQ(ERROR_SUCCESS, control::setInitFault(LINEERR_NOMEM));
    EXPECT_EQ(lineInitialize(&app, nullptr, noEvents, nullptr, &count), LINEERR_NOMEM);
    EXPECT_EQ(lineInitialize(&app, nullptr, noEvents, nullptr, &count), LINEERR_NOMEM);
    ASSERT_EQ(ERROR_SUCCESS, control::setInitFault(0));

    ASSERT_EQ(ERROR_SUCCESS, control::setReinitAttempts(3));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(lineInitialize(&app, nullptr, noEvents, nullptr, &count), LINEERR_REINIT) << i;
    EXPECT_EQ(app, nullptr);
    EXPECT_EQ(readTelephony().reinitAttempts, 0u);
    end(start());

    // By time: counted from the first attempt that sees it, in tick count.
    ASSERT_EQ(ERROR_SUCCESS, control::setVirtualTick(1000, 50));
    ASSERT_EQ(ERROR_SUCCESS, control::setReinitMilliseconds(3000));
    EXPECT_EQ(lineInitialize(&app, nullptr, noEvents, nullptr, &count), LINEERR_REINIT);
    GetTickCount();
    GetTickCount();
    EXPECT_EQ(lineInitialize(&app, nullptr, noEvents, nullptr, &count), LINEERR_REINIT);
    GetTickCount();
    end(start());
    EXPECT_EQ(readTelephony().reinitMilliseconds, 0u);

    // Repeated answers are logged once, with their count.
    std::vector<control::CallRecord> calls = readCalls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0].call, "lineInitialize");
    EXPECT_EQ(calls[0].result, LINEERR_NOMEM);
    EXPECT_EQ(calls[0].count, 2);
    EXPECT_EQ(calls[1].result, LINEERR_REINIT);
    EXPECT_EQ(calls[1].count, 3);
    EXPECT_EQ(calls[2].result, 0);
}

// ---- Tick count ----

TEST_F(TelephonyTest, VirtualTickAdvancesByItsStepAndWraps) {
    ASSERT_EQ(ERROR_SUCCESS, control::setVirtualTick(250, 0xFFFFFF00u));
    EXPECT_EQ(control::peekTickCount(), 0xFFFFFF00u);
    EXPECT_EQ(control::peekTickCount(), 0xFFFFFF00u);
    EXPECT_EQ(GetTickCount(), 0xFFFFFFFAu);
    EXPECT_EQ(GetTickCount(), 0xF4u);
    EXPECT_EQ(readTickStep(), std::optional<DWORD>(250));
    // Another process on the phone reads the same count.
    CommandResult tick = phone({"tick"});
    EXPECT_EQ(tick.out, "244\tvirtual +250 ms a reading\n");
    EXPECT_EQ(GetTickCount(), 0x1EEu);

    EXPECT_NE(ERROR_SUCCESS, control::setVirtualTick(0));
    EXPECT_EQ(readTickStep(), std::optional<DWORD>(250));
    ASSERT_EQ(ERROR_SUCCESS, control::setVirtualTick(std::nullopt));
    EXPECT_FALSE(readTickStep());
    DWORD a = GetTickCount(), b = GetTickCount();
    EXPECT_LE(b - a, 1000u);
}

// ---- Each call is one transaction ----

// Commits the phone's connection is to refuse from now on, as a full disk would: each is turned
// into a rollback.
int commitsToRefuse = 0;
void refuseCommits(int count) {
    commitsToRefuse = count;
    sqlite3_commit_hook(
        host::store(), [](void*) { return commitsToRefuse > 0 ? (--commitsToRefuse, 1) : 0; },
        nullptr);
}

// A call whose commit the store refuses has changed nothing on the phone: its result says it
// failed, and the log records that, after the entry of the call before it, which waited for it.
TEST_F(TelephonyTest, ACallTheStoreWouldNotCommitChangedNothing) {
    struct Case {
        const char* what;
        std::function<LONG(HLINE)> call;
        const char* logged;
        bool registeredBefore;
    } cases[] = {
        {"switching off", [](HLINE l) { return lineSetEquipmentState(l, LINEEQUIPSTATE_MINIMUM); },
         "lineSetEquipmentState", true},
        {"unregistering", [](HLINE l) { return lineUnregister(l); }, "lineUnregister", true},
        {"registering", [](HLINE l) { return lineRegister(l, LINEREGMODE_AUTOMATIC, nullptr, 0); },
         "lineRegister", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(ERROR_SUCCESS, control::setLineState(0, LINEEQUIPSTATE_FULL));
        ASSERT_EQ(ERROR_SUCCESS, control::setLineRegistered(0, c.registeredBefore));
        HLINEAPP app = start();
        HLINE line = open(app, 0);
        DWORD state = 0, radio = 0;
        ASSERT_EQ(lineGetEquipmentState(line, &state, &radio), 0);
        refuseCommits(1);
        EXPECT_EQ(c.call(line), LINEERR_OPERATIONFAILED);
        EXPECT_EQ(readLine(0).equipmentState, static_cast<DWORD>(LINEEQUIPSTATE_FULL));
        EXPECT_EQ(readLine(0).registered, c.registeredBefore);
        std::vector<control::CallRecord> calls = readCalls();
        ASSERT_GE(calls.size(), 2u);
        EXPECT_EQ(calls[calls.size() - 2].call, "lineGetEquipmentState");
        EXPECT_EQ(calls[calls.size() - 2].result, 0);
        EXPECT_EQ(calls.back().call, c.logged);
        EXPECT_EQ(calls.back().result, LINEERR_OPERATIONFAILED);
        close(line);
        end(app);
    }

    // A close the store would not commit still closes the line; its record is removed as the
    // next handle is made.
    HLINEAPP app = start();
    HLINE line = open(app, 0);
    refuseCommits(1);
    EXPECT_EQ(lineClose(line), 0);
    std::erase(openLines, line);
    EXPECT_EQ(lineClose(line), LINEERR_INVALLINEHANDLE);
    EXPECT_EQ(readTelephony().linesOpen, 1) << "the record stands while the store refuses";
    HLINE other = open(app, 1);
    EXPECT_EQ(readTelephony().linesOpen, 1) << "only the line open now";
    close(other);
    end(app);
    EXPECT_TRUE(readHandles().empty());
}

// A change and the log entry that records it are committed together: a process killed as the
// entry is committed leaves neither.
TEST_F(TelephonyTest, AChangeAndItsLogEntryStandOrFallTogether) {
    host::closeStore();
    pid_t child = fork();
    if (child == 0) {
        host::closeStore(); // a connection of its own
        HLINEAPP app = 0;
        HLINE line = 0;
        DWORD devices = 0;
        if (lineInitialize(&app, host::instance(), noEvents, u"t", &devices) != 0 ||
            lineOpen(app, 0, &line, 0x00020000, 0, 0, LINECALLPRIVILEGE_OWNER,
                     LINEMEDIAMODE_DATAMODEM, nullptr) != 0)
            _exit(3);
        static bool entryWritten = false;
        sqlite3_update_hook(
            host::store(),
            [](void*, int, const char*, const char* table, sqlite3_int64) {
                entryWritten = entryWritten || !std::strcmp(table, "telephony_call_log");
            },
            nullptr);
        sqlite3_commit_hook(
            host::store(),
            [](void*) {
                if (entryWritten)
                    raise(SIGKILL);
                return 0;
            },
            nullptr);
        lineSetEquipmentState(line, LINEEQUIPSTATE_MINIMUM);
        _exit(4);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_EQ(readLine(0).equipmentState, static_cast<DWORD>(LINEEQUIPSTATE_FULL));
    for (const control::CallRecord& c : readCalls())
        EXPECT_NE(c.call, "lineSetEquipmentState");
    // It died with its session and line open, and the phone says so.
    EXPECT_EQ(readTelephony().sessionsOpen, 1);
    EXPECT_EQ(readTelephony().linesOpen, 1);
    EXPECT_EQ(ERROR_SUCCESS, control::clearLeaks());
}

// The entry of a call that changes nothing may wait for the process's next change, but never
// past a box the process shows or the closing of its phone; repeats are counted as one entry.
TEST_F(TelephonyTest, EntriesOfCallsThatChangeNothingAreNotLeftBehind) {
    HLINEAPP app = start();
    HLINE line = open(app, 0);
    // Each case reads the state three times more: the entry, the last of the log until the
    // change, counts them all.
    const std::string pid = std::to_string(getpid());
    auto read = [&](int times) {
        return pid + "\tlineGetEquipmentState\t0\t0\t" + std::to_string(times) + "\t-\n";
    };
    struct Case {
        const char* what;
        std::function<void()> then;
        std::string lastLines;
    } cases[] = {
        {"a box", [] { MessageBoxW(nullptr, u"Text", u"Caption", MB_OK); }, read(3)},
        {"the phone closed", [] { host::closeStore(); }, read(6)},
        {"a change", [&] { ASSERT_EQ(lineSetEquipmentState(line, LINEEQUIPSTATE_FULL), 0); },
         read(9) + pid + "\tlineSetEquipmentState\t0\t0\t1\tstate=5\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int i = 0; i < 3; ++i) {
            DWORD state = 0, radio = 0;
            ASSERT_EQ(lineGetEquipmentState(line, &state, &radio), 0);
        }
        c.then();
        std::string seen = phone({"telephony", "calls"}).out; // as another process sees it
        ASSERT_GE(seen.size(), c.lastLines.size());
        EXPECT_EQ(seen.substr(seen.size() - c.lastLines.size()), c.lastLines) << seen;
    }
    close(line);
    end(app);
}

// Calls that change nothing, made without end, do not pile up: their entries are written as
// they grow many, each in its place.
TEST_F(TelephonyTest, ManyCallsThatChangeNothingAreWrittenInOrder) {
    HLINEAPP app = start();
    HLINE line = open(app, 0);
    const int negotiations = 100;
    for (int i = 0; i < negotiations; ++i) {
        DWORD version = 0;
        LINEEXTENSIONID ext;
        ASSERT_EQ(lineNegotiateAPIVersion(app, i % 2, 0x00020000, 0x00022000, &version, &ext), 0);
    }
    std::string seen = phone({"telephony", "calls"}).out;
    EXPECT_GE(std::count(seen.begin(), seen.end(), '\n'), 2 + negotiations / 2)
        << "the entries wait for no change";
    close(line);
    end(app);
    std::vector<control::CallRecord> calls = readCalls();
    ASSERT_EQ(calls.size(), 2u + negotiations + 2u);
    for (int i = 0; i < negotiations; ++i) {
        EXPECT_EQ(calls[2 + i].call, "lineNegotiateAPIVersion");
        EXPECT_EQ(calls[2 + i].device, i % 2) << i;
    }
    EXPECT_EQ(calls.back().call, "lineShutdown");
}

// A process killed in a session leaves every change it made, the records of the handles it
// held, and the entries of its calls up to its last change.
TEST_F(TelephonyTest, AKilledSessionLeavesItsChangesItsHandlesAndItsEntries) {
    host::closeStore();
    pid_t child = fork();
    if (child == 0) {
        host::closeStore(); // a connection of its own
        HLINEAPP app = 0;
        HLINE line = 0;
        DWORD devices = 0, state = 0, radio = 0, version = 0;
        LINEEXTENSIONID ext;
        if (lineInitialize(&app, host::instance(), noEvents, u"t", &devices) != 0 ||
            lineOpen(app, 0, &line, 0x00020000, 0, 0, LINECALLPRIVILEGE_OWNER,
                     LINEMEDIAMODE_DATAMODEM, nullptr) != 0 ||
            lineGetEquipmentState(line, &state, &radio) != 0 ||
            lineSetEquipmentState(line, LINEEQUIPSTATE_MINIMUM) != 0 ||
            lineNegotiateAPIVersion(app, 1, 0x00020000, 0x00022000, &version, &ext) != 0)
            _exit(3);
        raise(SIGKILL);
        _exit(4);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_EQ(readLine(0).equipmentState, static_cast<DWORD>(LINEEQUIPSTATE_MINIMUM));
    std::vector<std::string> made;
    for (const control::CallRecord& c : readCalls())
        made.push_back(c.call);
    const std::vector<std::string> upToTheChange = {
        "lineInitialize", "lineOpen", "lineGetEquipmentState", "lineSetEquipmentState"};
    ASSERT_GE(made.size(), upToTheChange.size());
    EXPECT_EQ(std::vector<std::string>(made.begin(), made.begin() + 4), upToTheChange);
    EXPECT_EQ(readTelephony().sessionsOpen, 1);
    EXPECT_EQ(readTelephony().linesOpen, 1);
    EXPECT_EQ(ERROR_SUCCESS, control::clearLeaks());
}

// A child process inherits nothing to write: the entries its parent's calls left waiting are
// written once, by the parent.
TEST_F(TelephonyTest, AChildLeavesItsParentsEntriesToItsParent) {
    HLINEAPP app = start();
    HLINE line = open(app, 0);
    DWORD state = 0, radio = 0;
    ASSERT_EQ(lineGetEquipmentState(line, &state, &radio), 0);
    pid_t child = fork();
    if (child == 0) {
        host::closeStore(); // a connection of its own
        HLINEAPP own = 0;
        DWORD devices = 0;
        bool ok = lineInitialize(&own, host::instance(), noEvents, u"t", &devices) == 0 &&
                  lineShutdown(own) == 0;
        host::closeStore();
        _exit(ok ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    close(line);
    end(app);
    int read = 0;
    for (const control::CallRecord& c : readCalls())
        if (c.call == "lineGetEquipmentState") {
            ++read;
            EXPECT_EQ(c.pid, getpid());
        }
    EXPECT_EQ(read, 1);
}

// A switch's calls that change something commit once each, not once for each of their
// statements; those that change nothing commit nothing.
TEST_F(TelephonyTest, EachCallCommitsOnce) {
    end(start()); // the phone's tables are set up
    int commits = 0;
    sqlite3_commit_hook(
        host::store(),
        [](void* count) {
            ++*static_cast<int*>(count);
            return 0;
        },
        &commits);
    HLINEAPP app = start();
    HLINE line = open(app, 0);
    DWORD state = 0, radio = 0;
    EXPECT_EQ(lineGetEquipmentState(line, &state, &radio), 0); // changes nothing: no commit
    EXPECT_EQ(lineSetEquipmentState(line, LINEEQUIPSTATE_MINIMUM), 0);
    EXPECT_EQ(lineUnregister(line), 0);
    close(line);
    end(app);
    sqlite3_commit_hook(host::store(), nullptr, nullptr);
    EXPECT_EQ(commits, 6);
    EXPECT_EQ(readCalls().size(), 9u);
}

// An older phone's call log, numbered with AUTOINCREMENT, and its handle records, kept with a
// rowid, are carried over into the tables of now, numbers and all.
TEST_F(TelephonyTest, AnOlderPhonesLogAndHandlesAreCarriedOver) {
    end(start());
    for (const char* sql :
         {"DROP TABLE telephony_call_log",
          "CREATE TABLE telephony_call_log(id INTEGER PRIMARY KEY AUTOINCREMENT, "
          "pid INTEGER NOT NULL, call TEXT NOT NULL, device INTEGER, arguments TEXT NOT NULL, "
          "result INTEGER NOT NULL, count INTEGER NOT NULL)",
          "INSERT INTO telephony_call_log VALUES(5, 1, 'lineInitialize', NULL, '', 0, 2), "
          "(9, 1, 'lineOpen', 0, 'api=0x00020000', -5, 1)",
          "DROP TABLE telephony_handles",
          "CREATE TABLE telephony_handles(pid INTEGER NOT NULL, handle INTEGER NOT NULL, "
          "kind TEXT NOT NULL, device INTEGER, PRIMARY KEY(pid, handle))",
          "INSERT INTO telephony_handles VALUES(1, 65536, 'session', NULL), (1, 65540, 'line', 0)",
          "UPDATE settings SET value = 'older' WHERE name = 'schema.telephony'"})
        ASSERT_EQ(ERROR_SUCCESS, host::execute(sql)) << sql << ": " << host::storeProblem();
    host::closeStore();

    end(start());
    std::vector<control::CallRecord> calls = readCalls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].call, "lineInitialize");
    EXPECT_EQ(calls[0].count, 2);
    EXPECT_EQ(calls[1].call, "lineOpen");
    EXPECT_EQ(calls[1].result, -5);
    EXPECT_EQ(calls[1].arguments, "api=0x00020000");
    EXPECT_EQ(calls[2].call, "lineInitialize");
    EXPECT_EQ(calls[3].call, "lineShutdown");
    EXPECT_EQ(query("SELECT MIN(id), MAX(id) FROM telephony_call_log"),
              (std::vector<std::vector<std::string>>{{"5", "11"}}));
    std::vector<control::OpenHandle> handles = readHandles();
    ASSERT_EQ(handles.size(), 2u);
    EXPECT_EQ(handles[0].kind, "session");
    EXPECT_EQ(handles[1].kind, "line");
    EXPECT_EQ(handles[1].device, 0);
    EXPECT_EQ(query("SELECT name FROM sqlite_master WHERE name LIKE 'telephony%' AND "
                    "(sql LIKE '%AUTOINCREMENT%' OR sql LIKE '%WITHOUT ROWID%')"),
              (std::vector<std::vector<std::string>>{{"telephony_handles"}}));
}

// A call repeated with the same arguments and result raises the count of its entry while that
// entry is the log's last; after another process's entry, or a clearing of the log, it starts a
// new one.
TEST_F(TelephonyTest, RepeatsAreCountedWhileTheirEntryIsTheLast) {
    HLINEAPP app = start();
    HLINE line = open(app, 0);
    auto setFull = [&] { ASSERT_EQ(lineSetEquipmentState(line, LINEEQUIPSTATE_FULL), 0); };
    auto lastCount = [] { return readCalls().back().count; };
    setFull();
    setFull();
    EXPECT_EQ(lastCount(), 2);
    host::closeStore(); // the same process, as a later use of the phone finds it
    setFull();
    EXPECT_EQ(lastCount(), 3);

    pid_t child = fork();
    if (child == 0) {
        host::closeStore(); // a connection of its own
        HLINEAPP own = 0;
        DWORD devices = 0;
        _exit(lineInitialize(&own, host::instance(), noEvents, u"t", &devices) == 0 &&
                      lineShutdown(own) == 0
                  ? 0
                  : 3);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    setFull();
    EXPECT_EQ(lastCount(), 1) << "another process's entry came between";
    setFull();
    EXPECT_EQ(lastCount(), 2);
    ASSERT_EQ(ERROR_SUCCESS, control::clearCallLog());
    setFull();
    EXPECT_EQ(readCalls().size(), 1u);
    EXPECT_EQ(lastCount(), 1);
    close(line);
    end(app);
}

} // namespace
