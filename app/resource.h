// Resource and control ids, shared by the resource script and the code.
#ifndef VELMORA_APP_RESOURCE_H
#define VELMORA_APP_RESOURCE_H

#define IDI_APP 101
#define IDD_SCHEDULE 102

// Check box of weekday i: IDC_DAY_FIRST + i. Picker j = 0..13: IDC_PICKER_FIRST + j, weekday
// j / 2, the switch-on picker when j is even.
#define IDC_DAY_FIRST 1000
#define IDC_PICKER_FIRST 1009
#define IDC_NEXT_LINE 1023
#define IDC_TO_ALL 1024
#define IDC_ABOUT 1025

#endif
