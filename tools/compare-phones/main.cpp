// compare-phones: runs the scenario file on a simulated phone and on a phone under Wine, and
// fails on the first step of a scenario after which the two differ, showing both sides.
//
//   compare-phones --wine PREFIX [--only NAME]... [--verbose] SCENARIO-FILE
//   compare-phones --known       the known differences and their reasons
//
// One Wine prefix serves every scenario (its phone is made new between them by deleting its
// keys); each scenario gets a new simulated phone. The last line is "N passed, M failed".
#include "compare.h"
#include "schedule/settings.h"
#include "platform/box_answers.h"
#include "platform/utf8.h"
#include "tools/shared/protocol.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <optional>
#include <sstream>
#include <unistd.h>

namespace {

using compare::Observation;
using compare::Scenario;
using compare::Side;
using compare::Step;

// The program each phone starts: this build's, and the Win32 build's beside the helper.
const char kSimulatedProgram[] = VELMORA_HOST_PROGRAM;

std::string slurp(FILE* file) {
    std::string text;
    std::rewind(file);
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, n);
    return text;
}

// Runs `body` with standard output and error caught; what each said.
template <typename Body> int caught(std::string* out, std::string* err, Body body) {
    std::fflush(stdout);
    std::fflush(stderr);
    FILE* o = std::tmpfile();
    FILE* e = std::tmpfile();
    if (o == nullptr || e == nullptr) {
        std::fprintf(stderr, "compare-phones: no temporary file\n");
        std::exit(2);
    }
    int savedOut = dup(STDOUT_FILENO), savedErr = dup(STDERR_FILENO);
    dup2(fileno(o), STDOUT_FILENO);
    dup2(fileno(e), STDERR_FILENO);
    int status = body();
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(savedOut, STDOUT_FILENO);
    dup2(savedErr, STDERR_FILENO);
    close(savedOut);
    close(savedErr);
    *out = slurp(o);
    *err = slurp(e);
    std::fclose(o);
    std::fclose(e);
    return status;
}

void replaceAll(std::string* text, const std::string& from, const std::string& to) {
    if (from.empty())
        return;
    for (size_t at = text->find(from); at != std::string::npos;
         at = text->find(from, at + to.size()))
        text->replace(at, from.size(), to);
}

// The call log with each process named by its order of appearance (P1, P2, ...): each platform
// numbers its processes itself, and which calls one process made is what counts.
std::string numberedProcesses(const std::string& log) {
    std::vector<std::string> seen;
    std::string out;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        size_t tab = line.find('\t');
        std::string pid = line.substr(0, tab);
        auto at = std::find(seen.begin(), seen.end(), pid);
        if (at == seen.end())
            at = seen.insert(seen.end(), pid);
        out += 'P';
        out += std::to_string(at - seen.begin() + 1);
        if (tab != std::string::npos)
            out += line.substr(tab);
        out += '\n';
    }
    return out;
}

// One phone of the comparison, with what tells its runs apart from the other's.
struct Contender {
    const char* name;
    phone::Phone* phone;
    std::string program;      // the program it starts, as a host path
    std::string programShown; // the same as its pending starts show it

    // The known differences, applied to a text: the program's path and the phone's place.
    std::string plain(std::string text) const {
        replaceAll(&text, oneLine(programShown), "PROGRAM");
        replaceAll(&text, programShown, "PROGRAM");
        replaceAll(&text, phone->where(), "PHONE");
        return text;
    }

    int step(const Step& s, Observation* o) {
        if (s.kind == Step::Verb) {
            const phone::Verb* verb = phone::findVerb(s.words[0]);
            phone::Args args(s.words.begin() + 1, s.words.end());
            o->status = caught(&o->output, &o->errors, [&] { return verb->run(*phone, args); });
        } else {
            std::string why;
            long long pid = 0;
            const std::vector<std::string> args =
                s.kind == Step::Run ? s.words : std::vector<std::string>{};
            // The program's own standard output (a dialog script's dump) is compared.
            std::string said;
            o->status = caught(&said, &o->errors, [&] {
                return phone->runProgram(program, args, s.input, &why, &pid, &o->output);
            });
            if (!why.empty())
                o->output += why + "\n";
        }
        o->output = plain(o->output);
        if (s.kind == Step::Verb && s.words.size() == 2 && s.words[0] == "telephony" &&
            s.words[1] == "calls")
            o->output = numberedProcesses(o->output);
        return o->status;
    }

