// A mutex that the processes on the phone share, taken with a bounded wait. Whoever holds one
// shows no box and waits on no person, so the bound passes only when something has gone badly
// wrong: the caller then goes on without the lock, and says so once its work is done.
#ifndef VELMORA_SCHEDULE_NAMED_LOCK_H
#define VELMORA_SCHEDULE_NAMED_LOCK_H

#include "platform/platform.h"

#define NAMED_LOCK_WAIT_MS 10000
// Told after the work when a lock could not be had, with WAIT_TIMEOUT or the platform's error.
#define LOCK_FAILED_NOTICE TEXT("等候其他程序時出錯！")

struct NamedLock {
    HANDLE mutex;  // NULL when the mutex could not be created
    BOOL held;     // whether this process holds it now
    BOOL failed;   // whether taking it failed (and stays so after the release)
    DWORD failure; // then: WAIT_TIMEOUT or the platform's error code
};

// Creates or opens the mutex `name` and waits for it. A mutex whose holder ended without
// releasing it (WAIT_ABANDONED) is held all the same: every holder leaves the timetable and the
// pending start as a whole it can be judged by. Returns whether it is held now.
BOOL takeNamedLock(NamedLock* lock, LPCWSTR name);
// Releases the mutex if it is held and closes it; doing it again does nothing.
void releaseNamedLock(NamedLock* lock);
// The error notice when the lock could not be had, nothing otherwise. Shown after the release.
void reportNamedLockFailure(const NamedLock* lock);

#endif
