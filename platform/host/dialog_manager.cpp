// The dialog manager: builds dialogs from templates, keeps their controls, runs the modal loop
// and answers the dialog and control calls of the platform seam.
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
        switch (item.style & 0xF) {
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
        return (item.style & 0x1F) == SS_ICON ? ControlKind::Icon : ControlKind::Text;
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

void focusControl(Dialog& d, const Control& c) {
    d.focus = static_cast<int>(&c - d.controls.data());
}

// An automatic box changes its own state before the dialog hears of the click.
void toggle(Control& c) {
    switch (c.style & 0xF) {
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

// Errors quote what the script said: kept to one printable line of sensible length.
bool fail(std::string* error, const std::string& text) {
    if (!error)
        return false;
    std::string line;
    for (unsigned char c : oneLine(text)) {
        if (line.size() >= 200) {
            line += "...";
            break;
        }
        if (c < 0x20 || c == 0x7f) {
            static const char hex[] = "0123456789abcdef";
            line += "\\x";
            line += hex[c >> 4];
            line += hex[c & 15];
        } else {
            line += static_cast<char>(c);
        }
    }
    *error = line;
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

std::string quoted(std::u16string_view text) {
    std::string out = "\"";
    for (char ch : oneLine(toUtf8(text))) {
        if (ch == '"')
            out += '\\';
        out += ch;
    }
    return out + "\"";
}

bool parseInt(std::string_view text, int* value) {
    if (text.empty() || text.size() > 9)
        return false;
    bool negative = text[0] == '-';
    if (negative)
        text.remove_prefix(1);
    if (text.empty())
        return false;
    int v = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9')
            return false;
        v = v * 10 + (ch - '0');
    }
    *value = negative ? -v : v;
    return true;
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        if (i > start)
            out.push_back(line.substr(start, i - start));
    }
    return out;
}

// Built by appending: GCC 12 misreads a literal joined to a temporary string as an overlap.
std::string inQuotes(std::string_view text) {
    std::string out(1, '\'');
    out.append(text);
    out += '\'';
    return out;
}

// Resolves a control id word: a number naming exactly one control of the dialog.
Control* controlNamed(Dialog& d, std::string_view word, std::string* error) {
    int id;
    if (!parseInt(word, &id)) {
        fail(error, inQuotes(word) + " is not a control id");
        return nullptr;
    }
    // Ids are 16-bit (-1 reads as 0xFFFF); a larger number names no control, not its low word.
    Control* c = id >= -1 && id <= 0xFFFF ? d.find(id) : nullptr;
    if (!c) {
        fail(error, "no control with id " + idText(id));
        return nullptr;
    }
    return c;
}

class ScriptFrontEnd : public DialogFrontEnd {
  public:
    ScriptFrontEnd(std::istream& in, std::ostream& out, std::ostream& err)
        : in_(in), out_(out), err_(err) {}
    bool step(Dialog& dialog) override {
        std::string line;
        if (!std::getline(in_, line))
            return false;
        std::string output, error;
        if (!runCommandLine(dialog, line, &output, &error))
            err_ << "velmora: " << error << std::endl;
        out_ << output << std::flush;
        return true;
    }

  private:
    std::istream& in_;
    std::ostream& out_;
    std::ostream& err_;
};

std::shared_ptr<DialogFrontEnd> frontEnd() {
    if (chosenFrontEnd)
        return chosenFrontEnd;
    if (isatty(STDIN_FILENO) && isatty(STDOUT_FILENO))
        return makeTerminalFrontEnd();
    return makeScriptFrontEnd(std::cin, std::cout, std::cerr);
}

} // namespace

const char* const kCommandSummary =
    "click ID | set ID H:MM | answer yes|no|ok | key NAME | dump | ok | cancel";

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

void setDialogFrontEnd(std::shared_ptr<DialogFrontEnd> f) {
    chosenFrontEnd = std::move(f);
}

std::shared_ptr<DialogFrontEnd> makeScriptFrontEnd(std::istream& in, std::ostream& out,
                                                   std::ostream& err) {
    return std::make_shared<ScriptFrontEnd>(in, out, err);
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
    if (c->tabStop || c->kind == ControlKind::Picker)
        focusControl(d, *c);
    if (c->kind == ControlKind::Picker)
        return true;
    press(d, *c);
    return true;
}

bool setPickerTime(Dialog& d, int id, int hour, int minute, std::string* error) {
    Control* c = d.find(id);
    if (!c)
        return fail(error, "no control with id " + idText(id));
    if (c->kind != ControlKind::Picker)
        return fail(error, "control " + idText(id) + " is not a time picker");
    if (!c->enabled || !d.enabled)
        return fail(error, "control " + idText(id) + " is disabled");
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59)
        return fail(error, "not a time of day: " + std::to_string(hour) + ":" +
                               (minute >= 0 && minute < 10 ? "0" : "") + std::to_string(minute));
    c->time.wHour = static_cast<WORD>(hour);
    c->time.wMinute = static_cast<WORD>(minute);
    c->pendingDigit = -1;
    focusControl(d, *c);
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
        return fail(error, "unknown key " + inQuotes(name) +
                               " (tab, shift-tab, space, enter, escape, up, down, left, right, "
                               "0-9, done)");
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

std::string dumpDialog(const Dialog& d) {
    std::string out;
    for (size_t i = 0; i < d.controls.size(); ++i) {
        const Control& c = d.controls[i];
        bool checkable = c.kind == ControlKind::CheckBox || c.kind == ControlKind::RadioButton;
        out += std::to_string(static_cast<short>(c.id) == -1 ? -1 : static_cast<int>(c.id));
        out += '\t';
        out += toUtf8(c.className);
        out += '\t' + quoted(c.text);
        out += '\t' + (checkable ? std::to_string(c.check) : std::string("-"));
        out += c.enabled ? "\t1" : "\t0";
        out += '\t' + (c.kind == ControlKind::Picker ? quoted(c.shownTime()) : std::string("-"));
        out += static_cast<int>(i) == d.focus ? "\tfocus" : "\t-";
        out += '\n';
    }
    return out;
}

bool runCommandLine(Dialog& d, std::string_view line, std::string* out, std::string* error) {
    std::vector<std::string_view> w = words(line);
    if (w.empty() || w[0][0] == '#')
        return true;
    std::string_view verb = w[0];
    auto usage = [&](const char* form) { return fail(error, std::string("usage: ") + form); };
    if (verb == "click") {
        if (w.size() != 2)
            return usage("click ID");
        Control* c = controlNamed(d, w[1], error);
        return c && clickControl(d, c->id, error);
    }
    if (verb == "set") {
        if (w.size() != 3)
            return usage("set ID H:MM");
        Control* c = controlNamed(d, w[1], error);
        if (!c)
            return false;
        size_t colon = w[2].find(':');
        int hour, minute;
        if (colon == std::string_view::npos || !parseInt(w[2].substr(0, colon), &hour) ||
            w[2].size() - colon - 1 != 2 || !parseInt(w[2].substr(colon + 1), &minute))
            return fail(error, inQuotes(w[2]) + " is not a time H:MM");
        return setPickerTime(d, c->id, hour, minute, error);
    }
    if (verb == "answer") {
        int answer = w.size() == 2 ? answerFromName(w[1]) : 0;
        if (answer != IDYES && answer != IDNO && answer != IDOK)
            return usage("answer yes|no|ok");
        queueProcessAnswer(answer);
        return true;
    }
    if (verb == "key") {
        if (w.size() != 2)
            return usage("key NAME");
        return pressKey(d, w[1], error);
    }
    if (w.size() != 1 && (verb == "dump" || verb == "ok" || verb == "cancel"))
        return usage(std::string(verb).c_str());
    if (verb == "dump") {
        if (out)
            *out += dumpDialog(d);
        return true;
    }
    if (verb == "ok") {
        pressDone(d);
        return true;
    }
    if (verb == "cancel") {
        pressCancel(d);
        return true;
    }
    return fail(error, "unknown command " + inQuotes(line) + " (" + kCommandSummary + ")");
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
    Control* c = host::controlOf(hWnd);
    if (!c)
        return 0;
    switch (Msg) {
    case WM_SETTEXT:
        c->text = lParam ? reinterpret_cast<LPCWSTR>(lParam) : u"";
        return TRUE;
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(c->text.size());
    case WM_GETTEXT: {
        if (wParam == 0 || !lParam)
            return 0;
        size_t n = std::min(c->text.size(), static_cast<size_t>(wParam) - 1);
        auto* buffer = reinterpret_cast<WCHAR*>(lParam);
        std::copy_n(c->text.data(), n, buffer);
        buffer[n] = 0;
        return static_cast<LRESULT>(n);
    }
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
