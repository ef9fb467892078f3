// What the timed verbs (pending, run, simulate) share: one start fired and what it did, the
// totals and reports both outputs give, the options, and the progress line of a long
// simulation.
#ifndef VELMORA_TOOLS_TIMED_STARTS_H
#define VELMORA_TOOLS_TIMED_STARTS_H

#include "phone.h"
#include "timetable_check.h"

#include <optional>
#include <string>
#include <vector>

namespace phone::timed {

// What one start did, as both outputs report it.
struct Start {
    SYSTEMTIME at{};
    PendingStart due;
    std::vector<LineDevice> before, after;
    std::vector<MessageRecord> boxes;
    std::optional<PendingStart> next;
    int exitStatus = -1; // -1: not started
    long long pid = 0;
    std::vector<std::string> problems;
    bool stopsCycle = false; // nothing is pending for the program afterwards
    bool stopsSimulation = false;
};

struct Totals {
    int starts = 0, on = 0, off = 0, boxes = 0, problems = 0;
};

// ---- Firing (timed_firing.cpp) ----
// Fires one pending start at the given local time; pins the phone's clock there first when
// the time is virtual.
Start fire(Phone& phone, const PendingStart& due, const SYSTEMTIME& at, bool pin);
// The earliest pending start that can fire; the phone's status when they cannot be read.
LONG earliestPending(Phone& phone, std::optional<PendingStart>* due);
// What the timetable check needs of a start.
StartRecord checkRecord(const Start& s, Lateness lateness);

// ---- Reports (timed_reports.cpp) ----
// "Mon YYYY-MM-DD HH:MM:SS".
std::string stamp(const SYSTEMTIME& t);
void count(const Start& s, Totals* totals);
void reportProblem(const SYSTEMTIME& at, const std::string& problem, bool tsv);
// One start: a "start" record and its problems, or a line for people.
void report(const Start& s, bool tsv);
// `missed` only where the timetable was checked (simulate): its count comes last.
void summary(const Totals& t, bool tsv, std::optional<size_t> missed = std::nullopt);
void sayNothingPending(const Phone& phone, bool tsv);

// Seconds since the epoch, to the nanosecond the host gives.
double nowPrecise();

// A long simulation (a year on a Wine phone takes minutes) tells a person at a terminal how far
// it has come, on standard error, so that standard output keeps only the records.
class Progress {
  public:
    Progress(const SYSTEMTIME& begin, const SYSTEMTIME& end);
    ~Progress() { clear(); }

    void update(const SYSTEMTIME& at, int startsDone);
    void clear();

  private:
    bool shown_;
    long long begin_, end_;
    double started_, lastShown_ = 0;
    bool drawn_ = false;
};

// ---- Options (timed_options.cpp) ----
// A hundred years: every day of the span is listed and drawn.
constexpr int kMaxSimulatedDays = 36600;

struct Options {
    std::optional<int> days;
    std::optional<SYSTEMTIME> until;
    bool tsv = false;
    std::vector<OffSpan> off;
    std::optional<std::string> svg;
};

// `simulating` allows what only virtual time has: --days, --off and --svg.
bool parseOptions(const Args& args, bool simulating, Options* o, std::string* error);

} // namespace phone::timed

#endif
