// The comparison of two phones, without Wine: the scenario table people extend, the file's
// grammar, and how a difference is shown.
#include "tools/compare-phones/compare.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using compare::Observation;
using compare::Scenario;
using compare::Side;
using compare::Step;

std::vector<Scenario> theTable() {
    std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/tools/compare-phones/scenarios");
    std::stringstream text;
    text << in.rdbuf();
    std::vector<Scenario> scenarios;
    std::string error;
    EXPECT_TRUE(compare::parseScenarios(text.str(), &scenarios, &error)) << error;
    return scenarios;
}

// Whether some step of some scenario starts with these words.
bool anyStep(const std::vector<Scenario>& table, const std::vector<std::string>& words) {
    for (const Scenario& s : table)
        for (const Step& step : s.steps) {
            std::vector<std::string> written = step.words;
            if (step.kind == Step::Run)
                written.insert(written.begin(), "run");
            if (written.size() >= words.size() &&
                std::equal(words.begin(), words.end(), written.begin()))
                return true;
        }
    return false;
}

TEST(CompareScenarios, TheTableCoversWhatBothPhonesMustAgreeOn) {
    std::vector<Scenario> table = theTable();
    EXPECT_GE(table.size(), 30u);
    // A fault on every operation the telephony offers.
    for (line_rules::LineOperation op : line_rules::kOperations) {
        const std::string operation = line_rules::operationName(op);
        bool found = false;
        for (const Scenario& s : table)
            for (const Step& step : s.steps)
                found = found || (step.words.size() == 5 && step.words[0] == "line" &&
                                  step.words[2] == "fail" && step.words[3] == operation);
        EXPECT_TRUE(found) << "no scenario sets a fault on " << operation;
    }
    // The timed runs the program is most easily wrong about, REINIT answered both ways, and
    // whole spans simulated in records.
    for (const std::vector<std::string>& words :
         std::vector<std::vector<std::string>>{{"run", "AppRunAtTime"},
                                               {"reg", "set", "S1", "dword", "1500"},
                                               {"reg", "set", "Enabled", "sz", "0000000"},
                                               {"reg", "set", "Enabled", "sz", "01"},
                                               {"reg", "set", "C2", "dword", "1440"},
                                               {"reinit", "1000"},
                                               {"reinit", "for"},
                                               {"answer", "retry"},
                                               {"answer", "cancel"},
                                               {"telephony", "fail"}})
        EXPECT_TRUE(anyStep(table, words)) << "no step '" << words[0] << " " << words[1] << "'";
    // The dialog through its script: edits on several days, To All both ways, About, OK and
    // Cancel, each somewhere in the table.
    std::string scripts;
    for (const Scenario& s : table)
        for (const Step& step : s.steps)
            if (step.kind == Step::Dialog)
                scripts += step.input;
    for (const char* line : {"click 1024\n", "answer yes\n", "answer no\n", "click 1025\n", "ok\n",
                             "cancel\n", "dump\n", "set 1015 ", "set 1013 ", "set 1009 "})
        EXPECT_NE(std::string::npos, scripts.find(line)) << "no dialog script has " << line;
    int weeks = 0;
    for (const Scenario& s : table)
        for (const Step& step : s.steps)
            if (step.kind == Step::Verb && step.words[0] == "simulate" &&
                std::find(step.words.begin(), step.words.end(), "--tsv") != step.words.end())
                ++weeks;
    EXPECT_GE(weeks, 3);
    // Planted edits belong in the tests, not in the table that must pass.
    for (const Scenario& s : table)
        for (const Step& step : s.steps)
            EXPECT_EQ(Side::Both, step.side) << s.name << " line " << step.line;
}

TEST(CompareScenarios, StepsAreReadAsWritten) {
    std::vector<Scenario> scenarios;
    std::string error;
    ASSERT_TRUE(compare::parseScenarios("# a comment\n"
                                        "scenario one: what it shows\n"
                                        "  clock set \"2026-12-14 07:00\"\n"
                                        "  run AppRunAtTime\n"
                                        "  dialog\n"
                                        "  | click 1001\n"
                                        "  | ok\n"
                                        "  zone Europe/Berlin\n"
                                        "  on wine: line 0 state 1\n"
                                        "scenario two\n"
                                        "  on simulated: reg set S1 dword 1\n",
                                        &scenarios, &error))
        << error;
    ASSERT_EQ(2u, scenarios.size());
    const Scenario& one = scenarios[0];
    EXPECT_EQ("one", one.name);
    EXPECT_EQ("what it shows", one.about);
    ASSERT_EQ(5u, one.steps.size());
    EXPECT_EQ((std::vector<std::string>{"clock", "set", "2026-12-14 07:00"}), one.steps[0].words);
    EXPECT_EQ(Step::Run, one.steps[1].kind);
    EXPECT_EQ(std::vector<std::string>{"AppRunAtTime"}, one.steps[1].words);
    EXPECT_EQ(Step::Dialog, one.steps[2].kind);
    EXPECT_EQ("click 1001\nok\n", one.steps[2].input);
    EXPECT_EQ(Step::Zone, one.steps[3].kind);
    EXPECT_EQ(Side::Wine, one.steps[4].side);
    EXPECT_EQ(9, one.steps[4].line);
    EXPECT_EQ(Side::Simulated, scenarios[1].steps[0].side);
}

