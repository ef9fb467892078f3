#include "phone.h"
#include "schedule/settings.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace phone {
namespace {

const char* typeName(DWORD type) {
    switch (type) {
    case REG_SZ:
        return "sz";
    case REG_DWORD:
        return "dword";
    default:
        return "binary";
    }
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// The value as "show" and "reg get" print it: text up to its terminator, a number, or hex.
std::string decode(DWORD type, const std::string& bytes) {
    if (type == REG_SZ) {
        std::u16string text;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            char16_t c = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                               static_cast<unsigned char>(bytes[i + 1]) << 8);
            if (c == 0)
                break;
            text += c;
        }
        return host::oneLine(host::toUtf8(text));
    }
    if (type == REG_DWORD && bytes.size() <= 4) {
        DWORD n = 0;
        for (size_t i = 0; i < bytes.size(); ++i)
            n |= static_cast<DWORD>(static_cast<unsigned char>(bytes[i])) << (8 * i);
        return std::to_string(n);
    }
    return hex(bytes);
}

LONG openKey(HKEY* key) {
    return RegCreateKeyEx(SETTINGS_ROOT, SETTINGS_KEY_PATH, 0, nullptr, 0, 0, nullptr, key,
                          nullptr);
}

LONG readValue(HKEY key, const std::u16string& name, DWORD* type, std::string* bytes) {
    DWORD size = 0;
    LONG status = RegQueryValueEx(key, name.c_str(), nullptr, type, nullptr, &size);
    if (status != ERROR_SUCCESS)
        return status;
    bytes->assign(size, '\0');
    return RegQueryValueEx(key, name.c_str(), nullptr, type, reinterpret_cast<BYTE*>(bytes->data()),
                           &size);
}

bool parseHex(const std::string& text, std::string* out) {
    if (text.size() % 2)
        return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        char* end = nullptr;
        std::string pair = text.substr(i, 2);
        long v = std::strtol(pair.c_str(), &end, 16);
        if (*end || !std::isxdigit(static_cast<unsigned char>(pair[0])))
            return false;
        *out += static_cast<char>(v);
    }
    return true;
}

// Decimal (a leading '-' counts down from 2^32), or hexadecimal after "0x"; nothing else, so
// that "010" is ten and not eight.
bool parseNumber(const std::string& text, DWORD* out) {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    size_t digits = hex ? 2 : (!text.empty() && text[0] == '-' ? 1 : 0);
    if (digits >= text.size())
        return false;
    for (size_t i = digits; i < text.size(); ++i)
        if (!(hex ? std::isxdigit(static_cast<unsigned char>(text[i]))
                  : std::isdigit(static_cast<unsigned char>(text[i]))))
            return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, hex ? 16 : 10);
    if (*end || errno || v < -2147483648LL || v > 4294967295LL)
        return false;
    *out = static_cast<DWORD>(v);
    return true;
}

int regGet(HKEY key, const Args& args) {
    if (args.size() != 2)
        return fail("usage: reg get NAME");
    DWORD type = 0;
    std::string bytes;
    LONG status = readValue(key, host::fromUtf8(args[1]), &type, &bytes);
    // A value that is not there is an answer; one that cannot be read is a failure.
    if (status == ERROR_FILE_NOT_FOUND)
        return fail("no value '" + args[1] + "'", 1);
    if (status != ERROR_SUCCESS)
        return failStatus("read '" + args[1] + "'", status);
    std::printf("%s %zu %s\n", typeName(type), bytes.size(), decode(type, bytes).c_str());
    return 0;
}

