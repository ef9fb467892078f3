// The simulated phone's telephony tables, for the layer's telephony (telephony_store.cpp keeps
// them, telephony_calls.cpp writes a call's unit; telephony.cpp answers the controls from them).
// Within the layer only.
#ifndef VELMORA_HOST_TELEPHONY_STORE_H
#define VELMORA_HOST_TELEPHONY_STORE_H

#include "host.h"

#include "platform/phone/state.h"

namespace host {

// Sets the telephony's tables up once per process; the store's status when it cannot.
LONG telephonyReady();
// Whether this process has found the tables set up.
bool telephonyTablesReady();
// The number of devices, or -1 when the store cannot say.
long long deviceCount();
// A device's row (idx, name, media, state, registered): ERROR_SUCCESS with the row,
// ERROR_BAD_UNIT when the phone has no such line, else the store's status.
LONG readDeviceRow(DWORD index, std::vector<Row>* rows);
// A device as the console lists it, faults aside; the row is left bad when a column is.
control::LineDevice deviceFromRow(Row& row);
// A knob kept as a setting: a decimal number from lowest to highest, or nullopt when unset.
// A setting that holds anything else is ERROR_BADDB, as a bad row is.
LONG numberSetting(const char* name, std::optional<long long>* out, long long lowest,
                   long long highest);
// Sets a column of an existing device; ERROR_BAD_UNIT when there is none, else the store's
// status.
LONG updateLine(DWORD index, const char* column, long long value);
// Writes the log entries that wait (see telephony_store.cpp) now.
void writeWaitingEntriesNow();
// Forgets this process's waiting entries, as the log they were for is cleared.
void dropWaitingEntries();

} // namespace host

#endif
