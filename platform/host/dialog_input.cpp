// Input to a running dialog as a person at the device gives it: the focus moved by tab stops,
// clicks and presses of the controls, and the keys.
#include "dialog_internals.h"

namespace host {
namespace {

bool isUsableStop(const Control& c) {
    return c.tabStop && c.takesInput();
}

// An automatic box changes its own state before the dialog hears of the click.
void toggle(Control& c) {
    switch (c.style & BS_TYPEMASK) {
    case BS_AUTOCHECKBOX:
        c.check = c.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        break;
    case BS_AUTO3STATE:
        c.check = (c.check + 1) % 3;
        break;
    case BS_AUTORADIOBUTTON:
        c.check = BST_CHECKED;
        break;
    default:
        break;
    }
}

std::string idText(int id) {
    return std::to_string(id);
}

// The reason goes to the caller as it is; the dialog script makes it one printable line.
bool fail(std::string* error, const std::string& text) {
    if (error)
        *error = text;
    return false;
}

const char* const kKeyNames[] = {"tab", "shift-tab", "backtab", "space", "enter", "escape",
                                 "esc", "up",        "down",    "left",  "right", "done"};

bool knownKey(std::string_view name) {
    if (name.size() == 1 && name[0] >= '0' && name[0] <= '9')
        return true;
    for (const char* k : kKeyNames)
        if (name == k)
            return true;
    return false;
}

// Enter is OK: the default button takes it wherever the focus is; Space presses the focused
// button.
void pressEnter(Dialog& d) {
    Control* def = nullptr;
    for (Control& other : d.controls)
        if (other.kind == ControlKind::DefaultButton) {
            def = &other;
            break;
        }
    if (def && def->enabled)
        press(d, *def);
    else if (!def)
        pressDone(d);
}

} // namespace

void notifyCommand(Dialog& d, WORD id, HWND from) {
    sendToDialog(d, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(from));
}

void moveFocus(Dialog& d, int direction) {
    int n = static_cast<int>(d.controls.size());
    if (n == 0)
        return;
    int start = d.focus >= 0 ? d.focus : (direction > 0 ? -1 : n);
    for (int step = 1; step <= n; ++step) {
        int i = ((start + direction * step) % n + n) % n;
        if (isUsableStop(d.controls[static_cast<size_t>(i)])) {
            d.focus = i;
            return;
        }
    }
}

// A digit half typed into a picker is dropped when the focus leaves it.
void focusControl(Dialog& d, const Control* c) {
    if (Control* before = d.focused())
        if (before != c)
            before->pendingDigit = -1;
    d.focus = c ? static_cast<int>(c - d.controls.data()) : -1;
}

void focusControl(Dialog& d, const Control& c) {
    focusControl(d, &c);
}

void press(Dialog& d, Control& c) {
    if (c.kind == ControlKind::CheckBox || c.kind == ControlKind::RadioButton)
        toggle(c);
    notifyCommand(d, c.id, c.handle);
}

bool clickControl(Dialog& d, int id, std::string* error) {
    Control* c = d.find(id);
    if (!c)
        return fail(error, "no control with id " + idText(id));
    if (!d.enabled)
        return fail(error, "the dialog is not taking input");
    if (!c->takesInput())
        return fail(error, c->enabled ? "control " + idText(id) + " cannot be clicked"
                                      : "control " + idText(id) + " is disabled");
    // A click takes the focus, as a tap on the device does.
    focusControl(d, *c);
    if (c->kind == ControlKind::Picker)
        return true;
    press(d, *c);
    return true;
}

void pressDone(Dialog& d) {
    Control* ok = d.find(IDOK);
    notifyCommand(d, IDOK, ok ? ok->handle : nullptr);
}

void pressCancel(Dialog& d) {
    Control* cancel = d.find(IDCANCEL);
    notifyCommand(d, IDCANCEL, cancel ? cancel->handle : nullptr);
}

bool pressKey(Dialog& d, std::string_view name, std::string* error) {
    if (!knownKey(name))
        // Built by appending: GCC 12 misreads a literal joined to a temporary as an overlap.
        return fail(error, std::string("unknown key '")
                               .append(name)
                               .append("' (tab, shift-tab, space, enter, escape, up, down, left, "
                                       "right, 0-9, done)"));
    if (!d.enabled)
        return fail(error, "the dialog is not taking input");
    Control* c = d.focused();
    if (c && !c->takesInput())
        c = nullptr;
    if (name == "tab" || name == "shift-tab" || name == "backtab") {
        if (c)
            c->pendingDigit = -1;
        moveFocus(d, name == "tab" ? 1 : -1);
    } else if (name == "escape" || name == "esc") {
        pressCancel(d);
    } else if (name == "done") {
        if (!d.doneButton)
            return fail(error, "the dialog has no Done button");
        pressDone(d);
    } else if (name == "enter") {
        pressEnter(d);
    } else if (name == "space") {
        if (c && c->kind != ControlKind::Picker)
            press(d, *c);
    } else if (c && c->kind == ControlKind::Picker) {
        pickerKey(*c, name);
    } else if (name == "up" || name == "left") {
        moveFocus(d, -1);
    } else if (name == "down" || name == "right") {
        moveFocus(d, 1);
    }
    return true;
}

} // namespace host
