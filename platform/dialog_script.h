// The dialog script: the line commands that drive a running dialog from standard input
// (click, set, answer, key, dump, snap, ok, cancel). One parser and one command set for every
// platform layer, acting only through the platform's own window calls (GetDlgItem, SendMessage
// with BM_CLICK, BM_GETCHECK and the picker's DTM_ messages, IsWindowEnabled, GetWindowText,
// GetClassName, GetDlgCtrlID, GetWindow, GetFocus, SetFocus), so that the simulated phone's
// dialog manager and a real one serve it alike. It runs in the dialog's own process: picker
// messages carry pointers, which do not cross processes.
#ifndef VELMORA_PLATFORM_DIALOG_SCRIPT_H
#define VELMORA_PLATFORM_DIALOG_SCRIPT_H

#include "platform/platform.h"

#include <string>
#include <string_view>

// Runs one line against the running dialog; a dump is appended to *out. Blank lines and lines
// starting with # do nothing. False, changing nothing, with one printable line in *error when
// the line cannot be carried out; false also when a line for this dialog is still running
// (the caller then keeps its line for later).
bool runDialogScriptLine(HWND dialog, std::string_view line, std::string* out, std::string* error);

// Whether a line for this dialog is running now. Commands run strictly one at a time: a line
// may open a message box, whose own modal loop goes on delivering the layer's input ticks,
// and such a tick must start nothing until the line has finished.
bool dialogScriptBusy(HWND dialog);

// The commands, as the complaint about an unknown one lists them.
extern const char* const kDialogScriptCommands;

// Provided by each platform layer.
//
// Queues the answer (IDYES, IDNO or IDOK) for this process's next message box; the layer
// takes back the answers no box used when the dialog ends.
void dialogScriptAnswer(int answer);
// Writes a PNG picture of the dialog as it stands to `path`; false with a one-line reason when
// no picture can be taken here or the file cannot be written.
bool dialogScriptSnap(HWND dialog, std::string_view path, std::string* error);
// Presses a named key in the dialog as a person at the device would; false with a one-line
// reason when the key is unknown or the layer has no keyboard to offer.
bool dialogScriptKey(HWND dialog, std::string_view name, std::string* error);

#endif
