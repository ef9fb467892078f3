// The phone's persistent state: values under one registry key of the prefix, shared by every
// process on the phone, and the named mutex that guards the changes several processes make; the
// last problem met, said once on standard error; the names below a key, numbered logs, and keys
// deleted with everything below them. What each value must hold is state_values.cpp's.
#include "win32.h"

#include <algorithm>
#include <set>
#include <string.h>

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

LONG lockTimeout() {
    return noteStateProblem(ERROR_TIMEOUT, "the phone's state is locked by another process");
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

LONG setStateDword(std::wstring_view subkey, std::wstring_view name, DWORD value) {
    return writeStateValue(subkey, name, REG_DWORD, &value, sizeof value);
}

LONG setStateText(std::wstring_view subkey, std::wstring_view name, std::wstring_view text) {
    // Stored with its terminator, as a registry editor stores a string.
    std::wstring terminated(text);
    return writeStateValue(subkey, name, REG_SZ, terminated.c_str(),
                           static_cast<DWORD>((terminated.size() + 1) * sizeof(wchar_t)));
}

namespace {

StateProblem lastProblem;
bool echoing = true;
std::set<std::string> echoed;

// This program's name, as a console program names itself in its messages.
std::string programName() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, length < MAX_PATH ? length : 0);
    name = name.substr(name.find_last_of(L"\\/") + 1);
    if (name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".exe") == 0)
        name.resize(name.size() - 4);
    return name.empty() ? "velmora" : toUtf8(name);
}

} // namespace

const StateProblem& lastStateProblem() {
    return lastProblem;
}

LONG reportStateProblem(LONG status, std::string text) {
    lastProblem.status = status;
    lastProblem.text = std::move(text);
    std::string line = lastProblem.text + " (status " + std::to_string(status) + ")";
    if (echoing && echoed.insert(line).second)
        writeStd(STD_ERROR_HANDLE, programName() + ": " + line + "\n");
    return status;
}

void echoStateProblems(bool enabled) {
    echoing = enabled;
}

LONG noteStateProblem(LONG status, std::string text) {
    lastProblem.status = status;
    lastProblem.text = std::move(text);
    return status;
}

LONG subkeyNames(HKEY key, std::vector<std::wstring>* names) {
    wchar_t name[256]; // the longest key name the registry allows, and its terminator
    for (DWORD i = 0;; ++i) {
        DWORD chars = ARRAYSIZE(name);
        LONG status = RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS)
            return status == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : status;
        names->emplace_back(name, chars);
    }
}

LONG valueNames(HKEY key, std::vector<std::wstring>* names) {
    std::wstring name(16384, L'\0'); // the longest value name the registry allows, and its end
    for (DWORD i = 0;; ++i) {
        DWORD chars = static_cast<DWORD>(name.size());
        LONG status =
            RegEnumValueW(key, i, name.data(), &chars, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS)
            return status == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : status;
        names->emplace_back(name.data(), chars);
    }
}

std::vector<std::wstring> stateSubkeys(std::wstring_view subkey) {
    std::vector<std::wstring> names;
    HKEY key;
    if (openState(subkey, false, &key) != ERROR_SUCCESS)
        return names;
    subkeyNames(key, &names);
    RegCloseKey(key);
    return names;
}

std::vector<std::wstring> stateValueNames(std::wstring_view subkey) {
    std::vector<std::wstring> names;
    HKEY key;
    if (openState(subkey, false, &key) != ERROR_SUCCESS)
        return names;
    valueNames(key, &names);
    RegCloseKey(key);
    return names;
}

std::vector<DWORD> recordNumbers(std::wstring_view subkey) {
    std::vector<DWORD> out;
    for (const std::wstring& name : stateValueNames(subkey))
        if (!name.empty() && name.find_first_not_of(L"0123456789") == std::wstring::npos)
            out.push_back(static_cast<DWORD>(wcstoul(name.c_str(), nullptr, 10)));
    std::sort(out.begin(), out.end());
    return out;
}

DWORD nextRecordNumber(std::wstring_view subkey) {
    StateValue<DWORD> last = stateDword(subkey, L"Last");
    DWORD id = last.value_or(0) + 1;
    if (last || last.missing())
        return setStateDword(subkey, L"Last", id) == ERROR_SUCCESS ? id : 0;
    for (const std::vector<std::wstring>& names : {stateSubkeys(subkey), stateValueNames(subkey)})
        for (const std::wstring& name : names)
            if (!name.empty() && name.find_first_not_of(L"0123456789") == std::wstring::npos)
                id = std::max(id, static_cast<DWORD>(wcstoul(name.c_str(), nullptr, 10)) + 1);
    return id;
}

LONG deleteKeyTree(HKEY root, const std::wstring& path) {
    LONG status = RegDeleteTreeW(root, path.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        return status;
    status = RegDeleteKeyW(root, path.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LONG deleteStateKey(std::wstring_view subkey) {
    return deleteKeyTree(HKEY_LOCAL_MACHINE, statePath(subkey));
}

} // namespace winphone
