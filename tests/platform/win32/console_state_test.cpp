// What the console reads of a Wine phone beside the seam's contract: the telephony call log, a
// REINIT span of tick count, the registrations the timed-start service refused, and a line
// removed from the middle.
#include "support/win32/wine_phone.h"

#include "platform/platform.h"

namespace {

void CALLBACK ignoreEvent(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

LONG initialize(HLINEAPP* app) {
    DWORD devices = 0;
    return lineInitialize(app, GetModuleHandleW(nullptr), ignoreEvent, nullptr, &devices);
}

class ConsoleState : public WinePhone {};

std::vector<control::CallRecord> calls() {
    std::vector<control::CallRecord> out;
    EXPECT_EQ(ERROR_SUCCESS, control::callLog(&out)) << control::problem();
    return out;
}

std::vector<control::LineDevice> readLines() {
    std::vector<control::LineDevice> out;
    EXPECT_EQ(ERROR_SUCCESS, control::lineDevices(&out)) << control::problem();
    return out;
}

TEST_F(ConsoleState, EveryCallIsLoggedWithItsDeviceAndRepeatsAreCounted) {
    ASSERT_EQ(ERROR_SUCCESS, control::setLineFault(0, line_rules::LineOperation::GetState,
                                                   LINEERR_OPERATIONFAILED));
    HLINEAPP app = 0;
    ASSERT_EQ(0, initialize(&app));
    HLINE line = 0;
    ASSERT_EQ(0, lineOpen(app, 0, &line, 0x00020000, 0, 0, LINECALLPRIVILEGE_OWNER,
                          LINEMEDIAMODE_INTERACTIVEVOICE, nullptr));
    DWORD state = 0, support = 0;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(static_cast<LONG>(LINEERR_OPERATIONFAILED),
                  lineGetEquipmentState(line, &state, &support));
    EXPECT_EQ(0, lineSetEquipmentState(line, LINEEQUIPSTATE_MINIMUM));
    EXPECT_EQ(0, lineClose(line));
    EXPECT_EQ(static_cast<LONG>(LINEERR_INVALLINEHANDLE), lineClose(line));
    EXPECT_EQ(0, lineShutdown(app));

    struct Expected {
        const char* call;
        long device;
        LONG result;
        unsigned long count;
        const char* arguments;
    };
    const Expected expected[] = {
        {"lineInitialize", -1, 0, 1, ""},
        {"lineOpen", 0, 0, 1, "api=0x00020000 ext=0x00000000 privileges=0x4 media=0x4"},
        {"lineGetEquipmentState", 0, static_cast<LONG>(LINEERR_OPERATIONFAILED), 3, ""},
        {"lineSetEquipmentState", 0, 0, 1, "state=1"},
        {"lineClose", 0, 0, 1, ""},
        {"lineClose", -1, static_cast<LONG>(LINEERR_INVALLINEHANDLE), 1, ""},
        {"lineShutdown", -1, 0, 1, ""},
    };
    std::vector<control::CallRecord> logged = calls();
    ASSERT_EQ(std::size(expected), logged.size());
    for (size_t i = 0; i < logged.size(); ++i) {
        SCOPED_TRACE(expected[i].call);
        EXPECT_EQ(GetCurrentProcessId(), logged[i].pid);
        EXPECT_EQ(expected[i].call, logged[i].call);
        EXPECT_EQ(expected[i].device, logged[i].device);
        EXPECT_EQ(expected[i].result, logged[i].result);
        EXPECT_EQ(expected[i].count, logged[i].count);
        EXPECT_EQ(expected[i].arguments, logged[i].arguments);
    }
    EXPECT_EQ(ERROR_SUCCESS, control::clearCallLog());
    EXPECT_TRUE(calls().empty());
}

TEST_F(ConsoleState, CallRecordsReadBackAsWritten) {
    const control::CallRecord records[] = {
        {42, "lineNegotiateAPIVersion", 3, -2147483576, 7, "low=0x00010003 high=0x00020000"},
        {1, "lineInitialize", -1, 0, 1, ""},
        {7, "lineRegister", 0, 0, 1, "mode=1 operator=a\\tb format=0"},
    };
    for (const control::CallRecord& r : records) {
        control::CallRecord back;
        ASSERT_TRUE(winphone::parseCallRecord(winphone::formatCallRecord(r), &back));
        EXPECT_EQ(r.pid, back.pid);
        EXPECT_EQ(r.call, back.call);
        EXPECT_EQ(r.device, back.device);
        EXPECT_EQ(r.result, back.result);
        EXPECT_EQ(r.count, back.count);
        EXPECT_EQ(r.arguments, back.arguments);
    }
    control::CallRecord ignored;
    for (const wchar_t* bad : {L"", L"1 2 3", L"1 2 3 4", L"x 2 3 4 call"})
        EXPECT_FALSE(winphone::parseCallRecord(bad, &ignored)) << winphone::toUtf8(bad);
}

TEST_F(ConsoleState, ReinitLastsItsSpanOfTickCountFromTheFirstAttempt) {
    ASSERT_EQ(ERROR_SUCCESS, control::setVirtualTick(400, 10000));
    ASSERT_EQ(ERROR_SUCCESS, control::setReinitMilliseconds(1000));
    EXPECT_EQ(1000u, readTelephony().reinitMilliseconds);
    // Each attempt reads the count once (it stands still between them: nothing else reads it).
    HLINEAPP app = 0;
    EXPECT_EQ(static_cast<LONG>(LINEERR_REINIT), initialize(&app)); // 10000: the span begins
    GetTickCount();                                                 // 10400
    EXPECT_EQ(static_cast<LONG>(LINEERR_REINIT), initialize(&app)); // within 1000
    GetTickCount();                                                 // 10800
    GetTickCount();                                                 // 11200
    EXPECT_EQ(0, initialize(&app)); // past the span, which is then cleared
    EXPECT_EQ(0u, readTelephony().reinitMilliseconds);
    EXPECT_EQ(0, lineShutdown(app));
    // A span set again counts from its own first attempt.
    ASSERT_EQ(ERROR_SUCCESS, control::setReinitMilliseconds(1000));
    EXPECT_EQ(static_cast<LONG>(LINEERR_REINIT), initialize(&app));
    ASSERT_EQ(ERROR_SUCCESS, control::setReinitMilliseconds(0));
    EXPECT_EQ(0, initialize(&app));
    EXPECT_EQ(0, lineShutdown(app));
}

TEST_F(ConsoleState, ALineRemovedMovesTheLinesAboveItDown) {
    DWORD added = 0;
    ASSERT_EQ(ERROR_SUCCESS, control::addLine("Fax", LINEMEDIAMODE_G3FAX, 3, &added));
    ASSERT_EQ(2u, added);
    ASSERT_EQ(ERROR_SUCCESS,
              control::setLineFault(2, line_rules::LineOperation::Open, LINEERR_RESOURCEUNAVAIL));
    ASSERT_EQ(ERROR_SUCCESS, control::removeLine(1));
    std::vector<control::LineDevice> lines = readLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("Cellular Line", lines[0].name);
    EXPECT_EQ("Fax", lines[1].name);
    EXPECT_EQ(3u, lines[1].equipmentState);
    EXPECT_FALSE(lines[1].registered);
    EXPECT_EQ("open=" + std::to_string(static_cast<LONG>(LINEERR_RESOURCEUNAVAIL)),
              lines[1].faults);
    EXPECT_EQ(ERROR_BAD_UNIT, control::removeLine(2));
    EXPECT_EQ(ERROR_SUCCESS, control::removeLine(1));
    EXPECT_EQ(1u, readLines().size());
}

} // namespace

// A numbered log whose count cannot be read goes on after its highest record: the call log and
// the refusals keep every record already there, and the count stays as found for a person.
TEST_F(ConsoleState, ALogWhoseCountCannotBeReadWritesOverNothing) {
    HLINEAPP app = 0;
    ASSERT_EQ(0, initialize(&app));
    ASSERT_EQ(0, lineShutdown(app));
    ASSERT_EQ(ERROR_SUCCESS, winphone::setStateText(L"Telephony\\Calls", L"Last", L"x"));
    ASSERT_EQ(0, initialize(&app));
    ASSERT_EQ(0, lineShutdown(app));
    std::vector<control::CallRecord> logged = calls();
    ASSERT_EQ(4u, logged.size());
    EXPECT_EQ("lineInitialize", logged[0].call);
    EXPECT_EQ("lineShutdown", logged[3].call);
    DWORD type = 0;
    std::string bytes;
    ASSERT_EQ(ERROR_SUCCESS, winphone::readStateValue(L"Telephony\\Calls", L"Last", &type, &bytes));
    EXPECT_EQ(DWORD(REG_SZ), type) << "the unreadable count is left as it was";

    SYSTEMTIME hour25 = {2026, 12, 1, 14, 25, 0, 0, 0};
    EXPECT_FALSE(CeRunAppAtTime(L"C:\\a.exe", &hour25));
    ASSERT_EQ(ERROR_SUCCESS, winphone::setStateText(L"TimedStartRefusals", L"Last", L"?"));
    EXPECT_FALSE(CeRunAppAtTime(L"C:\\b.exe", &hour25));
    std::vector<control::Refusal> refused;
    ASSERT_EQ(ERROR_SUCCESS, control::refusals(&refused));
    ASSERT_EQ(2u, refused.size());
    EXPECT_EQ("C:\\a.exe", refused[0].path);
    EXPECT_EQ("C:\\b.exe", refused[1].path);
}
