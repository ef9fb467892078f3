// The simulated phone's own inside, beside the Win32 surface: what its modules and its own tests
// need of the store, the text, the windows and the boxes. Tools reach the phone through
// platform/phone/control.h; portable code never includes this header.
#ifndef VELMORA_HOST_HOST_H
#define VELMORA_HOST_HOST_H

// The whole Win32 surface of the simulated phone, the calls only the phone has included.
#include "platform/platform.h"
#include "platform/box_answers.h"
#include "platform/clock_text.h"
#include "platform/utf8.h"
#include "platform/phone/answers.h"
#include "platform/phone/control.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

// The program's entry, defined by the application.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd);

namespace host {

// ---- Text ----
std::string toUtf8(std::u16string_view text);
std::string toUtf8(const WCHAR* text);
std::u16string fromUtf8(std::string_view text);
using ::isValidUtf8;
using ::oneLine;

// ---- The store ----
// Where the phone lives: $VELMORA_PHONE, else velmora/phone.db in the XDG state directory.
std::string storePath();
// The open store, opened on first use; nullptr and a Win32 status code when it cannot be: the
// path names no file SQLite would open as one (ERROR_INVALID_NAME), the store was made by a
// later build (ERROR_REVISION_MISMATCH), or the file cannot be opened or set up.
sqlite3* store(LONG* status = nullptr);
// Creates a module's tables once per process; the store's status when it cannot.
LONG ensureSchema(const char* name, const char* sql);
// Forgets the open store, so that the next use opens $VELMORA_PHONE afresh (tests, tools, and
// the process's end); what a module keeps for it is written first.
void closeStore();
// Has `last` run whenever the open store is about to close, to write what waits for it.
void whenStoreCloses(void (*last)());
// The Win32 status code that stands for an SQLite result code.
LONG statusFromSqlite(int rc);
// The version of the store's own tables that this build makes and reads.
int storeSchemaVersion();

// Copies the whole phone into `file` (replacing it) as one self-contained SQLite file, as of one
// moment while other processes use the phone; the store's status when it cannot, and then
// nothing is left at `file`. ERROR_INVALID_PARAMETER when `file` is the phone itself.
LONG backupStore(const std::string& file);
// Replaces the phone's whole state with the backup at `file`, in one transaction that processes
// see whole, and upgrades an older one. ERROR_FILE_NOT_FOUND when there is none, ERROR_BADDB for
// a file that is no phone's backup or is damaged, ERROR_REVISION_MISMATCH for one of a later
// build, else the store's status; the phone is then left as it was.
LONG restoreStore(const std::string& file);

// Why the last failing store operation failed, in words (the SQLite message, the bad column,
// the refused name); empty after a success.
const std::string& storeProblem();
// Records why an operation is refused and gives back its status, so that a caller can show both.
LONG refuse(LONG status, std::string why);
// A row that holds what no read expects (a hand-edited or damaged store) is also said on
// standard error, once, so that a program that carries on with a default does not do so
// silently. The console says it in its own error line instead and turns this off.
void echoBadRows(bool enabled);

// A store-wide setting: ERROR_SUCCESS with the value (nullopt when unset), else the store's status.
LONG setting(const std::string& name, std::optional<std::string>* value);
LONG setSetting(const std::string& name, const std::optional<std::string>& value);

// A parameter of a statement.
struct Param {
    enum Kind { Null, Int, Text, Blob } kind;
    long long number = 0;
    std::string text;
    static Param null() { return {Null, 0, {}}; }
    static Param integer(long long v) { return {Int, v, {}}; }
    static Param str(std::string v) { return {Text, 0, std::move(v)}; }
    static Param blob(std::string bytes) { return {Blob, 0, std::move(bytes)}; }
};

// One row read from the store, each column as the store holds it. Every read names what it
// expects; a column that holds anything else gives a neutral value (0, empty) and leaves the row
// bad: status() is then ERROR_BADDB and storeProblem() names the column and what it held. Read
// all the columns, then check status() once.
class Row {
  public:
    struct Column {
        int kind; // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL
        std::string name;
        long long number = 0; // an integer's value
        std::string bytes;    // text, blob, or a float as text
    };
    explicit Row(std::vector<Column> columns) : columns_(std::move(columns)) {}

