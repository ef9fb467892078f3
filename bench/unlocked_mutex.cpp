// The benchmark's baseline for the cost of the program's locks: mutexes that are handed out at
// once and shared with nobody. Linked into velmora-unlocked in place of the phone's own
// (platform/host/mutex.cpp, which the linker then leaves out), so that the same program is
// timed with and without taking them.
#include "platform/platform.h"

#include <cstdint>

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR) {
    SetLastError(ERROR_SUCCESS);
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x30000));
}

DWORD WaitForSingleObject(HANDLE, DWORD) {
    return WAIT_OBJECT_0;
}

BOOL ReleaseMutex(HANDLE) {
    return TRUE;
}

BOOL CloseHandle(HANDLE) {
    return TRUE;
}
