// The phone's registry: keys and values with their type code and exact bytes.
#include "host.h"

#include "platform/phone/registry_rules.h"

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

// A LIKE pattern for the paths below a key: its path, a backslash, anything.
std::string likePrefix(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '%' || c == '_' || c == '!')
            out += '!';
        out += c;
    }
    return out + "\\%";
}

std::string valueName(LPCWSTR name) {
    return name ? host::toUtf8(name) : std::string();
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

    // Every key on the way down, so that the missing ones are made.
    std::vector<std::string> chain;
    for (const std::u16string& name : registry_rules::keyNames(lpSubKey)) {
        path += '\\';
        path += host::toUtf8(name);
        chain.push_back(path);
    }
    std::vector<host::Row> rows;
    status = host::execute("SELECT 1 FROM registry_keys WHERE path = ?", {host::Param::str(path)},
                           &rows);
    if (status != ERROR_SUCCESS)
        return status;
    bool existed = !rows.empty() || chain.empty();
    // Only a new key is written, so that opening an existing key works on a read-only phone.
    if (!existed)
        for (const std::string& p : chain)
            if ((status = host::execute("INSERT OR IGNORE INTO registry_keys(path) VALUES(?)",
                                        {host::Param::str(p)})) != ERROR_SUCCESS)
                return status;
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
    LONG status =
        host::execute("SELECT type, data FROM registry_values WHERE key = ? AND name = ?",
                      {host::Param::str(path), host::Param::str(valueName(lpValueName))}, &rows);
    if (status != ERROR_SUCCESS)
        return status;
    if (rows.empty())
        return ERROR_FILE_NOT_FOUND;
    DWORD type = rows[0].dword(0);
    const std::string data = rows[0].blob(1);
    if ((status = rows[0].status()) != ERROR_SUCCESS)
        return status;
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
    if (!registry_rules::valueNameFits(lpValueName))
        return host::refuse(ERROR_INVALID_PARAMETER,
                            "a value name has at most " +
                                std::to_string(registry_rules::kMaxValueNameChars) +
                                " characters; this one has " +
                                std::to_string(std::char_traits<WCHAR>::length(lpValueName)));
    std::string bytes(reinterpret_cast<const char*>(lpData ? lpData : (const BYTE*)""), cbData);
    return host::execute("INSERT INTO registry_values(key, name, type, data) VALUES(?, ?, ?, ?) "
                         "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, "
                         "data = excluded.data",
                         {host::Param::str(path), host::Param::str(valueName(lpValueName)),
                          host::Param::integer(dwType), host::Param::blob(bytes)});
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    std::string path;
    if (!keyPath(hKey, &path))
        return ERROR_INVALID_HANDLE;
    std::vector<host::Row> rows;
    std::vector<host::Param> params{host::Param::str(path),
                                    host::Param::str(valueName(lpValueName))};
    LONG status =
        host::execute("SELECT 1 FROM registry_values WHERE key = ? AND name = ?", params, &rows);
    if (status != ERROR_SUCCESS)
        return status;
    if (rows.empty())
        return ERROR_FILE_NOT_FOUND;
    return host::execute("DELETE FROM registry_values WHERE key = ? AND name = ?", params);
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    std::string path;
    if (!keyPath(hKey, &path))
        return ERROR_INVALID_HANDLE;
    if (!lpValueName || !lpcchValueName || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    std::vector<host::Row> rows;
    LONG status = host::execute("SELECT name, type, data FROM registry_values WHERE key = ? "
                                "ORDER BY name COLLATE NOCASE LIMIT 1 OFFSET ?",
                                {host::Param::str(path), host::Param::integer(dwIndex)}, &rows);
    if (status != ERROR_SUCCESS)
        return status;
    if (rows.empty())
        return ERROR_NO_MORE_ITEMS;
    std::u16string name = host::fromUtf8(rows[0].text(0));
    DWORD type = rows[0].dword(1);
    const std::string data = rows[0].blob(2);
    if ((status = rows[0].status()) != ERROR_SUCCESS)
        return status;
    if (name.size() + 1 > *lpcchValueName)
        return ERROR_MORE_DATA;
    if (lpData && *lpcbData < data.size()) {
        *lpcbData = static_cast<DWORD>(data.size());
        return ERROR_MORE_DATA;
    }
    memcpy(lpValueName, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
    *lpcchValueName = static_cast<DWORD>(name.size());
    if (lpType)
        *lpType = type;
    if (lpData)
        memcpy(lpData, data.data(), data.size());
    if (lpcbData)
        *lpcbData = static_cast<DWORD>(data.size());
    return ERROR_SUCCESS;
}

LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcClass, LPDWORD lpReserved,
                      LPDWORD lpcSubKeys, LPDWORD lpcMaxSubKeyLen, LPDWORD lpcMaxClassLen,
                      LPDWORD lpcValues, LPDWORD lpcMaxValueNameLen, LPDWORD lpcMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    std::string path;
    if (!keyPath(hKey, &path))
        return ERROR_INVALID_HANDLE;
    if (lpReserved)
        return ERROR_INVALID_PARAMETER;
    // Subkeys are the keys one level below, whose paths hold no further backslash. Lengths are
    // counted in UTF-8 bytes, never fewer than the UTF-16 characters they stand for, so that a
    // buffer sized by them holds any name.
    std::vector<host::Row> rows;
    LONG status = host::execute(
        "SELECT (SELECT COUNT(*) FROM registry_keys WHERE path LIKE ? ESCAPE '!' "
        "AND instr(substr(path, ?), '\\') = 0), "
        "(SELECT COALESCE(MAX(length(substr(path, ?))), 0) FROM registry_keys "
        "WHERE path LIKE ? ESCAPE '!' AND instr(substr(path, ?), '\\') = 0), "
        "COUNT(*), COALESCE(MAX(length(CAST(name AS BLOB))), 0), "
        "COALESCE(MAX(length(CAST(data AS BLOB))), 0) FROM registry_values WHERE key = ?",
        {host::Param::str(likePrefix(path)), host::Param::integer(path.size() + 2),
         host::Param::integer(path.size() + 2), host::Param::str(likePrefix(path)),
         host::Param::integer(path.size() + 2), host::Param::str(path)},
        &rows);
    if (status != ERROR_SUCCESS)
        return status;
    host::Row& r = rows.at(0);
    DWORD subKeys = r.dword(0), maxSubKey = r.dword(1), values = r.dword(2), maxName = r.dword(3),
          maxData = r.dword(4);
    if ((status = r.status()) != ERROR_SUCCESS)
        return status;
    // Keys have no class on this registry.
    if (lpClass && lpcClass && *lpcClass)
        lpClass[0] = 0;
    if (lpcClass)
        *lpcClass = 0;
    if (lpcSubKeys)
        *lpcSubKeys = subKeys;
    if (lpcMaxSubKeyLen)
        *lpcMaxSubKeyLen = maxSubKey;
    if (lpcMaxClassLen)
        *lpcMaxClassLen = 0;
    if (lpcValues)
        *lpcValues = values;
    if (lpcMaxValueNameLen)
        *lpcMaxValueNameLen = maxName;
    if (lpcMaxValueLen)
        *lpcMaxValueLen = maxData;
    if (lpcbSecurityDescriptor)
        *lpcbSecurityDescriptor = 0;
    if (lpftLastWriteTime)
        *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) {
    if (rootName(hKey))
        return ERROR_SUCCESS;
    return openKeys.erase(reinterpret_cast<uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
