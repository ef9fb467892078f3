#include "mutex_holder.h"

#include <csignal>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

MutexHolder::MutexHolder(const std::u16string& name) {
    int ready[2], control[2];
    if (pipe(ready) != 0 || pipe(control) != 0)
        return;
    pid_ = fork();
    if (pid_ == 0) {
        // The child touches nothing of the parent's store: the mutex needs only the phone's path.
        close(ready[0]);
        close(control[1]);
        HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
        char got = mutex && WaitForSingleObject(mutex, 0) == WAIT_OBJECT_0 ? 'y' : 'n';
        if (write(ready[1], &got, 1) != 1)
            _exit(2);
        char order = 0;
        if (read(control[0], &order, 1) == 1 && order == 'r')
            ReleaseMutex(mutex);
        _exit(0);
    }
    close(ready[1]);
    close(control[0]);
    control_ = control[1];
    char got = 0;
    held_ = pid_ > 0 && read(ready[0], &got, 1) == 1 && got == 'y';
    close(ready[0]);
}

MutexHolder::~MutexHolder() {
    kill();
}

void MutexHolder::release() {
    if (control_ >= 0 && write(control_, "r", 1) != 1)
        return;
    finish();
}

void MutexHolder::kill() {
    if (pid_ > 0)
        ::kill(pid_, SIGKILL);
    finish();
}

void MutexHolder::finish() {
    if (control_ >= 0)
        close(control_);
    control_ = -1;
    if (pid_ > 0) {
        int status;
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
}

bool mutexIsFree(const std::u16string& name) {
    bool free = false;
    std::thread other([&] {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
        DWORD outcome = WaitForSingleObject(mutex, 0);
        free = outcome == WAIT_OBJECT_0 || outcome == WAIT_ABANDONED;
        if (free)
            ReleaseMutex(mutex);
        CloseHandle(mutex);
    });
    other.join();
    return free;
}
