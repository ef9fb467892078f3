// Switching the cellular radio on or off on every interactive-voice line.
#ifndef VELMORA_RADIO_RADIO_H
#define VELMORA_RADIO_RADIO_H

#include "platform/platform.h"

// 1 when the telephony session was started, 0 when starting it failed.
BOOL switchRadio(HINSTANCE instance, BOOL on);
LONG startTelephony(void);
LONG switchDevice(DWORD index, BOOL on);

#endif
