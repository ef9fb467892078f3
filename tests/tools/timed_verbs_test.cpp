// velmora-phone's timed starts: pending, simulate and run, with stand-in programs and with the
// real program running its timetable for a week.
#include "phone_fixture.h"
#include "tools/velmora-phone/calendar.h"
#include "schedule/settings.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

std::vector<std::vector<std::string>> tsvRecords(const std::string& out, const std::string& kind) {
    std::vector<std::vector<std::string>> records;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, '\t'))
            fields.push_back(cell);
        if (!fields.empty() && fields[0] == kind)
            records.push_back(fields);
    }
    return records;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class TimedVerbs : public TempPhone {
  protected:
    // A stand-in program that notes how it was started and registers nothing. It switches
    // nothing either, so the phone's timetable is emptied: no switch is expected of it.
    std::string standIn(const std::string& name) {
        EXPECT_EQ(0, phone({"reg", "set", "Enabled", "sz", "0000000"}).status);
        std::string path = dir + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n"
                            << "printf '%s|%s|' \"$#\" \"$1\" >> " << dir << "/started\n"
                            << "[ -t 0 ] && printf tty >> " << dir << "/started\n"
                            << "echo >> " << dir << "/started\n";
        chmod(path.c_str(), 0755);
        return path;
    }
    void arm(const std::string& path, const std::string& when) {
        SYSTEMTIME t;
        ASSERT_TRUE(host::parseDateTime(when, &t));
        ASSERT_TRUE(CeRunAppAtTime(host::fromUtf8(path).c_str(), &t));
    }
};

TEST_F(TimedVerbs, NothingPending) {
    EXPECT_EQ("none\n", phone({"pending"}).out);
    for (std::vector<std::string> args :
         {std::vector<std::string>{"simulate", "--days", "7"}, {"run"}}) {
        CommandResult r = phone(args);
        EXPECT_EQ(0, r.status) << args[0];
        EXPECT_NE(std::string::npos, r.out.find("Nothing is pending")) << args[0] << r.out;
    }
    EXPECT_EQ("none\nsummary\t0\t0\t0\t0\t0\t0\n", phone({"simulate", "--days", "7", "--tsv"}).out);
}

TEST_F(TimedVerbs, BadArgumentsAreRefused) {
    setClock("2026-12-12 23:00");
    const std::vector<std::string> bad[] = {
        {"pending", "x"},
        {"simulate"},
        {"simulate", "--days", "0"},
        {"simulate", "--days", "7x"},
        {"simulate", "--days"},
        {"simulate", "--days", "1", "--until", "2026-12-13 00:00"},
        {"simulate", "--until", "2026-12-12 22:59"},
        {"simulate", "--until", "2026-02-30 10:00"},
        {"run", "--days", "1"},
    };
    for (const std::vector<std::string>& args : bad) {
        CommandResult r = phone(args);
        EXPECT_EQ(2, r.status) << args.size() << " " << args.back();
        EXPECT_NE(std::string::npos, r.err.find("velmora-phone:")) << r.err;
    }
    CommandResult pinned = phone({"run"});
    EXPECT_EQ(1, pinned.status) << "run follows the real time, not a pinned clock";
    EXPECT_NE(std::string::npos, pinned.err.find("clock follow")) << pinned.err;
}

