// UTF-16 to and from UTF-8, for every platform layer and the tools: texts come as 16-bit code
// units whether the platform calls them char16_t or wchar_t, and leave as UTF-8. Half a
// surrogate pair, or bytes that are no UTF-8, stand for no character and become U+FFFD. And
// UTF-8 text made to fit one line of a listing.
#ifndef VELMORA_PLATFORM_UTF8_H
#define VELMORA_PLATFORM_UTF8_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

template <typename CodeUnit>
void appendUtf8(std::string& out, const CodeUnit* text, size_t length) {
    static_assert(sizeof(CodeUnit) == 2, "UTF-16 code units");
    for (size_t i = 0; i < length; ++i) {
        uint32_t c = static_cast<uint16_t>(text[i]);
        uint32_t next = i + 1 < length ? static_cast<uint16_t>(text[i + 1]) : 0;
        if (c >= 0xD800 && c <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

inline std::string utf8Of(std::u16string_view text) {
    std::string out;
    appendUtf8(out, text.data(), text.size());
    return out;
}
#if defined(_WIN32)
inline std::string utf8Of(std::wstring_view text) {
    std::string out;
    appendUtf8(out, text.data(), text.size());
    return out;
}
#endif

template <typename CodeUnit = char16_t> std::basic_string<CodeUnit> utf16Of(std::string_view text) {
    static_assert(sizeof(CodeUnit) == 2, "UTF-16 code units");
    std::basic_string<CodeUnit> out;
    size_t i = 0;
    while (i < text.size()) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        uint32_t c = 0xFFFD;
        size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > text.size()) {
            ++i;
        } else {
            c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
            bool ok = true;
            for (size_t k = 1; k < len; ++k) {
                unsigned char cont = static_cast<unsigned char>(text[i + k]);
                if ((cont & 0xC0) != 0x80)
                    ok = false;
                c = (c << 6) | (cont & 0x3F);
            }
            if (!ok) {
                c = 0xFFFD;
                len = 1;
            }
            i += len;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<CodeUnit>(0xD800 + (c >> 10));
            out += static_cast<CodeUnit>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<CodeUnit>(c);
        }
    }
    return out;
}

// Whether the bytes are UTF-8 text, kept exactly through UTF-16.
inline bool isValidUtf8(std::string_view text) {
    return utf8Of(utf16Of(text)) == text;
}

// Escapes what would not stay on one line of a listing or could drive a terminal: newlines,
// tabs and backslashes by their letters, every other control character as \xHH.
inline std::string oneLine(std::string_view text) {
    std::string out;
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\\')
            out += "\\\\";
        else if (byte < 0x20 || byte == 0x7F) {
            const char digits[] = "0123456789abcdef";
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        } else
            out += c;
    }
    return out;
}

#endif
