// The one seam between the utility and the phone. The portable code includes this header and
// nothing else. It resolves to one of three platforms:
// - the phone (Windows CE): the platform's own headers;
// - desktop Win32 (built with mingw-w64, run under Wine): the platform's headers, the calls only
//   the phone has, and the phone's rules where the desktop behaves otherwise (platform/win32/);
// - the simulated phone on a development host (platform/host/), chosen by the build with
//   VELMORA_SIMULATED_PHONE.
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
#elif defined(_WIN32)
#include <windows.h>
#include <strsafe.h>
#include <commctrl.h>
#include <tapi.h>
#include "phone_only.h"
#include "win32/phone_rules.h"
#elif defined(VELMORA_SIMULATED_PHONE)
#include "host/win32_core.h"
#include "host/win32_tapi.h"
#include "host/win32_resource.h"
#include "host/win32_dialog.h"
#include "phone_only.h"
#else
#error "Unknown platform: build for the phone, for Win32, or define VELMORA_SIMULATED_PHONE"
#endif

#endif
