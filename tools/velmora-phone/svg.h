// A simulated span drawn as a timeline, written as SVG text.
#ifndef VELMORA_TOOLS_SVG_H
#define VELMORA_TOOLS_SVG_H

#include "timetable_check.h"

#include <string>
#include <vector>

namespace phone {

// One row per calendar day of the span, 00:00 to 24:00 of the local clock across. Each voice
// line's radio is a band of rectangles carrying data-line, data-state, data-from and data-to
// (local "YYYY-MM-DD HH:MM:SS"; a band that runs past midnight is cut there, its part ending at
// the next day's 00:00:00). Starts are ticks, the timetable's switches marks below the bands,
// missed switches red with their cause in a <title>; boxes, phone-off spans and the hours the
// clocks skip or repeat are marked, and a legend explains them. A skipped hour is a hatched
// strip where the clock never shows that time; a repeated hour is drawn once, both passes over
// the same stretch.
std::string timelineSvg(const SimulatedSpan& span, const std::vector<Switch>& switches,
                        const std::vector<MissedSwitch>& missed,
                        const std::vector<ClockChange>& changes, const std::string& timetable);

} // namespace phone

#endif
