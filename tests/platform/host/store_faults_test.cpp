// The store under faults of its disk. A timed run that switches, the dialog's OK and the
// console's `reg set` are each run with a fault at one point of its calls to SQLite's VFS, point
// after point (faulty_vfs.h: an I/O error, a full disk, a power cut), through the faulty VFS
// preloaded into the real programs. After each: no crash or hang, an undamaged store, every row
// of the phone's state its old or its new version whole, and the next ordinary run leaves the
// phone as a run without the fault does. Prints what it tried as a table.
//
// A test run tries three points of each operation and fault, the first call, the last and one
// between ($VELMORA_FAULT_POINTS=N tries N, "all" every one: about 3,700 points, 20 minutes).
#include "platform/phone/control.h"
#include "phone_fixture.h"
#include "support/faulty_vfs/faulty_vfs.h"

#include <sqlite3.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <link.h>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace {

namespace fs = std::filesystem;

struct Operation {
    const char* name;
    const char* program;
    std::vector<std::string> args;
    std::string input;
    // Pages left in the WAL before the commit that writes it back and empties it, so that the
    // operation meets that too.
    int room;
};

const Operation kOperations[] = {
    {"timed run", VELMORA_EXE, {"AppRunAtTime"}, "", 12},
    {"dialog OK", VELMORA_EXE, {}, "set 1009 6:30\nok\n", 30},
    {"reg set", VELMORA_PHONE_EXE, {"reg", "set", "S3", "dword", "123"}, "", 1},
};

// A fault, and the kind of call whose count gives its points; a power cut has one point more,
// after the last write, when all that was not synced is lost as the process ends.
struct Fault {
    const char* name;
    faulty_vfs::Kind counted;
};
const Fault kFaults[] = {
    {"read", faulty_vfs::read},         {"write", faulty_vfs::write}, {"sync", faulty_vfs::sync},
    {"truncate", faulty_vfs::truncate}, {"lock", faulty_vfs::lock},   {"shm", faulty_vfs::shm},
    {"full", faulty_vfs::write},        {"power", faulty_vfs::write},
};

// The phone's state, row by row: the key of each row (its table and primary key) and the rest.
// Records of what happened (boxes, the call log, refusals, open handles) are left out: a run
// that fails records other things than one that does not.
using State = std::map<std::string, std::string>;
const char* const kStateTables[] = {"sqlite_master",   "settings",     "registry_keys",
                                    "registry_values", "timed_starts", "line_devices",
                                    "line_faults"};

std::string text(sqlite3_stmt* stmt, int column) {
    const unsigned char* value = sqlite3_column_text(stmt, column);
    return value ? reinterpret_cast<const char*>(value) : "NULL";
}

