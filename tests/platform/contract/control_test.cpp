// The phone's controls (platform/phone/control.h), as the console, the Wine phone's helper and
// the tests reach a phone: what a refused call gives back, and what a change reads back as.
#include "contract.h"

#include <functional>

namespace {

class Control : public Seam {};

SYSTEMTIME at(const char* text) {
    SYSTEMTIME t{};
    EXPECT_TRUE(clock_text::parseDateTime(text, &t)) << text;
    return t;
}

TEST_F(Control, ARefusalCarriesItsOwnStatusAndReason) {
    const DWORD none = 9;
    struct Case {
        const char* what;
        std::function<LONG()> call;
        LONG status;
        const char* reason; // a part of problem()
    } cases[] = {
        {"state of no line", [&] { return control::setLineState(none, 2); }, ERROR_BAD_UNIT,
         "no line 9"},
        {"media of no line", [&] { return control::setLineMedia(none, 0x10); }, ERROR_BAD_UNIT,
         "no line 9"},
        {"registration of no line", [&] { return control::setLineRegistered(none, false); },
         ERROR_BAD_UNIT, "no line 9"},
        {"fault on no line",
         [&] { return control::setLineFault(none, control::LineOperation::Open, -5); },
         ERROR_BAD_UNIT, "no line 9"},
        {"heal no line", [&] { return control::healLine(none); }, ERROR_BAD_UNIT, "no line 9"},
        {"remove no line", [&] { return control::removeLine(none); }, ERROR_BAD_UNIT, "no line 9"},
        {"read no line",
         [&] {
             control::LineDevice d;
             return control::lineDevice(none, &d);
         },
         ERROR_BAD_UNIT, "no line 9"},
        {"no equipment state", [] { return control::setLineState(0, 6); }, ERROR_INVALID_PARAMETER,
         "1 to 5"},
        {"a fault that succeeds",
         [] { return control::setLineFault(0, control::LineOperation::Open, 5); },
         ERROR_INVALID_PARAMETER, "failing code"},
        {"a line without a name",
         [] {
             DWORD index = contract::kMarker;
             return control::addLine("", 0x10, 5, &index);
         },
         ERROR_INVALID_PARAMETER, "name"},
        {"an init fault that succeeds", [] { return control::setInitFault(1); },
         ERROR_INVALID_PARAMETER, "negative"},
        {"a tick that never moves", [] { return control::setVirtualTick(0); },
         ERROR_INVALID_PARAMETER, "1 ms"},
        {"no such day",
         [] {
             return control::pinClock(SYSTEMTIME{2026, 2, 0, 30, 7, 0, 0, 0});
         },
         ERROR_INVALID_PARAMETER, "no local time"},
        {"no answer", [] { return control::queueAnswer(99); }, ERROR_INVALID_PARAMETER, "99"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        control::noteProblem(ERROR_SUCCESS, {});
        EXPECT_EQ(c.status, c.call());
        EXPECT_NE(std::string::npos, control::problem().find(c.reason)) << control::problem();
    }
}

TEST_F(Control, LinesAddedChangedAndRemovedReadBack) {
    DWORD index = contract::kMarker;
    ASSERT_EQ(ERROR_SUCCESS, control::addLine("Fax 傳真", 0x10, 3, &index));
    EXPECT_EQ(2u, index);
    ASSERT_EQ(ERROR_SUCCESS, control::setLineMedia(2, 0x14));
    ASSERT_EQ(ERROR_SUCCESS, control::setLineRegistered(2, true));
    ASSERT_EQ(ERROR_SUCCESS, control::setLineFault(2, control::LineOperation::Open, -5));
    ASSERT_EQ(ERROR_SUCCESS, control::setLineFault(2, control::LineOperation::GetState, -3));
    ASSERT_EQ(ERROR_SUCCESS, control::setLineFault(0, control::LineOperation::Close, -9));
    ASSERT_EQ(ERROR_SUCCESS, control::removeLine(1));

    std::vector<control::LineDevice> lines;
    ASSERT_EQ(ERROR_SUCCESS, control::lineDevices(&lines)) << control::problem();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("close=-9", lines[0].faults);
    const control::LineDevice& moved = lines[1];
    EXPECT_EQ(1u, moved.index) << "the line above the removed one moves down";
    EXPECT_EQ("Fax 傳真", moved.name);
    EXPECT_EQ(0x14u, moved.mediaModes);
    EXPECT_EQ(3u, moved.equipmentState);
    EXPECT_TRUE(moved.registered);
    EXPECT_NE(std::string::npos, moved.faults.find("open=-5")) << moved.faults;
    EXPECT_NE(std::string::npos, moved.faults.find("getstate=-3")) << moved.faults;

    ASSERT_EQ(ERROR_SUCCESS, control::healLine(1));
    control::LineDevice healed;
    ASSERT_EQ(ERROR_SUCCESS, control::lineDevice(1, &healed));
    EXPECT_EQ("-", healed.faults);
}

void CALLBACK ignoreEvents(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

// A line deleted by hand leaves a gap: the lines after it are still listed, counted and moved.
TEST_F(Control, LinesAfterAGapAreThePhonesStill) {
    contract::deleteLineRecord(0);
    std::vector<control::LineDevice> lines;
    ASSERT_EQ(ERROR_SUCCESS, control::lineDevices(&lines)) << control::problem();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(1u, lines[0].index);
    EXPECT_EQ("Cellular Data", lines[0].name);

    HLINEAPP app = 0;
    DWORD devices = contract::kMarker;
    ASSERT_EQ(0, lineInitialize(&app, nullptr, ignoreEvents, nullptr, &devices));
    EXPECT_EQ(1u, devices);
    EXPECT_EQ(0, lineShutdown(app));

    DWORD added = contract::kMarker;
    ASSERT_EQ(ERROR_SUCCESS, control::addLine("Fax", 0x10, 5, &added));
    EXPECT_EQ(2u, added) << "after the highest there is";
    ASSERT_EQ(ERROR_SUCCESS, control::removeLine(1));
    ASSERT_EQ(ERROR_SUCCESS, control::lineDevices(&lines));
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(1u, lines[0].index) << "the line above the removed one moves down";
    EXPECT_EQ("Fax", lines[0].name);
}

TEST_F(Control, TheKnobsOfLineInitializeReadBack) {
    ASSERT_EQ(ERROR_SUCCESS, control::setReinitAttempts(3));
    ASSERT_EQ(ERROR_SUCCESS, control::setReinitMilliseconds(500));
    ASSERT_EQ(ERROR_SUCCESS, control::setInitFault(LINEERR_NOMEM));
    control::TelephonyStatus s;
    ASSERT_EQ(ERROR_SUCCESS, control::telephonyStatus(&s)) << control::problem();
    EXPECT_EQ(3u, s.reinitAttempts);
    EXPECT_EQ(500u, s.reinitMilliseconds);
    EXPECT_EQ(static_cast<LONG>(LINEERR_NOMEM), s.initFault);
    ASSERT_EQ(ERROR_SUCCESS, control::setReinitAttempts(0));
    ASSERT_EQ(ERROR_SUCCESS, control::setReinitMilliseconds(0));
    ASSERT_EQ(ERROR_SUCCESS, control::setInitFault(0));
    ASSERT_EQ(ERROR_SUCCESS, control::telephonyStatus(&s));
    EXPECT_EQ(0u, s.reinitAttempts + s.reinitMilliseconds);
    EXPECT_EQ(0, s.initFault);
}

TEST_F(Control, ADueStartIsTakenWithTheClockPinnedFirst) {
    const char* path = "C:\\Program Files\\Velmora\\velmora.exe";
    SYSTEMTIME due = at("2026-12-14 07:00");
    ASSERT_TRUE(CeRunAppAtTime(TEXT("C:\\Program Files\\Velmora\\velmora.exe"), &due));
    std::optional<control::PendingStart> start;
    ASSERT_EQ(ERROR_SUCCESS, control::pendingStart(path, &start));
    ASSERT_TRUE(start.has_value());
    EXPECT_TRUE(start->valid);
    EXPECT_EQ(1, start->at.wDayOfWeek) << "a Monday";

    ASSERT_EQ(ERROR_SUCCESS, control::takePendingStart(*start, due));
    std::optional<SYSTEMTIME> pinned;
    ASSERT_EQ(ERROR_SUCCESS, control::pinnedClock(&pinned));
    ASSERT_TRUE(pinned.has_value());
    EXPECT_EQ("2026-12-14 07:00:00", clock_text::formatDateTime(*pinned));
    EXPECT_EQ("none", contract::pendingStart(TEXT("C:\\Program Files\\Velmora\\velmora.exe")));

    ASSERT_TRUE(CeRunAppAtTime(TEXT("C:\\a.exe"), &due));
    ASSERT_EQ(ERROR_SUCCESS, control::clearPendingStarts());
    std::vector<control::PendingStart> all;
    ASSERT_EQ(ERROR_SUCCESS, control::pendingStarts(&all));
    EXPECT_TRUE(all.empty());
}

TEST_F(Control, AResetPhoneIsANewOne) {
    const std::string programKey = "SOFTWARE\\VelmoraContract\\Program";
    const std::string exact("1\0"
                            "1\0"
                            "0\0",
                            6); // no terminator, as the phone keeps it
    ASSERT_EQ(ERROR_SUCCESS, control::storeValue("\\" + programKey, "Enabled", REG_SZ, exact));
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyEx(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\VelmoraContract\\Program"), 0,
                             nullptr, 0, 0, nullptr, &key, nullptr));
    DWORD type = contract::kMarker, size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, TEXT("Enabled"), nullptr, &type, nullptr, &size));
    EXPECT_EQ(6u, size) << "the bytes exactly as given";
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, control::setLineState(0, LINEEQUIPSTATE_MINIMUM));
    ASSERT_TRUE(contract::pinClock("2026-12-14 07:00"));

    ASSERT_EQ(ERROR_SUCCESS, control::resetPhone({programKey})) << control::problem();
    EXPECT_EQ(DWORD(LINEEQUIPSTATE_FULL), contract::lineState(0)) << "the lines seeded anew";
    std::optional<SYSTEMTIME> pinned;
    ASSERT_EQ(ERROR_SUCCESS, control::pinnedClock(&pinned));
    EXPECT_FALSE(pinned.has_value());
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyEx(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\VelmoraContract\\Program"), 0,
                             nullptr, 0, 0, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueEx(key, TEXT("Enabled"), nullptr, &type, nullptr, &size));
    RegCloseKey(key);
}

} // namespace
