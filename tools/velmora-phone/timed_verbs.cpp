// The phone's timed starts: what is pending, and the phone that fires them, in real time (run)
// or in virtual time with the clock pinned to each start (simulate).
#include "phone.h"
#include "timetable_check.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace phone {
namespace {

volatile sig_atomic_t interrupted = 0;
void onSignal(int) {
    interrupted = 1;
}

std::string stamp(const SYSTEMTIME& t) {
    return std::string(host::weekdayName(t.wDayOfWeek), 3) + " " + host::formatDateTime(t);
}

const char* stateName(DWORD state) {
    switch (state) {
    case 1:
        return "off";
    case 2:
        return "rx-only";
    case 3:
        return "tx-only";
    case 4:
        return "no-tx/rx";
    case 5:
        return "on";
    default:
        return "?";
    }
}

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

// Fires one pending start at the given local time; pins the phone's clock there first when
// the time is virtual.
Start fire(Phone& phone, const PendingStart& due, const SYSTEMTIME& at, bool pin) {
    Start s;
    s.at = at;
    s.due = due;
    // What cannot be read is a problem of this start, never an empty reading.
    auto unread = [&](const char* what, LONG status) {
        if (status != ERROR_SUCCESS)
            s.problems.push_back(std::string("cannot read ") + what + " (" +
                                 statusText(phone, status) + ")");
    };
    unread("the lines before the start", phone.lines(&s.before));
    long long boxMark = 0, refusalMark = 0;
    unread("the recorded boxes", phone.lastMessageId(&boxMark));
    unread("the refused registrations", phone.lastRefusalId(&refusalMark));

    // The start leaves the list as it fires, as the platform's notification does: a program
    // that does not register again is not started again.
    LONG status = phone.takeDueStart(due, pin ? std::optional<SYSTEMTIME>(at) : std::nullopt);
    if (status != ERROR_SUCCESS) {
        s.problems.push_back("cannot update the phone (" + statusText(phone, status) +
                             "); stopping");
        s.stopsSimulation = true;
        return s;
    }

    std::string why;
    s.exitStatus = phone.startProgram(due.path, &why, &s.pid);
    if (s.exitStatus < 0)
        s.problems.push_back("cannot start " + due.path + ": " + why);
    else if (!why.empty())
        s.problems.push_back(due.path + " was " + why);

    unread("the lines after the start", phone.lines(&s.after));
    unread("the boxes the start showed", phone.messages(&s.boxes, boxMark));
    std::vector<Refusal> refused;
    unread("the refused registrations", phone.refusals(&refused, refusalMark));

    // At most one start may be pending for the program, under whatever name it was registered.
    std::string self = phone.programIdentity(due.path);
    int pendingForProgram = 0;
    std::vector<PendingStart> pending;
    status = phone.pendingStarts(&pending);
    if (status != ERROR_SUCCESS) {
        unread("the pending starts", status);
        s.stopsSimulation = true;
    }
    for (const PendingStart& p : pending) {
        if (phone.programIdentity(p.path) != self)
            continue;
        ++pendingForProgram;
        if (!s.next ||
            (p.valid && (!s.next->valid || host::compareLocalTimes(p.at, s.next->at) < 0)))
            s.next = p;
    }
    if (pendingForProgram > 1)
        s.problems.push_back(std::to_string(pendingForProgram) + " starts are pending for " + self +
                             " (at most one may be)");

    if (!s.next) {
        s.stopsCycle = true;
        // The phone's timed-start service says what it refused, whatever the program showed.
        for (const Refusal& r : refused)
            if (phone.programIdentity(r.path) == self) {
                s.problems.push_back("the next start could not be registered (error " +
                                     std::to_string(r.error) + "): the cycle stops");
                break;
            }
    } else if (!s.next->valid || host::compareLocalTimes(s.next->at, at) <= 0) {
        // A start that does not lie ahead would fire again at once, for ever.
        s.problems.push_back("the next start (" + s.next->text +
                             ") is not after this one; stopping");
        s.stopsSimulation = true;
    }
    return s;
}

std::string linesText(const std::vector<LineDevice>& before, const std::vector<LineDevice>& after) {
    std::string out;
    for (const LineDevice& b : before) {
        if (!out.empty())
            out += ", ";
        out += "line " + std::to_string(b.index) + " " + stateName(b.equipmentState);
        for (const LineDevice& a : after)
            if (a.index == b.index && a.equipmentState != b.equipmentState)
                out += std::string(" -> ") + stateName(a.equipmentState);
    }
    return out.empty() ? "no lines" : out;
}

std::string linesTsv(const std::vector<LineDevice>& lines) {
    std::string out;
    for (const LineDevice& l : lines) {
        if (!out.empty())
            out += ',';
        out += std::to_string(l.index);
        out += '=';
        out += std::to_string(l.equipmentState);
    }
    return out.empty() ? "-" : out;
}

void count(const Start& s, Totals* totals) {
    if (s.exitStatus >= 0)
        ++totals->starts;
    for (const LineDevice& b : s.before)
        for (const LineDevice& a : s.after) {
            if (a.index != b.index || a.equipmentState == b.equipmentState)
                continue;
            if (a.equipmentState == 1)
                ++totals->off;
            else if (b.equipmentState == 1)
                ++totals->on;
        }
    totals->boxes += static_cast<int>(s.boxes.size());
    totals->problems += static_cast<int>(s.problems.size());
}

void reportProblem(const SYSTEMTIME& at, const std::string& problem, bool tsv) {
    if (tsv)
        std::printf("problem\t%s\t%s\n", host::formatDateTime(at).c_str(),
                    host::oneLine(problem).c_str());
    else
        std::printf("  PROBLEM: %s\n", problem.c_str());
}

void report(const Start& s, bool tsv) {
    std::string next = s.next ? (s.next->valid ? host::formatDateTime(s.next->at) : s.next->text)
                              : std::string("none");
    if (tsv) {
        std::printf("start\t%s\t%s\t%s\t%s\t%s\t%zu\t%s\t%d\n", host::formatDateTime(s.at).c_str(),
                    host::oneLine(s.due.path).c_str(), s.due.text.c_str(),
                    linesTsv(s.before).c_str(), linesTsv(s.after).c_str(), s.boxes.size(),
                    next.c_str(), s.exitStatus);
        for (const std::string& p : s.problems)
            reportProblem(s.at, p, true);
    } else {
        std::string line = stamp(s.at);
        if (s.due.valid && host::compareLocalTimes(s.due.at, s.at) != 0)
            line += " (due " + s.due.text + ")";
        line += "  " + linesText(s.before, s.after);
        if (s.boxes.empty())
            line += "  no box";
        for (const MessageRecord& m : s.boxes)
            line += "  box [" + host::oneLine(m.caption) + "] " + host::oneLine(m.text) + " -> " +
                    host::answerName(m.answer);
        line += "  next " + (s.next && s.next->valid ? stamp(s.next->at) : next);
        std::printf("%s\n", line.c_str());
        for (const std::string& p : s.problems)
            reportProblem(s.at, p, false);
    }
    std::fflush(stdout);
}

// `missed` only where the timetable was checked (simulate): its count comes last.
void summary(const Totals& t, bool tsv, std::optional<size_t> missed = std::nullopt) {
    std::string tail;
    if (tsv) {
        if (missed)
            tail = "\t" + std::to_string(*missed);
        std::printf("summary\t%d\t%d\t%d\t%d\t%d%s\n", t.starts, t.on, t.off, t.boxes, t.problems,
                    tail.c_str());
    } else {
        if (missed)
            tail = ", " + std::to_string(*missed) +
                   (*missed == 1 ? " missed switch" : " missed switches");
        std::printf("%d start%s, %d switch%s on, %d switch%s off, %d box%s, %d problem%s%s.\n",
                    t.starts, t.starts == 1 ? "" : "s", t.on, t.on == 1 ? "" : "es", t.off,
                    t.off == 1 ? "" : "es", t.boxes, t.boxes == 1 ? "" : "es", t.problems,
                    t.problems == 1 ? "" : "s", tail.c_str());
    }
}

// The earliest pending start that can fire; the phone's status when they cannot be read.
LONG earliestPending(Phone& phone, std::optional<PendingStart>* due) {
    std::vector<PendingStart> all;
    due->reset();
    LONG status = phone.pendingStarts(&all);
    for (const PendingStart& p : all)
        if (p.valid && !*due)
            *due = p;
    return status;
}

void sayNothingPending(const Phone& phone, bool tsv) {
    if (tsv)
        std::printf("none\n");
    else
        std::printf("Nothing is pending: no program is waiting for a timed start. Arm one first "
                    "(OK in the program's dialog, or one timed run: velmora %s).\n",
                    phone.timedStartCommandLine().c_str());
}

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
bool parseOptions(const Args& args, bool simulating, Options* o, std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--tsv") {
            o->tsv = true;
        } else if (a == "--off" && simulating && i + 2 < args.size()) {
            OffSpan span;
            for (SYSTEMTIME* t : {&span.from, &span.to})
                if (!host::parseDateTime(args[++i], t)) {
                    *error =
                        "'" + args[i] + "' is not a local date and time (YYYY-MM-DD HH:MM[:SS])";
                    return false;
                }
            if (host::compareLocalTimes(span.from, span.to) >= 0) {
                *error = "--off " + args[i - 1] + " " + args[i] +
                         ": the phone must be off before it is on again";
                return false;
            }
            o->off.push_back(span);
        } else if (a == "--svg" && simulating && i + 1 < args.size() && !args[i + 1].empty()) {
            o->svg = args[++i];
        } else if (a == "--days" && simulating && i + 1 < args.size()) {
            const std::string& n = args[++i];
            char* end = nullptr;
            errno = 0;
            long days = std::strtol(n.c_str(), &end, 10);
            if (n.empty() || *end || errno || days < 1 || days > kMaxSimulatedDays) {
                *error = "'" + n + "' is not a number of days (1-" +
                         std::to_string(kMaxSimulatedDays) + ")";
                return false;
            }
            o->days = static_cast<int>(days);
        } else if (a == "--until" && i + 1 < args.size()) {
            SYSTEMTIME t;
            if (!host::parseDateTime(args[++i], &t)) {
                *error = "'" + args[i] + "' is not a local date and time (YYYY-MM-DD HH:MM[:SS])";
                return false;
            }
            o->until = t;
        } else {
            *error = "unexpected '" + a + "'";
            return false;
        }
    }
    if (o->days && o->until) {
        *error = "give --days or --until, not both";
        return false;
    }
    return true;
}

