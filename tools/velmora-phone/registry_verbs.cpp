#include "phone.h"
#include "schedule/settings.h"
#include "tools/shared/value_text.h"

#include <cstdio>

namespace phone {
namespace {

using value_text::decode;
using value_text::parseNumber;
using value_text::typeName;

const std::u16string kSettingsKey = SETTINGS_KEY_PATH;

// A value's name as the console shows it: on one line, and shortened when it is longer than any
// the registry takes now (it may come from an older phone, or from the command line).
std::string shownName(const std::u16string& name) {
    if (name.size() <= 64)
        return oneLine(utf8Of(name));
    return oneLine(utf8Of(name.substr(0, 48))) + "... (" + std::to_string(name.size()) +
           " characters)";
}

int regGet(Phone& phone, const Args& args) {
    if (args.size() != 2)
        return fail("usage: reg get NAME");
    RegistryValue value;
    const std::u16string name = utf16Of(args[1]);
    LONG status = phone.readValue(kSettingsKey, name, &value);
    // A value that is not there is an answer; one that cannot be read is a failure.
    if (status == ERROR_FILE_NOT_FOUND)
        return fail("no value '" + shownName(name) + "'", 1);
    if (status != ERROR_SUCCESS)
        return failStatus(phone, "read '" + shownName(name) + "'", status);
    std::printf("%s %zu %s\n", typeName(value.type), value.bytes.size(),
                decode(value.type, value.bytes).c_str());
    return 0;
}

int regSet(Phone& phone, const Args& args) {
    if (args.size() != 4)
        return fail("usage: reg set NAME sz|dword|binary VALUE");
    RegistryValue value;
    value.name = utf16Of(args[1]);
    std::string why;
    if (!value_text::encode(args[2], args[3], &value.type, &value.bytes, &why))
        return fail(why.empty() ? "unknown value type '" + args[2] + "' (sz, dword or binary)"
                                : why);
    return done(phone, "store '" + shownName(value.name) + "'",
                phone.writeValue(kSettingsKey, value));
}

int regDelete(Phone& phone, const Args& args) {
    if (args.size() != 2)
        return fail("usage: reg delete NAME");
    const std::u16string name = utf16Of(args[1]);
    LONG status = phone.deleteValue(kSettingsKey, name);
    if (status == ERROR_FILE_NOT_FOUND)
        return fail("no value '" + shownName(name) + "'", 1);
    return done(phone, "delete '" + shownName(name) + "'", status);
}

} // namespace

int regVerb(Phone& phone, const Args& args) {
    if (args.empty())
        return fail("usage: reg get|set|delete NAME ...");
    // Names and texts are kept as UTF-16: bytes that are not UTF-8 would be changed silently
    // (and two such names would be one).
    for (const std::string& text : args)
        if (!isValidUtf8(text))
            return fail("'" + text + "' is not UTF-8 text");
    if (args[0] == "get")
        return regGet(phone, args);
    if (args[0] == "set")
        return regSet(phone, args);
    if (args[0] == "delete")
        return regDelete(phone, args);
    return fail("unknown reg verb '" + args[0] + "' (get, set or delete)");
}

LONG showRegistry(Phone& phone) {
    std::printf("Registry (HKEY_LOCAL_MACHINE%s):\n", utf8Of(kSettingsKey).c_str());
    std::vector<ListedValue> listed;
    LONG status = phone.listValues(kSettingsKey, &listed);
    if (status != ERROR_SUCCESS && listed.empty())
        std::printf("  (the values cannot be listed: %s)\n", statusText(phone, status).c_str());
    for (size_t index = 0; index < listed.size(); ++index) {
        const ListedValue& entry = listed[index];
        const RegistryValue& v = entry.value;
        if (entry.status != ERROR_SUCCESS) {
            std::printf("  (the value at index %zu cannot be read: status %ld%s)\n", index,
                        static_cast<long>(entry.status),
                        (entry.why.empty() ? "" : ": " + oneLine(entry.why)).c_str());
            continue;
        }
        std::printf("  %-8s %-6s %3zu bytes  %s\n", shownName(v.name).c_str(), typeName(v.type),
                    v.bytes.size(), decode(v.type, v.bytes).c_str());
    }
    if (listed.empty() && status == ERROR_SUCCESS)
        std::printf("  (no values: the program uses its defaults)\n");
    return status;
}

} // namespace phone
