// What the Wine phone's helper needs of the platform beside the phone's controls: the registry
// read with exact bytes, key paths as the phone reads them, and UTF-8 written to the standard
// handles (registry.cpp, output.cpp).
#ifndef VELMORA_TOOLS_STATE_HELPER_H
#define VELMORA_TOOLS_STATE_HELPER_H

#include "platform/platform.h"

#include <string>
#include <string_view>
#include <vector>

// A key path (UTF-8) as the phone reads it: the names between backslashes, empty ones skipped.
std::wstring keyPathOf(std::string_view path);
// A value's type and bytes exactly as stored (asked again when it grows meanwhile); the
// registry's status.
LONG readValueBytes(HKEY key, const std::wstring& name, DWORD* type, std::string* bytes);
// The names of an open key's values or subkeys, in the registry's order; the status that ended
// the listing early, else ERROR_SUCCESS.
enum class Names { Values, Subkeys };
LONG keyNames(HKEY key, Names which, std::vector<std::wstring>* names);
// Deletes a key with everything below it; ERROR_SUCCESS also when it was not there.
LONG deleteKeyTree(const std::wstring& path);
// Asks the registry to write what this process changed to disk now, rather than when it gets
// to it. (Wine's registry takes the request and writes on its own schedule, every half minute
// and when its server ends; see docs/wine.md.)
void flushPhone();

// Writes UTF-8 to standard output or error (STD_OUTPUT_HANDLE, STD_ERROR_HANDLE): the bytes as
// they stand (LF stays LF) to a file or a pipe, wide text to a console.
void writeStd(DWORD which, std::string_view utf8);

#endif
