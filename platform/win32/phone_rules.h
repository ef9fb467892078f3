// Where the phone behaves otherwise than desktop Win32, the calls the portable code makes are
// routed here, in one place, to the layer's own functions (platform/win32/), which apply the
// phone's rule and leave the rest to the platform:
// - RegCreateKeyEx: the phone accepts a key path that starts with a backslash, and it ignores
//   access masks; desktop Win32 refuses the first and honours the second.
// - RegSetValueEx: the phone stores a string value with exactly the bytes given; desktop Win32
//   adds a terminator the caller did not count.
// - GetLocalTime: the phone's clock can be pinned, for every process on it.
// - GetTickCount: the tick count can run virtually, so that retry windows pass at once.
// - MessageBox: every box is recorded; with nobody at a console it takes the queued answer.
// - WinMain: the phone's entry takes a wide command line; desktop Win32 declares WinMain with a
//   narrow one and starts a wide program at wWinMain. The program's entry is renamed, and the
//   layer's wWinMain (process_main.cpp) calls it.
// Included by platform/platform.h after the platform's headers; the layer's own sources include
// the platform's headers directly and so call the platform itself.
#ifndef VELMORA_WIN32_PHONE_RULES_H
#define VELMORA_WIN32_PHONE_RULES_H

LONG WINAPI phoneRegCreateKeyEx(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                                DWORD dwOptions, REGSAM samDesired,
                                LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                                LPDWORD lpdwDisposition);
LONG WINAPI phoneRegSetValueEx(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                               const BYTE* lpData, DWORD cbData);
void WINAPI phoneGetLocalTime(LPSYSTEMTIME lpSystemTime);
DWORD WINAPI phoneGetTickCount(void);
int WINAPI phoneMessageBox(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);
int WINAPI phoneWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine,
                        int nShowCmd);

#undef RegCreateKeyEx
#define RegCreateKeyEx phoneRegCreateKeyEx
#undef RegSetValueEx
#define RegSetValueEx phoneRegSetValueEx
#define GetLocalTime phoneGetLocalTime
#define GetTickCount phoneGetTickCount
#undef MessageBox
#define MessageBox phoneMessageBox
#define WinMain phoneWinMain

#endif
