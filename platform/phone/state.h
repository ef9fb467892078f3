// The phone's telephony state as the shared rules (telephony.cpp) see it: line devices, the
// faults set on them, the knobs of lineInitialize, the records of handles still open and the
// call log. Each layer keeps it in its own store and defines these functions: the simulated
// phone over SQLite (platform/host/), the Wine phone over the prefix's registry
// (platform/win32/). Every status is the store's own, kept as it was seen.
#ifndef VELMORA_PHONE_STATE_H
#define VELMORA_PHONE_STATE_H

#if defined(_WIN32)
// The layer's own sources see the platform itself, not the seam's renamed calls.
#include <windows.h>
#include <tapi.h>
#include "platform/phone_only.h"
#else
#include "platform/platform.h"
#endif

#include "platform/phone/line_rules.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace phone_state {

using line_rules::LineOperation;

// A telephony call either may change the phone or only reads it. A layer may keep the entries
// of calls that only read until a call that changes something, so that they cost no write.
enum class CallKind { Changes, ReadsOnly };

// One entry of the call log: a call, as many times in a row as `count`.
struct CallEntry {
    long long pid;
    std::string call; // the function's name, e.g. "lineOpen"
    long long device; // -1 when the call is not about one device
    LONG result;
    std::string arguments; // "name=value" pairs; empty for calls of handles alone
    long long count = 1;
    // A repeat of the same call, device, arguments and result by the same process is counted.
    bool repeats(const CallEntry& e) const {
        return pid == e.pid && call == e.call && device == e.device && result == e.result &&
               arguments == e.arguments;
    }
};

// Makes the telephony's state ready (a new phone gets its lines, once); the store's status when
// it cannot be, and the call then answers LINEERR_NODRIVER.
LONG ready();
// A call begins: what it reads and changes until endCall is one unit. A call begun inside
// another belongs to the outer one.
void beginCall(CallKind kind);
// Notes that the current call changes a line's state or registration.
void noteLineChange();
// Ends the current call with its entry in the call log; the call's result, or
// LINEERR_OPERATIONFAILED when the change to a line that the result reports was not kept.
LONG endCall(const CallEntry& entry);
// The process's id, as the call log and the handle records name it.
long long processId();
// The tick count as GetTickCount gives it, without moving virtual time on.
DWORD tickCount();

// ---- Devices ----
// The number of devices, 0 to count-1; the store's status when it cannot say.
LONG deviceCount(DWORD* count);
// ERROR_SUCCESS when the device is there (even with a value that cannot be read), ERROR_BAD_UNIT
// when it is not, else the store's status.
LONG findDevice(DWORD index);
// A value of a device: its media modes, equipment state (1-5, LINEEQUIPSTATE_*) or
// registration (0 or 1), or its name. ERROR_BAD_UNIT when there is no such device, ERROR_BADDB
// when the value cannot be read, else the store's status.
enum class DeviceValue { Media, State, Registered };
LONG readDevice(DWORD index, DeviceValue which, DWORD* value);
// What a device's capabilities report of it, its name and media modes, read together; the same
// statuses.
LONG readDeviceCaps(DWORD index, std::u16string* name, DWORD* mediaModes);
// Sets a value of an existing device; ERROR_BAD_UNIT when there is none, else the store's status.
LONG writeDevice(DWORD index, DeviceValue which, DWORD value);

// ---- Faults ----
// The fault set on a device's operation, 0 when none; the store's status when it cannot be read.
LONG readFault(DWORD index, LineOperation operation, LONG* code);

// ---- Knobs of lineInitialize, and the shutdown count ----
enum class Knob { InitFault, ReinitAttempts, ReinitMs, ReinitSince, ClosedByShutdown };
// A knob, nullopt when unset; ERROR_BADDB when it holds what it must not, else the store's
// status.
LONG readKnob(Knob knob, std::optional<long long>* value);
// Sets a knob, or (nullopt) unsets it; the store's status.
LONG writeKnob(Knob knob, const std::optional<long long>& value);
// How a call takes a knob that cannot be read: the simulated phone fails the call; the Wine
// phone takes it as unset (its programs go on with their defaults, and say so once).
extern const bool kUnreadableKnobFailsCall;

// ---- Handles still open: records that outlive the process ----
void recordHandle(uintptr_t handle, bool isLine, DWORD device);
void forgetHandle(uintptr_t handle, bool isLine);

} // namespace phone_state

#endif
