// The controls of the Wine phone itself (platform/phone/control.h): where its state is, the
// reason of the last failure, a new phone, and values stored with their exact bytes and judged
// by the state's layout. Every process reads the registry afresh, so there is nothing to open or
// let go of.
#include "win32.h"

namespace {

// The path below the phone state's key, when `path` is the key or below it.
std::optional<std::wstring> stateSubkey(const std::wstring& path) {
    const std::wstring state = winphone::kStateKey;
    if (path.size() < state.size() || _wcsnicmp(path.c_str(), state.c_str(), state.size()) != 0)
        return std::nullopt;
    if (path.size() == state.size())
        return std::wstring();
    if (path[state.size()] != L'\\')
        return std::nullopt;
    return path.substr(state.size() + 1);
}

std::wstring keyPathOf(const std::string& path) {
    return winphone::withoutEmptyKeyNames(winphone::fromUtf8(path).c_str());
}

} // namespace

namespace control {

std::string where() {
    return winphone::toUtf8(winphone::kStateKey);
}

LONG openPhone() {
    HKEY key;
    LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, winphone::kStateKey, 0, nullptr, 0,
                                  KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS)
        RegCloseKey(key);
    return status;
}

void closePhone() {}

void echoBadValues(bool enabled) {
    winphone::echoStateProblems(enabled);
}

const std::string& problem() {
    return winphone::lastStateProblem().text;
}

LONG noteProblem(LONG status, std::string why) {
    return winphone::noteStateProblem(status, std::move(why));
}

// A prefix is backed up as a whole, with Wine's own tools or a copy of its folder.
LONG backupPhone(const std::string&) {
    return noteProblem(ERROR_NOT_SUPPORTED, "a Wine phone is backed up as its prefix");
}

LONG restorePhone(const std::string&) {
    return noteProblem(ERROR_NOT_SUPPORTED, "a Wine phone is restored as its prefix");
}

LONG resetPhone(const std::vector<std::string>& programKeys) {
    winphone::StateLock lock;
    if (!lock.held())
        return winphone::lockTimeout();
    LONG status = winphone::deleteKeyTree(HKEY_LOCAL_MACHINE, winphone::kStateKey);
    for (const std::string& key : programKeys) {
        LONG deleted = winphone::deleteKeyTree(HKEY_LOCAL_MACHINE, keyPathOf(key));
        if (status == ERROR_SUCCESS)
            status = deleted;
    }
    return status;
}

LONG storeValue(const std::string& key, const std::string& name, DWORD type,
                const std::string& bytes) {
    HKEY handle;
    LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPathOf(key).c_str(), 0, nullptr, 0,
                                  KEY_READ | KEY_WRITE, nullptr, &handle, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    status = winphone::setValueBytes(handle, winphone::fromUtf8(name).c_str(), type, bytes.data(),
                                     static_cast<DWORD>(bytes.size()));
    RegCloseKey(handle);
    return status;
}

std::string valueProblem(const std::string& key, const std::string& name, DWORD type,
                         const std::string& bytes) {
    std::optional<std::wstring> subkey = stateSubkey(keyPathOf(key));
    return subkey ? winphone::stateValueProblem(*subkey, winphone::fromUtf8(name), type, bytes)
                  : std::string();
}

} // namespace control
