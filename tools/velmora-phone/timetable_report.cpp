// The end of a simulation: the span checked against the timetable, each missed switch printed,
// and the timeline drawn when one was asked for.
#include "tools/shared/phone.h"
#include "svg.h"
#include "timetable_check.h"

#include <algorithm>
#include <cstdio>

namespace phone {

LONG reportSpan(Phone& phone, SimulatedSpan* span, const Timetable& timetable, size_t callsBefore,
                bool tsv, FILE* svg, SpanReport* report) {
    *report = SpanReport{};
    std::vector<CallRecord> calls;
    LONG status = phone.lines(&span->last);
    if (status == ERROR_SUCCESS)
        status = phone.calls(&calls);
    if (status != ERROR_SUCCESS) {
        if (svg)
            std::fclose(svg);
        return status;
    }
    calls.erase(calls.begin(),
                calls.begin() + static_cast<long>(std::min(callsBefore, calls.size())));
    attributeCalls(calls, &span->starts);

    const std::vector<Switch> switches = switchesBetween(timetable, span->begin, span->end);
    const std::vector<MissedSwitch> missed = findMissedSwitches(switches, *span);
    for (const MissedSwitch& m : missed)
        std::printf("%s%s\n", tsv ? "" : "  ", missedLine(m, tsv).c_str());

    report->missed = missed.size();
    if (svg) {
        const std::string text =
            timelineSvg(*span, switches, missed, clockChanges(span->begin, span->end),
                        describeTimetable(timetable));
        report->drawn = std::fwrite(text.data(), 1, text.size(), svg) == text.size();
        report->drawn = std::fclose(svg) == 0 && report->drawn;
    }
    return ERROR_SUCCESS;
}

} // namespace phone
