// The switching cycle in one process: what a timed start switches at a given minute, and the
// start it leaves pending.
#include "mutex_holder.h"
#include "phone_fixture.h"

#include "schedule/named_lock.h"
#include "schedule/settings.h"
#include "schedule/timed_run.h"

#include <sqlite3.h>

#include <chrono>
#include <thread>

namespace {

struct Box {
    std::u16string text, caption;
    UINT type;
};

class TimedRun : public TempPhone {
  protected:
    void SetUp() override {
        TempPhone::SetUp();
        host::setMessageBoxPresenter(
            [this](HWND, const std::u16string& text, const std::u16string& caption, UINT type) {
                shown.push_back({text, caption, type});
                lockFreeAtEveryBox = lockFreeAtEveryBox && mutexIsFree(TIMETABLE_LOCK_NAME);
                return IDOK;
            });
        ASSERT_EQ(ERROR_SUCCESS, openSettings());
        WCHAR path[MAX_PATH];
        GetModuleFileName(nullptr, path, MAX_PATH);
        self = host::toUtf8(path);
    }
    void TearDown() override {
        closeSettings();
        TempPhone::TearDown();
    }

    // One timed start at the given local time, as the entry runs it.
    void timedStart(const std::string& when) {
        setClock(when);
        runDueSwitches();
        armWakeUp();
    }
    std::string pending() {
        std::optional<control::PendingStart> p = readPendingFor(self);
        return p ? p->text : "none";
    }
    // The equipment state of the voice lines and of the others, e.g. "5/5".
    std::string radio() {
        std::string voice, other;
        for (const control::LineDevice& l : readLines())
            ((l.mediaModes & 0x4) ? voice : other) += std::to_string(l.equipmentState);
        return voice + "/" + other;
    }

