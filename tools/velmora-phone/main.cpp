// velmora-phone: picks the phone (the simulated phone's store) and runs one verb on it.
#include "phone.h"

#include <cstdio>
#include <cstring>

namespace phone {

const Verb kVerbs[] = {
    {"show", "show", showVerb},
    {"reg", "reg get NAME | reg set NAME sz|dword|binary VALUE | reg delete NAME", regVerb},
    {"clock", "clock | clock set \"YYYY-MM-DD HH:MM[:SS]\" | clock follow", clockVerb},
    {"messages", "messages | messages clear", messagesVerb},
    {"answer", "answer ok|cancel|retry|yes|no|abort|ignore", answerVerb},
    {"next", "next", nextVerb},
    {"lines", "lines", linesVerb},
    {"line",
     "line N state 1-5 | line N media HEX | line N register yes|no | line N fail OPERATION CODE "
     "| line N heal | line N remove | line add NAME MEDIA-HEX STATE",
     lineVerb},
    {"reinit", "reinit COUNT | reinit for MILLISECONDS", reinitVerb},
    {"telephony",
     "telephony | telephony leaks [clear] | telephony calls [clear] | telephony fail CODE | "
     "telephony heal",
     telephonyVerb},
    {"tick", "tick | tick virtual STEP-MS [START] | tick real", tickVerb},
    {"pending", "pending", pendingVerb},
    {"run", "run [--until \"YYYY-MM-DD HH:MM[:SS]\"] [--tsv]", runVerb},
    {"simulate",
     "simulate --days N | --until \"YYYY-MM-DD HH:MM[:SS]\" [--off \"FROM\" \"TO\"]... [--svg "
     "FILE] [--tsv]",
     simulateVerb},
};

static void usage(FILE* out) {
    std::fprintf(out, "usage: velmora-phone VERB ...\n");
    for (const Verb& v : kVerbs)
        std::fprintf(out, "  velmora-phone %s\n", v.usage);
    std::fprintf(out,
                 "The phone lives in $VELMORA_PHONE, else in $XDG_STATE_HOME/velmora/phone.db.\n");
}

} // namespace phone

int main(int argc, char** argv) {
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
    for (const phone::Verb& v : phone::kVerbs) {
        if (std::strcmp(v.name, argv[1]) != 0)
            continue;
        std::unique_ptr<phone::Phone> phone = phone::storePhone();
        if (LONG status = phone->open())
            return phone::failStatus(*phone, "open the phone at '" + phone->where() + "'", status);
        return v.run(*phone, args);
    }
    return phone::fail(std::string("unknown verb '") + argv[1] + "' (try velmora-phone help)");
}