    // What the phone holds now, in the terms both phones share.
    void observe(Observation* o) {
        std::vector<phone::ListedValue> values;
        LONG status = phone->listValues(SETTINGS_KEY_PATH, &values);
        if (status != ERROR_SUCCESS)
            o->settings.push_back("(cannot be listed: " + phone::statusText(*phone, status) + ")");
        std::vector<std::string> settings;
        for (const phone::ListedValue& v : values) {
            settings.push_back(
                oneLine(utf8Of(v.value.name)) + " type " + std::to_string(v.value.type) + ", " +
                std::to_string(v.value.bytes.size()) + " bytes " + protocol::hex(v.value.bytes) +
                (v.status ? " (unreadable: " + std::to_string(v.status) + ")" : ""));
        }
        // Each registry lists its values in its own order; the values themselves are compared.
        std::sort(settings.begin(), settings.end());
        o->settings.insert(o->settings.end(), settings.begin(), settings.end());

        std::vector<phone::PendingStart> pending;
        status = phone->pendingStarts(&pending);
        if (status != ERROR_SUCCESS)
            o->pending.push_back("(cannot be read: " + phone::statusText(*phone, status) + ")");
        const std::string self = phone->programIdentity(programShown);
        for (const phone::PendingStart& p : pending)
            o->pending.push_back((phone->programIdentity(p.path) == self ? "PROGRAM" : p.path) +
                                 "\t" + p.text);

        std::vector<phone::LineDevice> lines;
        status = phone->lines(&lines);
        if (status != ERROR_SUCCESS)
            o->lines.push_back("(cannot be read: " + phone::statusText(*phone, status) + ")");
        for (const phone::LineDevice& l : lines) {
            char media[16];
            std::snprintf(media, sizeof media, "0x%08x", static_cast<unsigned>(l.mediaModes));
            o->lines.push_back(std::to_string(l.index) + "\t" + l.name + "\t" + media + "\t" +
                               std::to_string(l.equipmentState) + "\t" +
                               (l.registered ? "yes" : "no") + "\t" + l.faults);
        }

        std::vector<phone::MessageRecord> boxes;
        status = phone->messages(&boxes, 0);
        if (status != ERROR_SUCCESS)
            o->boxes.push_back("(cannot be read: " + phone::statusText(*phone, status) + ")");
        for (const phone::MessageRecord& m : boxes)
            o->boxes.push_back("[" + oneLine(m.caption) + "] " + oneLine(m.text) + " type " +
                               std::to_string(m.type) + " -> " + box_answers::answerName(m.answer));
    }
};

std::string realPath(const std::string& path) {
    char resolved[4096];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

int usage() {
    std::fprintf(stderr,
                 "usage: compare-phones --wine PREFIX [--only NAME]... [--verbose] SCENARIO-FILE\n"
                 "       compare-phones --known\n");
    return 2;
}

void useZone(const std::string& zone) {
    setenv("TZ", zone.c_str(), 1);
    tzset();
}

struct Arguments {
    std::string prefix, file;
    std::vector<std::string> only;
    bool verbose = false;
};

// The status to exit with at once (--known, or arguments that make no sense), or nullopt to go
// on and compare.
std::optional<int> readArguments(int argc, char** argv, Arguments* out) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--known") {
            for (const compare::KnownDifference& k : compare::knownDifferences())
                std::printf("%s: %s\n", k.name, k.reason);
            return 0;
        }
        if (a == "--wine" && i + 1 < argc)
            out->prefix = argv[++i];
        else if (a == "--verbose")
            out->verbose = true;
        else if (a == "--only" && i + 1 < argc)
            out->only.push_back(argv[++i]);
        else if (out->file.empty() && a[0] != '-')
            out->file = a;
        else
            return usage();
    }
    if (out->prefix.empty() || out->file.empty())
        return usage();
    return std::nullopt;
}

