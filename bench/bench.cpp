// The cost of the switching cycle on the simulated phone, against a bare process start measured
// alternately in the same run:
//   - a whole timed run as a process, with nothing due and with a switch due, each also against
//     the same program whose mutexes cost nothing (what the timetable lock adds);
//   - the peak memory of a timed run (through bench/probe.c);
//   - a year of the default timetable through `velmora-phone simulate`, per start against a
//     timed run alone.
#include "platform/phone/control.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct Sample {
    double seconds = 0;
    int status = -1;
};

// Runs a program to its end with its output discarded (or kept in a file).
Sample spawnAndWait(const std::vector<std::string>& args, const char* outPath = "/dev/null") {
    std::vector<std::string> store = args;
    std::vector<char*> argv;
    for (std::string& a : store)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Sample s;
    auto start = std::chrono::steady_clock::now();
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        s.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    return s;
}

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Pins the phone's clock, and lets go of the store: the runs are timed with no other
// connection open, as on a phone where nothing else runs.
void pin(const char* when) {
    SYSTEMTIME t{};
    std::sscanf(when, "%hu-%hu-%hu %hu:%hu", &t.wYear, &t.wMonth, &t.wDay, &t.wHour, &t.wMinute);
    control::pinClock(t);
    control::closePhone();
}

// A fresh phone in its own folder; the store is reopened from the new path.
std::string freshPhone(const std::string& base, const char* name) {
    std::string path = base + "/" + name + ".db";
    setenv("VELMORA_PHONE", path.c_str(), 1);
    control::closePhone();
    return path;
}

int countStarts(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    int n = 0;
    while (std::getline(in, line))
        n += line.rfind("start\t", 0) == 0;
    return n;
}

// The peak resident memory of one run of a program, taken through the probe.
long peakMemoryKiB(const std::vector<std::string>& args, const std::string& scratch) {
    std::vector<std::string> probed{VELMORA_PROBE_EXE, scratch};
    probed.insert(probed.end(), args.begin(), args.end());
    spawnAndWait(probed);
    std::ifstream in(scratch);
    long kib = 0;
    in >> kib;
    return kib;
}

const char* verdict(bool ok) {
    return ok ? "ok" : "MISSED";
}

struct Settings {
    int rounds = 200;
    int days = 365;
};

Settings readArguments(int argc, char** argv) {
    Settings settings;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--rounds"))
            settings.rounds = std::max(10, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--days"))
            settings.days = std::max(1, std::atoi(argv[i + 1]));
    }
    return settings;
}

const std::string velmora = VELMORA_EXE, unlocked = VELMORA_UNLOCKED_EXE,
                  console = VELMORA_PHONE_EXE, bare = "/bin/true";

// The timed runs against the bare start, each round's times and ratios.
struct RunTimes {
    std::vector<double> bare, nothing, switching, nothingRatios, switchRatios;
    std::vector<double> nothingLockRatios, switchLockRatios;
};

// Monday's switches: a round switches off at 00:00, the next on at 07:00, and the line is
// set first so that every switching run changes it, with and without the lock alike.
Sample switchRun(const std::string& program, int round) {
    const bool off = round % 2 == 0;
    control::setLineState(0, off ? 5 : 1);
    pin(off ? "2026-12-14 00:00" : "2026-12-14 07:00");
    return spawnAndWait({program, "AppRunAtTime"});
}

// The kinds of run in this round's order. A fixed seed: every run of the benchmark takes the
// same orders.
struct RoundOrder {
    std::mt19937 shuffler{20261214};
    int kinds[5] = {0, 1, 2, 3, 4};
};

