// The phone behind the console: everything the verbs read from a phone or change on it, as
// data. The verbs do all the formatting; a phone only answers. The simulated phone's store is
// one implementation (tools/velmora-phone/store_phone.cpp); a Wine prefix reached through its
// helper is another (wine_phone.cpp), and the verbs stay as they are.
//
// Every call gives back a Win32 status: ERROR_SUCCESS, or the phone's own code for what went
// wrong, with the reason in words from problem(). A phone that cannot do something at all
// answers ERROR_NOT_SUPPORTED. Lists give back what could be read even when the status is not
// ERROR_SUCCESS; a list that cannot be read is never an empty one.
#ifndef VELMORA_TOOLS_SHARED_PHONE_H
#define VELMORA_TOOLS_SHARED_PHONE_H

#include "platform/phone/control.h"
#include "platform/utf8.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace phone {

// The records a phone gives are the control interface's: plain data, whoever fills them.
using control::CallRecord;
using control::LineDevice;
using control::MessageRecord;
using control::OpenHandle;
using control::PendingStart;
using control::Refusal;
using control::TelephonyStatus;

struct RegistryValue {
    std::u16string name;
    DWORD type = REG_NONE;
    std::string bytes; // exactly as stored
};

// One entry of a listing: a value read, or one met in its place but not read (a status other
// than ERROR_SUCCESS, with the reason).
struct ListedValue {
    RegistryValue value;
    LONG status = ERROR_SUCCESS;
    std::string why;
};

struct ClockReading {
    SYSTEMTIME now{}; // the phone's local time, with its weekday
    bool pinned = false;
};

struct TickReading {
    DWORD count = 0;                  // as GetTickCount would give it, without advancing it
    std::optional<DWORD> virtualStep; // nullopt when the count is the host's
};

class Phone {
  public:
    virtual ~Phone() = default;

    // ---- The phone itself ----
    // Where it lives, as people name it: the store's path, the prefix.
    virtual std::string where() const = 0;
    // Makes it ready for the calls below.
    virtual LONG open() = 0;
    // Why the last call that failed did, in words; empty when there is nothing to add.
    virtual std::string problem() const = 0;

    // ---- Registry: values of a key under HKEY_LOCAL_MACHINE ----
    // ERROR_FILE_NOT_FOUND when the value is not there.
    virtual LONG readValue(const std::u16string& key, const std::u16string& name,
                           RegistryValue* out) = 0;
    // Every value in the registry's order, those that cannot be read among them; the status is
    // that of the listing, or of the first value that cannot be read.
    virtual LONG listValues(const std::u16string& key, std::vector<ListedValue>* out) = 0;
    virtual LONG writeValue(const std::u16string& key, const RegistryValue& value) = 0;
    virtual LONG deleteValue(const std::u16string& key, const std::u16string& name) = 0;

    // ---- The program as it runs on this phone ----
    // The next switch exactly as the program's dialog shows it.
    virtual LONG nextSwitchLine(std::string* line) = 0;

    // ---- Clock ----
    virtual LONG readClock(ClockReading* out) = 0;
    // Pins every process on the phone to a local time, or (nullopt) follows the host's.
    virtual LONG pinClock(const std::optional<SYSTEMTIME>& at) = 0;

    // ---- Message boxes ----
    // The boxes recorded, oldest first, from the one after `afterId`.
    virtual LONG messages(std::vector<MessageRecord>* out, long long afterId = 0) = 0;
    virtual LONG lastMessageId(long long* id) = 0;
    virtual LONG clearMessages() = 0;
    // The answer for the next box shown without a person to ask (IDOK, IDYES, ...).
    virtual LONG queueAnswer(int answer) = 0;