// Reads a copy of the phone's files, as a process that opens it next would find them:
// "integrity_check" gives its answer there, and the rows go into `state`.
std::string readPhone(const std::string& phone, const std::string& scratch, State* state) {
    for (const char* file : {"", "-wal"}) {
        fs::remove(scratch + file);
        if (fs::exists(phone + file))
            fs::copy_file(phone + file, scratch + file);
    }
    fs::remove(scratch + "-shm");
    sqlite3* db = nullptr;
    sqlite3_open_v2(scratch.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    std::string integrity = "(no answer)";
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        integrity = text(stmt, 0);
    sqlite3_finalize(stmt);
    for (const char* table : kStateTables) {
        // The primary key's columns, else the whole row is the key.
        std::string key, all;
        std::string sql = std::string("SELECT name, pk FROM pragma_table_info('") + table + "')";
        sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
        while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
            std::string column = "quote(\"" + text(stmt, 0) + "\")";
            all += (all.empty() ? "" : " || ',' || ") + column;
            if (sqlite3_column_int(stmt, 1))
                key += (key.empty() ? "" : " || ',' || ") + column;
        }
        sqlite3_finalize(stmt);
        sql = "SELECT " + (key.empty() ? all : key) + ", " + all + " FROM " + table;
        if (all.empty() || sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
            continue; // not set up on this phone
        while (sqlite3_step(stmt) == SQLITE_ROW)
            (*state)[std::string(table) + " " + text(stmt, 0)] = text(stmt, 1);
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return integrity;
}

std::string versionIn(const State& state, const std::string& key) {
    auto row = state.find(key);
    return row == state.end() ? std::string("(none)") : row->second;
}

std::set<std::string> keysOf(std::initializer_list<const State*> states) {
    std::set<std::string> keys;
    for (const State* state : states)
        for (const auto& row : *state)
            keys.insert(row.first);
    return keys;
}

// Rows that are neither as they were before the run nor as a run without the fault leaves them.
std::string mixedRows(const State& found, const State& before, const State& after) {
    std::string mixed;
    for (const std::string& key : keysOf({&found, &before, &after})) {
        std::string now = versionIn(found, key);
        if (now != versionIn(before, key) && now != versionIn(after, key))
            mixed += "\n  " + key + " = " + now;
    }
    return mixed;
}

// Transactions of a run without the fault (`states`: before and after each commit) found split:
// of the rows one changed and no other did, some as it left them and some as before it.
std::string splitCommits(const State& found, const std::vector<State>& states) {
    std::map<std::string, int> changes;
    for (size_t t = 1; t < states.size(); ++t)
        for (const std::string& key : keysOf({&states[t - 1], &states[t]}))
            changes[key] += versionIn(states[t - 1], key) != versionIn(states[t], key);
    std::string split;
    for (size_t t = 1; t < states.size(); ++t) {
        std::string made, notMade;
        for (const std::string& key : keysOf({&states[t - 1], &states[t]})) {
            const std::string before = versionIn(states[t - 1], key),
                              after = versionIn(states[t], key);
            if (before == after || changes[key] != 1)
                continue;
            const std::string now = versionIn(found, key);
            if (now == after)
                made = key;
            else if (now == before)
                notMade = key;
        }
        if (!made.empty() && !notMade.empty())
            split += "\n  commit " + std::to_string(t) + " split: " + made + " made, " + notMade +
                     " not";
    }
    return split;
}

std::map<std::string, long> readCounts(const std::string& log) {
    std::map<std::string, long> counts;
    std::ifstream in(log);
    std::string name;
    long value = 0;
    while (in >> name >> value)
        counts[name] = value;
    return counts;
}

// Where the programs are linked statically, no library can be preloaded into them.
#ifndef VELMORA_FAULTY_VFS
#define VELMORA_FAULTY_VFS ""
#endif

// The faulty VFS, after the sanitizer's runtime when this build has one: that must come first.
std::string preloaded() {
    std::string libraries;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* out) {
            std::string name = info->dlpi_name ? info->dlpi_name : "";
            if (name.find("/libasan.so") != std::string::npos)
                *static_cast<std::string*>(out) = name + " ";
            return 0;
        },
        &libraries);
    return libraries + VELMORA_FAULTY_VFS;
}

// Runs the operation on a phone with the faulty VFS preloaded and asked for `fault` ("" for
// none); a run that does not end within a minute is killed (status 137).
CommandResult runFaulty(const Operation& op, const std::string& phone, const std::string& fault,
                        const std::string& log) {
    std::vector<std::string> args = {
        "-s", "KILL", "60", "/usr/bin/env", "LD_PRELOAD=" + preloaded(), op.program};
    args.insert(args.end(), op.args.begin(), op.args.end());
    fs::remove(log);
    return runProgram("/usr/bin/timeout", args, op.input,
                      {"VELMORA_PHONE=" + phone,
                       std::string(faulty_vfs::kFaultVariable) + "=" + fault,
                       std::string(faulty_vfs::kLogVariable) + "=" + log});
}

// What a run without a fault gives, from the same start.
struct Clean {
    CommandResult result;
    std::map<std::string, long> calls;
    State before, after;
    std::vector<State> states; // before and after each of its commits
};

void copyPhone(const std::string& from, const std::string& to) {
    for (const char* file : {"", "-wal"})
        fs::copy_file(from + file, to + file, fs::copy_options::overwrite_existing);
    fs::remove(to + "-shm");
}

