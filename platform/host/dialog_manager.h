// The simulated phone's dialog manager: dialogs built from classic templates, their controls
// (buttons, check boxes, static texts, date and time pickers) and a modal loop fed by a
// front-end. Front-ends and tests drive a running dialog through the input functions below,
// which act as a person at the device would: through the controls, and only enabled ones.
#ifndef VELMORA_HOST_DIALOG_MANAGER_H
#define VELMORA_HOST_DIALOG_MANAGER_H

#include "dialog_template.h"
#include "win32_dialog.h"

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// ---- Date and time picker formats ----
struct PickerField {
    enum Kind {
        Literal,
        Hour24,
        Hour12,
        Minute,
        Second,
        AmPm,
        Day,
        DayName,
        Month,
        MonthName,
        Year
    };
    Kind kind = Literal;
    int width = 1; // how many letters named the field: "HH" is 2, "tt" is 2, "yyyy" is 4
    std::u16string literal;
    bool editable() const {
        return kind == Hour24 || kind == Hour12 || kind == Minute || kind == Second || kind == AmPm;
    }
};
// The picker's format language: H HH h hh m mm s ss t tt d dd ddd dddd M MM MMM MMMM y yy yyyy,
// text in single quotes taken literally ('' is a quote, inside or outside quotes), and any other
// character shown as itself.
std::vector<PickerField> parsePickerFormat(std::u16string_view format);
std::u16string formatPickerField(const PickerField& field, const SYSTEMTIME& time);
std::u16string formatPickerTime(const std::vector<PickerField>& fields, const SYSTEMTIME& time);

// ---- Dialogs and controls ----
enum class ControlKind {
    PushButton,
    DefaultButton,
    CheckBox,
    RadioButton,
    GroupBox,
    Text,
    Icon,
    Picker,
    Other
};

struct Control {
    HWND handle = nullptr;
    WORD id = 0;
    ControlKind kind = ControlKind::Other;
    std::u16string className, text;
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    bool enabled = true, tabStop = false;
    int check = BST_UNCHECKED;
    // Pickers: the time shown, the format and which editable field the keys act on; a first
    // digit typed waits for a second one.
    SYSTEMTIME time{};
    std::vector<PickerField> fields;
    int field = 0;
    int pendingDigit = -1;

    bool takesInput() const {
        return enabled && kind != ControlKind::Text && kind != ControlKind::Icon &&
               kind != ControlKind::GroupBox;
    }
    std::u16string shownTime() const { return formatPickerTime(fields, time); }
    // The editable fields, as indexes into `fields`.
    std::vector<int> editableFields() const;
};

struct Dialog {
    HWND handle = nullptr;
    DLGPROC proc = nullptr;
    std::u16string caption;
    DWORD style = 0;
    short cx = 0, cy = 0;
    std::vector<Control> controls; // template order, which is also the tab order
    bool enabled = true;
    bool fullScreen = false, doneButton = false;
    bool ended = false;
    INT_PTR result = 0;
    int focus = -1; // index into controls, -1 when nothing has the focus
    // Whether the window was recorded on the phone (and must be removed from it at the end).
    bool recorded = false;

    Control* find(int id);
    Control* focused() { return focus >= 0 ? &controls[static_cast<size_t>(focus)] : nullptr; }
};

// The dialog that input goes to (the innermost running one), or nullptr.
Dialog* activeDialog();
// The running dialog with this window handle, or nullptr.
Dialog* runningDialog(HWND window);
// Builds a dialog from a parsed template and runs it modally; -1 when it cannot be built.
INT_PTR runDialog(const DialogTemplate& dialogTemplate, HWND owner, DLGPROC proc, LPARAM param);

// ---- Input ----
// Each returns false, changing nothing, and gives the reason when it cannot act.
// Clicking takes the focus; a check box toggles (automatic ones) and notifies the dialog; a push
// button notifies the dialog. The dialog script acts through the window calls instead, with
// the same effects.
bool clickControl(Dialog& dialog, int id, std::string* error);
// tab, shift-tab, space, enter, escape, up, down, left, right, 0-9, done.
bool pressKey(Dialog& dialog, std::string_view name, std::string* error);
// The Done button in the title bar (IDOK), and Escape (IDCANCEL).
void pressDone(Dialog& dialog);
void pressCancel(Dialog& dialog);

// ---- Front-ends ----
class DialogFrontEnd {
  public:
    virtual ~DialogFrontEnd() = default;
    // The dialog has been initialised and is about to take input.
    virtual void begin(Dialog&) {}
    // Takes one piece of input and acts on it; false when the input has run out.
    virtual bool step(Dialog& dialog) = 0;
    virtual void end(Dialog&) {}
};
// The dialog script's commands one a line from `in`, dumps to `out`, complaints to `err`.
std::shared_ptr<DialogFrontEnd> makeScriptFrontEnd(std::istream& in, std::ostream& out,
                                                   std::ostream& err);
// The full-screen terminal interface (ncurses) on the process's terminal.
std::shared_ptr<DialogFrontEnd> makeTerminalFrontEnd();
// Which front-end runs dialogs; by default (nullptr) the terminal interface when standard input
// and output are terminals, else commands from standard input.
void setDialogFrontEnd(std::shared_ptr<DialogFrontEnd> frontEnd);

// ---- Terminal layout ----
// Where a control is drawn, in character cells relative to the dialog's client area.
struct CellRect {
    int row = 0, col = 0, rows = 1, cols = 1;
};
// Dialog units to cells: four units a column, about twelve a row; controls that sit together
// on one visual line share a screen row, and distinct lines keep distinct rows in order.
std::vector<CellRect> layoutDialog(const Dialog& dialog);
// The control that takes a click at a cell of the client area (the index of an enabled control
// that takes input), or -1.
int controlAt(const Dialog& dialog, int row, int col);
// Which editable field of a picker lies under a column counted from the picker's first cell,
// or -1 (a bracket, a literal, or past the end).
int pickerFieldAt(const Control& picker, int col);

} // namespace host

#endif
