// The simulated registry answers as the phone's does.
#include "phone_fixture.h"

#include <fstream>
#include <sys/stat.h>

namespace {

class Registry : public TempPhone {
  protected:
    HKEY open(LPCWSTR path = u"\\SOFTWARE\\Test") {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, 0,
                                                 nullptr, &key, nullptr));
        return key;
    }
};

TEST_F(Registry, CreateReportsWhetherTheKeyExisted) {
    HKEY key;
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"\\A\\B", 0, nullptr, 0, 0,
                                             nullptr, &key, &disposition));
    EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"a\\b", 0, nullptr, 0, 0, nullptr,
                                             &key, &disposition));
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition) << "key names ignore case and a leading '\\'";
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
}

TEST_F(Registry, ValuesKeepTheirTypeAndExactBytes) {
    HKEY key = open();
    const char16_t flags[] = u"1100001"; // stored without its terminator
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"Enabled", 0, REG_SZ, (const BYTE*)flags, 14));
    DWORD type = 0, size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"Enabled", nullptr, &type, nullptr, &size));
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(14u, size);

    BYTE buffer[32];
    memset(buffer, 0xAB, sizeof buffer);
    size = sizeof buffer;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"enabled", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(14u, size);
    EXPECT_EQ(0, memcmp(buffer, flags, 14));
    EXPECT_EQ(0xAB, buffer[14]) << "nothing is written beyond the stored bytes";

    DWORD minute = 2000;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"S3", 0, REG_DWORD, (const BYTE*)&minute, 4));
    host::closeStore(); // another process sees the same bytes
    DWORD read = 0;
    size = 4;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"S3", nullptr, &type, (BYTE*)&read, &size));
    EXPECT_EQ(REG_DWORD, type);
    EXPECT_EQ(2000u, read);
    RegCloseKey(key);
}

TEST_F(Registry, QueryFailuresLikeThePlatform) {
    HKEY key = open();
    BYTE data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"Big", 0, REG_BINARY, data, 8));

    BYTE small[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    DWORD size = 4;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExW(key, u"Big", nullptr, nullptr, small, &size));
    EXPECT_EQ(8u, size) << "the size needed is reported";
    for (BYTE b : small)
        EXPECT_EQ(0xEE, b) << "a too-small buffer is left untouched";

    size = 4;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExW(key, u"Missing", nullptr, nullptr, small, &size));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegQueryValueExW(key, u"Big", nullptr, nullptr, small, nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE,
              RegQueryValueExW((HKEY)(uintptr_t)0x7777, u"Big", nullptr, nullptr, small, &size));

    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, u"Big"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(key, u"Big"));
    RegCloseKey(key);
}

TEST_F(Registry, EnumeratesValuesInNameOrder) {
    HKEY key = open();
    DWORD n = 1;
    for (LPCWSTR name : {u"S1", u"C0", u"Enabled"})
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, REG_DWORD, (const BYTE*)&n, 4));
    std::vector<std::string> names;
    WCHAR name[16];
    for (DWORD i = 0;; ++i) {
        DWORD chars = 16;
        if (RegEnumValueW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.push_back(host::toUtf8(name));
    }
    EXPECT_EQ((std::vector<std::string>{"C0", "Enabled", "S1"}), names);
    RegCloseKey(key);
}

// A store that cannot be opened gives a real status and no crash, whatever is in the way.
TEST_F(Registry, UnusableStoreGivesAStatus) {
    std::string notADatabase = dir + "/not-a-db";
    std::ofstream(notADatabase) << "this is not a database, just some text that is long enough\n";
    std::string folder = dir + "/folder";
    mkdir(folder.c_str(), 0700);
    std::string underAFile = notADatabase + "/phone.db";

    struct Case {
        std::string path;
        LONG status;
    } cases[] = {{notADatabase, ERROR_BADDB},
                 {folder, ERROR_ACCESS_DENIED},
                 {underAFile, ERROR_PATH_NOT_FOUND}};
    for (const Case& c : cases) {
        setenv("VELMORA_PHONE", c.path.c_str(), 1);
        host::closeStore();
        HKEY key = nullptr;
        EXPECT_EQ(c.status, RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"\\SOFTWARE\\Test", 0, nullptr, 0,
                                            0, nullptr, &key, nullptr))
            << c.path;
    }
}

} // namespace
