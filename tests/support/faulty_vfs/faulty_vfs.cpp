// A VFS over SQLite's default one, for tests only. Preloaded into one of the phone's programs
// (LD_PRELOAD), it becomes the default VFS of the program's own SQLite, counts the calls the store
// makes and fails the one VELMORA_FAULT names, or cuts the power (faulty_vfs.h); the program is
// not changed at all. With the power to be cut, each file's content lives in memory and reaches
// the disk only when the file is synced, as in a page cache that a power cut empties.
#include "faulty_vfs.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <string>
#include <unistd.h>

namespace {

using faulty_vfs::Kind;
using faulty_vfs::kKindNames;

enum class Mode { Count, Fail, Full, Power };
Mode mode = Mode::Count;
int faultKind = 0;
long faultAt = 0;

long calls[faulty_vfs::kKinds];
bool met = false;
int logFd = -1;

sqlite3_vfs* below = nullptr;
sqlite3_vfs vfs;

// With the power to be cut: each file's content as this process sees it, by path.
std::map<std::string, std::string> unsynced;

// The counts so far, in place of the last, so that a process cut short leaves them too.
void report() {
    if (logFd < 0)
        return;
    char text[256];
    int n = 0;
    for (int k = 0; k < faulty_vfs::kKinds; ++k)
        n += std::snprintf(text + n, sizeof text - n, "%s %ld ", kKindNames[k], calls[k]);
    n += std::snprintf(text + n, sizeof text - n, "met %d\n", met ? 1 : 0);
    if (pwrite(logFd, text, n, 0) == n && ftruncate(logFd, n) != 0)
        logFd = -1;
}

// Counts a call of `kind`; true when it is to fail. A power cut ends the process here.
bool fails(Kind kind) {
    const long n = ++calls[kind];
    const bool now = (mode == Mode::Fail && kind == faultKind && n == faultAt) ||
                     (mode == Mode::Full && kind == faulty_vfs::write && n >= faultAt);
    const bool cut = mode == Mode::Power && kind == faulty_vfs::write && n == faultAt;
    met = met || now || cut;
    report();
    if (cut)
        _exit(faulty_vfs::kPowerCutStatus);
    return now;
}

// The default VFS reads and writes at most 128 KiB a call: a file's whole content goes in parts.
const size_t kPart = 64 * 1024;

struct File {
    sqlite3_file base;
    sqlite3_file* below;  // the default VFS's file, just after this one
    std::string* content; // its content in `unsynced`, with the power to be cut
};

sqlite3_file* under(sqlite3_file* f) {
    return reinterpret_cast<File*>(f)->below;
}
std::string* held(sqlite3_file* f) {
    return reinterpret_cast<File*>(f)->content;
}

int fileClose(sqlite3_file* f) {
    return under(f)->pMethods->xClose(under(f));
}

int fileRead(sqlite3_file* f, void* out, int amount, sqlite3_int64 offset) {
    if (fails(faulty_vfs::read))
        return SQLITE_IOERR_READ;
    std::string* content = held(f);
    if (!content)
        return under(f)->pMethods->xRead(under(f), out, amount, offset);
    const size_t at = static_cast<size_t>(offset), want = static_cast<size_t>(amount);
    const size_t got = at < content->size() ? std::min(want, content->size() - at) : 0;
    if (got)
        std::memcpy(out, content->data() + at, got);
    std::memset(static_cast<char*>(out) + got, 0, want - got);
    return got == want ? SQLITE_OK : SQLITE_IOERR_SHORT_READ;
}

int fileWrite(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
    if (fails(faulty_vfs::write))
        return mode == Mode::Full ? SQLITE_FULL : SQLITE_IOERR_WRITE;
    std::string* content = held(f);
    if (!content)
        return under(f)->pMethods->xWrite(under(f), data, amount, offset);
    const size_t at = static_cast<size_t>(offset);
    if (content->size() < at + amount)
        content->resize(at + amount);
    std::memcpy(content->data() + at, data, amount);
    return SQLITE_OK;
}

int fileTruncate(sqlite3_file* f, sqlite3_int64 size) {
    if (fails(faulty_vfs::truncate))
        return SQLITE_IOERR_TRUNCATE;
    if (std::string* content = held(f)) {
        content->resize(static_cast<size_t>(size));
        return SQLITE_OK;
    }
    return under(f)->pMethods->xTruncate(under(f), size);
}

int fileSync(sqlite3_file* f, int flags) {
    if (fails(faulty_vfs::sync))
        return SQLITE_IOERR_FSYNC;
    sqlite3_file* file = under(f);
    if (std::string* content = held(f)) {
        int rc = file->pMethods->xTruncate(file, content->size());
        for (size_t at = 0; rc == SQLITE_OK && at < content->size(); at += kPart)
            rc = file->pMethods->xWrite(file, content->data() + at,
                                        static_cast<int>(std::min(kPart, content->size() - at)),
                                        static_cast<sqlite3_int64>(at));
        if (rc != SQLITE_OK)
            return rc;
    }
    return file->pMethods->xSync(file, flags);
}

int fileSize(sqlite3_file* f, sqlite3_int64* size) {
    if (std::string* content = held(f)) {
        *size = static_cast<sqlite3_int64>(content->size());
        return SQLITE_OK;
    }
    return under(f)->pMethods->xFileSize(under(f), size);
}

int fileLock(sqlite3_file* f, int level) {
    if (fails(faulty_vfs::lock))
        return SQLITE_IOERR_LOCK;
    return under(f)->pMethods->xLock(under(f), level);
}
int fileUnlock(sqlite3_file* f, int level) {
    return under(f)->pMethods->xUnlock(under(f), level);
}
int fileCheckReserved(sqlite3_file* f, int* out) {
    return under(f)->pMethods->xCheckReservedLock(under(f), out);
}
int fileControl(sqlite3_file* f, int op, void* arg) {
    return under(f)->pMethods->xFileControl(under(f), op, arg);
}
int fileSectorSize(sqlite3_file* f) {
    return under(f)->pMethods->xSectorSize(under(f));
}
int fileCharacteristics(sqlite3_file* f) {
    return under(f)->pMethods->xDeviceCharacteristics(under(f));
}

int shmMap(sqlite3_file* f, int page, int size, int extend, void volatile** out) {
    if (fails(faulty_vfs::shm))
        return SQLITE_IOERR_SHMMAP;
    return under(f)->pMethods->xShmMap(under(f), page, size, extend, out);
}
int shmLock(sqlite3_file* f, int offset, int n, int flags) {
    if ((flags & SQLITE_SHM_LOCK) && fails(faulty_vfs::shm))
        return SQLITE_IOERR_SHMLOCK;
    return under(f)->pMethods->xShmLock(under(f), offset, n, flags);
}
void shmBarrier(sqlite3_file* f) {
    under(f)->pMethods->xShmBarrier(under(f));
}
int shmUnmap(sqlite3_file* f, int deleting) {
    return under(f)->pMethods->xShmUnmap(under(f), deleting);
}

// Version 2: no memory-mapped reads, which would pass by the counts and the unsynced content.
const sqlite3_io_methods kMethods = {2,
                                     fileClose,
                                     fileRead,
                                     fileWrite,
                                     fileTruncate,
                                     fileSync,
                                     fileSize,
                                     fileLock,
                                     fileUnlock,
                                     fileCheckReserved,
                                     fileControl,
                                     fileSectorSize,
                                     fileCharacteristics,
                                     shmMap,
                                     shmLock,
                                     shmBarrier,
                                     shmUnmap,
                                     nullptr,
                                     nullptr};

int vfsOpen(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* outFlags) {
    File* file = reinterpret_cast<File*>(f);
    file->below = reinterpret_cast<sqlite3_file*>(file + 1);
    file->content = nullptr;
    int rc = below->xOpen(below, name, file->below, flags, outFlags);
    file->base.pMethods = rc == SQLITE_OK ? &kMethods : nullptr;
    if (rc != SQLITE_OK || mode != Mode::Power || !name)
        return rc;
    auto [entry, added] = unsynced.try_emplace(name);
    sqlite3_int64 size = 0;
    if (added && file->below->pMethods->xFileSize(file->below, &size) == SQLITE_OK) {
        std::string& content = entry->second;
        content.resize(static_cast<size_t>(size));
        for (size_t at = 0; rc == SQLITE_OK && at < content.size(); at += kPart)
            rc =
                file->below->pMethods->xRead(file->below, content.data() + at,
                                             static_cast<int>(std::min(kPart, content.size() - at)),
                                             static_cast<sqlite3_int64>(at));
    }
    file->content = &entry->second;
    return rc;
}

int vfsDelete(sqlite3_vfs*, const char* name, int syncDirectory) {
    unsynced.erase(name);
    return below->xDelete(below, name, syncDirectory);
}

void takeFault(const char* fault) {
    const char* colon = std::strchr(fault, ':');
    if (!colon)
        return;
    const std::string name(fault, colon);
    faultAt = std::atol(colon + 1);
    if (name == "full")
        mode = Mode::Full;
    else if (name == "power")
        mode = Mode::Power;
    for (int k = 0; k < faulty_vfs::kKinds; ++k)
        if (name == kKindNames[k]) {
            mode = Mode::Fail;
            faultKind = k;
        }
}

__attribute__((constructor)) void install() {
    if (const char* log = std::getenv(faulty_vfs::kLogVariable))
        logFd = open(log, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (const char* fault = std::getenv(faulty_vfs::kFaultVariable))
        takeFault(fault);
    below = sqlite3_vfs_find(nullptr);
    // The default VFS's other calls take no notice of which VFS they are called through.
    vfs = *below;
    vfs.szOsFile = static_cast<int>(sizeof(File)) + below->szOsFile;
    vfs.pNext = nullptr;
    vfs.zName = "velmora-faulty";
    vfs.xOpen = vfsOpen;
    vfs.xDelete = vfsDelete;
    sqlite3_vfs_register(&vfs, 1);
    report();
}

} // namespace
