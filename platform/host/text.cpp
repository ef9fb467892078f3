// Wide strings: UTF-8 conversion for the host, and the bounded formatting and string helpers
// that the application uses.
#include "host.h"
#include "platform/utf8.h"

#include <cstdarg>

namespace host {

std::string toUtf8(std::u16string_view text) {
    return utf8Of(text);
}

std::string toUtf8(const WCHAR* text) {
    return text ? toUtf8(std::u16string_view(text)) : std::string();
}

std::u16string fromUtf8(std::string_view text) {
    return utf16Of(text);
}

} // namespace host

namespace {

// Appends to a bounded buffer, remembering whether anything had to be dropped.
struct Sink {
    WCHAR* dest;
    size_t capacity;
    size_t length = 0;
    bool truncated = false;
    void put(WCHAR c) {
        if (length + 1 < capacity)
            dest[length++] = c;
        else
            truncated = true;
    }
};

void putPadded(Sink& sink, const std::u16string& body, int width, bool left, char16_t pad) {
    int fill = width - static_cast<int>(body.size());
    if (!left)
        for (int i = 0; i < fill; ++i)
            sink.put(pad);
    for (char16_t c : body)
        sink.put(c);
    if (left)
        for (int i = 0; i < fill; ++i)
            sink.put(u' ');
}

std::u16string digits(unsigned long long value, unsigned base, bool upper) {
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::u16string out;
    do {
        out.insert(out.begin(), static_cast<char16_t>(set[value % base]));
        value /= base;
    } while (value);
    return out;
}

// One directive after its '%': flags, width, precision, and the conversion letter.
struct Directive {
    bool left = false, zero = false, plus = false, space = false;
    int width = 0;
    int precision = -1;
    WCHAR conversion = 0;
};

// Reads a directive from just after its '%', taking a '*' width or precision from the
// arguments; leaves `p` on the conversion letter. Length letters are skipped: 'h' and 'l' (and
// 'w') change nothing where int and long are both 32 bits.
Directive readDirective(const WCHAR*& p, va_list* args) {
    Directive d;
    for (;; ++p) {
        if (*p == u'-')
            d.left = true;
        else if (*p == u'0')
            d.zero = true;
        else if (*p == u'+')
            d.plus = true;
        else if (*p == u' ')
            d.space = true;
        else
            break;
    }
    if (*p == u'*') {
        d.width = va_arg(*args, int);
        if (d.width < 0) {
            d.left = true;
            d.width = -d.width;
        }
        ++p;
    }
    while (*p >= u'0' && *p <= u'9')
        d.width = d.width * 10 + (*p++ - u'0');
    if (*p == u'.') {
        ++p;
        d.precision = 0;
        if (*p == u'*') {
            d.precision = va_arg(*args, int);
            ++p;
        }
        while (*p >= u'0' && *p <= u'9')
            d.precision = d.precision * 10 + (*p++ - u'0');
    }
    while (*p == u'h' || *p == u'l' || *p == u'w')
        ++p;
    d.conversion = *p;
    return d;
}

// Writes one converted argument; false for a conversion the language does not have.
bool convert(Sink& sink, const Directive& d, va_list* args) {
    std::u16string body;
    switch (d.conversion) {
    case u'd':
    case u'i': {
        long long v = va_arg(*args, int);
        std::u16string num = digits(v < 0 ? -v : v, 10, false);
        if (d.precision >= 0)
            while (static_cast<int>(num.size()) < d.precision)
                num.insert(num.begin(), u'0');
        std::u16string sign = v < 0 ? u"-" : d.plus ? u"+" : d.space ? u" " : u"";
        if (d.zero && !d.left && d.precision < 0) {
            while (static_cast<int>(num.size() + sign.size()) < d.width)
                num.insert(num.begin(), u'0');
        }
        putPadded(sink, sign + num, d.width, d.left, u' ');
        return true;
    }
    case u'u':
    case u'x':
    case u'X': {
        unsigned v = va_arg(*args, unsigned);
        std::u16string num = digits(v, d.conversion == u'u' ? 10 : 16, d.conversion == u'X');
        if (d.precision >= 0)
            while (static_cast<int>(num.size()) < d.precision)
                num.insert(num.begin(), u'0');
        putPadded(sink, num, d.width, d.left, d.zero && !d.left && d.precision < 0 ? u'0' : u' ');
        return true;
    }
    case u'c':
        body = static_cast<char16_t>(va_arg(*args, int));
        putPadded(sink, body, d.width, d.left, u' ');
        return true;
    case u's': {
        const WCHAR* s = va_arg(*args, const WCHAR*);
        if (!s)
            s = u"(null)";
        for (int i = 0; s[i] && (d.precision < 0 || i < d.precision); ++i)
            body += s[i];
        putPadded(sink, body, d.width, d.left, u' ');
        return true;
    }
    case u'%':
        sink.put(u'%');
        return true;
    default:
        return false;
    }
}

// The subset of the printf language that the phone's wide formatting offers: flags '-', '0',
// '+', ' ', width and precision (also '*'), length 'h' and 'l' (32-bit, as on the phone), and
// the conversions d, i, u, x, X, c, s and %%.
HRESULT formatInto(Sink& sink, LPCWSTR format, va_list* args) {
    for (const WCHAR* p = format; *p; ++p) {
        if (*p != u'%') {
            sink.put(*p);
            continue;
        }
        ++p;
        Directive d = readDirective(p, args);
        if (!convert(sink, d, args)) {
            // An unknown conversion is a caller's mistake: stop rather than read a wrong argument.
            sink.dest[sink.length] = 0;
            return STRSAFE_E_INVALID_PARAMETER;
        }
    }
    sink.dest[sink.length] = 0;
    return sink.truncated ? STRSAFE_E_INSUFFICIENT_BUFFER : S_OK;
}

} // namespace

HRESULT StringCchPrintfW(LPWSTR pszDest, size_t cchDest, LPCWSTR pszFormat, ...) {
    if (!pszDest || cchDest == 0)
        return STRSAFE_E_INVALID_PARAMETER;
    if (!pszFormat) {
        pszDest[0] = 0;
        return STRSAFE_E_INVALID_PARAMETER;
    }
    Sink sink{pszDest, cchDest};
    va_list args;
    va_start(args, pszFormat);
    HRESULT hr = formatInto(sink, pszFormat, &args);
    va_end(args);
    return hr;
}

HRESULT StringCchCopyW(LPWSTR pszDest, size_t cchDest, LPCWSTR pszSrc) {
    if (!pszDest || cchDest == 0)
        return STRSAFE_E_INVALID_PARAMETER;
    Sink sink{pszDest, cchDest};
    for (const WCHAR* s = pszSrc ? pszSrc : u""; *s; ++s)
        sink.put(*s);
    pszDest[sink.length] = 0;
    return sink.truncated ? STRSAFE_E_INSUFFICIENT_BUFFER : S_OK;
}

int lstrlenW(LPCWSTR lpString) {
    if (!lpString)
        return 0;
    int n = 0;
    while (lpString[n])
        ++n;
    return n;
}

int lstrcmpW(LPCWSTR a, LPCWSTR b) {
    a = a ? a : u"";
    b = b ? b : u"";
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a < *b ? -1 : *a > *b ? 1 : 0;
}
