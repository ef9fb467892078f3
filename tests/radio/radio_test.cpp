// The radio switch on a fresh phone: which lines change and which are left alone, the boxes it
// shows for telephony failures, and the LINEERR_REINIT window. Every test ends by checking
// that no session or line was left open.
#include "radio/radio.h"
#include "support/phone_fixture.h"

#include <string>
#include <vector>

namespace {

using Op = line_rules::LineOperation;

const LONG kReinit = -2147483566;
const char* const kInitText = "Fault!\nlineInitialize ret: -2147483566";

class RadioTest : public TempPhone {
  protected:
    void TearDown() override {
        control::TelephonyStatus s = readTelephony();
        EXPECT_EQ(s.sessionsOpen, 0) << "a telephony session was left open";
        EXPECT_EQ(s.linesOpen, 0) << "a line was left open";
        EXPECT_EQ(s.linesClosedByShutdown, 0) << "a line was left for the shutdown to close";
        TempPhone::TearDown();
    }

    // Answers boxes from a script and remembers what each box saw.
    struct Box {
        std::string text, caption;
        UINT type;
        HWND owner;
        long long attemptsSoFar; // lineInitialize attempts made before the box
    };
    void answerBoxes(std::vector<int> answers) {
        script = std::move(answers);
        host::setMessageBoxPresenter([this](HWND owner, const std::u16string& text,
                                            const std::u16string& caption, UINT type) {
            shown.push_back({host::toUtf8(text), host::toUtf8(caption), type, owner,
                             callCount("lineInitialize")});
            if (script.empty())
                return host::defaultAnswer(type);
            int answer = script.front();
            script.erase(script.begin());
            return answer;
        });
    }

    static long long callCount(const std::string& call, long long device = -2) {
        long long n = 0;
        for (const control::CallRecord& c : readCalls())
            if (c.call == call && (device == -2 || c.device == device))
                n += c.count;
        return n;
    }

    static control::LineDevice line(DWORD index) { return readLine(index); }

    // Puts a second voice line at index 2, so a test can see the loop go past a failure.
    void addSecondVoiceLine(DWORD state) {
        DWORD index = 0;
        ASSERT_EQ(ERROR_SUCCESS,
                  control::addLine("Second Voice",
                                   LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM, state,
                                   &index));
        ASSERT_EQ(2u, index);
    }

