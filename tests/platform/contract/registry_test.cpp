// The registry through the seam: keys by the phone's paths, values with their type and exact
// bytes, and failures that leave the caller's buffers as they were.
#include "contract.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

class Registry : public Seam {
  protected:
    void TearDown() override {
        if (key != nullptr)
            RegCloseKey(key);
        Seam::TearDown();
    }
    void open() {
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyEx(HKEY_LOCAL_MACHINE, TEXT("\\SOFTWARE\\VelmoraContract\\Values"), 0,
                                 nullptr, 0, 0, nullptr, &key, nullptr));
    }
    LONG set(LPCWSTR name, DWORD type, const void* data, DWORD size) {
        return RegSetValueEx(key, name, 0, type, static_cast<const BYTE*>(data), size);
    }
    HKEY key = nullptr;
};

TEST_F(Registry, KeyPathsAsThePhoneReadsThem) {
    struct Case {
        LPCWSTR path;
        DWORD disposition;
    } cases[] = {
        {TEXT("\\SOFTWARE\\VelmoraContract\\Key"), REG_CREATED_NEW_KEY}, // a leading backslash
        {TEXT("SOFTWARE\\VelmoraContract\\Key"), REG_OPENED_EXISTING_KEY},
        {TEXT("\\software\\velmoracontract\\KEY"), REG_OPENED_EXISTING_KEY}, // any letter case
        {TEXT("\\SOFTWARE\\VelmoraContract\\Key\\Below"), REG_CREATED_NEW_KEY},
    };
    for (const Case& c : cases) {
        HKEY opened = nullptr;
        DWORD disposition = contract::kMarker;
        SetLastError(contract::kMarker);
        // Access 0, as the program asks: the phone has no access masks, so the key is still
        // written and read.
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_LOCAL_MACHINE, c.path, 0, nullptr, 0, 0,
                                                nullptr, &opened, &disposition));
        EXPECT_EQ(c.disposition, disposition);
        EXPECT_EQ(contract::kMarker, GetLastError()) << "success leaves the last error alone";
        DWORD written = 1234, read = 0, size = sizeof read;
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueEx(opened, TEXT("V"), 0, REG_DWORD,
                                               (const BYTE*)&written, sizeof written));
        EXPECT_EQ(ERROR_SUCCESS,
                  RegQueryValueEx(opened, TEXT("V"), nullptr, nullptr, (BYTE*)&read, &size));
        EXPECT_EQ(1234u, read);
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(opened));
    }
}

TEST_F(Registry, ValuesKeepTheirTypeAndExactBytes) {
    open();
    const WCHAR flags[] = TEXT("1100001");
    struct Case {
        LPCWSTR name;
        DWORD type;
        std::vector<BYTE> bytes;
    } cases[] = {
        // Seven flags as the dialog stores them: 14 bytes, no terminator.
        {TEXT("Enabled"), REG_SZ, std::vector<BYTE>((const BYTE*)flags, (const BYTE*)flags + 14)},
        {TEXT("Terminated"), REG_SZ,
         std::vector<BYTE>((const BYTE*)flags, (const BYTE*)flags + 16)},
        {TEXT("OddBytes"), REG_SZ, {'1', 0, '0'}},
        {TEXT("EmptyText"), REG_SZ, {}},
        {TEXT("S3"), REG_DWORD, {0xD0, 0x07, 0, 0}}, // 2000, never clamped
        {TEXT("ShortNumber"), REG_DWORD, {0x2A, 0}},
        {TEXT("Bytes"), REG_BINARY, {1, 2, 3, 4, 5}},
        {TEXT("NoBytes"), REG_BINARY, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.size());
        ASSERT_EQ(ERROR_SUCCESS,
                  set(c.name, c.type, c.bytes.data(), static_cast<DWORD>(c.bytes.size())));

        DWORD type = contract::kMarker, size = contract::kMarker;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, c.name, nullptr, &type, nullptr, &size));
        EXPECT_EQ(c.type, type);
        EXPECT_EQ(c.bytes.size(), size) << "the size is the caller's, no terminator added";

        // A buffer of exactly that size, followed by markers that must stay.
        std::vector<BYTE> buffer(c.bytes.size() + 4, contract::kMarkerByte);
        size = static_cast<DWORD>(c.bytes.size());
        SetLastError(contract::kMarker);
        ASSERT_EQ(ERROR_SUCCESS,
                  RegQueryValueEx(key, c.name, nullptr, nullptr, buffer.data(), &size));
        EXPECT_EQ(c.bytes.size(), size);
        EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), buffer.begin()));
        for (size_t i = c.bytes.size(); i < buffer.size(); ++i)
            EXPECT_EQ(contract::kMarkerByte, buffer[i])
                << "byte " << i << " written past the value";
        EXPECT_EQ(contract::kMarker, GetLastError());
    }
}