void sleepFor(double seconds) {
    if (seconds <= 0)
        return;
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>((seconds - static_cast<double>(ts.tv_sec)) * 1e9);
    nanosleep(&ts, nullptr); // a signal cuts it short, which the caller checks
}

// What the timetable check needs of a start.
StartRecord checkRecord(const Start& s, Lateness lateness) {
    StartRecord r;
    r.fired = s.at;
    if (s.due.valid)
        r.due = s.due.at;
    r.lateness = lateness;
    r.started = s.exitStatus >= 0;
    r.pid = s.pid;
    r.before = s.before;
    r.after = s.exitStatus < 0 && s.after.empty() ? s.before : s.after;
    r.boxes = s.boxes;
    r.next = s.next;
    return r;
}

double nowPrecise() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// A long simulation (a year on a Wine phone takes minutes) tells a person at a terminal how far
// it has come, on standard error, so that standard output keeps only the records.
class Progress {
  public:
    Progress(const SYSTEMTIME& begin, const SYSTEMTIME& end)
        : shown_(isatty(STDERR_FILENO) != 0), begin_(host::startInstant(begin)),
          end_(host::startInstant(end)), started_(nowPrecise()) {}
    ~Progress() { clear(); }

    void update(const SYSTEMTIME& at, int startsDone) {
        const double now = nowPrecise();
        if (!shown_ || now - lastShown_ < 0.5 || now - started_ < 1)
            return;
        lastShown_ = now;
        const double done = static_cast<double>(host::startInstant(at) - begin_);
        const double left = static_cast<double>(end_ - host::startInstant(at));
        std::string eta = "?";
        if (done > 0) {
            long seconds = static_cast<long>((now - started_) * left / done + 0.5);
            eta = seconds >= 60
                      ? std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s"
                      : std::to_string(seconds) + " s";
        }
        std::fprintf(stderr, "\r\033[K  simulated to %s, %d start%s done, about %s left",
                     stamp(at).c_str(), startsDone, startsDone == 1 ? "" : "s", eta.c_str());
        std::fflush(stderr);
        drawn_ = true;
    }
    void clear() {
        if (drawn_)
            std::fprintf(stderr, "\r\033[K");
        drawn_ = false;
    }

