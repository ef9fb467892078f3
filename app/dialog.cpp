// The interactive mode: the schedule dialog, built from dialog template IDD_SCHEDULE and run
// modally. Opening loads the controls from the stored timetable; OK stores them back and arms
// the next wake-up; Cancel leaves everything as it was.
#include "app/dialog.h"

#include "app/app.h"
#include "app/resource.h"
#include "schedule/named_lock.h"
#include "schedule/next_switch.h"
#include "schedule/settings.h"
#include "schedule/timed_run.h"

// A value that could not be stored while the timetable was locked; told once it is let go.
struct FailedWrite {
    WCHAR name[VALUE_NAME_CHARS];
    LONG status;
};
// "Enabled" and the fourteen switch minutes.
#define STORED_VALUE_COUNT (1 + PICKER_COUNT)

static int pickerId(int picker) {
    return IDC_PICKER_FIRST + picker;
}

static SwitchKind pickerKind(int picker) {
    return picker % 2 == 0 ? SwitchOn : SwitchOff;
}

static void enablePickersOfBox(HWND dialog, int box, BOOL enable) {
    EnableWindow(GetDlgItem(dialog, SWITCH_ON_PICKER_OF_BOX(box)), enable);
    EnableWindow(GetDlgItem(dialog, SWITCH_OFF_PICKER_OF_BOX(box)), enable);
}

