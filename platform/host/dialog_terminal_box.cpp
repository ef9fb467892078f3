// Message boxes on the terminal: a framed pop-up over the dialog with the caption, the text and
// a row of buttons, answered with the arrows and Enter, a button's first letter, or the mouse.
#include "dialog_terminal.h"
#include "host.h"

#include <algorithm>
#include <cwctype>
#include <ncurses.h>

namespace host::terminal {
namespace {

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

struct Box {
    std::wstring title;
    std::vector<std::wstring> body;
    std::vector<BoxButton> buttons;
    int selected = 0;
    // Where the buttons were last drawn, for the mouse.
    int buttonRow = 0;
    std::vector<int> buttonStarts;
};

void drawFrame(int top, int left, int h, int w) {
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
}

// The box centred over the dialog, sized to its text and buttons within the screen.
void drawBox(Box& box) {
    if (Dialog* d = activeDialog())
        drawDialog(*d);
    else
        erase();
    int inner = width(box.title) + 2;
    for (const std::wstring& l : box.body)
        inner = std::max(inner, width(l));
    int buttonsWidth = 0;
    for (const BoxButton& b : box.buttons)
        buttonsWidth += static_cast<int>(std::wcslen(b.label)) + 5;
    inner = std::min(std::max(inner, buttonsWidth), std::max(10, getmaxx(stdscr) - 4));
    int h = static_cast<int>(box.body.size()) + 4, w = inner + 4;
    int top = std::max(0, (getmaxy(stdscr) - h) / 2), left = std::max(0, (getmaxx(stdscr) - w) / 2);
    drawFrame(top, left, h, w);
    attrset(A_BOLD);
    put(top, left + 2, L" " + box.title + L" ", w - 4);
    attrset(A_NORMAL);
    for (size_t i = 0; i < box.body.size(); ++i)
        put(top + 1 + static_cast<int>(i), left + 2, box.body[i], inner);
    int at = left + 2 + (inner - buttonsWidth) / 2;
    box.buttonRow = top + h - 2;
    box.buttonStarts.clear();
    for (size_t i = 0; i < box.buttons.size(); ++i) {
        std::wstring label = L"[ " + std::wstring(box.buttons[i].label) + L" ]";
        box.buttonStarts.push_back(at);
        attrset(static_cast<int>(i) == box.selected ? A_REVERSE : A_NORMAL);
        put(box.buttonRow, at, label, width(label));
        attrset(A_NORMAL);
        at += width(label) + 1;
    }
    refresh();
}

// What a function key does: moves the selection, or answers (Enter, a click on a button).
// 0 when the box stays open.
int functionKey(Box& box, wint_t key) {
    const int count = static_cast<int>(box.buttons.size());
    if (key == KEY_LEFT || key == KEY_BTAB || key == KEY_UP)
        box.selected = (box.selected + count - 1) % count;
    else if (key == KEY_RIGHT || key == KEY_DOWN)
        box.selected = (box.selected + 1) % count;
    else if (key == KEY_ENTER)
        return box.buttons[static_cast<size_t>(box.selected)].answer;
    else if (key == KEY_MOUSE) {
        MEVENT event;
        if (getmouse(&event) == OK && event.y == box.buttonRow)
            for (size_t i = 0; i < box.buttons.size(); ++i)
                if (event.x >= box.buttonStarts[i] &&
                    event.x < box.buttonStarts[i] +
                                  static_cast<int>(std::wcslen(box.buttons[i].label)) + 4)
                    return box.buttons[i].answer;
    }
    return 0;
}

// What a typed key does: Tab moves the selection, Enter and Space press it, Escape and Ctrl-C
// give the safe answer, a button's first letter presses that button. 0 when the box stays open.
int typedKey(Box& box, wint_t key, UINT type) {
    if (key == L'\t')
        box.selected = (box.selected + 1) % static_cast<int>(box.buttons.size());
    else if (key == L'\n' || key == L'\r' || key == L' ')
        return box.buttons[static_cast<size_t>(box.selected)].answer;
    else if (key == 27 || key == 3)
        return defaultAnswer(type);
    else
        for (const BoxButton& b : box.buttons)
            if (std::towlower(static_cast<wint_t>(b.label[0])) == std::towlower(key))
                return b.answer;
    return 0;
}

} // namespace

int showBox(const std::u16string& text, const std::u16string& caption, UINT type) {
    Box box;
    box.title = wide(caption);
    box.body = lines(text);
    box.buttons = boxButtons(type);
    for (;;) {
        drawBox(box);
        wint_t key;
        int kind = readKey(&key);
        if (kind == ERR)
            return defaultAnswer(type);
        int answer = kind == KEY_CODE_YES ? functionKey(box, key) : typedKey(box, key, type);
        if (answer != 0)
            return answer;
    }
}

} // namespace host::terminal