TEST_F(TimedVerbs, SimulateStartsTheProgramAndSeesTheCycleStop) {
    std::string program = standIn("prog");
    arm(program, "2026-12-13 00:00");
    EXPECT_EQ(program + "\t2026-12-13 00:00:00\n", phone({"pending"}).out);
    setClock("2026-12-12 23:00");

    CommandResult r = phone({"simulate", "--days", "1", "--tsv"});
    EXPECT_EQ(0, r.status) << r.out << r.err;
    std::vector<std::vector<std::string>> starts = tsvRecords(r.out, "start");
    ASSERT_EQ(1u, starts.size()) << r.out;
    EXPECT_EQ("2026-12-13 00:00:00", starts[0][1]);
    EXPECT_EQ(program, starts[0][2]);
    EXPECT_EQ("2026-12-13 00:00:00", starts[0][3]);
    EXPECT_EQ("none", starts[0][7]) << "it registered nothing";
    EXPECT_EQ("0", starts[0][8]);
    EXPECT_EQ("1|AppRunAtTime|\n", slurp(dir + "/started"))
        << "one argument, and no terminal to answer boxes";
    EXPECT_EQ("none\n", phone({"pending"}).out) << "a start fires once";
    EXPECT_EQ("2026-12-13 00:00:00\n", phone({"clock"}).out) << "left pinned at the last start";
    ASSERT_EQ(1u, tsvRecords(r.out, "clock").size());
    EXPECT_TRUE(tsvRecords(r.out, "problem").empty());

    arm(program, "2026-12-14 00:00");
    r = phone({"simulate", "--days", "2"});
    EXPECT_EQ(0, r.status);
    EXPECT_NE(std::string::npos, r.out.find("Mon 2026-12-14 00:00:00")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("the cycle has stopped")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("stays pinned at Mon 2026-12-14 00:00:00")) << r.out;
}

TEST_F(TimedVerbs, StartsAfterTheEndWaitAndLateOnesFireAtOnce) {
    std::string program = standIn("prog");
    setClock("2026-12-12 23:00");
    arm(program, "2026-12-20 00:00");
    CommandResult r = phone({"simulate", "--until", "2026-12-19 23:59:59", "--tsv"});
    EXPECT_EQ(0, r.status);
    EXPECT_TRUE(tsvRecords(r.out, "start").empty()) << r.out;
    EXPECT_EQ("2026-12-12 23:00:00\n", phone({"clock"}).out) << "nothing fired: clock untouched";
    EXPECT_EQ(program + "\t2026-12-20 00:00:00\n", phone({"pending"}).out);

    arm(program, "2026-12-01 08:00"); // overdue: fires at the phone's time, not in the past
    r = phone({"simulate", "--days", "1", "--tsv"});
    std::vector<std::vector<std::string>> starts = tsvRecords(r.out, "start");
    ASSERT_EQ(1u, starts.size()) << r.out;
    EXPECT_EQ("2026-12-12 23:00:00", starts[0][1]);
    EXPECT_EQ("2026-12-01 08:00:00", starts[0][3]);
}

TEST_F(TimedVerbs, MissingProgramsAndDoublePendingStartsAreProblems) {
    setClock("2026-12-12 23:00");
    arm(dir + "/gone", "2026-12-13 00:00");
    CommandResult r = phone({"simulate", "--days", "1", "--tsv"});
    EXPECT_EQ(1, r.status);
    std::vector<std::vector<std::string>> problems = tsvRecords(r.out, "problem");
    ASSERT_EQ(1u, problems.size()) << r.out;
    EXPECT_NE(std::string::npos, problems[0][2].find("cannot start " + dir + "/gone"));
    EXPECT_EQ("none\n", phone({"pending"}).out);

    // One program under three names: after the first fires, two are still pending for it.
    std::string program = standIn("prog");
    std::filesystem::create_symlink(program, dir + "/alias1");
    std::filesystem::create_symlink(program, dir + "/alias2");
    arm(program, "2026-12-13 01:00");
    arm(dir + "/alias1", "2026-12-13 02:00");
    arm(dir + "/alias2", "2026-12-13 03:00");
    r = phone({"simulate", "--until", "2026-12-13 01:30"});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.out.find("PROBLEM: 2 starts are pending for")) << r.out;
}

TEST_F(TimedVerbs, SkippedHourFiresAtTheFirstMinuteAfterIt) {
    std::string program = standIn("prog");
    setClock("2026-03-28 12:00");
    arm(program, "2026-03-29 02:30");
    CommandResult r = runProgram(VELMORA_PHONE_EXE, {"simulate", "--days", "1", "--tsv"}, "",
                                 {"VELMORA_PHONE=" + dbPath, "TZ=CET-1CEST,M3.5.0,M10.5.0/3"});
    std::vector<std::vector<std::string>> starts = tsvRecords(r.out, "start");
    ASSERT_EQ(1u, starts.size()) << r.out << r.err;
    EXPECT_EQ("2026-03-29 03:00:00", starts[0][1]);
    EXPECT_EQ("2026-03-29 02:30:00", starts[0][3]);
}

