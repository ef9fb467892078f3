// Filled in with the phone's resource operations.
#ifndef VELMORA_HOST_WIN32_RESOURCE_H
#define VELMORA_HOST_WIN32_RESOURCE_H

#include "win32_core.h"

#endif
