// The resource loader: indexing a compiled resource image, and finding and loading the
// running program's resources with the Win32 calls.
#include "platform/host/host.h"
#include "platform/host/resources.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Writes a resource image in the resource compiler's layout.
struct Image {
    std::vector<BYTE> b;
    void word(WORD w) {
        b.push_back(static_cast<BYTE>(w));
        b.push_back(static_cast<BYTE>(w >> 8));
    }
    void dword(DWORD d) {
        word(static_cast<WORD>(d));
        word(static_cast<WORD>(d >> 16));
    }
    static std::vector<WORD> id(int ordinal) { return {0xFFFF, static_cast<WORD>(ordinal)}; }
    static std::vector<WORD> id(const std::u16string& name) {
        std::vector<WORD> w(name.begin(), name.end());
        w.push_back(0);
        return w;
    }
    void add(const std::vector<WORD>& type, const std::vector<WORD>& name,
             const std::vector<BYTE>& data, WORD language = 0x0804) {
        size_t names = 2 * (type.size() + name.size());
        size_t headerSize = 8 + ((names + 3) & ~size_t(3)) + 16;
        dword(static_cast<DWORD>(data.size()));
        dword(static_cast<DWORD>(headerSize));
        for (WORD w : type)
            word(w);
        for (WORD w : name)
            word(w);
        while (b.size() % 4)
            b.push_back(0);
        dword(0);
        word(0x1030);
        word(language);
        dword(0);
        dword(0);
        b.insert(b.end(), data.begin(), data.end());
        while (b.size() % 4)
            b.push_back(0);
    }
    Image() { add(id(0), id(0), {}, 0); } // the format's leading empty entry
};

bool index(const std::vector<BYTE>& bytes, std::vector<host::ResourceEntry>* out) {
    std::vector<BYTE> exact(bytes.begin(), bytes.end());
    return host::parseResourceImage(exact.empty() ? nullptr : exact.data(), exact.size(), out);
}

TEST(ResourceImage, IndexesNumberedAndNamedEntries) {
    Image image;
    image.add(Image::id(5), Image::id(102), {1, 2, 3});
    image.add(Image::id(u"MYTYPE"), Image::id(7), {9, 8, 7, 6, 5});
    image.add(Image::id(16), Image::id(u"ABC"), {}, 0x0409);
    std::vector<BYTE> bytes = image.b;
    std::vector<host::ResourceEntry> entries;
    ASSERT_TRUE(host::parseResourceImage(bytes.data(), bytes.size(), &entries));
    ASSERT_EQ(entries.size(), 3u) << "the leading empty entry is not a resource";

    EXPECT_EQ(entries[0].typeOrdinal, 5);
    EXPECT_EQ(entries[0].nameOrdinal, 102);
    EXPECT_EQ(entries[0].language, 0x0804);
    ASSERT_EQ(entries[0].size, 3u);
    EXPECT_EQ(entries[0].data[0], 1);
    EXPECT_EQ(entries[0].data[2], 3);

    EXPECT_EQ(entries[1].typeOrdinal, -1);
    EXPECT_EQ(entries[1].typeName, u"MYTYPE");
    EXPECT_EQ(entries[1].nameOrdinal, 7);
    ASSERT_EQ(entries[1].size, 5u);
    EXPECT_EQ(entries[1].data[4], 5);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(entries[1].data) % 4,
              reinterpret_cast<uintptr_t>(bytes.data()) % 4)
        << "data starts on a four-byte boundary of the image";

    EXPECT_EQ(entries[2].typeOrdinal, 16);
    EXPECT_EQ(entries[2].name, u"ABC");
    EXPECT_EQ(entries[2].nameOrdinal, -1);
    EXPECT_EQ(entries[2].size, 0u);
    EXPECT_EQ(entries[2].language, 0x0409);
}

TEST(ResourceImage, CutsAndDamageAreRefusedWithoutOverreading) {
    Image image;
    image.add(Image::id(5), Image::id(102), {1, 2, 3, 4, 5, 6, 7});
    image.add(Image::id(u"T"), Image::id(u"NAME"), {1});
    // A cut at the end of an entry, or at the end of the image anywhere in the last padding,
    // leaves a whole image: the marker ends at 32, the first resource's data at 71 and its
    // padding at 72, the second's data at 113 and its padding at 116. Any other cut is refused.
    ASSERT_EQ(image.b.size(), 116u);
    const std::vector<size_t> whole = {0, 32, 71, 72, 113, 114, 115, 116};
    for (size_t n = 0; n <= image.b.size(); ++n) {
        std::vector<BYTE> prefix(image.b.begin(), image.b.begin() + n);
        std::vector<host::ResourceEntry> entries;
        bool expected = std::find(whole.begin(), whole.end(), n) != whole.end();
        EXPECT_EQ(index(prefix, &entries), expected) << "cut at " << n;
    }
    struct Case {
        const char* what;
        size_t offset;
        DWORD value;
    };
    const Case damage[] = {
        {"a data size past the end", 32, 0x7FFFFFFF},
        {"a header size past the end", 36, 0x10000},
        {"a header size too small for its fields", 36, 12},
        {"a header size below the two sizes", 36, 4},
    };
    for (const Case& c : damage) {
        std::vector<BYTE> bytes = image.b;
        for (int k = 0; k < 4; ++k)
            bytes[c.offset + k] = static_cast<BYTE>(c.value >> (8 * k));
        std::vector<host::ResourceEntry> entries;
        EXPECT_FALSE(index(bytes, &entries)) << c.what;
    }
}

