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

} // namespace winphone

namespace control {

using namespace winphone;

LONG setVirtualTick(std::optional<DWORD> stepMs, std::optional<DWORD> start) {
    if (!stepMs) {
        LONG status = deleteStateValue(L"", kStepValue);
        return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
    }
    // A frozen count would keep anything that waits on it waiting for ever.
    if (*stepMs == 0)
        return noteProblem(ERROR_INVALID_PARAMETER, "a step of virtual time is 1 ms or more");
    StateLock lock;
    if (!lock.held())
        return winphone::lockTimeout();
    if (!start && !stateDword(L"", kNowValue))
        start = GetTickCount();
    LONG status = start ? setStateDword(L"", kNowValue, *start) : ERROR_SUCCESS;
    return status == ERROR_SUCCESS ? setStateDword(L"", kStepValue, *stepMs) : status;
}

LONG virtualTickStep(std::optional<DWORD>* step) {
    StateValue<DWORD> read = stateDword(L"", kStepValue);
    *step = read;
    return read.missing() ? ERROR_SUCCESS : read.status();
}

DWORD peekTickCount() {
    std::optional<DWORD> step;
    if (virtualTickStep(&step) == ERROR_SUCCESS && step)
        if (std::optional<DWORD> now = stateDword(L"", kNowValue))
            return *now;
    return GetTickCount();
}

} // namespace control

DWORD WINAPI phoneGetTickCount(void) {
    // A virtual count that cannot be read (a step of 0 among them, which would stop time) leaves
    // the platform's, and has been said: this call has no way to fail.
    std::optional<DWORD> step = winphone::stateDword(L"", winphone::kStepValue);
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
