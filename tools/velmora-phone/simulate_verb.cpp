// The simulate verb: the phone firing its timed starts in virtual time, the clock pinned to
// each start in turn, over a span of days; then the timetable checked against what the lines
// did, and the span drawn as a timeline on request.
#include "timed_starts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace phone {
namespace {

using namespace timed;

// How far the simulation came.
struct Outcome {
    SYSTEMTIME now{};                // the clock at the last start, or where it began
    std::optional<PendingStart> due; // what is pending next
    Totals totals;
    bool pinned = false, stopped = false;
    std::string stopReason;
};

// Why the span cannot end there, or "" when it can.
std::string refuseEnd(const SYSTEMTIME& now, const SYSTEMTIME& end) {
    if (compareLocalTimes(end, now) < 0)
        return "--until " + formatDateTime(end) + " lies before the phone's clock (" +
               formatDateTime(now) + ")";
    if (compareLocalTimes(end, addDays(now, kMaxSimulatedDays)) > 0)
        return "--until " + formatDateTime(end) + " lies more than " +
               std::to_string(kMaxSimulatedDays) + " days after the phone's clock";
    return {};
}

void announce(const Phone& phone, const SimulatedSpan& span, const SYSTEMTIME& end,
              const Timetable& timetable) {
    std::printf("Simulating %s to %s on %s\n", stamp(span.begin).c_str(), stamp(end).c_str(),
                phone.where().c_str());
    std::printf("  timetable: %s\n", describeTimetable(timetable).c_str());
    for (const LineDevice& l : span.first)
        std::printf("  line %u: %s (%s)\n", l.index, l.name.c_str(),
                    (l.mediaModes & 0x4) ? "voice" : "no voice");
}

// Fires every start due up to `end`, each at the time it would fire in real time: a time the
// clocks skip fires at the first minute after it; a start already overdue fires at once; one
// due while the phone is off, when it is on.
void fireUntil(Phone& phone, const Options& o, const SYSTEMTIME& end, SimulatedSpan* span,
               Outcome* run) {
    Progress progress(run->now, end);
    while (run->due) {
        Lateness lateness;
        SYSTEMTIME at = firingTime(run->due->at, run->now, o.off, &lateness);
        if (compareLocalTimes(at, end) > 0) {
            if (compareLocalTimes(run->due->at, end) <= 0)
                span->waiting = WaitingStart{run->due->at, at, lateness};
            break;
        }
        Start s = fire(phone, *run->due, at, true);
        run->pinned = true;
        run->now = at;
        progress.clear();
        report(s, o.tsv);
        progress.update(run->now, run->totals.starts + 1);
        count(s, &run->totals);
        span->starts.push_back(checkRecord(s, lateness));
        if (s.stopsSimulation) {
            run->stopped = true;
            break;
        }
        if (LONG status = earliestPending(phone, &run->due)) {
            reportProblem(
                at, "cannot read the pending starts (" + statusText(phone, status) + "); stopping",
                o.tsv);
            ++run->totals.problems;
            run->stopped = true;
            break;
        }
        if (!run->due)
            run->stopReason = s.stopsCycle ? "no start is pending any more: the cycle has stopped"
                                           : "nothing is pending";
    }
}

// The closing lines for people: how the simulation ended, what is next, where the clock stays.
void sayHowItEnded(const Options& o, const Outcome& run, const SYSTEMTIME& end,
                   const SpanReport& checked) {
    if (run.stopped)
        std::printf("The simulation stopped early.\n");
    if (!run.stopReason.empty())
        std::printf("After %s %s.\n", stamp(run.now).c_str(), run.stopReason.c_str());
    else if (run.due)
        std::printf("Next pending start: %s (%s)\n", stamp(run.due->at).c_str(),
                    run.due->path.c_str());
    if (run.pinned)
        std::printf("The phone's clock stays pinned at %s (velmora-phone clock follow "
                    "returns it to the host's time).\n",
                    stamp(run.now).c_str());
    else
        std::printf("Nothing was due before %s; the phone's clock is unchanged.\n",
                    stamp(end).c_str());
    if (o.svg && checked.drawn)
        std::printf("The timeline is drawn in %s.\n", o.svg->c_str());
}

} // namespace

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
    Outcome run;
    run.now = clock.now;
    run.now.wMilliseconds = 0;
    const SYSTEMTIME end = o.until ? *o.until : addDays(run.now, *o.days);
    if (std::string why = refuseEnd(run.now, end); !why.empty())
        return fail(why);

    if (LONG status = earliestPending(phone, &run.due))
        return failStatus(phone, "read the pending starts", status);
    if (!run.due) {
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
    span.begin = run.now;
    span.off = o.off;
    if (LONG status = phone.lines(&span.first))
        return failStatus(phone, "read the lines", status);
    std::vector<CallRecord> callsSoFar;
    if (LONG status = phone.calls(&callsSoFar))
        return failStatus(phone, "read the telephony calls", status);
    const size_t callsBefore = callsSoFar.size();
    const Timetable timetable = readTimetable(readStoredTimetable(phone));
    if (!o.tsv)
        announce(phone, span, end, timetable);

    fireUntil(phone, o, end, &span, &run);
    // The timetable against the lines, over the span as far as it was simulated.
    span.end = run.stopped ? run.now : end;
    SpanReport checked;
    if (LONG status = reportSpan(phone, &span, timetable, callsBefore, o.tsv, svgFile, &checked))
        return failStatus(phone, "check the span against the timetable", status);
    if (!checked.drawn)
        fail("cannot write the timeline to '" + *o.svg + "'", 1);

    summary(run.totals, o.tsv, checked.missed);
    if (o.tsv) {
        if (run.pinned)
            std::printf("clock\t%s\n", formatDateTime(run.now).c_str());
    } else {
        sayHowItEnded(o, run, end, checked);
    }
    return run.totals.problems || checked.missed || !checked.drawn ? 1 : 0;
}

} // namespace phone
