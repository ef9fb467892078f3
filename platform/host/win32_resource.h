// Filled in with the phone's resource operations.
#ifndef VELMORA_HOST_WIN32_RESOURCE_H
#define VELMORA_HOST_WIN32_RESOURCE_H

#include "win32_core.h"

// Stand-in declarations until the resource operations land (the dialog branch needs them).
#define RT_DIALOG MAKEINTRESOURCE(5)
HRSRC FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo);
LPVOID LockResource(HGLOBAL hResData);
DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo);
#define FindResource FindResourceW

#endif
