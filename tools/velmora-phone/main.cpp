// velmora-phone: picks the phone (the simulated phone's store, or with --wine PREFIX a Wine
// prefix) and runs one verb on it.
#include "phone.h"

#include <cstdio>
#include <cstring>
#include <optional>

namespace phone {

static void usage(FILE* out) {
    std::fprintf(out, "usage: velmora-phone [--wine PREFIX] VERB ...\n");
    for (const Verb& v : verbs())
        std::fprintf(out, "  velmora-phone %s\n", v.usage);
    std::fprintf(
        out,
        "The phone lives in $VELMORA_PHONE, else in $XDG_STATE_HOME/velmora/phone.db.\n"
        "With --wine PREFIX it is the Wine prefix PREFIX (prepared when it does not exist\n"
        "yet), reached through the Win32 build in %s ($VELMORA_WIN32_BIN names another).\n",
        win32ProgramFolder().c_str());
}

} // namespace phone

int main(int argc, char** argv) {
    // --wine PREFIX first: the phone is picked before the verb, and only when asked for, so that
    // a VELMORA_WINEPREFIX left in the environment never switches the console by itself.
    std::optional<std::string> winePrefix;
    if (argc >= 2 && !std::strcmp(argv[1], "--wine")) {
        if (argc < 3 || !*argv[2])
            return phone::fail("--wine needs the prefix: velmora-phone --wine PREFIX VERB ...");
        winePrefix = argv[2];
        argv += 2;
        argc -= 2;
    }
    if (argc < 2) {
        phone::usage(stderr);
        return 2;
    }
    if (!std::strcmp(argv[1], "help") || !std::strcmp(argv[1], "--help") ||
        !std::strcmp(argv[1], "-h")) {
        phone::usage(stdout);
        return 0;
    }
    phone::Args args(argv + 2, argv + argc);
    if (const phone::Verb* v = phone::findVerb(argv[1])) {
        std::unique_ptr<phone::Phone> phone =
            winePrefix ? phone::winePhone(*winePrefix) : phone::storePhone();
        if (LONG status = phone->open())
            return phone::failStatus(*phone, "open the phone at '" + phone->where() + "'", status);
        return v->run(*phone, args);
    }
    return phone::fail(std::string("unknown verb '") + argv[1] + "' (try velmora-phone help)");
}
