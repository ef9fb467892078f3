// Phone states that a person or another program left in a form no program here writes: values
// of the wrong type or size, out of their range, or in no form they may take. The real
// programs meet each: the program goes on with its default and says what it met once on
// standard error; the state's helper shows the value as stored and says in one line what is
// wrong with it, with status 1009 and exit status 1. Nothing crashes, and nothing bad is
// written over.
#include "support/win32/wine_phone.h"

#include "app/app.h"
#include "platform/phone/timed_start.h"

#include <functional>

namespace {

const wchar_t kProgram[] = L"velmora.exe";
const wchar_t kHelper[] = L"velmora-state.exe";

std::string dword(DWORD value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// A string as a registry editor stores it, with its terminator.
std::string text(const wchar_t* value) {
    return std::string(reinterpret_cast<const char*>(value), (wcslen(value) + 1) * sizeof(wchar_t));
}

// A value of the phone state to write before the runs; `remove` deletes it instead.
struct Damage {
    std::wstring key;
    std::wstring name;
    DWORD type;
    std::string bytes;
    bool remove = false;
};

struct Start {
    const wchar_t* program;
    std::wstring arguments;
    const char* script; // standard input for the dialog, nullptr for none
    DWORD status;
    std::string err; // what standard error must hold, exactly once ("" for anything)
    std::string out; // what standard output must hold
};

struct Case {
    const char* what;
    std::vector<Damage> damage;
    std::vector<Start> runs;
    std::function<void()> after; // checks of the phone afterwards
};

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); !part.empty() && at != std::string::npos;
         at = text.find(part, at + part.size()))
        ++n;
    return n;
}

std::string pendingOfProgram() {
    return readPending(programPath(kProgram));
}

DWORD voiceLineState() {
    return winphone::stateDword(L"Lines\\0", L"State").value_or(0);
}

class HostileState : public WinePhone {
  protected:
    // Monday 07:00, the default timetable's switch-on, with the radio off: a timed run has
    // telephony to do, and arms Saturday 00:00.
    void check(const Case& c) {
        SCOPED_TRACE(c.what);
        WinePhone::SetUp();
        setClock("2026-12-14 07:00");
        ASSERT_EQ(ERROR_SUCCESS, control::setLineState(0, LINEEQUIPSTATE_MINIMUM));
        ASSERT_EQ(ERROR_SUCCESS, control::setLineRegistered(0, false));
        for (const Damage& d : c.damage) {
            LONG status = d.remove
                              ? winphone::deleteStateValue(d.key, d.name)
                              : winphone::writeStateValue(d.key, d.name, d.type, d.bytes.data(),
                                                          static_cast<DWORD>(d.bytes.size()));
            ASSERT_EQ(ERROR_SUCCESS, status);
        }
        for (const Start& run : c.runs) {
            std::string what = winphone::toUtf8(std::wstring(run.program) + L" " + run.arguments);
            ProgramResult r = run.script ? runWithScript(run.program, run.arguments, run.script)
                                         : runProgram(run.program, run.arguments);
            EXPECT_LT(r.status, 0x100u) << what << " crashed\n" << r.err;
            EXPECT_EQ(run.status, r.status) << what << "\n" << r.out << r.err;
            if (!run.err.empty()) {
                EXPECT_EQ(1u, count(r.err, run.err)) << what << "\n" << r.err;
            }
            EXPECT_NE(std::string::npos, r.out.find(run.out)) << what << "\n" << r.out;
            // The helper says what is wrong in one line.
            if (run.program == kHelper && r.status != 0) {
                EXPECT_EQ(1u, count(r.err, "\n")) << what << "\n" << r.err;
            }
        }
        if (c.after)
            c.after();
    }
};

