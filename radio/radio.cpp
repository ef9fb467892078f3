#include "radio/radio.h"

// Placeholder until the radio switch lands: no session is started.
BOOL switchRadio(HINSTANCE, BOOL) {
    return FALSE;
}
LONG startTelephony(void) {
    return -1;
}
LONG switchDevice(DWORD, BOOL) {
    return -1;
}
