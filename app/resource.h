// Resource and control ids, shared by the resource script and the code.
#ifndef VELMORA_APP_RESOURCE_H
#define VELMORA_APP_RESOURCE_H

#define IDI_APP 101
#define IDD_SCHEDULE 102

// Check box of weekday i: IDC_DAY_FIRST + i. Picker j = 0..13: IDC_PICKER_FIRST + j, weekday
// j / 2, the switch-on picker when j is even.
#define IDC_DAY_FIRST 1000
#define IDC_PICKER_FIRST 1009
#define IDC_NEXT_LINE 1023
#define IDC_TO_ALL 1024
#define IDC_ABOUT 1025

// The style and version constants that the resource script uses. On the device the platform's
// own headers give them; on a development host the resource compiler has nothing to include, so
// they are defined here, for the resource compiler only.
#ifdef RC_INVOKED
// The predefined static class by its ordinal: the host's resource compiler writes a class named
// in quotes as a string, and the icon control's size is only kept on a CONTROL statement.
#define STATIC_CLASS_ORDINAL 0x0082
#ifndef _WIN32_WCE
#define IDOK 1
#define IDCANCEL 2

#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_CAPTION 0x00C00000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_EX_STATICEDGE 0x00020000L

#define DS_SETFONT 0x40L
#define DS_SETFOREGROUND 0x200L

#define BS_PUSHBUTTON 0x0L
#define BS_DEFPUSHBUTTON 0x1L
#define BS_AUTOCHECKBOX 0x3L
#define BS_GROUPBOX 0x7L
#define SS_LEFT 0x0L
#define SS_ICON 0x3L

#define DTS_UPDOWN 0x0001L
#define DTS_TIMEFORMAT 0x0009L

#define LANG_CHINESE 0x04
#define SUBLANG_CHINESE_SIMPLIFIED 0x02
#define VS_VERSION_INFO 1
#define VS_FFI_FILEFLAGSMASK 0x0000003FL
#define VOS_WINCE 0x00050000L
#define VFT_APP 0x00000001L
#define VFT2_UNKNOWN 0x00000000L
#endif
#endif

#endif
