// What the terminal interface's files share: the screen's layout around the dialog, text as
// curses draws it, the dialog drawn whole, keys as read, and message boxes as pop-ups.
#ifndef VELMORA_HOST_DIALOG_TERMINAL_H
#define VELMORA_HOST_DIALOG_TERMINAL_H

#include "dialog_manager.h"

#include <string>
#include <string_view>
#include <cwchar>

namespace host::terminal {

const int kTop = 1;  // the title bar takes the first row
const int kLeft = 1; // a margin column

// A text as curses takes it: wide characters, with line breaks and tabs as spaces.
std::wstring wide(std::u16string_view text);
// The cells a text takes on the screen.
int width(const std::wstring& text);
// Draws at most `cols` cells of text.
void put(int row, int col, const std::wstring& text, int cols);
// Where the title bar's Done button is drawn: its first column; it is six cells wide.
int doneColumn();
// The title bar, the controls and the key help, drawn afresh.
void drawDialog(const Dialog& dialog);

// One key: OK with a character, KEY_CODE_YES with a function key, or ERR at the end of input.
int readKey(wint_t* key);

// A message box over the dialog, answered with the keys or the mouse; the box's answer.
int showBox(const std::u16string& text, const std::u16string& caption, UINT type);

} // namespace host::terminal

#endif
