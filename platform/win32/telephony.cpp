// The Wine phone's telephony: the calls whose declarations are desktop Win32's own (the shared
// rules answer them, platform/phone/telephony.cpp; Wine's own tapi32 is a stub, so none of it is
// linked), and the controls of the lines, the open handles and the call log that only the
// registry can answer (platform/phone/control.h).
#include "telephony_store.h"

#include "platform/phone/telephony.h"

#include <cstdlib>

namespace {

using namespace winphone;

// The checks every change of a line begins with: the lines seeded, and the line there.
LONG findLine(DWORD index) {
    LONG status = phone_state::findDevice(index);
    if (status == ERROR_BAD_UNIT)
        return control::noteProblem(status, "the phone has no line " + std::to_string(index));
    return status;
}

// The fault set on a device's operation, 0 when none; one that cannot be read fails.
LONG faultOf(DWORD device, line_rules::LineOperation operation) {
    LONG code = 0;
    return phone_state::readFault(device, operation, &code) == ERROR_SUCCESS
               ? code
               : LONG(LINEERR_OPERATIONFAILED);
}

std::wstring faultName(line_rules::LineOperation operation) {
    return fromUtf8(line_rules::operationName(operation));
}

// A device with every value read as what it must hold; the first that cannot be read is the
// device's status, with its problem. A device without one of its values is as unreadable as one
// holding a wrong one.
struct ReadDevice {
    control::LineDevice device;
    LONG status = ERROR_SUCCESS;
    std::string problem;
};

ReadDevice readDevice(DWORD index) {
    ReadDevice r;
    control::LineDevice& d = r.device;
    std::wstring key = lineKey(index);
    auto checked = [&r](auto value, auto fallback) {
        if (!value && r.status == ERROR_SUCCESS) {
            r.status = value.missing() ? ERROR_BADDB : value.status();
            r.problem = value.problem();
        }
        return value.value_or(fallback);
    };
    d.index = index;
    d.name = toUtf8(checked(stateText(key, L"Name"), std::wstring()));
    d.mediaModes = checked(stateDword(key, L"Media"), DWORD(0));
    d.equipmentState = checked(stateDword(key, L"State"), DWORD(0));
    d.registered = checked(stateDword(key, L"Registered"), DWORD(0)) != 0;
    for (line_rules::LineOperation operation : line_rules::kOperations) {
        StateValue<DWORD> fault = stateDword(faultsKey(index), faultName(operation));
        if (fault.missing())
            continue;
        if (LONG code = static_cast<LONG>(checked(fault, DWORD(0)))) {
            if (!d.faults.empty())
                d.faults += ',';
            d.faults.append(line_rules::operationName(operation))
                .append("=")
                .append(std::to_string(code));
        }
    }
    if (d.faults.empty())
        d.faults.push_back('-');
    return r;
}

// Moves line `from` down to `to`, with its faults.
LONG moveLine(DWORD from, DWORD to) {
    ReadDevice above = readDevice(from);
    if (above.status != ERROR_SUCCESS)
        return control::noteProblem(above.status, above.problem);
    const control::LineDevice& d = above.device;
    LONG status = deleteStateKey(lineKey(to));
    if (status == ERROR_SUCCESS)
        status = writeLine(to, fromUtf8(d.name), d.mediaModes, d.equipmentState);
    if (status == ERROR_SUCCESS)
        status = setStateDword(lineKey(to), L"Registered", d.registered ? 1 : 0);
    for (line_rules::LineOperation operation : line_rules::kOperations)
        if (LONG code = faultOf(from, operation); code && status == ERROR_SUCCESS)
            status = setStateDword(faultsKey(to), faultName(operation), static_cast<DWORD>(code));
    return status;
}

} // namespace