TEST_F(TimedVerbs, RunFiresInRealTime) {
    std::string program = standIn("prog");
    time_t now = time(nullptr);
    SYSTEMTIME soon = phone::localTimeAt(now + 1), until = phone::localTimeAt(now + 3);
    ASSERT_TRUE(CeRunAppAtTime(host::fromUtf8(program).c_str(), &soon));
    CommandResult r = phone({"run", "--until", host::formatDateTime(until), "--tsv"});
    EXPECT_EQ(0, r.status) << r.out << r.err;
    std::vector<std::vector<std::string>> starts = tsvRecords(r.out, "start");
    ASSERT_EQ(1u, starts.size()) << r.out;
    EXPECT_EQ(host::formatDateTime(soon), starts[0][3]);
    SYSTEMTIME fired;
    ASSERT_TRUE(host::parseDateTime(starts[0][1], &fired));
    EXPECT_LE(phone::compareLocalTimes(soon, fired), 0) << "not before its time";
    EXPECT_EQ("1|AppRunAtTime|\n", slurp(dir + "/started"));
}

TEST_F(TimedVerbs, AFailedRegistrationStopsTheCycleAndIsReported) {
    // Monday's switch-on at "25:00", and at an hour that a 16-bit field would wrap to 07:00:
    // both are refused, so the cycle stops with the notice instead of firing every minute.
    for (const char* minute : {"1500", "3932580"}) {
        SCOPED_TRACE(minute);
        ASSERT_EQ(0, phone({"messages", "clear"}).status);
        ASSERT_EQ(0, phone({"clock", "set", "2026-12-12 23:00"}).status);
        ASSERT_EQ(1, velmora({"AppRunAtTime"}).status);
        ASSERT_EQ(0, phone({"reg", "set", "S1", "dword", minute}).status);
        CommandResult r = phone({"simulate", "--days", "7", "--tsv"});
        EXPECT_EQ(1, r.status);
        std::vector<std::vector<std::string>> starts = tsvRecords(r.out, "start");
        ASSERT_EQ(3u, starts.size()) << r.out;
        EXPECT_EQ("2026-12-14 00:00:00", starts[2][1]);
        EXPECT_EQ("1", starts[2][6]) << "the notice";
        EXPECT_EQ("none", starts[2][7]);
        std::vector<std::vector<std::string>> problems = tsvRecords(r.out, "problem");
        ASSERT_EQ(1u, problems.size()) << r.out;
        EXPECT_NE(std::string::npos, problems[0][2].find("could not be registered"));
        ASSERT_EQ(1u, boxes().size());
        EXPECT_EQ("設定定時器失敗！\nNo : 87", boxes()[0].text);
        EXPECT_NE(std::string::npos, r.err.find("設定定時器失敗！")) << "the box went to stderr";
        EXPECT_EQ("none\n", phone({"pending"}).out);
        EXPECT_EQ("2026-12-14 00:00:00\n", phone({"clock"}).out);
    }
}

