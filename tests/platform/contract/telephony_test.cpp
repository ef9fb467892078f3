// Telephony through the seam: a new phone's lines, sessions and lines as handles that are
// checked, version negotiation, the capabilities record, opening lines, the cellular
// extension's equipment state and registration, faults set on one operation of one line,
// LINEERR_REINIT for a count, and the records of what was left open.
#include "contract.h"

#include "platform/phone/line_rules.h"

#include <cstdint>
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

// A handle passed where the other kind belongs: a pointer on the simulated phone, a number on
// desktop Win32.
template <typename To, typename From> To handleAs(From handle) {
    return (To)(uintptr_t)handle;
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

// ---- Sessions and handles ----

// Their names and media modes are their capabilities' (CapabilitiesFillOnlyTheCallersRecord).
TEST_F(Telephony, ANewPhoneHasAVoiceLineAndADataLine) {
    DWORD count = 0;
    HLINEAPP app = start(&count);
    ASSERT_EQ(2u, count);
    for (DWORD device = 0; device < count; ++device) {
        DWORD version = contract::kMarker;
        LINEEXTENSIONID extension;
        memset(&extension, contract::kMarkerByte, sizeof extension);
        ASSERT_EQ(
            0, lineNegotiateAPIVersion(app, device, 0x00020000, 0x00022000, &version, &extension));
        EXPECT_EQ(kVersion, version);
        EXPECT_EQ(0u, extension.dwExtensionID0 | extension.dwExtensionID1 |
                          extension.dwExtensionID2 | extension.dwExtensionID3);
        EXPECT_EQ(DWORD(LINEEQUIPSTATE_FULL), contract::lineState(device));
        EXPECT_TRUE(contract::lineRegistered(device));
    }
    EXPECT_EQ(0, lineShutdown(app));
}

TEST_F(Telephony, InitializeChecksItsPointers) {
    HLINEAPP app = 0;
    DWORD count = contract::kMarker;
    EXPECT_EQ(result(LINEERR_INVALPOINTER),
              lineInitialize(nullptr, nullptr, noEvents, nullptr, &count));
    EXPECT_EQ(result(LINEERR_INVALPOINTER),
              lineInitialize(&app, nullptr, nullptr, nullptr, &count));
    EXPECT_EQ(result(LINEERR_INVALPOINTER),
              lineInitialize(&app, nullptr, noEvents, nullptr, nullptr));
    EXPECT_EQ(HLINEAPP(), app);
    EXPECT_EQ(contract::kMarker, count);
    EXPECT_EQ(0, contract::leaks().sessionsOpen);
}

TEST_F(Telephony, SessionsAreDistinctAndEndOnce) {
    HLINEAPP a = start(), b = start();
    EXPECT_NE(a, b);
    EXPECT_EQ(2, contract::leaks().sessionsOpen);
    EXPECT_EQ(0, lineShutdown(a));
    EXPECT_EQ(result(LINEERR_INVALAPPHANDLE), lineShutdown(a));
    EXPECT_EQ(result(LINEERR_INVALAPPHANDLE), lineShutdown(HLINEAPP()));
    EXPECT_EQ(1, contract::leaks().sessionsOpen);
    EXPECT_EQ(0, lineShutdown(b));
    EXPECT_EQ(0, contract::leaks().sessionsOpen);
}

TEST_F(Telephony, HandlesAreCheckedAndARefusedCallWritesNothing) {
    HLINEAPP app = start();
    HLINE line = open(app, 0);
    EXPECT_EQ(result(LINEERR_BADDEVICEID),
              lineOpen(app, 2, &line, kVersion, 0, 0, LINECALLPRIVILEGE_OWNER,
                       LINEMEDIAMODE_DATAMODEM, nullptr));

    // A session is no line, and a line no session.
    HLINEAPP lineAsApp = handleAs<HLINEAPP>(line);
    HLINE appAsLine = handleAs<HLINE>(app), other = 0;
    DWORD version = contract::kMarker, state = contract::kMarker, support = contract::kMarker;
    LINEEXTENSIONID extension;
    LINEDEVCAPS caps;
    memset(&caps, 0, sizeof caps);
    caps.dwTotalSize = sizeof caps;
    EXPECT_EQ(result(LINEERR_INVALAPPHANDLE),
              lineNegotiateAPIVersion(lineAsApp, 0, 0x00020000, 0x00022000, &version, &extension));
    EXPECT_EQ(result(LINEERR_INVALAPPHANDLE), lineGetDevCaps(lineAsApp, 0, kVersion, 0, &caps));
    EXPECT_EQ(result(LINEERR_INVALAPPHANDLE),
              lineOpen(HLINEAPP(), 0, &other, kVersion, 0, 0, LINECALLPRIVILEGE_OWNER,
                       LINEMEDIAMODE_DATAMODEM, nullptr));
    EXPECT_EQ(HLINE(), other);
    EXPECT_EQ(result(LINEERR_INVALAPPHANDLE), lineShutdown(lineAsApp));
    EXPECT_EQ(result(LINEERR_INVALLINEHANDLE), lineGetEquipmentState(appAsLine, &state, &support));
    EXPECT_EQ(result(LINEERR_INVALLINEHANDLE), lineSetEquipmentState(appAsLine, 1));
    EXPECT_EQ(result(LINEERR_INVALLINEHANDLE),
              lineRegister(HLINE(), LINEREGMODE_AUTOMATIC, nullptr, LINEOPFORMAT_NONE));
    EXPECT_EQ(result(LINEERR_INVALLINEHANDLE), lineUnregister(appAsLine));
    EXPECT_EQ(result(LINEERR_INVALLINEHANDLE), lineClose(appAsLine));
    EXPECT_EQ(0, lineClose(line));

    // The closed line and the ended session are dead for good.
    EXPECT_EQ(result(LINEERR_INVALLINEHANDLE), lineGetEquipmentState(line, &state, &support));
    EXPECT_EQ(contract::kMarker, state);
    EXPECT_EQ(contract::kMarker, support);
    EXPECT_EQ(result(LINEERR_INVALLINEHANDLE), lineSetEquipmentState(line, LINEEQUIPSTATE_MINIMUM));
    EXPECT_EQ(result(LINEERR_INVALLINEHANDLE), lineUnregister(line));
    EXPECT_EQ(result(LINEERR_INVALLINEHANDLE), lineClose(line));
    EXPECT_EQ(0, lineShutdown(app));
    EXPECT_EQ(result(LINEERR_INVALAPPHANDLE), lineShutdown(app));
    EXPECT_EQ(result(LINEERR_INVALAPPHANDLE),
              lineNegotiateAPIVersion(app, 0, 0x00020000, 0x00022000, &version, &extension));
    EXPECT_EQ(contract::kMarker, version);
    EXPECT_EQ(DWORD(LINEEQUIPSTATE_FULL), contract::lineState(0)) << "nothing changed the radio";
}

// ---- Version negotiation and capabilities ----

TEST_F(Telephony, NegotiatesTheHighestCommonVersion) {
    HLINEAPP app = start();
    struct Case {
        DWORD device, low, high;
        LONG result;
        DWORD version; // kMarker: left alone
    } cases[] = {
        {0, 0x00020000, 0x00022000, 0, 0x00020000},
        {1, 0x00010004, 0x00010004, 0, 0x00010004},
        {0, 0x00010000, 0x00020000, 0, 0x00020000},
        {0, 0x00020001, 0x00030000, result(LINEERR_INCOMPATIBLEAPIVERSION), contract::kMarker},
        {0, 0x00010000, 0x00010001, result(LINEERR_INCOMPATIBLEAPIVERSION), contract::kMarker},
        {0, 0x00020000, 0x00010004, result(LINEERR_INCOMPATIBLEAPIVERSION), contract::kMarker},
        {2, 0x00020000, 0x00022000, result(LINEERR_BADDEVICEID), contract::kMarker},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "device " << c.device << ", 0x" << std::hex << c.low << "-0x" << c.high);
        DWORD version = contract::kMarker;
        LINEEXTENSIONID extension;
        memset(&extension, contract::kMarkerByte, sizeof extension);
        EXPECT_EQ(c.result,
                  lineNegotiateAPIVersion(app, c.device, c.low, c.high, &version, &extension));
        EXPECT_EQ(c.version, version);
        if (c.result == 0) {
            EXPECT_EQ(0u, extension.dwExtensionID0 | extension.dwExtensionID1 |
                              extension.dwExtensionID2 | extension.dwExtensionID3);
        }
    }
    LINEEXTENSIONID extension;
    EXPECT_EQ(result(LINEERR_INVALPOINTER),
              lineNegotiateAPIVersion(app, 0, 0x00020000, 0x00022000, nullptr, &extension));
    EXPECT_EQ(0, lineShutdown(app));
}

