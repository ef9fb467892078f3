// The helper's output (helper.h): UTF-8 with LF for scripts and the console on the host, wide
// text for a person at a console.
#include "helper.h"

#include "platform/utf8.h"

void writeStd(DWORD which, std::string_view utf8) {
    HANDLE handle = GetStdHandle(which);
    if (handle == NULL || handle == INVALID_HANDLE_VALUE || utf8.empty())
        return;
    DWORD mode, written;
    if (GetConsoleMode(handle, &mode)) {
        std::wstring wide = utf16Of<wchar_t>(utf8);
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    while (!utf8.empty()) {
        if (!WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) ||
            written == 0)
            return;
        utf8.remove_prefix(written);
    }
}
