// velmora-phone's timed starts: pending, simulate and run, with stand-in programs and with the
// real program running its timetable for a week.
#include "phone_fixture.h"

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
    // A stand-in program that notes how it was started and registers nothing.
    std::string standIn(const std::string& name) {
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
    EXPECT_EQ("none\nsummary\t0\t0\t0\t0\t0\n", phone({"simulate", "--days", "7", "--tsv"}).out);
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
    SYSTEMTIME soon = host::localTimeAt(now + 1), until = host::localTimeAt(now + 3);
    ASSERT_TRUE(CeRunAppAtTime(host::fromUtf8(program).c_str(), &soon));
    CommandResult r = phone({"run", "--until", host::formatDateTime(until), "--tsv"});
    EXPECT_EQ(0, r.status) << r.out << r.err;
    std::vector<std::vector<std::string>> starts = tsvRecords(r.out, "start");
    ASSERT_EQ(1u, starts.size()) << r.out;
    EXPECT_EQ(host::formatDateTime(soon), starts[0][3]);
    SYSTEMTIME fired;
    ASSERT_TRUE(host::parseDateTime(starts[0][1], &fired));
    EXPECT_LE(host::compareLocalTimes(soon, fired), 0) << "not before its time";
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

    std::vector<host::LineDevice> lines = host::lineDevices();
    std::string voice, data;
    int voiceLines = 0;
    for (const host::LineDevice& l : lines) {
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
    EXPECT_EQ((std::vector<std::string>{"summary", "6", each, each, "0", "0"}), summary[0]);
    EXPECT_TRUE(tsvRecords(r.out, "problem").empty());
    EXPECT_TRUE(boxes().empty());

    pending = phone({"pending"});
    EXPECT_EQ(1, std::count(pending.out.begin(), pending.out.end(), '\n')) << pending.out;
    EXPECT_NE(std::string::npos, pending.out.find("\t2026-12-20 00:00:00\n")) << pending.out;
    EXPECT_EQ("2026-12-19 07:00:00\n", phone({"clock"}).out);
}

} // namespace
