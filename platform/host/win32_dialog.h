// Filled in with the phone's dialog, control and common-control operations.
#ifndef VELMORA_HOST_WIN32_DIALOG_H
#define VELMORA_HOST_WIN32_DIALOG_H

#include "win32_core.h"

#endif
