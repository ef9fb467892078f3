// The window calls on dialogs and their controls: messages (text, buttons, pickers), enabling,
// styles, texts and class names, the order of the controls, and the focus. The dialog script
// drives a dialog through these alone.
#include "dialog_internals.h"
#include "host.h"

#include <algorithm>

using host::Control;
using host::Dialog;

namespace {

const char16_t kDialogClassName[] = u"#32770";

// A control's window text: a picker's is the time it shows.
std::u16string shownText(const Control& c) {
    return c.kind == host::ControlKind::Picker ? c.shownTime() : c.text;
}

// Copies as much of the text as fits with its terminator; the characters copied.
int copyText(std::u16string_view text, WCHAR* buffer, int capacity) {
    if (!buffer || capacity <= 0)
        return 0;
    size_t n = std::min(text.size(), static_cast<size_t>(capacity) - 1);
    std::copy_n(text.data(), n, buffer);
    buffer[n] = 0;
    return static_cast<int>(n);
}

bool isButtonClass(const Control& c) {
    return host::sameClass(c.className, u"Button");
}

bool isBox(const Control& c) {
    return c.kind == host::ControlKind::CheckBox || c.kind == host::ControlKind::RadioButton;
}

// The control's or dialog's style, with WS_DISABLED as EnableWindow last left it.
LONG liveStyle(DWORD style, bool enabled) {
    return static_cast<LONG>((style & ~static_cast<DWORD>(WS_DISABLED)) |
                             (enabled ? 0 : static_cast<DWORD>(WS_DISABLED)));
}

// The messages every control answers: its text and the buttons'. False for any other.
bool controlMessage(Dialog& owner, Control& c, UINT Msg, WPARAM wParam, LPARAM lParam,
                    LRESULT* result) {
    *result = 0;
    switch (Msg) {
    case WM_SETTEXT:
        c.text = lParam ? reinterpret_cast<LPCWSTR>(lParam) : u"";
        *result = TRUE;
        return true;
    case WM_GETTEXTLENGTH:
        *result = static_cast<LRESULT>(shownText(c).size());
        return true;
    case WM_GETTEXT:
        *result =
            static_cast<LRESULT>(copyText(shownText(c), reinterpret_cast<WCHAR*>(lParam),
                                          static_cast<int>(std::min<WPARAM>(wParam, INT32_MAX))));
        return true;
    case BM_CLICK:
        // As a press and release of the mouse button: the button takes the focus where it
        // can, an automatic box changes, then the dialog hears of the click. A group box is a
        // frame and takes no click.
        if (isButtonClass(c) && c.kind != host::ControlKind::GroupBox) {
            if (owner.enabled && c.enabled)
                host::focusControl(owner, c);
            host::press(owner, c);
        }
        return true;
    case BM_GETCHECK:
        *result = isBox(c) ? c.check : 0;
        return true;
    case BM_SETCHECK:
        if (isBox(c)) {
            bool threeState = (c.style & 0xF) == BS_3STATE || (c.style & 0xF) == BS_AUTO3STATE;
            c.check = wParam == BST_INDETERMINATE && threeState ? BST_INDETERMINATE
                      : wParam == BST_UNCHECKED                 ? BST_UNCHECKED
                                                                : BST_CHECKED;
        }
        return true;
    }
    return false;
}

LRESULT pickerMessage(Control& c, UINT Msg, WPARAM wParam, LPARAM lParam) {
    switch (Msg) {
    case DTM_SETFORMATW:
        c.fields = host::parsePickerFormat(
            lParam ? std::u16string_view(reinterpret_cast<LPCWSTR>(lParam))
                   : std::u16string_view(host::defaultPickerFormat(c.style)));
        c.field = 0;
        c.pendingDigit = -1;
        return TRUE;
    case DTM_GETSYSTEMTIME:
        if (!lParam)
            return GDT_ERROR;
        *reinterpret_cast<SYSTEMTIME*>(lParam) = c.time;
        return GDT_VALID;
    case DTM_SETSYSTEMTIME: {
        // Only a real date and time is taken; anything else leaves the picker as it was.
        if (wParam != GDT_VALID || !lParam)
            return FALSE;
        SYSTEMTIME t = *reinterpret_cast<const SYSTEMTIME*>(lParam);
        if (!host::isValidDateTime(t))
            return FALSE;
        t.wDayOfWeek = static_cast<WORD>(host::dayOfWeek(t.wYear, t.wMonth, t.wDay));
        c.time = t;
        c.pendingDigit = -1;
        return TRUE;
    }
    }
    return 0;
}

} // namespace

HWND GetDlgItem(HWND hDlg, int nIDDlgItem) {
    Dialog* d = host::runningDialog(hDlg);
    Control* c = d ? d->find(nIDDlgItem) : nullptr;
    return c ? c->handle : nullptr;
}

LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (Dialog* d = host::runningDialog(hWnd)) {
        if (Msg == WM_SETTEXT) {
            d->caption = lParam ? reinterpret_cast<LPCWSTR>(lParam) : u"";
            return TRUE;
        }
        return host::sendToDialog(*d, Msg, wParam, lParam);
    }
    Dialog* owner = nullptr;
    Control* c = host::runningControl(hWnd, &owner);
    if (!c)
        return 0;
    LRESULT result = 0;
    if (controlMessage(*owner, *c, Msg, wParam, lParam, &result))
        return result;
    if (c->kind != host::ControlKind::Picker)
        return 0;
    return pickerMessage(*c, Msg, wParam, lParam);
}