// The default timetable through the real program for a week: off at 00:00 and on at 07:00 on
// Sunday, Monday and Saturday.
TEST_F(TimedVerbs, AWeekOfTheDefaultTimetable) {
    ASSERT_EQ(0, phone({"reg", "set", "Enabled", "sz", "1100001"}).status);
    for (int day = 0; day < 7; ++day) {
        const std::string digit(1, static_cast<char>('0' + day));
        ASSERT_EQ(0, phone({"reg", "set", "S" + digit, "dword", "420"}).status);
        ASSERT_EQ(0, phone({"reg", "set", "C" + digit, "dword", "0"}).status);
    }
    ASSERT_EQ(0, phone({"clock", "set", "2026-12-12 23:00"}).status); // a Saturday
    ASSERT_EQ(1, velmora({"AppRunAtTime"}).status);
    CommandResult pending = phone({"pending"});
    EXPECT_NE(std::string::npos, pending.out.find("\t2026-12-13 00:00:00\n")) << pending.out;

    std::vector<control::LineDevice> lines = readLines();
    std::string voice, data;
    int voiceLines = 0;
    for (const control::LineDevice& l : lines) {
        ((l.mediaModes & 0x4) ? voice : data) = std::to_string(l.index);
        voiceLines += (l.mediaModes & 0x4) ? 1 : 0;
    }
    ASSERT_FALSE(voice.empty()) << "a cellular line";
    ASSERT_FALSE(data.empty()) << "a data-only line";

    CommandResult r = phone({"simulate", "--days", "7", "--tsv"});
    EXPECT_EQ(0, r.status) << r.out << r.err;
    auto state = [](const std::string& column, const std::string& index) {
        std::istringstream in(column);
        std::string item;
        while (std::getline(in, item, ','))
            if (item.substr(0, item.find('=')) == index)
                return item.substr(item.find('=') + 1);
        return std::string("?");
    };
    struct Expected {
        const char* at;
        const char* before;
        const char* after;
    } expected[] = {
        {"2026-12-13 00:00:00", "5", "1"}, {"2026-12-13 07:00:00", "1", "5"},
        {"2026-12-14 00:00:00", "5", "1"}, {"2026-12-14 07:00:00", "1", "5"},
        {"2026-12-19 00:00:00", "5", "1"}, {"2026-12-19 07:00:00", "1", "5"},
    };
    std::vector<std::vector<std::string>> starts = tsvRecords(r.out, "start");
    ASSERT_EQ(std::size(expected), starts.size()) << r.out;
    std::string dataState = state(starts[0][4], data);
    for (size_t i = 0; i < starts.size(); ++i) {
        EXPECT_EQ(expected[i].at, starts[i][1]);
        EXPECT_EQ(expected[i].before, state(starts[i][4], voice)) << expected[i].at;
        EXPECT_EQ(expected[i].after, state(starts[i][5], voice)) << expected[i].at;
        EXPECT_EQ(dataState, state(starts[i][4], data)) << expected[i].at;
        EXPECT_EQ(dataState, state(starts[i][5], data)) << expected[i].at;
        EXPECT_EQ("0", starts[i][6]) << "no box at " << expected[i].at;
        EXPECT_EQ("1", starts[i][8]) << "a timed run ends with 1";
    }
    EXPECT_EQ("2026-12-20 00:00:00", starts.back()[7]);
    std::vector<std::vector<std::string>> summary = tsvRecords(r.out, "summary");
    ASSERT_EQ(1u, summary.size());
    const std::string each = std::to_string(3 * voiceLines);
    EXPECT_EQ((std::vector<std::string>{"summary", "6", each, each, "0", "0", "0"}), summary[0])
        << "no missed switch, counted last";
    EXPECT_TRUE(tsvRecords(r.out, "problem").empty());
    EXPECT_TRUE(tsvRecords(r.out, "missed").empty());
    EXPECT_TRUE(boxes().empty());

    pending = phone({"pending"});
    EXPECT_EQ(1, std::count(pending.out.begin(), pending.out.end(), '\n')) << pending.out;
    EXPECT_NE(std::string::npos, pending.out.find("\t2026-12-20 00:00:00\n")) << pending.out;
    EXPECT_EQ("2026-12-19 07:00:00\n", phone({"clock"}).out);
}

// ---- Missed switches, a phone that was off, and the timeline ----

// Zones by their rules, so that no zone database is needed.
const char kBerlin[] = "TZ=CET-1CEST,M3.5.0,M10.5.0/3";

