// The console's calendar (calendar.h): local times ordered and moved by days, and the
// instant at which a start registered for a local time fires when the clocks change.
#include "phone_fixture.h"
#include "tools/velmora-phone/calendar.h"

#include <cstdlib>
#include <ctime>

namespace {

SYSTEMTIME at(const char* text) {
    SYSTEMTIME t{};
    EXPECT_TRUE(host::parseDateTime(text, &t)) << text;
    return t;
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
        long long instant = phone::startInstant(at(c.local));
        EXPECT_EQ(c.utc, instant) << c.local;
        EXPECT_EQ(c.fires, host::formatDateTime(phone::localTimeAt(instant))) << c.local;
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
        SYSTEMTIME t = phone::addDays(at(c.from), c.days);
        EXPECT_EQ(c.to, host::formatDateTime(t)) << c.from << " + " << c.days;
        EXPECT_EQ(c.weekday, t.wDayOfWeek) << c.to;
    }
    EXPECT_LT(phone::compareLocalTimes(at("2026-12-13 06:59:59"), at("2026-12-13 07:00")), 0);
    EXPECT_GT(phone::compareLocalTimes(at("2027-01-01 00:00"), at("2026-12-31 23:59:59")), 0);
    SYSTEMTIME a = at("2026-12-13 07:00"), b = a;
    b.wMilliseconds = 500;
    b.wDayOfWeek = 3;
    EXPECT_EQ(0, phone::compareLocalTimes(a, b)) << "weekday and milliseconds play no part";
}

} // namespace
