// The phone over desktop Win32: the layer's own inside beside the Win32 surface, for its modules
// and its own tests. The phone's state lives in the registry of the Wine prefix, under
// HKEY_LOCAL_MACHINE\SOFTWARE\VelmoraPhone (docs/wine.md: "The phone state under Wine"). Tools
// reach the phone through platform/phone/control.h; portable code never includes this header.
#ifndef VELMORA_WIN32_WIN32_H
#define VELMORA_WIN32_WIN32_H

#include <windows.h>
#include <commctrl.h>
#include <tapi.h>

#include "platform/box_answers.h"
#include "platform/clock_text.h"
#include "platform/utf8.h"
#include "platform/phone_only.h"
#include "platform/phone/answers.h"
#include "platform/phone/control.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winphone {

// ---- Text ----
std::string toUtf8(std::wstring_view text);
std::wstring fromUtf8(std::string_view text);
using ::oneLine;
// Writes to standard output or error (STD_OUTPUT_HANDLE, STD_ERROR_HANDLE): UTF-8 bytes as
// they stand (LF stays LF) to a file or a pipe, wide text to a console.
void writeStd(DWORD which, std::string_view utf8);
// The same to any handle: a console gets wide text, anything else the bytes.
void writeHandle(HANDLE handle, std::string_view utf8);
// Whether a person can answer: standard input is a console. (GetFileType would call /dev/null
// a character device too.)
bool consoleInput();

// ---- The phone state ----
// Everything below HKEY_LOCAL_MACHINE\SOFTWARE\VelmoraPhone; `subkey` is relative to it, ""
// for the key itself. Reads and writes go through the registry API, never the prefix's files,
// which Wine writes lazily.
extern const wchar_t kStateKey[];
LONG readStateValue(std::wstring_view subkey, std::wstring_view name, DWORD* type,
                    std::string* bytes);
LONG writeStateValue(std::wstring_view subkey, std::wstring_view name, DWORD type, const void* data,
                     DWORD size);
LONG deleteStateValue(std::wstring_view subkey, std::wstring_view name);

// What is wrong with a value of the phone state, judged by where it stands: its type and size,
// and its range or form where the state's layout gives one (a line's State is 1-5, the Clock a
// real date and time, the Answers real answers, ...). "" when nothing is; a value the layout
// does not know is judged by its type and size alone, and only when `type` says what it must
// be (REG_DWORD, REG_SZ, REG_BINARY; REG_NONE: any).
std::string stateValueProblem(std::wstring_view subkey, std::wstring_view name, DWORD type,
                              const std::string& bytes, DWORD wantedType = REG_NONE);

// A value of the phone state as read, checked against what it must hold there. It has a value
// only when it was read and is as it must be. Otherwise status() says why, exactly as it came:
// ERROR_FILE_NOT_FOUND when the value or its key is missing, ERROR_BADDB when it holds anything
// else than it must, or the registry's own status; problem() says which value and what, on one
// line. Where
// missing and unreadable lead to the same default it converts to a std::optional; the program
// has then been told of a bad value on standard error (reportStateProblem).
template <typename T> class StateValue {
  public:
    StateValue(T value) : status_(ERROR_SUCCESS), value_(std::move(value)) {}
    static StateValue failed(LONG status, std::string problem = {}) {
        StateValue v{T()};
        v.status_ = status == ERROR_SUCCESS ? ERROR_BADDB : status;
        v.problem_ = std::move(problem);
        return v;
    }
    LONG status() const { return status_; }
    bool missing() const { return status_ == ERROR_FILE_NOT_FOUND; }
    const std::string& problem() const { return problem_; }
    bool has_value() const { return status_ == ERROR_SUCCESS; }
    explicit operator bool() const { return has_value(); }
    const T& operator*() const { return value_; }
    const T* operator->() const { return &value_; }
    T value_or(T fallback) const { return has_value() ? value_ : fallback; }
    operator std::optional<T>() const {
        return has_value() ? std::optional<T>(value_) : std::nullopt;
    }

  private:
    LONG status_;
    T value_;
    std::string problem_;
};

// A dword: REG_DWORD of 4 bytes, in its range. Setting it gives the registry's status.
StateValue<DWORD> stateDword(std::wstring_view subkey, std::wstring_view name);
LONG setStateDword(std::wstring_view subkey, std::wstring_view name, DWORD value);
// A string value (REG_SZ of whole UTF-16 characters) without its terminator, in its form.
// Setting it stores the terminator too, and gives the registry's status.
StateValue<std::wstring> stateText(std::wstring_view subkey, std::wstring_view name);
LONG setStateText(std::wstring_view subkey, std::wstring_view name, std::wstring_view text);
// A binary value (REG_BINARY), in its form.
StateValue<std::string> stateBytes(std::wstring_view subkey, std::wstring_view name);