// The states a run without a fault passes through, one at each commit: its WAL, begun empty,
// read up to each commit frame in turn.
std::vector<State> statesOf(const Operation& op, const std::string& start,
                            const std::string& work) {
    const std::string phone = work + "/trace.db", prefix = work + "/prefix.db";
    copyPhone(start, phone);
    sqlite3* db = nullptr;
    sqlite3_open(phone.c_str(), &db);
    sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    std::vector<State> states(1);
    readPhone(phone, work + "/check.db", &states[0]);
    runProgram(op.program, op.args, op.input, {"VELMORA_PHONE=" + phone});
    std::ifstream in(phone + "-wal", std::ios::binary);
    const std::string wal((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto word = [&](size_t at) {
        uint32_t value = 0;
        for (size_t i = 0; i < 4; ++i)
            value = value << 8 | static_cast<uint8_t>(wal[at + i]);
        return value;
    };
    const size_t page = wal.size() >= 32 ? word(8) : 0;
    for (size_t at = 32; page && at + 24 + page <= wal.size(); at += 24 + page) {
        if (word(at + 8) != word(16) || word(at + 12) != word(20))
            break; // a frame left from before the WAL started again
        if (word(at + 4) == 0)
            continue; // not the last frame of a commit
        fs::copy_file(phone, prefix, fs::copy_options::overwrite_existing);
        std::ofstream(prefix + "-wal", std::ios::binary) << wal.substr(0, at + 24 + page);
        readPhone(prefix, work + "/check.db", &states.emplace_back());
    }
    return states;
}

// What the points of one operation and fault came to.
struct Tally {
    int tried = 0, reported = 0, old = 0, whole = 0, recovered = 0;
};

struct Outcome {
    bool reported = false, recovered = false;
    bool old = false, whole = false; // the run left the state as it was, or as a clean run does
    std::string problem;
};

// One point: the fault, the checks of what it left, the next ordinary run and what that left.
Outcome tryPoint(const Operation& op, const Fault& fault, long at, const std::string& start,
                 const Clean& clean, const std::string& work) {
    Outcome outcome;
    const std::string phone = work + "/phone.db", scratch = work + "/check.db";
    copyPhone(start, phone);
    CommandResult run =
        runFaulty(op, phone, fault.name + (":" + std::to_string(at)), work + "/log");
    const bool cut = run.status == faulty_vfs::kPowerCutStatus;
    // 128 + a signal: killed (137 also when it hung); 255 is a program's own -1.
    if ((run.status > 128 && run.status < 160) || run.err.find("Sanitizer") != std::string::npos ||
        run.err.find("runtime error") != std::string::npos)
        outcome.problem += "\n  ended with status " + std::to_string(run.status) +
                           (run.status == 137 ? " (hung)" : "") + ": " + run.err;
    outcome.reported = cut || run.status != clean.result.status || run.err != clean.result.err;
    State found;
    std::string integrity = readPhone(phone, scratch, &found);
    if (integrity != "ok")
        outcome.problem += "\n  integrity_check: " + integrity;
    outcome.old = found == clean.before;
    outcome.whole = found == clean.after;
    if (std::string mixed = mixedRows(found, clean.before, clean.after); !mixed.empty())
        outcome.problem += "\n  neither old nor new:" + mixed;
    outcome.problem += splitCommits(found, clean.states);

    CommandResult next = runProgram(op.program, op.args, op.input, {"VELMORA_PHONE=" + phone});
    State healed;
    integrity = readPhone(phone, scratch, &healed);
    outcome.recovered =
        next.status == clean.result.status && integrity == "ok" && healed == clean.after;
    if (!outcome.recovered)
        outcome.problem += "\n  the next run left the phone otherwise (status " +
                           std::to_string(next.status) + ", " + integrity +
                           "):" + mixedRows(healed, clean.after, clean.after) + next.err;
    return outcome;
}

// Up to `most` points of 1..count, the first and the last among them, evenly spread.
std::vector<long> pointsOf(long count, long most) {
    std::vector<long> points;
    for (long i = 0; i < std::min(count, most); ++i)
        points.push_back(most >= count || most == 1 ? i + 1 : 1 + i * (count - 1) / (most - 1));
    return points;
}

class StoreFaults : public TempPhone {
  protected:
    // A run of the operation without a fault from its start, and what it gives.
    void runClean(const Operation& op, const std::string& start, Clean* clean) {
        const std::string phone = dir + "/clean.db";
        copyPhone(start, phone);
        clean->result = runFaulty(op, phone, "", dir + "/log");
        clean->calls = readCounts(dir + "/log");
        if (clean->calls.empty())
            GTEST_SKIP() << "the faulty VFS cannot be preloaded into these programs";
        readPhone(start, dir + "/check.db", &clean->before);
        ASSERT_EQ("ok", readPhone(phone, dir + "/check.db", &clean->after));
        ASSERT_NE(clean->before, clean->after) << op.name << " changed nothing";
        clean->states = statesOf(op, start, dir);
        ASSERT_GT(clean->states.size(), 2u) << op.name;
        ASSERT_EQ(clean->after, clean->states.back()) << "some commits missing from the WAL";
    }

    // The phone each operation starts from: Monday 07:00 with the radio off, so that a timed
    // run switches it on; its WAL `room` pages short of the commit that empties it (a reader
    // held meanwhile keeps it from starting again).
    void makeStart(int room, const std::string& path) {
        setenv("VELMORA_PHONE", path.c_str(), 1);
        host::closeStore();
        setClock("2026-12-14 07:00");
        ASSERT_EQ(ERROR_SUCCESS, control::setLineState(0, 1));
        sqlite3* reader = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &reader));
        sqlite3_exec(reader, "BEGIN; SELECT COUNT(*) FROM settings;", nullptr, nullptr, nullptr);
        const uintmax_t full = 32 + (1024 - room) * (1024 + 24);
        for (int i = 0; fs::file_size(path + "-wal") < full; ++i)
            ASSERT_EQ(ERROR_SUCCESS, host::setSetting("filler", std::to_string(i)));
        sqlite3_close(reader);
        host::closeStore();
        setenv("VELMORA_PHONE", dbPath.c_str(), 1);
    }
};

