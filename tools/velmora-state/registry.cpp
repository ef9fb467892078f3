// The registry as the helper reads it (helper.h): key paths without empty names, values with
// their exact bytes, and the names below a key.
#include "helper.h"

#include "platform/utf8.h"

#include <algorithm>

std::wstring keyPathOf(std::string_view path) {
    const std::wstring names = utf16Of<wchar_t>(path);
    std::wstring out;
    for (size_t at = 0, end; at < names.size(); at = end + 1) {
        end = std::min(names.find(L'\\', at), names.size());
        if (end > at)
            out.append(out.empty() ? L"" : L"\\").append(names, at, end - at);
    }
    return out;
}

LONG readValueBytes(HKEY key, const std::wstring& name, DWORD* type, std::string* bytes) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        LONG status = RegQueryValueExW(key, name.c_str(), nullptr, type, nullptr, &size);
        if (status != ERROR_SUCCESS)
            return status;
        bytes->assign(size, '\0');
        status = RegQueryValueExW(key, name.c_str(), nullptr, type,
                                  reinterpret_cast<BYTE*>(bytes->data()), &size);
        if (status != ERROR_MORE_DATA) {
            bytes->resize(size);
            return status;
        }
    }
    return ERROR_MORE_DATA;
}

LONG keyNames(HKEY key, Names which, std::vector<std::wstring>* names) {
    DWORD subkeys = 0, longestSubkey = 0, values = 0, longestValue = 0;
    LONG status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &longestSubkey,
                                   nullptr, &values, &longestValue, nullptr, nullptr, nullptr);
    const bool ofValues = which == Names::Values;
    const DWORD count = ofValues ? values : subkeys;
    std::wstring name((ofValues ? longestValue : longestSubkey) + 1, L'\0');
    for (DWORD i = 0; status == ERROR_SUCCESS && i < count; ++i) {
        DWORD chars = static_cast<DWORD>(name.size());
        status =
            ofValues
                ? RegEnumValueW(key, i, name.data(), &chars, nullptr, nullptr, nullptr, nullptr)
                : RegEnumKeyExW(key, i, name.data(), &chars, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS)
            names->emplace_back(name.data(), chars);
    }
    // Names removed meanwhile end the listing early, and that is no failure.
    return status == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : status;
}

LONG deleteKeyTree(const std::wstring& path) {
    LONG status = RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        return status;
    status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

void flushPhone() {
    RegFlushKey(HKEY_LOCAL_MACHINE);
}
