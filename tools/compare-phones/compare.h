// The two phones held against each other: scenarios run on a simulated phone and on a phone
// under Wine, step by step, through the console's own verbs, and what each phone holds after
// every step compared. A difference points at a misreading on one side.
#ifndef VELMORA_TOOLS_COMPARE_H
#define VELMORA_TOOLS_COMPARE_H

#include "tools/shared/console.h"

#include <string>
#include <vector>

namespace compare {

enum class Side { Both, Simulated, Wine };

// One step of a scenario: a console verb, a start of the program (with arguments, or with a
// dialog script on its standard input), or a setting of the comparison itself.
struct Step {
    enum Kind { Verb, Run, Dialog, Zone } kind = Verb;
    Side side = Side::Both;
    std::vector<std::string> words; // the verb and its arguments; the program's arguments; the zone
    std::string input;              // a dialog's script, one command a line
    int line = 0;                   // where it stands in the scenario file
    std::string text;               // as written, for people
};

struct Scenario {
    std::string name;
    std::string about;
    std::vector<Step> steps;
    int line = 0;
};

// Reads the scenario file; false with the reason and line on a malformed one.
bool parseScenarios(const std::string& text, std::vector<Scenario>* out, std::string* error);
// Splits a step into words: blanks separate them, "double quotes" keep blanks, \" and \\ inside
// quotes stand for themselves.
bool splitWords(const std::string& text, std::vector<std::string>* out);

// What one side showed after a step: each part a list of lines, compared line by line.
struct Observation {
    int status = 0;
    std::string output;                // the verb's standard output, known differences applied
    std::vector<std::string> settings; // NAME TYPE BYTES HEX, by name
    std::vector<std::string> pending;  // PROGRAM TIME
    std::vector<std::string> lines;    // as `lines` shows them
    std::vector<std::string> boxes;    // caption, text, type, answer
    std::string errors;                // standard error, shown with a difference, not compared
};

// Each part that differs: its name, and both sides' lines where they part.
std::vector<std::string> differences(const Observation& simulated, const Observation& wine);

// A difference between the phones that is known and has its reason; everything else is still
// compared. Each is applied to both sides' text the same way.
struct KnownDifference {
    const char* name;
    const char* reason;
};
const std::vector<KnownDifference>& knownDifferences();

} // namespace compare

#endif
