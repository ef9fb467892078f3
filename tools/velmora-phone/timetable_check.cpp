// The timetable's switches and the switches a simulated span missed. Everything here works on
// plain data: the stored bytes, local times and what each start was seen to do.
#include "timetable_check.h"

#include "platform/platform.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace phone {
namespace {

// How the program reads the timetable when a value is missing or does not fit.
const char kDefaultDayFlags[] = "1100001";
constexpr DWORD kDefaultOnMinute = 420;
constexpr DWORD kDefaultOffMinute = 0;
constexpr size_t kDayFlagsReadBytes = 16;
constexpr size_t kMinuteBytes = 4;

const char* const kShortWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

DWORD minuteFromBytes(const std::optional<std::string>& bytes, DWORD fallback) {
    if (!bytes || bytes->size() > kMinuteBytes)
        return fallback;
    DWORD minute = 0;
    for (size_t i = 0; i < bytes->size(); ++i)
        minute |= static_cast<DWORD>(static_cast<unsigned char>((*bytes)[i])) << (8 * i);
    return minute;
}

bool sameMinute(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
           a.wMinute == b.wMinute;
}

std::string clockText(DWORD minute) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02u:%02u", minute / 60, minute % 60);
    return buf;
}

// "2027-03-28 02:30": a start or a switch is named to the minute.
std::string minuteText(const SYSTEMTIME& t) {
    return clock_text::formatMinute(t);
}

std::string radioText(DWORD state) {
    Radio radio = radioOf(state);
    const char* name = radio == Radio::On ? "on" : radio == Radio::Off ? "off" : "neither";
    return std::string(name) + " (" + std::to_string(state) + ")";
}

// The first start that fired at or after `at`.
size_t firstStartFrom(const std::vector<StartRecord>& starts, const SYSTEMTIME& at) {
    return static_cast<size_t>(std::lower_bound(starts.begin(), starts.end(), at,
                                                [](const StartRecord& s, const SYSTEMTIME& t) {
                                                    return compareLocalTimes(s.fired, t) < 0;
                                                }) -
                               starts.begin());
}

const OffSpan* offSpanHolding(const std::vector<OffSpan>& spans, const SYSTEMTIME& at) {
    for (const OffSpan& o : spans)
        if (compareLocalTimes(o.from, at) <= 0 && compareLocalTimes(at, o.to) < 0)
            return &o;
    return nullptr;
}

// Why the start that made a switch left this line as it was; empty when it did not fail.
std::string failureOf(const StartRecord& start, DWORD line) {
    if (!start.started)
        return "the program could not be started at " + minuteText(start.fired);
    for (const CallRecord& c : start.calls) {
        if (c.device != static_cast<long long>(line) || c.result >= 0)
            continue;
        char code[48];
        std::snprintf(code, sizeof code, "%ld (0x%08lX)", static_cast<long>(c.result),
                      static_cast<unsigned long>(static_cast<DWORD>(c.result)));
        return c.call + " on line " + std::to_string(line) + " answered " + code + " at " +
               minuteText(start.fired);
    }
    if (!start.boxes.empty())
        return "box [" + oneLine(start.boxes[0].caption) + "] " + oneLine(start.boxes[0].text) +
               " at " + minuteText(start.fired);
    return {};
}

// `fired` ends the detail: "fired at …", or for a start still waiting, when it will fire.
std::string lateDetail(const std::optional<SYSTEMTIME>& dueAt, Lateness lateness,
                       const std::string& fired, const SimulatedSpan& span) {
    const std::string due = dueAt ? minuteText(*dueAt) : std::string("?");
    switch (lateness) {
    case Lateness::ClockSkipped:
        return "due " + due + ", a time the clock skipped; " + fired;
    case Lateness::PhoneOff:
        if (const OffSpan* o = dueAt ? offSpanHolding(span.off, *dueAt) : nullptr)
            return "due " + due + " while the phone was off (" + minuteText(o->from) + " to " +
                   minuteText(o->to) + "); " + fired;
        return "due " + due + " while the phone was off; " + fired;
    case Lateness::Overdue:
        return "due " + due + ", already past when the simulation began; " + fired;
    case Lateness::OnTime:
        break;
    }
    return "due " + due + "; " + fired;
}

std::string unarmedDetail(const Switch& sw, const SimulatedSpan& span) {
    const std::vector<StartRecord>& starts = span.starts;
    size_t from = firstStartFrom(starts, sw.at);
    std::string why;
    if (from == 0) {
        why = starts.empty() ? "no start fired in the span"
                             : "the first start of the span was due " +
                                   (starts[0].due ? minuteText(*starts[0].due) : "later");
    } else {
        const StartRecord& previous = starts[from - 1];
        if (!previous.next)
            why = "nothing was pending after the start at " + minuteText(previous.fired) +
                  ": the cycle had stopped";
        else
            why = "the start at " + minuteText(previous.fired) + " armed " + previous.next->text;
    }
    if (const OffSpan* o = offSpanHolding(span.off, sw.at))
        why += "; the phone was off from " + minuteText(o->from) + " to " + minuteText(o->to);
    return why;
}