// Every kind of run once, in a new order each round, so that drift in the machine's load, and
// whatever a run leaves to the next (the disk's own writing back), falls on every kind alike.
// False when a timed run failed.
bool timeRound(RoundOrder* order, int round, bool kept, RunTimes* times) {
    std::shuffle(std::begin(order->kinds), std::end(order->kinds), order->shuffler);
    Sample b, n, nu, s, su;
    for (int kind : order->kinds) {
        switch (kind) {
        case 0:
            b = spawnAndWait({bare});
            break;
        case 1:
            pin("2026-12-15 12:00"); // a Tuesday: the default timetable has nothing due
            n = spawnAndWait({velmora, "AppRunAtTime"});
            break;
        case 2:
            pin("2026-12-15 12:00");
            nu = spawnAndWait({unlocked, "AppRunAtTime"});
            break;
        case 3:
            s = switchRun(velmora, round);
            break;
        case 4:
            su = switchRun(unlocked, round);
            break;
        }
    }
    if (n.status != 1 || s.status != 1 || nu.status != 1 || su.status != 1) {
        std::fprintf(stderr, "bench: a timed run failed (status %d, %d, %d, %d)\n", n.status,
                     s.status, nu.status, su.status);
        return false;
    }
    if (!kept)
        return true;
    times->bare.push_back(b.seconds);
    times->nothing.push_back(n.seconds);
    times->switching.push_back(s.seconds);
    times->nothingRatios.push_back(n.seconds / b.seconds);
    times->switchRatios.push_back(s.seconds / b.seconds);
    times->nothingLockRatios.push_back(n.seconds / nu.seconds);
    times->switchLockRatios.push_back(s.seconds / su.seconds);
    return true;
}

// Peak memory, both kinds of run, through the probe: the timed run's and the bare start's.
void peakMemory(const std::string& base, long* peakKiB, long* bareKiB) {
    const std::string scratch = base + "/rss";
    for (int i = 0; i < 20; ++i) {
        pin(i % 2 ? "2026-12-14 07:00" : i % 4 ? "2026-12-15 12:00" : "2026-12-14 00:00");
        *peakKiB = std::max(*peakKiB, peakMemoryKiB({velmora, "AppRunAtTime"}, scratch));
        *bareKiB = std::max(*bareKiB, peakMemoryKiB({bare}, scratch));
    }
}

// The default timetable simulated over `span` days on a fresh phone armed from a Saturday
// evening; the starts it made.
Sample simulate(const std::string& base, const std::string& name, int span, int* starts) {
    const std::string report = base + "/year.tsv";
    freshPhone(base, name.c_str());
    pin("2026-12-12 23:00");
    spawnAndWait({velmora, "AppRunAtTime"});
    control::closePhone();
    Sample run = spawnAndWait({console, "simulate", "--days", std::to_string(span), "--tsv"},
                              report.c_str());
    *starts = countStarts(report);
    return run;
}

// The overhead per start, paired against the same number of switching timed runs started
// one by one right after, so that the machine's load weighs on both alike.
std::vector<double> perStartRatios(const std::string& base) {
    std::vector<double> ratios;
    for (int pair = 0; pair < 7; ++pair) {
        int fourWeeks = 0;
        Sample span = simulate(base, "span" + std::to_string(pair), 28, &fourWeeks);
        freshPhone(base, "runs");
        double alone = 0;
        for (int i = 0; i < fourWeeks; ++i) {
            pin(i % 2 ? "2026-12-14 07:00" : "2026-12-14 00:00");
            alone += spawnAndWait({velmora, "AppRunAtTime"}).seconds;
        }
        control::closePhone();
        if (fourWeeks > 0 && alone > 0)
            ratios.push_back(span.seconds / alone);
    }
    return ratios;
}

// What the whole benchmark measured, for the report.
struct Results {
    RunTimes runs;
    long peakKiB = 0, bareKiB = 0;
    double yearSeconds = 0;
    int starts = 0, yearStatus = 0;
    bool boxesShown = false;
    std::vector<double> perStartRatios;
};

