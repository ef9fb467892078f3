// The dialog's full-screen terminal interface: the controls drawn where the template puts
// them, scaled to character cells, driven by the keyboard and the mouse; message boxes shown
// as pop-ups over the dialog.
#include "dialog_manager.h"
#include "host.h"
#include "platform/dialog_script.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <iostream>
#include <ncurses.h>

namespace host {

std::vector<CellRect> layoutDialog(const Dialog& d) {
    // Every control is a line at its vertical centre; a group box is two lines, its top and
    // bottom edges. Lines less than two dialog units apart share a row; rows are twelve units,
    // which keeps a phone-sized dialog on a small terminal, and never fewer than one a line.
    struct Mark {
        double y;
        size_t control;
        int edge; // 0 centre, 1 top edge, 2 bottom edge
    };
    std::vector<Mark> marks;
    for (size_t i = 0; i < d.controls.size(); ++i) {
        const Control& c = d.controls[i];
        if (c.kind == ControlKind::GroupBox) {
            marks.push_back({static_cast<double>(c.y), i, 1});
            marks.push_back({static_cast<double>(c.y + c.cy), i, 2});
        } else {
            marks.push_back({c.y + c.cy / 2.0, i, 0});
        }
    }
    std::stable_sort(marks.begin(), marks.end(),
                     [](const Mark& a, const Mark& b) { return a.y < b.y; });
    std::vector<int> rowOfMark(marks.size());
    int lastRow = -1;
    for (size_t start = 0; start < marks.size();) {
        size_t end = start + 1;
        double sum = marks[start].y;
        while (end < marks.size() && marks[end].y - marks[end - 1].y < 2.0)
            sum += marks[end++].y;
        int row = static_cast<int>(std::lround(sum / static_cast<double>(end - start) / 12.0));
        row = std::max(row, lastRow + 1);
        for (size_t k = start; k < end; ++k)
            rowOfMark[k] = row;
        lastRow = row;
        start = end;
    }
    std::vector<CellRect> rects(d.controls.size());
    for (size_t i = 0; i < d.controls.size(); ++i) {
        const Control& c = d.controls[i];
        rects[i].col = static_cast<int>(std::lround(c.x / 4.0));
        rects[i].cols = std::max(1, static_cast<int>(std::lround(c.cx / 4.0)));
    }
    for (size_t k = 0; k < marks.size(); ++k) {
        CellRect& r = rects[marks[k].control];
        if (marks[k].edge == 2)
            r.rows = rowOfMark[k] - r.row + 1;
        else
            r.row = rowOfMark[k];
    }
    return rects;
}

int controlAt(const Dialog& d, int row, int col) {
    std::vector<CellRect> rects = layoutDialog(d);
    for (size_t i = 0; i < d.controls.size(); ++i) {
        const Control& c = d.controls[i];
        const CellRect& r = rects[i];
        // A box's label may run past its width; it is drawn, and clicked, in full.
        int cols = r.cols;
        if (c.kind == ControlKind::CheckBox || c.kind == ControlKind::RadioButton)
            cols = std::max(cols, 4 + static_cast<int>(c.text.size()));
        if (c.takesInput() && row == r.row && col >= r.col && col < r.col + cols)
            return static_cast<int>(i);
    }
    return -1;
}

int pickerFieldAt(const Control& c, int col) {
    int at = 1, editable = -1; // after the opening bracket
    for (const PickerField& f : c.fields) {
        int w = static_cast<int>(formatPickerField(f, c.time).size());
        if (f.editable())
            ++editable;
        if (col >= at && col < at + w)
            return f.editable() ? editable : -1;
        at += w;
    }
    return -1;
}

namespace {

// Every key the interface acts on is ASCII or a function key. Reading bytes rather than wide
// characters means a stray byte that is not UTF-8 is dropped, instead of leaving the reader
// waiting for the rest of a character that never comes.
int readKey(wint_t* key) {
    for (;;) {
        int c = getch();
        if (c == ERR)
            return ERR;
        if (c >= KEY_MIN) {
            *key = static_cast<wint_t>(c);
            return KEY_CODE_YES;
        }
        if (c < 0x80) {
            *key = static_cast<wint_t>(c);
            return OK;
        }
    }
}

const int kTop = 1;  // the title bar takes the first row
const int kLeft = 1; // a margin column

int depth = 0;
SCREEN* screen = nullptr;
std::shared_ptr<DialogFrontEnd> fallback;

std::wstring wide(std::u16string_view text) {
    std::wstring out;
    std::string utf8 = toUtf8(text);
    std::mbstate_t state{};
    const char* src = utf8.c_str();
    size_t n = std::mbsrtowcs(nullptr, &src, 0, &state);
    if (n == static_cast<size_t>(-1)) {
        for (char16_t ch : text)
            out += static_cast<wchar_t>(ch < 0x80 ? ch : u'?');
        return out;
    }
    out.resize(n);
    src = utf8.c_str();
    state = {};
    std::mbsrtowcs(out.data(), &src, n, &state);
    for (wchar_t& ch : out)
        if (ch == L'\n' || ch == L'\t' || ch == L'\r')
            ch = L' ';
    return out;
}

int width(const std::wstring& text) {
    int w = 0;
    for (wchar_t ch : text)
        w += std::max(0, wcwidth(ch));
    return w;
}

// Draws at most `cols` cells of text.
void put(int row, int col, const std::wstring& text, int cols) {
    int maxRow = getmaxy(stdscr), maxCol = getmaxx(stdscr);
    if (row < 0 || row >= maxRow || col >= maxCol)
        return;
    int used = 0;
    for (wchar_t ch : text) {
        int w = std::max(0, wcwidth(ch));
        if (used + w > cols || col + used + w > maxCol)
            break;
        wchar_t one[2] = {ch, 0};
        mvaddnwstr(row, col + used, one, 1);
        used += w;
    }
}

std::wstring padded(std::wstring text, int cols) {
    int w = width(text);
    if (w < cols)
        text.append(static_cast<size_t>(cols - w), L' ');
    return text;
}

std::wstring centred(const std::wstring& text, int cols) {
    int w = width(text);
    if (w >= cols)
        return text;
    return std::wstring(static_cast<size_t>((cols - w) / 2), L' ') + text;
}

// Where the title bar's Done button is drawn: its first column and width.
int doneColumn() {
    return std::max(0, getmaxx(stdscr) - 7);
}
const wchar_t* const kDoneLabel = L"[Done]";

void drawControl(const Dialog& d, const Control& c, const CellRect& r, bool focused) {
    int row = kTop + r.row, col = kLeft + r.col;
    attr_t attr = A_NORMAL;
    if (!c.enabled)
        attr |= A_DIM;
    if (focused && c.kind != ControlKind::Picker)
        attr |= A_REVERSE;
    attrset(attr);
    std::wstring text = wide(c.text);
    switch (c.kind) {
    case ControlKind::CheckBox: {
        const wchar_t* mark = c.check == BST_CHECKED         ? L"[x] "
                              : c.check == BST_INDETERMINATE ? L"[-] "
                                                             : L"[ ] ";
        put(row, col, mark + text, std::max(r.cols, 4 + width(text)));
        break;
    }
    case ControlKind::RadioButton:
        put(row, col, (c.check ? L"(*) " : L"( ) ") + text, std::max(r.cols, 4 + width(text)));
        break;
    case ControlKind::PushButton:
    case ControlKind::DefaultButton: {
        if (c.kind == ControlKind::DefaultButton)
            attrset(attr | A_BOLD);
        std::wstring label =
            c.kind == ControlKind::DefaultButton ? L"<" + text + L">" : L"[" + text + L"]";
        put(row, col, padded(centred(label, r.cols), r.cols), std::max(r.cols, width(label)));
        break;
    }
    case ControlKind::Picker: {
        put(row, col, L"[", 1);
        int at = col + 1;
        std::vector<int> editable = c.editableFields();
        int current = editable.empty() ? -1
                                       : editable[static_cast<size_t>(std::clamp(
                                             c.field, 0, static_cast<int>(editable.size()) - 1))];
        for (size_t i = 0; i < c.fields.size(); ++i) {
            std::wstring part = wide(formatPickerField(c.fields[i], c.time));
            attrset(attr | (focused && static_cast<int>(i) == current ? A_REVERSE : A_NORMAL));
            put(row, at, part, width(part));
            at += width(part);
        }
        attrset(attr | (focused ? A_BOLD : A_NORMAL));
        int end = std::max(at, col + r.cols - 1);
        put(row, at, std::wstring(static_cast<size_t>(end - at), L' '), end - at);
        put(row, end, L"]", 1);
        break;
    }
    case ControlKind::Icon:
        put(row, col, L"(o)", r.cols);
        break;
    case ControlKind::GroupBox: {
        int bottom = row + r.rows - 1, right = col + r.cols - 1;
        mvhline(row, col + 1, ACS_HLINE, r.cols - 2);
        mvhline(bottom, col + 1, ACS_HLINE, r.cols - 2);
        mvvline(row + 1, col, ACS_VLINE, r.rows - 2);
        mvvline(row + 1, right, ACS_VLINE, r.rows - 2);
        mvaddch(row, col, ACS_ULCORNER);
        mvaddch(row, right, ACS_URCORNER);
        mvaddch(bottom, col, ACS_LLCORNER);
        mvaddch(bottom, right, ACS_LRCORNER);
        if (!text.empty())
            put(row, col + 2, L" " + text + L" ", r.cols - 4);
        break;
    }
    default:
        put(row, col, text, r.cols);
        break;
    }
    attrset(A_NORMAL);
    (void)d;
}

void drawDialog(const Dialog& d) {
    erase();
    int cols = getmaxx(stdscr);
    attrset(A_REVERSE);
    mvhline(0, 0, ' ', cols);
    put(0, 1, wide(d.caption), std::max(0, cols - 9));
    if (d.doneButton)
        put(0, doneColumn(), kDoneLabel, 6);
    attrset(A_NORMAL);
    std::vector<CellRect> rects = layoutDialog(d);
    // Group boxes first, so that the controls inside draw over their frames.
    for (int pass = 0; pass < 2; ++pass)
        for (size_t i = 0; i < d.controls.size(); ++i)
            if ((d.controls[i].kind == ControlKind::GroupBox) == (pass == 0))
                drawControl(d, d.controls[i], rects[i], static_cast<int>(i) == d.focus);
    attrset(A_DIM);
    put(getmaxy(stdscr) - 1, 0,
        L"Tab move  Space toggle/press  Up/Down/digits edit time  Enter OK  Esc Cancel", cols);
    attrset(A_NORMAL);
    refresh();
}

struct BoxButton {
    int answer;
    const wchar_t* label;
};

std::vector<BoxButton> boxButtons(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {{IDOK, L"OK"}, {IDCANCEL, L"Cancel"}};
    case MB_ABORTRETRYIGNORE:
        return {{IDABORT, L"Abort"}, {IDRETRY, L"Retry"}, {IDIGNORE, L"Ignore"}};
    case MB_YESNOCANCEL:
        return {{IDYES, L"Yes"}, {IDNO, L"No"}, {IDCANCEL, L"Cancel"}};
    case MB_YESNO:
        return {{IDYES, L"Yes"}, {IDNO, L"No"}};
    case MB_RETRYCANCEL:
        return {{IDRETRY, L"Retry"}, {IDCANCEL, L"Cancel"}};
    default:
        return {{IDOK, L"OK"}};
    }
}

std::vector<std::wstring> lines(const std::u16string& text) {
    std::vector<std::wstring> out(1);
    std::u16string part;
    for (char16_t ch : text) {
        if (ch == u'\n') {
            out.back() = wide(part);
            out.emplace_back();
            part.clear();
        } else {
            part += ch;
        }
    }
    out.back() = wide(part);
    return out;
}

int showBox(const std::u16string& text, const std::u16string& caption, UINT type) {
    std::vector<BoxButton> buttons = boxButtons(type);
    std::vector<std::wstring> body = lines(text);
    std::wstring title = wide(caption);
    int selected = 0;
    for (;;) {
        if (Dialog* d = activeDialog())
            drawDialog(*d);
        else
            erase();
        int inner = width(title) + 2;
        for (const std::wstring& l : body)
            inner = std::max(inner, width(l));
        int buttonsWidth = 0;
        for (const BoxButton& b : buttons)
            buttonsWidth += static_cast<int>(std::wcslen(b.label)) + 5;
        inner = std::min(std::max(inner, buttonsWidth), std::max(10, getmaxx(stdscr) - 4));
        int h = static_cast<int>(body.size()) + 4, w = inner + 4;
        int top = std::max(0, (getmaxy(stdscr) - h) / 2),
            left = std::max(0, (getmaxx(stdscr) - w) / 2);
        for (int r = 0; r < h; ++r)
            mvhline(top + r, left, ' ', w);
        mvaddch(top, left, ACS_ULCORNER);
        mvaddch(top, left + w - 1, ACS_URCORNER);
        mvaddch(top + h - 1, left, ACS_LLCORNER);
        mvaddch(top + h - 1, left + w - 1, ACS_LRCORNER);
        mvhline(top, left + 1, ACS_HLINE, w - 2);
        mvhline(top + h - 1, left + 1, ACS_HLINE, w - 2);
        mvvline(top + 1, left, ACS_VLINE, h - 2);
        mvvline(top + 1, left + w - 1, ACS_VLINE, h - 2);
        attrset(A_BOLD);
        put(top, left + 2, L" " + title + L" ", w - 4);
        attrset(A_NORMAL);
        for (size_t i = 0; i < body.size(); ++i)
            put(top + 1 + static_cast<int>(i), left + 2, body[i], inner);
        int at = left + 2 + (inner - buttonsWidth) / 2;
        int buttonRow = top + h - 2;
        std::vector<int> starts;
        for (size_t i = 0; i < buttons.size(); ++i) {
            std::wstring label = L"[ " + std::wstring(buttons[i].label) + L" ]";
            starts.push_back(at);
            attrset(static_cast<int>(i) == selected ? A_REVERSE : A_NORMAL);
            put(buttonRow, at, label, width(label));
            attrset(A_NORMAL);
            at += width(label) + 1;
        }
        refresh();

        wint_t key;
        int kind = readKey(&key);
        if (kind == ERR)
            return defaultAnswer(type);
        if (kind == KEY_CODE_YES) {
            if (key == KEY_LEFT || key == KEY_BTAB || key == KEY_UP)
                selected = (selected + static_cast<int>(buttons.size()) - 1) %
                           static_cast<int>(buttons.size());
            else if (key == KEY_RIGHT || key == KEY_DOWN)
                selected = (selected + 1) % static_cast<int>(buttons.size());
            else if (key == KEY_ENTER)
                return buttons[static_cast<size_t>(selected)].answer;
            else if (key == KEY_MOUSE) {
                MEVENT event;
                if (getmouse(&event) == OK && event.y == buttonRow)
                    for (size_t i = 0; i < buttons.size(); ++i)
                        if (event.x >= starts[i] &&
                            event.x <
                                starts[i] + static_cast<int>(std::wcslen(buttons[i].label)) + 4)
                            return buttons[i].answer;
            }
            continue;
        }
        if (key == L'\t')
            selected = (selected + 1) % static_cast<int>(buttons.size());
        else if (key == L'\n' || key == L'\r' || key == L' ')
            return buttons[static_cast<size_t>(selected)].answer;
        else if (key == 27 || key == 3)
            return defaultAnswer(type);
        else
            for (const BoxButton& b : buttons)
                if (std::towlower(static_cast<wint_t>(b.label[0])) == std::towlower(key))
                    return b.answer;
    }
}

// A click at a screen position: the Done button, a control, or a field of a picker.
void click(Dialog& d, int row, int col) {
    if (row == 0) {
        if (d.doneButton && col >= doneColumn() && col < doneColumn() + 6)
            pressDone(d);
        return;
    }
    int index = controlAt(d, row - kTop, col - kLeft);
    if (index < 0)
        return;
    Control& c = d.controls[static_cast<size_t>(index)];
    if (c.kind == ControlKind::Picker) {
        int field = pickerFieldAt(c, col - kLeft - layoutDialog(d)[static_cast<size_t>(index)].col);
        if (field >= 0)
            c.field = field;
        c.pendingDigit = -1;
    }
    clickControl(d, c.id, nullptr);
}

class TerminalFrontEnd : public DialogFrontEnd {
  public:
    void begin(Dialog&) override {
        if (depth++ > 0)
            return;
        std::setlocale(LC_ALL, "");
        screen = newterm(nullptr, stdout, stdin);
        if (!screen) {
            // A terminal that curses does not know (no or a wrong TERM) still gets the dialog,
            // through the line commands.
            std::fprintf(stderr,
                         "velmora: this terminal cannot show the dialog (TERM=%s); "
                         "reading commands instead: %s\n",
                         std::getenv("TERM") ? std::getenv("TERM") : "", kDialogScriptCommands);
            fallback = makeScriptFrontEnd(std::cin, std::cout, std::cerr);
            return;
        }
        // Raw, so that Ctrl-C cancels the dialog instead of killing it with the terminal
        // left in full-screen mode.
        raw();
        noecho();
        keypad(stdscr, TRUE);
        set_escdelay(25);
        curs_set(0);
        mousemask(BUTTON1_CLICKED | BUTTON1_PRESSED, nullptr);
        mouseinterval(0);
        setMessageBoxPresenter([](HWND, const std::u16string& text, const std::u16string& caption,
                                  UINT type) { return showBox(text, caption, type); });
    }
    bool step(Dialog& d) override {
        if (fallback)
            return fallback->step(d);
        drawDialog(d);
        wint_t key;
        int kind = readKey(&key);
        if (kind == ERR)
            return false;
        if (kind == KEY_CODE_YES) {
            switch (key) {
            case KEY_RESIZE:
                break;
            case KEY_BTAB:
                pressKey(d, "shift-tab", nullptr);
                break;
            case KEY_UP:
                pressKey(d, "up", nullptr);
                break;
            case KEY_DOWN:
                pressKey(d, "down", nullptr);
                break;
            case KEY_LEFT:
                pressKey(d, "left", nullptr);
                break;
            case KEY_RIGHT:
                pressKey(d, "right", nullptr);
                break;
            case KEY_ENTER:
                pressKey(d, "enter", nullptr);
                break;
            case KEY_MOUSE: {
                MEVENT event;
                if (getmouse(&event) == OK && (event.bstate & (BUTTON1_CLICKED | BUTTON1_PRESSED)))
                    click(d, event.y, event.x);
                break;
            }
            default:
                break;
            }
            return true;
        }
        if (key == L'\t')
            pressKey(d, "tab", nullptr);
        else if (key == L' ')
            pressKey(d, "space", nullptr);
        else if (key == L'\n' || key == L'\r')
            pressKey(d, "enter", nullptr);
        else if (key == 27 || key == 3) // Escape, Ctrl-C
            pressKey(d, "escape", nullptr);
        else if (key >= L'0' && key <= L'9') {
            char digit[2] = {static_cast<char>(key), 0};
            pressKey(d, digit, nullptr);
        }
        return true;
    }
    void end(Dialog&) override {
        if (--depth > 0)
            return;
        if (fallback) {
            fallback.reset();
            return;
        }
        setMessageBoxPresenter(nullptr);
        endwin();
        delscreen(screen);
        screen = nullptr;
    }
};

} // namespace

std::shared_ptr<DialogFrontEnd> makeTerminalFrontEnd() {
    return std::make_shared<TerminalFrontEnd>();
}

} // namespace host