    std::vector<int> script;
    std::vector<Box> shown;
};

// ---- Which states change, and which are left alone ----

struct StateCase {
    BOOL on;
    DWORD before;
    bool registeredBefore;
    DWORD after;
    bool registeredAfter;
};

TEST_F(RadioTest, ChangesOnlyTheStatesThatNeedIt) {
    const StateCase cases[] = {
        // Switching off: full, receive-only and transmit-only go to minimum and unregister.
        {FALSE, 5, true, 1, false},
        {FALSE, 2, true, 1, false},
        {FALSE, 3, true, 1, false},
        {FALSE, 1, true, 1, true},
        {FALSE, 4, true, 4, true},
        // Switching on: only minimum goes to full and registers.
        {TRUE, 1, false, 5, true},
        {TRUE, 2, false, 2, false},
        {TRUE, 3, false, 3, false},
        {TRUE, 4, false, 4, false},
        {TRUE, 5, false, 5, false},
    };
    for (const StateCase& c : cases) {
        SCOPED_TRACE(std::string(c.on ? "on" : "off") + " from state " + std::to_string(c.before));
        ASSERT_EQ(ERROR_SUCCESS, control::setLineState(0, c.before));
        ASSERT_EQ(ERROR_SUCCESS, control::setLineRegistered(0, c.registeredBefore));
        ASSERT_EQ(ERROR_SUCCESS, control::setLineState(1, c.before));
        ASSERT_EQ(ERROR_SUCCESS, control::clearCallLog());

        EXPECT_EQ(switchRadio(host::instance(), c.on), TRUE);

        EXPECT_EQ(line(0).equipmentState, c.after);
        EXPECT_EQ(line(0).registered, c.registeredAfter);
        bool changes = c.before != c.after;
        EXPECT_EQ(callCount("lineSetEquipmentState"), changes ? 1 : 0);
        EXPECT_EQ(callCount(c.on ? "lineRegister" : "lineUnregister"), changes ? 1 : 0);
        EXPECT_EQ(callCount(c.on ? "lineUnregister" : "lineRegister"), 0);
        // The data-only line is never touched.
        EXPECT_EQ(line(1).equipmentState, c.before);
        EXPECT_EQ(callCount("lineClose", 0), 1);
        EXPECT_EQ(callCount("lineShutdown"), 1);
    }
    EXPECT_TRUE(boxes().empty());
}

TEST_F(RadioTest, TheNextProcessSeesTheRadioAsTheSwitchLeftIt) {
    ASSERT_TRUE(switchRadio(host::instance(), FALSE));
    CommandResult off = phone({"lines"});
    EXPECT_EQ(off.out, "0\tCellular Line\t0x00000014\t1\tno\t-\n"
                       "1\tCellular Data\t0x00000010\t5\tyes\t-\n");
    ASSERT_TRUE(switchRadio(host::instance(), TRUE));
    CommandResult on = phone({"lines"});
    EXPECT_EQ(on.out, "0\tCellular Line\t0x00000014\t5\tyes\t-\n"
                      "1\tCellular Data\t0x00000010\t5\tyes\t-\n");
}

// What each visit asks the telephony for: the version range, the negotiated version, owner
// privileges for data, and the state and registration mode it sets.
TEST_F(RadioTest, EachCallAsksForWhatTheSwitchNeeds) {
    struct Case {
        BOOL on;
        DWORD before;
        std::vector<std::string> calls; // "call device arguments" on the voice line
    } cases[] = {
        {TRUE,
         1,
         {"lineNegotiateAPIVersion 0 low=0x00020000 high=0x00022000",
          "lineGetDevCaps 0 api=0x00020000 ext=0x00000000",
          "lineOpen 0 api=0x00020000 ext=0x00000000 privileges=0x4 media=0x10",
          "lineGetEquipmentState 0 ", "lineSetEquipmentState 0 state=5",
          "lineRegister 0 mode=1 operator=- format=0", "lineClose 0 "}},
        {FALSE,
         5,
         {"lineNegotiateAPIVersion 0 low=0x00020000 high=0x00022000",
          "lineGetDevCaps 0 api=0x00020000 ext=0x00000000",
          "lineOpen 0 api=0x00020000 ext=0x00000000 privileges=0x4 media=0x10",
          "lineGetEquipmentState 0 ", "lineSetEquipmentState 0 state=1", "lineUnregister 0 ",
          "lineClose 0 "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.on ? "on" : "off");
        ASSERT_EQ(ERROR_SUCCESS, control::setLineState(0, c.before));
        ASSERT_EQ(ERROR_SUCCESS, control::clearCallLog());
        ASSERT_TRUE(switchRadio(host::instance(), c.on));
        std::vector<std::string> seen;
        for (const control::CallRecord& call : readCalls())
            if (call.device == 0)
                seen.push_back(call.call + " 0 " + call.arguments);
        EXPECT_EQ(c.calls, seen);
    }
}

TEST_F(RadioTest, EveryVoiceLineIsSwitched) {
    addSecondVoiceLine(5);
    ASSERT_TRUE(switchRadio(host::instance(), FALSE));
    EXPECT_EQ(line(0).equipmentState, 1u);
    EXPECT_EQ(line(2).equipmentState, 1u);
    EXPECT_FALSE(line(2).registered);
    EXPECT_EQ(line(1).equipmentState, 5u);
}

TEST_F(RadioTest, CanSwitchTwiceInOneProcess) {
    ASSERT_TRUE(switchRadio(host::instance(), FALSE));
    ASSERT_TRUE(switchRadio(host::instance(), TRUE));
    EXPECT_EQ(line(0).equipmentState, 5u);
    EXPECT_EQ(callCount("lineShutdown"), 2);
    // The session ended with the call: nothing is left to visit devices with.
    EXPECT_EQ(switchDevice(0, FALSE), -1);
    EXPECT_EQ(line(0).equipmentState, 5u);
}

// ---- Devices without interactive voice ----

TEST_F(RadioTest, LinesWithoutInteractiveVoiceAreSkippedSilently) {
    ASSERT_EQ(ERROR_SUCCESS,
              control::setLineMedia(0, LINEMEDIAMODE_DATAMODEM | LINEMEDIAMODE_G3FAX));
    for (BOOL on : {FALSE, TRUE}) {
        ASSERT_EQ(ERROR_SUCCESS, control::clearCallLog());
        EXPECT_EQ(switchRadio(host::instance(), on), TRUE);
        EXPECT_EQ(callCount("lineInitialize"), 1);
        EXPECT_EQ(callCount("lineGetDevCaps"), 2);
        EXPECT_EQ(callCount("lineOpen"), 0);
        EXPECT_EQ(callCount("lineShutdown"), 1);
    }
    EXPECT_EQ(line(0).equipmentState, 5u);
    EXPECT_EQ(line(1).equipmentState, 5u);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(RadioTest, ADeviceCountOfZeroStartsAndEndsTheSession) {
    ASSERT_EQ(ERROR_SUCCESS, control::removeLine(1));
    ASSERT_EQ(ERROR_SUCCESS, control::removeLine(0));
    EXPECT_EQ(switchRadio(host::instance(), FALSE), TRUE);
    std::vector<control::CallRecord> calls = readCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].call, "lineInitialize");
    EXPECT_EQ(calls[0].result, 0);
    EXPECT_EQ(calls[1].call, "lineShutdown");
    EXPECT_TRUE(boxes().empty());
}

// ---- Boxes for a failed negotiation or capabilities query ----

TEST_F(RadioTest, NegotiationOrCapabilitiesFailureShowsItsBoxAndTheNextDeviceIsVisited) {
    struct Case {
        line_rules::LineOperation operation;
        LONG code;
        const char* text;
    };
    const Case cases[] = {
        {Op::Negotiate, LINEERR_INCOMPATIBLEAPIVERSION, "lineNegotiateAPIVersion ret: -2147483636"},
        {Op::DevCaps, LINEERR_NOMEM, "lineGetDevCaps ret: -2147483580"},
        {Op::Negotiate, -1, "lineNegotiateAPIVersion ret: -1"},
    };
    addSecondVoiceLine(5);
    for (const Case& c : cases) {
        SCOPED_TRACE(line_rules::operationName(c.operation));
        ASSERT_EQ(ERROR_SUCCESS, control::setLineState(2, 5));
        ASSERT_EQ(ERROR_SUCCESS, control::healLine(0));
        ASSERT_EQ(ERROR_SUCCESS, control::setLineFault(0, c.operation, c.code));
        ASSERT_EQ(ERROR_SUCCESS, control::clearMessages());
        ASSERT_EQ(ERROR_SUCCESS, control::clearCallLog());

        EXPECT_EQ(switchRadio(host::instance(), FALSE), TRUE);

        std::vector<control::MessageRecord> shownBoxes = boxes();
        ASSERT_EQ(shownBoxes.size(), 1u);
        EXPECT_EQ(shownBoxes[0].text, c.text);
        EXPECT_EQ(shownBoxes[0].caption, "Error");
        EXPECT_EQ(shownBoxes[0].type, 0u);
        EXPECT_EQ(line(0).equipmentState, 5u);
        EXPECT_EQ(callCount("lineOpen", 0), 0);
        // The devices after it are still visited.
        EXPECT_EQ(callCount("lineGetDevCaps", 1), 1);
        EXPECT_EQ(line(2).equipmentState, 1u);
        EXPECT_EQ(callCount("lineShutdown"), 1);
    }
}

TEST_F(RadioTest, BoxesAreOwnedByTheActiveWindow) {
    HWND window = host::createTopLevelWindow(u"Somebody", u"SomeClass");
    host::setActiveWindow(window);
    ASSERT_EQ(ERROR_SUCCESS, control::setLineFault(0, Op::DevCaps, -7));
    answerBoxes({});
    switchRadio(host::instance(), FALSE);
    host::setActiveWindow(nullptr);
    host::destroyTopLevelWindow(window);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].owner, window);
}

