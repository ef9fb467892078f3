// A phone whose disk is full: the store and the named mutexes answer ERROR_DISK_FULL, as the
// platform does. The disk is a small tmpfs, mounted in a mount namespace of the test's own so
// that it goes when the test does; without the right to mount, the tests are skipped.
#include "phone_fixture.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class DiskFull : public TempPhone {
  protected:
    void SetUp() override {
        TempPhone::SetUp();
        disk = dir + "/disk";
        ASSERT_EQ(0, mkdir(disk.c_str(), 0700));
        // Private, or the mount would show in the namespace this one was copied from.
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("velmora-test", disk.c_str(), "tmpfs", 0, "size=256k,nr_inodes=16") != 0)
            GTEST_SKIP() << "a small tmpfs needs the right to mount: " << std::strerror(errno);
        mounted = true;
        dbPath = disk + "/phone.db";
        setenv("VELMORA_PHONE", dbPath.c_str(), 1);
    }
    void TearDown() override {
        host::closeStore();
        if (mounted)
            umount2(disk.c_str(), MNT_DETACH);
        TempPhone::TearDown();
    }
    // Takes every block and then every inode the disk has left.
    void fill() {
        int fd = open((disk + "/blocks").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        const std::string chunk(4096, 'x');
        while (write(fd, chunk.data(), chunk.size()) > 0) {
        }
        EXPECT_EQ(ENOSPC, errno);
        close(fd);
        for (int i = 0;; ++i) {
            fd = open((disk + "/inode" + std::to_string(i)).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC,
                      0600);
            if (fd < 0)
                break;
            close(fd);
        }
        EXPECT_EQ(ENOSPC, errno);
    }
    std::string disk;
    bool mounted = false;
};

TEST_F(DiskFull, TheStoreAndTheMutexesSayTheDiskIsFull) {
    // The phone is set up while there is room.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Velmora", 0, nullptr,
                                             0, 0, nullptr, &key, nullptr));
    fill();
    const std::string value(512 * 1024, 'v'); // more than the whole disk holds
    struct Case {
        const char* what;
        std::function<DWORD()> attempt;
    } cases[] = {
        {"a value stored",
         [&] {
             return static_cast<DWORD>(RegSetValueExW(key, u"Large", 0, REG_BINARY,
                                                      reinterpret_cast<const BYTE*>(value.data()),
                                                      value.size()));
         }},
        {"a mutex's folder and file made",
         [] {
             SetLastError(0xdeadbeef);
             HANDLE mutex = CreateMutexW(nullptr, FALSE, u"Velmora.Full");
             return mutex ? static_cast<DWORD>(ERROR_SUCCESS) : GetLastError();
         }},
    };
    for (const Case& c : cases)
        EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), c.attempt()) << c.what;
    RegCloseKey(key);
}

} // namespace
