// The telephony calls whose declarations differ between the platforms (the app name's type, the
// wide names of desktop Win32), as the shared rules answer them; each layer's entry points hand
// their arguments on. The other calls are declared alike everywhere and defined once, in
// telephony.cpp.
#ifndef VELMORA_PHONE_TELEPHONY_H
#define VELMORA_PHONE_TELEPHONY_H

#include "platform/phone/state.h"

namespace phone_telephony {

// lineInitialize; LINEERR_NODRIVER, unlogged, when the phone's telephony cannot be set up.
LONG initialize(LPHLINEAPP app, LINECALLBACK callback, LPDWORD deviceCount);
// lineGetDevCaps, in UTF-16 (STRINGFORMAT_UNICODE).
LONG devCaps(HLINEAPP app, DWORD device, DWORD apiVersion, DWORD extVersion, LPLINEDEVCAPS caps);
// lineOpen.
LONG open(HLINEAPP app, DWORD device, LPHLINE line, DWORD apiVersion, DWORD extVersion,
          DWORD privileges, DWORD mediaModes);

} // namespace phone_telephony

#endif