// What follows a string's bytes in a larger buffer is the one thing the layers do differently.
TEST_F(Registry, AStringReadIntoRoomToSpare) {
    open();
    const WCHAR flags[] = TEXT("1100001");
    ASSERT_EQ(ERROR_SUCCESS, set(TEXT("Enabled"), REG_SZ, flags, 14));
    BYTE buffer[18];
    memset(buffer, contract::kMarkerByte, sizeof buffer);
    DWORD size = sizeof buffer;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryValueEx(key, TEXT("Enabled"), nullptr, nullptr, buffer, &size));
    EXPECT_EQ(14u, size) << "the stored size, whatever the buffer";
    EXPECT_EQ(0, memcmp(buffer, flags, 14));
#if defined(_WIN32)
    // Desktop Win32 terminates the string in the room it finds after it.
    EXPECT_EQ(0, buffer[14]);
    EXPECT_EQ(0, buffer[15]);
#else
    // The simulated phone writes the stored bytes and nothing else.
    EXPECT_EQ(contract::kMarkerByte, buffer[14]);
    EXPECT_EQ(contract::kMarkerByte, buffer[15]);
#endif
    EXPECT_EQ(contract::kMarkerByte, buffer[16]);
}

TEST_F(Registry, RefusedReadsLeaveTheBufferAlone) {
    open();
    const BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(ERROR_SUCCESS, set(TEXT("Big"), REG_BINARY, eight, sizeof eight));
    const WCHAR longFlags[] = TEXT("1100001110"); // 20 bytes: more than the flags' 16
    ASSERT_EQ(ERROR_SUCCESS, set(TEXT("Enabled"), REG_SZ, longFlags, 20));

    struct Case {
        LPCWSTR name;
        DWORD capacity;
        LONG status;
        DWORD size; // what the call reports back
    } cases[] = {
        {TEXT("Big"), 4, ERROR_MORE_DATA, 8},       // 234, and the size it needs
        {TEXT("Enabled"), 16, ERROR_MORE_DATA, 20}, // too long to be flags
        {TEXT("Missing"), 16, ERROR_FILE_NOT_FOUND, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        BYTE buffer[24];
        memset(buffer, contract::kMarkerByte, sizeof buffer);
        DWORD size = c.capacity;
        EXPECT_EQ(c.status, RegQueryValueEx(key, c.name, nullptr, nullptr, buffer, &size));
        EXPECT_EQ(c.size, size);
        for (BYTE b : buffer)
            ASSERT_EQ(contract::kMarkerByte, b) << "a refused read writes nothing";
    }
}

TEST_F(Registry, ARefusedWriteLeavesTheValueAsItWas) {
    open();
    DWORD minute = 420, other = 99;
    ASSERT_EQ(ERROR_SUCCESS, set(TEXT("S1"), REG_DWORD, &minute, sizeof minute));
    // A reserved argument that is not 0 is refused.
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegSetValueEx(key, TEXT("S1"), 1, REG_DWORD, (const BYTE*)&other, sizeof other));
    DWORD read = contract::kMarker, size = sizeof read;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryValueEx(key, TEXT("S1"), nullptr, nullptr, (BYTE*)&read, &size));
    EXPECT_EQ(420u, read);
}

// The phone takes value names of at most 255 characters (desktop Win32 takes 16,383).
TEST_F(Registry, AValueNameHasAtMost255Characters) {
    open();
    DWORD value = 7;
    for (size_t length : {size_t(255), size_t(256), size_t(20000)}) {
        SCOPED_TRACE(length);
        std::basic_string<WCHAR> name(length, TEXT('n'));
        LONG expected = length <= 255 ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
        EXPECT_EQ(expected, set(name.c_str(), REG_DWORD, &value, sizeof value));
        DWORD read = contract::kMarker, size = sizeof read;
        LONG found = RegQueryValueEx(key, name.c_str(), nullptr, nullptr, (BYTE*)&read, &size);
        if (expected == ERROR_SUCCESS) {
            EXPECT_EQ(ERROR_SUCCESS, found);
            EXPECT_EQ(7u, read);
        } else {
            EXPECT_NE(ERROR_SUCCESS, found) << "a refused name stores nothing";
            EXPECT_EQ(contract::kMarker, read);
        }
    }
}

} // namespace
