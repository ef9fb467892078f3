// The controls written once for every layer, over the phone's state (state.h, timed_start.h,
// answers.h): a line's values, the knobs of lineInitialize, the telephony's figures, the answer
// queue and the pending starts. What only a layer can answer is in its own files.
#include "platform/phone/control_layer.h"

#include "platform/clock_text.h"
#include "platform/phone/answers.h"
#include "platform/phone/state.h"

namespace {

using phone_state::DeviceValue;
using phone_state::Knob;

// A value of an existing line, as the state writes it.
LONG writeLine(DWORD index, DeviceValue which, DWORD value) {
    LONG status = phone_state::writeDevice(index, which, value);
    if (status == ERROR_BAD_UNIT)
        return control::noteProblem(status, "the phone has no line " + std::to_string(index));
    return status;
}

// A knob that a control sets, or (0) clears.
LONG setKnob(Knob knob, long long value) {
    return phone_state::writeKnob(knob, value ? std::optional<long long>(value) : std::nullopt);
}

// Reads a knob into `out` when it can; the first status that is not ERROR_SUCCESS is kept.
template <typename T> void readKnob(Knob knob, T* out, LONG* first) {
    std::optional<long long> value;
    LONG status = phone_state::readKnob(knob, &value);
    if (status == ERROR_SUCCESS)
        *out = static_cast<T>(value.value_or(0));
    else if (*first == ERROR_SUCCESS)
        *first = status;
}

control::PendingStart fromStored(const timed_start_state::PendingStart& p) {
    control::PendingStart out;
    out.path = control_layer::pathText(p.path);
    out.text = p.text;
    out.valid = clock_text::parseDateTime(p.text, &out.at);
    return out;
}

} // namespace

namespace control {

LONG lineDevice(DWORD index, LineDevice* out) {
    std::vector<LineDevice> all;
    LONG status = lineDevices(&all);
    for (LineDevice& d : all)
        if (d.index == index) {
            *out = std::move(d);
            return ERROR_SUCCESS;
        }
    return status != ERROR_SUCCESS
               ? status
               : control::noteProblem(ERROR_BAD_UNIT,
                                      "the phone has no line " + std::to_string(index));
}

LONG setLineState(DWORD index, DWORD state) {
    if (state < LINEEQUIPSTATE_MINIMUM || state > LINEEQUIPSTATE_FULL)
        return control::noteProblem(ERROR_INVALID_PARAMETER, "an equipment state is 1 to 5");
    return writeLine(index, DeviceValue::State, state);
}

LONG setLineMedia(DWORD index, DWORD mediaModes) {
    return writeLine(index, DeviceValue::Media, mediaModes);
}

LONG setLineRegistered(DWORD index, bool registered) {
    return writeLine(index, DeviceValue::Registered, registered ? 1 : 0);
}

LONG setReinitAttempts(DWORD count) {
    return setKnob(Knob::ReinitAttempts, count);
}

LONG setReinitMilliseconds(DWORD ms) {
    // A new span counts from the first attempt that sees it.
    LONG status = phone_state::writeKnob(Knob::ReinitSince, std::nullopt);
    return status == ERROR_SUCCESS ? setKnob(Knob::ReinitMs, ms) : status;
}

LONG setInitFault(LONG code) {
    if (code > 0)
        return control::noteProblem(ERROR_INVALID_PARAMETER,
                                    "a failing lineInitialize answers a negative code");
    return setKnob(Knob::InitFault, code);
}

LONG telephonyStatus(TelephonyStatus* out) {
    TelephonyStatus s;
    LONG status = ERROR_SUCCESS;
    readKnob(Knob::ReinitAttempts, &s.reinitAttempts, &status);
    readKnob(Knob::ReinitMs, &s.reinitMilliseconds, &status);
    readKnob(Knob::InitFault, &s.initFault, &status);
    readKnob(Knob::ClosedByShutdown, &s.linesClosedByShutdown, &status);
    std::vector<OpenHandle> handles;
    LONG listed = openHandles(&handles);
    for (const OpenHandle& h : handles)
        ++(h.kind == "session" ? s.sessionsOpen : s.linesOpen);
    *out = s;
    return status != ERROR_SUCCESS ? status : listed;
}

LONG queueAnswer(int answer) {
    LONG status = phone_answers::queueAnswer(answer);
    if (status == ERROR_INVALID_PARAMETER)
        return control::noteProblem(status, "no box has the answer " + std::to_string(answer));
    return status;
}

LONG pendingStarts(std::vector<PendingStart>* out) {
    out->clear();
    std::vector<timed_start_state::PendingStart> stored;
    LONG status = phone_timed_start::pendingStarts(&stored);
    LONG first = ERROR_SUCCESS;
    for (const timed_start_state::PendingStart& p : stored) {
        if (p.status == ERROR_SUCCESS)
            out->push_back(fromStored(p));
        else if (first == ERROR_SUCCESS)
            first = control::noteProblem(p.status, p.problem);
    }
    return first != ERROR_SUCCESS ? first : status;
}

LONG pendingStart(const std::string& path, std::optional<PendingStart>* out) {
    out->reset();
    timed_start_state::PendingStart stored;
    LONG status = timed_start_state::readStart(control_layer::storedPathOf(path), &stored);
    if (status == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (status == ERROR_SUCCESS)
        *out = fromStored(stored);
    return status;
}

LONG takePendingStart(const PendingStart& start, const std::optional<SYSTEMTIME>& pinAt) {
    LONG status = timed_start_state::beginChange();
    if (status != ERROR_SUCCESS)
        return status;
    if (pinAt)
        status = pinClock(*pinAt);
    if (status == ERROR_SUCCESS) {
        timed_start_state::PendingStart stored;
        stored.path = control_layer::storedPathOf(start.path);
        stored.text = start.text;
        status = phone_timed_start::takePendingStart(stored);
    }
    return timed_start_state::endChange(status);
}

} // namespace control
