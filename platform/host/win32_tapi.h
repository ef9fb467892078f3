// Filled in with the phone's telephony operations (TAPI and its cellular extension).
#ifndef VELMORA_HOST_WIN32_TAPI_H
#define VELMORA_HOST_WIN32_TAPI_H

#include "win32_core.h"

#endif