// ---- Silent failures of open, get, set, register, unregister and close ----

TEST_F(RadioTest, SilentFailuresStillCloseTheLine) {
    struct Case {
        line_rules::LineOperation operation;
        BOOL on;
        DWORD before;
        DWORD after;
        bool registeredAfter;
        bool opened; // whether a line came back, which must then be closed
    };
    const Case cases[] = {
        {Op::Open, FALSE, 5, 5, true, false},      {Op::HalfOpen, FALSE, 5, 5, true, true},
        {Op::GetState, FALSE, 5, 5, true, true},   {Op::SetState, FALSE, 5, 5, true, true},
        {Op::Unregister, FALSE, 5, 1, true, true}, {Op::Open, TRUE, 1, 1, false, false},
        {Op::HalfOpen, TRUE, 1, 1, false, true},   {Op::GetState, TRUE, 1, 1, false, true},
        {Op::SetState, TRUE, 1, 1, false, true},   {Op::Register, TRUE, 1, 5, false, true},
        {Op::Close, FALSE, 5, 1, false, true},     {Op::Close, TRUE, 1, 5, true, true},
    };
    addSecondVoiceLine(5);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(line_rules::operationName(c.operation)) + (c.on ? " on" : " off"));
        ASSERT_EQ(ERROR_SUCCESS, control::healLine(0));
        ASSERT_EQ(ERROR_SUCCESS, control::setLineState(0, c.before));
        ASSERT_EQ(ERROR_SUCCESS, control::setLineRegistered(0, c.before != 1));
        ASSERT_EQ(ERROR_SUCCESS, control::setLineState(2, c.before));
        ASSERT_EQ(ERROR_SUCCESS, control::setLineFault(0, c.operation, LINEERR_OPERATIONFAILED));
        ASSERT_EQ(ERROR_SUCCESS, control::clearCallLog());

        EXPECT_EQ(switchRadio(host::instance(), c.on), TRUE);

        EXPECT_EQ(line(0).equipmentState, c.after);
        EXPECT_EQ(line(0).registered, c.registeredAfter);
        EXPECT_EQ(callCount("lineClose", 0), c.opened ? 1 : 0);
        EXPECT_EQ(readTelephony().linesOpen, 0);
        // The line after the failing one is switched all the same.
        EXPECT_EQ(line(2).equipmentState, c.on ? 5u : 1u);
    }
    EXPECT_TRUE(boxes().empty());
}

