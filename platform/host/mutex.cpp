// Mutexes. A named mutex is shared by every process on one phone, and each phone has its own
// namespace of names, as each Wine prefix does: the mutex is a small file in a folder beside the
// phone's store. Its owner holds a lock on the file through its own open file description, so
// the kernel lets go when the owner dies; the byte that the owner sets as it takes the mutex and
// clears as it releases it tells the next owner that the last one died holding it
// (WAIT_ABANDONED). A named mutex exists while some process has a handle to it (each such
// process holds a shared lock on a second byte); a name that nobody holds any more starts afresh.
// The folder and its files take the store's permissions, so that users who share a phone share
// its names.
//
// Ownership belongs to a thread, and a thread that owns a mutex may wait on it again (each wait
// then needs its own release). A process that closes its last handle while it still owns the
// mutex keeps it until it ends, as the owning thread keeps it on the platform.
#include "host.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <climits>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// The bytes of a mutex's file.
const off_t kOwnerByte = 0;   // write-locked by the owning process; '1' while owned
const off_t kHandlesByte = 1; // read-locked by every process that has a handle
const char kOwned = '1', kFree = '0';

struct Mutex {
    int fd = -1; // -1 for an unnamed mutex, which only its own process can see
    std::string path;
    std::thread::id owner; // no thread while count is 0
    DWORD count = 0;
    int handles = 0;
};

// Guards the tables below and every Mutex in them, between the threads of this process.
std::mutex tableLock;
std::map<std::string, std::shared_ptr<Mutex>> namedMutexes; // by file
std::map<uintptr_t, std::shared_ptr<Mutex>> mutexHandles;
// Handles are never reused within a process, so a closed one never becomes valid again.
uintptr_t nextHandle = 0x30000;

bool lockByte(int fd, short type, off_t byte, bool wait) {
    struct flock range = {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = byte;
    range.l_len = 1;
    int rc;
    do
        rc = fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &range);
    while (rc != 0 && errno == EINTR);
    return rc == 0;
}

void setState(int fd, char state) {
    // A failed write only loses the abandoned mark; the lock itself still orders the owners.
    if (pwrite(fd, &state, 1, kOwnerByte) != 1)
        return;
}

DWORD errorFromErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOENT:
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
        return ERROR_DISK_FULL;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_GEN_FAILURE;
    }
}

// The file that stands for a name on this phone. Names are compared as the platform compares
// them, letter case included.
std::string fileForName(const std::string& folder, const std::string& name) {
    unsigned long long hash = 14695981039346656037ull;
    for (unsigned char c : name)
        hash = (hash ^ c) * 1099511628211ull;
    char file[17];
    std::snprintf(file, sizeof file, "%016llx", hash);
    return folder + "/" + file;
}

// The phone's store file. The store follows a symbolic link to its file, as SQLite does, so a
// phone named through a link is the phone the link leads to, and its names are kept beside
// that file: processes naming the phone either way must share them.
std::string storeFile(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        char target[PATH_MAX];
        ssize_t length = readlink(path.c_str(), target, sizeof target);
        if (length <= 0 || static_cast<size_t>(length) >= sizeof target)
            break;
        std::string next(target, static_cast<size_t>(length));
        size_t slash = path.find_last_of('/');
        if (next[0] != '/' && slash != std::string::npos)
            next = path.substr(0, slash + 1) + next;
        path = next;
    }
    return path;
}

// Whoever may use the store may use its names: the folder and its files take the store's
// permissions and group, as SQLite's WAL and shared-memory files do (the umask has its say
// once, when the store is made); the folder adds search where reading is granted. Root makes
// them the store owner's, as SQLite does, so that the owner can still use them. What another
// user made is left as it is.
struct Access {
    bool known = false; // false while there is no store to follow: the umask rules
    struct stat store = {};
    mode_t fileMode = 0666, folderMode = 0777;
};

Access accessOf(const std::string& storeFile) {
    Access access;
    access.known = stat(storeFile.c_str(), &access.store) == 0;
    if (access.known) {
        access.fileMode = access.store.st_mode & 0666;
        access.folderMode = access.fileMode | (access.fileMode & 0444) >> 2;
    }
    return access;
}

