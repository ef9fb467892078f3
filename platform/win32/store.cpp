// The phone's persistent state: values under one registry key of the prefix, shared by every
// process on the phone, and the named mutex that guards the changes several processes make.
#include "win32.h"

namespace winphone {

const wchar_t kStateKey[] = L"SOFTWARE\\VelmoraPhone";

namespace {

// How long a process waits for another to finish its change of the state.
const DWORD kLockWaitMs = 30000;

std::wstring statePath(std::wstring_view subkey) {
    std::wstring path(kStateKey);
    if (!subkey.empty())
        path.append(1, L'\\').append(subkey);
    return path;
}

// The key, opened for reading and writing; created only when `create` is set.
LONG openState(std::wstring_view subkey, bool create, HKEY* key) {
    std::wstring path = statePath(subkey);
    if (create)
        return RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                               KEY_READ | KEY_WRITE, nullptr, key, nullptr);
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WRITE, key);
}

} // namespace

StateLock::StateLock() : mutex(CreateMutexW(nullptr, FALSE, L"VelmoraPhoneState")), owned(false) {
    if (mutex == NULL)
        return;
    DWORD wait = WaitForSingleObject(mutex, kLockWaitMs);
    owned = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

StateLock::~StateLock() {
    if (owned)
        ReleaseMutex(mutex);
    if (mutex != NULL)
        CloseHandle(mutex);
}

LONG readStateValue(std::wstring_view subkey, std::wstring_view name, DWORD* type,
                    std::string* bytes) {
    HKEY key;
    LONG status = openState(subkey, false, &key);
    if (status != ERROR_SUCCESS)
        return status;
    // The value may grow between asking its size and reading it; ask again then.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        status = RegQueryValueExW(key, std::wstring(name).c_str(), nullptr, type, nullptr, &size);
        if (status != ERROR_SUCCESS)
            break;
        bytes->assign(size, '\0');
        status = RegQueryValueExW(key, std::wstring(name).c_str(), nullptr, type,
                                  reinterpret_cast<BYTE*>(bytes->data()), &size);
        if (status != ERROR_MORE_DATA) {
            bytes->resize(size);
            break;
        }
    }
    RegCloseKey(key);
    return status;
}

LONG writeStateValue(std::wstring_view subkey, std::wstring_view name, DWORD type, const void* data,
                     DWORD size) {
    HKEY key;
    LONG status = openState(subkey, true, &key);
    if (status != ERROR_SUCCESS)
        return status;
    status = setValueBytes(key, std::wstring(name).c_str(), type, data, size);
    RegCloseKey(key);
    return status;
}

LONG deleteStateValue(std::wstring_view subkey, std::wstring_view name) {
    HKEY key;
    LONG status = openState(subkey, false, &key);
    if (status != ERROR_SUCCESS)
        return status;
    status = RegDeleteValueW(key, std::wstring(name).c_str());
    RegCloseKey(key);
    return status;
}

std::optional<DWORD> stateDword(std::wstring_view subkey, std::wstring_view name) {
    DWORD type = 0;
    std::string bytes;
    if (readStateValue(subkey, name, &type, &bytes) != ERROR_SUCCESS || type != REG_DWORD ||
        bytes.size() != sizeof(DWORD))
        return std::nullopt;
    DWORD value;
    memcpy(&value, bytes.data(), sizeof value);
    return value;
}

bool setStateDword(std::wstring_view subkey, std::wstring_view name, DWORD value) {
    return writeStateValue(subkey, name, REG_DWORD, &value, sizeof value) == ERROR_SUCCESS;
}

std::optional<std::wstring> stateText(std::wstring_view subkey, std::wstring_view name) {
    DWORD type = 0;
    std::string bytes;
    if (readStateValue(subkey, name, &type, &bytes) != ERROR_SUCCESS || type != REG_SZ)
        return std::nullopt;
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
    size_t end = text.find(L'\0');
    if (end != std::wstring::npos)
        text.resize(end);
    return text;
}

bool setStateText(std::wstring_view subkey, std::wstring_view name, std::wstring_view text) {
    // Stored with its terminator, as a registry editor stores a string.
    std::wstring terminated(text);
    return writeStateValue(subkey, name, REG_SZ, terminated.c_str(),
                           static_cast<DWORD>((terminated.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

std::vector<std::wstring> stateSubkeys(std::wstring_view subkey) {
    std::vector<std::wstring> names;
    HKEY key;
    if (openState(subkey, false, &key) != ERROR_SUCCESS)
        return names;
    wchar_t name[256]; // the longest key name the registry allows, and its terminator
    for (DWORD i = 0;; ++i) {
        DWORD chars = ARRAYSIZE(name);
        if (RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, chars);
    }
    RegCloseKey(key);
    return names;
}

std::vector<std::wstring> stateValueNames(std::wstring_view subkey) {
    std::vector<std::wstring> names;
    HKEY key;
    if (openState(subkey, false, &key) != ERROR_SUCCESS)
        return names;
    DWORD longest = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &longest, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        std::wstring name(longest + 1, L'\0');
        for (DWORD i = 0;; ++i) {
            DWORD chars = longest + 1;
            if (RegEnumValueW(key, i, name.data(), &chars, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            names.emplace_back(name.data(), chars);
        }
    }
    RegCloseKey(key);
    return names;
}

bool deleteKeyTree(HKEY root, const std::wstring& path) {
    LONG status = RegDeleteTreeW(root, path.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        return false;
    status = RegDeleteKeyW(root, path.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool deleteStateKey(std::wstring_view subkey) {
    return deleteKeyTree(HKEY_LOCAL_MACHINE, statePath(subkey));
}

bool resetPhone(const std::vector<std::wstring>& programKeys) {
    StateLock lock;
    bool ok = lock.held() && deleteKeyTree(HKEY_LOCAL_MACHINE, kStateKey);
    for (const std::wstring& key : programKeys)
        ok = deleteKeyTree(HKEY_LOCAL_MACHINE, withoutEmptyKeyNames(key.c_str())) && ok;
    return ok;
}

} // namespace winphone
