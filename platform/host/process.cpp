// Process-level services: the last error, the executable's path and the instance handle.
#include "host.h"

#include <climits>
#include <unistd.h>

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

DWORD GetLastError(void) {
    return lastError;
}
void SetLastError(DWORD dwErrCode) {
    lastError = dwErrCode;
}

DWORD GetModuleFileNameW(HMODULE, LPWSTR lpFilename, DWORD nSize) {
    char path[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", path, PATH_MAX);
    if (n < 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (!lpFilename || nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::u16string wide = host::fromUtf8(std::string_view(path, static_cast<size_t>(n)));
    if (wide.size() >= nSize) {
        // Like the platform: truncated, terminated, and the full capacity returned.
        memcpy(lpFilename, wide.data(), (nSize - 1) * sizeof(WCHAR));
        lpFilename[nSize - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    memcpy(lpFilename, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
    return static_cast<DWORD>(wide.size());
}

namespace host {
HINSTANCE instance() {
    // Any distinct non-null value serves: it only identifies the program to the phone.
    return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x00010000));
}
} // namespace host
