// Switching the cellular radio: one telephony session per switch, one line open per device
// visit, both released on every path once they were obtained.
#include "radio/radio.h"

namespace {

const DWORD kLowVersion = 0x00020000;
const DWORD kHighVersion = 0x00022000;
// How long LINEERR_REINIT is retried before the user is asked whether to keep trying.
const DWORD kReinitWindowMs = 5000;
// The capabilities record as passed to the platform, whatever size its own declaration has.
const DWORD kDevCapsSize = 292;

HLINEAPP lineApp = 0;
DWORD lineDeviceCount = 0;
HINSTANCE radioInstance = 0;
WCHAR message[256];

union DevCapsRecord {
    LINEDEVCAPS caps;
    BYTE raw[kDevCapsSize];
};

void CALLBACK ignoreLineEvent(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

int showTelephonyMessage(LPCWSTR format, LONG result, UINT type) {
    StringCchPrintf(message, sizeof message / sizeof message[0], format, (int)result);
    return MessageBox(GetActiveWindow(), message, TEXT("Error"), type);
}

LONG closeAndFail(HLINE line, LONG result) {
    lineClose(line);
    return result;
}

} // namespace

LONG startTelephony(void) {
    DWORD t0 = GetTickCount();
    LONG result = lineInitialize(&lineApp, radioInstance, ignoreLineEvent, 0, &lineDeviceCount);
    // The platform declares LINEERR_* unsigned; results are signed.
    while (result == (LONG)LINEERR_REINIT) {
        // Elapsed time, so that the window also holds across the tick count's wrap to zero.
        if (GetTickCount() - t0 > kReinitWindowMs) {
            int answer = showTelephonyMessage(TEXT("Fault!\nlineInitialize ret: %d"), result,
                                              MB_RETRYCANCEL);
            if (answer != IDRETRY)
                return result;
            t0 = GetTickCount();
        }
        result = lineInitialize(&lineApp, radioInstance, ignoreLineEvent, 0, &lineDeviceCount);
    }
    return result;
}

LONG switchDevice(DWORD index, BOOL on) {
    if (lineApp == 0)
        return -1;

    DWORD apiVersion = kLowVersion;
    LINEEXTENSIONID extensionId;
    memset(&extensionId, 0, sizeof extensionId);
    LONG result = lineNegotiateAPIVersion(lineApp, index, kLowVersion, kHighVersion, &apiVersion,
                                          &extensionId);
    if (result < 0) {
        showTelephonyMessage(TEXT("lineNegotiateAPIVersion ret: %d"), result, MB_OK);
        return result;
    }

    DevCapsRecord record;
    memset(&record, 0, sizeof record);
    record.caps.dwTotalSize = kDevCapsSize;
    result = lineGetDevCaps(lineApp, index, apiVersion, 0, &record.caps);
    if (result < 0) {
        showTelephonyMessage(TEXT("lineGetDevCaps ret: %d"), result, MB_OK);
        return result;
    }
    if (!(record.caps.dwMediaModes & LINEMEDIAMODE_INTERACTIVEVOICE))
        return -1;

    HLINE line = 0;
    result = lineOpen(lineApp, index, &line, apiVersion, 0, 0, LINECALLPRIVILEGE_OWNER,
                      LINEMEDIAMODE_DATAMODEM, 0);
    if (result < 0) {
        if (line != 0)
            lineClose(line);
        return result;
    }

    DWORD state = 0;
    DWORD radioSupport = 0;
    result = lineGetEquipmentState(line, &state, &radioSupport);
    if (result < 0)
        return closeAndFail(line, result);

    if (!on) {
        if (state == LINEEQUIPSTATE_FULL || state == LINEEQUIPSTATE_RXONLY ||
            state == LINEEQUIPSTATE_TXONLY) {
            if (lineSetEquipmentState(line, LINEEQUIPSTATE_MINIMUM) < 0)
                return closeAndFail(line, -1);
            if (lineUnregister(line) < 0)
                return closeAndFail(line, -1);
        }
    } else if (state == LINEEQUIPSTATE_MINIMUM) {
        if (lineSetEquipmentState(line, LINEEQUIPSTATE_FULL) < 0)
            return closeAndFail(line, -1);
        if (lineRegister(line, LINEREGMODE_AUTOMATIC, 0, LINEOPFORMAT_NONE) < 0)
            return closeAndFail(line, -1);
    }
    return lineClose(line);
}

BOOL switchRadio(HINSTANCE instance, BOOL on) {
    radioInstance = instance;
    LONG result = startTelephony();
    if (result != 0) {
        showTelephonyMessage(TEXT("Fault!\nlineInitialize ret: %d"), result, MB_OK);
        return FALSE;
    }
    for (DWORD index = 0; index < lineDeviceCount; ++index)
        switchDevice(index, on);
    if (lineApp != 0) {
        lineShutdown(lineApp);
        // The session is gone: forget its handle so nothing can use it after this call.
        lineApp = 0;
        lineDeviceCount = 0;
    }
    return TRUE;
}