TEST_F(RadioTest, AVoiceLineThatCannotBeOpenedForDataIsLeftAlone) {
    // The switch asks for the data-modem media mode as owner; a voice-only line refuses it.
    ASSERT_EQ(ERROR_SUCCESS, control::setLineMedia(0, LINEMEDIAMODE_INTERACTIVEVOICE));
    EXPECT_EQ(switchDevice(0, FALSE), -1); // no session: nothing is visited
    EXPECT_EQ(switchRadio(host::instance(), FALSE), TRUE);
    EXPECT_EQ(line(0).equipmentState, 5u);
    EXPECT_EQ(callCount("lineOpen", 0), 1);
    EXPECT_TRUE(boxes().empty());
}

// ---- Starting the session ----

TEST_F(RadioTest, AFailedSessionStartShowsTheFaultBox) {
    ASSERT_EQ(ERROR_SUCCESS, control::setInitFault(LINEERR_NOMEM));
    EXPECT_EQ(switchRadio(host::instance(), FALSE), FALSE);
    std::vector<control::MessageRecord> shownBoxes = boxes();
    ASSERT_EQ(shownBoxes.size(), 1u);
    EXPECT_EQ(shownBoxes[0].text, "Fault!\nlineInitialize ret: -2147483580");
    EXPECT_EQ(shownBoxes[0].caption, "Error");
    EXPECT_EQ(shownBoxes[0].type, 0u);
    EXPECT_EQ(callCount("lineNegotiateAPIVersion"), 0);
    EXPECT_EQ(callCount("lineShutdown"), 0);
    EXPECT_EQ(line(0).equipmentState, 5u);
}

