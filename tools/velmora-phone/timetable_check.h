// What the timetable says against what the phone did. The console reads the stored timetable
// and lists its switches itself, apart from the program's own search, so that each checks the
// other; then it looks at every voice line just before each next switch and names every switch
// that left a line in the wrong state, with one cause. Pure functions over what the simulation
// gathered, and below them the few readings of the phone that gather it.
#ifndef VELMORA_TOOLS_TIMETABLE_CHECK_H
#define VELMORA_TOOLS_TIMETABLE_CHECK_H

#include "calendar.h"
#include "tools/shared/phone.h"

#include "platform/utf8.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace phone {

constexpr int kWeekdays = 7;
constexpr DWORD kMinutesPerDay = 1440;

// The timetable's values as the registry holds them: their bytes, or nullopt when missing.
struct StoredTimetable {
    std::optional<std::string> enabled;
    std::optional<std::string> on[kWeekdays], off[kWeekdays];
};

// The timetable as the program reads it, weekday 0 = Sunday.
struct Timetable {
    bool enabled[kWeekdays] = {};
    DWORD on[kWeekdays] = {}, off[kWeekdays] = {};
};

// What the program makes of the stored values: "Enabled" missing or longer than 16 bytes is
// "1100001"; a weekday its text does not reach is off; a minute missing or longer than 4 bytes
// is 420 (on) or 0 (off), one shorter than 4 bytes has zero upper bytes. Never fails.
Timetable readTimetable(const StoredTimetable& stored);
// One line for people: "Sun 01:00 off, 02:30 on; Mon …", or why it never switches.
std::string describeTimetable(const Timetable& timetable);

// One switch of the timetable: a local date and minute (seconds 0, weekday set).
struct Switch {
    SYSTEMTIME at{};
    bool on = false;
};
// Every switch with a minute after `after`'s minute and at or before `until`, in order: a
// valid minute (below 1440) on an enabled weekday; at one minute the switch-on comes first.
// A minute the clocks skip is still that day's switch, due at that local time.
std::vector<Switch> switchesBetween(const Timetable& timetable, const SYSTEMTIME& after,
                                    const SYSTEMTIME& until);

// The radio as the program switches it: off is LINEEQUIPSTATE_MINIMUM; on is full, receive
// only or transmit only; anything else (no transmit nor receive) is neither.
enum class Radio { On, Off, Neither };
Radio radioOf(DWORD equipmentState);
// Only lines that carry interactive voice are switched.
bool isVoiceLine(const LineDevice& line);

// Why a start fired after the time it was registered for.
enum class Lateness { OnTime, ClockSkipped, PhoneOff, Overdue };

// What one start did, as the simulation saw it.
struct StartRecord {
    SYSTEMTIME fired{};
    std::optional<SYSTEMTIME> due; // the registered time; nullopt when unreadable
    Lateness lateness = Lateness::OnTime;
    bool started = true; // the program ran
    long long pid = 0;   // its process, whose telephony calls are its own
    std::vector<LineDevice> before, after;
    std::vector<MessageRecord> boxes;
    std::vector<CallRecord> calls;
    std::optional<PendingStart> next; // what it left pending; nullopt for nothing
};

// The phone was switched off from `from` until `to` (local times).
struct OffSpan {
    SYSTEMTIME from{}, to{};
};

// A start still pending when the span ended though it fell due within it: the phone stayed off
// past the end, or its time was skipped and the first minute after it lies past the end.
struct WaitingStart {
    SYSTEMTIME due{}, fires{};
    Lateness lateness = Lateness::OnTime;
};

// A simulated span: its local begin and end, the lines when it began and when it ended, and
// every start in the order they fired.
struct SimulatedSpan {
    SYSTEMTIME begin{}, end{};
    std::vector<LineDevice> first, last;
    std::vector<StartRecord> starts;
    std::vector<OffSpan> off;
    std::optional<WaitingStart> waiting;
};

// Hands each start the telephony calls its process made. `calls` are the calls logged during
// the span, in order; a process's calls are consecutive, and starts come in the same order.
void attributeCalls(const std::vector<CallRecord>& calls, std::vector<StartRecord>* starts);

// Causes in the order they are looked for.
enum class Cause { Failed, Late, Unarmed, Outside };
// "failed", "late", "unarmed", "outside".
const char* causeName(Cause cause);

struct MissedSwitch {
    Switch missed;
    SYSTEMTIME checked{};          // the next switch, or the span's end
    std::vector<LineDevice> wrong; // the voice lines in the wrong state there
    Cause cause = Cause::Outside;
    std::optional<SYSTEMTIME> fired; // the start that failed or came late
    std::string detail;              // one line for people
};

// One entry per switch of the timetable that left a voice line in the wrong state just
// before the next switch (or at the span's end). The switch-on of a minute that also switches
// off is not checked on its own: off follows it at once. Nothing before the first switch is
// checked. The cause is the first that holds: a line that failed at the start that made the
// switch (a box, or a failed telephony call on that line); a late start for it; no start
// armed for it; a line changed from outside (also every line found neither on nor off).
std::vector<MissedSwitch> findMissedSwitches(const std::vector<Switch>& switches,
                                             const SimulatedSpan& span);

// One missed switch as a report line. For scripts, tab-separated: "missed", the switch's time,
// on or off, the cause's name, when the failing or late start fired (or "-"), the wrong voice
// lines (INDEX=STATE,...), when they were checked, and the detail; for people, one sentence.
std::string missedLine(const MissedSwitch& missed, bool tsv);

// ---- Gathered from the phone ----

// When the phone fires a start registered for `due`: at the first minute that exists at or
// after it, at once when that lies before `now`, and at the end of an off span that holds it.
// `why` tells which of these made it late.
SYSTEMTIME firingTime(const SYSTEMTIME& due, const SYSTEMTIME& now, const std::vector<OffSpan>& off,
                      Lateness* why);

// The stored values, exactly as the phone holds them.
StoredTimetable readStoredTimetable(Phone& phone);

// A local date and time read as if it were UTC: seconds that order and subtract as the local
// clock's reading does, with no regard to its zone.
long long wallSeconds(const SYSTEMTIME& local);

// A change of the local clock: just before it the clock read `from`, just after it `to`. Later
// than `from`: the clocks went forward and skipped [from, to); earlier: [to, from) repeats.
struct ClockChange {
    SYSTEMTIME from{}, to{};
};
// The changes of the host's zone on the calendar days from `begin`'s to `end`'s.
std::vector<ClockChange> clockChanges(const SYSTEMTIME& begin, const SYSTEMTIME& end);

// ---- The report ----

struct SpanReport {
    size_t missed = 0;
    bool drawn = true; // the picture, when one was asked for, is written in full
};
// Ends a simulated span: reads the lines as it leaves them and the telephony calls logged after
// the first `callsBefore`, prints each missed switch (tab-separated with `tsv`), and writes the
// timeline into `svg` and closes it when it is not null. The phone's status when the lines or
// the calls cannot be read; nothing is then reported.
LONG reportSpan(Phone& phone, SimulatedSpan* span, const Timetable& timetable, size_t callsBefore,
                bool tsv, FILE* svg, SpanReport* report);

} // namespace phone

#endif