class MissedSwitches : public TimedVerbs {
  protected:
    // Stores a timetable afresh: the values given, and no other.
    void store(const std::vector<std::pair<std::string, std::string>>& values) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(SETTINGS_ROOT, SETTINGS_KEY_PATH, 0, nullptr, 0, 0,
                                                nullptr, &key, nullptr));
        RegDeleteValue(key, DAY_FLAGS_VALUE);
        for (int day = 0; day < 7; ++day)
            for (const char* kind : {"S", "C"})
                RegDeleteValue(key, host::fromUtf8(kind + std::to_string(day)).c_str());
        for (const auto& [name, value] : values) {
            std::u16string text = host::fromUtf8(value);
            DWORD minute = static_cast<DWORD>(std::stoul(name == "Enabled" ? "0" : value));
            LONG status =
                name == "Enabled"
                    ? RegSetValueEx(key, host::fromUtf8(name).c_str(), 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(text.c_str()),
                                    static_cast<DWORD>(text.size() * 2))
                    : RegSetValueEx(key, host::fromUtf8(name).c_str(), 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&minute), sizeof minute);
            ASSERT_EQ(ERROR_SUCCESS, status) << name;
        }
        RegCloseKey(key);
    }
    // One timed run at `clock` arms the first start, as the dialog's OK would.
    void armAt(const std::string& clock) {
        ASSERT_EQ(0, phone({"clock", "set", clock}).status);
        ASSERT_EQ(1, velmora({"AppRunAtTime"}).status);
    }
    CommandResult simulate(const std::string& zone, std::vector<std::string> args) {
        args.insert(args.begin(), "simulate");
        args.push_back("--tsv");
        return runProgram(VELMORA_PHONE_EXE, args, "", {"VELMORA_PHONE=" + dbPath, zone});
    }
    // "SWITCH KIND CAUSE FIRED" of each missed record.
    static std::vector<std::string> missed(const CommandResult& r) {
        std::vector<std::string> out;
        for (const std::vector<std::string>& m : tsvRecords(r.out, "missed")) {
            EXPECT_EQ(8u, m.size()) << r.out;
            out.push_back(m[1] + " " + m[2] + " " + m[3] + " " + m[4]);
        }
        return out;
    }
    static std::string missedCount(const CommandResult& r) {
        std::vector<std::vector<std::string>> summary = tsvRecords(r.out, "summary");
        return summary.size() == 1 && summary[0].size() == 7 ? summary[0][6] : "?";
    }
};