TEST_F(Telephony, CapabilitiesFillOnlyTheCallersRecord) {
    HLINEAPP app = start();
    union {
        LINEDEVCAPS caps;
        BYTE raw[400];
    } record;
    struct Line {
        const char16_t* name;
        DWORD media;
    } lines[] = {{u"Cellular Line", LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM},
                 {u"Cellular Data", LINEMEDIAMODE_DATAMODEM}};
    for (DWORD device = 0; device < 2; ++device) {
        SCOPED_TRACE(device);
        // A record of 292 bytes inside a larger buffer: nothing past its total size is written.
        memset(record.raw, contract::kMarkerByte, sizeof record.raw);
        record.caps.dwTotalSize = 292;
        ASSERT_EQ(0, lineGetDevCaps(app, device, kVersion, 0, &record.caps));
        DWORD media;
        memcpy(&media, record.raw + 60, sizeof media); // dwMediaModes, the 16th field
        EXPECT_EQ(lines[device].media, media);
        EXPECT_EQ(DWORD(STRINGFORMAT_UNICODE), record.caps.dwStringFormat);
        std::u16string expected = lines[device].name;
        ASSERT_EQ((expected.size() + 1) * 2, record.caps.dwLineNameSize);
        ASSERT_LE(record.caps.dwLineNameOffset + record.caps.dwLineNameSize, 292u);
        std::u16string name(
            reinterpret_cast<const char16_t*>(record.raw + record.caps.dwLineNameOffset),
            expected.size());
        EXPECT_TRUE(name == expected);
        EXPECT_EQ(record.caps.dwNeededSize, record.caps.dwUsedSize);
        EXPECT_LE(record.caps.dwUsedSize, 292u);
        for (size_t i = 292; i < sizeof record.raw; ++i)
            ASSERT_EQ(contract::kMarkerByte, record.raw[i]) << "byte " << i << " written past it";
    }

    // The fixed part alone: the name does not fit and is left out, the needed size says so.
    memset(record.raw, contract::kMarkerByte, sizeof record.raw);
    record.caps.dwTotalSize = 252;
    ASSERT_EQ(0, lineGetDevCaps(app, 1, kVersion, 0, &record.caps));
    EXPECT_EQ(DWORD(LINEMEDIAMODE_DATAMODEM), record.caps.dwMediaModes);
    EXPECT_EQ(0u, record.caps.dwLineNameSize);
    EXPECT_EQ(252u, record.caps.dwUsedSize);
    EXPECT_EQ(252u + sizeof(u"Cellular Data"), record.caps.dwNeededSize);
    EXPECT_EQ(contract::kMarkerByte, record.raw[252]);
    EXPECT_EQ(0, lineShutdown(app));
}