void follow(const Access& access, int fd, mode_t mode) {
    struct stat st;
    if (!access.known || fstat(fd, &st) != 0)
        return;
    const uid_t self = geteuid();
    if (self != 0 && st.st_uid != self)
        return;
    const uid_t owner = self == 0 ? access.store.st_uid : st.st_uid;
    if ((st.st_uid != owner || st.st_gid != access.store.st_gid) &&
        fchown(fd, owner, access.store.st_gid) != 0) {
        // A group this user is not in: the mode still grants what the store's does.
    }
    if ((st.st_mode & 07777) != mode)
        fchmod(fd, mode);
}

void followFolder(const Access& access, const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        follow(access, fd, access.folderMode);
        close(fd);
    }
}

// A name beside `path` that no other process or thread uses.
std::string temporaryBeside(const std::string& path) {
    static unsigned made = 0; // under tableLock
    return path + ".new-" + std::to_string(getpid()) + "-" + std::to_string(++made);
}

// What is made is made whole under a name of its own, then put in place without replacing what
// another process put there meanwhile: nobody finds it with the narrower mode the umask gives.
bool makeFolder(const Access& access, const std::string& folder) {
    if (!access.known)
        return mkdir(folder.c_str(), access.folderMode) == 0 || errno == EEXIST;
    const std::string temporary = temporaryBeside(folder);
    if (mkdir(temporary.c_str(), 0700) != 0)
        return false;
    followFolder(access, temporary);
    if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, folder.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    const int error = errno;
    rmdir(temporary.c_str());
    // A file system that cannot rename so: made in place, and put right by the caller.
    if (error == EINVAL)
        return mkdir(folder.c_str(), access.folderMode) == 0 || errno == EEXIST;
    errno = error;
    return error == EEXIST;
}

// The mutex's file, opened for reading and writing; -1 with errno when it cannot be.
int makeFile(const Access& access, const std::string& path) {
    if (!access.known)
        return open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, access.fileMode);
    const std::string temporary = temporaryBeside(path);
    int fd = open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    follow(access, fd, access.fileMode);
    const bool placed = link(temporary.c_str(), path.c_str()) == 0;
    const int error = errno;
    unlink(temporary.c_str());
    if (placed)
        return fd;
    close(fd);
    if (error == EEXIST)
        return open(path.c_str(), O_RDWR | O_CLOEXEC);
    // A file system without hard links: made in place, and put right by the caller.
    return open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, access.fileMode);
}

// Opens the mutex's file, making it, and the folder, when missing. The folder exists once the
// phone has had a named mutex.
int openFile(const Access& access, const std::string& folder, const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT)
        fd = makeFile(access, path);
    if (fd < 0 && errno == ENOENT) {
        if (!makeFolder(access, folder))
            return -1;
        fd = makeFile(access, path);
    }
    if (fd >= 0 && access.known) {
        // Also what this user made before the store's permissions last changed.
        followFolder(access, folder);
        follow(access, fd, access.fileMode);
    }
    return fd;
}

HANDLE addHandle(const std::shared_ptr<Mutex>& mutex) {
    uintptr_t handle = nextHandle;
    nextHandle += 4;
    mutexHandles[handle] = mutex;
    ++mutex->handles;
    return reinterpret_cast<HANDLE>(handle);
}

std::shared_ptr<Mutex> mutexOf(HANDLE handle) {
    auto it = mutexHandles.find(reinterpret_cast<uintptr_t>(handle));
    return it == mutexHandles.end() ? nullptr : it->second;
}

// A mutex nobody in this process refers to any more: its file is let go, and with it the
// process's share in the mutex's existence.
void forgetIfUnused(const std::shared_ptr<Mutex>& mutex) {
    if (mutex->handles > 0 || mutex->count > 0)
        return;
    if (mutex->fd >= 0) {
        close(mutex->fd);
        mutex->fd = -1;
        namedMutexes.erase(mutex->path);
    }
}

