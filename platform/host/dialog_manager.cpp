// The dialog manager: builds dialogs from templates, keeps their controls, runs the modal loop
// and answers the dialog, control and window calls of the platform seam, including those the
// dialog script drives a dialog through.
#include "dialog_manager.h"
#include "host.h"
#include "resources.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace host {
namespace {

const DWORD kErrorCannotFindWndClass = 1407;
// 65535 controls with the longest class, text and data each may have: more than any template.
const size_t kLargestTemplate = size_t(0xFFFF) * 0x30000;
const uintptr_t kControlHandleBase = 0x30000000;
const uintptr_t kLooseDialogHandleBase = 0x2F000000;

std::vector<std::unique_ptr<Dialog>> running; // innermost last
uintptr_t nextControlHandle = kControlHandleBase;
uintptr_t nextLooseDialogHandle = kLooseDialogHandleBase;
DWORD initialisedClasses = 0;
std::shared_ptr<DialogFrontEnd> chosenFrontEnd;

bool sameClass(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i] >= u'A' && a[i] <= u'Z' ? a[i] + 32 : a[i];
        char16_t y = b[i] >= u'A' && b[i] <= u'Z' ? b[i] + 32 : b[i];
        if (x != y)
            return false;
    }
    return true;
}

Dialog* dialogOf(HWND window) {
    for (auto& d : running)
        if (d->handle == window)
            return d.get();
    return nullptr;
}

Control* controlOf(HWND window, Dialog** owner = nullptr) {
    if (!window)
        return nullptr;
    for (auto& d : running)
        for (Control& c : d->controls)
            if (c.handle == window) {
                if (owner)
                    *owner = d.get();
                return &c;
            }
    return nullptr;
}

// False when the class cannot be created: unknown, or a common control not yet initialised.
bool classAvailable(const std::u16string& name) {
    if (sameClass(name, u"Button") || sameClass(name, u"Static") || sameClass(name, u"Edit") ||
        sameClass(name, u"ListBox") || sameClass(name, u"ComboBox") ||
        sameClass(name, u"ScrollBar"))
        return true;
    if (sameClass(name, DATETIMEPICK_CLASSW))
        return (initialisedClasses & ICC_DATE_CLASSES) != 0;
    return false;
}

ControlKind kindOf(const DialogItem& item) {
    if (sameClass(item.className, u"Button")) {
        switch (item.style & BS_TYPEMASK) {
        case BS_PUSHBUTTON:
            return ControlKind::PushButton;
        case BS_DEFPUSHBUTTON:
            return ControlKind::DefaultButton;
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE:
            return ControlKind::CheckBox;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return ControlKind::RadioButton;
        case BS_GROUPBOX:
            return ControlKind::GroupBox;
        default:
            return ControlKind::Other;
        }
    }
    if (sameClass(item.className, u"Static"))
        return (item.style & SS_TYPEMASK) == SS_ICON ? ControlKind::Icon : ControlKind::Text;
    if (sameClass(item.className, DATETIMEPICK_CLASSW))
        return ControlKind::Picker;
    return ControlKind::Other;
}

std::u16string defaultPickerFormat(DWORD style) {
    if ((style & DTS_TIMEFORMAT) == DTS_TIMEFORMAT)
        return u"h:mm:ss tt";
    if (style & DTS_LONGDATEFORMAT)
        return u"dddd, MMMM dd, yyyy";
    return u"M/d/yyyy";
}