TEST(CompareScenarios, AMalformedFileNamesItsLine) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"  clock\n", "line 1: a step before the first scenario"},
        {"scenario a\n  frobnicate 1\n", "line 2: 'frobnicate' is no console verb"},
        {"scenario a\n  reg set X sz \"open\n", "line 2: an unclosed quote"},
        {"scenario a\n  | click 1\n", "line 2: a script line"},
        {"scenario a\n  dialog now\n", "line 2: 'dialog' takes its script"},
        {"scenario a\n  zone\n", "line 2: 'zone' names one time zone"},
        {"scenario a\n  on wine: zone UTC\n", "line 2: both phones share"},
        {"scenario a\nscenario b\n  clock\n", "line 1: scenario 'a' has no steps"},
        {"scenario a\n  clock\nscenario a\n  clock\n", "line 3: a second scenario named 'a'"},
        {"scenario two words: x\n  clock\n", "line 1: a scenario's name is one word"},
    };
    for (const Case& c : cases) {
        std::vector<Scenario> scenarios;
        std::string error;
        EXPECT_FALSE(compare::parseScenarios(c.text, &scenarios, &error)) << c.text;
        EXPECT_EQ(0u, error.rfind(c.error, 0)) << c.text << " gave: " << error;
    }
}

TEST(CompareScenarios, WordsKeepTheirQuotedBlanks) {
    struct Case {
        const char* text;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {"reg set Note sz \"two  words\"", {"reg", "set", "Note", "sz", "two  words"}},
        {"reg set Empty sz \"\"", {"reg", "set", "Empty", "sz", ""}},
        {"a\t b  \"c \\\" d\" e\"f g\"", {"a", "b", "c \" d", "ef g"}},
        {"reg set Path sz \"C:\\\\x\"", {"reg", "set", "Path", "sz", "C:\\x"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words;
        EXPECT_TRUE(compare::splitWords(c.text, &words)) << c.text;
        EXPECT_EQ(c.words, words) << c.text;
    }
}

Observation alike() {
    Observation o;
    o.output = "summary\t6\t3\t3\t0\t0\t0\n";
    o.settings = {"Enabled type 1, 14 bytes 31003100300030003000300031000000",
                  "S1 type 4, 4 bytes a4010000"};
    o.pending = {"PROGRAM\t2026-12-14 07:00:00"};
    o.lines = {"0\tCellular Line\t0x00000014\t1\tno\t-"};
    o.boxes = {"[Error] Fault! type 0 -> ok"};
    o.errors = "not compared";
    return o;
}

TEST(CompareScenarios, EachDifferenceShowsBothSides) {
    Observation a = alike(), b = alike();
    b.errors = "something else";
    EXPECT_TRUE(compare::differences(a, b).empty());

    b.settings[1] = "S1 type 4, 4 bytes a5010000";
    b.status = 1;
    b.boxes.push_back("[Error] again type 0 -> ok");
    std::vector<std::string> found = compare::differences(a, b);
    ASSERT_EQ(3u, found.size());
    EXPECT_NE(std::string::npos, found[0].find("exit status"));
    EXPECT_NE(std::string::npos, found[1].find("the settings differ at line 2"));
    EXPECT_NE(std::string::npos, found[1].find("simulated: S1 type 4, 4 bytes a4010000"));
    EXPECT_NE(std::string::npos, found[1].find("wine:      S1 type 4, 4 bytes a5010000"));
    EXPECT_NE(std::string::npos, found[2].find("wine:      [Error] again"));
    EXPECT_NE(std::string::npos, found[2].find("simulated: (nothing)"));
}

TEST(CompareScenarios, EveryKnownDifferenceSaysWhy) {
    for (const compare::KnownDifference& k : compare::knownDifferences()) {
        EXPECT_STRNE("", k.name);
        EXPECT_GT(std::string(k.reason).size(), 20u) << k.name;
    }
}

} // namespace
