// The phone's registry: keys and values with their type code and exact bytes.
#include "host.h"

#include <map>

namespace {

std::map<uintptr_t, std::string> openKeys;
uintptr_t nextKeyHandle = 0x1000;

const char* rootName(HKEY key) {
    if (key == HKEY_CLASSES_ROOT)
        return "HKEY_CLASSES_ROOT";
    if (key == HKEY_CURRENT_USER)
        return "HKEY_CURRENT_USER";
    if (key == HKEY_LOCAL_MACHINE)
        return "HKEY_LOCAL_MACHINE";
    if (key == HKEY_USERS)
        return "HKEY_USERS";
    return nullptr;
}

// The full path of an open or predefined key; false for a handle that is neither.
bool keyPath(HKEY key, std::string* path) {
    if (const char* root = rootName(key)) {
        *path = root;
        return true;
    }
    auto it = openKeys.find(reinterpret_cast<uintptr_t>(key));
    if (it == openKeys.end())
        return false;
    *path = it->second;
    return true;
}

std::string valueName(LPCWSTR name) {
    return name ? host::toUtf8(name) : std::string();
}

LONG storeStatus() {
    LONG status = ERROR_SUCCESS;
    host::store(&status);
    return status == ERROR_SUCCESS ? ERROR_CANTREAD : status;
}

} // namespace

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR, DWORD, REGSAM,
                     LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (!phkResult || Reserved != 0)
        return ERROR_INVALID_PARAMETER;
    std::string path;
    if (!keyPath(hKey, &path))
        return ERROR_INVALID_HANDLE;
    LONG status = ERROR_SUCCESS;
    if (!host::store(&status))
        return status;

    // Key names are separated by backslashes; empty names (a leading backslash) are skipped.
    std::string sub = lpSubKey ? host::toUtf8(lpSubKey) : std::string();
    std::vector<std::string> chain;
    size_t start = 0;
    while (start <= sub.size()) {
        size_t end = sub.find('\\', start);
        if (end == std::string::npos)
            end = sub.size();
        if (end > start) {
            path += '\\';
            path.append(sub, start, end - start);
            chain.push_back(path);
        }
        start = end + 1;
    }
    std::vector<host::Row> rows;
    if (!host::exec("SELECT 1 FROM registry_keys WHERE path = ?", {host::Param::str(path)}, &rows))
        return storeStatus();
    bool existed = !rows.empty() || chain.empty();
    // Only a new key is written, so that opening an existing key works on a read-only phone.
    if (!existed)
        for (const std::string& p : chain)
            if (!host::exec("INSERT OR IGNORE INTO registry_keys(path) VALUES(?)",
                            {host::Param::str(p)}))
                return ERROR_CANTWRITE;
    uintptr_t handle = nextKeyHandle;
    nextKeyHandle += 4;
    openKeys[handle] = path;
    *phkResult = reinterpret_cast<HKEY>(handle);
    if (lpdwDisposition)
        *lpdwDisposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
    std::string path;
    if (!keyPath(hKey, &path))
        return ERROR_INVALID_HANDLE;
    if (lpData && !lpcbData)
        return ERROR_INVALID_PARAMETER;
    std::vector<host::Row> rows;
    if (!host::exec("SELECT type, data FROM registry_values WHERE key = ? AND name = ?",
                    {host::Param::str(path), host::Param::str(valueName(lpValueName))}, &rows))
        return storeStatus();
    if (rows.empty())
        return ERROR_FILE_NOT_FOUND;
    DWORD type = static_cast<DWORD>(std::stoul(rows[0][0].value_or("0")));
    const std::string& data = *rows[0][1];
    DWORD size = static_cast<DWORD>(data.size());
    if (lpType)
        *lpType = type;
    if (lpData && *lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (lpData)
        memcpy(lpData, data.data(), size);
    if (lpcbData)
        *lpcbData = size;
    return ERROR_SUCCESS;
}

LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                    const BYTE* lpData, DWORD cbData) {
    std::string path;
    if (!keyPath(hKey, &path))
        return ERROR_INVALID_HANDLE;
    if (Reserved != 0 || (!lpData && cbData != 0))
        return ERROR_INVALID_PARAMETER;
    std::string bytes(reinterpret_cast<const char*>(lpData ? lpData : (const BYTE*)""), cbData);
    if (!host::exec("INSERT INTO registry_values(key, name, type, data) VALUES(?, ?, ?, ?) "
                    "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, "
                    "data = excluded.data",
                    {host::Param::str(path), host::Param::str(valueName(lpValueName)),
                     host::Param::integer(dwType), host::Param::blob(bytes)}))
        return ERROR_CANTWRITE;
    return ERROR_SUCCESS;
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    std::string path;
    if (!keyPath(hKey, &path))
        return ERROR_INVALID_HANDLE;
    std::vector<host::Row> rows;
    std::vector<host::Param> params{host::Param::str(path),
                                    host::Param::str(valueName(lpValueName))};
    if (!host::exec("SELECT 1 FROM registry_values WHERE key = ? AND name = ?", params, &rows))
        return storeStatus();
    if (rows.empty())
        return ERROR_FILE_NOT_FOUND;
    if (!host::exec("DELETE FROM registry_values WHERE key = ? AND name = ?", params))
        return ERROR_CANTWRITE;
    return ERROR_SUCCESS;
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    std::string path;
    if (!keyPath(hKey, &path))
        return ERROR_INVALID_HANDLE;
    if (!lpValueName || !lpcchValueName || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    std::vector<host::Row> rows;
    if (!host::exec("SELECT name, type, data FROM registry_values WHERE key = ? "
                    "ORDER BY name COLLATE NOCASE LIMIT 1 OFFSET ?",
                    {host::Param::str(path), host::Param::integer(dwIndex)}, &rows))
        return storeStatus();
    if (rows.empty())
        return ERROR_NO_MORE_ITEMS;
    std::u16string name = host::fromUtf8(*rows[0][0]);
    const std::string& data = *rows[0][2];
    if (name.size() + 1 > *lpcchValueName)
        return ERROR_MORE_DATA;
    if (lpData && *lpcbData < data.size()) {
        *lpcbData = static_cast<DWORD>(data.size());
        return ERROR_MORE_DATA;
    }
    memcpy(lpValueName, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
    *lpcchValueName = static_cast<DWORD>(name.size());
    if (lpType)
        *lpType = static_cast<DWORD>(std::stoul(rows[0][1].value_or("0")));
    if (lpData)
        memcpy(lpData, data.data(), data.size());
    if (lpcbData)
        *lpcbData = static_cast<DWORD>(data.size());
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) {
    if (rootName(hKey))
        return ERROR_SUCCESS;
    return openKeys.erase(reinterpret_cast<uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
