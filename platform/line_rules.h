// The phone's telephony as both layers serve it: the API versions it takes, the media modes it
// knows, the operations a line's fault can be set on, and the capabilities record it writes.
// After the platform's declarations (tapi.h, or the simulated phone's), within a layer.
#ifndef VELMORA_PLATFORM_LINE_RULES_H
#define VELMORA_PLATFORM_LINE_RULES_H

#include <cstring>
#include <string>
#include <vector>

namespace line_rules {

// The operations a line's fault can be set on, in the order of a session's calls.
inline const std::vector<std::string> kOperations = {"negotiate", "devcaps",    "open",
                                                     "halfopen",  "getstate",   "setstate",
                                                     "register",  "unregister", "close"};

// The API versions this telephony supports.
inline constexpr DWORD kLowestVersion = 0x00010003;
inline constexpr DWORD kHighestVersion = 0x00020000;
// Every media mode of TAPI 2.0: LINEMEDIAMODE_UNKNOWN up to LINEMEDIAMODE_VIDEO.
inline constexpr DWORD kKnownMediaModes = (LINEMEDIAMODE_VIDEO << 1) - LINEMEDIAMODE_UNKNOWN;

inline bool versionSupported(DWORD version) {
    return version >= kLowestVersion && version <= kHighestVersion;
}

// The fixed part of the capabilities record for the negotiated version: TAPI 1.4's or 2.0's.
inline DWORD devCapsFixedSize(DWORD apiVersion) {
    return apiVersion >= 0x00020000 ? 252 : 240;
}

// Writes a line's capabilities into the caller's record, only its dwTotalSize bytes (at least
// `fixed`): the fixed part, then the line's name if it fits.
template <typename CodeUnit>
void fillDevCaps(LPLINEDEVCAPS caps, DWORD fixed, DWORD device, const CodeUnit* name,
                 size_t nameChars, DWORD mediaModes) {
    static_assert(sizeof(CodeUnit) == 2, "UTF-16 code units");
    BYTE* record = reinterpret_cast<BYTE*>(caps);
    const DWORD total = caps->dwTotalSize;
    std::memset(record + sizeof(DWORD), 0, fixed - sizeof(DWORD));
    const DWORD nameBytes = static_cast<DWORD>((nameChars + 1) * sizeof(CodeUnit));
    caps->dwNeededSize = fixed + nameBytes;
    caps->dwUsedSize = fixed;
    caps->dwPermanentLineID = 0x00010000u + device;
    caps->dwStringFormat = STRINGFORMAT_UNICODE;
    caps->dwAddressModes = LINEADDRESSMODE_ADDRESSID;
    caps->dwNumAddresses = 1;
    caps->dwBearerModes = LINEBEARERMODE_VOICE | LINEBEARERMODE_DATA;
    caps->dwMaxRate = 9600;
    caps->dwMediaModes = mediaModes;
    caps->dwMaxNumActiveCalls = 1;
    if (total - fixed >= nameBytes) {
        std::memcpy(record + fixed, name, nameBytes);
        caps->dwLineNameSize = nameBytes;
        caps->dwLineNameOffset = fixed;
        caps->dwUsedSize = fixed + nameBytes;
    }
}

} // namespace line_rules

#endif
