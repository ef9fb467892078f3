// The Win32 layer's side of the dialog script: its lines, read from an input handle (standard
// input when it is not a console) and run one at a time on the dialog's own thread, and what
// the script needs that no window call gives: this process's answer queue for message boxes,
// and pictures of the dialog. There are no keys to press here.
//
// A pipe cannot be polled under Wine (PeekNamedPipe fails), so a thread of its own reads the
// input with a blocking ReadFile and queues whole lines. A thread timer set at opening runs the
// next line at each tick; it goes on ticking inside the dialog's modal loop and inside a message
// box's, where the driver's guard (dialogScriptBusy) keeps it from starting a line while one
// still runs.
#include "win32.h"

#include "platform/dialog_script.h"

#include <deque>

namespace winphone {

namespace {

const UINT_PTR kScriptSubclass = 2;

// The reader keeps at most this many lines ahead of the dialog, and a line of at most this many
// bytes, so that an endless input does not take the process's memory: it waits for room.
const size_t kLinesAhead = 16;
const size_t kLineBytes = 65536;

struct Line {
    std::string text;
    bool tooLong = false; // its text was dropped
};

// Lines read from one input handle by a thread of its own. Kept for the life of the process:
// its thread may be blocked in ReadFile for ever.
struct LineReader {
    explicit LineReader(HANDLE in) : input(in) {
        InitializeCriticalSection(&lock);
        InitializeConditionVariable(&roomForLines);
    }
    HANDLE input;
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE roomForLines;
    std::deque<Line> lines;
    Line partial;
    bool ended = false;
};

// Every reader made, under readersLock().
std::vector<LineReader*> readers;
CRITICAL_SECTION* readersLock() {
    struct Lock {
        Lock() { InitializeCriticalSection(&section); }
        CRITICAL_SECTION section;
    };
    static Lock lock;
    return &lock.section;
}

void endLine(LineReader* reader) {
    reader->lines.push_back(std::move(reader->partial));
    reader->partial = Line();
}

DWORD WINAPI readLines(void* parameter) {
    LineReader* reader = static_cast<LineReader*>(parameter);
    char buffer[4096];
    for (;;) {
        EnterCriticalSection(&reader->lock);
        while (reader->lines.size() >= kLinesAhead)
            SleepConditionVariableCS(&reader->roomForLines, &reader->lock, INFINITE);
        LeaveCriticalSection(&reader->lock);
        DWORD got = 0;
        // The end of a file reads 0 bytes; a pipe whose writer has gone fails.
        bool more = ReadFile(reader->input, buffer, sizeof buffer, &got, nullptr) && got > 0;
        EnterCriticalSection(&reader->lock);
        for (DWORD i = 0; i < got; ++i) {
            Line& line = reader->partial;
            if (buffer[i] == '\n') {
                endLine(reader);
            } else if (line.text.size() < kLineBytes && !line.tooLong) {
                line.text += buffer[i];
            } else {
                line.text.clear();
                line.tooLong = true;
            }
        }
        if (!more) {
            // A last line without its newline is still a line.
            if (!reader->partial.text.empty() || reader->partial.tooLong)
                endLine(reader);
            reader->ended = true;
        }
        LeaveCriticalSection(&reader->lock);
        if (!more)
            return 0;
    }
}

// The reader of this input: one still reading it or holding its lines, else a new one.
LineReader* readerFor(HANDLE input) {
    EnterCriticalSection(readersLock());
    LineReader* found = nullptr;
    for (LineReader* r : readers) {
        EnterCriticalSection(&r->lock);
        bool usable = r->input == input && (!r->ended || !r->lines.empty());
        LeaveCriticalSection(&r->lock);
        if (usable) {
            found = r;
            break;
        }
    }
    if (found == nullptr) {
        LineReader* r = new LineReader(input);
        HANDLE thread = CreateThread(nullptr, 0, readLines, r, 0, nullptr);
        if (thread != NULL) {
            CloseHandle(thread);
            readers.push_back(r);
            found = r;
        } else {
            DeleteCriticalSection(&r->lock);
            delete r;
        }
    }
    LeaveCriticalSection(readersLock());
    return found;
}

enum class Next { Line, Waiting, Ended };

Next nextLine(LineReader* reader, Line* line) {
    EnterCriticalSection(&reader->lock);
    Next next = Next::Waiting;
    if (!reader->lines.empty()) {
        *line = std::move(reader->lines.front());
        reader->lines.pop_front();
        WakeConditionVariable(&reader->roomForLines);
        next = Next::Line;
    } else if (reader->ended) {
        next = Next::Ended;
    }
    LeaveCriticalSection(&reader->lock);
    return next;
}

// A dialog driven by a script, on the thread that runs it.
struct Session {
    HWND dialog;
    UINT_PTR timer;
    LineReader* reader;
    HANDLE output, errors;
    bool cancelled; // the input has ended and Cancel has been pressed
};
thread_local std::vector<Session> sessions;

Session* sessionOf(UINT_PTR timer) {
    for (Session& s : sessions)
        if (s.timer == timer)
            return &s;
    return nullptr;
}

void endSession(HWND dialog) {
    for (size_t i = 0; i < sessions.size(); ++i)
        if (sessions[i].dialog == dialog) {
            KillTimer(nullptr, sessions[i].timer);
            sessions.erase(sessions.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
}

void runLine(HWND dialog, HANDLE output, HANDLE errors, std::string_view line) {
    std::string out, error;
    if (!runDialogScriptLine(dialog, line, &out, &error))
        writeHandle(errors, "velmora: " + error + "\n");
    writeHandle(output, out);
}

void CALLBACK tick(HWND, UINT, UINT_PTR timer, DWORD) {
    Session* s = sessionOf(timer);
    if (s == nullptr) {
        KillTimer(nullptr, timer);
        return;
    }
    // Nothing runs while the dialog is still opening (its modal loop shows it once it is
    // ready) or while a line of its own runs, such as one whose message box is up.
    HWND dialog = s->dialog;
    if (!IsWindow(dialog)) {
        endSession(dialog);
        return;
    }
    if (!IsWindowVisible(dialog) || dialogScriptBusy(dialog))
        return;
    // The session may move while the line runs (a dialog opened meanwhile starts its own).
    HANDLE output = s->output, errors = s->errors;
    Line line;
    switch (nextLine(s->reader, &line)) {
    case Next::Waiting:
        return;
    case Next::Line:
        if (line.tooLong)
            writeHandle(errors, "velmora: a line longer than " + std::to_string(kLineBytes) +
                                    " bytes was not run\n");
        else
            runLine(dialog, output, errors, line.text);
        return;
    case Next::Ended:
        // No more input can come: Cancel, as on the simulated phone; a dialog that ignores
        // it is ended all the same at a later tick.
        if (!s->cancelled) {
            s->cancelled = true;
            runLine(dialog, output, errors, "cancel");
        } else {
            EndDialog(dialog, IDCANCEL);
        }
        return;
    }
}

// The script ends with its dialog, and so do the answers it queued that no box took.
LRESULT CALLBACK endsWithTheDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR, DWORD_PTR) {
    if (message == WM_DESTROY) {
        endSession(dialog);
        clearProcessAnswers();
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(dialog, endsWithTheDialog, kScriptSubclass);
    }
    return DefSubclassProc(dialog, message, wParam, lParam);
}

std::string errorText(const char* what, std::string_view path, DWORD code) {
    std::string text = "snap: cannot ";
    text += what;
    text += " '";
    text.append(path);
    text += "' (error " + std::to_string(code) + ")";
    return text;
}

} // namespace

bool startDialogScript(HWND dialog, HANDLE input, HANDLE output, HANDLE errors) {
    if (!IsWindow(dialog) || input == NULL || input == INVALID_HANDLE_VALUE)
        return false;
    for (const Session& s : sessions)
        if (s.dialog == dialog)
            return true;
    LineReader* reader = readerFor(input);
    if (reader == nullptr)
        return false;
    UINT_PTR timer = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, tick);
    if (timer == 0)
        return false;
    if (!SetWindowSubclass(dialog, endsWithTheDialog, kScriptSubclass, 0)) {
        KillTimer(nullptr, timer);
        return false;
    }
    sessions.push_back({dialog, timer, reader, output, errors, false});
    return true;
}

bool captureWindow(HWND window, uint32_t* width, uint32_t* height, std::string* rgb) {
    RECT frame;
    if (!IsWindowVisible(window) || !GetWindowRect(window, &frame) || frame.right <= frame.left ||
        frame.bottom <= frame.top)
        return false;
    LONG w = frame.right - frame.left, h = frame.bottom - frame.top;
    // Painted afresh first: the window's own surface holds what was last drawn, and the
    // screen's may not show it at all (it is black in Wine's virtual desktop).
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    HDC source = GetWindowDC(window);
    if (source == NULL)
        return false;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h; // rows top to bottom
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool taken = false;
    if (memory != NULL && bitmap != NULL) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        taken = BitBlt(memory, 0, 0, w, h, source, 0, 0, SRCCOPY) != 0;
        GdiFlush();
        if (taken) {
            const unsigned char* pixel = static_cast<const unsigned char*>(bits);
            rgb->resize(size_t(w) * h * 3);
            for (size_t i = 0; i < size_t(w) * h; ++i, pixel += 4) {
                (*rgb)[i * 3] = static_cast<char>(pixel[2]);
                (*rgb)[i * 3 + 1] = static_cast<char>(pixel[1]);
                (*rgb)[i * 3 + 2] = static_cast<char>(pixel[0]);
            }
            *width = static_cast<uint32_t>(w);
            *height = static_cast<uint32_t>(h);
        }
        SelectObject(memory, previous);
    }
    if (bitmap != NULL)
        DeleteObject(bitmap);
    if (memory != NULL)
        DeleteDC(memory);
    ReleaseDC(window, source);
    return taken;
}

