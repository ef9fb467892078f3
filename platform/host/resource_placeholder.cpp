// Stand-in until the resource operations land: no resource is ever found.
#include "win32_core.h"
#include "win32_resource.h"

HRSRC FindResourceW(HMODULE, LPCWSTR, LPCWSTR) {
    SetLastError(1814);
    return nullptr;
}
HGLOBAL LoadResource(HMODULE, HRSRC) {
    return nullptr;
}
LPVOID LockResource(HGLOBAL hResData) {
    return hResData;
}
DWORD SizeofResource(HMODULE, HRSRC) {
    return 0;
}
