// The phone's clock: parsing, calendar facts, and pinning shared by every process.
#include "phone_fixture.h"

namespace {

TEST(Calendar, ParsesOnlyRealLocalTimes) {
    struct Case {
        const char* text;
        bool ok;
        int weekday;
    } cases[] = {{"2006-03-12 07:00", true, 0},     {"2024-02-29 23:59:59", true, 4},
                 {"2023-02-29 10:00", false, 0},    {"2100-02-29 10:00", false, 0},
                 {"2000-02-29 10:00", true, 2},     {"2026-12-31 24:00", false, 0},
                 {"2026-04-31 10:00", false, 0},    {"2026-01-01 10:60", false, 0},
                 {"2026-01-01 10:00:60", false, 0}, {"2026-01-01", false, 0},
                 {"2026-01-01 10:00 x", false, 0},  {"yesterday", false, 0},
                 {"2026-3-5 7:00", true, 4},        {"10000-01-01 00:00", true, 6},
                 {"30828-01-01 00:00", false, 0},   {"1600-12-31 00:00", false, 0},
                 {"2026-12-1223:00", false, 0},     {" 2026-12-12 23:00", false, 0},
                 {"2026-12-12 -0:00", false, 0},    {"2026-12-12  23:00", false, 0},
                 {"2026-12-12 23:0", false, 0},     {"2026-12-12 23:00:", false, 0}};
    for (const Case& c : cases) {
        SYSTEMTIME t;
        EXPECT_EQ(c.ok, host::parseDateTime(c.text, &t)) << c.text;
        if (c.ok) {
            EXPECT_EQ(c.weekday, t.wDayOfWeek) << c.text;
        }
    }
}

class Clock : public TempPhone {};

TEST_F(Clock, PinnedTimeIsSeenByOtherProcesses) {
    setClock("2008-02-27 06:59:30");
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ("2008-02-27 06:59:30", host::formatDateTime(now));
    EXPECT_EQ(3, now.wDayOfWeek);
    EXPECT_EQ("2008-02-27 06:59:30\n", phone({"clock"}).out);

    EXPECT_EQ(0, phone({"clock", "set", "2030-01-01 00:00"}).status);
    GetLocalTime(&now);
    EXPECT_EQ("2030-01-01 00:00:00", host::formatDateTime(now));

    EXPECT_EQ(0, phone({"clock", "follow"}).status);
    EXPECT_FALSE(readPinnedClock());
    GetLocalTime(&now);
    EXPECT_TRUE(host::isValidDateTime(now));
    EXPECT_GE(now.wYear, 2024);
}

TEST_F(Clock, RejectsABadDate) {
    CommandResult r = phone({"clock", "set", "2023-02-29 10:00"});
    EXPECT_EQ(2, r.status);
    EXPECT_NE(std::string::npos, r.err.find("not a local date and time"));
    EXPECT_FALSE(readPinnedClock());
}

} // namespace
