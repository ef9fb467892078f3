// The process entry on desktop Win32: the platform hands a wide command line to wWinMain
// (built with -municode); the program's own entry is the phone's WinMain, which the seam
// names phoneWinMain here (phone_rules.h).
#include "win32.h"

int WINAPI phoneWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine,
                        int nShowCmd);

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd) {
    return phoneWinMain(hInstance, hPrevInstance, lpCmdLine, nShowCmd);
}
