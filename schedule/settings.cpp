#include "schedule/settings.h"

#include "schedule/process.h"

static HKEY settingsKey = NULL;

LONG openSettings(void) {
    return RegCreateKeyEx(SETTINGS_ROOT, SETTINGS_KEY_PATH, 0, NULL, 0, 0, NULL, &settingsKey,
                          NULL);
}

void closeSettings(void) {
    if (settingsKey != NULL)
        RegCloseKey(settingsKey);
    settingsKey = NULL;
}

BOOL dayTakesPart(const WCHAR* flags, int weekday) {
    return weekday >= 0 && weekday < WEEKDAY_COUNT && flags[weekday] == TEXT('1');
}

void formatSwitchName(WCHAR* name, size_t capacity, SwitchKind kind, int weekday) {
    StringCchPrintf(name, capacity,
                    kind == SwitchOn ? SWITCH_ON_NAME_FORMAT : SWITCH_OFF_NAME_FORMAT, weekday);
}

BOOL readDayFlags(WCHAR* flags) {
    DWORD bytes = DAY_FLAGS_READ_BYTES;
    LONG status = RegQueryValueEx(settingsKey, DAY_FLAGS_VALUE, NULL, NULL, (LPBYTE)flags, &bytes);
    if (status != ERROR_SUCCESS) {
        StringCchCopy(flags, DAY_FLAGS_CHARS, DEFAULT_DAY_FLAGS);
        return TRUE;
    }
    // Weekdays the stored text does not reach (and a trailing odd byte) do not take part.
    for (DWORD i = bytes / sizeof(WCHAR); i < DAY_FLAGS_CHARS; ++i)
        flags[i] = TEXT('0');
    return TRUE;
}

MinuteOfDay readSwitchMinute(LPCWSTR name) {
    // Zeroed first, so that a number stored with fewer than four bytes reads with zero upper bytes.
    MinuteOfDay minute = 0;
    DWORD bytes = sizeof(minute);
    if (RegQueryValueEx(settingsKey, name, NULL, NULL, (LPBYTE)&minute, &bytes) != ERROR_SUCCESS)
        return name[0] == TEXT('S') ? DEFAULT_SWITCH_ON_MINUTE : DEFAULT_SWITCH_OFF_MINUTE;
    return minute;
}

MinuteOfDay readWeekdayMinute(SwitchKind kind, int weekday) {
    WCHAR name[SWITCH_NAME_CHARS];
    formatSwitchName(name, SWITCH_NAME_CHARS, kind, weekday);
    return readSwitchMinute(name);
}

WORD hourOfMinute(MinuteOfDay minute) {
    MinuteOfDay hour = minute / 60;
    return (WORD)(hour > 0xFFFF ? 0xFFFF : hour);
}

void reportWriteFailure(LPCWSTR name, LONG status) {
    WCHAR text[128];
    StringCchPrintf(text, sizeof text / sizeof text[0], TEXT("往註冊表內寫入設定時出錯！\n%s"),
                    name);
    showErrorNotice(text, status);
}

LONG setDayFlags(LPCWSTR flags) {
    // The terminator is not stored: seven flags are 14 bytes.
    DWORD bytes = (DWORD)(lstrlen(flags) * sizeof(WCHAR));
    return RegSetValueEx(settingsKey, DAY_FLAGS_VALUE, 0, REG_SZ, (const BYTE*)flags, bytes);
}

LONG setSwitchMinute(LPCWSTR name, MinuteOfDay minute) {
    return RegSetValueEx(settingsKey, name, 0, REG_DWORD, (const BYTE*)&minute, sizeof(minute));
}

BOOL writeDayFlags(LPCWSTR flags) {
    LONG status = setDayFlags(flags);
    if (status != ERROR_SUCCESS) {
        reportWriteFailure(DAY_FLAGS_VALUE, status);
        return FALSE;
    }
    return TRUE;
}

BOOL writeSwitchMinute(LPCWSTR name, MinuteOfDay minute) {
    LONG status = setSwitchMinute(name, minute);
    if (status != ERROR_SUCCESS) {
        reportWriteFailure(name, status);
        return FALSE;
    }
    return TRUE;
}
