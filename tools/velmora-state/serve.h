// velmora-state serve: the helper that answers a console run's requests (serve.cpp).
#ifndef VELMORA_TOOLS_STATE_SERVE_H
#define VELMORA_TOOLS_STATE_SERVE_H

#include "platform/win32/win32.h"

#include <string>

// A value's type and bytes exactly as stored (asked again when it grows meanwhile).
LONG readValueBytes(HKEY key, const std::wstring& name, DWORD* type, std::string* bytes);

// Answers requests on standard input until its end; the exit status.
int serve();

#endif
