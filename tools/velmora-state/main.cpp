// velmora-state: reads and writes the state of a phone under Wine (the prefix's registry) with
// exact bytes, for scripts and people: `wine reg` shows no byte counts and prints Chinese as
// question marks. Output is UTF-8 with LF line endings. Only the registry is used (advapi32).
//
//   dump                               every value of the program's settings and the phone
//                                      state: KEY<TAB>NAME<TAB>TYPE<TAB>BYTES<TAB>VALUE
//   get KEY NAME                       TYPE BYTES VALUE (sz, dword or binary); exit 1 if missing
//   hex KEY NAME                       TYPE-CODE BYTES HEX, the bytes exactly as stored
//   set KEY NAME sz TEXT|dword N|binary HEX|TYPE-CODE HEX
//   delete KEY [NAME]                  a value, or the key with everything below it
//   reset                              a new phone: the phone state and the settings deleted
//   answer ok|cancel|retry|yes|no|...  queues the answer for the next box shown without a person
//   lines                              the line devices, as `velmora-phone lines` lists them:
//                                      index, name, media modes, state, registered, faults (a new
//                                      phone gets its lines here, so that they can then be set)
//   serve                              answers a console's requests on standard input until its
//                                      end (velmora-phone --wine; serve.cpp)
//
// KEY is a path under HKEY_LOCAL_MACHINE, or `settings` (the program's key) or `phone` (the
// phone state), either followed by \SUBKEY. A value of the phone state that holds what it must
// not there (a line's State of 9, a Clock that is no date, ...) is still shown as stored, and
// said in one line on standard error with its status (1009); the exit status is then 1.
#include "serve.h"

#include "platform/box_answers.h"
#include "platform/phone/control.h"
#include "platform/utf8.h"
#include "schedule/settings.h"
#include "tools/shared/protocol.h"
#include "tools/shared/value_text.h"

#include <cstdio>

namespace {

using Args = std::vector<std::string>;

int fail(const std::string& message, int status = 2) {
    writeStd(STD_ERROR_HANDLE, "velmora-state: " + message + "\n");
    return status;
}

// A problem of the phone state, with its status, in one line; exit status 1.
int failOn(LONG status, const std::string& problem) {
    return fail(problem + " (status " + std::to_string(status) + ")", 1);
}

void print(const std::string& line) {
    writeStd(STD_OUTPUT_HANDLE, line + "\n");
}

std::wstring settingsKey() {
    return keyPathOf(utf8Of(SETTINGS_KEY_PATH));
}

// Where the phone keeps its state: a key under HKEY_LOCAL_MACHINE.
std::wstring stateKey() {
    return keyPathOf(control::where());
}

std::wstring keyPath(const std::string& key) {
    std::wstring path = keyPathOf(key);
    size_t split = path.find(L'\\');
    std::wstring first = path.substr(0, split);
    std::wstring rest = split == std::wstring::npos ? L"" : path.substr(split);
    if (_wcsicmp(first.c_str(), L"settings") == 0)
        return settingsKey() + rest;
    if (_wcsicmp(first.c_str(), L"phone") == 0)
        return stateKey() + rest;
    return path;
}

using value_text::decode;
using value_text::parseNumber;
using value_text::typeName;

// Says what is wrong with a value of the phone state as stored, if anything; whether it is
// as it must be.
bool judge(const std::wstring& path, const std::wstring& name, DWORD type,
           const std::string& bytes) {
    std::string problem = control::valueProblem(utf8Of(path), utf8Of(name), type, bytes);
    if (problem.empty())
        return true;
    failOn(ERROR_BADDB, problem);
    return false;
}

// Every value below `path`, depth first, keys and values in the registry's order; false when
// one of the phone state's is not as it must be.
bool dumpKey(const std::wstring& path) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return true;
    bool good = true;
    std::string keyName = utf8Of(path);
    std::vector<std::wstring> values, subkeys;
    keyNames(key, Names::Values, &values);
    for (const std::wstring& valueName : values) {
        DWORD type = 0;
        std::string bytes;
        LONG status = readValueBytes(key, valueName, &type, &bytes);
        if (status != ERROR_SUCCESS) {
            failOn(status, "the value '" + oneLine(utf8Of(valueName)) + "' of " + keyName +
                               " cannot be read");
            good = false;
            continue;
        }
        print(keyName + "\t" + oneLine(utf8Of(valueName)) + "\t" + typeName(type) + "\t" +
              std::to_string(bytes.size()) + "\t" + decode(type, bytes));
        good = judge(path, valueName, type, bytes) && good;
    }
    keyNames(key, Names::Subkeys, &subkeys);
    RegCloseKey(key);
    for (const std::wstring& subkey : subkeys)
        good = dumpKey(path + L"\\" + subkey) && good;
    return good;
}

int dump(const Args& args) {
    if (args.size() != 1)
        return fail("usage: dump");
    bool good = dumpKey(settingsKey());
    good = dumpKey(stateKey()) && good;
    return good ? 0 : 1;
}

