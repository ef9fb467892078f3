// A registry value as the console and its Wine helper write it for people, and the values their
// command lines give: the type's word (sz, dword, binary), the value decoded (text up to its
// terminator, a number, or hex), and the values as "reg set ... sz|dword|binary VALUE" takes them.
// Plain C++ for both builds, after the platform's declarations (REG_SZ, REG_DWORD, DWORD).
#ifndef VELMORA_TOOLS_SHARED_VALUE_TEXT_H
#define VELMORA_TOOLS_SHARED_VALUE_TEXT_H

#include "platform/utf8.h"
#include "tools/shared/protocol.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>

namespace value_text {

inline const char* typeName(DWORD type) {
    switch (type) {
    case REG_SZ:
        return "sz";
    case REG_DWORD:
        return "dword";
    default:
        return "binary";
    }
}

inline std::string decode(DWORD type, std::string_view bytes) {
    if (type == REG_SZ) {
        std::u16string text;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            char16_t c = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                               static_cast<unsigned char>(bytes[i + 1]) << 8);
            if (c == 0)
                break;
            text += c;
        }
        return oneLine(utf8Of(text));
    }
    if (type == REG_DWORD && bytes.size() <= 4) {
        DWORD n = 0;
        for (size_t i = 0; i < bytes.size(); ++i)
            n |= static_cast<DWORD>(static_cast<unsigned char>(bytes[i])) << (8 * i);
        return std::to_string(n);
    }
    return protocol::hex(bytes);
}

// Decimal (a leading '-' counts down from 2^32), or hexadecimal after "0x"; nothing else, so
// that "010" is ten and not eight.
inline bool parseNumber(const std::string& text, DWORD* out) {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    size_t first = hex ? 2 : (!text.empty() && text[0] == '-' ? 1 : 0);
    if (first >= text.size())
        return false;
    for (size_t i = first; i < text.size(); ++i)
        if (!(hex ? std::isxdigit(static_cast<unsigned char>(text[i]))
                  : std::isdigit(static_cast<unsigned char>(text[i]))))
            return false;
    errno = 0;
    long long v = std::strtoll(text.c_str(), nullptr, hex ? 16 : 10);
    if (errno || v < -2147483648LL || v > 4294967295LL)
        return false;
    *out = static_cast<DWORD>(v);
    return true;
}

// The type and bytes that "sz TEXT", "dword N" or "binary HEX" stand for. False for a kind that
// is none of those (with `why` empty) or a value that is not of its kind (with `why` saying so).
inline bool encode(const std::string& kind, const std::string& text, DWORD* type,
                   std::string* bytes, std::string* why) {
    why->clear();
    if (kind == "sz") {
        *type = REG_SZ;
        std::u16string wide = utf16Of(text);
        // Stored with its terminator, as a registry editor stores a string.
        bytes->assign(reinterpret_cast<const char*>(wide.c_str()), (wide.size() + 1) * 2);
        return true;
    }
    if (kind == "dword") {
        *type = REG_DWORD;
        DWORD n = 0;
        if (!parseNumber(text, &n)) {
            *why = "'" + text + "' is not a 32-bit number";
            return false;
        }
        bytes->assign(reinterpret_cast<const char*>(&n), sizeof n);
        return true;
    }
    if (kind == "binary") {
        *type = REG_BINARY;
        if (!protocol::unhex(text, bytes)) {
            *why = "'" + text + "' is not hex bytes (two hex digits a byte)";
            return false;
        }
        return true;
    }
    return false;
}

} // namespace value_text

#endif
