// The phone's tick count: the platform's, or virtual time, in which every reading advances the
// count by a fixed step (the state's "TickStep"), so that waits measured in seconds of tick
// count pass in a few calls. Virtual time lives in the state and so is shared by every process
// on the phone.
#include "win32.h"

namespace winphone {

namespace {
const wchar_t kStepValue[] = L"TickStep";
const wchar_t kNowValue[] = L"TickNow";
} // namespace

bool setVirtualTick(std::optional<DWORD> stepMs, std::optional<DWORD> start) {
    if (!stepMs) {
        LONG status = deleteStateValue(L"", kStepValue);
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    // A frozen count would keep anything that waits on it waiting for ever.
    if (*stepMs == 0)
        return false;
    StateLock lock;
    if (!lock.held())
        return false;
    if (!start && !stateDword(L"", kNowValue))
        start = GetTickCount();
    if (start && !setStateDword(L"", kNowValue, *start))
        return false;
    return setStateDword(L"", kStepValue, *stepMs);
}

StateValue<DWORD> virtualTickStep() {
    return stateDword(L"", kStepValue);
}

DWORD peekTickCount() {
    if (virtualTickStep())
        if (std::optional<DWORD> now = stateDword(L"", kNowValue))
            return *now;
    return GetTickCount();
}

} // namespace winphone

DWORD WINAPI phoneGetTickCount(void) {
    // A virtual count that cannot be read (a step of 0 among them, which would stop time) leaves
    // the platform's, and has been said: this call has no way to fail.
    std::optional<DWORD> step = winphone::virtualTickStep();
    if (!step)
        return GetTickCount();
    // Under the lock, so that two processes reading at once each get their own step.
    winphone::StateLock lock;
    std::optional<DWORD> now = winphone::stateDword(L"", winphone::kNowValue);
    if (!lock.held() || !now)
        return GetTickCount();
    DWORD next = *now + *step; // wraps past 2^32 as the platform's count does
    winphone::setStateDword(L"", winphone::kNowValue, next);
    return next;
}
