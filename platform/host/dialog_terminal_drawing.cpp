// The dialog drawn on the terminal: a title bar with the caption and Done, each control where
// the layout puts it (boxes, buttons, pickers field by field, group frames), and a line of key
// help at the bottom.
#include "dialog_terminal.h"
#include "host.h"

#include <algorithm>
#include <ncurses.h>

namespace host::terminal {
namespace {

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

const wchar_t* const kDoneLabel = L"[Done]";

// The brackets and each field, the field the keys act on reversed while the picker has the
// focus.
void drawPicker(const Control& c, const CellRect& r, int row, int col, attr_t attr, bool focused) {
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
}

void drawGroupBox(const CellRect& r, int row, int col, const std::wstring& text) {
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
}

void drawControl(const Control& c, const CellRect& r, bool focused) {
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
    case ControlKind::Picker:
        drawPicker(c, r, row, col, attr, focused);
        break;
    case ControlKind::Icon:
        put(row, col, L"(o)", r.cols);
        break;
    case ControlKind::GroupBox:
        drawGroupBox(r, row, col, text);
        break;
    default:
        put(row, col, text, r.cols);
        break;
    }
    attrset(A_NORMAL);
}

} // namespace

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

int doneColumn() {
    return std::max(0, getmaxx(stdscr) - 7);
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
                drawControl(d.controls[i], rects[i], static_cast<int>(i) == d.focus);
    attrset(A_DIM);
    put(getmaxy(stdscr) - 1, 0,
        L"Tab move  Space toggle/press  Up/Down/digits edit time  Enter OK  Esc Cancel", cols);
    attrset(A_NORMAL);
    refresh();
}

} // namespace host::terminal