bool writeWholeFile(std::string_view path, std::string_view bytes, std::string* error) {
    std::wstring name = fromUtf8(path);
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = errorText("create", path, GetLastError());
        return false;
    }
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written == 0) {
            DWORD code = GetLastError();
            CloseHandle(file);
            // Half a picture is no picture.
            DeleteFileW(name.c_str());
            *error = errorText("write", path, code);
            return false;
        }
        bytes.remove_prefix(written);
    }
    if (!CloseHandle(file)) {
        DWORD code = GetLastError();
        DeleteFileW(name.c_str());
        *error = errorText("write", path, code);
        return false;
    }
    return true;
}

} // namespace winphone

// The dialog's end takes back what no box used.
void dialogScriptAnswer(int answer) {
    winphone::queueProcessAnswer(answer);
}

bool dialogScriptSnap(HWND dialog, std::string_view path, std::string* error) {
    uint32_t width = 0, height = 0;
    std::string rgb;
    if (!winphone::captureWindow(dialog, &width, &height, &rgb)) {
        *error = "snap: the dialog is not on the screen to take a picture of";
        return false;
    }
    return winphone::writeWholeFile(path, winphone::encodePng(width, height, rgb), error);
}

bool dialogScriptKey(HWND, std::string_view, std::string* error) {
    *error = "key: only the simulated phone presses keys; use click, set, ok or cancel";
    return false;
}