Control buildControl(const DialogItem& item) {
    Control c;
    c.handle = reinterpret_cast<HWND>(nextControlHandle++);
    c.id = item.id;
    c.kind = kindOf(item);
    c.className = item.className;
    c.text = item.text;
    // A text given as a resource number stays the window's text in its template form.
    if (item.textOrdinal >= 0)
        c.text = {u'\xFFFF', static_cast<char16_t>(item.textOrdinal)};
    c.style = item.style;
    c.exStyle = item.exStyle;
    c.x = item.x;
    c.y = item.y;
    c.cx = item.cx;
    c.cy = item.cy;
    c.enabled = (item.style & WS_DISABLED) == 0;
    c.tabStop = (item.style & WS_TABSTOP) != 0;
    if (c.kind == ControlKind::Picker) {
        // A new picker shows the current time.
        GetLocalTime(&c.time);
        c.fields = parsePickerFormat(defaultPickerFormat(item.style));
    }
    return c;
}

LRESULT send(Dialog& d, UINT message, WPARAM wParam, LPARAM lParam) {
    return d.proc ? d.proc(d.handle, message, wParam, lParam) : 0;
}

void notifyCommand(Dialog& d, WORD id, HWND from) {
    send(d, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(from));
}

bool isUsableStop(const Control& c) {
    return c.tabStop && c.takesInput();
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

bool isButtonClass(const Control& c) {
    return sameClass(c.className, u"Button");
}

// A control's window text: a picker's is the time it shows.
std::u16string shownText(const Control& c) {
    return c.kind == ControlKind::Picker ? c.shownTime() : c.text;
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

void press(Dialog& d, Control& c) {
    if (c.kind == ControlKind::CheckBox || c.kind == ControlKind::RadioButton)
        toggle(c);
    notifyCommand(d, c.id, c.handle);
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

bool pickerKey(Control& c, std::string_view key) {
    std::vector<int> editable = c.editableFields();
    if (editable.empty())
        return true;
    int count = static_cast<int>(editable.size());
    c.field = std::clamp(c.field, 0, count - 1);
    PickerField::Kind kind =
        c.fields[static_cast<size_t>(editable[static_cast<size_t>(c.field)])].kind;
    FieldRange range = rangeOf(kind);
    if (key.size() == 1 && key[0] >= '0' && key[0] <= '9') {
        if (kind == PickerField::AmPm)
            return true;
        int digit = key[0] - '0';
        if (c.pendingDigit >= 0 && c.pendingDigit * 10 + digit <= range.high &&
            c.pendingDigit * 10 + digit >= range.low) {
            setFieldValue(c, kind, c.pendingDigit * 10 + digit);
            c.pendingDigit = -1;
            c.field = (c.field + 1) % count;
            return true;
        }
        if (digit >= range.low)
            setFieldValue(c, kind, digit);
        if (digit * 10 <= range.high) {
            c.pendingDigit = digit;
        } else {
            c.pendingDigit = -1;
            c.field = (c.field + 1) % count;
        }
        return true;
    }
    c.pendingDigit = -1;
    if (key == "left") {
        c.field = (c.field + count - 1) % count;
    } else if (key == "right") {
        c.field = (c.field + 1) % count;
    } else if (key == "up" || key == "down") {
        int span = range.high - range.low + 1;
        int value = fieldValue(c, kind) - range.low + (key == "up" ? 1 : -1);
        setFieldValue(c, kind, (value % span + span) % span + range.low);
    }
    return true;
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

std::shared_ptr<DialogFrontEnd> frontEnd() {
    if (chosenFrontEnd)
        return chosenFrontEnd;
    if (isatty(STDIN_FILENO) && isatty(STDOUT_FILENO))
        return makeTerminalFrontEnd();
    return makeScriptFrontEnd(std::cin, std::cout, std::cerr);
}

} // namespace

std::vector<int> Control::editableFields() const {
    std::vector<int> out;
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].editable())
            out.push_back(static_cast<int>(i));
    return out;
}

Control* Dialog::find(int id) {
    for (Control& c : controls)
        if (c.id == static_cast<WORD>(id))
            return &c;
    return nullptr;
}

Dialog* activeDialog() {
    return running.empty() ? nullptr : running.back().get();
}

Dialog* runningDialog(HWND window) {
    return dialogOf(window);
}

void setDialogFrontEnd(std::shared_ptr<DialogFrontEnd> f) {
    chosenFrontEnd = std::move(f);
}

INT_PTR runDialog(const DialogTemplate& t, HWND owner, DLGPROC proc, LPARAM param) {
    for (const DialogItem& item : t.items)
        if (!classAvailable(item.className)) {
            SetLastError(kErrorCannotFindWndClass);
            return -1;
        }
    if (!proc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    auto owned = std::make_unique<Dialog>();
    Dialog& d = *owned;
    d.proc = proc;
    d.caption = t.caption;
    d.style = t.style;
    d.cx = t.cx;
    d.cy = t.cy;
    for (const DialogItem& item : t.items)
        d.controls.push_back(buildControl(item));
    // Recorded on the phone so that another start finds the running dialog by its caption.
    d.handle = createTopLevelWindow(t.caption, u"Dialog");
    d.recorded = d.handle != nullptr;
    if (!d.handle)
        d.handle = reinterpret_cast<HWND>(nextLooseDialogHandle++);
    HWND previousActive = GetActiveWindow();
    running.push_back(std::move(owned));
    setActiveWindow(d.handle);
    // The owner takes no input while its modal dialog runs.
    Dialog* ownerDialog = dialogOf(owner);
    bool ownerWasEnabled = ownerDialog && ownerDialog->enabled;
    if (ownerDialog)
        ownerDialog->enabled = false;

    moveFocus(d, 1);
    HWND firstStop = d.focus >= 0 ? d.controls[static_cast<size_t>(d.focus)].handle : nullptr;
    send(d, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstStop), param);
    // The opening may have disabled the first stop.
    if (d.focused() && !d.focused()->takesInput())
        moveFocus(d, 1);

    std::shared_ptr<DialogFrontEnd> input = frontEnd();
    input->begin(d);
    while (!d.ended) {
        if (input->step(d))
            continue;
        // No more input can come: the dialog is cancelled as Escape would, and ends even when
        // its procedure ignores that.
        pressCancel(d);
        if (!d.ended) {
            d.ended = true;
            d.result = IDCANCEL;
        }
    }
    input->end(d);
    send(d, WM_DESTROY, 0, 0);
    // An answer the script gave and no box took ends with its dialog.
    clearProcessAnswers();

    if (ownerDialog)
        ownerDialog->enabled = ownerWasEnabled;
    if (d.recorded)
        destroyTopLevelWindow(d.handle);
    setActiveWindow(previousActive);
    INT_PTR result = d.result;
    running.pop_back();
    return result;
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
        // Enter is OK: the default button takes it wherever the focus is; Space presses the
        // focused button.
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

using host::Control;
using host::Dialog;

BOOL InitCommonControlsEx(LPINITCOMMONCONTROLSEX lpInitCtrls) {
    if (!lpInitCtrls || lpInitCtrls->dwSize != sizeof(INITCOMMONCONTROLSEX))
        return FALSE;
    host::initialisedClasses |= lpInitCtrls->dwICC;
    return TRUE;
}

BOOL SHInitDialog(PSHINITDLGINFO pshidi) {
    Dialog* d = pshidi ? host::dialogOf(pshidi->hDlg) : nullptr;
    if (!d)
        return FALSE;
    if (pshidi->dwMask & SHIDIM_FLAGS) {
        d->doneButton = (pshidi->dwFlags & SHIDIF_DONEBUTTON) != 0;
        d->fullScreen = (pshidi->dwFlags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN |
                                            SHIDIF_FULLSCREENNOMENUBAR)) != 0;
    }
    return TRUE;
}

INT_PTR DialogBoxIndirectParamW(HINSTANCE, LPCDLGTEMPLATEW hDialogTemplate, HWND hWndParent,
                                DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    if (!hDialogTemplate) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    // The template carries no size of its own: one loaded from the program's resources is
    // bounded by its resource; one the caller built in memory is trusted to be whole, and the
    // reader stops at its last control.
    size_t size = host::programResourceBytesFrom(hDialogTemplate);
    if (size == 0)
        size = host::kLargestTemplate;
    host::DialogTemplate parsed;
    if (!host::parseDialogTemplate(hDialogTemplate, size, &parsed)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    return host::runDialog(parsed, hWndParent, lpDialogFunc, dwInitParam);
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult) {
    Dialog* d = host::dialogOf(hDlg);
    if (!d)
        return FALSE;
    d->ended = true;
    d->result = nResult;
    return TRUE;
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem) {
    Dialog* d = host::dialogOf(hDlg);
    Control* c = d ? d->find(nIDDlgItem) : nullptr;
    return c ? c->handle : nullptr;
}

LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (Dialog* d = host::dialogOf(hWnd)) {
        if (Msg == WM_SETTEXT) {
            d->caption = lParam ? reinterpret_cast<LPCWSTR>(lParam) : u"";
            return TRUE;
        }
        return host::send(*d, Msg, wParam, lParam);
    }
    Dialog* owner = nullptr;
    Control* c = host::controlOf(hWnd, &owner);
    if (!c)
        return 0;
    switch (Msg) {
    case WM_SETTEXT:
        c->text = lParam ? reinterpret_cast<LPCWSTR>(lParam) : u"";
        return TRUE;
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(host::shownText(*c).size());
    case WM_GETTEXT:
        return static_cast<LRESULT>(
            host::copyText(host::shownText(*c), reinterpret_cast<WCHAR*>(lParam),
                           static_cast<int>(std::min<WPARAM>(wParam, INT32_MAX))));
    case BM_CLICK:
        // As a press and release of the mouse button: the button takes the focus where it
        // can, an automatic box changes, then the dialog hears of the click. A group box is a
        // frame and takes no click.
        if (host::isButtonClass(*c) && c->kind != host::ControlKind::GroupBox) {
            if (owner->enabled && c->enabled)
                host::focusControl(*owner, *c);
            host::press(*owner, *c);
        }
        return 0;
    case BM_GETCHECK:
        return c->kind == host::ControlKind::CheckBox || c->kind == host::ControlKind::RadioButton
                   ? c->check
                   : 0;
    case BM_SETCHECK:
        if (c->kind == host::ControlKind::CheckBox || c->kind == host::ControlKind::RadioButton) {
            bool threeState = (c->style & 0xF) == BS_3STATE || (c->style & 0xF) == BS_AUTO3STATE;
            c->check = wParam == BST_INDETERMINATE && threeState ? BST_INDETERMINATE
                       : wParam == BST_UNCHECKED                 ? BST_UNCHECKED
                                                                 : BST_CHECKED;
        }
        return 0;
    }
    if (c->kind != host::ControlKind::Picker)
        return 0;
    switch (Msg) {
    case DTM_SETFORMATW:
        c->fields = host::parsePickerFormat(
            lParam ? std::u16string_view(reinterpret_cast<LPCWSTR>(lParam))
                   : std::u16string_view(host::defaultPickerFormat(c->style)));
        c->field = 0;
        c->pendingDigit = -1;
        return TRUE;
    case DTM_GETSYSTEMTIME:
        if (!lParam)
            return GDT_ERROR;
        *reinterpret_cast<SYSTEMTIME*>(lParam) = c->time;
        return GDT_VALID;
    case DTM_SETSYSTEMTIME: {
        // Only a real date and time is taken; anything else leaves the picker as it was.
        if (wParam != GDT_VALID || !lParam)
            return FALSE;
        SYSTEMTIME t = *reinterpret_cast<const SYSTEMTIME*>(lParam);
        if (!host::isValidDateTime(t))
            return FALSE;
        t.wDayOfWeek = static_cast<WORD>(host::dayOfWeek(t.wYear, t.wMonth, t.wDay));
        c->time = t;
        c->pendingDigit = -1;
        return TRUE;
    }
    }
    return 0;
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
    if (Control* c = host::controlOf(hWnd, &owner)) {
        BOOL wasDisabled = !c->enabled;
        c->enabled = bEnable != FALSE;
        c->pendingDigit = -1;
        return wasDisabled;
    }
    if (Dialog* d = host::dialogOf(hWnd)) {
        BOOL wasDisabled = !d->enabled;
        d->enabled = bEnable != FALSE;
        return wasDisabled;
    }
    return FALSE;
}

BOOL IsWindowEnabled(HWND hWnd) {
    if (Control* c = host::controlOf(hWnd))
        return c->enabled;
    if (Dialog* d = host::dialogOf(hWnd))
        return d->enabled;
    return FALSE;
}

// ---- Windows and their relations ----

namespace {

// The control's or dialog's style, with WS_DISABLED as EnableWindow last left it.
LONG liveStyle(DWORD style, bool enabled) {
    return static_cast<LONG>((style & ~static_cast<DWORD>(WS_DISABLED)) |
                             (enabled ? 0 : static_cast<DWORD>(WS_DISABLED)));
}

const char16_t kDialogClassName[] = u"#32770";

} // namespace

LONG GetWindowLongW(HWND hWnd, int nIndex) {
    Dialog* owner = nullptr;
    if (Control* c = host::controlOf(hWnd, &owner)) {
        switch (nIndex) {
        case GWL_STYLE:
            return liveStyle(c->style, c->enabled);
        case GWL_EXSTYLE:
            return static_cast<LONG>(c->exStyle);
        case GWL_ID:
            return c->id;
        }
    } else if (Dialog* d = host::dialogOf(hWnd)) {
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
    if (host::controlOf(hWnd))
        return nMaxCount > 0
                   ? static_cast<int>(SendMessageW(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                                   reinterpret_cast<LPARAM>(lpString)))
                   : 0;
    if (Dialog* d = host::dialogOf(hWnd))
        return host::copyText(d->caption, lpString, nMaxCount);
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
}

int GetWindowTextLengthW(HWND hWnd) {
    if (host::controlOf(hWnd))
        return static_cast<int>(SendMessageW(hWnd, WM_GETTEXTLENGTH, 0, 0));
    if (Dialog* d = host::dialogOf(hWnd))
        return static_cast<int>(d->caption.size());
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
}

int GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount) {
    if (Control* c = host::controlOf(hWnd))
        return host::copyText(c->className, lpClassName, nMaxCount);
    if (host::dialogOf(hWnd))
        return host::copyText(kDialogClassName, lpClassName, nMaxCount);
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
}

int GetDlgCtrlID(HWND hWnd) {
    if (Control* c = host::controlOf(hWnd))
        return c->id;
    if (!host::dialogOf(hWnd))
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0; // a top-level window has no id
}

HWND GetWindow(HWND hWnd, UINT uCmd) {
    Dialog* owner = nullptr;
    if (Control* c = host::controlOf(hWnd, &owner)) {
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
    if (Dialog* d = host::dialogOf(hWnd)) {
        if (uCmd == GW_CHILD && !d->controls.empty())
            return d->controls.front().handle;
        return nullptr;
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
}

HWND GetFocus(void) {
    Dialog* d = host::dialogOf(GetActiveWindow());
    if (!d)
        return nullptr;
    // A dialog none of whose controls has the focus keeps it itself.
    return d->focused() ? d->focused()->handle : d->handle;
}

HWND SetFocus(HWND hWnd) {
    HWND before = GetFocus();
    Dialog* owner = nullptr;
    if (!hWnd) {
        if (Dialog* d = host::dialogOf(GetActiveWindow()))
            host::focusControl(*d, nullptr);
        return before;
    }
    Control* c = host::controlOf(hWnd, &owner);
    if (!c)
        owner = host::dialogOf(hWnd);
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
    return host::controlOf(hWnd, &owner) && owner->handle == hWndParent;
}
