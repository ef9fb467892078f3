// The timed-start service's rules, once for every layer: CeRunAppAtTime's checks and refusals,
// the record of what it refused, the order starts are listed in, and the taking of a start that
// fires. What the service keeps is the layer's (timed_start.h).
#include "platform/phone/timed_start.h"

#include "platform/clock_text.h"
#include "platform/phone/state.h"

#include <algorithm>
#include <tuple>

namespace {

using timed_start_state::StoredPath;

// The service keeps its own record of what it refused, so that whoever fires the starts learns
// of a failed registration from the service and not from what the program shows. A store that
// cannot take the record has refused the registration itself; that goes unrecorded.
BOOL refuseStart(const StoredPath& path, const SYSTEMTIME* time, DWORD error) {
    timed_start_state::Refusal refusal{phone_state::processId(), error,
                                       time ? clock_text::formatDateTime(*time) : "", path};
    if (timed_start_state::beginChange() == ERROR_SUCCESS) {
        long long id = 0;
        LONG status = timed_start_state::appendRefusal(refusal, &id);
        if (status == ERROR_SUCCESS)
            status = timed_start_state::dropRefusalsUpTo(id - phone_timed_start::kRefusalsKept);
        timed_start_state::endChange(status);
    }
    SetLastError(error);
    return FALSE;
}

// Where a start stands in the listing before its time and path: one whose time cannot be read
// first, one whose stored time is no date and time last.
int listingGroup(const timed_start_state::PendingStart& start) {
    if (start.status != ERROR_SUCCESS)
        return 0;
    return start.valid ? 1 : 2;
}

} // namespace

namespace phone_timed_start {

LONG pendingStarts(std::vector<PendingStart>* out) {
    out->clear();
    LONG status = timed_start_state::readStarts(out);
    for (PendingStart& p : *out)
        p.valid = p.status == ERROR_SUCCESS && clock_text::parseDateTime(p.text, &p.at);
    std::sort(out->begin(), out->end(), [](const PendingStart& a, const PendingStart& b) {
        return std::forward_as_tuple(listingGroup(a), a.text, a.path) <
               std::forward_as_tuple(listingGroup(b), b.text, b.path);
    });
    return status;
}

LONG takePendingStart(const PendingStart& start) {
    LONG status = timed_start_state::beginChange();
    if (status != ERROR_SUCCESS)
        return status;
    PendingStart stored;
    status = timed_start_state::readStart(start.path, &stored);
    // Only the registration that was due goes: one made meanwhile, for another time, stays, and
    // so does one that cannot be read, for a person to look at.
    if (status == ERROR_SUCCESS && stored.text == start.text)
        status = timed_start_state::removeStart(start.path);
    else if (status == ERROR_FILE_NOT_FOUND || status == ERROR_BADDB || status == ERROR_SUCCESS)
        status = ERROR_SUCCESS;
    return timed_start_state::endChange(status);
}

} // namespace phone_timed_start

BOOL CeRunAppAtTime(LPCWSTR pwszAppName, const SYSTEMTIME* lpTime) {
    StoredPath path = timed_start_state::storedPath(pwszAppName);
    // Both checked before the store is touched, so that a refused call leaves the earlier
    // registration in place.
    if (path.empty() || (lpTime && !clock_text::isValidDateTime(*lpTime)))
        return refuseStart(path, lpTime, ERROR_INVALID_PARAMETER);
    LONG status;
    if (!lpTime) {
        // Cancelling when nothing is pending is no failure: afterwards nothing is pending.
        status = timed_start_state::removeStart(path);
        if (status == ERROR_FILE_NOT_FOUND)
            status = ERROR_SUCCESS;
    } else {
        // The weekday is the date's own, whatever the caller's record says.
        status = timed_start_state::writeStart(path, clock_text::formatDateTime(*lpTime));
    }
    if (status != ERROR_SUCCESS)
        return refuseStart(path, lpTime, static_cast<DWORD>(status));
    return TRUE;
}