struct LineVerdict {
    Cause cause;
    std::string detail;
    std::optional<SYSTEMTIME> fired;
};

LineVerdict judgeLine(const Switch& sw, const LineDevice& line, const SimulatedSpan& span) {
    const std::string name = "line " + std::to_string(line.index);
    if (radioOf(line.equipmentState) == Radio::Neither)
        return {Cause::Outside,
                name + " is in state " + std::to_string(line.equipmentState) +
                    ", neither on nor off, which the program never sets",
                std::nullopt};

    const std::vector<StartRecord>& starts = span.starts;
    const size_t from = firstStartFrom(starts, sw.at);
    // The start that ran in the switch's minute made the switch, whatever it was due for.
    for (size_t i = from; i < starts.size() && sameMinute(starts[i].fired, sw.at); ++i) {
        std::string failure = failureOf(starts[i], line.index);
        if (!failure.empty())
            return {Cause::Failed, failure, starts[i].fired};
    }
    if (from < starts.size() && sameMinute(starts[from].fired, sw.at))
        return {Cause::Outside,
                name + " was " + radioText(line.equipmentState) + " though the start at " +
                    minuteText(starts[from].fired) + " switched without a failure",
                std::nullopt};
    // A start due in the switch's minute that fired later. Starts fire in the order they are
    // due, so the search ends at the first start due after the switch.
    for (size_t i = from; i < starts.size(); ++i) {
        if (!starts[i].due || compareLocalTimes(*starts[i].due, sw.at) < 0)
            continue;
        if (!sameMinute(*starts[i].due, sw.at))
            break;
        return {Cause::Late,
                lateDetail(starts[i].due, starts[i].lateness,
                           "fired at " + minuteText(starts[i].fired), span),
                starts[i].fired};
    }
    // Armed for the switch, but it had not fired when the span ended.
    if (span.waiting && sameMinute(span.waiting->due, sw.at))
        return {Cause::Late,
                lateDetail(span.waiting->due, span.waiting->lateness,
                           "it fires at " + minuteText(span.waiting->fires) + ", after the span",
                           span),
                std::nullopt};
    return {Cause::Unarmed, unarmedDetail(sw, span), std::nullopt};
}

} // namespace

Timetable readTimetable(const StoredTimetable& stored) {
    Timetable t;
    std::u16string flags;
    if (!stored.enabled || stored.enabled->size() > kDayFlagsReadBytes) {
        for (const char* c = kDefaultDayFlags; *c; ++c)
            flags += static_cast<char16_t>(*c);
    } else {
        const std::string& bytes = *stored.enabled;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2)
            flags += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    for (int day = 0; day < kWeekdays; ++day) {
        t.enabled[day] = static_cast<size_t>(day) < flags.size() && flags[day] == u'1';
        t.on[day] = minuteFromBytes(stored.on[day], kDefaultOnMinute);
        t.off[day] = minuteFromBytes(stored.off[day], kDefaultOffMinute);
    }
    return t;
}

std::string describeTimetable(const Timetable& t) {
    std::string out;
    for (int day = 0; day < kWeekdays; ++day) {
        if (!t.enabled[day])
            continue;
        struct Entry {
            DWORD minute;
            const char* kind;
        } entries[] = {{t.on[day], "on"}, {t.off[day], "off"}};
        if (entries[1].minute < entries[0].minute)
            std::swap(entries[0], entries[1]);
        std::string items;
        for (const Entry& e : entries) {
            if (!items.empty())
                items += ", ";
            items += e.minute < kMinutesPerDay
                         ? clockText(e.minute) + " " + e.kind
                         : std::string(e.kind) + " " + std::to_string(e.minute) +
                               " (not a minute of the day: never)";
        }
        out += out.empty() ? "" : "; ";
        out += std::string(kShortWeekdays[day]) + " " + items;
    }
    return out.empty() ? "no weekday takes part: it never switches" : out;
}

std::vector<Switch> switchesBetween(const Timetable& t, const SYSTEMTIME& after,
                                    const SYSTEMTIME& until) {
    std::vector<Switch> out;
    SYSTEMTIME afterMinute = after;
    afterMinute.wSecond = 0;
    SYSTEMTIME day = after;
    day.wHour = day.wMinute = day.wSecond = day.wMilliseconds = 0;
    day.wDayOfWeek = static_cast<WORD>(dayOfWeek(day.wYear, day.wMonth, day.wDay));
    while (compareLocalTimes(day, until) <= 0) {
        const int weekday = day.wDayOfWeek;
        if (t.enabled[weekday]) {
            Switch both[] = {{day, true}, {day, false}};
            const DWORD minutes[] = {t.on[weekday], t.off[weekday]};
            const bool offFirst = minutes[1] < minutes[0];
            for (int k = 0; k < 2; ++k) {
                const int i = offFirst ? 1 - k : k;
                if (minutes[i] >= kMinutesPerDay)
                    continue;
                Switch s = both[i];
                s.at.wHour = static_cast<WORD>(minutes[i] / 60);
                s.at.wMinute = static_cast<WORD>(minutes[i] % 60);
                if (compareLocalTimes(s.at, afterMinute) > 0 && compareLocalTimes(s.at, until) <= 0)
                    out.push_back(s);
            }
        }
        day = addDays(day, 1);
    }
    return out;
}

