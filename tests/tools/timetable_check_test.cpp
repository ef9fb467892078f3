// The console's own reading of the timetable and its verdicts on a simulated span, on spans
// built by hand: which switches are named missed, and with which cause.
#include "tools/velmora-phone/timetable_check.h"

#include "schedule/settings.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace phone;

namespace {

SYSTEMTIME at(const std::string& text) {
    SYSTEMTIME t{};
    EXPECT_TRUE(clock_text::parseDateTime(text, &t)) << text;
    return t;
}

std::string bytesOf(const std::u16string& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

std::string dword(DWORD n, size_t bytes = 4) {
    return std::string(reinterpret_cast<const char*>(&n), bytes);
}

control::LineDevice voice(DWORD index, DWORD state) {
    return {index, "voice", LINEMEDIAMODE_INTERACTIVEVOICE | 0x10, state, state != 1, "-"};
}

control::LineDevice dataOnly(DWORD index, DWORD state) {
    return {index, "data", 0x10, state, true, "-"};
}

// A start of the program: line 0 (voice) from `before` to `after`, line 1 data only.
StartRecord start(const std::string& fired, const std::string& due, DWORD before, DWORD after,
                  Lateness lateness = Lateness::OnTime) {
    StartRecord s;
    s.fired = at(fired);
    s.due = at(due);
    s.lateness = lateness;
    s.before = {voice(0, before), dataOnly(1, 5)};
    s.after = {voice(0, after), dataOnly(1, 5)};
    control::PendingStart next;
    next.text = "later";
    s.next = next;
    return s;
}

std::vector<Switch> switches(const std::vector<std::pair<std::string, bool>>& list) {
    std::vector<Switch> out;
    for (const auto& [when, on] : list)
        out.push_back({at(when), on});
    return out;
}

// "YYYY-MM-DD HH:MM:SS on|off cause" for each missed switch.
std::vector<std::string> verdicts(const std::vector<MissedSwitch>& missed) {
    std::vector<std::string> out;
    for (const MissedSwitch& m : missed)
        out.push_back(clock_text::formatDateTime(m.missed.at) + (m.missed.on ? " on " : " off ") +
                      causeName(m.cause));
    return out;
}

TEST(TimetableCheck, ReadsTheStoredValuesAsTheProgramDoes) {
    // The check keeps its own defaults; they must stay the program's.
    StoredTimetable empty;
    Timetable t = readTimetable(empty);
    for (int day = 0; day < kWeekdays; ++day) {
        EXPECT_EQ(DEFAULT_DAY_FLAGS[day] == TEXT('1'), t.enabled[day]) << day;
        EXPECT_EQ(static_cast<DWORD>(DEFAULT_SWITCH_ON_MINUTE), t.on[day]);
        EXPECT_EQ(static_cast<DWORD>(DEFAULT_SWITCH_OFF_MINUTE), t.off[day]);
    }

    struct Case {
        const char* what;
        std::optional<std::string> enabled;
        const char* expected; // the seven flags read
    } cases[] = {
        {"seven flags and a terminator", bytesOf(u"0011100") + std::string(2, '\0'), "0011100"},
        {"seven flags, no terminator", bytesOf(u"1000001"), "1000001"},
        {"a short text leaves the missing days off", bytesOf(u"11"), "1100000"},
        {"an odd byte is no flag", bytesOf(u"111") + std::string(1, '1'), "1110000"},
        {"longer than 16 bytes reads as the default", bytesOf(u"000000000"), "1100001"},
        {"only the character '1' takes part", bytesOf(u"1x2 Y11"), "1000011"},
        {"nothing stored", std::string(), "0000000"},
    };
    for (const Case& c : cases) {
        StoredTimetable stored;
        stored.enabled = c.enabled;
        Timetable read = readTimetable(stored);
        std::string flags;
        for (int day = 0; day < kWeekdays; ++day)
            flags += read.enabled[day] ? '1' : '0';
        EXPECT_EQ(c.expected, flags) << c.what;
    }

    StoredTimetable minutes;
    minutes.on[1] = dword(2000);      // kept as it is: never a switch
    minutes.on[2] = dword(0x1234, 2); // upper bytes zero
    minutes.off[3] = dword(90) + "x"; // five bytes: the default
    minutes.on[4] = std::string();    // no bytes: zero
    t = readTimetable(minutes);
    EXPECT_EQ(2000u, t.on[1]);
    EXPECT_EQ(0x1234u, t.on[2]);
    EXPECT_EQ(0u, t.off[3]);
    EXPECT_EQ(0u, t.on[4]);
    EXPECT_EQ(420u, t.on[5]);
}

TEST(TimetableCheck, SwitchesComeInTheOrderTheyHappen) {
    Timetable t;
    t.enabled[0] = true; // Sunday: off 23:00, on 07:00
    t.on[0] = 420;
    t.off[0] = 1380;
    t.enabled[1] = true; // Monday: both at 10:00, on first
    t.on[1] = 600;
    t.off[1] = 600;
    t.enabled[2] = true; // Tuesday: a valid off, an on out of range
    t.on[2] = 1440;
    t.off[2] = 30;
    t.enabled[3] = false; // Wednesday off, whatever its minutes
    t.on[3] = 60;
    // 2026-12-13 is a Sunday.
    std::vector<Switch> all = switchesBetween(t, at("2026-12-13 07:00:30"), at("2026-12-22 00:30"));
    std::vector<std::string> seen;
    for (const Switch& s : all)
        seen.push_back(clock_text::formatDateTime(s.at) + (s.on ? " on" : " off"));
    EXPECT_EQ((std::vector<std::string>{
                  // 07:00 on Sunday is the start's own minute: not after it.
                  "2026-12-13 23:00:00 off", "2026-12-14 10:00:00 on", "2026-12-14 10:00:00 off",
                  "2026-12-15 00:30:00 off", "2026-12-20 07:00:00 on", "2026-12-20 23:00:00 off",
                  "2026-12-21 10:00:00 on", "2026-12-21 10:00:00 off",
                  "2026-12-22 00:30:00 off", // the end is included
              }),
              seen);
    EXPECT_EQ(1, all[1].at.wDayOfWeek) << "switches carry their weekday";

    Timetable never; // nothing enabled; and enabled days with only minutes out of range
    EXPECT_TRUE(switchesBetween(never, at("2026-12-13 00:00"), at("2027-12-13 00:00")).empty());
    for (int day = 0; day < kWeekdays; ++day) {
        never.enabled[day] = true;
        never.on[day] = 1440 + static_cast<DWORD>(day);
        never.off[day] = 0x80000000u;
    }
    EXPECT_TRUE(switchesBetween(never, at("2026-12-13 00:00"), at("2027-12-13 00:00")).empty());
    EXPECT_NE(std::string::npos, describeTimetable(never).find("never"));
}

TEST(TimetableCheck, EachMissedSwitchIsNamedOnceWithTheFirstCauseThatHolds) {
    struct Case {
        const char* what;
        std::vector<Switch> switches;
        SimulatedSpan span;
        std::vector<std::string> expected;
    };
    std::vector<Case> cases;
    auto span = [](const std::string& begin, const std::string& end,
                   std::vector<StartRecord> starts, DWORD lastState) {
        SimulatedSpan s;
        s.begin = at(begin);
        s.end = at(end);
        s.first = starts.empty() ? std::vector<control::LineDevice>{voice(0, lastState)}
                                 : starts.front().before;
        s.last = {voice(0, lastState), dataOnly(1, 5)};
        s.starts = std::move(starts);
        return s;
    };
    // What the simulations of the real program seldom show; the common causes are tested end
    // to end with it.
    const auto sunday = switches({{"2026-12-13 00:00", false}, {"2026-12-13 07:00", true}});

    StartRecord boxed = start("2026-12-13 00:00", "2026-12-13 00:00", 5, 5);
    boxed.boxes = {{1, 1, "Error", "lineGetDevCaps ret: -2147483595", 0, 1}};
    cases.push_back({"a box at the start",
                     sunday,
                     span("2026-12-12 23:00", "2026-12-13 23:00",
                          {boxed, start("2026-12-13 07:00", "2026-12-13 07:00", 5, 5)}, 5),
                     {"2026-12-13 00:00:00 off failed"}});

    // A failure on the data line is not the voice line's: that start switched on time.
    StartRecord otherLine = start("2026-12-13 00:00", "2026-12-13 00:00", 5, 5);
    otherLine.calls = {{1, "lineOpen", 1, -0x7fffffb8, 1, ""}};
    cases.push_back({"a failure on another line",
                     sunday,
                     span("2026-12-12 23:00", "2026-12-13 23:00",
                          {otherLine, start("2026-12-13 07:00", "2026-12-13 07:00", 5, 5)}, 5),
                     {"2026-12-13 00:00:00 off outside"}});

    cases.push_back(
        {"a line in state 4, even with a late start",
         switches({{"2027-03-28 02:30", true}}),
         span("2027-03-28 00:00", "2027-03-28 12:00",
              {start("2027-03-28 03:00", "2027-03-28 02:30", 4, 4, Lateness::ClockSkipped)}, 4),
         {"2027-03-28 02:30:00 on outside"}});

    // On and off in one minute: the switch-off is what stays, and only it is checked.
    const auto both = switches({{"2026-12-14 10:00", true}, {"2026-12-14 10:00", false}});
    cases.push_back({"on then off in one minute",
                     both,
                     span("2026-12-14 09:00", "2026-12-14 12:00",
                          {start("2026-12-14 10:00", "2026-12-14 10:00", 5, 1)}, 1),
                     {}});
    cases.push_back({"on then off in one minute, off missed",
                     both,
                     span("2026-12-14 09:00", "2026-12-14 12:00", {}, 5),
                     {"2026-12-14 10:00:00 off unarmed"}});

    // The phone was off over two switches: the first start fires when it is on again and arms
    // the switch after that; the one between was never armed.
    StartRecord woke = start("2026-12-14 08:00", "2026-12-13 23:00", 5, 5, Lateness::PhoneOff);
    woke.next->text = "2026-12-14 23:00:00";
    SimulatedSpan offSpan = span("2026-12-13 20:00", "2026-12-14 12:00", {woke}, 5);
    offSpan.off = {{at("2026-12-13 22:00"), at("2026-12-14 08:00")}};
    cases.push_back({"a phone that was off",
                     switches({{"2026-12-13 23:00", false},
                               {"2026-12-14 00:30", true},
                               {"2026-12-14 07:00", false}}),
                     offSpan,
                     {"2026-12-13 23:00:00 off late", "2026-12-14 07:00:00 off unarmed"}});

    for (const Case& c : cases)
        EXPECT_EQ(c.expected, verdicts(findMissedSwitches(c.switches, c.span))) << c.what;
}

TEST(TimetableCheck, OneEntryPerSwitchNamesEveryWrongLineAndTheFirstCause) {
    // Line 0 failed at the start; line 2, a second voice line, reads 4. One missed switch.
    StartRecord s = start("2026-12-13 00:00", "2026-12-13 00:00", 5, 5);
    s.before.push_back(voice(2, 4));
    s.after.push_back(voice(2, 4));
    s.calls = {{7, "lineSetEquipmentState", 0, -0x7fffffb8, 1, ""}};
    SimulatedSpan span;
    span.begin = at("2026-12-12 23:00");
    span.end = at("2026-12-13 06:00");
    span.first = s.before;
    span.last = s.after;
    span.starts = {s};
    std::vector<MissedSwitch> missed =
        findMissedSwitches(switches({{"2026-12-13 00:00", false}}), span);
    ASSERT_EQ(1u, missed.size());
    EXPECT_EQ(Cause::Failed, missed[0].cause);
    ASSERT_EQ(2u, missed[0].wrong.size());
    EXPECT_EQ(0u, missed[0].wrong[0].index);
    EXPECT_EQ(2u, missed[0].wrong[1].index);
    EXPECT_NE(std::string::npos, missed[0].detail.find("lineSetEquipmentState on line 0"))
        << missed[0].detail;

    // For scripts: eight tab-separated fields, the detail last.
    std::vector<std::string> fields;
    std::istringstream cells(missedLine(missed[0], true));
    for (std::string cell; std::getline(cells, cell, '\t');)
        fields.push_back(cell);
    ASSERT_EQ(8u, fields.size());
    EXPECT_EQ((std::vector<std::string>{"missed", "2026-12-13 00:00:00", "off", "failed",
                                        "2026-12-13 00:00:00", "0=5,2=4", "2026-12-13 06:00:00"}),
              std::vector<std::string>(fields.begin(), fields.end() - 1));
    EXPECT_EQ(std::string::npos, missedLine(missed[0], false).find('\t'));
}

TEST(TimetableCheck, EachStartGetsItsOwnProcessesCalls) {
    std::vector<control::CallRecord> calls = {
        {10, "lineInitialize", -1, 0, 1, ""},
        {10, "lineOpen", 0, -5, 1, ""},
        {11, "lineInitialize", -1, 0, 1, ""},
        {10, "lineInitialize", -1, 0, 2, ""}, // 10 again, reused
    };
    std::vector<StartRecord> starts(4);
    const long long pids[] = {10, 12, 11, 10};
    for (size_t i = 0; i < starts.size(); ++i)
        starts[i].pid = pids[i];
    attributeCalls(calls, &starts);
    ASSERT_EQ(2u, starts[0].calls.size());
    EXPECT_EQ("lineOpen", starts[0].calls[1].call);
    EXPECT_TRUE(starts[1].calls.empty()) << "a start that switched nothing made no calls";
    ASSERT_EQ(1u, starts[2].calls.size());
    ASSERT_EQ(1u, starts[3].calls.size()) << "the id's second process has only its own calls";
    EXPECT_EQ(2, starts[3].calls[0].count);
}

TEST(TimetableCheck, RadioStatesAsTheProgramSwitchesThem) {
    const Radio expected[] = {Radio::Neither, Radio::Off, Radio::On,     Radio::On,
                              Radio::Neither, Radio::On,  Radio::Neither};
    for (DWORD state = 0; state < 7; ++state)
        EXPECT_EQ(expected[state], radioOf(state)) << state;
    EXPECT_TRUE(isVoiceLine(voice(0, 5)));
    EXPECT_FALSE(isVoiceLine(dataOnly(1, 5)));
}

} // namespace
