// Firing a pending start as the phone's notification service would: the start leaves the list,
// the program runs, and what it changed, showed and left pending is read back and judged.
#include "timed_starts.h"

namespace phone::timed {
namespace {

// What cannot be read is a problem of this start, never an empty reading.
void noteUnread(Start* s, const Phone& phone, const char* what, LONG status) {
    if (status != ERROR_SUCCESS)
        s->problems.push_back(std::string("cannot read ") + what + " (" +
                              statusText(phone, status) + ")");
}

// The earliest start pending for the program (`self`) after this one. At most one may be
// pending for it, under whatever name it was registered.
void findNext(Phone& phone, const std::string& self, Start* s) {
    int pendingForProgram = 0;
    std::vector<PendingStart> pending;
    LONG status = phone.pendingStarts(&pending);
    if (status != ERROR_SUCCESS) {
        noteUnread(s, phone, "the pending starts", status);
        s->stopsSimulation = true;
    }
    for (const PendingStart& p : pending) {
        if (phone.programIdentity(p.path) != self)
            continue;
        ++pendingForProgram;
        if (!s->next || (p.valid && (!s->next->valid || compareLocalTimes(p.at, s->next->at) < 0)))
            s->next = p;
    }
    if (pendingForProgram > 1)
        s->problems.push_back(std::to_string(pendingForProgram) + " starts are pending for " +
                              self + " (at most one may be)");
}

// With nothing next the cycle stops; a next start that does not lie ahead stops the simulation.
void judgeNext(Phone& phone, const std::string& self, const std::vector<Refusal>& refused,
               const SYSTEMTIME& at, Start* s) {
    if (!s->next) {
        s->stopsCycle = true;
        // The phone's timed-start service says what it refused, whatever the program showed.
        for (const Refusal& r : refused)
            if (phone.programIdentity(r.path) == self) {
                s->problems.push_back("the next start could not be registered (error " +
                                      std::to_string(r.error) + "): the cycle stops");
                break;
            }
    } else if (!s->next->valid || compareLocalTimes(s->next->at, at) <= 0) {
        // A start that does not lie ahead would fire again at once, for ever.
        s->problems.push_back("the next start (" + s->next->text +
                              ") is not after this one; stopping");
        s->stopsSimulation = true;
    }
}

} // namespace

Start fire(Phone& phone, const PendingStart& due, const SYSTEMTIME& at, bool pin) {
    Start s;
    s.at = at;
    s.due = due;
    noteUnread(&s, phone, "the lines before the start", phone.lines(&s.before));
    long long boxMark = 0, refusalMark = 0;
    noteUnread(&s, phone, "the recorded boxes", phone.lastMessageId(&boxMark));
    noteUnread(&s, phone, "the refused registrations", phone.lastRefusalId(&refusalMark));

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

    noteUnread(&s, phone, "the lines after the start", phone.lines(&s.after));
    noteUnread(&s, phone, "the boxes the start showed", phone.messages(&s.boxes, boxMark));
    std::vector<Refusal> refused;
    noteUnread(&s, phone, "the refused registrations", phone.refusals(&refused, refusalMark));

    const std::string self = phone.programIdentity(due.path);
    findNext(phone, self, &s);
    judgeNext(phone, self, refused, at, &s);
    return s;
}

LONG earliestPending(Phone& phone, std::optional<PendingStart>* due) {
    std::vector<PendingStart> all;
    due->reset();
    LONG status = phone.pendingStarts(&all);
    for (const PendingStart& p : all)
        if (p.valid && !*due)
            *due = p;
    return status;
}

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

} // namespace phone::timed
