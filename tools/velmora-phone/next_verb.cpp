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
        return fail("cannot open the settings key (status " + std::to_string(status) + ")", 1);
    // The very line the dialog shows, so that scripts and the dialog never disagree.
    WCHAR line[NEXT_LINE_CHARS];
    formatNextSwitchLine(line, NEXT_LINE_CHARS);
    closeSettings();
    std::printf("%s\n", host::toUtf8(line).c_str());
    return 0;
}

void showNext() {
    if (openSettings() != ERROR_SUCCESS)
        return;
    WCHAR line[NEXT_LINE_CHARS];
    formatNextSwitchLine(line, NEXT_LINE_CHARS);
    closeSettings();
    std::printf("Next switch (as the dialog shows it): %s\n", host::toUtf8(line).c_str());
}

} // namespace phone