  private:
    bool shown_;
    long long begin_, end_;
    double started_, lastShown_ = 0;
    bool drawn_ = false;
};

} // namespace

int pendingVerb(Phone& phone, const Args& args) {
    if (!args.empty())
        return fail("usage: pending");
    std::vector<PendingStart> all;
    LONG status = phone.pendingStarts(&all);
    // "none" only when the phone says so: a list that cannot be read is not an empty one.
    if (all.empty() && status == ERROR_SUCCESS)
        std::printf("none\n");
    for (const PendingStart& p : all)
        std::printf("%s\t%s\n", host::oneLine(p.path).c_str(), p.text.c_str());
    std::fflush(stdout);
    return done(phone, "read every pending start", status);
}

int simulateVerb(Phone& phone, const Args& args) {
    Options o;
    std::string error;
    if (!parseOptions(args, true, &o, &error) || (!o.days && !o.until))
        return fail((error.empty() ? "" : error + "; ") +
                    "usage: simulate --days N | --until \"YYYY-MM-DD HH:MM[:SS]\" [--off "
                    "\"FROM\" \"TO\"]... [--svg FILE] [--tsv]");

    ClockReading clock;
    if (LONG status = phone.readClock(&clock))
        return failStatus(phone, "read the phone's clock", status);
    SYSTEMTIME now = clock.now;
    now.wMilliseconds = 0;
    SYSTEMTIME end = o.until ? *o.until : host::addDays(now, *o.days);
    if (host::compareLocalTimes(end, now) < 0)
        return fail("--until " + host::formatDateTime(end) + " lies before the phone's clock (" +
                    host::formatDateTime(now) + ")");
    if (host::compareLocalTimes(end, host::addDays(now, kMaxSimulatedDays)) > 0)
        return fail("--until " + host::formatDateTime(end) + " lies more than " +
                    std::to_string(kMaxSimulatedDays) + " days after the phone's clock");

    std::optional<PendingStart> due;
    if (LONG status = earliestPending(phone, &due))
        return failStatus(phone, "read the pending starts", status);
    if (!due) {
        sayNothingPending(phone, o.tsv);
        if (o.tsv)
            summary(Totals{}, true, 0);
        return 0;
    }
    // Opened before the phone is touched, so that a picture that cannot be written stops it all.
    FILE* svgFile = nullptr;
    if (o.svg && !(svgFile = std::fopen(o.svg->c_str(), "w")))
        return fail("cannot write '" + *o.svg + "': " + std::strerror(errno));

    SimulatedSpan span;
    span.begin = now;
    span.off = o.off;
    if (LONG status = phone.lines(&span.first))
        return failStatus(phone, "read the lines", status);
    std::vector<TelephonyCall> callsSoFar;
    if (LONG status = phone.calls(&callsSoFar))
        return failStatus(phone, "read the telephony calls", status);
    const size_t callsBefore = callsSoFar.size();
    const Timetable timetable = readTimetable(readStoredTimetable(phone));
    if (!o.tsv) {
        std::printf("Simulating %s to %s on %s\n", stamp(now).c_str(), stamp(end).c_str(),
                    phone.where().c_str());
        std::printf("  timetable: %s\n", describeTimetable(timetable).c_str());
        for (const LineDevice& l : span.first)
            std::printf("  line %u: %s (%s)\n", l.index, l.name.c_str(),
                        (l.mediaModes & 0x4) ? "voice" : "no voice");
    }

    Totals totals;
    bool pinned = false, stopped = false;
    std::string stopReason;
    Progress progress(now, end);
    while (due) {
        // Fired as in real time: a time the clocks skip fires at the first minute after it; a
        // start already overdue fires at once; one due while the phone is off, when it is on.
        Lateness lateness;
        SYSTEMTIME at = firingTime(due->at, now, o.off, &lateness);
        if (host::compareLocalTimes(at, end) > 0) {
            if (host::compareLocalTimes(due->at, end) <= 0)
                span.waiting = WaitingStart{due->at, at, lateness};
            break;
        }
        Start s = fire(phone, *due, at, true);
        pinned = true;
        now = at;
        progress.clear();
        report(s, o.tsv);
        progress.update(now, totals.starts + 1);
        count(s, &totals);
        span.starts.push_back(checkRecord(s, lateness));
        if (s.stopsSimulation) {
            stopped = true;
            break;
        }
        if (LONG status = earliestPending(phone, &due)) {
            reportProblem(
                at, "cannot read the pending starts (" + statusText(phone, status) + "); stopping",
                o.tsv);
            ++totals.problems;
            stopped = true;
            break;
        }
        if (!due)
            stopReason = s.stopsCycle ? "no start is pending any more: the cycle has stopped"
                                      : "nothing is pending";
    }

    progress.clear();
    // The timetable against the lines, over the span as far as it was simulated.
    span.end = stopped ? now : end;
    SpanReport checked;
    if (LONG status = reportSpan(phone, &span, timetable, callsBefore, o.tsv, svgFile, &checked))
        return failStatus(phone, "check the span against the timetable", status);
    if (!checked.drawn)
        fail("cannot write the timeline to '" + *o.svg + "'", 1);

    summary(totals, o.tsv, checked.missed);
    if (o.tsv) {
        if (pinned)
            std::printf("clock\t%s\n", host::formatDateTime(now).c_str());
    } else {
        if (stopped)
            std::printf("The simulation stopped early.\n");
        if (!stopReason.empty())
            std::printf("After %s %s.\n", stamp(now).c_str(), stopReason.c_str());
        else if (due)
            std::printf("Next pending start: %s (%s)\n", stamp(due->at).c_str(), due->path.c_str());
        if (pinned)
            std::printf("The phone's clock stays pinned at %s (velmora-phone clock follow "
                        "returns it to the host's time).\n",
                        stamp(now).c_str());
        else
            std::printf("Nothing was due before %s; the phone's clock is unchanged.\n",
                        stamp(end).c_str());
        if (o.svg && checked.drawn)
            std::printf("The timeline is drawn in %s.\n", o.svg->c_str());
    }
    return totals.problems || checked.missed || !checked.drawn ? 1 : 0;
}