LRESULT SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam) {
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item ? SendMessageW(item, Msg, wParam, lParam) : 0;
}

BOOL SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString) {
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item ? static_cast<BOOL>(
                      SendMessageW(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)))
                : FALSE;
}

UINT GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax) {
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    if (!item || cchMax <= 0)
        return 0;
    return static_cast<UINT>(SendMessageW(item, WM_GETTEXT, static_cast<WPARAM>(cchMax),
                                          reinterpret_cast<LPARAM>(lpString)));
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable) {
    Dialog* owner = nullptr;
    if (Control* c = host::runningControl(hWnd, &owner)) {
        BOOL wasDisabled = !c->enabled;
        c->enabled = bEnable != FALSE;
        c->pendingDigit = -1;
        return wasDisabled;
    }
    if (Dialog* d = host::runningDialog(hWnd)) {
        BOOL wasDisabled = !d->enabled;
        d->enabled = bEnable != FALSE;
        return wasDisabled;
    }
    return FALSE;
}

BOOL IsWindowEnabled(HWND hWnd) {
    if (Control* c = host::runningControl(hWnd))
        return c->enabled;
    if (Dialog* d = host::runningDialog(hWnd))
        return d->enabled;
    return FALSE;
}

// ---- Windows and their relations ----

LONG GetWindowLongW(HWND hWnd, int nIndex) {
    Dialog* owner = nullptr;
    if (Control* c = host::runningControl(hWnd, &owner)) {
        switch (nIndex) {
        case GWL_STYLE:
            return liveStyle(c->style, c->enabled);
        case GWL_EXSTYLE:
            return static_cast<LONG>(c->exStyle);
        case GWL_ID:
            return c->id;
        }
    } else if (Dialog* d = host::runningDialog(hWnd)) {
        switch (nIndex) {
        case GWL_STYLE:
            return liveStyle(d->style, d->enabled);
        case GWL_EXSTYLE:
        case GWL_ID:
            return 0;
        }
    } else {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
}

int GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
    if (lpString && nMaxCount > 0)
        lpString[0] = 0;
    if (host::runningControl(hWnd))
        return nMaxCount > 0
                   ? static_cast<int>(SendMessageW(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                                   reinterpret_cast<LPARAM>(lpString)))
                   : 0;
    if (Dialog* d = host::runningDialog(hWnd))
        return copyText(d->caption, lpString, nMaxCount);
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
}

int GetWindowTextLengthW(HWND hWnd) {
    if (host::runningControl(hWnd))
        return static_cast<int>(SendMessageW(hWnd, WM_GETTEXTLENGTH, 0, 0));
    if (Dialog* d = host::runningDialog(hWnd))
        return static_cast<int>(d->caption.size());
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
}

int GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount) {
    if (Control* c = host::runningControl(hWnd))
        return copyText(c->className, lpClassName, nMaxCount);
    if (host::runningDialog(hWnd))
        return copyText(kDialogClassName, lpClassName, nMaxCount);
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
}

int GetDlgCtrlID(HWND hWnd) {
    if (Control* c = host::runningControl(hWnd))
        return c->id;
    if (!host::runningDialog(hWnd))
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0; // a top-level window has no id
}

HWND GetWindow(HWND hWnd, UINT uCmd) {
    Dialog* owner = nullptr;
    if (Control* c = host::runningControl(hWnd, &owner)) {
        std::vector<Control>& siblings = owner->controls;
        size_t at = static_cast<size_t>(c - siblings.data());
        switch (uCmd) {
        case GW_HWNDFIRST:
            return siblings.front().handle;
        case GW_HWNDLAST:
            return siblings.back().handle;
        case GW_HWNDNEXT:
            return at + 1 < siblings.size() ? siblings[at + 1].handle : nullptr;
        case GW_HWNDPREV:
            return at > 0 ? siblings[at - 1].handle : nullptr;
        }
        return nullptr; // controls have neither children nor an owner
    }
    if (Dialog* d = host::runningDialog(hWnd)) {
        if (uCmd == GW_CHILD && !d->controls.empty())
            return d->controls.front().handle;
        return nullptr;
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
}

HWND GetFocus(void) {
    Dialog* d = host::runningDialog(GetActiveWindow());
    if (!d)
        return nullptr;
    // A dialog none of whose controls has the focus keeps it itself.
    return d->focused() ? d->focused()->handle : d->handle;
}

HWND SetFocus(HWND hWnd) {
    HWND before = GetFocus();
    Dialog* owner = nullptr;
    if (!hWnd) {
        if (Dialog* d = host::runningDialog(GetActiveWindow()))
            host::focusControl(*d, nullptr);
        return before;
    }
    Control* c = host::runningControl(hWnd, &owner);
    if (!c)
        owner = host::runningDialog(hWnd);
    if (!owner) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    // A disabled window, or one inside a disabled dialog, cannot take the focus.
    if (!owner->enabled || (c && !c->enabled))
        return nullptr;
    host::focusControl(*owner, c);
    return before;
}

BOOL IsChild(HWND hWndParent, HWND hWnd) {
    Dialog* owner = nullptr;
    return host::runningControl(hWnd, &owner) && owner->handle == hWndParent;
}