TEST_F(Telephony, CapabilitiesCheckTheirArguments) {
    HLINEAPP app = start();
    struct Case {
        DWORD device, version, extension, size;
        LONG result;
    } cases[] = {
        {0, 0x00020000, 0, 251, result(LINEERR_STRUCTURETOOSMALL)},
        {0, 0x00010004, 0, 240, 0},
        {0, 0x00010004, 0, 239, result(LINEERR_STRUCTURETOOSMALL)},
        {0, 0x00030000, 0, 292, result(LINEERR_INCOMPATIBLEAPIVERSION)},
        {0, 0x00020000, 1, 292, result(LINEERR_INCOMPATIBLEEXTVERSION)},
        {5, 0x00020000, 0, 292, result(LINEERR_BADDEVICEID)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "device " << c.device << ", size " << c.size);
        LINEDEVCAPS caps;
        memset(&caps, 0, sizeof caps);
        caps.dwTotalSize = c.size;
        EXPECT_EQ(c.result, lineGetDevCaps(app, c.device, c.version, c.extension, &caps));
    }
    EXPECT_EQ(result(LINEERR_INVALPOINTER), lineGetDevCaps(app, 0, kVersion, 0, nullptr));
    EXPECT_EQ(0, lineShutdown(app));
}

// ---- Opening lines ----

