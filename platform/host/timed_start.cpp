// The phone's timed-start service: at most one pending start per executable path. The phone's
// runner (velmora-phone run / simulate) takes a start off the list when it starts the program,
// as the platform's notification fires once.
#include "host.h"

#include <algorithm>
#include <ctime>
#include <unistd.h>

namespace host {
namespace {

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS timed_starts(path TEXT PRIMARY KEY, at TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS timed_start_refusals(
    id INTEGER PRIMARY KEY AUTOINCREMENT, pid INTEGER, path TEXT, at TEXT, error INTEGER);
)sql";

LONG ready() {
    return ensureSchema("timed_starts", kSchema);
}

} // namespace

LONG pendingStarts(std::vector<PendingStart>* out) {
    std::vector<Row> rows;
    out->clear();
    LONG status = ready();
    if (status == ERROR_SUCCESS)
        status = execute("SELECT path, at FROM timed_starts", {}, &rows);
    status = collectRows(status, rows, out, [](Row& r) {
        PendingStart p;
        p.path = r.text(0);
        p.text = r.text(1);
        // Every stored time passed the check on registration; a time that does not parse was
        // put there by hand and is listed as it stands, sorted last.
        p.valid = parseDateTime(p.text, &p.at);
        return p;
    });
    std::sort(out->begin(), out->end(), [](const PendingStart& a, const PendingStart& b) {
        if (a.valid != b.valid)
            return a.valid;
        if (a.text != b.text)
            return a.text < b.text;
        return a.path < b.path;
    });
    return status;
}

LONG pendingStart(const std::string& path, std::optional<PendingStart>* out) {
    std::vector<PendingStart> all;
    out->reset();
    LONG status = pendingStarts(&all);
    for (const PendingStart& p : all)
        if (p.path == path)
            *out = p;
    return status;
}

LONG takePendingStart(const PendingStart& start) {
    LONG status = ready();
    if (status != ERROR_SUCCESS)
        return status;
    // Only the registration that was due: one the program made meanwhile stays.
    return execute("DELETE FROM timed_starts WHERE path = ? AND at = ?",
                   {Param::str(start.path), Param::str(start.text)});
}

LONG clearPendingStarts() {
    LONG status = ready();
    return status == ERROR_SUCCESS ? execute("DELETE FROM timed_starts") : status;
}

LONG timedStartRefusals(std::vector<TimedStartRefusal>* out, long long afterId) {
    std::vector<Row> rows;
    out->clear();
    LONG status = ready();
    if (status == ERROR_SUCCESS)
        status = execute("SELECT id, pid, path, at, error FROM timed_start_refusals "
                         "WHERE id > ? ORDER BY id",
                         {Param::integer(afterId)}, &rows);
    return collectRows(status, rows, out, [](Row& r) {
        return TimedStartRefusal{r.integer(0), r.integer(1), r.text(2), r.text(3), r.dword(4)};
    });
}

LONG lastTimedStartRefusalId(long long* id) {
    *id = 0;
    LONG status = ready();
    if (status != ERROR_SUCCESS)
        return status;
    return queryInteger("SELECT COALESCE(MAX(id), 0) FROM timed_start_refusals", {}, id);
}

namespace {

// The service keeps its own record of what it refused, so that whoever fires the starts learns
// of a failed registration from the service and not from what the program shows. A store that
// cannot take the record has refused the registration itself; that goes unrecorded.
BOOL refuseStart(const std::string& path, const SYSTEMTIME* time, DWORD error) {
    std::string at;
    if (time)
        at = formatDateTime(*time);
    if (ready() == ERROR_SUCCESS &&
        execute("INSERT INTO timed_start_refusals(pid, path, at, error) VALUES(?, ?, ?, ?)",
                {Param::integer(getpid()), Param::str(path), Param::str(at),
                 Param::integer(error)}) == ERROR_SUCCESS)
        execute("DELETE FROM timed_start_refusals WHERE id <= (SELECT MAX(id) FROM "
                "timed_start_refusals) - 100");
    SetLastError(error);
    return FALSE;
}

} // namespace

int compareLocalTimes(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    const WORD fa[] = {a.wYear, a.wMonth, a.wDay, a.wHour, a.wMinute, a.wSecond};
    const WORD fb[] = {b.wYear, b.wMonth, b.wDay, b.wHour, b.wMinute, b.wSecond};
    for (int i = 0; i < 6; ++i)
        if (fa[i] != fb[i])
            return fa[i] < fb[i] ? -1 : 1;
    return 0;
}

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

// The local time read as if it were UTC: a number that orders like the local time.
long long asIfUtc(const SYSTEMTIME& t) {
    return daysFromCivil(t.wYear, t.wMonth, t.wDay) * 86400 + t.wHour * 3600LL + t.wMinute * 60LL +
           t.wSecond;
}

long long utcOffsetAt(long long instant) {
    time_t t = static_cast<time_t>(instant);
    struct tm local;
    localtime_r(&t, &local);
    return local.tm_gmtoff;
}

} // namespace

