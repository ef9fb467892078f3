// What happened over the timeline's rows: the stretches not simulated, the hours the clocks
// skip or repeat, each voice line's radio as bands, the phone's off spans, the missed switches,
// the timetable's switches, and the starts with the boxes they showed.
#include "svg_drawing.h"

#include <algorithm>

namespace phone::timeline {
namespace {

// Each voice line's state from the span's readings: as the span began, then as each start left
// it, until the span's end.
struct Band {
    DWORD line;
    DWORD state;
    SYSTEMTIME from, to;
};

std::vector<Band> bandsOf(const SimulatedSpan& span, const std::vector<DWORD>& lines) {
    struct Reading {
        SYSTEMTIME at;
        const std::vector<LineDevice>* lines;
    };
    std::vector<Reading> readings{{span.begin, &span.first}};
    for (const StartRecord& s : span.starts)
        readings.push_back({s.fired, &s.after});
    std::vector<Band> bands;
    for (DWORD line : lines) {
        std::optional<Band> open;
        for (const Reading& r : readings) {
            std::optional<DWORD> state;
            for (const LineDevice& l : *r.lines)
                if (l.index == line && isVoiceLine(l))
                    state = l.equipmentState;
            if (open && state && *state == open->state)
                continue;
            if (open) {
                open->to = r.at;
                if (compareLocalTimes(open->from, open->to) < 0)
                    bands.push_back(*open);
                open.reset();
            }
            if (state)
                open = Band{line, *state, r.at, r.at};
        }
        if (open && compareLocalTimes(open->from, span.end) < 0) {
            open->to = span.end;
            bands.push_back(*open);
        }
    }
    return bands;
}

std::string startTitle(const StartRecord& s) {
    std::string text = minuteText(s.fired) + " start";
    if (s.due && compareLocalTimes(*s.due, s.fired) != 0)
        text += " (due " + minuteText(*s.due) + ")";
    std::string changes;
    for (const LineDevice& b : s.before)
        for (const LineDevice& a : s.after)
            if (a.index == b.index && a.equipmentState != b.equipmentState)
                changes += (changes.empty() ? "" : ", ") + std::string("line ") +
                           std::to_string(b.index) + " " + radioClass(b.equipmentState) + " to " +
                           radioClass(a.equipmentState);
    text += changes.empty() ? ": switched nothing" : ": " + changes;
    if (!s.started)
        text += "; the program could not be started";
    text += s.next ? "; next " + clock_text::withoutSeconds(s.next->text)
                   : std::string("; nothing pending");
    return text;
}

bool switchedSomething(const StartRecord& s) {
    for (const LineDevice& b : s.before)
        for (const LineDevice& a : s.after)
            if (a.index == b.index && a.equipmentState != b.equipmentState)
                return true;
    return false;
}

// The boxes a start showed: one mark beside its tick, their texts in its title.
std::string boxMark(const StartRecord& s, double x, double top) {
    std::string text;
    for (const MessageRecord& m : s.boxes)
        text += (text.empty() ? "" : " | ") + std::string("[") + m.caption + "] " + m.text;
    return "<g class=\"boxes\" data-fired=\"" + stamp(s.fired) + "\" data-count=\"" +
           std::to_string(s.boxes.size()) + "\"><title>" +
           xml(std::to_string(s.boxes.size()) + (s.boxes.size() == 1 ? " box: " : " boxes: ") +
               text) +
           "</title><rect class=\"box\" x=\"" + num(x + 3.5) + "\" y=\"" + num(top - 3.5) +
           "\" width=\"9\" height=\"9\" rx=\"1.5\"/><text "
           "class=\"box-mark\" x=\"" +
           num(x + 6.6) + "\" y=\"" + num(top + 3.6) + "\">!</text></g>\n";
}

} // namespace

std::string outsideSpans(const Layout& layout, const SimulatedSpan& span) {
    std::string out;
    auto outside = [&](const SYSTEMTIME& from, const SYSTEMTIME& to, const char* what) {
        eachDayPiece(layout, from, to, [&](size_t row, double m0, double m1, auto, auto) {
            out += "<rect class=\"outside\" x=\"" + num(xAt(m0)) + "\" y=\"" +
                   num(layout.rowTop(row)) + "\" width=\"" + num(xAt(m1) - xAt(m0)) +
                   "\" height=\"" + num(layout.rowHeight - kRowGap) + "\"><title>" + what +
                   "</title></rect>\n";
        });
    };
    outside(layout.firstDay, span.begin, "before the simulation");
    outside(span.end, addDays(dateOf(span.end), 1), "after the simulation");
    return out;
}

std::string clockChanges(const Layout& layout, const std::vector<ClockChange>& changes) {
    std::string out;
    for (const ClockChange& c : changes) {
        const bool forward = compareLocalTimes(c.from, c.to) < 0;
        const SYSTEMTIME& a = forward ? c.from : c.to;
        const SYSTEMTIME& b = forward ? c.to : c.from;
        const std::string what =
            clockText(a) + " to " + clockText(b) +
            (forward ? " does not exist this day: the clocks went forward"
                     : " happens twice this day: the clocks went back; both are drawn here");
        eachDayPiece(layout, a, b, [&](size_t row, double m0, double m1, auto, auto) {
            out += "<rect class=\"clock\" data-from=\"" + stamp(a) + "\" data-to=\"" + stamp(b) +
                   "\" x=\"" + num(xAt(m0)) + "\" y=\"" + num(layout.rowTop(row) + 2) +
                   "\" width=\"" + num(xAt(m1) - xAt(m0)) + "\" height=\"" +
                   num(layout.rowHeight - kRowGap - 4) + "\"><title>" + xml(what) +
                   "</title></rect>\n";
        });
    }
    return out;
}

std::string radioBands(const Layout& layout, const SimulatedSpan& span) {
    std::string out;
    for (const Band& band : bandsOf(span, layout.lines)) {
        const size_t slot = static_cast<size_t>(
            std::find(layout.lines.begin(), layout.lines.end(), band.line) - layout.lines.begin());
        eachDayPiece(
            layout, band.from, band.to,
            [&](size_t row, double m0, double m1, const SYSTEMTIME& from, const SYSTEMTIME& to) {
                out += "<rect class=\"band " + std::string(radioClass(band.state)) +
                       "\" data-line=\"" + std::to_string(band.line) + "\" data-state=\"" +
                       std::to_string(band.state) + "\" data-from=\"" + stamp(from) +
                       "\" data-to=\"" + stamp(to) + "\" x=\"" + num(xAt(m0)) + "\" y=\"" +
                       num(layout.bandTop(row, slot)) + "\" width=\"" + num(xAt(m1) - xAt(m0)) +
                       "\" height=\"" + num(kBandHeight) + "\"><title>line " +
                       std::to_string(band.line) + " " + radioClass(band.state) + " (" +
                       std::to_string(band.state) + ") from " + minuteText(band.from) + " to " +
                       minuteText(band.to) + "</title></rect>\n";
            });
    }
    return out;
}

std::string phoneOffSpans(const Layout& layout, const SimulatedSpan& span) {
    std::string out;
    for (const OffSpan& o : span.off) {
        const SYSTEMTIME from = compareLocalTimes(o.from, span.begin) < 0 ? span.begin : o.from;
        const SYSTEMTIME to = compareLocalTimes(o.to, span.end) > 0 ? span.end : o.to;
        eachDayPiece(layout, from, to, [&](size_t row, double m0, double m1, auto, auto) {
            out += "<rect class=\"phone-off\" data-from=\"" + stamp(o.from) + "\" data-to=\"" +
                   stamp(o.to) + "\" x=\"" + num(xAt(m0)) + "\" y=\"" +
                   num(layout.bandsTop(row) - 3) + "\" width=\"" + num(xAt(m1) - xAt(m0)) +
                   "\" height=\"" + num(layout.bandsBottom(row) - layout.bandsTop(row) + 6) +
                   "\"><title>phone off from " + minuteText(o.from) + " to " + minuteText(o.to) +
                   "</title></rect>\n";
        });
    }
    return out;
}

// Wrong from the switch until the check.
std::string missedSwitches(const Layout& layout, const std::vector<MissedSwitch>& missed,
                           std::set<std::string>* missedAt) {
    std::string out;
    for (const MissedSwitch& m : missed) {
        missedAt->insert(stamp(m.missed.at) + (m.missed.on ? "on" : "off"));
        const std::string title = std::string("missed switch-") + (m.missed.on ? "on" : "off") +
                                  " " + minuteText(m.missed.at) + ": " + causeName(m.cause) + ": " +
                                  m.detail;
        out += "<g class=\"missed\" data-switch=\"" + stamp(m.missed.at) + "\" data-kind=\"" +
               (m.missed.on ? "on" : "off") + "\" data-cause=\"" + causeName(m.cause) +
               "\" data-checked=\"" + stamp(m.checked) + "\"><title>" + xml(title) + "</title>\n";
        SYSTEMTIME to = m.checked;
        if (compareLocalTimes(to, m.missed.at) <= 0) {
            to = m.missed.at; // checked at once: still a visible sliver
            to.wMinute = static_cast<WORD>(to.wMinute + 1);
        }
        eachDayPiece(layout, m.missed.at, to, [&](size_t row, double m0, double m1, auto, auto) {
            out += "<rect class=\"miss\" x=\"" + num(xAt(m0)) + "\" y=\"" +
                   num(layout.bandsTop(row) - 1) + "\" width=\"" +
                   num(std::max(xAt(m1) - xAt(m0), 1.5)) + "\" height=\"" +
                   num(layout.bandsBottom(row) - layout.bandsTop(row) + 2) + "\"/>\n";
        });
        out += "</g>\n";
    }
    return out;
}

// Below the bands.
std::string timetableSwitches(const Layout& layout, const std::vector<Switch>& switches,
                              const std::set<std::string>& missedAt) {
    std::string out;
    for (const Switch& s : switches) {
        const size_t row = layout.rowOf(s.at);
        if (row >= layout.rows)
            continue;
        const bool wasMissed = missedAt.count(stamp(s.at) + (s.on ? "on" : "off")) > 0;
        const double x = xAt(minuteOfDay(s.at));
        out += "<g class=\"switch\" data-at=\"" + stamp(s.at) + "\" data-kind=\"" +
               (s.on ? "on" : "off") + "\"><title>timetable: switch-" + (s.on ? "on" : "off") +
               " " + minuteText(s.at) + (wasMissed ? ", missed" : "") + "</title>" +
               triangle(x, layout.bandsBottom(row) + 3, s.on,
                        wasMissed ? "sw-missed"
                        : s.on    ? "sw-on"
                                  : "sw-off") +
               "</g>\n";
    }
    return out;
}

// A tick each, a solid head where it switched; the boxes it showed beside it.
std::string startMarks(const Layout& layout, const SimulatedSpan& span) {
    std::string out;
    for (const StartRecord& s : span.starts) {
        const size_t row = layout.rowOf(s.fired);
        if (row >= layout.rows)
            continue;
        const bool switched = switchedSomething(s);
        const double x = xAt(minuteOfDay(s.fired));
        const double top = layout.rowTop(row) + 4;
        out += "<g class=\"start" + std::string(switched ? " switched" : "") + "\" data-fired=\"" +
               stamp(s.fired) + "\" data-due=\"" + (s.due ? stamp(*s.due) : std::string("-")) +
               "\"><title>" + xml(startTitle(s)) + "</title><line class=\"" +
               (switched ? "tick" : "tick-idle") + "\" x1=\"" + num(x) + "\" y1=\"" + num(top) +
               "\" x2=\"" + num(x) + "\" y2=\"" + num(layout.bandsBottom(row) + 1) +
               "\"/><circle class=\"" + (switched ? "head" : "head-idle") + "\" cx=\"" + num(x) +
               "\" cy=\"" + num(top) + "\" r=\"2.8\"/></g>\n";
        if (!s.boxes.empty())
            out += boxMark(s, x, top);
    }
    return out;
}

} // namespace phone::timeline