namespace control {

LONG lineDevices(std::vector<LineDevice>* out) {
    out->clear();
    LONG status = telephonyReady();
    if (status != ERROR_SUCCESS)
        return status;
    for (DWORD index : deviceIndices()) {
        ReadDevice r = readDevice(index);
        if (r.status == ERROR_SUCCESS)
            out->push_back(r.device);
        else if (status == ERROR_SUCCESS)
            status = noteProblem(r.status, r.problem);
    }
    return status;
}

LONG setLineFault(DWORD index, LineOperation operation, LONG code) {
    if (code >= 0)
        return noteProblem(ERROR_INVALID_PARAMETER,
                           "a fault is a failing code on a known operation");
    LONG status = findLine(index);
    if (status != ERROR_SUCCESS)
        return status;
    return setStateDword(faultsKey(index), faultName(operation), static_cast<DWORD>(code));
}

LONG healLine(DWORD index) {
    LONG status = findLine(index);
    return status == ERROR_SUCCESS ? deleteStateKey(faultsKey(index)) : status;
}

LONG addLine(const std::string& name, DWORD mediaModes, DWORD state, DWORD* index) {
    if (state < LINEEQUIPSTATE_MINIMUM || state > LINEEQUIPSTATE_FULL || name.empty())
        return noteProblem(ERROR_INVALID_PARAMETER, "a line needs a name and a state from 1 to 5");
    LONG status = telephonyReady();
    if (status != ERROR_SUCCESS)
        return status;
    StateLock lock;
    if (!lock.held())
        return winphone::lockTimeout();
    // After the highest there is, as on the simulated phone.
    std::vector<DWORD> indices = deviceIndices();
    DWORD next = indices.empty() ? 0 : indices.back() + 1;
    status = writeLine(next, fromUtf8(name), mediaModes, state);
    if (status == ERROR_SUCCESS)
        *index = next;
    return status;
}

LONG removeLine(DWORD index) {
    LONG status = findLine(index);
    if (status != ERROR_SUCCESS)
        return status;
    StateLock lock;
    if (!lock.held())
        return winphone::lockTimeout();
    // The devices above move down one index, with their faults, as the simulated phone's do.
    status = deleteStateKey(lineKey(index));
    for (DWORD above : deviceIndices())
        if (above > index && status == ERROR_SUCCESS) {
            status = moveLine(above, above - 1);
            if (status == ERROR_SUCCESS)
                status = deleteStateKey(lineKey(above));
        }
    return status;
}

LONG openHandles(std::vector<OpenHandle>* out) {
    out->clear();
    LONG first = ERROR_SUCCESS;
    for (const std::wstring& name : stateValueNames(kHandlesKey)) {
        StateValue<std::wstring> record = stateText(kHandlesKey, name);
        if (!record) {
            if (first == ERROR_SUCCESS && !record.missing())
                first = noteProblem(record.status(), record.problem());
            continue;
        }
        // "PID:HANDLE" = "session" or "line N".
        std::string id = toUtf8(name), what = toUtf8(*record);
        size_t colon = id.find(':');
        bool line = what.rfind("line ", 0) == 0;
        out->push_back(
            {std::strtoll(id.c_str(), nullptr, 10), line ? "line" : what,
             colon == std::string::npos ? 0 : std::strtoll(id.c_str() + colon + 1, nullptr, 10),
             line ? std::strtoll(what.c_str() + 5, nullptr, 10) : -1});
    }
    return first;
}

LONG clearLeaks() {
    LONG status = deleteStateValue(kTelephonyKey, L"ClosedByShutdown");
    LONG handles = deleteStateKey(kHandlesKey);
    if (handles != ERROR_SUCCESS)
        return handles;
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LONG callLog(std::vector<CallRecord>* out) {
    out->clear();
    for (DWORD id : recordNumbers(kCallsKey)) {
        CallRecord r;
        std::optional<std::wstring> record = stateText(kCallsKey, callRecordName(id));
        if (record && parseCallRecord(*record, &r))
            out->push_back(r);
    }
    return ERROR_SUCCESS;
}

LONG clearCallLog() {
    StateLock lock;
    if (!lock.held())
        return winphone::lockTimeout();
    return deleteStateKey(kCallsKey);
}

} // namespace control

LONG WINAPI lineInitialize(LPHLINEAPP lphLineApp, HINSTANCE, LINECALLBACK lpfnCallback, LPCSTR,
                           LPDWORD lpdwNumDevs) {
    return phone_telephony::initialize(lphLineApp, lpfnCallback, lpdwNumDevs);
}

LONG WINAPI lineGetDevCapsW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                            DWORD dwExtVersion, LPLINEDEVCAPS lpLineDevCaps) {
    return phone_telephony::devCaps(hLineApp, dwDeviceID, dwAPIVersion, dwExtVersion,
                                    lpLineDevCaps);
}

LONG WINAPI lineOpenW(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
                      DWORD dwExtVersion, DWORD_PTR, DWORD dwPrivileges, DWORD dwMediaModes,
                      LPLINECALLPARAMS const) {
    return phone_telephony::open(hLineApp, dwDeviceID, lphLine, dwAPIVersion, dwExtVersion,
                                 dwPrivileges, dwMediaModes);
}
