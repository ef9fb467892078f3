// The search for the next switch: today's choice, the walk over later weekdays, the calendar
// roll-over, odd stored minutes, and a comparison with a plain minute-by-minute scan.
#include "schedule/next_switch.h"
#include "schedule/settings.h"
#include "support/phone_fixture.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct Timetable {
    std::string flags;
    std::array<DWORD, 7> on{}, off{};
};

struct Found {
    LONG minute;
    SYSTEMTIME when;
};

int weekdayOf(int year, int month, int day) {
    using namespace std::chrono;
    return static_cast<int>(weekday(sys_days(std::chrono::year(year) / month / day)).c_encoding());
}

// Flags with only the given weekday taking part.
std::string onlyDay(int weekday) {
    std::string flags = "0000000";
    flags[weekday] = '1';
    return flags;
}

class NextSwitch : public TempPhone {
  protected:
    void SetUp() override {
        TempPhone::SetUp();
        ASSERT_EQ(openSettings(), ERROR_SUCCESS);
    }
    void TearDown() override {
        closeSettings();
        TempPhone::TearDown();
    }

    void setDay(int weekday, DWORD on, DWORD off) {
        WCHAR name[SWITCH_NAME_CHARS];
        formatSwitchName(name, SWITCH_NAME_CHARS, SwitchOn, weekday);
        ASSERT_TRUE(writeSwitchMinute(name, on));
        formatSwitchName(name, SWITCH_NAME_CHARS, SwitchOff, weekday);
        ASSERT_TRUE(writeSwitchMinute(name, off));
    }
    void setFlags(const std::string& flags) {
        ASSERT_TRUE(writeDayFlags(host::fromUtf8(flags).c_str()));
    }
    void setTimetable(const Timetable& t) {
        setFlags(t.flags);
        for (int i = 0; i < 7; ++i)
            setDay(i, t.on[i], t.off[i]);
    }
    Found next() {
        Found f;
        std::memset(&f.when, 0xA5, sizeof f.when);
        f.minute = findNextSwitch(&f.when);
        return f;
    }
    std::string line() {
        WCHAR text[NEXT_LINE_CHARS];
        formatNextSwitchLine(text, NEXT_LINE_CHARS);
        return host::toUtf8(text);
    }
};

void expectDate(const Found& f, int year, int month, int day, const std::string& why) {
    EXPECT_EQ(f.when.wYear, year) << why;
    EXPECT_EQ(f.when.wMonth, month) << why;
    EXPECT_EQ(f.when.wDay, day) << why;
    EXPECT_EQ(f.when.wDayOfWeek, weekdayOf(year, month, day)) << why;
}

// ---- The choice within today ----

TEST_F(NextSwitch, ChoosesTheEarliestSwitchStillAheadToday) {
    // Sunday 12 March 2006; Monday's earlier switch is 500, so a move on to Monday shows.
    struct Case {
        DWORD on, off;
        const char* clock;
        LONG minute;
        int day; // 12 = today, 13 = Monday
    } cases[] = {
        {420, 0, "06:59", 420, 12},      // S ahead, C past
        {420, 0, "06:59:59", 420, 12},   // seconds play no part
        {420, 0, "07:00", 500, 13},      // a switch at the current minute is past
        {420, 0, "07:00:59", 500, 13},   //
        {1320, 1380, "22:30", 1380, 12}, // between: the switch-off still to come
        {1380, 1320, "21:00", 1320, 12}, // C before S, both ahead: the earlier
        {1380, 1320, "22:00", 1380, 12}, // C exactly now is past, S still ahead
        {700, 800, "06:00", 700, 12},    // both ahead, S first
        {800, 300, "06:00", 800, 12},    // C past, S ahead
        {600, 900, "09:59", 600, 12},    //
        {600, 900, "10:00", 900, 12},    // S now, C ahead
        {600, 900, "15:00", 500, 13},    // both past
        {600, 600, "09:00", 600, 12},    // S = C ahead
        {600, 600, "10:00", 500, 13},    // S = C now
        {0, 0, "00:00", 500, 13},        // midnight switches at midnight are past
        {1439, 1439, "23:58", 1439, 12}, // last minute of the day still ahead
        {1439, 1439, "23:59", 500, 13},  //
    };
    setFlags("1100001");
    setDay(1, 600, 500);
    for (const Case& c : cases) {
        std::string why = std::string("S=") + std::to_string(c.on) + " C=" + std::to_string(c.off) +
                          " at " + c.clock;
        setDay(0, c.on, c.off);
        setClock(std::string("2006-03-12 ") + c.clock);
        Found f = next();
        EXPECT_EQ(f.minute, c.minute) << why;
        expectDate(f, 2006, 3, c.day, why);
    }
}