// Sunday off at 01:00 and on at 02:30: where the clocks go forward at 02:00 the start due at
// 02:30 fires at 03:00 and switches nothing; where they go back, 02:30 comes first time round.
TEST_F(MissedSwitches, ClockChangesInSeveralZones) {
    struct Case {
        const char* zone;
        const char* armed;
        const char* until;
        std::vector<std::string> expected;
    } cases[] = {
        {kBerlin,
         "2027-03-27 00:00",
         "2027-03-29 23:59",
         {"2027-03-28 02:30:00 on late 2027-03-28 03:00:00"}},
        {kBerlin, "2027-10-30 00:00", "2027-11-01 23:59", {}},
        {"TZ=EST5EDT,M3.2.0,M11.1.0",
         "2027-03-13 00:00",
         "2027-03-15 23:59",
         {"2027-03-14 02:30:00 on late 2027-03-14 03:00:00"}},
        {"TZ=EST5EDT,M3.2.0,M11.1.0", "2027-11-06 00:00", "2027-11-08 23:59", {}},
        {"TZ=AEST-10AEDT,M10.1.0,M4.1.0/3",
         "2027-10-02 00:00",
         "2027-10-04 23:59",
         {"2027-10-03 02:30:00 on late 2027-10-03 03:00:00"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + c.armed);
        ASSERT_EQ(0, phone({"line", "0", "state", "5"}).status);
        store({{"C0", "60"}, {"S0", "150"}});
        armAt(c.armed);
        CommandResult r = simulate(c.zone, {"--until", c.until});
        EXPECT_EQ(c.expected, missed(r)) << r.out << r.err;
        EXPECT_EQ(std::to_string(c.expected.size()), missedCount(r));
        EXPECT_EQ(c.expected.empty() ? 0 : 1, r.status);
        for (const std::vector<std::string>& m : tsvRecords(r.out, "missed"))
            EXPECT_NE(std::string::npos, m[7].find("skipped")) << m[7];
    }
}

TEST_F(MissedSwitches, NormalWeeksReportNone) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> values;
        std::vector<std::string> expected;
        const char* radioBefore = "5"; // line 0's state when the span begins
    } cases[] = {
        {"the defaults", {}, {}},
        {"weekday nights off",
         {{"Enabled", "0111110"},
          {"S1", "420"},
          {"C1", "1380"},
          {"S2", "420"},
          {"C2", "1380"},
          {"S3", "420"},
          {"C3", "1380"},
          {"S4", "420"},
          {"C4", "1380"},
          {"S5", "420"},
          {"C5", "1380"}},
         {}},
        {"on and off in one minute", {{"Enabled", "0010000"}, {"S2", "600"}, {"C2", "600"}}, {}},
        // Switched on and at once off again: off, as it was, is right.
        {"on and off in one minute, from off",
         {{"Enabled", "0010000"}, {"S2", "600"}, {"C2", "600"}},
         {},
         "1"},
        // The program's search reaches the same weekday a week on; so does the check.
        {"a single weekday", {{"Enabled", "1000000"}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(0, phone({"line", "0", "state", c.radioBefore}).status);
        store(c.values);
        armAt("2026-12-12 23:00");
        CommandResult r = simulate(kBerlin, {"--days", "8"});
        EXPECT_EQ(c.expected, missed(r)) << r.out << r.err;
        EXPECT_EQ(c.expected.empty() ? 0 : 1, r.status) << r.out;
    }
}

TEST_F(MissedSwitches, StartsDueWhileThePhoneIsOffFireWhenItIsOn) {
    armAt("2026-12-12 23:00");
    // Off over Sunday's switch-off; then a second span over Monday's switch-off and on.
    CommandResult r =
        simulate(kBerlin, {"--days", "3", "--off", "2026-12-12 23:30", "2026-12-13 00:30", "--off",
                           "2026-12-13 23:00", "2026-12-14 08:00"});
    std::vector<std::vector<std::string>> starts = tsvRecords(r.out, "start");
    ASSERT_GE(starts.size(), 3u) << r.out;
    EXPECT_EQ("2026-12-13 00:30:00", starts[0][1]);
    EXPECT_EQ("2026-12-13 00:00:00", starts[0][3]);
    EXPECT_EQ("2026-12-14 08:00:00", starts[2][1]) << "the start due at Monday 00:00";
    EXPECT_EQ("2026-12-14 00:00:00", starts[2][3]);
    // Monday 07:00 was never armed, but the radio was on as it should be then: not named.
    EXPECT_EQ((std::vector<std::string>{"2026-12-13 00:00:00 off late 2026-12-13 00:30:00",
                                        "2026-12-14 00:00:00 off late 2026-12-14 08:00:00"}),
              missed(r))
        << r.out;
    EXPECT_EQ(1, r.status);
}

// A start armed for a switch in the span but still waiting at its end, for a phone that stays
// off past it or for a clock that skips past it, came late: it was armed all the same.
TEST_F(MissedSwitches, AStartStillWaitingAtTheEndIsLate) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> values;
        const char* armed;
        std::vector<std::string> args;
        std::vector<std::string> expected;
        const char* detail;
    } cases[] = {
        {"the phone off past the end",
         {},
         "2026-12-12 23:00",
         {"--until", "2026-12-13 12:00", "--off", "2026-12-13 06:00", "2026-12-13 13:00"},
         {"2026-12-13 07:00:00 on late -"},
         "fires at 2026-12-13 13:00, after the span"},
        {"the end in the skipped hour",
         {{"C0", "60"}, {"S0", "150"}},
         "2027-03-27 00:00",
         {"--until", "2027-03-28 02:45"},
         {"2027-03-28 02:30:00 on late -"},
         "fires at 2027-03-28 03:00, after the span"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(0, phone({"line", "0", "state", "5"}).status);
        store(c.values);
        armAt(c.armed);
        CommandResult r = simulate(kBerlin, c.args);
        EXPECT_EQ(c.expected, missed(r)) << r.out << r.err;
        for (const std::vector<std::string>& m : tsvRecords(r.out, "missed"))
            EXPECT_NE(std::string::npos, m[7].find(c.detail)) << m[7];
        EXPECT_EQ(1, r.status);
    }
}