// Takes the mutex for the calling thread if nobody else has it.
bool tryTake(Mutex& mutex, DWORD* outcome) {
    std::thread::id self = std::this_thread::get_id();
    if (mutex.count > 0) {
        if (mutex.owner != self)
            return false;
        ++mutex.count;
        *outcome = WAIT_OBJECT_0;
        return true;
    }
    *outcome = WAIT_OBJECT_0;
    if (mutex.fd >= 0) {
        if (!lockByte(mutex.fd, F_WRLCK, kOwnerByte, false))
            return false;
        char state = kFree;
        if (pread(mutex.fd, &state, 1, kOwnerByte) == 1 && state == kOwned)
            *outcome = WAIT_ABANDONED;
        setState(mutex.fd, kOwned);
    }
    mutex.owner = self;
    mutex.count = 1;
    return true;
}

} // namespace

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCWSTR lpName) {
    std::lock_guard<std::mutex> guard(tableLock);
    if (!lpName || !*lpName) {
        auto mutex = std::make_shared<Mutex>();
        if (bInitialOwner) {
            mutex->owner = std::this_thread::get_id();
            mutex->count = 1;
        }
        SetLastError(ERROR_SUCCESS);
        return addHandle(mutex);
    }
    // Names are flat: a backslash would name a folder of the object namespace.
    for (const WCHAR* c = lpName; *c; ++c)
        if (*c == u'\\') {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return nullptr;
        }
    if (lstrlenW(lpName) > MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    std::string store = host::storePath();
    if (store.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    const std::string file = storeFile(store);
    const std::string folder = file + "-mutex";
    const std::string path = fileForName(folder, host::toUtf8(lpName));

    if (auto known = namedMutexes.find(path); known != namedMutexes.end()) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return addHandle(known->second);
    }
    int fd = openFile(accessOf(file), folder, path);
    if (fd < 0) {
        SetLastError(errorFromErrno(errno));
        return nullptr;
    }
    // Whether the mutex exists is told by the handles byte alone: a process that can lock it
    // whole has no other process beside it, so it makes the mutex new and then shares the byte
    // (the change is one step, so nobody comes between). Every other process waits for its share
    // until the maker has done so, and finds the mutex existing.
    const bool existed = !lockByte(fd, F_WRLCK, kHandlesByte, false);
    if (existed && !lockByte(fd, F_RDLCK, kHandlesByte, true)) {
        DWORD error = errorFromErrno(errno);
        close(fd);
        SetLastError(error);
        return nullptr;
    }
    auto mutex = std::make_shared<Mutex>();
    mutex->fd = fd;
    mutex->path = path;
    if (!existed) {
        // A new mutex, whatever state one of the same name left when it ended. (Read first: a
        // write would cost every run the file's change of time.)
        char state = kFree;
        if (pread(fd, &state, 1, kOwnerByte) == 1 && state == kOwned)
            setState(fd, kFree);
        DWORD ignored;
        if (bInitialOwner)
            tryTake(*mutex, &ignored);
        lockByte(fd, F_RDLCK, kHandlesByte, false);
    }
    namedMutexes[path] = mutex;
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return addHandle(mutex);
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    // Polled: the wait ends within a few milliseconds of the owner's release. The time-out is
    // counted on the host's monotonic clock, never in the phone's tick count: virtual time lets
    // retry windows pass at once, but must not let a process stop waiting for another that still
    // holds the lock.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(dwMilliseconds);
    std::chrono::microseconds pause(50);
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(tableLock);
            std::shared_ptr<Mutex> mutex = mutexOf(hHandle);
            if (!mutex) {
                SetLastError(ERROR_INVALID_HANDLE);
                return WAIT_FAILED;
            }
            DWORD outcome;
            if (tryTake(*mutex, &outcome))
                return outcome;
        }
        if (dwMilliseconds == 0)
            return WAIT_TIMEOUT;
        std::chrono::microseconds sleep = pause;
        if (dwMilliseconds != INFINITE) {
            const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now());
            if (left <= std::chrono::microseconds::zero())
                return WAIT_TIMEOUT;
            sleep = std::min(sleep, left);
        }
        std::this_thread::sleep_for(sleep);
        pause = std::min(pause * 2, std::chrono::microseconds(2000));
    }
}

BOOL ReleaseMutex(HANDLE hMutex) {
    std::lock_guard<std::mutex> guard(tableLock);
    std::shared_ptr<Mutex> mutex = mutexOf(hMutex);
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (mutex->count == 0 || mutex->owner != std::this_thread::get_id()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--mutex->count > 0)
        return TRUE;
    mutex->owner = std::thread::id();
    if (mutex->fd >= 0) {
        setState(mutex->fd, kFree);
        lockByte(mutex->fd, F_UNLCK, kOwnerByte, false);
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE hObject) {
    std::lock_guard<std::mutex> guard(tableLock);
    auto it = mutexHandles.find(reinterpret_cast<uintptr_t>(hObject));
    if (it == mutexHandles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::shared_ptr<Mutex> mutex = it->second;
    mutexHandles.erase(it);
    --mutex->handles;
    forgetIfUnused(mutex);
    return TRUE;
}
