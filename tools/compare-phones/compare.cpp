// The scenario file, the comparison of what two phones show, and the known differences.
#include "compare.h"

#include <sstream>

namespace compare {

const std::vector<KnownDifference>& knownDifferences() {
    // The one list of what may differ between the two phones, each with its reason. Everything
    // not named here is compared as it stands.
    static const std::vector<KnownDifference> known = {
        {"program path",
         "each phone starts its own build of the program (build*/velmora on the simulated phone, "
         "build*-win64/bin/velmora.exe under Wine, shown by the console as the host path Wine's "
         "drive Z: maps to); both are written PROGRAM before they are compared"},
        {"where the phone lives",
         "a store file on one side, a Wine prefix on the other; both are written PHONE"},
        {"process ids",
         "each platform numbers its own processes: the boxes are compared without them, and the "
         "call log (`telephony calls`) names each process by its order of appearance, P1, P2, "
         "..."},
        {"a time the picker refuses",
         "the pinned clock is the program's, not Wine's: Wine's own date-time picker does not "
         "see it, so a time it refuses leaves it on Wine's real clock; the table sets no such "
         "time (it is not written away, so a scenario that sets one fails)"},
        {"the script's key command",
         "`key` drives the simulated phone's own dialog manager; under Wine the script has no "
         "such command, so the table uses click and set only (a scenario with key fails)"},
        {"standard error",
         "a box with nobody to answer it is written to standard error by the program itself, "
         "which under Wine reaches the helper's standard error and not the verb's; it is shown "
         "with a difference but not compared"},
    };
    return known;
}

bool splitWords(const std::string& text, std::vector<std::string>* out) {
    out->clear();
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        if (i >= text.size())
            break;
        std::string word;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t') {
            if (text[i] != '"') {
                word += text[i++];
                continue;
            }
            // A quoted stretch: blanks kept, \" and \\ stand for themselves.
            ++i;
            bool closed = false;
            while (i < text.size()) {
                if (text[i] == '\\' && i + 1 < text.size() &&
                    (text[i + 1] == '"' || text[i + 1] == '\\')) {
                    word += text[i + 1];
                    i += 2;
                } else if (text[i] == '"') {
                    ++i;
                    closed = true;
                    break;
                } else {
                    word += text[i++];
                }
            }
            if (!closed)
                return false;
        }
        out->push_back(word);
    }
    return true;
}

namespace {

std::string trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

} // namespace

bool parseScenarios(const std::string& text, std::vector<Scenario>* out, std::string* error) {
    out->clear();
    std::istringstream in(text);
    std::string raw;
    int number = 0;
    auto bad = [&](const std::string& why) {
        *error = "line " + std::to_string(number) + ": " + why;
        return false;
    };
    while (std::getline(in, raw)) {
        ++number;
        std::string line = trimmed(raw);
        if (line.empty() || line[0] == '#')
            continue;
        if (line.rfind("scenario ", 0) == 0) {
            Scenario s;
            s.line = number;
            std::string rest = trimmed(line.substr(9));
            size_t colon = rest.find(':');
            s.name = trimmed(rest.substr(0, colon));
            if (colon != std::string::npos)
                s.about = trimmed(rest.substr(colon + 1));
            if (s.name.empty() || s.name.find(' ') != std::string::npos)
                return bad("a scenario's name is one word: scenario NAME: what it shows");
            for (const Scenario& other : *out)
                if (other.name == s.name)
                    return bad("a second scenario named '" + s.name + "'");
            out->push_back(s);
            continue;
        }
        if (out->empty())
            return bad("a step before the first scenario");
        std::vector<Step>& steps = out->back().steps;
        if (line[0] == '|') {
            // A line of the dialog script of the step above.
            if (steps.empty() || steps.back().kind != Step::Dialog)
                return bad("a script line ('| ...') belongs below a 'dialog' step");
            steps.back().input += trimmed(line.substr(1)) + "\n";
            continue;
        }
        Step step;
        step.line = number;
        step.text = line;
        if (line.rfind("on simulated:", 0) == 0 || line.rfind("on wine:", 0) == 0) {
            step.side = line[3] == 's' ? Side::Simulated : Side::Wine;
            line = trimmed(line.substr(line.find(':') + 1));
        }
        if (!splitWords(line, &step.words) || step.words.empty())
            return bad("an unclosed quote");
        const std::string verb = step.words[0];
        if (verb == "run" || verb == "dialog" || verb == "zone") {
            step.kind = verb == "run" ? Step::Run : verb == "dialog" ? Step::Dialog : Step::Zone;
            step.words.erase(step.words.begin());
            if (step.kind == Step::Dialog && !step.words.empty())
                return bad("'dialog' takes its script on the lines below it, each after '|'");
            if (step.kind == Step::Zone && step.words.size() != 1)
                return bad("'zone' names one time zone, as TZ does");
            if (step.kind == Step::Zone && step.side != Side::Both)
                return bad("both phones share the host's zone");
        } else if (!phone::findVerb(verb)) {
            return bad("'" + verb + "' is no console verb, nor run, dialog or zone");
        }
        steps.push_back(step);
    }
    for (const Scenario& s : *out)
        if (s.steps.empty()) {
            number = s.line;
            return bad("scenario '" + s.name + "' has no steps");
        }
    return true;
}

namespace {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        out.push_back(line);
    return out;
}

// Where two lists part: the first line that differs, or the one that only one side has.
void compareLists(const char* part, const std::vector<std::string>& a,
                  const std::vector<std::string>& b, std::vector<std::string>* out) {
    if (a == b)
        return;
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    std::string text = std::string(part) + " at line " + std::to_string(i + 1) + ":\n";
    text += "    simulated: " + (i < a.size() ? a[i] : std::string("(nothing)")) + "\n";
    text += "    wine:      " + (i < b.size() ? b[i] : std::string("(nothing)"));
    if (a.size() != b.size())
        text += "\n    (" + std::to_string(a.size()) + " lines against " +
                std::to_string(b.size()) + ")";
    out->push_back(text);
}

} // namespace

std::vector<std::string> differences(const Observation& simulated, const Observation& wine) {
    std::vector<std::string> out;
    if (simulated.status != wine.status)
        out.push_back(
            "the exit status differs:\n    simulated: " + std::to_string(simulated.status) +
            "\n    wine:      " + std::to_string(wine.status));
    compareLists("the output differs", splitLines(simulated.output), splitLines(wine.output), &out);
    compareLists("the settings differ", simulated.settings, wine.settings, &out);
    compareLists("the pending starts differ", simulated.pending, wine.pending, &out);
    compareLists("the lines differ", simulated.lines, wine.lines, &out);
    compareLists("the boxes differ", simulated.boxes, wine.boxes, &out);
    return out;
}

} // namespace compare