TEST_F(MissedSwitches, ALineFailingToSwitchIsTheCause) {
    armAt("2026-12-12 23:00");
    ASSERT_EQ(0, phone({"line", "0", "fail", "setstate", "LINEERR_OPERATIONFAILED"}).status);
    CommandResult r = simulate(kBerlin, {"--days", "7"});
    EXPECT_EQ((std::vector<std::string>{"2026-12-13 00:00:00 off failed 2026-12-13 00:00:00",
                                        "2026-12-14 00:00:00 off failed 2026-12-14 00:00:00",
                                        "2026-12-19 00:00:00 off failed 2026-12-19 00:00:00"}),
              missed(r))
        << r.out;
    for (const std::vector<std::string>& m : tsvRecords(r.out, "missed")) {
        EXPECT_EQ("0=5", m[5]);
        EXPECT_NE(std::string::npos, m[7].find("lineSetEquipmentState on line 0")) << m[7];
    }
    EXPECT_EQ("3", missedCount(r));
    EXPECT_EQ(1, r.status);
}

TEST_F(MissedSwitches, ARefusedRegistrationLeavesTheLaterSwitchesUnarmed) {
    store({{"Enabled", "1111111"}});
    armAt("2026-12-12 23:00");
    ASSERT_EQ(0, phone({"reg", "set", "S1", "dword", "1500"}).status); // Monday "25:00"
    CommandResult r = simulate(kBerlin, {"--days", "7"});
    ASSERT_EQ(1u, tsvRecords(r.out, "problem").size()) << r.out;
    // Monday 00:00 switched off and could not arm its 25:00; the radio stays off, so every
    // later switch-on is named, and no switch-off.
    std::vector<std::string> expected;
    for (int day = 15; day <= 19; ++day)
        expected.push_back("2026-12-" + std::to_string(day) + " 07:00:00 on unarmed -");
    EXPECT_EQ(expected, missed(r)) << r.out;
    for (const std::vector<std::string>& m : tsvRecords(r.out, "missed"))
        EXPECT_NE(std::string::npos, m[7].find("the cycle had stopped")) << m[7];
    EXPECT_EQ(1, r.status);
}

TEST_F(MissedSwitches, TheTimelineAgreesWithTheTsvRecords) {
    store({{"C0", "60"}, {"S0", "150"}});
    armAt("2027-03-27 00:00");
    const std::string picture = dir + "/week.svg";
    CommandResult r = simulate(kBerlin, {"--until", "2027-04-02 12:00", "--off", "2027-03-29 06:00",
                                         "2027-03-29 08:00", "--svg", picture});
    ASSERT_EQ(1, r.status) << r.out << r.err;

    // Read back by an XML parser: rows, bands, missed marks.
    const char* reader = R"py(
import sys, xml.etree.ElementTree as ET
svg = '{http://www.w3.org/2000/svg}'
root = ET.parse(sys.argv[1]).getroot()
print('svg', root.get('viewBox'), root.get('width'), sep='	')
for g in root.iter(svg + 'g'):
    if g.get('class') == 'day':
        print('day', g.get('data-date'), sep='	')
    if g.get('class') == 'missed':
        print('missed', g.get('data-switch'), g.get('data-cause'), g.find(svg + 'title').text, sep='	')
for rect in root.iter(svg + 'rect'):
    if rect.get('class', '').startswith('band '):
        print('band', rect.get('data-line'), rect.get('data-state'), rect.get('data-from'), rect.get('data-to'), sep='	')
)py";
    CommandResult parsed = runProgram("/usr/bin/env", {"python3", "-c", reader, picture});
    ASSERT_EQ(0, parsed.status) << parsed.err;
    std::vector<std::vector<std::string>> svg = tsvRecords(parsed.out, "svg");
    ASSERT_EQ(1u, svg.size());
    EXPECT_EQ("100%", svg[0][2]);
    std::vector<std::vector<std::string>> days = tsvRecords(parsed.out, "day");
    ASSERT_EQ(7u, days.size()) << "27 March to 2 April";
    EXPECT_EQ("2027-03-27", days[0][1]);
    EXPECT_EQ("2027-04-02", days[6][1]);

    // Line 0's bands, joined across midnight, change exactly where a start changed it.
    std::vector<std::vector<std::string>> bands;
    for (const std::vector<std::string>& b : tsvRecords(parsed.out, "band")) {
        ASSERT_EQ("0", b[1]) << "line 1 carries no voice";
        if (!bands.empty() && bands.back()[2] == b[2] && bands.back()[4] == b[3])
            bands.back()[4] = b[4];
        else
            bands.push_back(b);
    }
    ASSERT_FALSE(bands.empty());
    EXPECT_EQ("2027-03-27 00:00:00", bands.front()[3]);
    EXPECT_EQ("2027-04-02 12:00:00", bands.back()[4]);
    std::vector<std::string> changes;
    for (const std::vector<std::string>& s : tsvRecords(r.out, "start"))
        if (s[4].substr(0, 4) != s[5].substr(0, 4)) // "0=1," before against after
            changes.push_back(s[1] + " " + s[4].substr(2, 1) + ">" + s[5].substr(2, 1));
    std::vector<std::string> drawn;
    for (size_t i = 1; i < bands.size(); ++i) {
        EXPECT_EQ(bands[i - 1][4], bands[i][3]) << "bands leave no gap";
        drawn.push_back(bands[i][3] + " " + bands[i - 1][2] + ">" + bands[i][2]);
    }
    EXPECT_EQ(changes, drawn) << r.out << parsed.out;

    std::vector<std::vector<std::string>> marks = tsvRecords(parsed.out, "missed");
    std::vector<std::vector<std::string>> records = tsvRecords(r.out, "missed");
    ASSERT_EQ(records.size(), marks.size());
    for (size_t i = 0; i < marks.size(); ++i) {
        EXPECT_EQ(records[i][1], marks[i][1]);
        EXPECT_EQ(records[i][3], marks[i][2]);
        EXPECT_NE(std::string::npos, marks[i][3].find(records[i][7])) << "the cause in <title>";
    }
}