    // A whole number from lowest to highest.
    long long integer(size_t column, long long lowest = INT64_MIN, long long highest = INT64_MAX);
    // The same, or nullopt for NULL.
    std::optional<long long> integerOrNull(size_t column, long long lowest = INT64_MIN,
                                           long long highest = INT64_MAX);
    DWORD dword(size_t column) { return static_cast<DWORD>(integer(column, 0, 0xFFFFFFFFll)); }
    LONG int32(size_t column) { return static_cast<LONG>(integer(column, INT32_MIN, INT32_MAX)); }
    std::string text(size_t column);
    std::optional<std::string> textOrNull(size_t column);
    std::string blob(size_t column);

    LONG status() const { return bad_ ? ERROR_BADDB : ERROR_SUCCESS; }

  private:
    const Column* expect(size_t column, bool nullAllowed, int kind, const char* wanted);
    void markBad(const std::string& what, const std::string& wanted);
    std::optional<long long> number(size_t column, bool nullAllowed, long long lowest,
                                    long long highest);
    std::vector<Column> columns_;
    bool bad_ = false;
};

// Runs one statement and collects its rows; ERROR_SUCCESS, or the Win32 status that stands for
// the failure (see storeProblem() for the reason), with no rows.
LONG execute(const char* sql, const std::vector<Param>& params = {},
             std::vector<Row>* rows = nullptr);
// Runs a statement that gives one whole number (a count, the latest id).
LONG queryInteger(const char* sql, const std::vector<Param>& params, long long* value);
// Reads each row into a record with `read`; rows that cannot be read are left out. The status
// is the statement's, else that of the first row left out.
template <typename Record, typename Read>
LONG collectRows(LONG status, std::vector<Row>& rows, std::vector<Record>* out, Read read) {
    for (Row& r : rows) {
        Record record = read(r);
        if (r.status() == ERROR_SUCCESS)
            out->push_back(std::move(record));
        else if (status == ERROR_SUCCESS)
            status = r.status();
    }
    return status;
}

// ---- Clock ----
using clock_text::dayOfWeek;
using clock_text::daysInMonth;
using clock_text::formatDateTime;
using clock_text::isValidDateTime;
using clock_text::parseDateTime;
using clock_text::weekdayName;

// ---- Message boxes ----
using box_answers::answerFits;
using box_answers::answerFromName;
using box_answers::answerName;
using box_answers::defaultAnswer;
// The answers boxes take with nobody at a terminal (platform/phone/answers.h): the phone's queue,
// and this process's own, taken first (a front-end's script).
using phone_answers::clearProcessAnswers;
using phone_answers::queueProcessAnswer;
// A front-end (the dialog's terminal interface) may show boxes itself; it returns the answer.
using MessageBoxPresenter = std::function<int(HWND owner, const std::u16string& text,
                                              const std::u16string& caption, UINT type)>;
void setMessageBoxPresenter(MessageBoxPresenter presenter);
// Whether boxes ask the person at the terminal; by default when stdin and stderr are terminals.
void setTerminalPrompts(std::optional<bool> enabled);

// ---- Windows ----
HWND createTopLevelWindow(const std::u16string& title, const std::u16string& className);
void destroyTopLevelWindow(HWND window);
void setActiveWindow(HWND window);
struct ForegroundRequest {
    long long window;
    long long pid;
};
LONG foregroundRequests(std::vector<ForegroundRequest>* out);
// Who a process is: its id and, because ids are handed out again, when it started. Empty when
// the process does not run (or has ended and only its exit status is left).
std::string processIdentity(long long pid);

// ---- Telephony ----
// The log entries of this process's calls that changed nothing wait for its next call that
// changes something; this writes them now (before a box is shown, say).
void writeWaitingCallEntries();

// ---- Process ----
HINSTANCE instance();

} // namespace host

#endif
