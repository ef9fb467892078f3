// The schedule dialog: one row per weekday with its switch-on and switch-off times, the next
// switch, and the buttons that copy Sunday to every day, tell about the program, store or cancel.
#ifndef VELMORA_APP_DIALOG_H
#define VELMORA_APP_DIALOG_H

#include "platform/platform.h"

#define TO_ALL_QUESTION TEXT("Apply Sun setting. Yes ?")
#define TO_ALL_CAPTION TEXT("Q:")
#define ABOUT_CAPTION TEXT("Hi")
#define ABOUT_TEXT                                                                                 \
    TEXT("VANTROLE V1.0\n")                                                                        \
    TEXT("Tick the days that switch, set when the radio goes on and off, then Ok.\n")              \
    TEXT("Written by QuillmarshSoft for Velmora.")
#define PICKER_FORMAT TEXT("H':'mm' '")
#define PICKER_COUNT 14
#define COMMON_CONTROLS_RECORD_SIZE 8

// Pickers of the check box with id b: switch-on 2b - 991, switch-off 2b - 990.
#define SWITCH_ON_PICKER_OF_BOX(b) (2 * (b)-991)
#define SWITCH_OFF_PICKER_OF_BOX(b) (2 * (b)-990)

INT_PTR CALLBACK scheduleDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