    // ---- Telephony ----
    virtual LONG lines(std::vector<LineDevice>* out) = 0;
    // ERROR_BAD_UNIT when the phone has no such line.
    virtual LONG line(DWORD index, LineDevice* out) = 0;
    virtual LONG setLineState(DWORD index, DWORD state) = 0;
    virtual LONG setLineMedia(DWORD index, DWORD mediaModes) = 0;
    virtual LONG setLineRegistered(DWORD index, bool registered) = 0;
    // `code` < 0.
    virtual LONG setLineFault(DWORD index, line_rules::LineOperation operation, LONG code) = 0;
    virtual LONG healLine(DWORD index) = 0;
    virtual LONG addLine(const std::string& name, DWORD mediaModes, DWORD state, DWORD* index) = 0;
    virtual LONG removeLine(DWORD index) = 0;
    virtual LONG setReinitAttempts(DWORD count) = 0;
    virtual LONG setReinitMilliseconds(DWORD ms) = 0;
    virtual LONG setInitFault(LONG code) = 0; // 0 heals
    virtual LONG telephonyStatus(TelephonyStatus* out) = 0;
    virtual LONG openHandles(std::vector<OpenHandle>* out) = 0;
    virtual LONG clearLeaks() = 0;
    virtual LONG calls(std::vector<CallRecord>* out) = 0;
    virtual LONG clearCalls() = 0;

    // ---- Tick count ----
    virtual LONG readTick(TickReading* out) = 0;
    // Virtual time of `step` ms a reading (from `start`, else where it stands); nullopt: real.
    virtual LONG setVirtualTick(std::optional<DWORD> step, std::optional<DWORD> start) = 0;

    // ---- The timed-start service ----
    // Every pending start, earliest first.
    virtual LONG pendingStarts(std::vector<PendingStart>* out) = 0;
    // The registrations the service refused, oldest first, from the one after `afterId`.
    virtual LONG refusals(std::vector<Refusal>* out, long long afterId = 0) = 0;
    virtual LONG lastRefusalId(long long* id) = 0;
    // Takes a due start off the list as the service fires it, with the clock first pinned at
    // `pinAt` when the time is virtual; both or neither.
    virtual LONG takeDueStart(const PendingStart& due, const std::optional<SYSTEMTIME>& pinAt) = 0;
    // The command line the service starts a program with: the phone's own.
    virtual std::string timedStartCommandLine() const { return utf8Of(APP_RUN_AT_TIME); }
    // Starts the program as the service does, with no terminal and its output joined to our
    // standard error, and waits for it: its exit status (128 + the signal when it was killed,
    // with `why` said), or -1 and `why` when it could not be started. `processId` is the
    // process's id on the phone (0 when it never ran), by which its telephony calls are known.
    virtual int startProgram(const std::string& path, std::string* why, long long* processId) {
        return runProgram(path, {timedStartCommandLine()}, "", why, processId);
    }
    // One name for a program however a registration spells its path, so that two starts of
    // one program are seen as such.
    virtual std::string programIdentity(const std::string& path) = 0;

    // ---- For tools that drive a phone (the comparison of two phones) ----
    // Runs a program of the phone (a host path) with these arguments and `input` on its standard
    // input, otherwise as startProgram does; with `output`, its standard output is caught there
    // instead (standard error still joins ours).
    virtual int runProgram(const std::string& path, const std::vector<std::string>& args,
                           const std::string& input, std::string* why, long long* processId,
                           std::string* output = nullptr) {
        (void)path, (void)args, (void)input, (void)processId, (void)output;
        *why = "this phone cannot run programs with arguments";
        return -1;
    }
    // Makes it a new phone: its state and the program's settings deleted.
    virtual LONG resetPhone() { return ERROR_NOT_SUPPORTED; }

    // ---- Backups ----
    // The whole phone into one file, consistent while other processes use it; and such a file
    // put back in the phone's place, refused (the phone left as it was) when it is no phone's
    // backup or one of a later build. A Wine prefix's phone is backed up as the prefix.
    virtual LONG backupTo(const std::string& /*file*/) { return ERROR_NOT_SUPPORTED; }
    virtual LONG restoreFrom(const std::string& /*file*/) { return ERROR_NOT_SUPPORTED; }
};

// The simulated phone: the store at $VELMORA_PHONE (else the XDG state directory).
std::unique_ptr<Phone> storePhone();
// A phone under Wine: the prefix at `prefix` (prepared when it does not exist yet), reached
// through the Win32 build's helper, velmora-state.exe, found in win32ProgramFolder().
std::unique_ptr<Phone> winePhone(const std::string& prefix);
// Where the Win32 programs are: $VELMORA_WIN32_BIN, else build-win64/bin of the source tree this
// console was built from (where `tools/run --wine` builds them).
std::string win32ProgramFolder();

} // namespace phone

#endif
