// The console's verbs, by name: what `velmora-phone VERB` runs, and what tools that drive a
// phone through the console (the comparison of two phones) run in-process.
#include "phone.h"

#include <cstring>

namespace phone {
namespace {

const std::vector<Verb> kVerbs = {
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
    {"backup", "backup FILE", backupVerb},
    {"restore", "restore FILE", restoreVerb},
};

} // namespace

const std::vector<Verb>& verbs() {
    return kVerbs;
}

const Verb* findVerb(const std::string& name) {
    for (const Verb& v : kVerbs)
        if (name == v.name)
            return &v;
    return nullptr;
}

} // namespace phone