int runVerb(Phone& phone, const Args& args) {
    Options o;
    std::string error;
    if (!parseOptions(args, false, &o, &error))
        return fail(error + "; usage: run [--until \"YYYY-MM-DD HH:MM[:SS]\"] [--tsv]");
    ClockReading clock;
    if (LONG status = phone.readClock(&clock))
        return failStatus(phone, "read the phone's clock", status);
    if (clock.pinned)
        return fail("the phone's clock is pinned at " + host::formatDateTime(clock.now) +
                        ": run follows the real time (velmora-phone clock follow), or use "
                        "simulate",
                    1);
    std::optional<long long> until;
    if (o.until)
        until = host::startInstant(*o.until);
    if (until && *until < static_cast<long long>(time(nullptr)))
        return fail("--until " + host::formatDateTime(*o.until) + " has passed");

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    Totals totals;
    std::string announced;
    std::string endReason = "interrupted";
    while (!interrupted) {
        LONG status = phone.readClock(&clock);
        if (status == ERROR_SUCCESS && clock.pinned) {
            endReason = "the phone's clock was pinned; run follows the real time";
            ++totals.problems;
            break;
        }
        std::optional<PendingStart> due;
        if (status == ERROR_SUCCESS)
            status = earliestPending(phone, &due);
        if (status != ERROR_SUCCESS) {
            endReason = "the phone cannot be read (" + statusText(phone, status) + ")";
            ++totals.problems;
            break;
        }
        if (!due) {
            if (totals.starts == 0)
                sayNothingPending(phone, o.tsv);
            endReason = totals.starts ? "no start is pending any more: the cycle has stopped"
                                      : "nothing pending";
            break;
        }
        long long at = host::startInstant(due->at);
        if (until && at > *until) {
            double left = static_cast<double>(*until) - nowPrecise();
            if (left <= 0) {
                endReason = "reached " + host::formatDateTime(*o.until);
                break;
            }
            sleepFor(left < 1 ? left : 1);
            continue;
        }
        double wait = static_cast<double>(at) - nowPrecise();
        if (wait > 0) {
            std::string key = due->path + "\t" + due->text;
            if (key != announced && !o.tsv) {
                std::printf("Waiting for %s (%s)\n", stamp(due->at).c_str(), due->path.c_str());
                std::fflush(stdout);
                announced = key;
            }
            // Looked at again every second: the program's dialog may arm another time meanwhile.
            sleepFor(wait < 1 ? wait : 1);
            continue;
        }
        if (LONG status = phone.readClock(&clock)) {
            endReason = "the phone cannot be read (" + statusText(phone, status) + ")";
            ++totals.problems;
            break;
        }
        clock.now.wMilliseconds = 0;
        Start s = fire(phone, *due, clock.now, false);
        report(s, o.tsv);
        count(s, &totals);
        if (s.stopsSimulation) {
            endReason = "a start went wrong";
            break;
        }
    }
    summary(totals, o.tsv);
    if (!o.tsv)
        std::printf("Stopped: %s.\n", endReason.c_str());
    return totals.problems ? 1 : 0;
}

LONG showPending(Phone& phone) {
    std::vector<PendingStart> all;
    LONG status = phone.pendingStarts(&all);
    std::printf("Timed starts pending: %zu\n", all.size());
    for (const PendingStart& p : all)
        std::printf("  %s  %s\n", p.valid ? stamp(p.at).c_str() : p.text.c_str(), p.path.c_str());
    if (status != ERROR_SUCCESS)
        std::printf("  (not every start can be read: %s)\n", statusText(phone, status).c_str());
    return status;
}

} // namespace phone
