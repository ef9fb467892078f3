// The application shell: the entry's run modes, exit codes and the dialog's start.
#ifndef VELMORA_APP_APP_H
#define VELMORA_APP_APP_H

#include "platform/platform.h"
#include "schedule/process.h"

#define TIMED_RUN_COMMAND_LINE TEXT("AppRunAtTime")
// The running dialog's caption, which a second interactive start looks for.
#define DIALOG_CAPTION TEXT("Brindlecap")
// Held from a start's search for the running dialog until its own dialog's window exists.
#define DIALOG_START_LOCK_NAME TEXT("Velmora.DialogStart")

#define EXIT_SETTINGS_FAILED (-1)
#define EXIT_INTERACTIVE 0
#define EXIT_TIMED_RUN 1

// The interactive mode's dialog; returns when the user has closed it.
void runScheduleDialog(void);
// Lets a waiting start look for a dialog again: called once ours has its window, or when it
// cannot have one. Does nothing when this process is not starting a dialog.
void endDialogStart(void);

#endif
