// The phone's timed-start service: at most one pending start per executable path, kept in the
// state's "TimedStarts" key (value name: the path; data: the local time, YYYY-MM-DD HH:MM:SS).
// Whatever fires the starts takes a start off the list as it starts the program, as the
// platform's notification fires once. What the service refused is kept in "TimedStartRefusals"
// ("NNNNNNNN" = "PID ERROR\tAT\tPATH", numbered by "Last"), the latest hundred.
#include "win32.h"

#include <algorithm>

namespace winphone {

namespace {
const wchar_t kStartsKey[] = L"TimedStarts";
const wchar_t kRefusalsKey[] = L"TimedStartRefusals";
const DWORD kRefusalsKept = 100;

std::wstring refusalName(DWORD id) {
    wchar_t name[16];
    swprintf(name, ARRAYSIZE(name), L"%08lu", static_cast<unsigned long>(id));
    return name;
}

// Records a refused registration and sets the last error; a state that cannot take the record
// leaves it unrecorded (the caller still learns of the refusal).
BOOL refuseStart(LPCWSTR path, const SYSTEMTIME* time, DWORD error) {
    std::wstring at;
    if (time != nullptr) {
        wchar_t text[64];
        swprintf(text, ARRAYSIZE(text), L"%04u-%02u-%02u %02u:%02u:%02u", time->wYear, time->wMonth,
                 time->wDay, time->wHour, time->wMinute, time->wSecond);
        at = text;
    }
    StateLock lock;
    if (lock.held()) {
        if (DWORD id = nextRecordNumber(kRefusalsKey)) {
            setStateText(kRefusalsKey, refusalName(id),
                         std::to_wstring(GetCurrentProcessId()) + L" " + std::to_wstring(error) +
                             L"\t" + at + L"\t" + (path != nullptr ? path : L""));
            if (id > kRefusalsKept)
                deleteStateValue(kRefusalsKey, refusalName(id - kRefusalsKept));
        }
    }
    SetLastError(error);
    return FALSE;
}
} // namespace

std::vector<TimedStartRefusal> timedStartRefusals() {
    std::vector<TimedStartRefusal> out;
    for (DWORD id : recordNumbers(kRefusalsKey)) {
        std::optional<std::wstring> record = stateText(kRefusalsKey, refusalName(id));
        if (!record)
            continue;
        size_t tab1 = record->find(L'\t');
        size_t tab2 = tab1 == std::wstring::npos ? tab1 : record->find(L'\t', tab1 + 1);
        unsigned long pid = 0, error = 0;
        if (tab2 == std::wstring::npos ||
            swscanf(record->substr(0, tab1).c_str(), L"%lu %lu", &pid, &error) != 2)
            continue;
        out.push_back({id, static_cast<DWORD>(pid), record->substr(tab2 + 1),
                       toUtf8(record->substr(tab1 + 1, tab2 - tab1 - 1)),
                       static_cast<DWORD>(error)});
    }
    return out;
}

bool takePendingStart(const PendingStart& start) {
    StateLock lock;
    if (!lock.held())
        return false;
    std::optional<std::wstring> at = stateText(kStartsKey, start.path);
    // Registered again meanwhile (for another time): that registration stays.
    if (!at || toUtf8(*at) != start.text)
        return true;
    return deleteStateValue(kStartsKey, start.path) == ERROR_SUCCESS;
}

std::vector<PendingStart> pendingStarts() {
    std::vector<PendingStart> out;
    for (const std::wstring& path : stateValueNames(kStartsKey))
        if (StateValue<PendingStart> start = pendingStart(path); !start.missing())
            out.push_back(start ? *start : PendingStart{path, "", start.status(), start.problem()});
    std::sort(out.begin(), out.end(), [](const PendingStart& a, const PendingStart& b) {
        return a.text != b.text ? a.text < b.text : a.path < b.path;
    });
    return out;
}

StateValue<PendingStart> pendingStart(const std::wstring& path) {
    // The state's layout holds the text to a real date and time.
    StateValue<std::wstring> at = stateText(kStartsKey, path);
    if (!at)
        return StateValue<PendingStart>::failed(at.status(), at.problem());
    return PendingStart{path, toUtf8(*at), ERROR_SUCCESS, {}};
}

} // namespace winphone

BOOL CeRunAppAtTime(LPCWSTR pwszAppName, const SYSTEMTIME* lpTime) {
    // Both checked before the state is touched, so that a refused call leaves the earlier
    // registration in place.
    SYSTEMTIME at;
    if (pwszAppName == nullptr || *pwszAppName == 0 ||
        (lpTime != nullptr && !winphone::isValidDateTime(*lpTime, &at)))
        return winphone::refuseStart(pwszAppName, lpTime, ERROR_INVALID_PARAMETER);
    LONG status;
    if (lpTime == nullptr) {
        // Cancelling when nothing is pending is no failure: afterwards nothing is pending.
        status = winphone::deleteStateValue(winphone::kStartsKey, pwszAppName);
        if (status == ERROR_FILE_NOT_FOUND)
            status = ERROR_SUCCESS;
    } else {
        std::wstring text = winphone::fromUtf8(winphone::formatDateTime(at));
        status = winphone::writeStateValue(winphone::kStartsKey, pwszAppName, REG_SZ, text.c_str(),
                                           static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
    }
    if (status != ERROR_SUCCESS)
        return winphone::refuseStart(pwszAppName, lpTime, static_cast<DWORD>(status));
    return TRUE;
}
