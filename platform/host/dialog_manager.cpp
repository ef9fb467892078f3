// The dialog manager: builds dialogs from templates, keeps the running ones and runs the modal
// loop, feeding it from the chosen front-end.
#include "dialog_internals.h"
#include "host.h"
#include "resources.h"

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

std::shared_ptr<DialogFrontEnd> frontEnd() {
    if (chosenFrontEnd)
        return chosenFrontEnd;
    if (isatty(STDIN_FILENO) && isatty(STDOUT_FILENO))
        return makeTerminalFrontEnd();
    return makeScriptFrontEnd(std::cin, std::cout, std::cerr);
}

// Takes input until the dialog ends. When no more input can come, the dialog is cancelled as
// Escape would, and ends even when its procedure ignores that.
void runModalLoop(Dialog& d, DialogFrontEnd& input) {
    input.begin(d);
    while (!d.ended) {
        if (input.step(d))
            continue;
        pressCancel(d);
        if (!d.ended) {
            d.ended = true;
            d.result = IDCANCEL;
        }
    }
    input.end(d);
}

} // namespace

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

Control* runningControl(HWND window, Dialog** owner) {
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

LRESULT sendToDialog(Dialog& d, UINT message, WPARAM wParam, LPARAM lParam) {
    return d.proc ? d.proc(d.handle, message, wParam, lParam) : 0;
}

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
    for (auto& d : running)
        if (d->handle == window)
            return d.get();
    return nullptr;
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
    Dialog* ownerDialog = runningDialog(owner);
    bool ownerWasEnabled = ownerDialog && ownerDialog->enabled;
    if (ownerDialog)
        ownerDialog->enabled = false;

    moveFocus(d, 1);
    HWND firstStop = d.focus >= 0 ? d.controls[static_cast<size_t>(d.focus)].handle : nullptr;
    sendToDialog(d, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstStop), param);
    // The opening may have disabled the first stop.
    if (d.focused() && !d.focused()->takesInput())
        moveFocus(d, 1);

    std::shared_ptr<DialogFrontEnd> input = frontEnd();
    runModalLoop(d, *input);
    sendToDialog(d, WM_DESTROY, 0, 0);
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

} // namespace host

BOOL InitCommonControlsEx(LPINITCOMMONCONTROLSEX lpInitCtrls) {
    if (!lpInitCtrls || lpInitCtrls->dwSize != sizeof(INITCOMMONCONTROLSEX))
        return FALSE;
    host::initialisedClasses |= lpInitCtrls->dwICC;
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
    host::Dialog* d = host::runningDialog(hDlg);
    if (!d)
        return FALSE;
    d->ended = true;
    d->result = nResult;
    return TRUE;
}
