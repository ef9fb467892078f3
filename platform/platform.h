// The one seam between the utility and the phone. The portable code includes this header and
// nothing else; on the device it resolves to the platform's own headers, on a development host
// to the simulated phone in platform/host/.
#ifndef VELMORA_PLATFORM_H
#define VELMORA_PLATFORM_H

#if defined(_WIN32_WCE)
#include <windows.h>
#include <strsafe.h>
#include <tapi.h>
#include <extapi.h>
#include <commctrl.h>
#include <aygshell.h>
#include <notify.h>
#else
#include "host/win32_core.h"
#include "host/win32_tapi.h"
#include "host/win32_resource.h"
#include "host/win32_dialog.h"
#endif

#endif
