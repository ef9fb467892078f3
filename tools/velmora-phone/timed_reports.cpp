// What the timed verbs print: each start as a record or a line for people, its problems, the
// totals at the end, and the progress of a long simulation on a terminal.
#include "timed_starts.h"

#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace phone::timed {
namespace {

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

} // namespace

std::string stamp(const SYSTEMTIME& t) {
    return std::string(weekdayName(t.wDayOfWeek), 3) + " " + formatDateTime(t);
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
        std::printf("problem\t%s\t%s\n", formatDateTime(at).c_str(), oneLine(problem).c_str());
    else
        std::printf("  PROBLEM: %s\n", problem.c_str());
}

void report(const Start& s, bool tsv) {
    std::string next =
        s.next ? (s.next->valid ? formatDateTime(s.next->at) : s.next->text) : std::string("none");
    if (tsv) {
        std::printf("start\t%s\t%s\t%s\t%s\t%s\t%zu\t%s\t%d\n", formatDateTime(s.at).c_str(),
                    oneLine(s.due.path).c_str(), s.due.text.c_str(), linesTsv(s.before).c_str(),
                    linesTsv(s.after).c_str(), s.boxes.size(), next.c_str(), s.exitStatus);
        for (const std::string& p : s.problems)
            reportProblem(s.at, p, true);
    } else {
        std::string line = stamp(s.at);
        if (s.due.valid && compareLocalTimes(s.due.at, s.at) != 0)
            line += " (due " + s.due.text + ")";
        line += "  " + linesText(s.before, s.after);
        if (s.boxes.empty())
            line += "  no box";
        for (const MessageRecord& m : s.boxes)
            line += "  box [" + oneLine(m.caption) + "] " + oneLine(m.text) + " -> " +
                    answerName(m.answer);
        line += "  next " + (s.next && s.next->valid ? stamp(s.next->at) : next);
        std::printf("%s\n", line.c_str());
        for (const std::string& p : s.problems)
            reportProblem(s.at, p, false);
    }
    std::fflush(stdout);
}

void summary(const Totals& t, bool tsv, std::optional<size_t> missed) {
    std::string tail;
    if (tsv) {
        // Built by appending: GCC 12 misreads a literal joined to a temporary as an overlap.
        if (missed)
            tail.append("\t").append(std::to_string(*missed));
        std::printf("summary\t%d\t%d\t%d\t%d\t%d%s\n", t.starts, t.on, t.off, t.boxes, t.problems,
                    tail.c_str());
    } else {
        if (missed)
            tail.append(", ")
                .append(std::to_string(*missed))
                .append(*missed == 1 ? " missed switch" : " missed switches");
        std::printf("%d start%s, %d switch%s on, %d switch%s off, %d box%s, %d problem%s%s.\n",
                    t.starts, t.starts == 1 ? "" : "s", t.on, t.on == 1 ? "" : "es", t.off,
                    t.off == 1 ? "" : "es", t.boxes, t.boxes == 1 ? "" : "es", t.problems,
                    t.problems == 1 ? "" : "s", tail.c_str());
    }
}

void sayNothingPending(const Phone& phone, bool tsv) {
    if (tsv)
        std::printf("none\n");
    else
        std::printf("Nothing is pending: no program is waiting for a timed start. Arm one first "
                    "(OK in the program's dialog, or one timed run: velmora %s).\n",
                    phone.timedStartCommandLine().c_str());
}

double nowPrecise() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

Progress::Progress(const SYSTEMTIME& begin, const SYSTEMTIME& end)
    : shown_(isatty(STDERR_FILENO) != 0), begin_(startInstant(begin)), end_(startInstant(end)),
      started_(nowPrecise()) {}

void Progress::update(const SYSTEMTIME& at, int startsDone) {
    const double now = nowPrecise();
    if (!shown_ || now - lastShown_ < 0.5 || now - started_ < 1)
        return;
    lastShown_ = now;
    const double done = static_cast<double>(startInstant(at) - begin_);
    const double left = static_cast<double>(end_ - startInstant(at));
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

void Progress::clear() {
    if (drawn_)
        std::fprintf(stderr, "\r\033[K");
    drawn_ = false;
}

} // namespace phone::timed
