// The line protocol between the console on the host and velmora-state serve under Wine: plain
// C++ for both builds. A line is fields separated by tabs; a field escapes backslash, tab, LF
// and CR as \\, \t, \n and \r, and every other control character as \xHH. Registry data travels as
// lowercase hex, exactly as stored.
#ifndef VELMORA_TOOLS_SHARED_PROTOCOL_H
#define VELMORA_TOOLS_SHARED_PROTOCOL_H

#include "platform/utf8.h"

#include <cctype>
#include <string>
#include <string_view>
#include <vector>

namespace protocol {

// What the helper answers to "hello", so that a console meets a helper that speaks its protocol.
constexpr const char kVersion[] = "velmora-state serve 2";

// A field on one line: the escapes a listing uses, read back exactly by split().
inline std::string escape(std::string_view text) {
    return oneLine(text);
}

inline std::vector<std::string> split(std::string_view line) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 3 < line.size() && line[i + 1] == 'x' &&
                   std::isxdigit(static_cast<unsigned char>(line[i + 2])) &&
                   std::isxdigit(static_cast<unsigned char>(line[i + 3]))) {
            auto nibble = [](char h) { return std::isdigit(h) ? h - '0' : (h | 0x20) - 'a' + 10; };
            fields.back() += static_cast<char>(nibble(line[i + 2]) * 16 + nibble(line[i + 3]));
            i += 3;
        } else if (c == '\\' && i + 1 < line.size()) {
            char e = line[++i];
            fields.back() += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

inline std::string join(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += '\t';
        line += escape(fields[i]);
    }
    return line;
}

inline std::string hex(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// False for anything but pairs of hex digits.
inline bool unhex(std::string_view text, std::string* out) {
    auto nibble = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    if (text.size() % 2)
        return false;
    out->clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        int hi = nibble(text[i]), lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        *out += static_cast<char>(hi << 4 | lo);
    }
    return true;
}

} // namespace protocol

#endif
