// The console's verbs over a phone of the test's own: everything they print comes from what the
// phone interface gives, so another phone can stand behind them unchanged.
#include "tools/velmora-phone/phone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

using namespace phone;

// Answers from its fields; with `supported` off, every call is ERROR_NOT_SUPPORTED.
class ScriptedPhone final : public Phone {
  public:
    bool supported = true;
    std::vector<RegistryValue> values;
    ClockReading clock;
    std::string nextLine = "Next : None";
    std::vector<MessageRecord> boxes;
    std::vector<LineDevice> lineList;
    std::vector<PendingStart> pending;
    std::vector<Refusal> refused;
    // What a start of a program does to the phone; its exit status.
    std::function<int(ScriptedPhone&, const std::string&)> onStart;

    std::string where() const override { return "scripted"; }
    LONG open() override { return answer(); }
    std::string problem() const override { return supported ? "" : "not on this phone"; }

    LONG readValue(const std::u16string&, const std::u16string& name, RegistryValue* out) override {
        if (!supported)
            return answer();
        for (const RegistryValue& v : values)
            if (v.name == name) {
                *out = v;
                return ERROR_SUCCESS;
            }
        return ERROR_FILE_NOT_FOUND;
    }
    LONG listValues(const std::u16string&, std::vector<ListedValue>* out) override {
        out->clear();
        for (const RegistryValue& v : supported ? values : std::vector<RegistryValue>{})
            out->push_back({v, ERROR_SUCCESS, ""});
        return answer();
    }
    LONG writeValue(const std::u16string&, const RegistryValue& v) override {
        if (supported)
            values.push_back(v);
        return answer();
    }
    LONG deleteValue(const std::u16string&, const std::u16string&) override { return answer(); }
    LONG nextSwitchLine(std::string* line) override {
        *line = nextLine;
        return answer();
    }
    LONG readClock(ClockReading* out) override {
        *out = clock;
        return answer();
    }
    LONG pinClock(const std::optional<SYSTEMTIME>& at) override {
        if (supported && at) {
            clock.now = *at;
            clock.pinned = true;
        }
        return answer();
    }
    LONG messages(std::vector<MessageRecord>* out, long long afterId) override {
        out->clear();
        for (const MessageRecord& m : supported ? boxes : std::vector<MessageRecord>{})
            if (m.id > afterId)
                out->push_back(m);
        return answer();
    }
    LONG lastMessageId(long long* id) override {
        *id = boxes.empty() ? 0 : boxes.back().id;
        return answer();
    }
    LONG clearMessages() override { return answer(); }
    LONG queueAnswer(int) override { return answer(); }
    LONG lines(std::vector<LineDevice>* out) override {
        *out = supported ? lineList : std::vector<LineDevice>{};
        return answer();
    }
    LONG line(DWORD index, LineDevice* out) override {
        if (supported && index < lineList.size())
            *out = lineList[index];
        return supported && index >= lineList.size() ? ERROR_BAD_UNIT : answer();
    }
    LONG setLineState(DWORD, DWORD) override { return answer(); }
    LONG setLineMedia(DWORD, DWORD) override { return answer(); }
    LONG setLineRegistered(DWORD, bool) override { return answer(); }
    LONG setLineFault(DWORD, line_rules::LineOperation, LONG) override { return answer(); }
    LONG healLine(DWORD) override { return answer(); }
    LONG addLine(const std::string&, DWORD, DWORD, DWORD*) override { return answer(); }
    LONG removeLine(DWORD) override { return answer(); }
    LONG setReinitAttempts(DWORD) override { return answer(); }
    LONG setReinitMilliseconds(DWORD) override { return answer(); }
    LONG setInitFault(LONG) override { return answer(); }
    LONG telephonyStatus(TelephonyStatus* out) override {
        *out = {};
        return answer();
    }
    LONG openHandles(std::vector<OpenHandle>* out) override {
        out->clear();
        return answer();
    }
    LONG clearLeaks() override { return answer(); }
    LONG calls(std::vector<CallRecord>* out) override {
        out->clear();
        return answer();
    }
    LONG clearCalls() override { return answer(); }
    LONG readTick(TickReading* out) override {
        *out = {};
        return answer();
    }
    LONG setVirtualTick(std::optional<DWORD>, std::optional<DWORD>) override { return answer(); }
    LONG pendingStarts(std::vector<PendingStart>* out) override {
        *out = supported ? pending : std::vector<PendingStart>{};
        return answer();
    }
    LONG refusals(std::vector<Refusal>* out, long long afterId) override {
        out->clear();
        for (const Refusal& r : refused)
            if (r.id > afterId)
                out->push_back(r);
        return answer();
    }
    LONG lastRefusalId(long long* id) override {
        *id = refused.empty() ? 0 : refused.back().id;
        return answer();
    }
    LONG takeDueStart(const PendingStart& due, const std::optional<SYSTEMTIME>& pinAt) override {
        std::erase_if(pending, [&](const PendingStart& p) { return p.path == due.path; });
        return pinClock(pinAt);
    }
    std::string timedStartCommandLine() const override { return "Wake"; }
    int startProgram(const std::string& path, std::string*, long long* processId) override {
        *processId = 0;
        return onStart ? onStart(*this, path) : 0;
    }
    std::string programIdentity(const std::string& path) override { return path; }

  private:
    LONG answer() const { return supported ? ERROR_SUCCESS : ERROR_NOT_SUPPORTED; }
};

struct Output {
    int status;
    std::string out, err;
};

Output runOn(int (*verb)(Phone&, const Args&), Phone& phone, const Args& args) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int status = verb(phone, args);
    std::string out = testing::internal::GetCapturedStdout();
    return {status, out, testing::internal::GetCapturedStderr()};
}

