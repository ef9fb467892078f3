// The timed-start service: one pending start per executable, replaced, cancelled or refused
// whole; and the instant at which a local time fires when the clocks change.
#include "phone_fixture.h"

#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace {

SYSTEMTIME at(const char* text) {
    SYSTEMTIME t{};
    EXPECT_TRUE(host::parseDateTime(text, &t)) << text;
    return t;
}

SYSTEMTIME raw(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME t{};
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    return t;
}

std::string pendingFor(const std::string& path) {
    std::optional<host::PendingStart> p = readPendingFor(path);
    return p ? p->text : "none";
}

class TimedStart : public TempPhone {};

TEST_F(TimedStart, RegisterReplaceAndCancel) {
    const char16_t* app = u"/phone/velmora";
    SYSTEMTIME first = at("2026-12-13 00:00"), second = at("2026-12-13 07:00");
    first.wDayOfWeek = 4; // the caller's weekday is not trusted; the date's own is kept

    EXPECT_TRUE(CeRunAppAtTime(app, nullptr)) << "cancelling with nothing pending is no failure";
    EXPECT_EQ("none", pendingFor("/phone/velmora"));

    ASSERT_TRUE(CeRunAppAtTime(app, &first));
    EXPECT_EQ("2026-12-13 00:00:00", pendingFor("/phone/velmora"));
    EXPECT_EQ(0, readPendingFor("/phone/velmora")->at.wDayOfWeek);

    ASSERT_TRUE(CeRunAppAtTime(app, &second));
    ASSERT_TRUE(CeRunAppAtTime(u"/phone/other", &first));
    std::vector<host::PendingStart> all = readPending();
    ASSERT_EQ(2u, all.size()) << "one per program, the newer registration replacing the older";
    EXPECT_EQ("/phone/other", all[0].path) << "earliest first";
    EXPECT_EQ("2026-12-13 07:00:00", pendingFor("/phone/velmora"));

    ASSERT_TRUE(CeRunAppAtTime(app, nullptr));
    EXPECT_EQ("none", pendingFor("/phone/velmora"));
    EXPECT_EQ("2026-12-13 00:00:00", pendingFor("/phone/other")) << "only its own is cancelled";
}

TEST_F(TimedStart, ImpossibleTimesAreRefusedAndTheOldRegistrationStays) {
    const SYSTEMTIME refused[] = {
        raw(2026, 12, 14, 25, 0, 0), // a stored minute of 1500
        raw(2026, 12, 14, 24, 0, 0), raw(2026, 12, 14, 7, 60, 0), raw(2026, 12, 14, 7, 0, 60),
        raw(2026, 0, 14, 7, 0, 0),   raw(2026, 13, 14, 7, 0, 0),  raw(2026, 4, 31, 7, 0, 0),
        raw(2007, 2, 29, 7, 0, 0),   raw(2100, 2, 29, 7, 0, 0),   raw(2026, 12, 0, 7, 0, 0),
        raw(2026, 1, 32, 7, 0, 0),
    };
    SYSTEMTIME good = at("2026-12-13 07:00");
    ASSERT_TRUE(CeRunAppAtTime(u"/phone/velmora", &good));
    for (const SYSTEMTIME& t : refused) {
        SetLastError(0);
        EXPECT_FALSE(CeRunAppAtTime(u"/phone/velmora", &t)) << host::formatDateTime(t);
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
        EXPECT_EQ("2026-12-13 07:00:00", pendingFor("/phone/velmora")) << host::formatDateTime(t);
    }
    const SYSTEMTIME accepted[] = {raw(2008, 2, 29, 23, 59, 59), raw(2000, 2, 29, 0, 0, 0),
                                   raw(2026, 12, 31, 0, 0, 0)};
    for (const SYSTEMTIME& t : accepted)
        EXPECT_TRUE(CeRunAppAtTime(u"/phone/velmora", &t)) << host::formatDateTime(t);

    SetLastError(0);
    EXPECT_FALSE(CeRunAppAtTime(nullptr, &good));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(CeRunAppAtTime(u"", &good));
}

// The service keeps its own record of each registration it refused, with the error the caller
// got; a registration it took is not in it.
TEST_F(TimedStart, RefusalsAreRecordedByTheService) {
    SYSTEMTIME good = at("2026-12-13 07:00"), hour25 = raw(2026, 12, 14, 25, 0, 0);
    struct Case {
        const char16_t* path;
        const SYSTEMTIME* time;
        bool refused;
        const char* at;
    } cases[] = {
        {u"/phone/velmora", &good, false, ""},
        {u"/phone/velmora", &hour25, true, "2026-12-14 25:00:00"},
        {u"/phone/velmora", nullptr, false, ""},
        {u"", &good, true, "2026-12-13 07:00:00"},
    };
    long long mark = 0;
    for (const Case& c : cases) {
        ASSERT_EQ(ERROR_SUCCESS, host::lastTimedStartRefusalId(&mark));
        BOOL taken = CeRunAppAtTime(c.path, c.time);
        EXPECT_EQ(!c.refused, taken != FALSE) << c.at;
        std::vector<host::TimedStartRefusal> refusals;
        ASSERT_EQ(ERROR_SUCCESS, host::timedStartRefusals(&refusals, mark));
        ASSERT_EQ(c.refused ? 1u : 0u, refusals.size()) << c.at;
        if (!c.refused)
            continue;
        EXPECT_EQ(host::toUtf8(c.path), refusals[0].path);
        EXPECT_EQ(c.at, refusals[0].at);
        EXPECT_EQ(GetLastError(), refusals[0].error);
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), refusals[0].error);
        EXPECT_EQ(getpid(), refusals[0].pid);
    }
}

