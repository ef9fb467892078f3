// The run verb: the phone firing its timed starts in real time, each when the host's clock
// reaches it, until nothing is pending, --until, or an interrupt.
#include "timed_starts.h"

#include <csignal>
#include <cstdio>
#include <ctime>

namespace phone {
namespace {

using namespace timed;

volatile sig_atomic_t interrupted = 0;
void onSignal(int) {
    interrupted = 1;
}

void sleepFor(double seconds) {
    if (seconds <= 0)
        return;
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>((seconds - static_cast<double>(ts.tv_sec)) * 1e9);
    nanosleep(&ts, nullptr); // a signal cuts it short, which the caller checks
}

// The earliest pending start, read afresh; false with the reason to stop when the clock has
// been pinned meanwhile or the phone cannot be read.
bool readDue(Phone& phone, std::optional<PendingStart>* due, std::string* endReason) {
    ClockReading clock;
    LONG status = phone.readClock(&clock);
    if (status == ERROR_SUCCESS && clock.pinned) {
        *endReason = "the phone's clock was pinned; run follows the real time";
        return false;
    }
    if (status == ERROR_SUCCESS)
        status = earliestPending(phone, due);
    if (status != ERROR_SUCCESS) {
        *endReason = "the phone cannot be read (" + statusText(phone, status) + ")";
        return false;
    }
    return true;
}

// Fires the pending starts as they fall due until the run ends; why it ended.
std::string fireAsDue(Phone& phone, const Options& o, std::optional<long long> until,
                      Totals* totals) {
    std::string announced;
    while (!interrupted) {
        std::optional<PendingStart> due;
        std::string endReason;
        if (!readDue(phone, &due, &endReason)) {
            ++totals->problems;
            return endReason;
        }
        if (!due) {
            if (totals->starts == 0)
                sayNothingPending(phone, o.tsv);
            return totals->starts ? "no start is pending any more: the cycle has stopped"
                                  : "nothing pending";
        }
        long long at = startInstant(due->at);
        if (until && at > *until) {
            double left = static_cast<double>(*until) - nowPrecise();
            if (left <= 0)
                return "reached " + formatDateTime(*o.until);
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
        ClockReading clock;
        if (LONG status = phone.readClock(&clock)) {
            ++totals->problems;
            return "the phone cannot be read (" + statusText(phone, status) + ")";
        }
        clock.now.wMilliseconds = 0;
        Start s = fire(phone, *due, clock.now, false);
        report(s, o.tsv);
        count(s, totals);
        if (s.stopsSimulation)
            return "a start went wrong";
    }
    return "interrupted";
}

} // namespace

int runVerb(Phone& phone, const Args& args) {
    Options o;
    std::string error;
    if (!parseOptions(args, false, &o, &error))
        return fail(error + "; usage: run [--until \"YYYY-MM-DD HH:MM[:SS]\"] [--tsv]");
    ClockReading clock;
    if (LONG status = phone.readClock(&clock))
        return failStatus(phone, "read the phone's clock", status);
    if (clock.pinned)
        return fail("the phone's clock is pinned at " + formatDateTime(clock.now) +
                        ": run follows the real time (velmora-phone clock follow), or use "
                        "simulate",
                    1);
    std::optional<long long> until;
    if (o.until)
        until = startInstant(*o.until);
    if (until && *until < static_cast<long long>(time(nullptr)))
        return fail("--until " + formatDateTime(*o.until) + " has passed");

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    Totals totals;
    const std::string endReason = fireAsDue(phone, o, until, &totals);
    summary(totals, o.tsv);
    if (!o.tsv)
        std::printf("Stopped: %s.\n", endReason.c_str());
    return totals.problems ? 1 : 0;
}

} // namespace phone
