// What the timeline's files share: the picture's measures, the rows' layout, the pieces a span
// is cut into at midnight, and the small writers of numbers, times and escaped text.
#ifndef VELMORA_TOOLS_SVG_DRAWING_H
#define VELMORA_TOOLS_SVG_DRAWING_H

#include "timetable_check.h"

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace phone::timeline {

constexpr double kWidth = 440;
constexpr double kChartX = 56;
constexpr double kChartWidth = kWidth - kChartX - 16;
constexpr double kMarkZone = 13;   // tick heads and boxes, above the bands
constexpr double kBandHeight = 12; // one voice line's band
constexpr double kBandStep = 14;
constexpr double kSwitchZone = 12; // the timetable's switches, below the bands
constexpr double kRowGap = 5;
constexpr double kMinutesPerDrawnDay = 1440;

// Text with XML's special characters escaped, a line break as a space, and other control
// characters left out.
std::string xml(std::string_view text);
// A coordinate, to a tenth.
std::string num(double v);
// "YYYY-MM-DD HH:MM:SS"; its first 16 characters; its "HH:MM".
std::string stamp(const SYSTEMTIME& t);
std::string minuteText(const SYSTEMTIME& t);
std::string clockText(const SYSTEMTIME& t);
// The day's midnight, with its weekday.
SYSTEMTIME dateOf(const SYSTEMTIME& t);
// Days since 1970 of the time's date, for counting rows.
long long dayNumber(const SYSTEMTIME& t);
double minuteOfDay(const SYSTEMTIME& t);
// Where a minute of the day lies across the chart.
double xAt(double minute);
// The CSS class of a radio state: "on", "off" or "neither".
const char* radioClass(DWORD state);
// A small triangle pointing up or down from (x, y).
std::string triangle(double x, double y, bool up, const char* cls);

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
    while (compareLocalTimes(at, to) < 0) {
        SYSTEMTIME midnight = addDays(dateOf(at), 1);
        const bool whole = compareLocalTimes(midnight, to) <= 0;
        SYSTEMTIME pieceEnd = whole ? midnight : to;
        const double m0 = minuteOfDay(at), m1 = whole ? kMinutesPerDrawnDay : minuteOfDay(to);
        const size_t row = layout.rowOf(at);
        if (row < layout.rows && m1 > m0)
            draw(row, m0, m1, at, pieceEnd);
        at = pieceEnd;
    }
}

// What happened, drawn over the rows (svg_marks.cpp), in the order they are layered: the
// stretches not simulated, the hours the clocks skip or repeat, each voice line's radio, the
// phone's off spans, the missed switches (whose times and kinds go to `missedAt`), the
// timetable's switches, and the starts with their boxes.
std::string outsideSpans(const Layout& layout, const SimulatedSpan& span);
std::string clockChanges(const Layout& layout, const std::vector<ClockChange>& changes);
std::string radioBands(const Layout& layout, const SimulatedSpan& span);
std::string phoneOffSpans(const Layout& layout, const SimulatedSpan& span);
std::string missedSwitches(const Layout& layout, const std::vector<MissedSwitch>& missed,
                           std::set<std::string>* missedAt);
std::string timetableSwitches(const Layout& layout, const std::vector<Switch>& switches,
                              const std::set<std::string>& missedAt);
std::string startMarks(const Layout& layout, const SimulatedSpan& span);

} // namespace phone::timeline

#endif