    std::vector<Box> shown;
    bool lockFreeAtEveryBox = true;
    std::string self;
};

// 2026-12-13 is a Sunday; the default timetable switches off at 00:00 and on at 07:00 on
// Sunday, Monday and Saturday.
TEST_F(TimedRun, DefaultTimetableSwitchesAndArms) {
    const std::string on = radio();
    ASSERT_NE(std::string::npos, on.find('/')) << "the phone has lines";
    ASSERT_NE('/', on[0]) << "the phone has a voice line";
    ASSERT_EQ(std::string::npos, on.substr(0, on.find('/')).find_first_not_of('5'))
        << "a new phone's voice lines are on: " << on;
    const std::string off = std::string(on.find('/'), '1') + on.substr(on.find('/'));

    struct Case {
        const char* when;
        const char* radio; // "on" or "off" afterwards
        const char* next;
    } cases[] = {
        {"2026-12-14 00:00", "off", "2026-12-14 07:00:00"}, // Monday's switch-off
        {"2026-12-14 06:59", "off", "2026-12-14 07:00:00"}, // a minute matching neither
        {"2026-12-14 07:00", "on", "2026-12-19 00:00:00"},  // Monday's switch-on
        {"2026-12-15 00:00", "on", "2026-12-19 00:00:00"},  // Tuesday: its '0' flag rules
        {"2026-12-14 00:00", "off", "2026-12-14 07:00:00"},
        {"2026-12-14 07:01", "off", "2026-12-19 00:00:00"}, // a late start switches nothing
        {"2026-12-16 07:00", "off", "2026-12-19 00:00:00"}, // Wednesday at its stored minute
        {"2026-12-19 07:00", "on", "2026-12-20 00:00:00"},  // Saturday's switch-on
        {"2026-12-20 23:59", "on", "2026-12-21 00:00:00"},  // Sunday night, Monday next
    };
    for (const Case& c : cases) {
        timedStart(c.when);
        EXPECT_EQ(std::string(c.radio) == "on" ? on : off, radio()) << c.when;
        EXPECT_EQ(c.next, pending()) << c.when;
    }
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(1u, readPending().size()) << "never more than one pending start";
}

TEST_F(TimedRun, EqualSwitchMinutesSwitchOnThenOff) {
    // Tuesday takes part with both switches at 10:00.
    ASSERT_TRUE(writeDayFlags(TEXT("0010000")));
    ASSERT_TRUE(writeSwitchMinute(TEXT("S2"), 600));
    ASSERT_TRUE(writeSwitchMinute(TEXT("C2"), 600));
    const std::string on = radio();
    ASSERT_NE('/', on[0]) << "the phone has a voice line";
    const std::string off = std::string(on.find('/'), '1') + on.substr(on.find('/'));

    // From on: the switch-on leaves it alone and the switch-off turns it off. From off: on
    // and then off again, never the other way round, which would leave it on.
    timedStart("2026-12-15 10:00");
    EXPECT_EQ(off, radio());
    ASSERT_EQ(ERROR_SUCCESS, control::clearCallLog());
    timedStart("2026-12-15 10:00");
    EXPECT_EQ(off, radio());
    std::vector<std::string> switches;
    for (const control::CallRecord& c : readCalls())
        if (c.call == "lineRegister" || c.call == "lineUnregister" || c.call == "lineInitialize")
            switches.push_back(c.call);
    EXPECT_EQ((std::vector<std::string>{"lineInitialize", "lineRegister", "lineInitialize",
                                        "lineUnregister"}),
              switches)
        << "two sessions: on, then off";
    EXPECT_EQ("2026-12-22 10:00:00", pending()) << "Tuesday alone comes round a week later";
    EXPECT_TRUE(shown.empty());
}

TEST_F(TimedRun, NoNextSwitchCancelsThePendingStart) {
    struct Case {
        const char* label;
        const char16_t* flags;
        DWORD minute; // stored as Sunday's switch-on
    } cases[] = {
        {"no weekday", u"0000000", 420},
        {"top bit set", u"1000000", 0x80000000u},
    };
    for (const Case& c : cases) {
        SYSTEMTIME earlier;
        ASSERT_TRUE(host::parseDateTime("2026-12-13 05:00", &earlier));
        WCHAR path[MAX_PATH];
        GetModuleFileName(nullptr, path, MAX_PATH);
        ASSERT_TRUE(CeRunAppAtTime(path, &earlier));
        ASSERT_TRUE(writeDayFlags(c.flags));
        ASSERT_TRUE(writeSwitchMinute(TEXT("S0"), c.minute));
        ASSERT_TRUE(writeSwitchMinute(TEXT("C0"), c.minute));
        timedStart("2026-12-13 00:00");
        EXPECT_EQ("none", pending()) << c.label;
        EXPECT_TRUE(shown.empty()) << c.label;
    }
}

// A next switch past the day's minutes is handed on as an hour the platform refuses, never
// wrapped into a real hour: armed at 07:00, a start would find nothing due and arm 07:00 again.
TEST_F(TimedRun, OutOfRangeNextMinuteIsRefusedWithTheNotice) {
    WCHAR path[MAX_PATH];
    GetModuleFileName(nullptr, path, MAX_PATH);
    SYSTEMTIME earlier;
    ASSERT_TRUE(host::parseDateTime("2026-12-13 05:00", &earlier));

    const DWORD minutes[] = {
        1500,              // Monday "25:00"
        65536u * 60 + 420, // an hour that a 16-bit field would wrap to 7
        65535u * 60 + 59,  // the largest hour the field holds
        0x7FFFFFFFu,       // the largest that still reads as a switch
    };
    for (DWORD minute : minutes) {
        SCOPED_TRACE(minute);
        shown.clear();
        ASSERT_TRUE(CeRunAppAtTime(path, &earlier));
        ASSERT_TRUE(writeSwitchMinute(TEXT("S1"), minute));
        ASSERT_EQ(ERROR_SUCCESS, control::setLineState(0, 5));
        const std::string before = radio();
        timedStart("2026-12-14 00:00");
        ASSERT_EQ(1u, shown.size());
        EXPECT_EQ(u"設定定時器失敗！\nNo : 87", shown[0].text);
        EXPECT_EQ(u"rozev -- 出錯", shown[0].caption);
        EXPECT_EQ(0x10u, shown[0].type);
        EXPECT_EQ("2026-12-13 05:00:00", pending()) << "nothing half-registered";
        EXPECT_NE(before, radio()) << "the switch-off at 00:00 still happened";

        // Such a minute never equals the current one, so a later start switches nothing either.
        timedStart("2026-12-14 01:00");
        EXPECT_EQ(2u, shown.size());
    }
    EXPECT_TRUE(lockFreeAtEveryBox) << "the notice comes after the timetable lock is let go";
}

// The clock's seconds play no part: the start is armed at the switch's whole minute.
TEST_F(TimedRun, SecondsOfTheClockPlayNoPart) {
    struct Case {
        const char* when;
        const char* radio;
        const char* next;
    } cases[] = {
        {"2026-12-14 06:59:42", "on", "2026-12-14 07:00:00"},
        {"2026-12-14 00:00:59", "off", "2026-12-14 07:00:00"}, // still Monday's 00:00
        {"2026-12-14 07:00:01", "on", "2026-12-19 00:00:00"},
    };
    const std::string on = radio();
    for (const Case& c : cases) {
        ASSERT_EQ(ERROR_SUCCESS, control::setLineState(0, 5));
        timedStart(c.when);
        EXPECT_EQ(std::string(c.radio) == "on", radio() == on) << c.when;
        EXPECT_EQ(c.next, pending()) << c.when;
    }
    EXPECT_TRUE(shown.empty());
}

TEST_F(TimedRun, ARegistrationReplacesThePreviousOne) {
    WCHAR path[MAX_PATH];
    GetModuleFileName(nullptr, path, MAX_PATH);
    SYSTEMTIME far;
    ASSERT_TRUE(host::parseDateTime("2030-06-01 12:00", &far));
    ASSERT_TRUE(CeRunAppAtTime(path, &far));
    timedStart("2026-12-12 23:00");
    EXPECT_EQ("2026-12-13 00:00:00", pending());
    std::vector<control::PendingStart> all = readPending();
    EXPECT_EQ(1u, all.size());
    EXPECT_TRUE(shown.empty());
}

// The next start is registered while the timetable lock is still held, so that it always agrees
// with the timetable stored under the same lock. Each change to the pending starts is watched
// from inside the phone's store, as it is made.
TEST_F(TimedRun, TheNextStartIsRegisteredUnderTheTimetableLock) {
    readPending(); // the timed-start service's tables exist
    struct Watch {
        int changes = 0, unlocked = 0;
    } watch;
    sqlite3* db = host::store();
    ASSERT_EQ(SQLITE_OK, sqlite3_create_function(
                             db, "velmora_lock_watch", 0, SQLITE_UTF8, &watch,
                             [](sqlite3_context* context, int, sqlite3_value**) {
                                 Watch* w = static_cast<Watch*>(sqlite3_user_data(context));
                                 ++w->changes;
                                 w->unlocked += mutexIsFree(TIMETABLE_LOCK_NAME);
                                 sqlite3_result_null(context);
                             },
                             nullptr, nullptr));
    for (const char* change : {"INSERT", "UPDATE", "DELETE"}) {
        const std::string trigger = std::string("CREATE TEMP TRIGGER watch_") + change + " AFTER " +
                                    change +
                                    " ON main.timed_starts BEGIN SELECT velmora_lock_watch(); END";
        ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, trigger.c_str(), nullptr, nullptr, nullptr));
    }
    timedStart("2026-12-14 00:00"); // registers 07:00
    timedStart("2026-12-14 07:00"); // replaces it with Saturday's 00:00
    ASSERT_TRUE(writeDayFlags(u"0000000"));
    timedStart("2026-12-19 00:00"); // cancels it
    EXPECT_EQ("none", pending());
    EXPECT_EQ(3, watch.changes);
    EXPECT_EQ(0, watch.unlocked);
    EXPECT_TRUE(shown.empty());
}