int regSet(HKEY key, const Args& args) {
    if (args.size() != 4)
        return fail("usage: reg set NAME sz|dword|binary VALUE");
    const std::string& kind = args[2];
    std::string bytes;
    DWORD type;
    if (kind == "sz") {
        type = REG_SZ;
        std::u16string text = host::fromUtf8(args[3]);
        // Stored with its terminator, as a registry editor stores a string.
        bytes.assign(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * 2);
    } else if (kind == "dword") {
        type = REG_DWORD;
        DWORD n;
        if (!parseNumber(args[3], &n))
            return fail("'" + args[3] + "' is not a 32-bit number");
        bytes.assign(reinterpret_cast<const char*>(&n), sizeof n);
    } else if (kind == "binary") {
        type = REG_BINARY;
        if (!parseHex(args[3], &bytes))
            return fail("'" + args[3] + "' is not hex bytes (two hex digits a byte)");
    } else {
        return fail("unknown value type '" + kind + "' (sz, dword or binary)");
    }
    LONG status = RegSetValueEx(key, host::fromUtf8(args[1]).c_str(), 0, type,
                                reinterpret_cast<const BYTE*>(bytes.data()),
                                static_cast<DWORD>(bytes.size()));
    if (status != ERROR_SUCCESS)
        return failStatus("store '" + args[1] + "'", status);
    return 0;
}

int regDelete(HKEY key, const Args& args) {
    if (args.size() != 2)
        return fail("usage: reg delete NAME");
    LONG status = RegDeleteValue(key, host::fromUtf8(args[1]).c_str());
    if (status == ERROR_FILE_NOT_FOUND)
        return fail("no value '" + args[1] + "'", 1);
    if (status != ERROR_SUCCESS)
        return failStatus("delete '" + args[1] + "'", status);
    return 0;
}

} // namespace

int regVerb(const Args& args) {
    if (args.empty())
        return fail("usage: reg get|set|delete NAME ...");
    // Names and texts are kept as UTF-16: bytes that are not UTF-8 would be changed silently
    // (and two such names would be one).
    for (const std::string& text : args)
        if (!host::isValidUtf8(text))
            return fail("'" + text + "' is not UTF-8 text");
    HKEY key;
    if (LONG status = openKey(&key))
        return failStatus("open the settings key", status);
    int code;
    if (args[0] == "get")
        code = regGet(key, args);
    else if (args[0] == "set")
        code = regSet(key, args);
    else if (args[0] == "delete")
        code = regDelete(key, args);
    else
        code = fail("unknown reg verb '" + args[0] + "' (get, set or delete)");
    RegCloseKey(key);
    return code;
}

LONG showRegistry() {
    std::printf("Registry (HKEY_LOCAL_MACHINE%s):\n", host::toUtf8(SETTINGS_KEY_PATH).c_str());
    HKEY key;
    LONG status = openKey(&key);
    if (status != ERROR_SUCCESS) {
        std::printf("  (the settings key cannot be opened: %s)\n", statusText(status).c_str());
        return status;
    }
    DWORD values = 0, longestName = 0, largestData = 0;
    status = RegQueryInfoKey(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                             &longestName, &largestData, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
        std::printf("  (the values cannot be counted: %s)\n", statusText(status).c_str());
    LONG first = status;
    int shown = 0;
    // A value that cannot be read is said in its place, and the listing goes on.
    for (DWORD i = 0; status == ERROR_SUCCESS && i < values; ++i) {
        std::u16string name(longestName + 1, u'\0');
        std::string bytes(largestData, '\0');
        DWORD nameChars = longestName + 1, type = 0, size = largestData;
        LONG read = RegEnumValue(key, i, name.data(), &nameChars, nullptr, &type,
                                 reinterpret_cast<BYTE*>(bytes.data()), &size);
        if (read == ERROR_NO_MORE_ITEMS)
            break; // values deleted meanwhile
        if (read != ERROR_SUCCESS) {
            std::printf("  (the value at index %u cannot be read: %s)\n", i,
                        statusText(read).c_str());
            if (first == ERROR_SUCCESS)
                first = read;
            continue;
        }
        name.resize(nameChars);
        bytes.resize(size);
        // A name longer than any the registry takes now (from an older phone) is shortened.
        std::string label = host::toUtf8(name.size() > 64 ? name.substr(0, 48) : name);
        if (name.size() > 64)
            label += "... (" + std::to_string(name.size()) + " characters)";
        std::printf("  %-8s %-6s %3zu bytes  %s\n", host::oneLine(label).c_str(), typeName(type),
                    bytes.size(), decode(type, bytes).c_str());
        ++shown;
    }
    if (!shown && first == ERROR_SUCCESS)
        std::printf("  (no values: the program uses its defaults)\n");
    RegCloseKey(key);
    return first;
}

} // namespace phone
