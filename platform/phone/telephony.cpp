// The phone's telephony, once for every layer: the TAPI subset the radio uses and the cellular
// extension, every argument checked as the phone checks it, the faults set on a line, the
// LINEERR_REINIT answers of lineInitialize, and an entry in the call log for every call. Sessions
// and lines are handles of this process; the state (state.h) keeps the devices, the faults, the
// knobs, a record of each handle still open, and the log.
#include "platform/phone/telephony.h"

#include "platform/utf8.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <type_traits>

namespace {

using line_rules::kHighestVersion;
using line_rules::kLowestVersion;
using line_rules::LineOperation;
using line_rules::versionSupported;
using phone_state::CallKind;
using phone_state::Knob;

struct Handle {
    bool isLine;
    uintptr_t app; // the session a line was opened in
    DWORD device;
};
std::map<uintptr_t, Handle> handles;
// Never reused within the process, so a stale handle never becomes valid again.
uintptr_t nextHandle = 0x10000;

// A platform's handle as a number: a pointer on the simulated phone, a DWORD on desktop Win32.
template <typename H> uintptr_t valueOf(H handle) {
    if constexpr (std::is_pointer_v<H>)
        return reinterpret_cast<uintptr_t>(handle);
    else
        return static_cast<uintptr_t>(handle);
}
template <typename H> H handleOf(uintptr_t value) {
    if constexpr (std::is_pointer_v<H>)
        return reinterpret_cast<H>(value);
    else
        return static_cast<H>(value);
}

uintptr_t newHandle(bool isLine, uintptr_t app, DWORD device) {
    uintptr_t handle = nextHandle;
    nextHandle += 4;
    handles[handle] = Handle{isLine, app, device};
    phone_state::recordHandle(handle, isLine, device);
    return handle;
}

void forgetHandle(uintptr_t handle) {
    auto it = handles.find(handle);
    if (it == handles.end())
        return;
    bool isLine = it->second.isLine;
    handles.erase(it);
    phone_state::forgetHandle(handle, isLine);
}

bool isSession(HLINEAPP app) {
    auto it = handles.find(valueOf(app));
    return it != handles.end() && !it->second.isLine;
}

const Handle* findLine(HLINE line) {
    auto it = handles.find(valueOf(line));
    return it != handles.end() && it->second.isLine ? &it->second : nullptr;
}

// The device a line handle stands for, -1 when it is no line of this process.
long long deviceOf(HLINE line) {
    const Handle* h = findLine(line);
    return h ? static_cast<long long>(h->device) : -1;
}

// A call from its beginning to its entry in the call log, which ends it.
class Call {
  public:
    Call(CallKind kind, const char* name, long long device, std::string arguments = {})
        : name_(name), device_(device), arguments_(std::move(arguments)) {
        phone_state::beginCall(kind);
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
    LONG answer(LONG result) {
        return phone_state::endCall(
            {phone_state::processId(), name_, device_, result, arguments_, 1});
    }

  private:
    const char* name_;
    long long device_;
    std::string arguments_;
};

// The fault set on a device's operation, 0 when none. A fault that cannot be read fails the call
// all the same.
LONG faultOf(DWORD device, LineOperation operation) {
    LONG code = 0;
    return phone_state::readFault(device, operation, &code) == ERROR_SUCCESS
               ? code
               : LONG(LINEERR_OPERATIONFAILED);
}

// The checks every call on a session and a device begins with.
LONG checkDevice(HLINEAPP app, DWORD device) {
    if (!isSession(app))
        return LINEERR_INVALAPPHANDLE;
    LONG status = phone_state::findDevice(device);
    if (status == ERROR_BAD_UNIT)
        return LINEERR_BADDEVICEID;
    return status == ERROR_SUCCESS ? 0 : LONG(LINEERR_OPERATIONFAILED);
}

// A knob as a call takes it: a layer may take one that cannot be read as unset.
LONG knobForCall(Knob knob, std::optional<long long>* value) {
    LONG status = phone_state::readKnob(knob, value);
    if (status != ERROR_SUCCESS && !phone_state::kUnreadableKnobFailsCall) {
        value->reset();
        return ERROR_SUCCESS;
    }
    return status;
}

// Whether this lineInitialize attempt is to answer LINEERR_REINIT: while attempts are left to
// count down, and for ReinitMs of tick count from the first attempt that saw the span. The
// store's status when the knobs cannot be read.
LONG answerReinit(bool* reinit) {
    *reinit = false;
    std::optional<long long> attempts, span, since;
    LONG status = knobForCall(Knob::ReinitAttempts, &attempts);
    if (status == ERROR_SUCCESS)
        status = knobForCall(Knob::ReinitMs, &span);
    if (status == ERROR_SUCCESS)
        status = knobForCall(Knob::ReinitSince, &since);
    if (status != ERROR_SUCCESS)
        return status;
    if (attempts.value_or(0) > 0) {
        *reinit = true;
        phone_state::writeKnob(Knob::ReinitAttempts, *attempts > 1
                                                         ? std::optional<long long>(*attempts - 1)
                                                         : std::nullopt);
    }
    if (span.value_or(0) > 0) {
        DWORD now = phone_state::tickCount();
        if (!since) {
            since = now;
            phone_state::writeKnob(Knob::ReinitSince, since);
        }
        if (static_cast<DWORD>(now - static_cast<DWORD>(*since)) < static_cast<DWORD>(*span)) {
            *reinit = true;
        } else {
            phone_state::writeKnob(Knob::ReinitMs, std::nullopt);
            phone_state::writeKnob(Knob::ReinitSince, std::nullopt);
        }
    }
    return ERROR_SUCCESS;
}

// Arguments as the call log shows them: "name=value" pairs, numbers in hex where they are bits
// or versions.
std::string hexArgument(const char* name, DWORD value, int digits = 0) {
    char text[48];
    std::snprintf(text, sizeof text, "%s=0x%0*lX", name, digits, static_cast<unsigned long>(value));
    return text;
}

std::string operatorText(LPCWSTR name) {
    if (!name)
        return "-";
    std::string text;
    appendUtf8(text, name, std::char_traits<WCHAR>::length(name));
    return oneLine(text);
}

// Changes a value of the line behind a handle, as the call that owns it.
LONG changeLine(DWORD device, phone_state::DeviceValue which, DWORD value) {
    phone_state::noteLineChange();
    return phone_state::writeDevice(device, which, value) == ERROR_SUCCESS
               ? 0
               : LONG(LINEERR_OPERATIONFAILED);
}

} // namespace

namespace phone_telephony {

LONG initialize(LPHLINEAPP app, LINECALLBACK callback, LPDWORD deviceCount) {
    if (phone_state::ready() != ERROR_SUCCESS)
        return LINEERR_NODRIVER;
    Call call(CallKind::Changes, "lineInitialize", -1);
    if (!app || !callback || !deviceCount)
        return call.answer(LINEERR_INVALPOINTER);
    std::optional<long long> fault;
    if (knobForCall(Knob::InitFault, &fault) != ERROR_SUCCESS)
        return call.answer(LINEERR_OPERATIONFAILED);
    if (fault.value_or(0) < 0)
        return call.answer(static_cast<LONG>(*fault));
    bool reinit = false;
    if (answerReinit(&reinit) != ERROR_SUCCESS)
        return call.answer(LINEERR_OPERATIONFAILED);
    if (reinit)
        return call.answer(LINEERR_REINIT);
    DWORD count = 0;
    if (phone_state::deviceCount(&count) != ERROR_SUCCESS)
        return call.answer(LINEERR_OPERATIONFAILED);
    *app = handleOf<HLINEAPP>(newHandle(false, 0, 0));
    *deviceCount = count;
    return call.answer(0);
}

LONG devCaps(HLINEAPP app, DWORD device, DWORD apiVersion, DWORD extVersion, LPLINEDEVCAPS caps) {
    Call call(CallKind::ReadsOnly, "lineGetDevCaps", device,
              hexArgument("api", apiVersion, 8) + " " + hexArgument("ext", extVersion, 8));
    if (LONG bad = checkDevice(app, device))
        return call.answer(bad);
    if (!caps)
        return call.answer(LINEERR_INVALPOINTER);
    if (!versionSupported(apiVersion))
        return call.answer(LINEERR_INCOMPATIBLEAPIVERSION);
    if (extVersion != 0)
        return call.answer(LINEERR_INCOMPATIBLEEXTVERSION);
    if (LONG fault = faultOf(device, LineOperation::DevCaps))
        return call.answer(fault);
    DWORD fixed = line_rules::devCapsFixedSize(apiVersion);
    if (caps->dwTotalSize < fixed)
        return call.answer(LINEERR_STRUCTURETOOSMALL);
    std::u16string name;
    DWORD media = 0;
    if (phone_state::readDeviceCaps(device, &name, &media) != ERROR_SUCCESS)
        return call.answer(LINEERR_NODEVICE);
    line_rules::fillDevCaps(caps, fixed, device, name.c_str(), name.size(), media);
    return call.answer(0);
}

LONG open(HLINEAPP app, DWORD device, LPHLINE line, DWORD apiVersion, DWORD extVersion,
          DWORD privileges, DWORD mediaModes) {
    Call call(CallKind::Changes, "lineOpen", device,
              hexArgument("api", apiVersion, 8) + " " + hexArgument("ext", extVersion, 8) + " " +
                  hexArgument("privileges", privileges) + " " + hexArgument("media", mediaModes));
    if (LONG bad = checkDevice(app, device))
        return call.answer(bad);
    if (!line)
        return call.answer(LINEERR_INVALPOINTER);
    if (!versionSupported(apiVersion))
        return call.answer(LINEERR_INCOMPATIBLEAPIVERSION);
    if (extVersion != 0)
        return call.answer(LINEERR_INCOMPATIBLEEXTVERSION);
    const DWORD known =
        LINECALLPRIVILEGE_NONE | LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER;
    if (!privileges || (privileges & ~known) ||
        ((privileges & LINECALLPRIVILEGE_NONE) && privileges != LINECALLPRIVILEGE_NONE))
        return call.answer(LINEERR_INVALPRIVSELECT);
    if (privileges & LINECALLPRIVILEGE_OWNER) {
        // An owner must name media modes, and only ones the device has.
        DWORD media = 0;
        bool read = phone_state::readDevice(device, phone_state::DeviceValue::Media, &media) ==
                    ERROR_SUCCESS;
        if (!mediaModes || (mediaModes & ~line_rules::kKnownMediaModes) || !read ||
            (mediaModes & ~media))
            return call.answer(LINEERR_INVALMEDIAMODE);
    }
    if (LONG fault = faultOf(device, LineOperation::Open))
        return call.answer(fault);
    // A half-open line fails, yet its handle is the caller's to close.
    LONG halfOpen = faultOf(device, LineOperation::HalfOpen);
    *line = handleOf<HLINE>(newHandle(true, valueOf(app), device));
    return call.answer(halfOpen);
}

} // namespace phone_telephony

LONG WINAPI lineShutdown(HLINEAPP hLineApp) {
    Call call(CallKind::Changes, "lineShutdown", -1);
    if (!isSession(hLineApp))
        return call.answer(LINEERR_INVALAPPHANDLE);
    // Lines the caller left open are closed with the session, and counted as its leak.
    std::vector<uintptr_t> orphans;
    for (const auto& [handle, h] : handles)
        if (h.isLine && h.app == valueOf(hLineApp))
            orphans.push_back(handle);
    for (uintptr_t line : orphans)
        forgetHandle(line);
    if (!orphans.empty()) {
        std::optional<long long> before;
        phone_state::readKnob(Knob::ClosedByShutdown, &before);
        phone_state::writeKnob(Knob::ClosedByShutdown,
                               before.value_or(0) + static_cast<long long>(orphans.size()));
    }
    forgetHandle(valueOf(hLineApp));
    return call.answer(0);
}

LONG WINAPI lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                                    DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                                    LPLINEEXTENSIONID lpExtensionID) {
    Call call(CallKind::ReadsOnly, "lineNegotiateAPIVersion", dwDeviceID,
              hexArgument("low", dwAPILowVersion, 8) + " " +
                  hexArgument("high", dwAPIHighVersion, 8));
    if (LONG bad = checkDevice(hLineApp, dwDeviceID))
        return call.answer(bad);
    if (!lpdwAPIVersion || !lpExtensionID)
        return call.answer(LINEERR_INVALPOINTER);
    if (dwAPILowVersion > dwAPIHighVersion || dwAPIHighVersion < kLowestVersion ||
        dwAPILowVersion > kHighestVersion)
        return call.answer(LINEERR_INCOMPATIBLEAPIVERSION);
    if (LONG fault = faultOf(dwDeviceID, LineOperation::Negotiate))
        return call.answer(fault);
    *lpdwAPIVersion = std::min(dwAPIHighVersion, kHighestVersion);
    std::memset(lpExtensionID, 0, sizeof *lpExtensionID);
    return call.answer(0);
}

