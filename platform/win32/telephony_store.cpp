// The Wine phone's telephony state (platform/phone/state.h) in the prefix's registry:
// "Lines\N" (Name, Media, State, Registered; "Faults": one value per failing operation) seeded
// once ("Lines\Seeded"); "Telephony" (InitFault, ReinitAttempts, ReinitMs and ReinitSince,
// ClosedByShutdown; "Handles": "PID:HANDLE" = "session" or "line N"; "Calls": the call log,
// "NNNNNNNN" = "PID DEVICE RESULT COUNT CALL<TAB>ARGUMENTS", numbered by "Calls\Last"). The
// registry has no transactions: a call holds the state's lock from its beginning to its entry.
#include "telephony_store.h"

#include <algorithm>
#include <cwchar>

#include <cstdio>
#include <memory>

namespace winphone {

std::wstring formatCallRecord(const control::CallRecord& r) {
    return std::to_wstring(r.pid) + L" " + std::to_wstring(r.device) + L" " +
           std::to_wstring(r.result) + L" " + std::to_wstring(r.count) + L" " + fromUtf8(r.call) +
           L"\t" + fromUtf8(r.arguments);
}

bool parseCallRecord(std::wstring_view text, control::CallRecord* out) {
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
    *out = control::CallRecord{static_cast<long long>(pid),
                               toUtf8(rest.substr(0, tab)),
                               static_cast<long long>(device),
                               static_cast<LONG>(result),
                               static_cast<long long>(count),
                               tab == std::wstring::npos ? std::string()
                                                         : toUtf8(rest.substr(tab + 1))};
    return !out->call.empty();
}

std::wstring lineKey(DWORD index) {
    return std::wstring(kLinesKey) + L"\\" + std::to_wstring(index);
}

std::wstring faultsKey(DWORD index) {
    return lineKey(index) + L"\\Faults";
}

std::wstring callRecordName(DWORD id) {
    wchar_t name[16];
    swprintf(name, ARRAYSIZE(name), L"%08lu", static_cast<unsigned long>(id));
    return name;
}

LONG writeLine(DWORD index, const std::wstring& name, DWORD media, DWORD state) {
    std::wstring key = lineKey(index);
    LONG status = setStateText(key, L"Name", name);
    if (status == ERROR_SUCCESS)
        status = setStateDword(key, L"Media", media);
    if (status == ERROR_SUCCESS)
        status = setStateDword(key, L"State", state);
    if (status == ERROR_SUCCESS)
        status = setStateDword(key, L"Registered", state == LINEEQUIPSTATE_FULL ? 1 : 0);
    return status;
}

namespace {

// Whether the phone's lines have been seeded: "Seeded" is there, whatever it holds (a mark that
// cannot be read must not have the lines written over).
bool seeded() {
    return !stateDword(kLinesKey, L"Seeded").missing();
}

const wchar_t* const kKnobNames[] = {L"InitFault", L"ReinitAttempts", L"ReinitMs", L"ReinitSince",
                                     L"ClosedByShutdown"};
const wchar_t* const kDeviceValueNames[] = {L"Media", L"State", L"Registered"};

std::wstring handleRecordName(uintptr_t handle) {
    return std::to_wstring(GetCurrentProcessId()) + L":" + std::to_wstring(handle);
}

// Records one call in the phone's call log; a repeat of the last record only raises its count,
// as the simulated phone's log does.
void writeCallRecord(const phone_state::CallEntry& e) {
    // The log names a process and a device as 32-bit numbers, as it always has.
    control::CallRecord entry{static_cast<unsigned long>(e.pid),
                              e.call,
                              static_cast<long>(e.device),
                              e.result,
                              1,
                              e.arguments};
    StateValue<DWORD> last = stateDword(kCallsKey, L"Last");
    if (last && *last != 0)
        if (std::optional<std::wstring> record = stateText(kCallsKey, callRecordName(*last))) {
            control::CallRecord r;
            if (parseCallRecord(*record, &r) &&
                phone_state::CallEntry{r.pid, r.call, r.device, r.result, r.arguments}.repeats(
                    {entry.pid, entry.call, entry.device, entry.result, entry.arguments})) {
                r.count += 1;
                setStateText(kCallsKey, callRecordName(*last), formatCallRecord(r));
                return;
            }
        }
    if (DWORD id = nextRecordNumber(kCallsKey))
        setStateText(kCallsKey, callRecordName(id), formatCallRecord(entry));
}

// The lock a call holds, taken by the outermost call.
std::unique_ptr<StateLock> callLock;
int callDepth = 0;

} // namespace

LONG telephonyReady() {
    if (seeded())
        return ERROR_SUCCESS;
    StateLock lock;
    if (!lock.held())
        return lockTimeout();
    if (seeded())
        return ERROR_SUCCESS;
    // A new phone has its cellular line (voice and data, radio on, registered) and a data-only
    // line; once, so that lines removed later stay removed.
    LONG status =
        writeLine(0, L"Cellular Line", LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM,
                  LINEEQUIPSTATE_FULL);
    if (status == ERROR_SUCCESS)
        status = writeLine(1, L"Cellular Data", LINEMEDIAMODE_DATAMODEM, LINEEQUIPSTATE_FULL);
    return status == ERROR_SUCCESS ? setStateDword(kLinesKey, L"Seeded", 1) : status;
}

bool deviceExists(DWORD index) {
    LONG status = stateDword(lineKey(index), L"State").status();
    return status == ERROR_SUCCESS || status == ERROR_BADDB;
}

std::vector<DWORD> deviceIndices() {
    std::vector<DWORD> indices;
    for (const std::wstring& name : stateSubkeys(kLinesKey)) {
        // Only names that are a number as written: "01" or "1x" is no device.
        wchar_t* end = nullptr;
        unsigned long index = std::wcstoul(name.c_str(), &end, 10);
        if (!name.empty() && *end == 0 && std::to_wstring(index) == name && index <= 0xFFFFFFFFul &&
            deviceExists(static_cast<DWORD>(index)))
            indices.push_back(static_cast<DWORD>(index));
    }
    std::sort(indices.begin(), indices.end());
    return indices;
}

DWORD deviceCount() {
    return static_cast<DWORD>(deviceIndices().size());
}

} // namespace winphone