TEST_F(Telephony, OpenChecksPrivilegesAndMediaModes) {
    HLINEAPP app = start();
    const DWORD owner = LINECALLPRIVILEGE_OWNER, monitor = LINECALLPRIVILEGE_MONITOR,
                none = LINECALLPRIVILEGE_NONE, data = LINEMEDIAMODE_DATAMODEM,
                voice = LINEMEDIAMODE_INTERACTIVEVOICE;
    struct Case {
        DWORD device, extension, privileges, media;
        LONG result;
    } cases[] = {
        {0, 0, owner, data, 0},
        {0, 0, owner, voice, 0},
        {0, 0, owner | monitor, data, 0},
        {0, 0, monitor, 0, 0},
        {0, 0, none, 0, 0},
        {0, 0, owner, 0, result(LINEERR_INVALMEDIAMODE)},
        {0, 0, owner, LINEMEDIAMODE_G3FAX, result(LINEERR_INVALMEDIAMODE)},
        {0, 0, owner, 0x00010000, result(LINEERR_INVALMEDIAMODE)},
        {1, 0, owner, voice, result(LINEERR_INVALMEDIAMODE)},
        {0, 0, 0, data, result(LINEERR_INVALPRIVSELECT)},
        {0, 0, 8, data, result(LINEERR_INVALPRIVSELECT)},
        {0, 0, none | owner, data, result(LINEERR_INVALPRIVSELECT)},
        {2, 0, owner, data, result(LINEERR_BADDEVICEID)},
        {0, 3, owner, data, result(LINEERR_INCOMPATIBLEEXTVERSION)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "device " << c.device << ", privileges " << c.privileges
                                        << ", media 0x" << std::hex << c.media);
        HLINE line = 0;
        EXPECT_EQ(c.result, lineOpen(app, c.device, &line, kVersion, c.extension, 0, c.privileges,
                                     c.media, nullptr));
        EXPECT_EQ(c.result == 0, line != HLINE());
        if (line != HLINE()) {
            EXPECT_EQ(0, lineClose(line));
        }
    }
    EXPECT_EQ(result(LINEERR_INVALPOINTER),
              lineOpen(app, 0, nullptr, kVersion, 0, 0, owner, data, nullptr));
    EXPECT_EQ(0, contract::leaks().linesOpen);
    EXPECT_EQ(0, lineShutdown(app));
}

// ---- The cellular extension ----

