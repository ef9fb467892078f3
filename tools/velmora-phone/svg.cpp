// The timeline picture: rectangles, lines and text in a 440-unit-wide view box that scales to
// the page. Text is about a fortieth of the width: still readable on a phone's 360 pixels, and
// large rather than lost at 1280.
#include "svg.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace phone {
namespace {

constexpr double kWidth = 440;
constexpr double kChartX = 56;
constexpr double kChartWidth = kWidth - kChartX - 16;
constexpr double kMarkZone = 13;   // tick heads and boxes, above the bands
constexpr double kBandHeight = 12; // one voice line's band
constexpr double kBandStep = 14;
constexpr double kSwitchZone = 12; // the timetable's switches, below the bands
constexpr double kRowGap = 5;
constexpr double kMinutesPerDrawnDay = 1440;

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

const char kStyle[] = R"css(
text { fill: #222; }
.title { font-size: 13px; font-weight: bold; }
.note { font-size: 11px; fill: #444; }
.legend { font-size: 11px; }
.axis { font-size: 10px; fill: #555; }
.weekday { font-size: 12px; font-weight: bold; }
.date { font-size: 10px; fill: #555; }
.hours { font-size: 10px; fill: #7a4fb5; font-weight: bold; }
.row { fill: #f7f7f7; }
.grid { stroke: #e0e0e0; stroke-width: 0.5; }
.grid6 { stroke: #c4c4c4; stroke-width: 0.7; }
.outside { fill: #e4e4e4; }
.on { fill: #2e9d4f; }
.off { fill: #5b6570; }
.neither { fill: #f0a020; }
.phone-off { fill: url(#hatch-off); stroke: #444; stroke-width: 0.6; }
.clock { fill: url(#hatch-clock); }
.tick { stroke: #111; stroke-width: 1.2; }
.tick-idle { stroke: #8a8a8a; stroke-width: 0.9; stroke-dasharray: 2 1.5; }
.head { fill: #111; }
.head-idle { fill: #fff; stroke: #8a8a8a; stroke-width: 0.9; }
.box { fill: #ffcc00; stroke: #7a5c00; stroke-width: 0.7; }
.box-mark { font-size: 7px; font-weight: bold; fill: #000; }
.sw-on { fill: #2e9d4f; }
.sw-off { fill: #5b6570; }
.sw-missed { fill: #d62728; }
.miss { fill: url(#hatch-missed); stroke: #d62728; stroke-width: 1.4; }
)css";

std::string xml(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\n':
            out += ' ';
            break;
        default:
            // Other control characters are not allowed in XML at all.
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t')
                out += c;
        }
    }
    return out;
}

std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

std::string stamp(const SYSTEMTIME& t) {
    return host::formatDateTime(t);
}

std::string minuteText(const SYSTEMTIME& t) {
    return stamp(t).substr(0, 16);
}

std::string clockText(const SYSTEMTIME& t) {
    return stamp(t).substr(11, 5);
}

SYSTEMTIME dateOf(const SYSTEMTIME& t) {
    SYSTEMTIME d = t;
    d.wHour = d.wMinute = d.wSecond = d.wMilliseconds = 0;
    d.wDayOfWeek = static_cast<WORD>(host::dayOfWeek(d.wYear, d.wMonth, d.wDay));
    return d;
}

long long dayNumber(const SYSTEMTIME& t) {
    return wallSeconds(dateOf(t)) / 86400;
}

double minuteOfDay(const SYSTEMTIME& t) {
    return t.wHour * 60.0 + t.wMinute + t.wSecond / 60.0;
}

double xAt(double minute) {
    return kChartX + kChartWidth * minute / kMinutesPerDrawnDay;
}

const char* radioClass(DWORD state) {
    switch (radioOf(state)) {
    case Radio::On:
        return "on";
    case Radio::Off:
        return "off";
    case Radio::Neither:
        break;
    }
    return "neither";
}

struct Layout {
    SYSTEMTIME firstDay{};
    long long firstDayNumber = 0;
    size_t rows = 0;
    double rowsTop = 0, rowHeight = 0;
    std::vector<DWORD> lines; // voice lines, each a band

    double rowTop(size_t row) const { return rowsTop + static_cast<double>(row) * rowHeight; }
    double bandsTop(size_t row) const { return rowTop(row) + kMarkZone; }
    double bandsBottom(size_t row) const {
        return bandsTop(row) + kBandStep * static_cast<double>(lines.size()) - 2;
    }
    double bandTop(size_t row, size_t line) const {
        return bandsTop(row) + kBandStep * static_cast<double>(line);
    }
    // The row of a local time; rows.size() when outside.
    size_t rowOf(const SYSTEMTIME& t) const {
        long long d = dayNumber(t) - firstDayNumber;
        return d < 0 || static_cast<size_t>(d) >= rows ? rows : static_cast<size_t>(d);
    }
};

// Calls draw(row, from minute, to minute, piece start, piece end) for each day's piece of
// [from, to): the piece that reaches midnight ends at the next day's 00:00:00, drawn as 24:00.
template <typename Draw>
void eachDayPiece(const Layout& layout, const SYSTEMTIME& from, const SYSTEMTIME& to, Draw draw) {
    SYSTEMTIME at = from;
    while (host::compareLocalTimes(at, to) < 0) {
        SYSTEMTIME midnight = host::addDays(dateOf(at), 1);
        const bool whole = host::compareLocalTimes(midnight, to) <= 0;
        SYSTEMTIME pieceEnd = whole ? midnight : to;
        const double m0 = minuteOfDay(at), m1 = whole ? kMinutesPerDrawnDay : minuteOfDay(to);
        const size_t row = layout.rowOf(at);
        if (row < layout.rows && m1 > m0)
            draw(row, m0, m1, at, pieceEnd);
        at = pieceEnd;
    }
}

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
        const std::vector<host::LineDevice>* lines;
    };
    std::vector<Reading> readings{{span.begin, &span.first}};
    for (const StartRecord& s : span.starts)
        readings.push_back({s.fired, &s.after});
    std::vector<Band> bands;
    for (DWORD line : lines) {
        std::optional<Band> open;
        for (const Reading& r : readings) {
            std::optional<DWORD> state;
            for (const host::LineDevice& l : *r.lines)
                if (l.index == line && isVoiceLine(l))
                    state = l.equipmentState;
            if (open && state && *state == open->state)
                continue;
            if (open) {
                open->to = r.at;
                if (host::compareLocalTimes(open->from, open->to) < 0)
                    bands.push_back(*open);
                open.reset();
            }
            if (state)
                open = Band{line, *state, r.at, r.at};
        }
        if (open && host::compareLocalTimes(open->from, span.end) < 0) {
            open->to = span.end;
            bands.push_back(*open);
        }
    }
    return bands;
}

std::string startTitle(const StartRecord& s) {
    std::string text = minuteText(s.fired) + " start";
    if (s.due && host::compareLocalTimes(*s.due, s.fired) != 0)
        text += " (due " + minuteText(*s.due) + ")";
    std::string changes;
    for (const host::LineDevice& b : s.before)
        for (const host::LineDevice& a : s.after)
            if (a.index == b.index && a.equipmentState != b.equipmentState)
                changes += (changes.empty() ? "" : ", ") + std::string("line ") +
                           std::to_string(b.index) + " " + radioClass(b.equipmentState) + " to " +
                           radioClass(a.equipmentState);
    text += changes.empty() ? ": switched nothing" : ": " + changes;
    if (!s.started)
        text += "; the program could not be started";
    text += s.next ? "; next " + s.next->text.substr(0, 16) : std::string("; nothing pending");
    return text;
}

bool switchedSomething(const StartRecord& s) {
    for (const host::LineDevice& b : s.before)
        for (const host::LineDevice& a : s.after)
            if (a.index == b.index && a.equipmentState != b.equipmentState)
                return true;
    return false;
}

std::string triangle(double x, double y, bool up, const char* cls) {
    const double w = 4.2, h = 7;
    std::string points = up ? num(x - w) + "," + num(y + h) + " " + num(x + w) + "," + num(y + h) +
                                  " " + num(x) + "," + num(y)
                            : num(x - w) + "," + num(y) + " " + num(x + w) + "," + num(y) + " " +
                                  num(x) + "," + num(y + h);
    return "<polygon class=\"" + std::string(cls) + "\" points=\"" + points + "\"/>";
}

// Splits a long line at "; " so that each piece fits the width.
std::vector<std::string> wrap(const std::string& text, size_t width) {
    std::vector<std::string> out;
    std::string line;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find("; ", at);
        std::string part = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (!line.empty() && line.size() + 2 + part.size() > width) {
            out.push_back(line + ";");
            line.clear();
        }
        line += (line.empty() ? "" : "; ") + part;
        if (end == std::string::npos)
            break;
        at = end + 2;
    }
    if (!line.empty())
        out.push_back(line);
    return out;
}

} // namespace

std::string timelineSvg(const SimulatedSpan& span, const std::vector<Switch>& switches,
                        const std::vector<MissedSwitch>& missed,
                        const std::vector<ClockChange>& changes, const std::string& timetable) {
    Layout layout;
    layout.firstDay = dateOf(span.begin);
    layout.firstDayNumber = dayNumber(layout.firstDay);
    layout.rows = static_cast<size_t>(dayNumber(span.end) - layout.firstDayNumber + 1);
    std::set<DWORD> voice;
    auto noteVoice = [&](const std::vector<host::LineDevice>& lines) {
        for (const host::LineDevice& l : lines)
            if (isVoiceLine(l))
                voice.insert(l.index);
    };
    noteVoice(span.first);
    noteVoice(span.last);
    for (const StartRecord& s : span.starts) {
        noteVoice(s.before);
        noteVoice(s.after);
    }
    layout.lines.assign(voice.begin(), voice.end());
    const size_t bandCount = std::max<size_t>(layout.lines.size(), 1);
    layout.rowHeight =
        kMarkZone + kBandStep * static_cast<double>(bandCount) + kSwitchZone + kRowGap;

    size_t boxes = 0;
    for (const StartRecord& s : span.starts)
        boxes += s.boxes.size();

    // The header: what was simulated, the timetable, the totals, then the legend.
    std::string head;
    double y = 18;
    head += "<text class=\"title\" x=\"8\" y=\"" + num(y) + "\">" +
            xml(std::string(kDays[span.begin.wDayOfWeek % 7]) + " " + minuteText(span.begin) +
                " to " + kDays[span.end.wDayOfWeek % 7] + " " + minuteText(span.end)) +
            "</text>\n";
    for (const std::string& line : wrap("Timetable: " + timetable, 72)) {
        y += 13;
        head += "<text class=\"note\" x=\"8\" y=\"" + num(y) + "\">" + xml(line) + "</text>\n";
    }
    y += 13;
    const std::string totals = std::to_string(span.starts.size()) +
                               (span.starts.size() == 1 ? " start, " : " starts, ") +
                               std::to_string(missed.size()) +
                               (missed.size() == 1 ? " missed switch, " : " missed switches, ") +
                               std::to_string(boxes) + (boxes == 1 ? " box" : " boxes");
    head += "<text class=\"note\" x=\"8\" y=\"" + num(y) + "\">" + xml(totals) + "</text>\n";

    struct LegendItem {
        std::string swatch; // drawn at (0, 0), 14 wide and 10 high
        const char* text;
    };
    const LegendItem legend[] = {
        {"<rect class=\"on\" width=\"14\" height=\"10\"/>", "radio on (2, 3 or 5)"},
        {"<rect class=\"off\" width=\"14\" height=\"10\"/>", "radio off (1)"},
        {"<rect class=\"neither\" width=\"14\" height=\"10\"/>", "neither (4): changed outside"},
        {"<rect class=\"miss\" width=\"14\" height=\"10\"/>", "missed switch (until checked)"},
        {"<line class=\"tick\" x1=\"7\" y1=\"0\" x2=\"7\" y2=\"10\"/><circle class=\"head\" "
         "cx=\"7\" cy=\"2\" r=\"2.6\"/>",
         "start that switched"},
        {"<line class=\"tick-idle\" x1=\"7\" y1=\"0\" x2=\"7\" y2=\"10\"/><circle "
         "class=\"head-idle\" cx=\"7\" cy=\"2\" r=\"2.4\"/>",
         "start that switched nothing"},
        {triangle(4, 2, true, "sw-on") + triangle(11, 2, false, "sw-off"),
         "timetable: switch on, off"},
        {"<rect class=\"box\" x=\"2\" width=\"10\" height=\"10\" rx=\"1.5\"/><text "
         "class=\"box-mark\" x=\"5.4\" y=\"8\">!</text>",
         "message box shown"},
        {"<rect class=\"phone-off\" width=\"14\" height=\"10\"/>", "phone switched off"},
        {"<rect class=\"clock\" width=\"14\" height=\"10\"/>", "hour skipped or repeated"},
        {"<rect class=\"outside\" width=\"14\" height=\"10\"/>", "not simulated"},
    };
    y += 8;
    const double legendTop = y;
    size_t index = 0;
    for (const LegendItem& item : legend) {
        const double x = index % 2 ? 8 + kWidth / 2 : 8;
        const double itemY = legendTop + 15.0 * static_cast<double>(index / 2);
        head += "<g transform=\"translate(" + num(x) + "," + num(itemY) + ")\">" + item.swatch +
                "<text class=\"legend\" x=\"20\" y=\"9\">" + xml(item.text) + "</text></g>\n";
        ++index;
    }
    y = legendTop + 15.0 * static_cast<double>((index + 1) / 2) + 14;
    const double axisY = y;
    layout.rowsTop = axisY + 6;
    const double rowsBottom = layout.rowTop(layout.rows);
    const double height = rowsBottom + 16;

    std::string out;
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + num(kWidth) + " " +
           num(height) +
           "\" width=\"100%\" font-family=\"DejaVu Sans, Verdana, sans-serif\" "
           "data-begin=\"" +
           stamp(span.begin) + "\" data-end=\"" + stamp(span.end) + "\">\n";
    out += "<title>Radio timetable, simulated " + xml(minuteText(span.begin)) + " to " +
           xml(minuteText(span.end)) + "</title>\n";
    out += "<style>" + std::string(kStyle) + "</style>\n";
    out += "<defs>\n"
           "<pattern id=\"hatch-off\" width=\"5\" height=\"5\" patternUnits=\"userSpaceOnUse\" "
           "patternTransform=\"rotate(45)\"><rect width=\"5\" height=\"5\" fill=\"#ffffff\" "
           "fill-opacity=\"0.55\"/><line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"5\" stroke=\"#333\" "
           "stroke-width=\"1.6\"/></pattern>\n"
           "<pattern id=\"hatch-clock\" width=\"4\" height=\"4\" patternUnits=\"userSpaceOnUse\" "
           "patternTransform=\"rotate(-45)\"><rect width=\"4\" height=\"4\" fill=\"#ece3f7\"/>"
           "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"4\" stroke=\"#7a4fb5\" stroke-width=\"1.2\"/>"
           "</pattern>\n"
           // Red strokes over whatever the band shows, so the wrong state stays visible.
           "<pattern id=\"hatch-missed\" width=\"4\" height=\"4\" patternUnits=\"userSpaceOnUse\" "
           "patternTransform=\"rotate(45)\"><line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"4\" "
           "stroke=\"#d62728\" stroke-width=\"1.5\"/></pattern>\n"
           "</defs>\n";
    out += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    out += head;

    // The hours, above the rows and below them.
    for (int hour = 0; hour <= 24; hour += 3) {
        const double x = xAt(hour * 60.0);
        out += "<line class=\"" + std::string(hour % 6 ? "grid" : "grid6") + "\" x1=\"" + num(x) +
               "\" y1=\"" + num(axisY + 2) + "\" x2=\"" + num(x) + "\" y2=\"" + num(rowsBottom) +
               "\"/>\n";
        if (hour % 6 == 0) {
            char label[8];
            std::snprintf(label, sizeof label, "%02d:00", hour);
            for (double ly : {axisY, rowsBottom + 11})
                out += "<text class=\"axis\" x=\"" + num(x) + "\" y=\"" + num(ly) +
                       "\" text-anchor=\"middle\">" + label + "</text>\n";
        }
    }

    // The days: label, background, and what was not simulated.
    std::vector<int> dayLengthChange(layout.rows, 0); // minutes the clocks moved that day
    for (const ClockChange& c : changes) {
        const size_t row = layout.rowOf(c.to);
        if (row < layout.rows)
            dayLengthChange[row] += static_cast<int>((dayNumber(c.from) - dayNumber(c.to)) * 1440 +
                                                     minuteOfDay(c.from) - minuteOfDay(c.to));
    }
    for (size_t row = 0; row < layout.rows; ++row) {
        const SYSTEMTIME day = host::addDays(layout.firstDay, static_cast<int>(row));
        const double top = layout.rowTop(row);
        const double bottom = top + layout.rowHeight - kRowGap;
        out += "<g class=\"day\" data-date=\"" + stamp(day).substr(0, 10) + "\">\n";
        out += "<rect class=\"row\" x=\"" + num(kChartX) + "\" y=\"" + num(top) + "\" width=\"" +
               num(kChartWidth) + "\" height=\"" + num(bottom - top) + "\"/>\n";
        out += "<text class=\"weekday\" x=\"6\" y=\"" + num(top + 15) + "\">" +
               kDays[day.wDayOfWeek % 7] + "</text>\n";
        out += "<text class=\"date\" x=\"6\" y=\"" + num(top + 27) + "\">" +
               std::to_string(day.wDay) + " " + kMonths[(day.wMonth + 11) % 12] + "</text>\n";
        // The third line: a day that is not 24 hours long says so; else a new year is named.
        if (dayLengthChange[row] != 0) {
            const int minutes = 1440 + dayLengthChange[row];
            char hours[16];
            std::snprintf(hours, sizeof hours, minutes % 60 ? "%d:%02d h" : "%d h", minutes / 60,
                          minutes % 60);
            out +=
                "<text class=\"hours\" x=\"6\" y=\"" + num(top + 38) + "\">" + hours + "</text>\n";
        } else if (row == 0 || (day.wMonth == 1 && day.wDay == 1)) {
            out += "<text class=\"date\" x=\"6\" y=\"" + num(top + 38) + "\">" +
                   std::to_string(day.wYear) + "</text>\n";
        }
        out += "</g>\n";
    }
    auto outside = [&](const SYSTEMTIME& from, const SYSTEMTIME& to, const char* what) {
        eachDayPiece(layout, from, to, [&](size_t row, double m0, double m1, auto, auto) {
            out += "<rect class=\"outside\" x=\"" + num(xAt(m0)) + "\" y=\"" +
                   num(layout.rowTop(row)) + "\" width=\"" + num(xAt(m1) - xAt(m0)) +
                   "\" height=\"" + num(layout.rowHeight - kRowGap) + "\"><title>" + what +
                   "</title></rect>\n";
        });
    };
    outside(layout.firstDay, span.begin, "before the simulation");
    outside(span.end, host::addDays(dateOf(span.end), 1), "after the simulation");

    // The hours the clocks skip or repeat.
    for (const ClockChange& c : changes) {
        const bool forward = host::compareLocalTimes(c.from, c.to) < 0;
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

    // The radio of each voice line.
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

    // Phone-off spans over the bands.
    for (const OffSpan& o : span.off) {
        const SYSTEMTIME from =
            host::compareLocalTimes(o.from, span.begin) < 0 ? span.begin : o.from;
        const SYSTEMTIME to = host::compareLocalTimes(o.to, span.end) > 0 ? span.end : o.to;
        eachDayPiece(layout, from, to, [&](size_t row, double m0, double m1, auto, auto) {
            out += "<rect class=\"phone-off\" data-from=\"" + stamp(o.from) + "\" data-to=\"" +
                   stamp(o.to) + "\" x=\"" + num(xAt(m0)) + "\" y=\"" +
                   num(layout.bandsTop(row) - 3) + "\" width=\"" + num(xAt(m1) - xAt(m0)) +
                   "\" height=\"" + num(layout.bandsBottom(row) - layout.bandsTop(row) + 6) +
                   "\"><title>phone off from " + minuteText(o.from) + " to " + minuteText(o.to) +
                   "</title></rect>\n";
        });
    }

    // Missed switches: wrong from the switch until the check.
    std::set<std::string> missedAt;
    for (const MissedSwitch& m : missed) {
        missedAt.insert(stamp(m.missed.at) + (m.missed.on ? "on" : "off"));
        const std::string title = std::string("missed switch-") + (m.missed.on ? "on" : "off") +
                                  " " + minuteText(m.missed.at) + ": " + causeName(m.cause) + ": " +
                                  m.detail;
        out += "<g class=\"missed\" data-switch=\"" + stamp(m.missed.at) + "\" data-kind=\"" +
               (m.missed.on ? "on" : "off") + "\" data-cause=\"" + causeName(m.cause) +
               "\" data-checked=\"" + stamp(m.checked) + "\"><title>" + xml(title) + "</title>\n";
        SYSTEMTIME to = m.checked;
        if (host::compareLocalTimes(to, m.missed.at) <= 0) {
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

    // The timetable's switches below the bands.
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

    // Starts: a tick each, a solid head where it switched; boxes beside it.
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
        if (!s.boxes.empty()) {
            std::string text;
            for (const host::MessageRecord& m : s.boxes)
                text += (text.empty() ? "" : " | ") + std::string("[") + m.caption + "] " + m.text;
            out += "<g class=\"boxes\" data-fired=\"" + stamp(s.fired) + "\" data-count=\"" +
                   std::to_string(s.boxes.size()) + "\"><title>" +
                   xml(std::to_string(s.boxes.size()) +
                       (s.boxes.size() == 1 ? " box: " : " boxes: ") + text) +
                   "</title><rect class=\"box\" x=\"" + num(x + 3.5) + "\" y=\"" + num(top - 3.5) +
                   "\" width=\"9\" height=\"9\" rx=\"1.5\"/><text "
                   "class=\"box-mark\" x=\"" +
                   num(x + 6.6) + "\" y=\"" + num(top + 3.6) + "\">!</text></g>\n";
        }
    }
    out += "</svg>\n";
    return out;
}

} // namespace phone