// The last value of the phone state that could not be read or changed, in this process: its
// status and what was wrong, for a caller that learns only "failed".
struct StateProblem {
    LONG status = ERROR_SUCCESS;
    std::string text;
};
const StateProblem& lastStateProblem();
// Notes a failure as the last problem and returns its status. A program that meets one goes on
// with its default, and is told once on standard error ("velmora: ... (status 1009)"), as on
// the simulated phone; a tool that reports problems itself turns that off.
LONG reportStateProblem(LONG status, std::string text);
void echoStateProblems(bool enabled);
// Notes a problem as the last one without saying it: a control's refusal, for its caller.
LONG noteStateProblem(LONG status, std::string text);

// The names of an open key's subkeys and values, in the registry's order; the status that ended
// the listing early, else ERROR_SUCCESS.
LONG subkeyNames(HKEY key, std::vector<std::wstring>* names);
LONG valueNames(HKEY key, std::vector<std::wstring>* names);
// The same of a key of the phone state; empty when it is missing.
std::vector<std::wstring> stateSubkeys(std::wstring_view subkey);
std::vector<std::wstring> stateValueNames(std::wstring_view subkey);
// The number of a new record of a numbered log under `subkey` (records are subkeys or values
// named by their number, counted by its "Last" value), with "Last" moved on to it; 0 when the
// state cannot be changed. When "Last" cannot be read (it has been said) the record is numbered
// after the highest one there and "Last" is left for a person to look at, so that no record is
// ever written over.
DWORD nextRecordNumber(std::wstring_view subkey);
// The numbers of a numbered log's records that are values (not its "Last"), in order; read from
// the records themselves, so that an unreadable count hides none of them.
std::vector<DWORD> recordNumbers(std::wstring_view subkey);
// Deletes a key with everything below it; ERROR_SUCCESS also when it did not exist, else the
// registry's status.
LONG deleteKeyTree(HKEY root, const std::wstring& path);
LONG deleteStateKey(std::wstring_view subkey);

// The lock that guards every read-modify-write of state that several processes change (the
// answer queue, counters, leak records): the registry has no transactions. A holder that was
// killed leaves it abandoned, and the next waiter takes it over.
class StateLock {
  public:
    StateLock();
    ~StateLock();
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;
    bool held() const { return owned; }

  private:
    HANDLE mutex;
    bool owned;
};
// What a change gives when the lock cannot be had: ERROR_TIMEOUT, noted with its reason.
LONG lockTimeout();

// ---- Registry ----
// Stores a value with exactly the bytes given, whatever its type (RegSetValueEx adds a
// terminator to strings that the caller did not count). A Win32 status code.
LONG setValueBytes(HKEY key, LPCWSTR name, DWORD type, const void* data, DWORD size);
// A key path as the phone reads it: names separated by backslashes, empty names skipped.
std::wstring withoutEmptyKeyNames(LPCWSTR path);

// ---- Clock ----
using clock_text::formatDateTime;
using clock_text::parseDateTime;

// ---- Message boxes ----
using box_answers::answerFits;
using box_answers::answerFromName;
using box_answers::answerName;
using box_answers::defaultAnswer;
// The answers boxes take with nobody at a console (platform/phone/answers.h): the phone's queue,
// and this process's own, taken first (a script of the process's own).
using phone_answers::clearProcessAnswers;
using phone_answers::queueProcessAnswer;
// What the queue's value must hold: 32-bit answers, each a button a box can have.
bool isAnswerQueue(const std::string& bytes);
// ---- The dialog script ----
// Drives a dialog of the calling thread with the dialog script's lines
// (platform/dialog_script.h): a thread of its own reads `input` line by line, and a thread
// timer runs the next line at each tick once the dialog shows, strictly one at a time. A dump
// goes to `output`, a refused line to `errors` ("velmora: ..." on one line). At the end of the
// input the dialog is cancelled. The script ends with its dialog, which takes back the
// answers it queued that no box took. False, starting nothing, when there is no input or no
// thread or timer can be had; true when the dialog already has its script.
bool startDialogScript(HWND dialog, HANDLE input, HANDLE output, HANDLE errors);
// The window as it stands on the screen, frame included: 8-bit RGB, rows top to bottom. False
// when it is not shown or cannot be read.
bool captureWindow(HWND window, uint32_t* width, uint32_t* height, std::string* rgb);
// Writes the file anew with exactly these bytes; false with a one-line reason (and no file
// left behind) when it cannot.
bool writeWholeFile(std::string_view path, std::string_view bytes, std::string* error);

// ---- PNG ----
// The checksums of PNG chunks and zlib streams.
uint32_t crc32(const void* data, size_t size);
uint32_t adler32(const void* data, size_t size);
// A zlib stream of stored (uncompressed) deflate blocks holding `data`.
std::string storedZlibStream(std::string_view data);
// A PNG file of 8-bit RGB pixels (width * height * 3 bytes, rows top to bottom); empty when
// the sizes do not agree.
std::string encodePng(uint32_t width, uint32_t height, std::string_view rgb);

// ---- The call log ----
// A record of the log as the state keeps it: "PID DEVICE RESULT COUNT CALL<TAB>ARGUMENTS".
std::wstring formatCallRecord(const control::CallRecord& record);
// False when the text is no such record.
bool parseCallRecord(std::wstring_view text, control::CallRecord* out);

} // namespace winphone

#endif