Radio radioOf(DWORD state) {
    switch (state) {
    case LINEEQUIPSTATE_MINIMUM:
        return Radio::Off;
    case LINEEQUIPSTATE_RXONLY:
    case LINEEQUIPSTATE_TXONLY:
    case LINEEQUIPSTATE_FULL:
        return Radio::On;
    default:
        return Radio::Neither;
    }
}

bool isVoiceLine(const LineDevice& line) {
    return (line.mediaModes & LINEMEDIAMODE_INTERACTIVEVOICE) != 0;
}

void attributeCalls(const std::vector<CallRecord>& calls, std::vector<StartRecord>* starts) {
    // Where each process's runs of calls begin, so that a start finds its own in order even
    // when a process id comes round again.
    std::map<long long, std::vector<size_t>> runs;
    for (size_t r = 0; r < calls.size(); ++r)
        if (r == 0 || calls[r - 1].pid != calls[r].pid)
            runs[calls[r].pid].push_back(r);
    size_t cursor = 0;
    for (StartRecord& s : *starts) {
        auto found = runs.find(s.pid);
        if (!s.started || found == runs.end())
            continue;
        auto run = std::lower_bound(found->second.begin(), found->second.end(), cursor);
        if (run == found->second.end())
            continue;
        size_t r = *run;
        while (r < calls.size() && calls[r].pid == s.pid)
            s.calls.push_back(calls[r++]);
        cursor = r;
    }
}

const char* causeName(Cause cause) {
    switch (cause) {
    case Cause::Failed:
        return "failed";
    case Cause::Late:
        return "late";
    case Cause::Unarmed:
        return "unarmed";
    case Cause::Outside:
        return "outside";
    }
    return "?";
}

std::vector<MissedSwitch> findMissedSwitches(const std::vector<Switch>& switches,
                                             const SimulatedSpan& span) {
    std::vector<MissedSwitch> out;
    for (size_t i = 0; i < switches.size(); ++i) {
        const bool last = i + 1 == switches.size();
        if (!last && sameMinute(switches[i + 1].at, switches[i].at))
            continue; // switched on and off in one minute: the switch-off is what stays
        const Switch& sw = switches[i];
        MissedSwitch m;
        m.missed = sw;
        m.checked = last ? span.end : switches[i + 1].at;
        // Nothing changes the lines between starts: just before the next switch they are as
        // the first start at or after it found them, or as the span left them.
        const std::vector<LineDevice>* lines = &span.last;
        if (!last) {
            size_t next = firstStartFrom(span.starts, m.checked);
            if (next < span.starts.size())
                lines = &span.starts[next].before;
        }
        const Radio expected = sw.on ? Radio::On : Radio::Off;
        std::optional<LineVerdict> verdict;
        for (const LineDevice& line : *lines) {
            if (!isVoiceLine(line) || radioOf(line.equipmentState) == expected)
                continue;
            m.wrong.push_back(line);
            LineVerdict v = judgeLine(sw, line, span);
            if (!verdict || v.cause < verdict->cause)
                verdict = v;
        }
        if (!verdict)
            continue;
        m.cause = verdict->cause;
        m.detail = verdict->detail;
        m.fired = verdict->fired;
        out.push_back(m);
    }
    return out;
}

std::string missedLine(const MissedSwitch& m, bool tsv) {
    const char* kind = m.missed.on ? "on" : "off";
    std::string lines, wrong;
    for (const LineDevice& l : m.wrong) {
        lines += lines.empty() ? "" : ",";
        lines += std::to_string(l.index) + "=" + std::to_string(l.equipmentState);
        wrong += wrong.empty() ? "line " : ", line ";
        wrong += std::to_string(l.index) + " " + radioText(l.equipmentState);
    }
    if (tsv)
        return std::string("missed\t") + formatDateTime(m.missed.at) + "\t" + kind + "\t" +
               causeName(m.cause) + "\t" + (m.fired ? formatDateTime(*m.fired) : "-") + "\t" +
               lines + "\t" + formatDateTime(m.checked) + "\t" + oneLine(m.detail);
    const char* cause = m.cause == Cause::Failed    ? "the line failed"
                        : m.cause == Cause::Late    ? "late start"
                        : m.cause == Cause::Unarmed ? "never armed"
                                                    : "changed from outside";
    return std::string("MISSED switch-") + kind + " " + kShortWeekdays[m.missed.at.wDayOfWeek % 7] +
           " " + minuteText(m.missed.at) + " (" + wrong + " at " + minuteText(m.checked) +
           "): " + cause + ": " + oneLine(m.detail);
}

} // namespace phone
