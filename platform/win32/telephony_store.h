// The Wine phone's telephony keys, for the layer's telephony (telephony_store.cpp keeps them;
// telephony.cpp answers the controls from them). Within the layer only.
#ifndef VELMORA_WIN32_TELEPHONY_STORE_H
#define VELMORA_WIN32_TELEPHONY_STORE_H

#include "win32.h"

#include "platform/phone/state.h"

namespace winphone {

inline constexpr wchar_t kLinesKey[] = L"Lines";
inline constexpr wchar_t kTelephonyKey[] = L"Telephony";
inline constexpr wchar_t kHandlesKey[] = L"Telephony\\Handles";
inline constexpr wchar_t kCallsKey[] = L"Telephony\\Calls";

std::wstring lineKey(DWORD index);
std::wstring faultsKey(DWORD index);
// The name of the call log's record number `id`: eight digits.
std::wstring callRecordName(DWORD id);
// Seeds a new phone's lines once; ERROR_SUCCESS, else why they cannot be.
LONG telephonyReady();
// A device exists while its State is there, even when what it holds cannot be read: the
// device is then listed with that error, and the devices after it still count.
bool deviceExists(DWORD index);
// The devices there are, by index, lowest first: a key "Lines\N" a person deleted leaves a gap,
// and the devices after it are still the phone's, as a row deleted from the simulated phone's
// table leaves the others.
std::vector<DWORD> deviceIndices();
DWORD deviceCount();
// Writes a whole device; the registry's status.
LONG writeLine(DWORD index, const std::wstring& name, DWORD media, DWORD state);

} // namespace winphone

#endif
