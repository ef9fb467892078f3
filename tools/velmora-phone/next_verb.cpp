#include "phone.h"
#include "schedule/next_switch.h"
#include "schedule/settings.h"

#include <cstdio>

namespace phone {

int nextVerb(const Args& args) {
    if (!args.empty())
        return fail("usage: next");
    LONG status = openSettings();
    if (status != ERROR_SUCCESS)
        return failStatus("open the settings key", status);
    // The very line the dialog shows, so that scripts and the dialog never disagree.
    WCHAR line[NEXT_LINE_CHARS];
    formatNextSwitchLine(line, NEXT_LINE_CHARS);
    closeSettings();
    std::printf("%s\n", host::toUtf8(line).c_str());
    return 0;
}

LONG showNext() {
    LONG status = openSettings();
    if (status != ERROR_SUCCESS) {
        std::printf("Next switch: (the settings key cannot be opened: %s)\n",
                    statusText(status).c_str());
        return status;
    }
    WCHAR line[NEXT_LINE_CHARS];
    formatNextSwitchLine(line, NEXT_LINE_CHARS);
    closeSettings();
    std::printf("Next switch (as the dialog shows it): %s\n", host::toUtf8(line).c_str());
    return ERROR_SUCCESS;
}

} // namespace phone
