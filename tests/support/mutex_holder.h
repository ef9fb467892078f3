// A process that takes a named mutex on the test's phone and keeps it until it is told to
// release it, or is killed holding it.
#ifndef VELMORA_TESTS_MUTEX_HOLDER_H
#define VELMORA_TESTS_MUTEX_HOLDER_H

#include "platform/platform.h"

#include <string>
#include <sys/types.h>

class MutexHolder {
  public:
    // Forks the holder; it returns once the holder owns the mutex (held() says whether it got
    // it). The test's process must not have the mutex open yet: a forked child would share its
    // handle.
    explicit MutexHolder(const std::u16string& name);
    ~MutexHolder();
    bool held() const { return held_; }
    // The holder releases the mutex and ends.
    void release();
    // The holder dies without releasing it.
    void kill();

  private:
    void finish();
    pid_t pid_ = -1;
    int control_ = -1;
    bool held_ = false;
};

// Whether another thread could take the mutex right now (it is then released again).
bool mutexIsFree(const std::u16string& name);

#endif
