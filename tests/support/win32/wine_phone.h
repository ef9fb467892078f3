// The tests' phone under Wine: the prefix of the test run, made a new phone before each test
// by deleting the phone's keys, and the programs of this build started in it.
#ifndef VELMORA_TESTS_WINE_PHONE_H
#define VELMORA_TESTS_WINE_PHONE_H

#include "platform/win32/win32.h"

#include <gtest/gtest.h>

#include <optional>

#include <string>
#include <string_view>
#include <vector>

// A program of this build, beside the test program: velmora.exe, velmora-state.exe.
std::wstring programPath(const wchar_t* name);

// A program started with a command line (its arguments; the path is put first), nobody at a
// console, and its output collected. Its standard input is NUL, or a pipe that the test writes
// (a dialog's script) and that stays open until closeInput or the end.
class Process {
  public:
    enum Input { FromNul, FromPipe };
    Process(const wchar_t* program, const std::wstring& arguments, Input input = FromNul);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    bool started() const { return process != NULL; }
    DWORD id() const { return processId; }
    // Waits for the end; its exit status, or STILL_ACTIVE when it has not ended in time.
    DWORD wait(DWORD ms = 60000);
    // What it wrote to standard output and error, once it has ended.
    std::string out() const;
    std::string err() const;
    // The first visible top-level window of the process with that title, waited for.
    HWND waitForWindow(const wchar_t* title, DWORD ms = 30000) const;
    // Writes to its standard input pipe; false when there is none or it is closed.
    bool send(std::string_view text);
    // Ends its standard input: the end of a dialog's script.
    void closeInput();
    // Waits until its standard output holds `text`; false when it ends or time runs out first.
    bool waitForOutput(std::string_view text, DWORD ms = 30000) const;

  private:
    HANDLE process = NULL;
    HANDLE input = NULL;
    DWORD processId = 0;
    std::wstring outPath, errPath;
};

struct ProgramResult {
    DWORD status;
    std::string out, err;
};
// Starts a program and waits for its end.
ProgramResult runProgram(const wchar_t* program, const std::wstring& arguments);
// Starts a program with `script` on its standard input (a pipe, closed once written) and waits
// for its end.
ProgramResult runWithScript(const wchar_t* program, const std::wstring& arguments,
                            std::string_view script);

// A dialog template in memory: a popup with a caption, the given size in dialog units, no
// controls, and no menu, class or caption text.
std::vector<WORD> emptyDialogTemplate(short cx, short cy);

// The phone as its controls give it (platform/phone/control.h). A box's texts as the program
// gave them; a read that fails fails the test, and gives back what could be read.
struct Box {
    long long id;
    long long pid;
    std::wstring caption, text;
    UINT type;
    int answer;
};
std::vector<Box> readBoxes();
// A line device; nullopt when there is none, or it cannot be read.
std::optional<control::LineDevice> readLine(DWORD index);
control::TelephonyStatus readTelephony();
// The pending start of a program: its time, "none", or "unreadable".
std::string readPending(const std::wstring& path);

// Every test starts on a new phone: no settings, no phone state.
class WinePhone : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    void setClock(const char* when);
    // The settings key's value as stored: its type and exact bytes; false when missing.
    bool setting(const wchar_t* name, DWORD* type, std::string* bytes);
    void setSetting(const wchar_t* name, DWORD type, const void* data, DWORD size);
    void setDword(const wchar_t* name, DWORD value) {
        setSetting(name, REG_DWORD, &value, sizeof value);
    }
    // The next answer of the phone's queue, taken off it; 0 when none can be taken.
    static int takeQueuedAnswer();
};

#endif