void printReport(const Settings& settings, const std::string& base, const Results& r) {
    const double bareMs = median(r.runs.bare) * 1e3, nothingMs = median(r.runs.nothing) * 1e3,
                 switchMs = median(r.runs.switching) * 1e3;
    const double nothingRatio = median(r.runs.nothingRatios),
                 switchRatio = median(r.runs.switchRatios);
    const double nothingLock = (median(r.runs.nothingLockRatios) - 1) * 100,
                 switchLock = (median(r.runs.switchLockRatios) - 1) * 100;
    const double perStartMs = r.starts ? r.yearSeconds * 1e3 / r.starts : 0;
    const double yearRatio = median(r.perStartRatios);
    const double peakMiB = static_cast<double>(r.peakKiB) / 1024.0;

    std::printf("Velmora benchmark: %d rounds, medians (phone in %s)\n", settings.rounds,
                base.c_str());
    std::printf("  bare process start (/bin/true)   %8.3f ms\n", bareMs);
    std::printf("  timed run, nothing due           %8.3f ms   %5.2fx bare   target <= 3x    %s\n",
                nothingMs, nothingRatio, verdict(nothingRatio <= 3));
    std::printf("  timed run, switch due            %8.3f ms   %5.2fx bare   target <= 2.5x  %s\n",
                switchMs, switchRatio, verdict(switchRatio <= 2.5));
    std::printf(
        "  the timetable lock, nothing due  %+7.2f %% of the run without it   target <= 5%%  "
        "%s\n",
        nothingLock, verdict(nothingLock <= 5));
    std::printf(
        "  the timetable lock, switch due   %+7.2f %% of the run without it   target <= 5%%  "
        "%s\n",
        switchLock, verdict(switchLock <= 5));
    std::printf("  peak memory of a timed run       %8.2f MiB  (/bin/true: %.2f MiB)  target <= 4 "
                "MiB  %s\n",
                peakMiB, static_cast<double>(r.bareKiB) / 1024.0, verdict(peakMiB <= 4));
    std::printf("  simulate %d days                %9.3f s    %d starts, %.3f ms per start\n",
                settings.days, r.yearSeconds, r.starts, perStartMs);
    std::printf("  per start vs a timed run alone (paired)    %5.2fx        target <= 1.5x  %s\n",
                yearRatio, verdict(yearRatio <= 1.5));
    if (r.boxesShown || r.yearStatus != 0)
        std::printf("  warning: boxes were shown or simulate reported problems\n");
}

} // namespace

int main(int argc, char** argv) {
    const Settings settings = readArguments(argc, argv);
    char tmpl[] = "/tmp/velmora-bench-XXXXXX";
    if (!mkdtemp(tmpl)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string base = tmpl;

    // A phone with the default timetable, armed once, with its store and tables created, so
    // that every measured run finds an existing phone as a phone in use would.
    freshPhone(base, "runs");
    pin("2026-12-15 12:00");
    if (spawnAndWait({velmora, "AppRunAtTime"}).status != 1) {
        std::fprintf(stderr, "bench: %s AppRunAtTime did not end with 1\n", velmora.c_str());
        return 1;
    }

    Results results;
    const int warmUp = 5;
    RoundOrder order;
    for (int round = 0; round < warmUp + settings.rounds; ++round)
        if (!timeRound(&order, round, round >= warmUp, &results.runs))
            return 1;
    long long lastBox = 0;
    results.boxesShown = control::lastMessageId(&lastBox) != ERROR_SUCCESS || lastBox != 0;

    peakMemory(base, &results.peakKiB, &results.bareKiB);

    // A year of the default timetable; three times, the median.
    std::vector<double> yearTimes;
    for (int i = 0; i < 3; ++i) {
        Sample year = simulate(base, "year" + std::to_string(i), settings.days, &results.starts);
        yearTimes.push_back(year.seconds);
        results.yearStatus |= year.status;
    }
    results.yearSeconds = median(yearTimes);
    results.perStartRatios = perStartRatios(base);

    printReport(settings, base, results);
    std::filesystem::remove_all(base);
    return 0;
}
