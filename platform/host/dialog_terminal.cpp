// The dialog's full-screen terminal interface (ncurses): the front-end that sets up the screen,
// draws the dialog before each key, turns keys and mouse clicks into the dialog's input, and
// shows message boxes as pop-ups while the dialog runs. A terminal curses does not know gets
// the line commands instead.
#include "dialog_terminal.h"
#include "host.h"
#include "platform/dialog_script.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <ncurses.h>

namespace host {
namespace terminal {

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

} // namespace terminal

namespace {

using terminal::kLeft;
using terminal::kTop;

int depth = 0;
SCREEN* screen = nullptr;
std::shared_ptr<DialogFrontEnd> fallback;

// A click at a screen position: the Done button, a control, or a field of a picker.
void click(Dialog& d, int row, int col) {
    if (row == 0) {
        if (d.doneButton && col >= terminal::doneColumn() && col < terminal::doneColumn() + 6)
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

void functionKey(Dialog& d, wint_t key) {
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
}

void typedKey(Dialog& d, wint_t key) {
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
                                  UINT type) { return terminal::showBox(text, caption, type); });
    }
    bool step(Dialog& d) override {
        if (fallback)
            return fallback->step(d);
        terminal::drawDialog(d);
        wint_t key;
        int kind = terminal::readKey(&key);
        if (kind == ERR)
            return false;
        if (kind == KEY_CODE_YES)
            functionKey(d, key);
        else
            typedKey(d, key);
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
