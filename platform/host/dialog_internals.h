// What the dialog manager's files share and nothing else uses: the running controls found by
// handle, messages to a dialog's procedure, the focus and presses that input and window calls
// both cause, and the pickers' defaults and key editing.
#ifndef VELMORA_HOST_DIALOG_INTERNALS_H
#define VELMORA_HOST_DIALOG_INTERNALS_H

#include "dialog_manager.h"

#include <string>
#include <string_view>

namespace host {

// Class names compare without regard to ASCII case, as the window manager's do.
bool sameClass(std::u16string_view a, std::u16string_view b);

// The control of a running dialog with this window handle, and the dialog that holds it; or
// nullptr.
Control* runningControl(HWND window, Dialog** owner = nullptr);

// A message to the dialog's procedure; 0 when it has none.
LRESULT sendToDialog(Dialog& dialog, UINT message, WPARAM wParam, LPARAM lParam);
// WM_COMMAND with BN_CLICKED from the control `from`.
void notifyCommand(Dialog& dialog, WORD id, HWND from);

// The next (direction 1) or previous (-1) tab stop that takes input.
void moveFocus(Dialog& dialog, int direction);
// Gives the focus to a control of the dialog, or to none (nullptr).
void focusControl(Dialog& dialog, const Control* control);
void focusControl(Dialog& dialog, const Control& control);
// A press of a button or box: an automatic box changes, then the dialog hears of it.
void press(Dialog& dialog, Control& control);

// The format a picker shows until it is given one, by its style.
std::u16string defaultPickerFormat(DWORD style);
// A key (0-9, left, right, up, down) acting on the picker's current field.
void pickerKey(Control& picker, std::string_view key);

} // namespace host

#endif