TEST_F(NextSwitch, RecordKeepsTheClockReadingOfTheTimeOfDay) {
    setFlags("1000000");
    setDay(0, 1000, 1100);
    for (const char* clock : {"2006-03-12 08:17:42", "2006-03-12 23:59:59"}) {
        setClock(clock);
        SYSTEMTIME reading;
        GetLocalTime(&reading);
        Found f = next();
        EXPECT_EQ(f.when.wHour, reading.wHour) << clock;
        EXPECT_EQ(f.when.wMinute, reading.wMinute) << clock;
        EXPECT_EQ(f.when.wSecond, reading.wSecond) << clock;
        EXPECT_EQ(f.when.wMilliseconds, reading.wMilliseconds) << clock;
    }
}

TEST_F(NextSwitch, TodayIsIgnoredWhenItDoesNotTakePart) {
    // Sunday's switches are still ahead but Sunday is off; Tuesday is the next day on.
    setFlags("0010000");
    setDay(0, 900, 800);
    setDay(2, 100, 200);
    setClock("2006-03-12 06:00");
    Found f = next();
    EXPECT_EQ(f.minute, 100);
    expectDate(f, 2006, 3, 14, "Tuesday");
}

// ---- The walk over later weekdays ----

TEST_F(NextSwitch, WalksToTheNextDayThatTakesPart) {
    struct Case {
        const char* flags;
        const char* clock;
        LONG minute;
        int year, month, day;
    } cases[] = {
        // Sunday after its switches: Thursday, four days on.
        {"1000100", "2006-03-12 08:00", 40, 2006, 3, 16},
        // Sunday off, Monday on.
        {"0100000", "2006-03-12 03:00", 10, 2006, 3, 13},
        // Saturday 23:00 wraps over to Sunday.
        {"1000001", "2006-03-18 23:00", 0, 2006, 3, 19},
        // Friday wraps over Saturday and Sunday to Monday.
        {"0100000", "2006-03-17 12:00", 10, 2006, 3, 20},
        // Only today, both switches past: the same weekday a week on.
        {"1000000", "2006-03-12 08:00", 0, 2006, 3, 19},
        {"0000001", "2006-03-18 23:59", 60, 2006, 3, 25},
        // Only today, a switch still ahead: today.
        {"1000000", "2006-03-12 06:00", 420, 2006, 3, 12},
    };
    // Each weekday's smaller minute is 10 * weekday, except Sunday (0 and 420) and Saturday.
    for (int i = 1; i < 6; ++i)
        setDay(i, 10 * i + 5, 10 * i);
    setDay(0, 420, 0);
    setDay(6, 60, 1200);
    for (const Case& c : cases) {
        std::string why = std::string(c.flags) + " at " + c.clock;
        setFlags(c.flags);
        setClock(c.clock);
        Found f = next();
        EXPECT_EQ(f.minute, c.minute) << why;
        expectDate(f, c.year, c.month, c.day, why);
    }
}

TEST_F(NextSwitch, NoneWhenNoWeekdayTakesPart) {
    // Only the character '1' marks a day; anything else, or a short stored text, does not.
    for (const char* flags : {"0000000", "", "2222222", "abcdefg", " 000000", "000"}) {
        setFlags(flags);
        for (const char* clock : {"2006-03-12 00:00", "2006-03-18 23:59"}) {
            setClock(clock);
            SYSTEMTIME reading;
            GetLocalTime(&reading);
            Found f = next();
            EXPECT_EQ(f.minute, NO_NEXT_SWITCH) << '"' << flags << "\" at " << clock;
            // Without a switch the record still holds the clock reading, date included.
            EXPECT_EQ(f.when.wYear, reading.wYear);
            EXPECT_EQ(f.when.wDay, reading.wDay);
            EXPECT_EQ(f.when.wDayOfWeek, reading.wDayOfWeek);
            EXPECT_EQ(line(), "Next : None");
        }
    }
}

TEST_F(NextSwitch, ShortStoredFlagsLeaveTheMissingWeekdaysOut) {
    // "11" reaches Sunday and Monday only; on Tuesday the walk wraps round to Sunday.
    setFlags("11");
    setDay(0, 420, 0);
    setDay(1, 420, 0);
    setClock("2006-03-14 12:00");
    Found f = next();
    EXPECT_EQ(f.minute, 0);
    expectDate(f, 2006, 3, 19, "Sunday after Tuesday");
}