bool readScenarios(const std::string& file, std::vector<Scenario>* scenarios) {
    std::ifstream in(file);
    if (!in) {
        std::fprintf(stderr, "compare-phones: cannot read '%s'\n", file.c_str());
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    if (!compare::parseScenarios(text.str(), scenarios, &error)) {
        std::fprintf(stderr, "compare-phones: %s: %s\n", file.c_str(), error.c_str());
        return false;
    }
    return true;
}

// What the simulated phone showed, for people writing scenarios.
void showStep(const Step& step, const Observation& a) {
    std::printf("  %s -> %d\n", step.text.c_str(), a.status);
    for (const auto* part : {&a.settings, &a.pending, &a.lines, &a.boxes})
        for (const std::string& line : *part)
            std::printf("      %s\n", line.c_str());
    if (!a.output.empty())
        std::printf("    | %s\n", oneLine(a.output).c_str());
}

void showDifferences(const std::string& file, const Scenario& sc, size_t k,
                     const std::vector<std::string>& found, const Observation& a,
                     const Observation& b) {
    const Step& step = sc.steps[k];
    std::printf("FAIL %s (%s, line %d), after step %zu, line %d: %s\n", sc.name.c_str(),
                file.c_str(), sc.line, k + 1, step.line, step.text.c_str());
    for (const std::string& d : found)
        std::printf("  %s\n", d.c_str());
    for (const auto& [side, errors] :
         {std::pair<const char*, const std::string*>{"simulated", &a.errors}, {"wine", &b.errors}})
        if (!errors->empty())
            std::printf("  standard error, %s:\n    %s\n", side, oneLine(*errors).c_str());
}

// Runs the scenario's steps on both phones, comparing them after each; false at the first
// difference, which is shown.
bool compareSteps(const Arguments& args, const Scenario& sc, Contender& simulatedSide,
                  Contender& wineSide) {
    for (size_t k = 0; k < sc.steps.size(); ++k) {
        const Step& step = sc.steps[k];
        if (step.kind == Step::Zone) {
            useZone(step.words[0]);
            continue;
        }
        Observation a, b;
        if (step.side != Side::Wine)
            simulatedSide.step(step, &a);
        if (step.side != Side::Simulated)
            wineSide.step(step, &b);
        // A step on one side only (an edit planted between steps) compares what follows.
        if (step.side == Side::Simulated)
            b.status = a.status, b.output = a.output;
        if (step.side == Side::Wine)
            a.status = b.status, a.output = b.output;
        simulatedSide.observe(&a);
        wineSide.observe(&b);
        std::vector<std::string> found = compare::differences(a, b);
        if (args.verbose)
            showStep(step, a);
        if (found.empty())
            continue;
        showDifferences(args.file, sc, k, found, a, b);
        return false;
    }
    return true;
}

// One scenario on a new phone on each side: a new store; the prefix's phone keys deleted.
bool runScenario(const Arguments& args, const Scenario& sc, size_t n, const std::string& dir,
                 phone::Phone& wine, Contender& wineSide) {
    const auto scenarioBegan = std::chrono::steady_clock::now();
    std::string store = dir + "/phone-" + std::to_string(n) + ".db";
    setenv("VELMORA_PHONE", store.c_str(), 1);
    control::closePhone();
    std::unique_ptr<phone::Phone> simulated = phone::storePhone();
    useZone("UTC");
    LONG status = simulated->open();
    if (status == ERROR_SUCCESS)
        status = wine.resetPhone();
    if (status != ERROR_SUCCESS) {
        std::printf("FAIL %s: the phones cannot be made new (status %ld)\n", sc.name.c_str(),
                    static_cast<long>(status));
        return false;
    }
    Contender simulatedSide{"simulated", simulated.get(), kSimulatedProgram,
                            realPath(kSimulatedProgram)};
    const bool ok = compareSteps(args, sc, simulatedSide, wineSide);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - scenarioBegan).count();
    if (ok)
        std::printf("ok   %-28s %5.1f s  %s\n", sc.name.c_str(), seconds, sc.about.c_str());
    std::fflush(stdout);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (std::optional<int> status = readArguments(argc, argv, &args))
        return *status;
    std::vector<Scenario> scenarios;
    if (!readScenarios(args.file, &scenarios))
        return 2;

    char dirTemplate[] = "/tmp/compare-phones.XXXXXX";
    const char* dir = mkdtemp(dirTemplate);
    if (dir == nullptr) {
        std::fprintf(stderr, "compare-phones: no temporary folder\n");
        return 2;
    }
    std::unique_ptr<phone::Phone> wine = phone::winePhone(args.prefix);
    if (LONG status = wine->open()) {
        std::fprintf(stderr, "compare-phones: cannot open the Wine phone at '%s' (%s)\n",
                     args.prefix.c_str(), phone::statusText(*wine, status).c_str());
        return 2;
    }
    const std::string wineProgram = phone::win32ProgramFolder() + "/velmora.exe";
    Contender wineSide{"wine", wine.get(), wineProgram, realPath(wineProgram)};

    int passed = 0, failed = 0;
    const auto began = std::chrono::steady_clock::now();
    for (size_t n = 0; n < scenarios.size(); ++n) {
        const Scenario& sc = scenarios[n];
        if (!args.only.empty() &&
            std::find(args.only.begin(), args.only.end(), sc.name) == args.only.end())
            continue;
        if (runScenario(args, sc, n, dir, *wine, wineSide))
            ++passed;
        else
            ++failed;
    }
    control::closePhone();
    wine.reset(); // ends the helper, and the wine server it started
    const double total =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf("compared in %.1f s\n", total);
    std::printf("%d passed, %d failed\n", passed, failed);
    std::string cleanup = std::string("rm -rf '") + dir + "'";
    (void)std::system(cleanup.c_str());
    return failed ? 1 : 0;
}
