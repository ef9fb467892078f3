// The calls and records only the phone has: the notification service's timed start, the Pocket
// PC shell's full-screen dialog, and the cellular extension's equipment state and network
// registration. Declared here once, for every layer that is not the phone itself; each layer
// defines them (platform/host/, platform/win32/). Included by platform/platform.h after the
// platform's core and telephony types, which these declarations use.
#ifndef VELMORA_PHONE_ONLY_H
#define VELMORA_PHONE_ONLY_H

// Timed start of an executable: at that local time the phone starts the program with the
// command line APP_RUN_AT_TIME. One pending start per executable: a new call replaces it, a null
// time cancels it. FALSE with the last error set when the call is refused.
BOOL CeRunAppAtTime(LPCWSTR pwszAppName, const SYSTEMTIME* lpTime);
#define APP_RUN_AT_TIME TEXT("AppRunAtTime")

// The Pocket PC shell: a dialog made full screen, with a Done (OK) button in its title bar.
typedef struct tagSHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
} SHINITDLGINFO, *PSHINITDLGINFO;
#define SHIDIM_FLAGS 0x0001
#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIZEDLG 0x0002
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
#define SHIDIF_SIPDOWN 0x0008
#define SHIDIF_FULLSCREENNOMENUBAR 0x0010
#define SHIDIF_EMPTYMENU 0x0020
BOOL SHInitDialog(PSHINITDLGINFO pshidi);

// Cellular extension: equipment (radio) state and network registration of an open line.
#define LINEEQUIPSTATE_MINIMUM 0x00000001
#define LINEEQUIPSTATE_RXONLY 0x00000002
#define LINEEQUIPSTATE_TXONLY 0x00000003
#define LINEEQUIPSTATE_NOTXRX 0x00000004
#define LINEEQUIPSTATE_FULL 0x00000005

#define LINERADIOSUPPORT_OFF 0x00000001
#define LINERADIOSUPPORT_ON 0x00000002
#define LINERADIOSUPPORT_UNKNOWN 0x00000003

#define LINEREGMODE_AUTOMATIC 0x00000001
#define LINEREGMODE_MANUAL 0x00000002
#define LINEREGMODE_MANAUTO 0x00000003

#define LINEOPFORMAT_NONE 0x00000000
#define LINEOPFORMAT_ALPHASHORT 0x00000001
#define LINEOPFORMAT_ALPHALONG 0x00000002
#define LINEOPFORMAT_NUMERIC 0x00000004

LONG WINAPI lineGetEquipmentState(HLINE hLine, LPDWORD lpdwState, LPDWORD lpdwRadioSupport);
LONG WINAPI lineSetEquipmentState(HLINE hLine, DWORD dwState);
LONG WINAPI lineRegister(HLINE hLine, DWORD dwRegisterMode, LPCWSTR lpszOperator,
                         DWORD dwOperatorFormat);
LONG WINAPI lineUnregister(HLINE hLine);

#endif