// ---- The timetable lock, with other processes ----

class TimedRunLock : public TimedRun {
  protected:
    // A Monday night with the default timetable: the switch-off is due, 07:00 comes next.
    void SetUp() override {
        TimedRun::SetUp();
        setClock("2026-12-14 00:00");
        program = VELMORA_EXE;
    }
    std::string programPending() {
        std::optional<control::PendingStart> p = readPendingFor(program);
        return p ? p->text : "none";
    }
    std::string program;
};

// While another process stores the timetable (it holds the lock), a timed run registers
// nothing; it registers from the timetable that process left.
TEST_F(TimedRunLock, ATimedRunRegistersOnlyOnceTheTimetableIsStored) {
    HANDLE lock = CreateMutexW(nullptr, FALSE, TIMETABLE_LOCK_NAME);
    ASSERT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(lock, 0));
    CommandResult run;
    std::thread timed([&] { run = velmora({"AppRunAtTime"}); });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ("none", programPending()) << "nothing registered while the lock is held";
    ASSERT_TRUE(writeSwitchMinute(TEXT("S1"), 390));
    ASSERT_TRUE(ReleaseMutex(lock));
    timed.join();
    CloseHandle(lock);
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_EQ("2026-12-14 06:30:00", programPending()) << "from the timetable stored meanwhile";
    EXPECT_TRUE(boxes().empty());
}

// A lock that is never let go is waited for a bounded time, in real time however fast the
// phone's tick count runs; the run then registers all the same, and says so once it is done.
TEST_F(TimedRunLock, ALockNeverLetGoIsWaitedForBoundedly) {
    MutexHolder holder(TIMETABLE_LOCK_NAME);
    ASSERT_TRUE(holder.held());
    ASSERT_EQ(ERROR_SUCCESS, control::setVirtualTick(1000)); // the wait's length in ten readings
    const auto started = std::chrono::steady_clock::now();
    CommandResult run = velmora({"AppRunAtTime"});
    EXPECT_GE(std::chrono::steady_clock::now() - started,
              std::chrono::milliseconds(NAMED_LOCK_WAIT_MS));
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_EQ("2026-12-14 07:00:00", programPending());
    std::vector<control::MessageRecord> all = boxes();
    ASSERT_EQ(1u, all.size());
    EXPECT_EQ("rozev -- 出錯", all[0].caption);
    EXPECT_EQ("等候其他程序時出錯！\nNo : 258", all[0].text);
}

// A holder that died holding the lock holds nothing up: the next run goes on without a word.
TEST_F(TimedRunLock, AHolderThatDiedHoldingTheLockHoldsNothingUp) {
    MutexHolder holder(TIMETABLE_LOCK_NAME);
    ASSERT_TRUE(holder.held());
    // Our handle keeps the mutex in being, so the run finds it abandoned, not new.
    HANDLE ours = CreateMutexW(nullptr, FALSE, TIMETABLE_LOCK_NAME);
    holder.kill();
    CommandResult run = velmora({"AppRunAtTime"});
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_EQ("2026-12-14 07:00:00", programPending());
    EXPECT_TRUE(boxes().empty()) << run.err;
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(ours, 0)) << "the run released it";
    ReleaseMutex(ours);
    CloseHandle(ours);
}

} // namespace
