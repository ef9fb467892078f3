// The phone's telephony: the TAPI subset the radio uses and the cellular extension, over line
// devices kept in the phone state. Wine's own tapi32 is a stub (no devices, no sessions), so
// none of it is linked. Sessions and lines are handles of this process; the state keeps the
// devices (the next process sees the radio as the last one left it), the faults set on them,
// and a record of each handle still open, so that a leak outlives the process that made it.
//
// State: "Lines\N" (Name, Media, State, Registered; "Faults": one value per failing operation)
// seeded once ("Lines\Seeded"); "Telephony" (InitFault, ReinitAttempts, ReinitMs and
// ReinitSince, ClosedByShutdown; "Handles": "PID:HANDLE" = "session" or "line N"; "Calls": the
// call log, "NNNNNNNN" = "PID DEVICE RESULT COUNT CALL", numbered by "Calls\Last").
#include "win32.h"

#include "platform/line_rules.h"

#include <cstdio>
#include <map>

namespace winphone {

std::wstring formatCallRecord(const CallRecord& r) {
    return std::to_wstring(r.pid) + L" " + std::to_wstring(r.device) + L" " +
           std::to_wstring(r.result) + L" " + std::to_wstring(r.count) + L" " + fromUtf8(r.call) +
           L"\t" + fromUtf8(r.arguments);
}

bool parseCallRecord(std::wstring_view text, CallRecord* out) {
    std::wstring copy(text);
    unsigned long pid = 0, count = 0;
    long device = 0, result = 0;
    int consumed = 0;
    if (swscanf(copy.c_str(), L"%lu %ld %ld %lu %n", &pid, &device, &result, &count, &consumed) <
            4 ||
        consumed <= 0 || static_cast<size_t>(consumed) >= copy.size())
        return false;
    std::wstring rest = copy.substr(consumed);
    size_t tab = rest.find(L'\t');
    *out = CallRecord{
        pid,    toUtf8(rest.substr(0, tab)),
        device, static_cast<LONG>(result),
        count,  tab == std::wstring::npos ? std::string() : toUtf8(rest.substr(tab + 1))};
    return !out->call.empty();
}

namespace {

const wchar_t kLinesKey[] = L"Lines";
const wchar_t kTelephonyKey[] = L"Telephony";
const wchar_t kHandlesKey[] = L"Telephony\\Handles";
const wchar_t kCallsKey[] = L"Telephony\\Calls";

using line_rules::kHighestVersion;
using line_rules::kKnownMediaModes;
using line_rules::kLowestVersion;
using line_rules::kOperations;
using line_rules::versionSupported;

struct Handle {
    bool isLine;
    HLINEAPP app; // the session a line was opened in
    DWORD device;
};
std::map<DWORD, Handle> handles;
// Never reused within the process, so a stale handle never becomes valid again.
DWORD nextHandle = 0x10000;

std::wstring lineKey(DWORD index) {
    return std::wstring(kLinesKey) + L"\\" + std::to_wstring(index);
}
std::wstring faultsKey(DWORD index) {
    return lineKey(index) + L"\\Faults";
}

bool writeLine(DWORD index, const std::wstring& name, DWORD media, DWORD state) {
    std::wstring key = lineKey(index);
    return setStateText(key, L"Name", name) && setStateDword(key, L"Media", media) &&
           setStateDword(key, L"State", state) &&
           setStateDword(key, L"Registered", state == LINEEQUIPSTATE_FULL ? 1 : 0);
}

// Whether the phone's lines have been seeded: "Seeded" is there, whatever it holds (a mark that
// cannot be read must not have the lines written over).
bool seeded() {
    return !stateDword(kLinesKey, L"Seeded").missing();
}

// A new phone has its cellular line (voice and data, radio on, registered) and a data-only
// line; once, so that lines removed later stay removed.
bool ready() {
    if (seeded())
        return true;
    StateLock lock;
    if (!lock.held())
        return false;
    if (seeded())
        return true;
    return writeLine(0, L"Cellular Line", LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM,
                     LINEEQUIPSTATE_FULL) &&
           writeLine(1, L"Cellular Data", LINEMEDIAMODE_DATAMODEM, LINEEQUIPSTATE_FULL) &&
           setStateDword(kLinesKey, L"Seeded", 1);
}

// A device exists while its State is there, even when what it holds cannot be read: the
// device is then listed with that error, and the devices after it still count.
bool deviceExists(DWORD index) {
    LONG status = stateDword(lineKey(index), L"State").status();
    return status == ERROR_SUCCESS || status == ERROR_BADDB;
}

DWORD deviceCount() {
    DWORD count = 0;
    while (deviceExists(count))
        ++count;
    return count;
}

// The fault set on a device's operation, 0 when none. A fault that cannot be read fails the
// call all the same.
LONG faultOf(DWORD device, const char* operation) {
    StateValue<DWORD> fault = stateDword(faultsKey(device), fromUtf8(operation));
    if (fault.missing())
        return 0;
    return fault ? static_cast<LONG>(*fault) : LINEERR_OPERATIONFAILED;
}

std::wstring handleRecordName(DWORD handle) {
    return std::to_wstring(GetCurrentProcessId()) + L":" + std::to_wstring(handle);
}

DWORD newHandle(bool isLine, HLINEAPP app, DWORD device) {
    DWORD handle = nextHandle;
    nextHandle += 4;
    handles[handle] = Handle{isLine, app, device};
    setStateText(kHandlesKey, handleRecordName(handle),
                 isLine ? L"line " + std::to_wstring(device) : L"session");
    return handle;
}

void forgetHandle(DWORD handle) {
    handles.erase(handle);
    deleteStateValue(kHandlesKey, handleRecordName(handle));
}

std::wstring callRecordName(DWORD id) {
    wchar_t name[16];
    swprintf(name, ARRAYSIZE(name), L"%08lu", static_cast<unsigned long>(id));
    return name;
}

// Arguments as the call log shows them: "name=value" pairs, numbers in hex where they are bits
// or versions.
std::string hexArgument(const char* name, DWORD value, int digits = 0) {
    char text[48];
    std::snprintf(text, sizeof text, "%s=0x%0*lX", name, digits, static_cast<unsigned long>(value));
    return text;
}

// Records one call in the phone's call log; a repeat of the last record (same process, call,
// device and result) only raises its count, as the simulated phone's log does.
LONG logged(const char* call, long device, LONG result, const std::string& arguments = {}) {
    StateLock lock;
    if (!lock.held())
        return result;
    StateValue<DWORD> last = stateDword(kCallsKey, L"Last");
    const unsigned long pid = GetCurrentProcessId();
    if (last && *last != 0)
        if (std::optional<std::wstring> record = stateText(kCallsKey, callRecordName(*last))) {
            CallRecord r;
            if (parseCallRecord(*record, &r) && r.pid == pid && r.call == call &&
                r.device == device && r.result == result && r.arguments == arguments) {
                r.count += 1;
                setStateText(kCallsKey, callRecordName(*last), formatCallRecord(r));
                return result;
            }
        }
    if (DWORD id = nextRecordNumber(kCallsKey))
        setStateText(kCallsKey, callRecordName(id),
                     formatCallRecord({pid, call, device, result, 1, arguments}));
    return result;
}

bool isSession(HLINEAPP app) {
    auto it = handles.find(app);
    return it != handles.end() && !it->second.isLine;
}

const Handle* findLine(HLINE line) {
    auto it = handles.find(line);
    return it != handles.end() && it->second.isLine ? &it->second : nullptr;
}

// The checks every call on a session and a device begins with.
LONG checkDevice(HLINEAPP app, DWORD device) {
    if (!isSession(app))
        return LINEERR_INVALAPPHANDLE;
    if (!ready())
        return LINEERR_OPERATIONFAILED;
    if (!deviceExists(device))
        return LINEERR_BADDEVICEID;
    return 0;
}

// Adds `delta` to a counter of the state under the lock.
bool addToCounter(const wchar_t* name, long long delta) {
    StateLock lock;
    return lock.held() &&
           setStateDword(kTelephonyKey, name,
                         static_cast<DWORD>(stateDword(kTelephonyKey, name).value_or(0) + delta));
}

// Whether this lineInitialize attempt is to answer LINEERR_REINIT: while attempts are left to
// count down, and for ReinitMs of tick count from the first attempt that saw the span.
bool answerReinit() {
    StateLock lock;
    if (!lock.held())
        return false;
    bool reinit = false;
    std::optional<DWORD> left = stateDword(kTelephonyKey, L"ReinitAttempts");
    if (left && *left > 0) {
        reinit = true;
        if (*left > 1)
            setStateDword(kTelephonyKey, L"ReinitAttempts", *left - 1);
        else
            deleteStateValue(kTelephonyKey, L"ReinitAttempts");
    }
    std::optional<DWORD> span = stateDword(kTelephonyKey, L"ReinitMs");
    if (span && *span > 0) {
        DWORD now = peekTickCount();
        std::optional<DWORD> since = stateDword(kTelephonyKey, L"ReinitSince");
        if (!since) {
            since = now;
            setStateDword(kTelephonyKey, L"ReinitSince", now);
        }
        if (now - *since < *span) {
            reinit = true;
        } else {
            deleteStateValue(kTelephonyKey, L"ReinitMs");
            deleteStateValue(kTelephonyKey, L"ReinitSince");
        }
    }
    return reinit;
}

bool setLineValue(DWORD index, const wchar_t* name, DWORD value) {
    return ready() && deviceExists(index) && setStateDword(lineKey(index), name, value);
}

} // namespace

std::vector<LineDevice> lineDevices() {
    std::vector<LineDevice> out;
    if (!ready())
        return out;
    for (DWORD index = 0, count = deviceCount(); index < count; ++index) {
        std::wstring key = lineKey(index);
        LineDevice d;
        // Each value read as what it must hold; the first that cannot be read is the device's.
        // A device without one of its values is as unreadable as one holding a wrong one.
        auto checked = [&d](auto value, auto fallback) {
            if (!value && d.status == ERROR_SUCCESS) {
                d.status = value.missing() ? ERROR_BADDB : value.status();
                d.problem = value.problem();
            }
            return value.value_or(fallback);
        };
        d.index = index;
        d.name = checked(stateText(key, L"Name"), std::wstring());
        d.mediaModes = checked(stateDword(key, L"Media"), DWORD(0));
        d.equipmentState = checked(stateDword(key, L"State"), DWORD(0));
        d.registered = checked(stateDword(key, L"Registered"), DWORD(0)) != 0;
        for (const std::string& operation : kOperations) {
            StateValue<DWORD> fault = stateDword(faultsKey(index), fromUtf8(operation));
            if (fault.missing())
                continue;
            if (LONG code = static_cast<LONG>(checked(fault, DWORD(0)))) {
                if (!d.faults.empty())
                    d.faults += ',';
                d.faults.append(operation).append("=").append(std::to_string(code));
            }
        }
        if (d.faults.empty())
            d.faults.push_back('-');
        out.push_back(d);
    }
    return out;
}

std::optional<LineDevice> lineDevice(DWORD index) {
    for (const LineDevice& d : lineDevices())
        if (d.index == index)
            return d;
    return std::nullopt;
}

const std::vector<std::string>& lineOperations() {
    return kOperations;
}

bool setLineState(DWORD index, DWORD state) {
    if (state < LINEEQUIPSTATE_MINIMUM || state > LINEEQUIPSTATE_FULL)
        return false;
    return setLineValue(index, L"State", state);
}

bool setLineMedia(DWORD index, DWORD mediaModes) {
    return setLineValue(index, L"Media", mediaModes);
}

bool setLineRegistered(DWORD index, bool registered) {
    return setLineValue(index, L"Registered", registered ? 1 : 0);
}

bool setLineFault(DWORD index, const std::string& operation, LONG code) {
    bool known = false;
    for (const std::string& o : kOperations)
        known = known || o == operation;
    if (code >= 0 || !known || !ready() || !deviceExists(index))
        return false;
    return setStateDword(faultsKey(index), fromUtf8(operation), static_cast<DWORD>(code));
}

bool healLine(DWORD index) {
    return ready() && deviceExists(index) && deleteStateKey(faultsKey(index));
}

std::optional<DWORD> addLine(std::wstring_view name, DWORD mediaModes, DWORD state) {
    if (state < LINEEQUIPSTATE_MINIMUM || state > LINEEQUIPSTATE_FULL || name.empty() || !ready())
        return std::nullopt;
    StateLock lock;
    DWORD index = deviceCount();
    if (!lock.held() || !writeLine(index, std::wstring(name), mediaModes, state))
        return std::nullopt;
    return index;
}

bool setReinitAttempts(DWORD count) {
    if (count == 0) {
        LONG status = deleteStateValue(kTelephonyKey, L"ReinitAttempts");
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    return setStateDword(kTelephonyKey, L"ReinitAttempts", count);
}

bool setReinitMilliseconds(DWORD ms) {
    // A new span counts from the first attempt that sees it.
    LONG since = deleteStateValue(kTelephonyKey, L"ReinitSince");
    if (since != ERROR_SUCCESS && since != ERROR_FILE_NOT_FOUND)
        return false;
    if (ms == 0) {
        LONG status = deleteStateValue(kTelephonyKey, L"ReinitMs");
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    return setStateDword(kTelephonyKey, L"ReinitMs", ms);
}

bool removeLine(DWORD index) {
    if (!ready())
        return false;
    StateLock lock;
    DWORD count = deviceCount();
    if (!lock.held() || index >= count)
        return false;
    // The devices above move down one index, with their faults, as the simulated phone's do.
    for (DWORD i = index; i + 1 < count; ++i) {
        std::optional<LineDevice> above = lineDevice(i + 1);
        if (!above || !deleteStateKey(lineKey(i)) ||
            !writeLine(i, above->name, above->mediaModes, above->equipmentState) ||
            !setStateDword(lineKey(i), L"Registered", above->registered ? 1 : 0))
            return false;
        for (const std::string& operation : kOperations)
            if (LONG code = faultOf(i + 1, operation.c_str()))
                setStateDword(faultsKey(i), fromUtf8(operation), static_cast<DWORD>(code));
    }
    return deleteStateKey(lineKey(count - 1));
}

std::vector<CallRecord> telephonyCalls() {
    std::vector<CallRecord> out;
    for (DWORD id : recordNumbers(kCallsKey)) {
        CallRecord r;
        std::optional<std::wstring> record = stateText(kCallsKey, callRecordName(id));
        if (record && parseCallRecord(*record, &r))
            out.push_back(r);
    }
    return out;
}

bool clearTelephonyCalls() {
    StateLock lock;
    return lock.held() && deleteStateKey(kCallsKey);
}

bool setInitFault(LONG code) {
    if (code > 0)
        return false;
    if (code == 0) {
        LONG status = deleteStateValue(kTelephonyKey, L"InitFault");
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    return setStateDword(kTelephonyKey, L"InitFault", static_cast<DWORD>(code));
}

TelephonyStatus telephonyStatus() {
    TelephonyStatus s;
    // Each value read as what it must hold; the first that cannot be read is the status's.
    auto checked = [&s](auto value, auto fallback) {
        if (!value && !value.missing() && s.status == ERROR_SUCCESS) {
            s.status = value.status();
            s.problem = value.problem();
        }
        return value.value_or(fallback);
    };
    s.reinitAttempts = checked(stateDword(kTelephonyKey, L"ReinitAttempts"), DWORD(0));
    s.reinitMilliseconds = checked(stateDword(kTelephonyKey, L"ReinitMs"), DWORD(0));
    s.initFault = static_cast<LONG>(checked(stateDword(kTelephonyKey, L"InitFault"), DWORD(0)));
    s.linesClosedByShutdown = checked(stateDword(kTelephonyKey, L"ClosedByShutdown"), DWORD(0));
    for (const std::wstring& name : stateValueNames(kHandlesKey)) {
        std::wstring record = checked(stateText(kHandlesKey, name), std::wstring());
        if (!record.empty())
            ++(record == L"session" ? s.sessionsOpen : s.linesOpen);
    }
    return s;
}

bool clearTelephonyLeaks() {
    LONG status = deleteStateValue(kTelephonyKey, L"ClosedByShutdown");
    return deleteStateKey(kHandlesKey) &&
           (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND);
}

} // namespace winphone

using namespace winphone;

// ---- TAPI, as this phone answers it ----

static LONG initializeUnlogged(LPHLINEAPP lphLineApp, HINSTANCE, LINECALLBACK lpfnCallback, LPCSTR,
                               LPDWORD lpdwNumDevs) {
    if (!ready())
        return LINEERR_NODRIVER;
    if (lphLineApp == nullptr || lpfnCallback == nullptr || lpdwNumDevs == nullptr)
        return LINEERR_INVALPOINTER;
    if (std::optional<DWORD> fault = stateDword(kTelephonyKey, L"InitFault"))
        if (static_cast<LONG>(*fault) < 0)
            return static_cast<LONG>(*fault);
    if (answerReinit())
        return LINEERR_REINIT;
    *lphLineApp = newHandle(false, 0, 0);
    *lpdwNumDevs = deviceCount();
    return 0;
}

static LONG shutdownUnlogged(HLINEAPP hLineApp) {
    if (!isSession(hLineApp))
        return LINEERR_INVALAPPHANDLE;
    // Lines the caller left open are closed with the session, and counted as its leak.
    std::vector<DWORD> orphans;
    for (const auto& [handle, h] : handles)
        if (h.isLine && h.app == hLineApp)
            orphans.push_back(handle);
    for (DWORD line : orphans)
        forgetHandle(line);
    if (!orphans.empty())
        addToCounter(L"ClosedByShutdown", static_cast<long long>(orphans.size()));
    forgetHandle(hLineApp);
    return 0;
}

static LONG negotiateUnlogged(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                              DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                              LPLINEEXTENSIONID lpExtensionID) {
    if (LONG bad = checkDevice(hLineApp, dwDeviceID))
        return bad;
    if (lpdwAPIVersion == nullptr || lpExtensionID == nullptr)
        return LINEERR_INVALPOINTER;
    if (dwAPILowVersion > dwAPIHighVersion || dwAPIHighVersion < kLowestVersion ||
        dwAPILowVersion > kHighestVersion)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    if (LONG fault = faultOf(dwDeviceID, "negotiate"))
        return fault;
    *lpdwAPIVersion = dwAPIHighVersion < kHighestVersion ? dwAPIHighVersion : kHighestVersion;
    memset(lpExtensionID, 0, sizeof *lpExtensionID);
    return 0;
}

static LONG devCapsUnlogged(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                            DWORD dwExtVersion, LPLINEDEVCAPS lpLineDevCaps) {
    if (LONG bad = checkDevice(hLineApp, dwDeviceID))
        return bad;
    if (lpLineDevCaps == nullptr)
        return LINEERR_INVALPOINTER;
    if (!versionSupported(dwAPIVersion))
        return LINEERR_INCOMPATIBLEAPIVERSION;
    if (dwExtVersion != 0)
        return LINEERR_INCOMPATIBLEEXTVERSION;
    if (LONG fault = faultOf(dwDeviceID, "devcaps"))
        return fault;
    DWORD fixed = line_rules::devCapsFixedSize(dwAPIVersion);
    DWORD total = lpLineDevCaps->dwTotalSize;
    if (total < fixed)
        return LINEERR_STRUCTURETOOSMALL;
    StateValue<std::wstring> name = stateText(lineKey(dwDeviceID), L"Name");
    StateValue<DWORD> media = stateDword(lineKey(dwDeviceID), L"Media");
    if (!name || !media)
        return LINEERR_NODEVICE;

    line_rules::fillDevCaps(lpLineDevCaps, fixed, dwDeviceID, name->c_str(), name->size(), *media);
    return 0;
}

static LONG openUnlogged(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
                         DWORD dwExtVersion, DWORD_PTR, DWORD dwPrivileges, DWORD dwMediaModes,
                         LPLINECALLPARAMS const) {
    if (LONG bad = checkDevice(hLineApp, dwDeviceID))
        return bad;
    if (lphLine == nullptr)
        return LINEERR_INVALPOINTER;
    if (!versionSupported(dwAPIVersion))
        return LINEERR_INCOMPATIBLEAPIVERSION;
    if (dwExtVersion != 0)
        return LINEERR_INCOMPATIBLEEXTVERSION;
    const DWORD privileges =
        LINECALLPRIVILEGE_NONE | LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER;
    if (dwPrivileges == 0 || (dwPrivileges & ~privileges) ||
        ((dwPrivileges & LINECALLPRIVILEGE_NONE) && dwPrivileges != LINECALLPRIVILEGE_NONE))
        return LINEERR_INVALPRIVSELECT;
    if (dwPrivileges & LINECALLPRIVILEGE_OWNER) {
        // An owner must name media modes, and only ones the device has.
        DWORD media = stateDword(lineKey(dwDeviceID), L"Media").value_or(0);
        if (dwMediaModes == 0 || (dwMediaModes & ~kKnownMediaModes) || (dwMediaModes & ~media))
            return LINEERR_INVALMEDIAMODE;
    }
    if (LONG fault = faultOf(dwDeviceID, "open"))
        return fault;
    *lphLine = newHandle(true, hLineApp, dwDeviceID);
    return faultOf(dwDeviceID, "halfopen");
}

static LONG closeUnlogged(HLINE hLine) {
    const Handle* line = findLine(hLine);
    if (line == nullptr)
        return LINEERR_INVALLINEHANDLE;
    DWORD device = line->device;
    forgetHandle(hLine);
    // A failing close still releases the line: nothing the caller could do would free it.
    return faultOf(device, "close");
}

static LONG getStateUnlogged(HLINE hLine, LPDWORD lpdwState, LPDWORD lpdwRadioSupport) {
    const Handle* line = findLine(hLine);
    if (line == nullptr)
        return LINEERR_INVALLINEHANDLE;
    if (lpdwState == nullptr || lpdwRadioSupport == nullptr)
        return LINEERR_INVALPOINTER;
    if (LONG fault = faultOf(line->device, "getstate"))
        return fault;
    std::optional<DWORD> state = stateDword(lineKey(line->device), L"State");
    if (!state)
        return LINEERR_NODEVICE;
    *lpdwState = *state;
    *lpdwRadioSupport = LINERADIOSUPPORT_ON;
    return 0;
}

static LONG setStateUnlogged(HLINE hLine, DWORD dwState) {
    const Handle* line = findLine(hLine);
    if (line == nullptr)
        return LINEERR_INVALLINEHANDLE;
    if (dwState < LINEEQUIPSTATE_MINIMUM || dwState > LINEEQUIPSTATE_FULL)
        return LINEERR_INVALPARAM;
    if (LONG fault = faultOf(line->device, "setstate"))
        return fault;
    return setLineState(line->device, dwState) ? 0 : LINEERR_OPERATIONFAILED;
}

static LONG registerUnlogged(HLINE hLine, DWORD dwRegisterMode, LPCWSTR lpszOperator,
                             DWORD dwOperatorFormat) {
    const Handle* line = findLine(hLine);
    if (line == nullptr)
        return LINEERR_INVALLINEHANDLE;
    if (dwRegisterMode < LINEREGMODE_AUTOMATIC || dwRegisterMode > LINEREGMODE_MANAUTO)
        return LINEERR_INVALPARAM;
    // Choosing the network by hand needs the operator's name in a known format.
    if (dwRegisterMode != LINEREGMODE_AUTOMATIC &&
        (lpszOperator == nullptr ||
         (dwOperatorFormat != LINEOPFORMAT_ALPHASHORT &&
          dwOperatorFormat != LINEOPFORMAT_ALPHALONG && dwOperatorFormat != LINEOPFORMAT_NUMERIC)))
        return LINEERR_INVALPARAM;
    if (LONG fault = faultOf(line->device, "register"))
        return fault;
    return setLineRegistered(line->device, true) ? 0 : LINEERR_OPERATIONFAILED;
}

static LONG unregisterUnlogged(HLINE hLine) {
    const Handle* line = findLine(hLine);
    if (line == nullptr)
        return LINEERR_INVALLINEHANDLE;
    if (LONG fault = faultOf(line->device, "unregister"))
        return fault;
    return setLineRegistered(line->device, false) ? 0 : LINEERR_OPERATIONFAILED;
}

// ---- The calls, each recorded in the phone's call log with the device it was about ----

namespace {
// The device a line handle stands for, -1 when it is no line of this process.
long deviceOf(HLINE line) {
    const Handle* h = findLine(line);
    return h != nullptr ? static_cast<long>(h->device) : -1;
}
} // namespace

LONG WINAPI lineInitialize(LPHLINEAPP lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                           LPCSTR lpszAppName, LPDWORD lpdwNumDevs) {
    // A phone whose lines cannot be read has no telephony to log to either.
    if (!ready())
        return LINEERR_NODRIVER;
    return logged(
        "lineInitialize", -1,
        initializeUnlogged(lphLineApp, hInstance, lpfnCallback, lpszAppName, lpdwNumDevs));
}

LONG WINAPI lineShutdown(HLINEAPP hLineApp) {
    return logged("lineShutdown", -1, shutdownUnlogged(hLineApp));
}

LONG WINAPI lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                                    DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                                    LPLINEEXTENSIONID lpExtensionID) {
    return logged("lineNegotiateAPIVersion", static_cast<long>(dwDeviceID),
                  negotiateUnlogged(hLineApp, dwDeviceID, dwAPILowVersion, dwAPIHighVersion,
                                    lpdwAPIVersion, lpExtensionID),
                  hexArgument("low", dwAPILowVersion, 8) + " " +
                      hexArgument("high", dwAPIHighVersion, 8));
}

LONG WINAPI lineGetDevCapsW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                            DWORD dwExtVersion, LPLINEDEVCAPS lpLineDevCaps) {
    return logged("lineGetDevCaps", static_cast<long>(dwDeviceID),
                  devCapsUnlogged(hLineApp, dwDeviceID, dwAPIVersion, dwExtVersion, lpLineDevCaps),
                  hexArgument("api", dwAPIVersion, 8) + " " + hexArgument("ext", dwExtVersion, 8));
}

LONG WINAPI lineOpenW(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
                      DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
                      DWORD dwMediaModes, LPLINECALLPARAMS const lpCallParams) {
    return logged("lineOpen", static_cast<long>(dwDeviceID),
                  openUnlogged(hLineApp, dwDeviceID, lphLine, dwAPIVersion, dwExtVersion,
                               dwCallbackInstance, dwPrivileges, dwMediaModes, lpCallParams),
                  hexArgument("api", dwAPIVersion, 8) + " " + hexArgument("ext", dwExtVersion, 8) +
                      " " + hexArgument("privileges", dwPrivileges) + " " +
                      hexArgument("media", dwMediaModes));
}

LONG WINAPI lineClose(HLINE hLine) {
    long device = deviceOf(hLine);
    return logged("lineClose", device, closeUnlogged(hLine));
}

LONG WINAPI lineGetEquipmentState(HLINE hLine, LPDWORD lpdwState, LPDWORD lpdwRadioSupport) {
    return logged("lineGetEquipmentState", deviceOf(hLine),
                  getStateUnlogged(hLine, lpdwState, lpdwRadioSupport));
}

LONG WINAPI lineSetEquipmentState(HLINE hLine, DWORD dwState) {
    return logged("lineSetEquipmentState", deviceOf(hLine), setStateUnlogged(hLine, dwState),
                  "state=" + std::to_string(dwState));
}

LONG WINAPI lineRegister(HLINE hLine, DWORD dwRegisterMode, LPCWSTR lpszOperator,
                         DWORD dwOperatorFormat) {
    return logged("lineRegister", deviceOf(hLine),
                  registerUnlogged(hLine, dwRegisterMode, lpszOperator, dwOperatorFormat),
                  "mode=" + std::to_string(dwRegisterMode) + " operator=" +
                      (lpszOperator != nullptr ? oneLine(toUtf8(lpszOperator)) : std::string("-")) +
                      " format=" + std::to_string(dwOperatorFormat));
}

LONG WINAPI lineUnregister(HLINE hLine) {
    return logged("lineUnregister", deviceOf(hLine), unregisterUnlogged(hLine));
}
