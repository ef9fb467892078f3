// The tests' phone under Wine: a new phone per test, and the programs of this build started
// in it with nobody at a console.
#include "wine_phone.h"

#include "schedule/settings.h"

namespace {

std::wstring settingsPath() {
    return winphone::withoutEmptyKeyNames(SETTINGS_KEY_PATH);
}

std::wstring tempFile() {
    wchar_t folder[MAX_PATH], file[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"vel", 0, file);
    return file;
}

HANDLE inheritable(const std::wstring& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string slurp(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string text;
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char buffer[4096];
    DWORD read;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        text.append(buffer, read);
    CloseHandle(file);
    return text;
}

struct WindowSearch {
    DWORD processId;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM param) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t title[256];
    if (owner == search->processId && IsWindowVisible(window) &&
        GetWindowTextW(window, title, ARRAYSIZE(title)) && wcscmp(title, search->title) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

std::wstring programPath(const wchar_t* name) {
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, length);
    return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

Process::Process(const wchar_t* program, const std::wstring& arguments, Input from)
    : outPath(tempFile()), errPath(tempFile()) {
    std::wstring path = programPath(program);
    std::wstring commandLine = L"\"" + path + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    HANDLE in = NULL;
    if (from == FromPipe) {
        // Only the reading end is inherited: the program sees the end of its input once the
        // test closes the writing end.
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        if (CreatePipe(&in, &input, &inherit, 0))
            SetHandleInformation(input, HANDLE_FLAG_INHERIT, 0);
    } else {
        in = inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    }
    HANDLE out = inheritable(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = inheritable(errPath, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION info = {};
    if (CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       nullptr, &startup, &info)) {
        process = info.hProcess;
        processId = info.dwProcessId;
        CloseHandle(info.hThread);
    }
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
}

Process::~Process() {
    closeInput();
    if (process != NULL) {
        if (wait(0) == STILL_ACTIVE) {
            TerminateProcess(process, 99);
            WaitForSingleObject(process, 10000);
        }
        CloseHandle(process);
    }
    DeleteFileW(outPath.c_str());
    DeleteFileW(errPath.c_str());
}

DWORD Process::wait(DWORD ms) {
    if (process == NULL)
        return STILL_ACTIVE;
    WaitForSingleObject(process, ms);
    DWORD status = STILL_ACTIVE;
    GetExitCodeProcess(process, &status);
    return status;
}

std::string Process::out() const {
    return slurp(outPath);
}

std::string Process::err() const {
    return slurp(errPath);
}

HWND Process::waitForWindow(const wchar_t* title, DWORD ms) const {
    for (DWORD waited = 0;; waited += 50) {
        WindowSearch search = {processId, title, nullptr};
        EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr || waited >= ms)
            return search.found;
        if (process != NULL && WaitForSingleObject(process, 50) == WAIT_OBJECT_0)
            return nullptr;
    }
}

bool Process::send(std::string_view text) {
    while (input != NULL && !text.empty()) {
        DWORD written = 0;
        if (!WriteFile(input, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
            return false;
        text.remove_prefix(written);
    }
    return input != NULL;
}

void Process::closeInput() {
    if (input != NULL)
        CloseHandle(input);
    input = NULL;
}

bool Process::waitForOutput(std::string_view text, DWORD ms) const {
    for (DWORD waited = 0;; waited += 50) {
        if (out().find(text) != std::string::npos)
            return true;
        if (waited >= ms || process == NULL || WaitForSingleObject(process, 50) == WAIT_OBJECT_0)
            return out().find(text) != std::string::npos;
    }
}

ProgramResult runProgram(const wchar_t* program, const std::wstring& arguments) {
    Process p(program, arguments);
    DWORD status = p.wait();
    return {status, p.out(), p.err()};
}

ProgramResult runWithScript(const wchar_t* program, const std::wstring& arguments,
                            std::string_view script) {
    Process p(program, arguments, Process::FromPipe);
    p.send(script);
    p.closeInput();
    DWORD status = p.wait();
    return {status, p.out(), p.err()};
}

std::vector<WORD> emptyDialogTemplate(short cx, short cy) {
    // Room for the header and the three zero words after it (menu, class, caption).
    std::vector<WORD> t(64, 0);
    DLGTEMPLATE* header = reinterpret_cast<DLGTEMPLATE*>(t.data());
    header->style = WS_POPUP | WS_CAPTION;
    header->cx = cx;
    header->cy = cy;
    return t;
}

void WinePhone::SetUp() {
    // The tests read bad values on purpose, and check what they are told.
    winphone::echoStateProblems(false);
    winphone::clearProcessAnswers();
    ASSERT_EQ(ERROR_SUCCESS, control::resetPhone({winphone::toUtf8(settingsPath())}))
        << control::problem();
}

void WinePhone::TearDown() {
    winphone::clearProcessAnswers();
}

void WinePhone::setClock(const char* when) {
    SYSTEMTIME t;
    ASSERT_TRUE(winphone::parseDateTime(when, &t)) << when;
    ASSERT_EQ(ERROR_SUCCESS, control::pinClock(t));
}

int WinePhone::takeQueuedAnswer() {
    int answer = 0;
    return answers_state::takeFirstAnswer(&answer) == ERROR_SUCCESS ? answer : 0;
}

bool WinePhone::setting(const wchar_t* name, DWORD* type, std::string* bytes) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, settingsPath().c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, name, nullptr, type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        bytes->assign(size, '\0');
        status = RegQueryValueExW(key, name, nullptr, type, reinterpret_cast<BYTE*>(bytes->data()),
                                  &size);
        bytes->resize(size);
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void WinePhone::setSetting(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, settingsPath().c_str(), 0, nullptr,
                                             0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, winphone::setValueBytes(key, name, type, data, size));
    RegCloseKey(key);
}

std::vector<Box> readBoxes() {
    std::vector<control::MessageRecord> all;
    EXPECT_EQ(ERROR_SUCCESS, control::messages(&all)) << control::problem();
    std::vector<Box> out;
    for (const control::MessageRecord& m : all)
        out.push_back({m.id, m.pid, winphone::fromUtf8(m.caption), winphone::fromUtf8(m.text),
                       m.type, m.answer});
    return out;
}

std::optional<control::LineDevice> readLine(DWORD index) {
    control::LineDevice device;
    if (control::lineDevice(index, &device) != ERROR_SUCCESS)
        return std::nullopt;
    return device;
}

control::TelephonyStatus readTelephony() {
    control::TelephonyStatus s;
    EXPECT_EQ(ERROR_SUCCESS, control::telephonyStatus(&s)) << control::problem();
    return s;
}

std::string readPending(const std::wstring& path) {
    std::optional<control::PendingStart> start;
    if (control::pendingStart(winphone::toUtf8(path), &start) != ERROR_SUCCESS)
        return "unreadable";
    return start ? start->text : "none";
}