TEST_F(NextSwitch, EmptyKeyUsesTheDefaultTimetable) {
    // Sunday, Monday and Saturday; on 07:00, off 00:00.
    setClock("2006-03-14 12:00"); // Tuesday
    Found f = next();
    EXPECT_EQ(f.minute, 0);
    expectDate(f, 2006, 3, 18, "Saturday");
    EXPECT_EQ(line(), "Next : 2006/3/18 0:00 ");
}

// ---- The calendar ----

TEST_F(NextSwitch, RollsTheDateOverMonthAndYearEnds) {
    struct Case {
        const char* date;
        int steps;
        int year, month, day;
    } cases[] = {
        {"2007-12-30", 3, 2008, 1, 2},
        {"2008-02-27", 2, 2008, 2, 29},
        {"2007-02-27", 2, 2007, 3, 1},
        {"2007-02-28", 1, 2007, 3, 1},
        {"2008-02-28", 1, 2008, 2, 29},
        {"2008-02-29", 1, 2008, 3, 1},
        {"2006-04-29", 2, 2006, 5, 1},
        {"2006-05-30", 2, 2006, 6, 1},
        {"2006-01-31", 1, 2006, 2, 1},
        {"2006-06-30", 1, 2006, 7, 1},
        {"2006-09-30", 1, 2006, 10, 1},
        {"2006-10-31", 1, 2006, 11, 1},
        {"2006-11-30", 1, 2006, 12, 1},
        {"2006-12-31", 1, 2007, 1, 1},
        {"2006-08-31", 6, 2006, 9, 6},
        {"2006-07-28", 3, 2006, 7, 31},
        {"1900-02-28", 1, 1900, 3, 1},
        {"2000-02-28", 1, 2000, 2, 29},
        {"2100-02-28", 1, 2100, 3, 1},
        {"2400-02-28", 1, 2400, 2, 29},
        // A whole week on: the step can reach day 38, still one month on.
        {"2006-12-31", 7, 2007, 1, 7},
        {"2006-12-25", 7, 2007, 1, 1},
        {"2006-01-31", 7, 2006, 2, 7},
        {"2006-04-30", 7, 2006, 5, 7},
        {"2007-02-28", 7, 2007, 3, 7},
        {"2007-02-22", 7, 2007, 3, 1},
        {"2008-02-29", 7, 2008, 3, 7},
        {"2008-02-22", 7, 2008, 2, 29},
        {"2008-02-23", 7, 2008, 3, 1},
        {"2006-03-21", 7, 2006, 3, 28},
    };
    for (const Case& c : cases) {
        std::string why = std::string(c.date) + " + " + std::to_string(c.steps);
        std::string clock = std::string(c.date) + " 12:00:30";
        setClock(clock);
        SYSTEMTIME reading;
        GetLocalTime(&reading);
        int target = (reading.wDayOfWeek + c.steps) % 7;
        setFlags(onlyDay(target));
        setDay(target, 420, 60); // both before 12:00, so a week's step is needed for today
        Found f = next();
        EXPECT_EQ(f.minute, 60) << why;
        expectDate(f, c.year, c.month, c.day, why);
        EXPECT_EQ(f.when.wHour, 12) << why;
        EXPECT_EQ(f.when.wSecond, 30) << why;
    }
}

