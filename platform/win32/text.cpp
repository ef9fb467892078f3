// Text: UTF-16 to and from UTF-8, and writing to the standard handles so that scripts get
// UTF-8 with LF line endings and a console gets wide text.
#include "win32.h"

namespace winphone {

std::string toUtf8(std::wstring_view text) {
    if (text.empty())
        return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string out(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                            size, nullptr, nullptr);
    return out;
}

std::wstring fromUtf8(std::string_view text) {
    if (text.empty())
        return {};
    int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(size > 0 ? size : 0, L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                            size);
    return out;
}

bool consoleInput() {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

void writeStd(DWORD which, std::string_view utf8) {
    writeHandle(GetStdHandle(which), utf8);
}

void writeHandle(HANDLE handle, std::string_view utf8) {
    if (handle == NULL || handle == INVALID_HANDLE_VALUE || utf8.empty())
        return;
    DWORD mode, written;
    if (GetConsoleMode(handle, &mode)) {
        std::wstring wide = fromUtf8(utf8);
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

} // namespace winphone
