// Telephony through the seam: a new phone's lines, sessions and lines as handles that are
// checked, the cellular extension's equipment state and registration, faults set on one
// operation of one line, LINEERR_REINIT for a count, and the records of what was left open.
#include "contract.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

void CALLBACK noEvents(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

const DWORD kVersion = 0x00020000;

// The platform declares the LINEERR_* codes unsigned; results are signed.
LONG result(LONG code) {
    return code;
}

class Telephony : public Seam {
  protected:
    HLINEAPP start(DWORD* count = nullptr) {
        HLINEAPP app = 0;
        DWORD devices = contract::kMarker;
        EXPECT_EQ(0, lineInitialize(&app, nullptr, noEvents, nullptr, &devices));
        EXPECT_NE(HLINEAPP(), app);
        if (count != nullptr)
            *count = devices;
        return app;
    }
    HLINE open(HLINEAPP app, DWORD device) {
        HLINE line = 0;
        EXPECT_EQ(0, lineOpen(app, device, &line, kVersion, 0, 0, LINECALLPRIVILEGE_OWNER,
                              LINEMEDIAMODE_DATAMODEM, nullptr));
        EXPECT_NE(HLINE(), line);
        return line;
    }
};

TEST_F(Telephony, ANewPhoneHasAVoiceLineAndADataLine) {
    DWORD count = 0;
    HLINEAPP app = start(&count);
    ASSERT_EQ(2u, count);
    const DWORD voice[] = {LINEMEDIAMODE_INTERACTIVEVOICE, 0};
    for (DWORD device = 0; device < count; ++device) {
        DWORD version = contract::kMarker;
        LINEEXTENSIONID extension;
        memset(&extension, contract::kMarkerByte, sizeof extension);
        ASSERT_EQ(
            0, lineNegotiateAPIVersion(app, device, 0x00020000, 0x00022000, &version, &extension));
        EXPECT_EQ(kVersion, version);
        EXPECT_EQ(0u, extension.dwExtensionID0 | extension.dwExtensionID1 |
                          extension.dwExtensionID2 | extension.dwExtensionID3);

        // A record of 292 bytes inside a larger buffer: nothing past its total size is written.
        union {
            LINEDEVCAPS caps;
            BYTE raw[400];
        } record;
        memset(record.raw, contract::kMarkerByte, sizeof record.raw);
        record.caps.dwTotalSize = 292;
        ASSERT_EQ(0, lineGetDevCaps(app, device, kVersion, 0, &record.caps));
        DWORD media;
        memcpy(&media, record.raw + 60, sizeof media); // dwMediaModes, the 16th field
        EXPECT_EQ(voice[device], media & LINEMEDIAMODE_INTERACTIVEVOICE) << device;
        EXPECT_TRUE(media & LINEMEDIAMODE_DATAMODEM);
        EXPECT_LE(record.caps.dwUsedSize, 292u);
        for (size_t i = 292; i < sizeof record.raw; ++i)
            ASSERT_EQ(contract::kMarkerByte, record.raw[i]) << "byte " << i;
        EXPECT_EQ(DWORD(LINEEQUIPSTATE_FULL), contract::lineState(device));
        EXPECT_TRUE(contract::lineRegistered(device));
    }
    EXPECT_EQ(0, lineShutdown(app));
}

TEST_F(Telephony, HandlesAreCheckedAndARefusedCallWritesNothing) {
    HLINEAPP app = start();
    HLINE line = open(app, 0);
    EXPECT_EQ(result(LINEERR_BADDEVICEID),
              lineOpen(app, 2, &line, kVersion, 0, 0, LINECALLPRIVILEGE_OWNER,
                       LINEMEDIAMODE_DATAMODEM, nullptr));
    EXPECT_EQ(0, lineClose(line));

    // The closed line and the ended session are dead for good.
    DWORD state = contract::kMarker, support = contract::kMarker;
    EXPECT_EQ(result(LINEERR_INVALLINEHANDLE), lineGetEquipmentState(line, &state, &support));
    EXPECT_EQ(contract::kMarker, state);
    EXPECT_EQ(contract::kMarker, support);
    EXPECT_EQ(result(LINEERR_INVALLINEHANDLE), lineSetEquipmentState(line, LINEEQUIPSTATE_MINIMUM));
    EXPECT_EQ(result(LINEERR_INVALLINEHANDLE), lineUnregister(line));
    EXPECT_EQ(result(LINEERR_INVALLINEHANDLE), lineClose(line));
    EXPECT_EQ(0, lineShutdown(app));
    EXPECT_EQ(result(LINEERR_INVALAPPHANDLE), lineShutdown(app));
    DWORD version = contract::kMarker;
    LINEEXTENSIONID extension;
    EXPECT_EQ(result(LINEERR_INVALAPPHANDLE),
              lineNegotiateAPIVersion(app, 0, 0x00020000, 0x00022000, &version, &extension));
    EXPECT_EQ(contract::kMarker, version);
    EXPECT_EQ(DWORD(LINEEQUIPSTATE_FULL), contract::lineState(0)) << "nothing changed the radio";
}

TEST_F(Telephony, EquipmentStateAndRegistrationStayWithTheLine) {
    HLINEAPP app = start();
    HLINE line = open(app, 0);
    DWORD state = contract::kMarker, support = contract::kMarker;
    ASSERT_EQ(0, lineGetEquipmentState(line, &state, &support));
    EXPECT_EQ(DWORD(LINEEQUIPSTATE_FULL), state);
    for (DWORD bad : {0u, 6u})
        EXPECT_EQ(result(LINEERR_INVALPARAM), lineSetEquipmentState(line, bad)) << bad;
    ASSERT_EQ(0, lineSetEquipmentState(line, LINEEQUIPSTATE_MINIMUM));
    ASSERT_EQ(0, lineUnregister(line));
    EXPECT_EQ(0, lineClose(line));
    EXPECT_EQ(0, lineShutdown(app));
    EXPECT_EQ(DWORD(LINEEQUIPSTATE_MINIMUM), contract::lineState(0));
    EXPECT_FALSE(contract::lineRegistered(0));
    EXPECT_EQ(DWORD(LINEEQUIPSTATE_FULL), contract::lineState(1)) << "the other line is untouched";

    // The next session finds the radio as the last one left it.
    app = start();
    line = open(app, 0);
    ASSERT_EQ(0, lineGetEquipmentState(line, &state, &support));
    EXPECT_EQ(DWORD(LINEEQUIPSTATE_MINIMUM), state);
    ASSERT_EQ(0, lineSetEquipmentState(line, LINEEQUIPSTATE_FULL));
    EXPECT_EQ(result(LINEERR_INVALPARAM), lineRegister(line, 0, nullptr, LINEOPFORMAT_NONE));
    ASSERT_EQ(0, lineRegister(line, LINEREGMODE_AUTOMATIC, nullptr, LINEOPFORMAT_NONE));
    EXPECT_EQ(0, lineClose(line));
    EXPECT_EQ(0, lineShutdown(app));
    EXPECT_EQ(DWORD(LINEEQUIPSTATE_FULL), contract::lineState(0));
    EXPECT_TRUE(contract::lineRegistered(0));
}

TEST_F(Telephony, AFaultFailsItsOperationOnItsLineOnly) {
    const LONG code = result(LINEERR_RESOURCEUNAVAIL);
    const char* operations[] = {"negotiate", "devcaps",  "open",       "halfopen", "getstate",
                                "setstate",  "register", "unregister", "close"};
    for (const std::string operation : operations) {
        SCOPED_TRACE(operation);
        contract::newPhone();
        ASSERT_TRUE(contract::setLineFault(0, operation.c_str(), code));
        HLINEAPP app = start();
        DWORD version = 0, state = 0, support = 0;
        LINEEXTENSIONID extension;
        LINEDEVCAPS caps;
        memset(&caps, 0, sizeof caps);
        caps.dwTotalSize = sizeof caps;
        HLINE line = 0;
        EXPECT_EQ(operation == "negotiate" ? code : 0,
                  lineNegotiateAPIVersion(app, 0, 0x00020000, 0x00022000, &version, &extension));
        EXPECT_EQ(operation == "devcaps" ? code : 0, lineGetDevCaps(app, 0, kVersion, 0, &caps));
        EXPECT_EQ(operation == "open" || operation == "halfopen" ? code : 0,
                  lineOpen(app, 0, &line, kVersion, 0, 0, LINECALLPRIVILEGE_OWNER,
                           LINEMEDIAMODE_DATAMODEM, nullptr));
        // A half-failed open still hands back a line, which must be closed.
        EXPECT_EQ(operation != "open", line != HLINE());
        if (line != HLINE()) {
            EXPECT_EQ(operation == "getstate" ? code : 0,
                      lineGetEquipmentState(line, &state, &support));
            EXPECT_EQ(operation == "setstate" ? code : 0,
                      lineSetEquipmentState(line, LINEEQUIPSTATE_MINIMUM));
            EXPECT_EQ(operation == "unregister" ? code : 0, lineUnregister(line));
            EXPECT_EQ(DWORD(operation == "setstate" ? LINEEQUIPSTATE_FULL : LINEEQUIPSTATE_MINIMUM),
                      contract::lineState(0));
            EXPECT_EQ(operation == "register" ? code : 0,
                      lineRegister(line, LINEREGMODE_AUTOMATIC, nullptr, LINEOPFORMAT_NONE));
            // A failing close still releases the line.
            EXPECT_EQ(operation == "close" ? code : 0, lineClose(line));
            EXPECT_EQ(result(LINEERR_INVALLINEHANDLE), lineClose(line));
        }
        // The data line is unaffected.
        EXPECT_EQ(0, lineNegotiateAPIVersion(app, 1, 0x00020000, 0x00022000, &version, &extension));
        EXPECT_EQ(0, lineClose(open(app, 1)));
        EXPECT_EQ(0, lineShutdown(app));
        EXPECT_EQ(0, contract::leaks().linesOpen);
    }
}

TEST_F(Telephony, ReinitIsAnsweredForACount) {
    ASSERT_TRUE(contract::setReinitAttempts(2));
    for (int attempt = 0; attempt < 2; ++attempt) {
        HLINEAPP app = 0;
        DWORD count = contract::kMarker;
        EXPECT_EQ(result(LINEERR_REINIT), lineInitialize(&app, nullptr, noEvents, nullptr, &count))
            << attempt;
        EXPECT_EQ(HLINEAPP(), app);
        EXPECT_EQ(contract::kMarker, count);
    }
    HLINEAPP app = start();
    EXPECT_EQ(0, lineShutdown(app));
    EXPECT_EQ(0, contract::leaks().sessionsOpen);
}

TEST_F(Telephony, WhatIsLeftOpenIsRecorded) {
    HLINEAPP app = start();
    HLINE line = open(app, 0);
    contract::Leaks open = contract::leaks();
    EXPECT_EQ(1, open.sessionsOpen);
    EXPECT_EQ(1, open.linesOpen);
    // Ending the session closes the line the caller left open, and counts it.
    EXPECT_EQ(0, lineShutdown(app));
    contract::Leaks after = contract::leaks();
    EXPECT_EQ(0, after.sessionsOpen);
    EXPECT_EQ(0, after.linesOpen);
    EXPECT_EQ(1, after.linesClosedByShutdown);
    EXPECT_EQ(result(LINEERR_INVALLINEHANDLE), lineClose(line));
}

} // namespace