TEST_F(StoreFaults, EveryPointOfEachOperationLeavesThePhoneRight) {
    const char* wanted = std::getenv("VELMORA_FAULT_POINTS");
    const long most = !wanted ? 3 : std::string(wanted) == "all" ? LONG_MAX : std::atol(wanted);
    if (!*VELMORA_FAULTY_VFS)
        GTEST_SKIP() << "the programs are linked statically: no VFS can be preloaded into them";
    struct Point {
        size_t op, fault;
        long at;
    };
    std::vector<Point> points;
    std::vector<Clean> clean(std::size(kOperations));
    for (size_t o = 0; o < std::size(kOperations); ++o) {
        const std::string start = dir + "/start" + std::to_string(o) + ".db";
        makeStart(kOperations[o].room, start);
        runClean(kOperations[o], start, &clean[o]);
        if (HasFatalFailure() || IsSkipped())
            return;
        for (size_t f = 0; f < std::size(kFaults); ++f) {
            long count = clean[o].calls[faulty_vfs::kKindNames[kFaults[f].counted]];
            for (long at : pointsOf(count + (std::string(kFaults[f].name) == "power"), most))
                points.push_back({o, f, at});
        }
    }

    // Two workers, each with a phone of its own.
    std::map<std::pair<size_t, size_t>, Tally> tally;
    std::mutex taking;
    std::atomic<size_t> next{0};
    auto work = [&](int worker) {
        const std::string own = dir + "/worker" + std::to_string(worker);
        fs::create_directory(own);
        for (size_t i; (i = next++) < points.size();) {
            const Point& p = points[i];
            const Operation& op = kOperations[p.op];
            Outcome outcome =
                tryPoint(op, kFaults[p.fault], p.at, dir + "/start" + std::to_string(p.op) + ".db",
                         clean[p.op], own);
            std::lock_guard<std::mutex> lock(taking);
            Tally& counts = tally[{p.op, p.fault}];
            counts.tried += 1;
            counts.reported += outcome.reported;
            counts.old += outcome.old;
            counts.whole += outcome.whole;
            counts.recovered += outcome.recovered;
            if (!outcome.problem.empty())
                ADD_FAILURE() << op.name << ", " << kFaults[p.fault].name << " at call " << p.at
                              << ":" << outcome.problem;
        }
    };
    std::thread second(work, 1);
    work(0);
    second.join();

    std::printf("| operation | fault | calls | points tried | failures reported | left old | "
                "left new | recovered |\n|---|---|---|---|---|---|---|---|\n");
    for (const auto& [cell, counts] : tally) {
        const Fault& fault = kFaults[cell.second];
        std::printf("| %s | %s | %ld | %d | %d | %d | %d | %d |\n", kOperations[cell.first].name,
                    fault.name, clean[cell.first].calls[faulty_vfs::kKindNames[fault.counted]],
                    counts.tried, counts.reported, counts.old, counts.whole, counts.recovered);
    }
}

} // namespace