LONG WINAPI lineClose(HLINE hLine) {
    Call call(CallKind::Changes, "lineClose", deviceOf(hLine));
    const Handle* line = findLine(hLine);
    if (!line)
        return call.answer(LINEERR_INVALLINEHANDLE);
    DWORD device = line->device;
    forgetHandle(valueOf(hLine));
    // A failing close still releases the line: nothing the caller could do would free it.
    return call.answer(faultOf(device, LineOperation::Close));
}

LONG WINAPI lineGetEquipmentState(HLINE hLine, LPDWORD lpdwState, LPDWORD lpdwRadioSupport) {
    Call call(CallKind::ReadsOnly, "lineGetEquipmentState", deviceOf(hLine));
    const Handle* line = findLine(hLine);
    if (!line)
        return call.answer(LINEERR_INVALLINEHANDLE);
    if (!lpdwState || !lpdwRadioSupport)
        return call.answer(LINEERR_INVALPOINTER);
    if (LONG fault = faultOf(line->device, LineOperation::GetState))
        return call.answer(fault);
    DWORD state = 0;
    if (phone_state::readDevice(line->device, phone_state::DeviceValue::State, &state) !=
        ERROR_SUCCESS)
        return call.answer(LINEERR_NODEVICE);
    *lpdwState = state;
    *lpdwRadioSupport = LINERADIOSUPPORT_ON;
    return call.answer(0);
}

