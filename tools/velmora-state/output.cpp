// The helper's output (helper.h): UTF-8 with LF for scripts and the console on the host, wide
// text for a person at a console.
#include "helper.h"

#include "platform/utf8.h"

void writeStd(DWORD which, std::string_view utf8) {
    HANDLE handle = GetStdHandle(which);
    DWORD mode = 0, written = 0;
    if (utf8.empty() || handle == NULL || handle == INVALID_HANDLE_VALUE)
        return;
    if (!GetConsoleMode(handle, &mode)) {
        // A pipe or a file may take less than all at once.
        for (size_t at = 0; at < utf8.size(); at += written)
            if (!WriteFile(handle, utf8.data() + at, static_cast<DWORD>(utf8.size() - at), &written,
                           nullptr) ||
                written == 0)
                return;
        return;
    }
    const std::wstring wide = utf16Of<wchar_t>(utf8);
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}
