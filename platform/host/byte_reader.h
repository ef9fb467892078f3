// Reading compiled resource data (the .res image and the templates inside it): every read is
// checked against the end of the bytes, so damaged data is refused and never overrun.
#ifndef VELMORA_HOST_BYTE_READER_H
#define VELMORA_HOST_BYTE_READER_H

#include "win32_core.h"

#include <string>
#include <vector>

namespace host {

// Little-endian words and the strings and numbers of compiled resources, every read checked
// against the end of the bytes.
struct ByteReader {
    const BYTE* bytes;
    size_t end;
    size_t at = 0;

    bool word(WORD* out) {
        if (at > end || end - at < 2)
            return false;
        *out = static_cast<WORD>(bytes[at] | (bytes[at + 1] << 8));
        at += 2;
        return true;
    }
    bool dword(DWORD* out) {
        WORD lo, hi;
        if (!word(&lo) || !word(&hi))
            return false;
        *out = static_cast<DWORD>(lo) | (static_cast<DWORD>(hi) << 16);
        return true;
    }
    bool coordinate(short* out) {
        WORD w;
        if (!word(&w))
            return false;
        *out = static_cast<short>(w);
        return true;
    }
    bool text(WORD first, std::u16string* out) {
        out->clear();
        for (WORD c = first; c != 0;) {
            out->push_back(static_cast<char16_t>(c));
            if (!word(&c))
                return false;
        }
        return true;
    }
    bool text(std::u16string* out) {
        WORD first;
        return word(&first) && text(first, out);
    }
    // 0xFFFF and a number, or a terminated string (an empty one when the first word is 0).
    bool nameOrOrdinal(int* ordinal, std::u16string* name) {
        WORD first;
        if (!word(&first))
            return false;
        *ordinal = -1;
        if (first != 0xFFFF)
            return text(first, name);
        WORD number;
        if (!word(&number))
            return false;
        *ordinal = number;
        name->clear();
        return true;
    }
    bool bytesTo(size_t count, std::vector<BYTE>* out) {
        if (at > end || end - at < count)
            return false;
        out->assign(bytes + at, bytes + at + count);
        at += count;
        return true;
    }
    bool alignToDword() {
        size_t aligned = (at + 3) & ~static_cast<size_t>(3);
        if (aligned > end)
            return false;
        at = aligned;
        return true;
    }
};

// Resource and class names compare without regard to (ASCII) letter case.
inline char16_t upperAscii(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

} // namespace host

#endif