LONG WINAPI lineSetEquipmentState(HLINE hLine, DWORD dwState) {
    Call call(CallKind::Changes, "lineSetEquipmentState", deviceOf(hLine),
              "state=" + std::to_string(dwState));
    const Handle* line = findLine(hLine);
    if (!line)
        return call.answer(LINEERR_INVALLINEHANDLE);
    if (dwState < LINEEQUIPSTATE_MINIMUM || dwState > LINEEQUIPSTATE_FULL)
        return call.answer(LINEERR_INVALPARAM);
    if (LONG fault = faultOf(line->device, LineOperation::SetState))
        return call.answer(fault);
    return call.answer(changeLine(line->device, phone_state::DeviceValue::State, dwState));
}

LONG WINAPI lineRegister(HLINE hLine, DWORD dwRegisterMode, LPCWSTR lpszOperator,
                         DWORD dwOperatorFormat) {
    Call call(CallKind::Changes, "lineRegister", deviceOf(hLine),
              "mode=" + std::to_string(dwRegisterMode) + " operator=" + operatorText(lpszOperator) +
                  " format=" + std::to_string(dwOperatorFormat));
    const Handle* line = findLine(hLine);
    if (!line)
        return call.answer(LINEERR_INVALLINEHANDLE);
    if (dwRegisterMode < LINEREGMODE_AUTOMATIC || dwRegisterMode > LINEREGMODE_MANAUTO)
        return call.answer(LINEERR_INVALPARAM);
    // Choosing the network by hand needs the operator's name in a known format.
    if (dwRegisterMode != LINEREGMODE_AUTOMATIC &&
        (!lpszOperator ||
         (dwOperatorFormat != LINEOPFORMAT_ALPHASHORT &&
          dwOperatorFormat != LINEOPFORMAT_ALPHALONG && dwOperatorFormat != LINEOPFORMAT_NUMERIC)))
        return call.answer(LINEERR_INVALPARAM);
    if (LONG fault = faultOf(line->device, LineOperation::Register))
        return call.answer(fault);
    return call.answer(changeLine(line->device, phone_state::DeviceValue::Registered, 1));
}

LONG WINAPI lineUnregister(HLINE hLine) {
    Call call(CallKind::Changes, "lineUnregister", deviceOf(hLine));
    const Handle* line = findLine(hLine);
    if (!line)
        return call.answer(LINEERR_INVALLINEHANDLE);
    if (LONG fault = faultOf(line->device, LineOperation::Unregister))
        return call.answer(fault);
    return call.answer(changeLine(line->device, phone_state::DeviceValue::Registered, 0));
}