TEST(ProgramResources, TheProgramCarriesItsDialogIconsAndVersion) {
    const std::vector<host::ResourceEntry>& all = host::programResources();
    int dialogs = 0, icons = 0, groups = 0, versions = 0;
    for (const host::ResourceEntry& e : all) {
        dialogs += e.typeOrdinal == 5;
        icons += e.typeOrdinal == 3;
        groups += e.typeOrdinal == 14;
        versions += e.typeOrdinal == 16;
        EXPECT_EQ(e.language, 0x0804) << "type " << e.typeOrdinal << " name " << e.nameOrdinal;
    }
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(icons, 4);
    EXPECT_EQ(groups, 1);
    EXPECT_EQ(versions, 1);
}

TEST(ProgramResources, FindLoadLockAndSize) {
    HMODULE self = host::instance();
    for (HMODULE module : {self, static_cast<HMODULE>(nullptr)}) {
        HRSRC found = FindResource(module, MAKEINTRESOURCE(102), RT_DIALOG);
        ASSERT_NE(found, nullptr);
        HGLOBAL loaded = LoadResource(module, found);
        ASSERT_NE(loaded, nullptr);
        const BYTE* data = static_cast<const BYTE*>(LockResource(loaded));
        ASSERT_NE(data, nullptr);
        DWORD size = SizeofResource(module, found);
        EXPECT_GT(size, 18u);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % 4, 0u) << "templates are DWORD-aligned";
        EXPECT_EQ(host::programResourceBytesFrom(data), size);
        EXPECT_EQ(host::programResourceBytesFrom(data + 10), size - 10);
    }
    // "#102" names resource 102.
    EXPECT_EQ(FindResource(self, TEXT("#102"), RT_DIALOG),
              FindResource(self, MAKEINTRESOURCE(102), RT_DIALOG));
    EXPECT_NE(FindResource(self, MAKEINTRESOURCE(101), MAKEINTRESOURCE(14)), nullptr);
    EXPECT_NE(FindResource(self, MAKEINTRESOURCE(1), RT_VERSION), nullptr);
    EXPECT_NE(FindResource(self, TEXT("#1"), TEXT("#16")), nullptr);
    int local = 0;
    EXPECT_EQ(host::programResourceBytesFrom(&local), 0u);
}

TEST(ProgramResources, WhatIsMissingIsReportedWithItsReason) {
    HMODULE self = host::instance();
    struct Case {
        const char* what;
        HMODULE module;
        LPCWSTR name, type;
        DWORD error;
    };
    HMODULE foreign = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x7654000));
    const Case cases[] = {
        {"an unknown dialog", self, MAKEINTRESOURCE(103), RT_DIALOG, 1814},
        {"an icon group under the dialog's number", self, MAKEINTRESOURCE(102), RT_GROUP_ICON,
         1814},
        {"a name where the dialog has a number", self, TEXT("DIALOG"), RT_DIALOG, 1814},
        {"an empty name", self, TEXT(""), RT_DIALOG, 1814},
        {"a number too large", self, TEXT("#70000"), RT_DIALOG, 1814},
        {"a '#' without digits", self, TEXT("#"), RT_DIALOG, 1814},
        {"a type the program has none of", self, MAKEINTRESOURCE(102), MAKEINTRESOURCE(6), 1813},
        {"a named type", self, MAKEINTRESOURCE(102), TEXT("DIALOGS"), 1813},
        {"another module", foreign, MAKEINTRESOURCE(102), RT_DIALOG, ERROR_INVALID_HANDLE},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(FindResource(c.module, c.name, c.type), nullptr) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    HRSRC dialog = FindResource(self, MAKEINTRESOURCE(102), RT_DIALOG);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(LoadResource(foreign, dialog), nullptr);
    EXPECT_EQ(SizeofResource(foreign, dialog), 0u);
    HRSRC bogus = reinterpret_cast<HRSRC>(static_cast<uintptr_t>(0x1234));
    SetLastError(0);
    EXPECT_EQ(LoadResource(self, bogus), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(LoadResource(self, nullptr), nullptr);
    EXPECT_EQ(SizeofResource(self, bogus), 0u);
    EXPECT_EQ(LockResource(nullptr), nullptr);
}

} // namespace