TEST_F(RadioTest, ReinitThenSuccessWithinTheWindowShowsNoBox) {
    struct Case {
        const char* name;
        DWORD attempts, milliseconds, step, start;
    };
    const Case cases[] = {
        {"by attempts", 40, 0, 100, 1000000},
        {"by time", 0, 4900, 100, 1000000},
        // The tick read after the last REINIT is exactly 5000 ms on: not yet past the window.
        {"just inside", 50, 0, 100, 1000000},
        {"across the tick count's wrap", 40, 0, 100, 0xFFFFFFFFu - 2000},
        {"real time", 3, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(ERROR_SUCCESS, control::setLineState(0, 5));
        if (c.step)
            ASSERT_EQ(ERROR_SUCCESS, control::setVirtualTick(c.step, c.start));
        else
            ASSERT_EQ(ERROR_SUCCESS, control::setVirtualTick(std::nullopt));
        ASSERT_EQ(ERROR_SUCCESS, control::setReinitAttempts(c.attempts));
        ASSERT_EQ(ERROR_SUCCESS, control::setReinitMilliseconds(c.milliseconds));
        ASSERT_EQ(ERROR_SUCCESS, control::clearCallLog());
        answerBoxes({});

        EXPECT_EQ(switchRadio(host::instance(), FALSE), TRUE);

        EXPECT_TRUE(shown.empty());
        EXPECT_EQ(line(0).equipmentState, 1u);
        EXPECT_EQ(callCount("lineShutdown"), 1);
        if (c.attempts) {
            EXPECT_EQ(callCount("lineInitialize"), c.attempts + 1);
        }
    }
}

TEST_F(RadioTest, ReinitPastTheWindowAsksAndCancelGivesUp) {
    ASSERT_EQ(ERROR_SUCCESS, control::setVirtualTick(100, 1000000));
    ASSERT_EQ(ERROR_SUCCESS, control::setReinitAttempts(1000000));
    answerBoxes({IDCANCEL});

    EXPECT_EQ(switchRadio(host::instance(), FALSE), FALSE);

    ASSERT_EQ(shown.size(), 2u);
    // The first answer more than 5000 ms after the tick taken before the first attempt: with
    // 100 ms a reading that is the 51st attempt (the 50th comes exactly 5000 ms in).
    EXPECT_EQ(shown[0].attemptsSoFar, 51);
    EXPECT_EQ(shown[0].text, kInitText);
    EXPECT_EQ(shown[0].caption, "Error");
    EXPECT_EQ(shown[0].type, static_cast<UINT>(MB_RETRYCANCEL));
    EXPECT_EQ(shown[1].text, kInitText);
    EXPECT_EQ(shown[1].caption, "Error");
    EXPECT_EQ(shown[1].type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(callCount("lineInitialize"), 51);
    EXPECT_EQ(callCount("lineNegotiateAPIVersion"), 0);
    EXPECT_EQ(callCount("lineShutdown"), 0);
    EXPECT_EQ(line(0).equipmentState, 5u);
    // The recorded boxes carry the same texts, in order.
    std::vector<control::MessageRecord> recorded = boxes();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[0].answer, IDCANCEL);
    EXPECT_EQ(recorded[1].text, kInitText);
}

TEST_F(RadioTest, RetryAllowsAnotherFullWindow) {
    ASSERT_EQ(ERROR_SUCCESS, control::setVirtualTick(100, 1000000));
    ASSERT_EQ(ERROR_SUCCESS, control::setReinitAttempts(1000000));
    answerBoxes({IDRETRY, IDRETRY, IDCANCEL});

    EXPECT_EQ(switchRadio(host::instance(), TRUE), FALSE);

    ASSERT_EQ(shown.size(), 4u);
    // After each Retry the window starts again from the tick read when the box closed.
    EXPECT_EQ(shown[0].attemptsSoFar, 51);
    EXPECT_EQ(shown[1].attemptsSoFar, 102);
    EXPECT_EQ(shown[2].attemptsSoFar, 153);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(shown[i].type, static_cast<UINT>(MB_RETRYCANCEL));
    EXPECT_EQ(shown[3].type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(shown[3].text, kInitText);
    EXPECT_EQ(callCount("lineShutdown"), 0);
}

TEST_F(RadioTest, RetryThenSuccessVisitsTheDevices) {
    ASSERT_EQ(ERROR_SUCCESS, control::setVirtualTick(100, 1000000));
    ASSERT_EQ(ERROR_SUCCESS, control::setReinitAttempts(60));
    answerBoxes({IDRETRY});

    EXPECT_EQ(switchRadio(host::instance(), FALSE), TRUE);

    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].type, static_cast<UINT>(MB_RETRYCANCEL));
    EXPECT_EQ(callCount("lineInitialize"), 61);
    EXPECT_EQ(line(0).equipmentState, 1u);
    EXPECT_EQ(callCount("lineShutdown"), 1);
}

TEST_F(RadioTest, ABoxThatFailsToShowGivesUpLikeCancel) {
    ASSERT_EQ(ERROR_SUCCESS, control::setVirtualTick(1000, 5));
    ASSERT_EQ(ERROR_SUCCESS, control::setReinitAttempts(1000000));
    answerBoxes({0});
    EXPECT_EQ(switchRadio(host::instance(), FALSE), FALSE);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(shown[1].text, kInitText);
}

TEST_F(RadioTest, ReinitWindowInRealTimeLastsFiveSeconds) {
    // No virtual time: the box may not come before 5000 ms of the host's clock have passed.
    ASSERT_EQ(ERROR_SUCCESS, control::setReinitAttempts(1000000000));
    answerBoxes({IDCANCEL});
    DWORD before = GetTickCount();
    EXPECT_EQ(switchRadio(host::instance(), FALSE), FALSE);
    DWORD took = GetTickCount() - before;
    EXPECT_GT(took, 5000u);
    EXPECT_LT(took, 15000u);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(std::to_string(kReinit), "-2147483566");
}

} // namespace
