// The helper's start of the phone's programs (serve.h): a program of the phone run with the
// console's input on its standard input, its standard error joined to the helper's, its standard
// output joined too or caught in a file, and a time limit; inside the helper's own wine server,
// so that a start costs about a tenth of a second instead of a new `wine`.
#include "serve.h"

#include "platform/utf8.h"

#include <cstdio>

namespace serve_requests {
namespace {

// A command line argument quoted as the platform's parser reads it back.
std::wstring quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
        } else {
            out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
            backslashes = 0;
        }
        out += c;
    }
    out.append(backslashes, L'\\');
    return out + L"\"";
}

// A file for a program's standard output, deleted when its last handle closes.
HANDLE outputFile() {
    wchar_t folder[MAX_PATH], name[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"vel", 0, name))
        return INVALID_HANDLE_VALUE;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileW(
        name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

std::string readAll(HANDLE file) {
    std::string text;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        text.append(chunk, got);
    return text;
}

// The standard handles a program is started with, inheritable; closed with it.
struct Handles {
    HANDLE input = nullptr;               // the read end of a pipe that holds the input
    HANDLE joined = nullptr;              // our standard error
    HANDLE caught = INVALID_HANDLE_VALUE; // the file its output is caught in, when asked
    ~Handles() {
        for (HANDLE h : {input, joined, caught})
            if (h != nullptr && h != INVALID_HANDLE_VALUE)
                CloseHandle(h);
    }
};

// Makes the handles: the input written into a pipe before the start (the pipe holds it all, and
// the end of the input follows it). ERROR_SUCCESS, else the platform's error and what it was for.
LONG makeHandles(const std::string& input, bool catchOutput, Handles* h, std::string* what) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&h->input, &writeEnd, &inherit, static_cast<DWORD>(input.size() + 4096))) {
        *what = "no pipe for the program's input";
        return static_cast<LONG>(GetLastError());
    }
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    DWORD written = 0;
    if (!input.empty())
        WriteFile(writeEnd, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    CloseHandle(writeEnd);
    DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_ERROR_HANDLE), GetCurrentProcess(),
                    &h->joined, 0, TRUE, DUPLICATE_SAME_ACCESS);
    if (catchOutput && (h->caught = outputFile()) == INVALID_HANDLE_VALUE) {
        *what = "no file for the program's output";
        return static_cast<LONG>(GetLastError());
    }
    return ERROR_SUCCESS;
}

// Starts the program. Wine's process start now and then fails with an internal error while its
// server is busy (measured: ERROR_INTERNAL_ERROR, 1359, about once in a few hundred starts on a
// loaded machine); that is tried again. A program that is not there, or not a program, is not.
// 0, else the platform's error.
DWORD launch(const std::wstring& path, std::wstring commandLine, const Handles& h,
             PROCESS_INFORMATION* pi) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = h.input;
    si.hStdOutput = h.caught != INVALID_HANDLE_VALUE ? h.caught : h.joined;
    si.hStdError = h.joined;
    DWORD error = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0)
            Sleep(200);
        if (CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                           nullptr, &si, pi))
            return 0;
        error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
            error == ERROR_BAD_EXE_FORMAT || error == ERROR_ACCESS_DENIED)
            break;
    }
    return error;
}

// Waits for the program's end, at most `limit` seconds: its exit status, and what went wrong.
DWORD finish(HANDLE process, long long limit, std::string* why) {
    if (WaitForSingleObject(process, static_cast<DWORD>(limit * 1000)) != WAIT_OBJECT_0) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 10000);
        *why = "ended after " + std::to_string(limit) + " s without finishing";
    }
    DWORD code = 1;
    GetExitCodeProcess(process, &code);
    // An exception ends a process with its code; the exit status is then as a killed one's.
    if (why->empty() && code >= 0xC0000000u) {
        char text[48];
        std::snprintf(text, sizeof text, "ended by exception 0x%08lX",
                      static_cast<unsigned long>(code));
        *why = text;
        code = 255;
    }
    return code;
}

} // namespace

// start LIMIT-SECONDS CATCH PATH INPUT [ARG...]: runs a program of the phone with INPUT on its
// standard input and its standard error joined to ours, its standard output too unless CATCH is
// 1; its exit status, process id, what went wrong, and the output caught.
void start(const Fields& f, Reply& r) {
    long long limit;
    if (f.size() < 5 || !number(f[1], &limit) || limit <= 0)
        return r.close(ERROR_INVALID_PARAMETER, "a time limit, a path and the input");
    const bool catchOutput = f[2] == "1";
    std::wstring path = utf16Of<wchar_t>(f[3]);
    std::wstring commandLine = quoted(path);
    for (size_t i = 5; i < f.size(); ++i)
        commandLine += L" " + quoted(utf16Of<wchar_t>(f[i]));
    Handles h;
    std::string what;
    if (LONG status = makeHandles(f[4], catchOutput, &h, &what))
        return r.close(status, what);
    PROCESS_INFORMATION pi = {};
    DWORD error = launch(path, commandLine, h, &pi);
    CloseHandle(h.input);
    h.input = nullptr;
    if (error != 0) {
        r.line({"-1", "0", "cannot start it (error " + std::to_string(error) + ")", ""});
        return r.close(ERROR_SUCCESS);
    }
    std::string why;
    DWORD code = finish(pi.hProcess, limit, &why);
    std::string output = catchOutput ? readAll(h.caught) : std::string();
    r.line({std::to_string(code), std::to_string(pi.dwProcessId), why, output});
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    r.close(ERROR_SUCCESS);
}

} // namespace serve_requests