TEST_F(Telephony, EquipmentStateAndRegistrationStayWithTheLine) {
    HLINEAPP app = start();
    HLINE line = open(app, 0);
    DWORD state = contract::kMarker, support = contract::kMarker;
    ASSERT_EQ(0, lineGetEquipmentState(line, &state, &support));
    EXPECT_EQ(DWORD(LINEEQUIPSTATE_FULL), state);
    EXPECT_EQ(DWORD(LINERADIOSUPPORT_ON), support);
    EXPECT_EQ(result(LINEERR_INVALPOINTER), lineGetEquipmentState(line, nullptr, &support));
    EXPECT_EQ(result(LINEERR_INVALPOINTER), lineGetEquipmentState(line, &state, nullptr));
    for (DWORD bad : {0u, 6u, 0xFFFFFFFFu})
        EXPECT_EQ(result(LINEERR_INVALPARAM), lineSetEquipmentState(line, bad)) << bad;
    ASSERT_EQ(0, lineSetEquipmentState(line, LINEEQUIPSTATE_RXONLY));
    ASSERT_EQ(0, lineUnregister(line));
    EXPECT_EQ(0, lineClose(line));
    EXPECT_EQ(0, lineShutdown(app));
    contract::reopenPhone();
    EXPECT_EQ(DWORD(LINEEQUIPSTATE_RXONLY), contract::lineState(0));
    EXPECT_FALSE(contract::lineRegistered(0));
    EXPECT_EQ(DWORD(LINEEQUIPSTATE_FULL), contract::lineState(1)) << "the other line is untouched";
    EXPECT_TRUE(contract::lineRegistered(1));

    // The next session finds the radio as the last one left it.
    app = start();
    line = open(app, 0);
    ASSERT_EQ(0, lineGetEquipmentState(line, &state, &support));
    EXPECT_EQ(DWORD(LINEEQUIPSTATE_RXONLY), state);
    // Choosing the network by hand needs the operator's name in a known format.
    struct Case {
        DWORD mode;
        LPCWSTR name;
        DWORD format;
    } refused[] = {
        {0, nullptr, LINEOPFORMAT_NONE},
        {4, nullptr, LINEOPFORMAT_NONE},
        {LINEREGMODE_MANUAL, nullptr, LINEOPFORMAT_ALPHALONG},
        {LINEREGMODE_MANUAL, TEXT("Operator"), LINEOPFORMAT_NONE},
    };
    for (const Case& c : refused)
        EXPECT_EQ(result(LINEERR_INVALPARAM), lineRegister(line, c.mode, c.name, c.format))
            << c.mode << " " << c.format;
    EXPECT_FALSE(contract::lineRegistered(0));
    ASSERT_EQ(0, lineRegister(line, LINEREGMODE_MANUAL, TEXT("Operator"), LINEOPFORMAT_ALPHALONG));
    EXPECT_TRUE(contract::lineRegistered(0));
    ASSERT_EQ(0, lineUnregister(line));
    ASSERT_EQ(0, lineSetEquipmentState(line, LINEEQUIPSTATE_FULL));
    ASSERT_EQ(0, lineRegister(line, LINEREGMODE_AUTOMATIC, nullptr, LINEOPFORMAT_NONE));
    EXPECT_EQ(0, lineClose(line));
    EXPECT_EQ(0, lineShutdown(app));
    EXPECT_EQ(DWORD(LINEEQUIPSTATE_FULL), contract::lineState(0));
    EXPECT_TRUE(contract::lineRegistered(0));
}

// ---- Faults, REINIT and leaks ----

TEST_F(Telephony, AFaultFailsItsOperationOnItsLineOnly) {
    const LONG code = result(LINEERR_RESOURCEUNAVAIL);
    for (line_rules::LineOperation op : line_rules::kOperations) {
        const std::string operation = line_rules::operationName(op);
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
            EXPECT_EQ(operation == "unregister", contract::lineRegistered(0));
            EXPECT_EQ(operation == "register" ? code : 0,
                      lineRegister(line, LINEREGMODE_AUTOMATIC, nullptr, LINEOPFORMAT_NONE));
            // A failing close still releases the line.
            EXPECT_EQ(operation == "close" ? code : 0, lineClose(line));
            EXPECT_EQ(result(LINEERR_INVALLINEHANDLE), lineClose(line));
        }
        // The data line is unaffected.
        EXPECT_EQ(0, lineNegotiateAPIVersion(app, 1, 0x00020000, 0x00022000, &version, &extension));
        EXPECT_EQ(0, lineClose(open(app, 1)));
        HLINE monitor = 0;
        EXPECT_EQ(
            0, lineOpen(app, 1, &monitor, kVersion, 0, 0, LINECALLPRIVILEGE_MONITOR, 0, nullptr));
        EXPECT_EQ(0, lineClose(monitor));
        EXPECT_EQ(0, lineShutdown(app));
        EXPECT_EQ(0, contract::leaks().linesOpen);
    }
}

TEST_F(Telephony, ReinitIsAnsweredForACount) {
    ASSERT_EQ(ERROR_SUCCESS, control::setReinitAttempts(2));
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
    ASSERT_EQ(ERROR_SUCCESS, control::clearLeaks());
    EXPECT_EQ(0, contract::leaks().linesClosedByShutdown);
}

} // namespace
