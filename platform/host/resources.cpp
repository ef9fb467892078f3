// The program's resources: the compiled resource image linked into the executable, indexed
// once, and the Win32 operations that find and load them.
#include "resources.h"
#include "byte_reader.h"
#include "host.h"
#include "win32_resource.h"

#include <cstring>

namespace {

size_t alignUp4(size_t n) {
    return (n + 3) & ~static_cast<size_t>(3);
}

bool validModule(HMODULE module) {
    return module == nullptr || module == host::instance();
}

bool sameName(const std::u16string& a, LPCWSTR b) {
    size_t i = 0;
    for (; i < a.size(); ++i) {
        if (b[i] == 0 || host::upperAscii(a[i]) != host::upperAscii(b[i]))
            return false;
    }
    return b[i] == 0;
}

// A resource type or name as the caller gives it: a number, or a name, where "#123" is 123.
struct Key {
    int ordinal = -1;
    LPCWSTR name = nullptr;
};

Key keyOf(LPCWSTR text) {
    Key key;
    if (IS_INTRESOURCE(text)) {
        key.ordinal = static_cast<int>(reinterpret_cast<ULONG_PTR>(text));
        return key;
    }
    if (text[0] == u'#' && text[1] != 0) {
        long number = 0;
        size_t i = 1;
        for (; text[i] >= u'0' && text[i] <= u'9' && number <= 0xFFFF; ++i)
            number = number * 10 + (text[i] - u'0');
        if (text[i] == 0 && number <= 0xFFFF) {
            key.ordinal = static_cast<int>(number);
            return key;
        }
    }
    key.name = text;
    return key;
}

bool matches(const Key& key, int ordinal, const std::u16string& name) {
    if (key.name)
        return ordinal < 0 && sameName(name, key.name);
    return ordinal == key.ordinal;
}

const host::ResourceEntry* entryOf(HRSRC handle) {
    for (const host::ResourceEntry& entry : host::programResources()) {
        if (reinterpret_cast<const void*>(&entry) == reinterpret_cast<const void*>(handle))
            return &entry;
    }
    return nullptr;
}

} // namespace

namespace host {

bool parseResourceImage(const void* image, size_t size, std::vector<ResourceEntry>* entries) {
    entries->clear();
    if (!image)
        return size == 0;
    const BYTE* bytes = static_cast<const BYTE*>(image);
    size_t at = 0;
    while (at < size) {
        host::ByteReader header{bytes, size, at};
        DWORD dataSize, headerSize;
        if (!header.dword(&dataSize) || !header.dword(&headerSize))
            return false;
        if (headerSize < 8 || headerSize > size - at)
            return false;
        // The rest of the header lies inside its own stated size.
        header.end = at + headerSize;
        ResourceEntry entry;
        if (!header.nameOrOrdinal(&entry.typeOrdinal, &entry.typeName) ||
            !header.nameOrOrdinal(&entry.nameOrdinal, &entry.name))
            return false;
        header.at = at + alignUp4(header.at - at);
        DWORD dataVersion, version, characteristics;
        if (!header.dword(&dataVersion) || !header.word(&entry.memoryFlags) ||
            !header.word(&entry.language) || !header.dword(&version) ||
            !header.dword(&characteristics))
            return false;
        size_t dataAt = at + headerSize;
        if (dataSize > size - dataAt)
            return false;
        entry.data = bytes + dataAt;
        entry.size = dataSize;
        // The format's marker: an empty entry of type 0.
        if (!(entry.typeOrdinal == 0 && entry.size == 0))
            entries->push_back(entry);
        size_t next = dataAt + dataSize;
        at = next >= size ? size : alignUp4(next);
    }
    return true;
}

const std::vector<ResourceEntry>& programResources() {
    static const std::vector<ResourceEntry> entries = [] {
        std::vector<ResourceEntry> read;
        // A fault in the image would be a fault of the build; what was read before it serves.
        parseResourceImage(programResourceImage, programResourceImageSize, &read);
        return read;
    }();
    return entries;
}

size_t programResourceBytesFrom(const void* data) {
    uintptr_t p = reinterpret_cast<uintptr_t>(data);
    for (const ResourceEntry& entry : programResources()) {
        uintptr_t begin = reinterpret_cast<uintptr_t>(entry.data);
        if (p >= begin && p - begin < entry.size)
            return entry.size - (p - begin);
    }
    return 0;
}

} // namespace host

HRSRC FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
    if (!validModule(hModule)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    Key type = keyOf(lpType);
    Key name = keyOf(lpName);
    bool typeFound = false;
    for (const host::ResourceEntry& entry : host::programResources()) {
        if (!matches(type, entry.typeOrdinal, entry.typeName))
            continue;
        typeFound = true;
        if (matches(name, entry.nameOrdinal, entry.name))
            return reinterpret_cast<HRSRC>(const_cast<host::ResourceEntry*>(&entry));
    }
    SetLastError(typeFound ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo) {
    const host::ResourceEntry* entry = validModule(hModule) ? entryOf(hResInfo) : nullptr;
    if (!entry) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // The image is read-only: the handle is the address of the data, as on the device.
    return reinterpret_cast<HGLOBAL>(const_cast<BYTE*>(entry->data));
}

LPVOID LockResource(HGLOBAL hResData) {
    return reinterpret_cast<LPVOID>(hResData);
}

DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo) {
    const host::ResourceEntry* entry = validModule(hModule) ? entryOf(hResInfo) : nullptr;
    if (!entry) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return static_cast<DWORD>(entry->size);
}
