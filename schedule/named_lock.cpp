#include "schedule/named_lock.h"

#include "schedule/process.h"

BOOL takeNamedLock(NamedLock* lock, LPCWSTR name) {
    lock->held = FALSE;
    lock->failed = FALSE;
    lock->failure = 0;
    lock->mutex = CreateMutex(NULL, FALSE, name);
    if (lock->mutex == NULL) {
        lock->failed = TRUE;
        lock->failure = GetLastError();
        return FALSE;
    }
    DWORD outcome = WaitForSingleObject(lock->mutex, NAMED_LOCK_WAIT_MS);
    if (outcome == WAIT_OBJECT_0 || outcome == WAIT_ABANDONED) {
        lock->held = TRUE;
        return TRUE;
    }
    lock->failed = TRUE;
    lock->failure = outcome == WAIT_TIMEOUT ? (DWORD)WAIT_TIMEOUT : GetLastError();
    return FALSE;
}

void releaseNamedLock(NamedLock* lock) {
    if (lock->held)
        ReleaseMutex(lock->mutex);
    lock->held = FALSE;
    if (lock->mutex != NULL)
        CloseHandle(lock->mutex);
    lock->mutex = NULL;
}

void reportNamedLockFailure(const NamedLock* lock) {
    if (lock->failed)
        showErrorNotice(LOCK_FAILED_NOTICE, (int)lock->failure);
}