TEST(LeapYear, FollowsTheGregorianRule) {
    struct Case {
        WORD year;
        BOOL leap;
    } cases[] = {{1900, 0},  {2000, 1}, {2100, 0}, {2004, 1}, {2007, 0}, {2008, 1},
                 {1600, 1},  {2400, 1}, {1, 0},    {4, 1},    {0, 1},    {65532, 1},
                 {65535, 0}, {1700, 0}, {2024, 1}, {2023, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(isLeapYear(c.year), c.leap) << c.year;
}

// ---- Odd stored minutes ----

TEST_F(NextSwitch, OutOfRangeAndTopBitMinutes) {
    struct Case {
        const char* what;
        DWORD todayOn, todayOff; // Wednesday 15 March 2006, 12:00; Wednesday takes part
        DWORD laterOn, laterOff; // Thursday, the only other day that takes part
        LONG minute;             // negative: no next switch
        const char* line;
    } cases[] = {
        {"stored 2000 is used unchanged", 2000, 0, 420, 0, 2000, "Next : 2006/3/15 33:20 "},
        {"1440 ahead of any minute", 1440, 1500, 420, 0, 1440, "Next : 2006/3/15 24:00 "},
        {"top-bit S ahead today", 0x80000000u, 0, 420, 0, -1, "Next : None"},
        {"top-bit C ahead today", 100, 0xFFFFFFFFu, 420, 0, -1, "Next : None"},
        {"earlier C beats a top-bit S", 0x80000000u, 900, 420, 0, 900, "Next : 2006/3/15 15:00 "},
        {"later day, both top-bit", 100, 200, 0xFFFFFFFEu, 0xFFFFFFFFu, -1, "Next : None"},
        {"later day, smaller is in range", 100, 200, 0x80000000u, 300, 300,
         "Next : 2006/3/16 5:00 "},
        {"later day, out of range", 100, 200, 5000, 3000, 3000, "Next : 2006/3/16 50:00 "},
    };
    setFlags("0001100");
    setClock("2006-03-15 12:00");
    for (const Case& c : cases) {
        setDay(3, c.todayOn, c.todayOff);
        setDay(4, c.laterOn, c.laterOff);
        Found f = next();
        if (c.minute < 0)
            EXPECT_LT(f.minute, 0) << c.what;
        else
            EXPECT_EQ(f.minute, c.minute) << c.what;
        EXPECT_EQ(line(), c.line) << c.what;
    }
}

// ---- The line ----

TEST_F(NextSwitch, LineFormat) {
    struct Case {
        const char* clock;
        DWORD on, off;
        const char* line;
    } cases[] = {
        {"2006-03-12 06:00", 420, 0, "Next : 2006/3/12 7:00 "},
        {"2006-03-12 06:00", 425, 0, "Next : 2006/3/12 7:05 "},
        {"2006-03-12 06:00", 1439, 1330, "Next : 2006/3/12 22:10 "},
        {"2006-03-12 00:00", 1, 0, "Next : 2006/3/12 0:01 "},
    };
    setFlags("1000000");
    for (const Case& c : cases) {
        setClock(c.clock);
        setDay(0, c.on, c.off);
        EXPECT_EQ(line(), c.line) << c.clock;
    }
}

TEST_F(NextSwitch, LineIsCutToTheBufferGiven) {
    setFlags("1000000");
    setDay(0, 420, 0);
    setClock("2006-03-12 06:00");
    for (size_t capacity : {size_t(1), size_t(5), size_t(12), size_t(23), size_t(24)}) {
        std::vector<WCHAR> text(capacity, u'#');
        formatNextSwitchLine(text.data(), capacity);
        std::string got = host::toUtf8(text.data());
        EXPECT_EQ(got, std::string("Next : 2006/3/12 7:00 ").substr(0, capacity - 1)) << capacity;
    }
    formatNextSwitchLine(nullptr, NEXT_LINE_CHARS); // nothing to write into: nothing happens
    WCHAR untouched = u'#';
    formatNextSwitchLine(&untouched, 0);
    EXPECT_EQ(untouched, u'#');
}

// ---- One reading of the clock ----

int clockReads = 0;

int countClockReads(unsigned, void*, void* statement, void*) {
    char* sql = sqlite3_expanded_sql(static_cast<sqlite3_stmt*>(statement));
    if (sql && std::strstr(sql, "FROM settings") && std::strstr(sql, "'clock'"))
        ++clockReads;
    sqlite3_free(sql);
    return 0;
}

TEST_F(NextSwitch, ReadsTheClockOnce) {
    // The pinned clock is read from the phone's store, so each reading shows as one query.
    // Two readings could straddle midnight and pair one day's weekday with the next's date.
    setFlags("0000001");
    setClock("2006-03-12 23:59");
    sqlite3* db = host::store();
    ASSERT_NE(db, nullptr);
    clockReads = 0;
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, countClockReads, nullptr);
    Found f = next();
    sqlite3_trace_v2(db, 0, nullptr, nullptr);
    EXPECT_EQ(clockReads, 1);
    expectDate(f, 2006, 3, 18, "Saturday");
}

// ---- Against a plain scan ----

struct Expected {
    LONG minute;
    int year, month, day, weekday;
};

// Walks forward one minute at a time over the next eight days, with the standard library's
// calendar, and stops at the first minute at which a day that takes part switches.
Expected scanForward(const Timetable& t, const SYSTEMTIME& now) {
    using namespace std::chrono;
    sys_days today = sys_days(std::chrono::year(now.wYear) / now.wMonth / now.wDay);
    int current = now.wHour * 60 + now.wMinute;
    for (int offset = 1; offset <= 8 * 1440; ++offset) {
        int total = current + offset;
        sys_days date = today + days(total / 1440);
        DWORD minute = static_cast<DWORD>(total % 1440);
        int wd = static_cast<int>(weekday(date).c_encoding());
        if (t.flags.size() > static_cast<size_t>(wd) && t.flags[wd] == '1' &&
            (t.on[wd] == minute || t.off[wd] == minute)) {
            year_month_day ymd(date);
            return {static_cast<LONG>(minute), static_cast<int>(ymd.year()),
                    static_cast<int>(static_cast<unsigned>(ymd.month())),
                    static_cast<int>(static_cast<unsigned>(ymd.day())), wd};
        }
    }
    return {NO_NEXT_SWITCH, 0, 0, 0, 0};
}

TEST_F(NextSwitch, AgreesWithAMinuteByMinuteScan) {
    std::mt19937 rng(20060312);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int leapAndNot[] = {1900, 2000, 2007, 2008, 2023, 2024, 2100, 2400};

    const int timetables = 250, clocksEach = 12;
    int compared = 0, none = 0, weekOn = 0;
    for (int n = 0; n < timetables; ++n) {
        Timetable t;
        int shape = pick(0, 9);
        int single = pick(0, 6);
        for (int i = 0; i < 7; ++i) {
            // Mostly random flags; sometimes a single day or none at all.
            char flag = pick(0, 1) ? '1' : (pick(0, 3) ? '0' : 'x');
            t.flags += shape == 0 ? '0' : flag;
            t.on[i] = static_cast<DWORD>(pick(0, 1439));
            t.off[i] = pick(0, 5) ? static_cast<DWORD>(pick(0, 1439)) : t.on[i];
        }
        if (shape == 1)
            t.flags = onlyDay(single);
        ASSERT_EQ(ERROR_SUCCESS, host::execute("BEGIN"));
        setTimetable(t);
        ASSERT_EQ(ERROR_SUCCESS, host::execute("COMMIT"));

        for (int c = 0; c < clocksEach; ++c) {
            SYSTEMTIME now{};
            int kind = pick(0, 3);
            now.wYear = static_cast<WORD>(kind == 3 ? pick(1601, 9999) : leapAndNot[pick(0, 7)]);
            now.wMonth = static_cast<WORD>(kind == 1 ? (pick(0, 1) ? 2 : 12) : pick(1, 12));
            int length = host::daysInMonth(now.wYear, now.wMonth);
            // Mostly the last week of the month, where the roll-over happens.
            now.wDay = static_cast<WORD>(kind == 3 ? pick(1, length) : pick(length - 7, length));
            if (shape == 1) {
                // Land on the one day that takes part, so its week-on case comes up often.
                int back = (weekdayOf(now.wYear, now.wMonth, now.wDay) - single + 7) % 7;
                if (now.wDay > back)
                    now.wDay = static_cast<WORD>(now.wDay - back);
            }
            int minute = pick(0, 1439);
            if (pick(0, 1)) {
                // On or next to one of the timetable's own minutes.
                int wd = weekdayOf(now.wYear, now.wMonth, now.wDay);
                int base = static_cast<int>(pick(0, 1) ? t.on[wd] : t.off[wd]);
                minute = std::clamp(base + pick(-1, 1), 0, 1439);
            }
            now.wHour = static_cast<WORD>(minute / 60);
            now.wMinute = static_cast<WORD>(minute % 60);
            now.wSecond = static_cast<WORD>(pick(0, 59));
            ASSERT_EQ(ERROR_SUCCESS, control::pinClock(now)) << host::formatDateTime(now);

            Expected want = scanForward(t, now);
            Found got = next();
            std::string why = "flags " + t.flags + " at " + host::formatDateTime(now);
            ASSERT_EQ(got.minute, want.minute) << why;
            ++compared;
            if (want.minute < 0) {
                ++none;
                continue;
            }
            ASSERT_EQ(got.when.wYear, want.year) << why;
            ASSERT_EQ(got.when.wMonth, want.month) << why;
            ASSERT_EQ(got.when.wDay, want.day) << why;
            ASSERT_EQ(got.when.wDayOfWeek, want.weekday) << why;
            ASSERT_EQ(got.when.wHour, now.wHour) << why;
            ASSERT_EQ(got.when.wMinute, now.wMinute) << why;
            ASSERT_EQ(got.when.wSecond, now.wSecond) << why;
            if (want.weekday == weekdayOf(now.wYear, now.wMonth, now.wDay) &&
                (want.day != now.wDay || want.month != now.wMonth))
                ++weekOn;
        }
    }
    // The draw must reach the cases that matter, or the comparison proves little.
    EXPECT_EQ(compared, timetables * clocksEach);
    EXPECT_GT(none, 50);
    EXPECT_GT(weekOn, 50);
}

} // namespace
