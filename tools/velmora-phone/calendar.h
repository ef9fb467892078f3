// The phone's calendar as the console's timed-start service needs it: local times in the host's
// zone ordered, moved by whole days, and matched to the instant at which a start registered for
// them fires, across the zone's changes of clock. A Wine phone keeps the host's zone too.
#ifndef VELMORA_TOOLS_PHONE_CALENDAR_H
#define VELMORA_TOOLS_PHONE_CALENDAR_H

#include "platform/platform.h"

#include "platform/clock_text.h"

namespace phone {

using clock_text::dayOfWeek;
using clock_text::formatDateTime;
using clock_text::isValidDateTime;
using clock_text::parseDateTime;
using clock_text::weekdayName;

// When a start registered for a local time fires, in seconds since the epoch: the first
// instant whose local time is at or after it. A time in the hour skipped when clocks go forward
// fires at the first minute that exists after it; a time in a repeated hour fires at its first
// occurrence only.
long long startInstant(const SYSTEMTIME& local);
// The host's local date and time at an instant, with its weekday.
SYSTEMTIME localTimeAt(long long instant);
// Orders two local times by date and time (weekday and milliseconds aside): <0, 0, >0.
int compareLocalTimes(const SYSTEMTIME& a, const SYSTEMTIME& b);
// The same local time so many days later (or earlier), with its weekday.
SYSTEMTIME addDays(const SYSTEMTIME& local, int days);

} // namespace phone

#endif
