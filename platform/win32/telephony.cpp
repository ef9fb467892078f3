// The Wine phone's telephony: the calls whose declarations are desktop Win32's own (the shared
// rules answer them, platform/phone/telephony.cpp; Wine's own tapi32 is a stub, so none of it is
// linked), and the phone's lines as its helper and the tests read and change them.
#include "telephony_store.h"

#include "platform/phone/telephony.h"

namespace winphone {

namespace {

// Sets a value of an existing device.
bool setLineValue(DWORD index, const wchar_t* name, DWORD value) {
    return telephonyReady() == ERROR_SUCCESS && deviceExists(index) &&
           setStateDword(lineKey(index), name, value);
}

// The fault set on a device's operation, 0 when none; one that cannot be read fails.
LONG faultOf(DWORD device, line_rules::LineOperation operation) {
    LONG code = 0;
    return phone_state::readFault(device, operation, &code) == ERROR_SUCCESS
               ? code
               : LONG(LINEERR_OPERATIONFAILED);
}

} // namespace

std::vector<LineDevice> lineDevices() {
    std::vector<LineDevice> out;
    if (telephonyReady() != ERROR_SUCCESS)
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
        for (line_rules::LineOperation operation : line_rules::kOperations) {
            const char* name = line_rules::operationName(operation);
            StateValue<DWORD> fault = stateDword(faultsKey(index), fromUtf8(name));
            if (fault.missing())
                continue;
            if (LONG code = static_cast<LONG>(checked(fault, DWORD(0)))) {
                if (!d.faults.empty())
                    d.faults += ',';
                d.faults.append(name).append("=").append(std::to_string(code));
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

bool setLineFault(DWORD index, line_rules::LineOperation operation, LONG code) {
    if (code >= 0 || telephonyReady() != ERROR_SUCCESS || !deviceExists(index))
        return false;
    return setStateDword(faultsKey(index), fromUtf8(line_rules::operationName(operation)),
                         static_cast<DWORD>(code));
}

bool healLine(DWORD index) {
    return telephonyReady() == ERROR_SUCCESS && deviceExists(index) &&
           deleteStateKey(faultsKey(index));
}

std::optional<DWORD> addLine(std::wstring_view name, DWORD mediaModes, DWORD state) {
    if (state < LINEEQUIPSTATE_MINIMUM || state > LINEEQUIPSTATE_FULL || name.empty() ||
        telephonyReady() != ERROR_SUCCESS)
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
    if (telephonyReady() != ERROR_SUCCESS)
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
        for (line_rules::LineOperation operation : line_rules::kOperations)
            if (LONG code = faultOf(i + 1, operation))
                setStateDword(faultsKey(i), fromUtf8(line_rules::operationName(operation)),
                              static_cast<DWORD>(code));
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