SYSTEMTIME localTimeAt(long long instant) {
    time_t t = static_cast<time_t>(instant);
    struct tm local;
    localtime_r(&t, &local);
    SYSTEMTIME out{};
    out.wYear = static_cast<WORD>(local.tm_year + 1900);
    out.wMonth = static_cast<WORD>(local.tm_mon + 1);
    out.wDayOfWeek = static_cast<WORD>(local.tm_wday);
    out.wDay = static_cast<WORD>(local.tm_mday);
    out.wHour = static_cast<WORD>(local.tm_hour);
    out.wMinute = static_cast<WORD>(local.tm_min);
    out.wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);
    return out;
}

long long startInstant(const SYSTEMTIME& local) {
    const long long wall = asIfUtc(local);
    // No zone is more than 15 hours from UTC, so the instant lies in this window.
    const long long lo = wall - 15 * 3600, hi = wall + 15 * 3600;
    const long long offset = utcOffsetAt(lo);
    if (offset == utcOffsetAt(hi) && asIfUtc(localTimeAt(wall - offset)) == wall)
        return wall - offset; // no change of offset nearby: the one instant with that time
    // Clocks change nearby: walk the window minute by minute for the first local time at or
    // after the wanted one, then find its second.
    for (long long t = lo - ((lo % 60) + 60) % 60; t <= hi + 60; t += 60) {
        if (asIfUtc(localTimeAt(t)) < wall)
            continue;
        long long first = t - 59, last = t;
        while (first < last) {
            long long mid = first + (last - first) / 2;
            if (asIfUtc(localTimeAt(mid)) >= wall)
                last = mid;
            else
                first = mid + 1;
        }
        return last;
    }
    return wall - offset;
}

SYSTEMTIME addDays(const SYSTEMTIME& local, int days) {
    long long d = daysFromCivil(local.wYear, local.wMonth, local.wDay) + days;
    // Back from days to a date (the inverse of daysFromCivil).
    d += 719468;
    const long long era = (d >= 0 ? d : d - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(d - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    SYSTEMTIME out = local;
    out.wDay = static_cast<WORD>(doy - (153 * mp + 2) / 5 + 1);
    out.wMonth = static_cast<WORD>(mp < 10 ? mp + 3 : mp - 9);
    out.wYear = static_cast<WORD>(static_cast<long long>(yoe) + era * 400 + (out.wMonth <= 2));
    out.wDayOfWeek = static_cast<WORD>(dayOfWeek(out.wYear, out.wMonth, out.wDay));
    return out;
}

} // namespace host

BOOL CeRunAppAtTime(LPCWSTR pwszAppName, const SYSTEMTIME* lpTime) {
    std::string path = host::toUtf8(pwszAppName);
    if (path.empty())
        return host::refuseStart(path, lpTime, ERROR_INVALID_PARAMETER);
    // Checked before the registration is touched, so that a refused time leaves the earlier
    // registration in place.
    if (lpTime && !host::isValidDateTime(*lpTime))
        return host::refuseStart(path, lpTime, ERROR_INVALID_PARAMETER);
    LONG status = host::ready();
    if (status == ERROR_SUCCESS && !lpTime) {
        // Cancelling when nothing is pending is no failure: afterwards nothing is pending.
        status = host::execute("DELETE FROM timed_starts WHERE path = ?", {host::Param::str(path)});
    } else if (status == ERROR_SUCCESS) {
        // The weekday is the date's own, whatever the caller's record says.
        status = host::execute(
            "INSERT INTO timed_starts(path, at) VALUES(?, ?) "
            "ON CONFLICT(path) DO UPDATE SET at = excluded.at",
            {host::Param::str(path), host::Param::str(host::formatDateTime(*lpTime))});
    }
    if (status != ERROR_SUCCESS)
        return host::refuseStart(path, lpTime, static_cast<DWORD>(status));
    return TRUE;
}