TEST_F(MissedSwitches, BadOffSpansAndPicturesAreRefusedBeforeAnythingRuns) {
    armAt("2026-12-12 23:00");
    const std::vector<std::string> bad[] = {
        {"simulate", "--days", "1", "--off", "2026-12-13 02:00", "2026-12-13 01:00"},
        {"simulate", "--days", "1", "--off", "2026-12-13 01:00", "2026-12-13 01:00"},
        {"simulate", "--days", "1", "--off", "2026-12-13 01:00"},
        {"simulate", "--days", "1", "--off", "yesterday", "2026-12-13 01:00"},
        {"simulate", "--days", "1", "--svg"},
        {"simulate", "--days", "1", "--svg", dir + "/no/such/folder/week.svg"},
        {"simulate", "--until", "2200-01-01 00:00"},
        {"run", "--off", "2026-12-13 01:00", "2026-12-13 02:00"},
    };
    for (const std::vector<std::string>& args : bad) {
        CommandResult r = phone(args);
        EXPECT_EQ(2, r.status) << args.back() << r.out;
        EXPECT_NE(std::string::npos, r.err.find("velmora-phone:")) << r.err;
        EXPECT_EQ("2026-12-12 23:00:00\n", phone({"clock"}).out) << "nothing ran";
    }
}

} // namespace

// Dates are written whole however many digits the year has: a switch missed in the year 12026
// is named to its minute, in the text and in the picture.
TEST_F(TimedVerbs, FiveDigitYearsAreWrittenWhole) {
    ASSERT_EQ(0, phone({"clock", "set", "12026-12-12 23:00"}).status);
    ASSERT_EQ(1, velmora({"AppRunAtTime"}).status);
    ASSERT_EQ(0, phone({"line", "0", "fail", "setstate", "-5"}).status);
    const std::string picture = dir + "/year.svg";
    CommandResult r = phone({"simulate", "--days", "1", "--svg", picture});
    EXPECT_NE(std::string::npos,
              r.out.find("MISSED switch-off Sun 12026-12-13 00:00 (line 0 on (5) at "
                         "12026-12-13 07:00): the line failed: lineSetEquipmentState on line 0 "
                         "answered -5 (0xFFFFFFFB) at 12026-12-13 00:00\n"))
        << r.out;
    const std::string svg = slurp(picture);
    for (const char* whole : {"data-date=\"12026-12-12\"", "data-date=\"12026-12-13\"",
                              "start: switched nothing; next 12026-12-13 07:00<"})
        EXPECT_NE(std::string::npos, svg.find(whole)) << whole;
}
