// Editing a picker's time from keys, one field at a time: arrows step a field or move between
// fields, digits type a value, a first digit waiting for a second where one could follow.
#include "dialog_internals.h"

#include <algorithm>

namespace host {
namespace {

struct FieldRange {
    int low, high;
};

FieldRange rangeOf(PickerField::Kind kind) {
    switch (kind) {
    case PickerField::Hour24:
        return {0, 23};
    case PickerField::Hour12:
        return {1, 12};
    case PickerField::Minute:
    case PickerField::Second:
        return {0, 59};
    default:
        return {0, 1};
    }
}

int fieldValue(const Control& c, PickerField::Kind kind) {
    switch (kind) {
    case PickerField::Hour24:
        return c.time.wHour;
    case PickerField::Hour12:
        return c.time.wHour % 12 == 0 ? 12 : c.time.wHour % 12;
    case PickerField::Minute:
        return c.time.wMinute;
    case PickerField::Second:
        return c.time.wSecond;
    default:
        return c.time.wHour >= 12;
    }
}

void setFieldValue(Control& c, PickerField::Kind kind, int value) {
    switch (kind) {
    case PickerField::Hour24:
        c.time.wHour = static_cast<WORD>(value);
        break;
    case PickerField::Hour12:
        // Keeps the half of the day: 12 AM is hour 0, 12 PM hour 12.
        c.time.wHour = static_cast<WORD>(value % 12 + (c.time.wHour >= 12 ? 12 : 0));
        break;
    case PickerField::Minute:
        c.time.wMinute = static_cast<WORD>(value);
        break;
    case PickerField::Second:
        c.time.wSecond = static_cast<WORD>(value);
        break;
    default:
        c.time.wHour = static_cast<WORD>(c.time.wHour % 12 + (value ? 12 : 0));
        break;
    }
}

// A typed digit: completes a value with the digit before it where the two make one in range,
// else starts a new value, moving on once no second digit could follow.
void typeDigit(Control& c, PickerField::Kind kind, int digit, int fieldCount) {
    FieldRange range = rangeOf(kind);
    if (c.pendingDigit >= 0 && c.pendingDigit * 10 + digit <= range.high &&
        c.pendingDigit * 10 + digit >= range.low) {
        setFieldValue(c, kind, c.pendingDigit * 10 + digit);
        c.pendingDigit = -1;
        c.field = (c.field + 1) % fieldCount;
        return;
    }
    if (digit >= range.low)
        setFieldValue(c, kind, digit);
    if (digit * 10 <= range.high) {
        c.pendingDigit = digit;
    } else {
        c.pendingDigit = -1;
        c.field = (c.field + 1) % fieldCount;
    }
}

} // namespace

void pickerKey(Control& c, std::string_view key) {
    std::vector<int> editable = c.editableFields();
    if (editable.empty())
        return;
    int count = static_cast<int>(editable.size());
    c.field = std::clamp(c.field, 0, count - 1);
    PickerField::Kind kind =
        c.fields[static_cast<size_t>(editable[static_cast<size_t>(c.field)])].kind;
    if (key.size() == 1 && key[0] >= '0' && key[0] <= '9') {
        if (kind != PickerField::AmPm)
            typeDigit(c, kind, key[0] - '0', count);
        return;
    }
    c.pendingDigit = -1;
    if (key == "left") {
        c.field = (c.field + count - 1) % count;
    } else if (key == "right") {
        c.field = (c.field + 1) % count;
    } else if (key == "up" || key == "down") {
        FieldRange range = rangeOf(kind);
        int span = range.high - range.low + 1;
        int value = fieldValue(c, kind) - range.low + (key == "up" ? 1 : -1);
        setFieldValue(c, kind, (value % span + span) % span + range.low);
    }
}

} // namespace host
