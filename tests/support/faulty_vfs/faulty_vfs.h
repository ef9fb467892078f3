// What the tests and the faulty VFS (faulty_vfs.cpp, a library a test preloads into the phone's
// programs) agree on: the kinds of call it counts, how a fault is asked for, and how it reports.
#ifndef VELMORA_TESTS_FAULTY_VFS_H
#define VELMORA_TESTS_FAULTY_VFS_H

namespace faulty_vfs {

// The calls counted, each kind numbered from 1 in the order a process makes them. "lock" counts
// the file locks and "shm" the shared-memory maps and locks that are taken; releases are not
// counted and never fail.
#define FAULTY_VFS_KINDS(X) X(read) X(write) X(sync) X(truncate) X(lock) X(shm)
#define FAULTY_VFS_ENUM(name) name,
enum Kind { FAULTY_VFS_KINDS(FAULTY_VFS_ENUM) kKinds };
#undef FAULTY_VFS_ENUM
#define FAULTY_VFS_NAME(name) #name,
constexpr const char* kKindNames[] = {FAULTY_VFS_KINDS(FAULTY_VFS_NAME)};
#undef FAULTY_VFS_NAME

// "KIND:N" fails the N-th call of KIND with an I/O error; "full:N" answers SQLITE_FULL to the
// N-th write and every one after it; "power:N" cuts the power at the N-th write: what was
// written and not synced is lost, and the process ends at once with kPowerCutStatus (a process
// that makes fewer writes loses the same as it ends). Unset, calls are only counted.
constexpr const char* kFaultVariable = "VELMORA_FAULT";
// A file where the counts are kept as the process goes ("read N write N ... met 0|1"), "met 1"
// once the fault has happened.
constexpr const char* kLogVariable = "VELMORA_FAULT_LOG";
constexpr int kPowerCutStatus = 99;

} // namespace faulty_vfs

#endif