int getValue(const Args& args, bool asHex) {
    if (args.size() != 3)
        return fail(std::string("usage: ") + args[0] + " KEY NAME");
    HKEY key;
    DWORD type = 0;
    std::string bytes;
    const std::wstring path = keyPath(args[1]), name = utf16Of<wchar_t>(args[2]);
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key);
    if (status == ERROR_FILE_NOT_FOUND)
        return fail("no key '" + args[1] + "'", 1);
    if (status != ERROR_SUCCESS)
        return failOn(status, "the key '" + args[1] + "' cannot be opened");
    status = readValueBytes(key, name, &type, &bytes);
    RegCloseKey(key);
    if (status == ERROR_FILE_NOT_FOUND)
        return fail("no value '" + args[2] + "' in '" + args[1] + "'", 1);
    if (status != ERROR_SUCCESS)
        return failOn(status, "the value '" + args[2] + "' in '" + args[1] + "' cannot be read");
    if (asHex)
        print(std::to_string(type) + " " + std::to_string(bytes.size()) + " " +
              protocol::hex(bytes));
    else
        print(std::string(typeName(type)) + " " + std::to_string(bytes.size()) + " " +
              decode(type, bytes));
    return judge(path, name, type, bytes) ? 0 : 1;
}

int setValue(const Args& args) {
    if (args.size() != 5)
        return fail("usage: set KEY NAME sz TEXT|dword N|binary HEX|TYPE-CODE HEX");
    const std::string& kind = args[3];
    std::string bytes, why;
    DWORD type = REG_NONE;
    if (parseNumber(kind, &type)) {
        if (!protocol::unhex(args[4], &bytes))
            return fail("'" + args[4] + "' is not hex bytes (two hex digits a byte)");
    } else if (!value_text::encode(kind, args[4], &type, &bytes, &why)) {
        return fail(why.empty()
                        ? "unknown value type '" + kind + "' (sz, dword, binary or a type code)"
                        : why);
    }
    LONG status = control::storeValue(utf8Of(keyPath(args[1])), args[2], type, bytes);
    if (status != ERROR_SUCCESS)
        return fail("cannot store '" + args[2] + "' (status " + std::to_string(status) + ")", 1);
    return 0;
}

int deleteValue(const Args& args) {
    if (args.size() == 2)
        return deleteKeyTree(keyPath(args[1])) == ERROR_SUCCESS
                   ? 0
                   : fail("cannot delete '" + args[1] + "'", 1);
    if (args.size() != 3)
        return fail("usage: delete KEY [NAME]");
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath(args[1]).c_str(), 0, KEY_READ | KEY_WRITE,
                      &key) != ERROR_SUCCESS)
        return fail("no key '" + args[1] + "'", 1);
    LONG status = RegDeleteValueW(key, utf16Of<wchar_t>(args[2]).c_str());
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return fail("no value '" + args[2] + "' in '" + args[1] + "'", 1);
    return 0;
}

int reset(const Args& args) {
    if (args.size() != 1)
        return fail("usage: reset");
    return control::resetPhone({utf8Of(settingsKey())}) == ERROR_SUCCESS
               ? 0
               : fail("cannot reset the phone", 1);
}

int answer(const Args& args) {
    int value = args.size() == 2 ? box_answers::answerFromName(args[1]) : 0;
    if (value == 0)
        return fail("usage: answer ok|cancel|abort|retry|ignore|yes|no");
    LONG status = control::queueAnswer(value);
    if (status == ERROR_SUCCESS)
        return 0;
    if (control::problem().empty())
        return fail("cannot queue the answer", 1);
    return failOn(status, "cannot queue the answer: " + control::problem());
}

int lines(const Args& args) {
    if (args.size() != 1)
        return fail("usage: lines");
    std::vector<control::LineDevice> all;
    LONG status = control::lineDevices(&all);
    for (const control::LineDevice& d : all) {
        char media[16];
        snprintf(media, sizeof media, "0x%08lx", static_cast<unsigned long>(d.mediaModes));
        print(std::to_string(d.index) + "\t" + oneLine(d.name) + "\t" + media + "\t" +
              std::to_string(d.equipmentState) + "\t" + (d.registered ? "yes" : "no") + "\t" +
              d.faults);
    }
    return status == ERROR_SUCCESS ? 0 : failOn(status, control::problem());
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    // Every problem of the phone state is reported here, as the verb's own.
    control::echoBadValues(false);
    Args args;
    for (int i = 1; i < argc; ++i)
        args.push_back(utf8Of(argv[i]));
    if (args.empty())
        return fail("usage: velmora-state dump|get|hex|set|delete|reset|answer|lines|serve ...");
    const std::string& verb = args[0];
    if (verb == "dump")
        return dump(args);
    if (verb == "get" || verb == "hex")
        return getValue(args, verb == "hex");
    // What a verb changes is flushed before it returns.
    int (*const change)(const Args&) = verb == "set"      ? setValue
                                       : verb == "delete" ? deleteValue
                                       : verb == "reset"  ? reset
                                       : verb == "answer" ? answer
                                                          : nullptr;
    if (change != nullptr) {
        int status = change(args);
        flushPhone();
        return status;
    }
    if (verb == "lines")
        return lines(args);
    if (verb == "serve" && args.size() == 1)
        return serve();
    return fail("unknown verb '" + verb +
                "' (dump, get, hex, set, delete, reset, answer, lines, serve)");
}
