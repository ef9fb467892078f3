// The timeline picture: rectangles, lines and text in a 440-unit-wide view box that scales to
// the page. Text is about a fortieth of the width: still readable on a phone's 360 pixels, and
// large rather than lost at 1280. Here the picture's frame: the header and legend, the styles,
// the hours and the day rows; svg_marks.cpp draws what happened over them.
#include "svg.h"
#include "svg_drawing.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace phone {
namespace {

using namespace timeline;

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

// The rows, one a day of the span, and the voice lines whose bands each row holds; where the
// rows begin is known once the header is written.
Layout layoutOf(const SimulatedSpan& span) {
    Layout layout;
    layout.firstDay = dateOf(span.begin);
    layout.firstDayNumber = dayNumber(layout.firstDay);
    layout.rows = static_cast<size_t>(dayNumber(span.end) - layout.firstDayNumber + 1);
    std::set<DWORD> voice;
    auto noteVoice = [&](const std::vector<LineDevice>& lines) {
        for (const LineDevice& l : lines)
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
    return layout;
}

// What was simulated, the timetable and the totals, from *y down; *y ends on the last line.
std::string headerText(const SimulatedSpan& span, size_t missedCount, const std::string& timetable,
                       double* y) {
    size_t boxes = 0;
    for (const StartRecord& s : span.starts)
        boxes += s.boxes.size();
    std::string head;
    head += "<text class=\"title\" x=\"8\" y=\"" + num(*y) + "\">" +
            xml(std::string(kDays[span.begin.wDayOfWeek % 7]) + " " + minuteText(span.begin) +
                " to " + kDays[span.end.wDayOfWeek % 7] + " " + minuteText(span.end)) +
            "</text>\n";
    for (const std::string& line : wrap("Timetable: " + timetable, 72)) {
        *y += 13;
        head += "<text class=\"note\" x=\"8\" y=\"" + num(*y) + "\">" + xml(line) + "</text>\n";
    }
    *y += 13;
    const std::string totals = std::to_string(span.starts.size()) +
                               (span.starts.size() == 1 ? " start, " : " starts, ") +
                               std::to_string(missedCount) +
                               (missedCount == 1 ? " missed switch, " : " missed switches, ") +
                               std::to_string(boxes) + (boxes == 1 ? " box" : " boxes");
    head += "<text class=\"note\" x=\"8\" y=\"" + num(*y) + "\">" + xml(totals) + "</text>\n";
    return head;
}

// The legend in two columns from `top`; *bottom is where the chart's axis goes below it.
std::string legend(double top, double* bottom) {
    struct LegendItem {
        std::string swatch; // drawn at (0, 0), 14 wide and 10 high
        const char* text;
    };
    const LegendItem items[] = {
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
    std::string out;
    size_t index = 0;
    for (const LegendItem& item : items) {
        const double x = index % 2 ? 8 + kWidth / 2 : 8;
        const double itemY = top + 15.0 * static_cast<double>(index / 2);
        out += "<g transform=\"translate(" + num(x) + "," + num(itemY) + ")\">" + item.swatch +
               "<text class=\"legend\" x=\"20\" y=\"9\">" + xml(item.text) + "</text></g>\n";
        ++index;
    }
    *bottom = top + 15.0 * static_cast<double>((index + 1) / 2) + 14;
    return out;
}

// The document up to its first drawing: the root with the span's times, its title, the
// styles, the hatch patterns and a white ground.
std::string documentStart(const SimulatedSpan& span, double height) {
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
    return out;
}

// The hours, above the rows and below them.
std::string hourGrid(double axisY, double rowsBottom) {
    std::string out;
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
    return out;
}

// The days: label and background. A day that is not 24 hours long says so on its third line;
// else a new year is named there.
std::string dayRows(const Layout& layout, const std::vector<ClockChange>& changes) {
    std::vector<int> dayLengthChange(layout.rows, 0); // minutes the clocks moved that day
    for (const ClockChange& c : changes) {
        const size_t row = layout.rowOf(c.to);
        if (row < layout.rows)
            dayLengthChange[row] += static_cast<int>((dayNumber(c.from) - dayNumber(c.to)) * 1440 +
                                                     minuteOfDay(c.from) - minuteOfDay(c.to));
    }
    std::string out;
    for (size_t row = 0; row < layout.rows; ++row) {
        const SYSTEMTIME day = addDays(layout.firstDay, static_cast<int>(row));
        const double top = layout.rowTop(row);
        const double bottom = top + layout.rowHeight - kRowGap;
        out += "<g class=\"day\" data-date=\"" + clock_text::withoutTime(stamp(day)) + "\">\n";
        out += "<rect class=\"row\" x=\"" + num(kChartX) + "\" y=\"" + num(top) + "\" width=\"" +
               num(kChartWidth) + "\" height=\"" + num(bottom - top) + "\"/>\n";
        out += "<text class=\"weekday\" x=\"6\" y=\"" + num(top + 15) + "\">" +
               kDays[day.wDayOfWeek % 7] + "</text>\n";
        out += "<text class=\"date\" x=\"6\" y=\"" + num(top + 27) + "\">" +
               std::to_string(day.wDay) + " " + kMonths[(day.wMonth + 11) % 12] + "</text>\n";
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
    return out;
}

} // namespace

std::string timelineSvg(const SimulatedSpan& span, const std::vector<Switch>& switches,
                        const std::vector<MissedSwitch>& missed,
                        const std::vector<ClockChange>& changes, const std::string& timetable) {
    Layout layout = layoutOf(span);
    double y = 18;
    std::string head = headerText(span, missed.size(), timetable, &y);
    double axisY = 0;
    head += legend(y + 8, &axisY);
    layout.rowsTop = axisY + 6;
    const double rowsBottom = layout.rowTop(layout.rows);

    std::string out = documentStart(span, rowsBottom + 16);
    out += head;
    out += hourGrid(axisY, rowsBottom);
    out += dayRows(layout, changes);
    out += outsideSpans(layout, span);
    out += clockChanges(layout, changes);
    out += radioBands(layout, span);
    out += phoneOffSpans(layout, span);
    std::set<std::string> missedAt;
    out += missedSwitches(layout, missed, &missedAt);
    out += timetableSwitches(layout, switches, missedAt);
    out += startMarks(layout, span);
    out += "</svg>\n";
    return out;
}

} // namespace phone
