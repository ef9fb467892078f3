// The phone's timed-start service: at most one pending start per executable path, kept in the
// state's "TimedStarts" key (value name: the path; data: the local time, YYYY-MM-DD HH:MM:SS).
// Whatever fires the starts takes a start off the list as it starts the program, as the
// platform's notification fires once.
#include "win32.h"

#include <algorithm>

namespace winphone {

namespace {
const wchar_t kStartsKey[] = L"TimedStarts";
} // namespace

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
        (lpTime != nullptr && !winphone::isValidDateTime(*lpTime, &at))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
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
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return FALSE;
    }
    return TRUE;
}