SYSTEMTIME at(const char* text) {
    SYSTEMTIME t{};
    EXPECT_TRUE(clock_text::parseDateTime(text, &t)) << text;
    return t;
}

PendingStart startAt(const std::string& path, const char* text) {
    PendingStart p;
    p.path = path;
    p.text = text;
    p.valid = clock_text::parseDateTime(text, &p.at);
    return p;
}

TEST(PhoneInterface, VerbsPrintWhatThePhoneGives) {
    ScriptedPhone phone;
    DWORD minute = 420;
    phone.values.push_back({u"S1", REG_DWORD, std::string(reinterpret_cast<char*>(&minute), 4)});
    phone.clock = {at("2026-12-14 00:00"), true};
    phone.nextLine = "Next : 2026/12/14 7:00 ";
    phone.boxes.push_back({3, 99, "Error", "line\tfault", MB_OK, IDOK});
    phone.lineList.push_back({0, "Cellular Line", 0x14, 5, true, "-"});
    phone.pending.push_back(startAt("/phone/velmora", "2026-12-14 07:00:00"));
    struct Case {
        int (*verb)(Phone&, const Args&);
        Args args;
        std::string out;
    } cases[] = {
        {regVerb, {"get", "S1"}, "dword 4 420\n"},
        {clockVerb, {}, "2026-12-14 00:00:00\n"},
        {nextVerb, {}, "Next : 2026/12/14 7:00 \n"},
        {messagesVerb, {}, "Error\tline\\tfault\t0x0\tok\n"},
        {linesVerb, {}, "0\tCellular Line\t0x00000014\t5\tyes\t-\n"},
        {pendingVerb, {}, "/phone/velmora\t2026-12-14 07:00:00\n"},
    };
    for (const Case& c : cases) {
        Output r = runOn(c.verb, phone, c.args);
        EXPECT_EQ(0, r.status) << r.err;
        EXPECT_EQ(c.out, r.out);
        EXPECT_EQ("", r.err);
    }
    Output shown = runOn(showVerb, phone, {});
    EXPECT_EQ(0, shown.status) << shown.err;
    EXPECT_EQ(0u, shown.out.find("Phone: scripted\nClock: 2026-12-14 00:00:00 Monday (pinned)\n"))
        << shown.out;
}

// A phone that cannot do something says so, and every verb passes that on in one line with the
// phone's status and reason.
TEST(PhoneInterface, WhatAPhoneCannotDoIsOneLine) {
    ScriptedPhone phone;
    phone.supported = false;
    struct Case {
        int (*verb)(Phone&, const Args&);
        Args args;
    } cases[] = {
        {regVerb, {"get", "S1"}},
        {regVerb, {"set", "S1", "dword", "5"}},
        {regVerb, {"delete", "S1"}},
        {clockVerb, {}},
        {clockVerb, {"follow"}},
        {messagesVerb, {}},
        {messagesVerb, {"clear"}},
        {answerVerb, {"ok"}},
        {nextVerb, {}},
        {linesVerb, {}},
        {lineVerb, {"0", "state", "1"}},
        {lineVerb, {"add", "X", "4", "5"}},
        {reinitVerb, {"3"}},
        {telephonyVerb, {}},
        {telephonyVerb, {"leaks"}},
        {telephonyVerb, {"calls", "clear"}},
        {tickVerb, {}},
        {tickVerb, {"virtual", "10"}},
        {pendingVerb, {}},
        {simulateVerb, {"--days", "1"}},
        {runVerb, {}},
        {showVerb, {}},
    };
    for (const Case& c : cases) {
        Output r = runOn(c.verb, phone, c.args);
        std::string what = c.args.empty() ? "(no arguments)" : c.args[0];
        EXPECT_EQ(1, r.status) << what << r.err;
        EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << what << r.err;
        if (c.verb != showVerb) {
            EXPECT_NE(std::string::npos, r.err.find("(status 50: not on this phone)"))
                << what << r.err;
        }
    }
}

// Whether a start failed to register the next comes from the phone's timed-start service, not
// from the text of a box the program showed.
TEST(PhoneInterface, SimulateLearnsOfARefusalFromTheService) {
    struct Case {
        const char* name;
        bool refused;
        const char* refusedPath;
        const char* boxText;
        int status;
        bool problem;
    } cases[] = {
        {"a refusal and no box", true, "/phone/velmora", nullptr, 1, true},
        {"the notice's text and no refusal", false, "", "設定定時器失敗！\nNo : 87", 0, false},
        {"a refusal for another program", true, "/phone/other", nullptr, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPhone phone;
        phone.clock = {at("2026-12-13 23:00"), true};
        phone.pending.push_back(startAt("/phone/velmora", "2026-12-14 00:00:00"));
        phone.onStart = [&c](ScriptedPhone& p, const std::string&) {
            if (c.refused)
                p.refused.push_back({1, 42, c.refusedPath, "2026-12-14 25:00:00", 87});
            if (c.boxText)
                p.boxes.push_back({1, 42, "rozev -- 出錯", c.boxText, MB_ICONERROR, IDOK});
            return 1;
        };
        Output r = runOn(simulateVerb, phone, {"--days", "1", "--tsv"});
        EXPECT_EQ(c.status, r.status) << r.out << r.err;
        EXPECT_EQ(c.problem, r.out.find("problem\t2026-12-14 00:00:00\tthe next start could not "
                                        "be registered (error 87)") != std::string::npos)
            << r.out;
        EXPECT_NE(std::string::npos, r.out.find("start\t2026-12-14 00:00:00\t/phone/velmora\t"))
            << r.out;
    }
}

} // namespace