TEST_F(HostileState, EachGivesAClearErrorAndNoCrash) {
    const std::wstring self = programPath(kProgram);
    const std::string switchedOn = "2026-12-19 00:00:00";
    const Start timedRun = {kProgram, L"AppRunAtTime", nullptr, EXIT_TIMED_RUN, "", ""};
    auto timedRunSaying = [&](const std::string& err) {
        Start r = timedRun;
        r.err = err;
        return r;
    };
    auto helper = [](const wchar_t* arguments, DWORD status, const std::string& err,
                     const std::string& out = "") {
        return Start{kHelper, arguments, nullptr, status, err, out};
    };
    // To All asks Yes or No; the safe default is No.
    const char* toAll = "click 1024\nok\n";
    auto radioOn = [] { EXPECT_EQ(DWORD(LINEEQUIPSTATE_FULL), voiceLineState()); };

    const Case cases[] = {
        // ---- A line ----
        {"a line's state out of range",
         {{L"Lines\\0", L"State", REG_DWORD, dword(9)}},
         {helper(L"lines", 1,
                 "velmora-state: the value 'State' of phone\\Lines\\0 holds the dword 9, where an "
                 "equipment state from 1 (off) to 5 (full) belongs (status 1009)\n",
                 "1\tCellular Data\t"),
          // The line cannot be switched; the run says why, and still arms.
          timedRunSaying("velmora: the value 'State' of phone\\Lines\\0 holds the dword 9")},
         [&] {
             DWORD type = REG_NONE;
             std::string held;
             ASSERT_EQ(ERROR_SUCCESS,
                       winphone::readStateValue(L"Lines\\0", L"State", &type, &held));
             EXPECT_EQ(dword(9), held) << "what it held is left for a person";
             EXPECT_EQ(switchedOn, pendingOfProgram());
         }},
        {"a line's state cut short",
         {{L"Lines\\0", L"State", REG_DWORD, std::string("\x05\x00", 2)}},
         {helper(L"lines", 1, "holds a dword of 2 bytes"),
          helper(L"get phone\\Lines\\0 State", 1, "holds a dword of 2 bytes", "dword 2 5\n")},
         nullptr},
        {"a line's media too long",
         {{L"Lines\\0", L"Media", REG_DWORD, dword(0x14) + dword(0)}},
         {helper(L"lines", 1, "'Media' of phone\\Lines\\0 holds a dword of 8 bytes"),
          // The capabilities cannot be told: the box the radio shows for a failed call.
          timedRunSaying("lineGetDevCaps ret: ")},
         nullptr},
        {"a line without its name",
         {{L"Lines\\0", L"Name", REG_SZ, "", true}},
         {helper(L"lines", 1, "the value 'Name' of phone\\Lines\\0 is missing (status 1009)",
                 "1\tCellular Data\t")},
         nullptr},
        {"a fault that is no negative result",
         {{L"Lines\\0\\Faults", L"open", REG_DWORD, dword(5)}},
         {helper(L"lines", 1, "where a fault: a negative result belongs"),
          // Opening the line fails, as a fault that cannot be read fails the call.
          timedRunSaying("'open' of phone\\Lines\\0\\Faults holds the dword 5")},
         [&] { EXPECT_EQ(DWORD(LINEEQUIPSTATE_MINIMUM), voiceLineState()); }},
        {"a seeded mark that is no dword",
         {{L"Lines", L"Seeded", REG_SZ, text(L"yes")},
          {L"Lines\\1", L"State", REG_DWORD, dword(LINEEQUIPSTATE_MINIMUM)}},
         {helper(L"dump", 1, "'Seeded' of phone\\Lines holds the text 'yes'"),
          timedRunSaying("'Seeded' of phone\\Lines holds the text 'yes'")},
         [&] {
             radioOn();
             EXPECT_EQ(DWORD(LINEEQUIPSTATE_MINIMUM),
                       winphone::stateDword(L"Lines\\1", L"State").value_or(0))
                 << "the lines there are not seeded again";
         }},

        // ---- The clock ----
        {"a clock pinned at no time",
         {{L"", L"Clock", REG_SZ, text(L"soon")}},
         {helper(L"dump", 1,
                 "velmora-state: the value 'Clock' of phone holds the text 'soon', where a date "
                 "and time, YYYY-MM-DD HH:MM:SS belongs (status 1009)\n",
                 "SOFTWARE\\VelmoraPhone\tClock\tsz\t10\tsoon\n"),
          // Wine's own clock then: some start is armed all the same.
          timedRunSaying("velmora: the value 'Clock' of phone holds the text 'soon'")},
         [&] { EXPECT_NE("none", pendingOfProgram()); }},
        // ---- Virtual time ----
        {"a step of virtual time of 0",
         {{L"", L"TickStep", REG_DWORD, dword(0)}, {L"", L"TickNow", REG_DWORD, dword(1000)}},
         {timedRunSaying("'TickStep' of phone holds the dword 0, where a step of 1 ms or more")},
         [&] {
             radioOn();
             EXPECT_EQ(DWORD(1000), winphone::stateDword(L"", L"TickNow").value_or(0))
                 << "time did not run on a step it cannot have";
         }},
        // ---- Telephony ----
        {"an init fault that is no fault",
         {{L"Telephony", L"InitFault", REG_DWORD, dword(1)}},
         {timedRunSaying("'InitFault' of phone\\Telephony holds the dword 1")},
         radioOn},
        {"a count of REINIT answers as binary",
         {{L"Telephony", L"ReinitAttempts", REG_BINARY, std::string("\x03", 1)}},
         {timedRunSaying("'ReinitAttempts' of phone\\Telephony holds the bytes 03"),
          helper(L"dump", 1, "holds the bytes 03")},
         radioOn},
        {"a handle record that is no handle",
         {{L"Telephony\\Handles", L"12:65536", REG_SZ, text(L"phone")}},
         {helper(L"dump", 1, "'12:65536' of phone\\Telephony\\Handles holds the text 'phone'"),
          timedRun},
         [&] {
             control::TelephonyStatus status;
             EXPECT_NE(ERROR_SUCCESS, control::telephonyStatus(&status));
         }},

        // ---- Timed starts ----
        {"a pending start at no time",
         {{L"TimedStarts", self, REG_SZ, text(L"tomorrow")}},
         {helper(L"dump", 1, "of phone\\TimedStarts holds the text 'tomorrow'"), timedRun},
         // The run registers its start over it.
         [&] { EXPECT_EQ(switchedOn, pendingOfProgram()); }},
        {"a pending start that is a number",
         {{L"TimedStarts", self, REG_DWORD, dword(7)}},
         {helper(L"dump", 1, "of phone\\TimedStarts holds the dword 7")},
         [&] {
             EXPECT_EQ("unreadable", pendingOfProgram());
             std::vector<timed_start_state::PendingStart> all;
             phone_timed_start::pendingStarts(&all);
             ASSERT_EQ(1u, all.size()) << "the service lists it, not leaves it out";
             EXPECT_EQ(ERROR_BADDB, all[0].status);
             std::vector<control::PendingStart> readable;
             EXPECT_EQ(ERROR_BADDB, control::pendingStarts(&readable));
             EXPECT_TRUE(readable.empty()) << "its controls give what can be read, and why not";
         }},

        // ---- Boxes ----
        {"a queued answer that is no answer",
         {{L"", L"Answers", REG_BINARY, dword(99) + dword(IDYES)}},
         {helper(L"answer no", 1,
                 "velmora-state: cannot queue the answer: the value 'Answers' of phone holds the "
                 "bytes 6300000006000000, where 32-bit answers, each 1 (OK) to 7 (No) belongs "
                 "(status 1009)\n"),
          // The bad one is taken off and the box takes its default; the yes behind it stays.
          {kProgram, L"", toAll, EXIT_INTERACTIVE,
           "(the queued answer cannot be read; no taken instead)", ""},
          helper(L"get phone Answers", 0, "", "binary 4 06000000\n")},
         [&] {
             std::vector<Box> boxes = readBoxes();
             ASSERT_EQ(1u, boxes.size());
             EXPECT_EQ(IDNO, boxes[0].answer);
         }},
        {"answers as text",
         {{L"", L"Answers", REG_SZ, text(L"yes")}},
         {helper(L"answer yes", 1, "'Answers' of phone holds the text 'yes'"),
          {kProgram, L"", toAll, EXIT_INTERACTIVE,
           "velmora: the value 'Answers' of phone holds the text 'yes'", ""},
          helper(L"get phone Answers", 1, "", "sz 8 yes\n")},
         nullptr},
        {"answers cut short",
         {{L"", L"Answers", REG_BINARY, std::string("\x06\x00\x00", 3)}},
         {{kProgram, L"", toAll, EXIT_INTERACTIVE,
           "(the queued answer cannot be read; no taken instead)", ""}},
         nullptr},
        // The numbers go on after the records there, so that none is written over.
        {"a box count that is no number",
         {{L"Messages", L"Last", REG_SZ, text(L"x")},
          {L"Messages\\00000007", L"Caption", REG_SZ, text(L"Earlier")}},
         {{kProgram, L"", toAll, EXIT_INTERACTIVE, "'Last' of phone\\Messages holds the text 'x'",
           ""}},
         [&] {
             std::vector<Box> boxes = readBoxes();
             ASSERT_EQ(2u, boxes.size());
             EXPECT_EQ(L"Earlier", boxes[0].caption);
             EXPECT_EQ(DWORD(8), boxes[1].id);
         }},
        {"a box's answer out of range",
         {{L"Messages\\00000001", L"Answer", REG_DWORD, dword(77)}},
         {helper(L"dump", 1, "'Answer' of phone\\Messages\\00000001 holds the dword 77")},
         [&] {
             std::vector<control::MessageRecord> boxes;
             EXPECT_EQ(ERROR_BADDB, control::messages(&boxes));
             EXPECT_TRUE(boxes.empty()) << "the box is left out, and the status says why";
             EXPECT_NE(std::string::npos, control::problem().find("holds the dword 77"));
         }},
    };
    for (const Case& c : cases)
        check(c);
}

} // namespace
