// The weekly timetable's home: one registry key, read value by value whenever it is needed.
#ifndef VELMORA_SCHEDULE_SETTINGS_H
#define VELMORA_SCHEDULE_SETTINGS_H

#include "platform/platform.h"

// Minutes after local midnight; 0-1439 in normal use, but stored values are never clamped.
typedef DWORD MinuteOfDay;

enum SwitchKind { SwitchOn, SwitchOff };

#define SETTINGS_ROOT HKEY_LOCAL_MACHINE
#define SETTINGS_KEY_PATH TEXT("\\SOFTWARE\\QuillmarshSoft\\Velmora")
#define DAY_FLAGS_VALUE TEXT("Enabled")
#define DEFAULT_DAY_FLAGS TEXT("1100001")
#define SWITCH_ON_NAME_FORMAT TEXT("S%d")
#define SWITCH_OFF_NAME_FORMAT TEXT("C%d")
#define DEFAULT_SWITCH_ON_MINUTE 420
#define DEFAULT_SWITCH_OFF_MINUTE 0

#define WEEKDAY_COUNT 7
// Seven flags and room for a terminator; only positions 0-6 are ever looked at.
#define DAY_FLAGS_CHARS 8
#define DAY_FLAGS_READ_BYTES 16
// "S6" and its terminator, with room to spare.
#define SWITCH_NAME_CHARS 4
// The longest value name, "Enabled", and its terminator.
#define VALUE_NAME_CHARS 8

LONG openSettings(void);
void closeSettings(void);

// A day takes part only when its flag is the character '1'.
BOOL dayTakesPart(const WCHAR* flags, int weekday);
void formatSwitchName(WCHAR* name, size_t capacity, SwitchKind kind, int weekday);

// The hour of a minute as a record's 16-bit hour. An hour beyond that range saturates instead
// of wrapping into a real hour, so that the platform refuses it like any other impossible time.
WORD hourOfMinute(MinuteOfDay minute);

BOOL readDayFlags(WCHAR* flags);
MinuteOfDay readSwitchMinute(LPCWSTR name);
MinuteOfDay readWeekdayMinute(SwitchKind kind, int weekday);

// Each stores one value; FALSE when the registry refused it, after its notice has been shown.
BOOL writeDayFlags(LPCWSTR flags);
BOOL writeSwitchMinute(LPCWSTR name, MinuteOfDay minute);
// The same without the notice: the registry's status code, for a caller that must tell the
// user later (it holds a lock meanwhile) through reportWriteFailure.
LONG setDayFlags(LPCWSTR flags);
LONG setSwitchMinute(LPCWSTR name, MinuteOfDay minute);
void reportWriteFailure(LPCWSTR name, LONG status);

#endif