using namespace winphone;

namespace phone_state {

const bool kUnreadableKnobFailsCall = false;

LONG ready() {
    return telephonyReady();
}

void beginCall(CallKind) {
    if (callDepth++ == 0)
        callLock = std::make_unique<StateLock>();
}

void noteLineChange() {}

LONG endCall(const CallEntry& entry) {
    if (callLock && callLock->held())
        writeCallRecord(entry);
    if (--callDepth == 0)
        callLock.reset();
    return entry.result;
}

long long processId() {
    return GetCurrentProcessId();
}

DWORD tickCount() {
    return control::peekTickCount();
}

LONG deviceCount(DWORD* count) {
    *count = winphone::deviceCount();
    return ERROR_SUCCESS;
}

LONG findDevice(DWORD index) {
    if (LONG status = telephonyReady())
        return status;
    return deviceExists(index) ? ERROR_SUCCESS : ERROR_BAD_UNIT;
}

LONG readDevice(DWORD index, DeviceValue which, DWORD* value) {
    StateValue<DWORD> read = stateDword(lineKey(index), kDeviceValueNames[static_cast<int>(which)]);
    if (read)
        *value = *read;
    return read.status();
}

LONG readDeviceCaps(DWORD index, std::u16string* name, DWORD* mediaModes) {
    StateValue<std::wstring> read = stateText(lineKey(index), L"Name");
    if (!read)
        return read.status();
    name->assign(read->begin(), read->end());
    return readDevice(index, DeviceValue::Media, mediaModes);
}

LONG writeDevice(DWORD index, DeviceValue which, DWORD value) {
    if (LONG status = findDevice(index))
        return status;
    return writeStateValue(lineKey(index), kDeviceValueNames[static_cast<int>(which)], REG_DWORD,
                           &value, sizeof value);
}

LONG readFault(DWORD index, LineOperation operation, LONG* code) {
    *code = 0;
    StateValue<DWORD> fault =
        stateDword(faultsKey(index), fromUtf8(line_rules::operationName(operation)));
    if (fault.missing())
        return ERROR_SUCCESS;
    if (fault)
        *code = static_cast<LONG>(*fault);
    return fault.status();
}

LONG readKnob(Knob knob, std::optional<long long>* value) {
    value->reset();
    StateValue<DWORD> read = stateDword(kTelephonyKey, kKnobNames[static_cast<int>(knob)]);
    if (read.missing())
        return ERROR_SUCCESS;
    if (read)
        *value = knob == Knob::InitFault ? static_cast<long long>(static_cast<LONG>(*read))
                                         : static_cast<long long>(*read);
    return read.status();
}

LONG writeKnob(Knob knob, const std::optional<long long>& value) {
    const wchar_t* name = kKnobNames[static_cast<int>(knob)];
    if (!value) {
        LONG status = deleteStateValue(kTelephonyKey, name);
        return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
    }
    DWORD dword = static_cast<DWORD>(*value);
    return writeStateValue(kTelephonyKey, name, REG_DWORD, &dword, sizeof dword);
}

void recordHandle(uintptr_t handle, bool isLine, DWORD device) {
    setStateText(kHandlesKey, handleRecordName(handle),
                 isLine ? L"line " + std::to_wstring(device) : L"session");
}

void forgetHandle(uintptr_t handle, bool) {
    deleteStateValue(kHandlesKey, handleRecordName(handle));
}

} // namespace phone_state