static BOOL isBoxChecked(HWND dialog, int box) {
    return SendDlgItemMessage(dialog, box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

static void readPickerTime(HWND dialog, int id, SYSTEMTIME* time) {
    SendDlgItemMessage(dialog, id, DTM_GETSYSTEMTIME, 0, (LPARAM)time);
}

static void setPickerTime(HWND dialog, int id, const SYSTEMTIME* time) {
    SendDlgItemMessage(dialog, id, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)time);
}

static void loadPicker(HWND dialog, int picker) {
    int id = pickerId(picker);
    SendDlgItemMessage(dialog, id, DTM_SETFORMAT, 0, (LPARAM)PICKER_FORMAT);

    MinuteOfDay minute = readWeekdayMinute(pickerKind(picker), picker / 2);
    SYSTEMTIME time;
    GetLocalTime(&time);
    // A minute past the day gives an hour the picker refuses, so it keeps what it showed.
    time.wHour = hourOfMinute(minute);
    time.wMinute = (WORD)(minute % 60);
    setPickerTime(dialog, id, &time);
}

static BOOL onInitDialog(HWND dialog) {
    // Our window exists: a start from now on finds it.
    endDialogStart();

    SHINITDLGINFO info;
    info.dwMask = SHIDIM_FLAGS;
    info.hDlg = dialog;
    info.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN;
    SHInitDialog(&info);

    WCHAR flags[DAY_FLAGS_CHARS];
    readDayFlags(flags);
    for (int day = 0; day < WEEKDAY_COUNT; ++day) {
        BOOL takesPart = dayTakesPart(flags, day);
        SendDlgItemMessage(dialog, IDC_DAY_FIRST + day, BM_SETCHECK,
                           takesPart ? BST_CHECKED : BST_UNCHECKED, 0);
        enablePickersOfBox(dialog, IDC_DAY_FIRST + day, takesPart);
    }

    for (int picker = 0; picker < PICKER_COUNT; ++picker)
        loadPicker(dialog, picker);

    WCHAR line[NEXT_LINE_CHARS];
    formatNextSwitchLine(line, NEXT_LINE_CHARS);
    SetDlgItemText(dialog, IDC_NEXT_LINE, line);
    return TRUE;
}

static void onDayBox(HWND dialog, int box) {
    enablePickersOfBox(dialog, box, isBoxChecked(dialog, box));
}

// Copies Sunday's times and check state to every other day; which pickers are enabled is left
// as it was until the boxes are clicked.
static void onToAll(HWND dialog) {
    if (MessageBox(dialog, TO_ALL_QUESTION, TO_ALL_CAPTION, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    // Zeroed, so that a picker that answers without a time passes on one the others refuse.
    SYSTEMTIME sundayOn, sundayOff;
    memset(&sundayOn, 0, sizeof(sundayOn));
    memset(&sundayOff, 0, sizeof(sundayOff));
    readPickerTime(dialog, pickerId(0), &sundayOn);
    for (int day = 1; day < WEEKDAY_COUNT; ++day)
        setPickerTime(dialog, pickerId(2 * day), &sundayOn);
    readPickerTime(dialog, pickerId(1), &sundayOff);
    for (int day = 1; day < WEEKDAY_COUNT; ++day)
        setPickerTime(dialog, pickerId(2 * day + 1), &sundayOff);
    LRESULT sundayState = SendDlgItemMessage(dialog, IDC_DAY_FIRST, BM_GETCHECK, 0, 0);
    for (int day = 1; day < WEEKDAY_COUNT; ++day)
        SendDlgItemMessage(dialog, IDC_DAY_FIRST + day, BM_SETCHECK, (WPARAM)sundayState, 0);
}

static void onAbout(HWND dialog) {
    MessageBox(dialog, ABOUT_TEXT, ABOUT_CAPTION, MB_OK | MB_ICONINFORMATION);
}

static void noteFailure(FailedWrite* failed, int* count, LPCWSTR name, LONG status) {
    if (status == ERROR_SUCCESS || *count >= STORED_VALUE_COUNT)
        return;
    StringCchCopy(failed[*count].name, VALUE_NAME_CHARS, name);
    failed[*count].status = status;
    ++*count;
}

// Every value is written even when an earlier write failed. Returns how many failed, noted in
// `failed` (room for STORED_VALUE_COUNT).
static int storeControls(HWND dialog, FailedWrite* failed) {
    int failures = 0;
    WCHAR flags[DAY_FLAGS_CHARS];
    for (int day = 0; day < WEEKDAY_COUNT; ++day)
        flags[day] = isBoxChecked(dialog, IDC_DAY_FIRST + day) ? TEXT('1') : TEXT('0');
    flags[WEEKDAY_COUNT] = 0;
    noteFailure(failed, &failures, DAY_FLAGS_VALUE, setDayFlags(flags));

    for (int picker = 0; picker < PICKER_COUNT; ++picker) {
        SYSTEMTIME time;
        memset(&time, 0, sizeof(time));
        readPickerTime(dialog, pickerId(picker), &time);
        // As large as the failure note's copy, which reads up to that many characters.
        WCHAR name[VALUE_NAME_CHARS];
        formatSwitchName(name, VALUE_NAME_CHARS, pickerKind(picker), picker / 2);
        noteFailure(failed, &failures, name,
                    setSwitchMinute(name, (MinuteOfDay)time.wHour * 60 + time.wMinute));
    }
    return failures;
}

// OK: the timetable is stored and the next start registered under the timetable lock, so that
// a timed run at the same moment registers either before the store or from the new timetable.
// The notices of failed writes and of a refused registration follow the release.
static void storeAndArm(HWND dialog) {
    FailedWrite failed[STORED_VALUE_COUNT];
    NamedLock lock;
    takeNamedLock(&lock, TIMETABLE_LOCK_NAME);
    int failures = storeControls(dialog, failed);
    DWORD timerError = 0;
    BOOL armed = registerNextStart(&timerError);
    releaseNamedLock(&lock);

    reportNamedLockFailure(&lock);
    for (int i = 0; i < failures; ++i)
        reportWriteFailure(failed[i].name, failed[i].status);
    if (!armed)
        showErrorNotice(TIMER_FAILED_NOTICE, (int)timerError);
}

static BOOL onCommand(HWND dialog, int id) {
    if (id >= IDC_DAY_FIRST && id < IDC_DAY_FIRST + WEEKDAY_COUNT) {
        onDayBox(dialog, id);
        return FALSE;
    }
    switch (id) {
    case IDC_TO_ALL:
        onToAll(dialog);
        return FALSE;
    case IDC_ABOUT:
        onAbout(dialog);
        return FALSE;
    case IDOK:
        storeAndArm(dialog);
        EndDialog(dialog, IDOK);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK scheduleDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(dialog);
    case WM_COMMAND:
        return onCommand(dialog, LOWORD(wParam));
    case WM_DESTROY:
        return TRUE;
    }
    return FALSE;
}

void runScheduleDialog(void) {
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = COMMON_CONTROLS_RECORD_SIZE;
    controls.dwICC = ICC_DATE_CLASSES;
    InitCommonControlsEx(&controls);

    HRSRC found = FindResource(appInstance, MAKEINTRESOURCE(IDD_SCHEDULE), RT_DIALOG);
    HGLOBAL loaded = found != NULL ? LoadResource(appInstance, found) : NULL;
    LPCDLGTEMPLATE dialogTemplate = loaded != NULL ? (LPCDLGTEMPLATE)LockResource(loaded) : NULL;
    // Without its template, or when the platform cannot build it, the dialog cannot open; the
    // user is told instead of being left with nothing on the screen.
    if (dialogTemplate == NULL) {
        endDialogStart();
        showErrorNotice(TEXT("Cannot find the schedule dialog"), (int)GetLastError());
        return;
    }
    INT_PTR result =
        DialogBoxIndirectParam(appInstance, dialogTemplate, NULL, scheduleDialogProc, 0);
    DWORD error = GetLastError();
    endDialogStart();
    if (result == -1)
        showErrorNotice(TEXT("Cannot open the schedule dialog"), (int)error);
}
