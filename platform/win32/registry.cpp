// The registry as the phone behaves: a key path may start with a backslash, access masks are
// ignored, and a value keeps exactly the bytes the caller gave. Everything else is the real
// registry of the prefix.
#include "win32.h"

#include "platform/phone/registry_rules.h"

#include <winternl.h>

// ntdll's own call below RegSetValueEx: it stores the bytes as given.
extern "C" NTSTATUS NTAPI NtSetValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName,
                                        ULONG TitleIndex, ULONG Type, PVOID Data, ULONG DataSize);

namespace winphone {

namespace {

// HKEY_CLASSES_ROOT … HKEY_CURRENT_USER_LOCAL_SETTINGS: handles the registry API resolves
// itself and ntdll does not know.
bool isPredefinedKey(HKEY key) {
    ULONG_PTR value = reinterpret_cast<ULONG_PTR>(key);
    return value >= 0x80000000u && value <= 0x80000007u;
}

} // namespace

LONG setValueBytes(HKEY key, LPCWSTR name, DWORD type, const void* data, DWORD size) {
    if (data == nullptr && size != 0)
        return ERROR_INVALID_PARAMETER;
    HKEY target = key;
    if (isPredefinedKey(key)) {
        LONG status = RegOpenKeyExW(key, nullptr, 0, KEY_SET_VALUE, &target);
        if (status != ERROR_SUCCESS)
            return status;
    }
    UNICODE_STRING valueName;
    RtlInitUnicodeString(&valueName, name != nullptr ? name : L"");
    NTSTATUS status =
        NtSetValueKey(target, &valueName, 0, type, const_cast<void*>(data), data ? size : 0);
    if (target != key)
        RegCloseKey(target);
    return static_cast<LONG>(RtlNtStatusToDosError(status));
}

std::wstring withoutEmptyKeyNames(LPCWSTR path) {
    std::wstring out;
    for (const std::wstring& name : registry_rules::keyNames(path))
        out.append(out.empty() ? L"" : L"\\").append(name);
    return out;
}

} // namespace winphone

LONG WINAPI phoneRegCreateKeyEx(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                                DWORD dwOptions, REGSAM, LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                PHKEY phkResult, LPDWORD lpdwDisposition) {
    // Desktop Win32 refuses a path that starts with a backslash (ERROR_BAD_PATHNAME); the
    // phone reads names between backslashes and skips empty ones.
    std::wstring path = winphone::withoutEmptyKeyNames(lpSubKey);
    // The phone has no access masks: every key can be read and written. Desktop Win32 would
    // give a key opened with 0 that can do neither.
    return RegCreateKeyExW(hKey, lpSubKey != nullptr ? path.c_str() : nullptr, Reserved, lpClass,
                           dwOptions, KEY_READ | KEY_WRITE, lpSecurityAttributes, phkResult,
                           lpdwDisposition);
}

LONG WINAPI phoneRegSetValueEx(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                               const BYTE* lpData, DWORD cbData) {
    if (Reserved != 0)
        return ERROR_INVALID_PARAMETER;
    // The phone takes value names of at most 255 characters (desktop Win32: 16,383).
    if (!registry_rules::valueNameFits(lpValueName))
        return ERROR_INVALID_PARAMETER;
    // Desktop Win32 stores a string with a terminator the caller did not count (a 14-byte
    // REG_SZ becomes 16 bytes); the phone keeps the caller's byte count.
    return winphone::setValueBytes(hKey, lpValueName, dwType, lpData, cbData);
}
