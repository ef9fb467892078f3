// The phone's telephony as both layers serve it: the API versions it takes, the media modes it
// knows, the operations a line's fault can be set on, the results' names, and the capabilities
// record it writes. After the platform's declarations (tapi.h, or the simulated phone's).
#ifndef VELMORA_PHONE_LINE_RULES_H
#define VELMORA_PHONE_LINE_RULES_H

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace line_rules {

// The operations a line's fault can be set on, in the order of a session's calls. Their names
// are what the phone stores and the console shows.
enum class LineOperation {
    Negotiate,
    DevCaps,
    Open,
    HalfOpen,
    GetState,
    SetState,
    Register,
    Unregister,
    Close
};
inline constexpr const char* kOperationNames[] = {"negotiate", "devcaps",    "open",
                                                  "halfopen",  "getstate",   "setstate",
                                                  "register",  "unregister", "close"};
inline constexpr LineOperation kOperations[] = {
    LineOperation::Negotiate, LineOperation::DevCaps,    LineOperation::Open,
    LineOperation::HalfOpen,  LineOperation::GetState,   LineOperation::SetState,
    LineOperation::Register,  LineOperation::Unregister, LineOperation::Close};

inline const char* operationName(LineOperation operation) {
    return kOperationNames[static_cast<int>(operation)];
}

// nullopt when the name is no operation's.
inline std::optional<LineOperation> operationFromName(std::string_view name) {
    for (LineOperation operation : kOperations)
        if (name == operationName(operation))
            return operation;
    return std::nullopt;
}

// The results a telephony call can give, by name.
struct ResultName {
    LONG code;
    const char* name;
};
// mingw declares the codes unsigned; results are signed.
#define VELMORA_LINE_RESULT(code)                                                                  \
    { static_cast<LONG>(code), #code }
inline const ResultName kResultNames[] = {
    VELMORA_LINE_RESULT(LINEERR_ALLOCATED),
    VELMORA_LINE_RESULT(LINEERR_BADDEVICEID),
    VELMORA_LINE_RESULT(LINEERR_INCOMPATIBLEAPIVERSION),
    VELMORA_LINE_RESULT(LINEERR_INCOMPATIBLEEXTVERSION),
    VELMORA_LINE_RESULT(LINEERR_INUSE),
    VELMORA_LINE_RESULT(LINEERR_INVALAPPHANDLE),
    VELMORA_LINE_RESULT(LINEERR_INVALAPPNAME),
    VELMORA_LINE_RESULT(LINEERR_INVALEXTVERSION),
    VELMORA_LINE_RESULT(LINEERR_INVALLINEHANDLE),
    VELMORA_LINE_RESULT(LINEERR_INVALMEDIAMODE),
    VELMORA_LINE_RESULT(LINEERR_INVALPARAM),
    VELMORA_LINE_RESULT(LINEERR_INVALPOINTER),
    VELMORA_LINE_RESULT(LINEERR_INVALPRIVSELECT),
    VELMORA_LINE_RESULT(LINEERR_NODEVICE),
    VELMORA_LINE_RESULT(LINEERR_NODRIVER),
    VELMORA_LINE_RESULT(LINEERR_NOMEM),
    VELMORA_LINE_RESULT(LINEERR_NOTOWNER),
    VELMORA_LINE_RESULT(LINEERR_NOTREGISTERED),
    VELMORA_LINE_RESULT(LINEERR_OPERATIONFAILED),
    VELMORA_LINE_RESULT(LINEERR_OPERATIONUNAVAIL),
    VELMORA_LINE_RESULT(LINEERR_RESOURCEUNAVAIL),
    VELMORA_LINE_RESULT(LINEERR_STRUCTURETOOSMALL),
    VELMORA_LINE_RESULT(LINEERR_UNINITIALIZED),
    VELMORA_LINE_RESULT(LINEERR_REINIT),
};
#undef VELMORA_LINE_RESULT

// Parses a result code: a LINEERR_* name, signed decimal or 0x hex; false when unreadable.
inline bool parseLineResult(std::string_view text, LONG* out) {
    for (const ResultName& r : kResultNames)
        if (text == r.name) {
            *out = r.code;
            return true;
        }
    std::string s(text);
    if (s.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        unsigned long long v = std::strtoull(s.c_str() + 2, &end, 16);
        if (*end || errno || v > 0xFFFFFFFFull || s[2] == '-' || s[2] == '+')
            return false;
        *out = static_cast<LONG>(static_cast<DWORD>(v));
        return true;
    }
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (*end || errno || v < INT32_MIN || v > INT32_MAX)
        return false;
    *out = static_cast<LONG>(v);
    return true;
}

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