TEST_F(TimedStart, AStoreThatCannotBeOpenedFailsWithItsStatus) {
    setenv("VELMORA_PHONE", dir.c_str(), 1); // a folder is no store
    host::closeStore();
    SYSTEMTIME good = at("2026-12-13 07:00");
    SetLastError(0);
    EXPECT_FALSE(CeRunAppAtTime(u"/phone/velmora", &good));
    EXPECT_NE(0u, GetLastError());
    EXPECT_NE(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(CeRunAppAtTime(u"/phone/velmora", nullptr));
}

TEST_F(TimedStart, TakingAFiredStartKeepsANewerRegistration) {
    SYSTEMTIME first = at("2026-12-13 00:00"), second = at("2026-12-13 07:00");
    ASSERT_TRUE(CeRunAppAtTime(u"/phone/velmora", &first));
    host::PendingStart fired = *readPendingFor("/phone/velmora");
    ASSERT_TRUE(CeRunAppAtTime(u"/phone/velmora", &second));
    EXPECT_EQ(ERROR_SUCCESS, host::takePendingStart(fired));
    EXPECT_EQ("2026-12-13 07:00:00", pendingFor("/phone/velmora"));
    EXPECT_EQ(ERROR_SUCCESS, host::takePendingStart(*readPendingFor("/phone/velmora")));
    EXPECT_EQ("none", pendingFor("/phone/velmora"));
}

// A zone with summer time, written as a rule so that no zone files are needed.
class ZoneChanges : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        saved = tz ? std::optional<std::string>(tz) : std::nullopt;
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    void TearDown() override {
        if (saved)
            setenv("TZ", saved->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::optional<std::string> saved;
};

TEST_F(ZoneChanges, StartInstantsAcrossClockChanges) {
    struct Case {
        const char* local;
        const char* fires; // local time at the start's instant
        long long utc;     // the instant, as if the local time were UTC minus the offset
    } cases[] = {
        {"2026-12-13 07:00:00", "2026-12-13 07:00:00", 1797141600}, // winter, +1
        {"2026-07-01 12:00:00", "2026-07-01 12:00:00", 1782900000}, // summer, +2
        {"2026-03-29 01:59:00", "2026-03-29 01:59:00", 1774745940}, // just before the gap
        {"2026-03-29 02:00:00", "2026-03-29 03:00:00", 1774746000}, // skipped hour
        {"2026-03-29 02:30:00", "2026-03-29 03:00:00", 1774746000}, // skipped hour
        {"2026-03-29 02:59:59", "2026-03-29 03:00:00", 1774746000}, // skipped hour
        {"2026-03-29 03:00:00", "2026-03-29 03:00:00", 1774746000}, // first existing minute
        {"2026-10-25 02:30:00", "2026-10-25 02:30:00", 1792888200}, // repeated: first one
        {"2026-10-25 03:00:00", "2026-10-25 03:00:00", 1792893600}, // after the repeat
    };
    for (const Case& c : cases) {
        long long instant = host::startInstant(at(c.local));
        EXPECT_EQ(c.utc, instant) << c.local;
        EXPECT_EQ(c.fires, host::formatDateTime(host::localTimeAt(instant))) << c.local;
    }
}

TEST(LocalTimes, AddDaysAndCompare) {
    struct Case {
        const char* from;
        int days;
        const char* to;
        int weekday;
    } cases[] = {
        {"2026-12-12 23:00:00", 7, "2026-12-19 23:00:00", 6},
        {"2026-12-30 10:00:00", 3, "2027-01-02 10:00:00", 6},
        {"2008-02-27 00:00:00", 2, "2008-02-29 00:00:00", 5},
        {"2007-02-27 00:00:00", 2, "2007-03-01 00:00:00", 4},
        {"2026-12-13 07:00:00", 365, "2027-12-13 07:00:00", 1},
        {"2000-03-01 00:00:00", -1, "2000-02-29 00:00:00", 2},
    };
    for (const Case& c : cases) {
        SYSTEMTIME t = host::addDays(at(c.from), c.days);
        EXPECT_EQ(c.to, host::formatDateTime(t)) << c.from << " + " << c.days;
        EXPECT_EQ(c.weekday, t.wDayOfWeek) << c.to;
    }
    EXPECT_LT(host::compareLocalTimes(at("2026-12-13 06:59:59"), at("2026-12-13 07:00")), 0);
    EXPECT_GT(host::compareLocalTimes(at("2027-01-01 00:00"), at("2026-12-31 23:59:59")), 0);
    SYSTEMTIME a = at("2026-12-13 07:00"), b = a;
    b.wMilliseconds = 500;
    b.wDayOfWeek = 3;
    EXPECT_EQ(0, host::compareLocalTimes(a, b)) << "weekday and milliseconds play no part";
}

} // namespace
