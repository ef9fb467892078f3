// The values of the phone state read as what their place in the state's layout holds (docs/wine.md:
// "The phone state under Wine"): a value a person or another program left there reads as an
// error with its reason, never as a crash and never as "nothing there".
#include "win32.h"

namespace winphone {

namespace {

// ---- The layout of the phone state: what each value must hold ----

enum class Form { Dword, Text, Binary };

struct Rule {
    const wchar_t* key;  // the subkey: names between backslashes, '#' for a number, '*' for any
    const wchar_t* name; // '*' for any
    Form form;
    DWORD lowest, highest;            // a dword's range
    bool (*fits)(const std::string&); // a text's (UTF-8) or the bytes' form; nullptr: any
    const char* wanted;               // what belongs there, for people
};

bool isDateTimeText(const std::string& text) {
    SYSTEMTIME t;
    return parseDateTime(text, &t);
}

bool isHandleRecord(const std::string& text) {
    if (text == "session")
        return true;
    const std::string line = "line ";
    if (text.size() <= line.size() || text.compare(0, line.size(), line) != 0)
        return false;
    return text.find_first_not_of("0123456789", line.size()) == std::string::npos;
}

const DWORD kAny = 0xFFFFFFFF;
const DWORD kNegative = 0x80000000; // the lowest dword that is a negative LONG

const Rule kLayout[] = {
    {L"", L"Clock", Form::Text, 0, 0, isDateTimeText, "a date and time, YYYY-MM-DD HH:MM:SS"},
    {L"", L"TickStep", Form::Dword, 1, kAny, nullptr, "a step of 1 ms or more"},
    {L"", L"TickNow", Form::Dword, 0, kAny, nullptr, "a tick count"},
    {L"", L"Answers", Form::Binary, 0, 0, isAnswerQueue, "32-bit answers, each 1 (OK) to 7 (No)"},
    {L"TimedStarts", L"*", Form::Text, 0, 0, isDateTimeText,
     "a start's date and time, YYYY-MM-DD HH:MM:SS"},
    {L"Messages", L"Last", Form::Dword, 0, kAny, nullptr, "the number of the last box"},
    {L"Messages\\#", L"Caption", Form::Text, 0, 0, nullptr, "a box's caption"},
    {L"Messages\\#", L"Text", Form::Text, 0, 0, nullptr, "a box's text"},
    {L"Messages\\#", L"Type", Form::Dword, 0, kAny, nullptr, "a box's type"},
    {L"Messages\\#", L"Process", Form::Dword, 0, kAny, nullptr, "a process id"},
    {L"Messages\\#", L"Answer", Form::Dword, 0, IDNO, nullptr, "a box's answer, 0 to 7"},
    {L"Lines", L"Seeded", Form::Dword, 0, kAny, nullptr, "a dword"},
    {L"Lines\\#", L"Name", Form::Text, 0, 0, nullptr, "a line's name"},
    {L"Lines\\#", L"Media", Form::Dword, 0, kAny, nullptr, "media modes"},
    {L"Lines\\#", L"State", Form::Dword, LINEEQUIPSTATE_MINIMUM, LINEEQUIPSTATE_FULL, nullptr,
     "an equipment state from 1 (off) to 5 (full)"},
    {L"Lines\\#", L"Registered", Form::Dword, 0, 1, nullptr, "0 or 1"},
    {L"Lines\\#\\Faults", L"*", Form::Dword, kNegative, kAny, nullptr,
     "a fault: a negative result"},
    {L"Telephony", L"InitFault", Form::Dword, kNegative, kAny, nullptr,
     "a fault: a negative result"},
    {L"Telephony", L"ReinitAttempts", Form::Dword, 0, kAny, nullptr, "a count"},
    {L"Telephony", L"ReinitMs", Form::Dword, 0, kAny, nullptr, "a span of milliseconds"},
    {L"Telephony", L"ReinitSince", Form::Dword, 0, kAny, nullptr, "a tick count"},
    {L"Telephony\\Calls", L"Last", Form::Dword, 0, kAny, nullptr, "the number of the last call"},
    {L"Telephony\\Calls", L"*", Form::Text, 0, 0, nullptr, "a call's record"},
    {L"TimedStartRefusals", L"Last", Form::Dword, 0, kAny, nullptr,
     "the number of the last refusal"},
    {L"TimedStartRefusals", L"*", Form::Text, 0, 0, nullptr, "a refusal's record"},
    {L"Telephony", L"ClosedByShutdown", Form::Dword, 0, kAny, nullptr, "a count"},
    {L"Telephony\\Handles", L"*", Form::Text, 0, 0, isHandleRecord, "'session' or 'line N'"},
};

bool sameName(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           (a.empty() || CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL);
}

bool nameMatches(std::wstring_view pattern, std::wstring_view name) {
    if (pattern == L"*")
        return true;
    if (pattern == L"#")
        return !name.empty() && name.find_first_not_of(L"0123456789") == std::wstring_view::npos;
    return sameName(pattern, name);
}

// Whether a subkey (names between backslashes) matches a rule's key, name by name.
bool keyMatches(std::wstring_view pattern, std::wstring_view key) {
    for (;;) {
        size_t p = pattern.find(L'\\'), k = key.find(L'\\');
        if (!nameMatches(pattern.substr(0, p), key.substr(0, k)))
            return false;
        if (p == std::wstring_view::npos || k == std::wstring_view::npos)
            return p == k;
        pattern.remove_prefix(p + 1);
        key.remove_prefix(k + 1);
    }
}

const Rule* ruleFor(std::wstring_view subkey, std::wstring_view name) {
    for (const Rule& rule : kLayout)
        if (keyMatches(rule.key, subkey) && nameMatches(rule.name, name))
            return &rule;
    return nullptr;
}

std::string hexOf(const std::string& bytes, size_t most) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < bytes.size() && i < most; ++i) {
        out += digits[static_cast<unsigned char>(bytes[i]) >> 4];
        out += digits[static_cast<unsigned char>(bytes[i]) & 15];
    }
    return bytes.size() > most ? out + "..." : out;
}

// A string value's text: its UTF-16 characters up to the first terminator.
std::wstring textOf(const std::string& bytes) {
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
    size_t end = text.find(L'\0');
    if (end != std::wstring::npos)
        text.resize(end);
    return text;
}

DWORD dwordOf(const std::string& bytes) {
    DWORD value = 0;
    memcpy(&value, bytes.data(), sizeof value);
    return value;
}

// What a value holds, for people: "the dword 9", "the text 'soon'", "2 bytes of type 4".
std::string describe(DWORD type, const std::string& bytes) {
    if (type == REG_DWORD && bytes.size() == sizeof(DWORD))
        return "the dword " + std::to_string(dwordOf(bytes));
    if (type == REG_SZ && bytes.size() % sizeof(wchar_t) == 0) {
        std::string text = oneLine(toUtf8(textOf(bytes)));
        if (text.size() > 40)
            text = text.substr(0, 40) + "...";
        return "the text '" + text + "'";
    }
    if (type == REG_BINARY)
        return bytes.empty() ? "no bytes" : "the bytes " + hexOf(bytes, 16);
    std::string size = std::to_string(bytes.size()) + (bytes.size() == 1 ? " byte" : " bytes");
    if (type == REG_DWORD)
        return "a dword of " + size;
    if (type == REG_SZ)
        return "a string of " + size;
    return size + " of type " + std::to_string(type);
}

// "the value 'State' of phone\Lines\0", as velmora-state names the key: the name quoted (its
// backslashes doubled, as every quoted text), the key's names between single backslashes,
// since no key name holds one.
std::string valueName(std::wstring_view subkey, std::wstring_view name) {
    std::string out = "the value '";
    out.append(oneLine(toUtf8(name))).append("' of phone");
    for (size_t at = 0; at <= subkey.size() && !subkey.empty();) {
        size_t end = std::min(subkey.find(L'\\', at), subkey.size());
        out.append(1, '\\').append(oneLine(toUtf8(subkey.substr(at, end - at))));
        at = end + 1;
    }
    return out;
}

// Reads a value and judges it. ERROR_SUCCESS with its bytes; ERROR_FILE_NOT_FOUND when it is
// missing; else the failure, reported (reportStateProblem). `problem` says what is wrong.
LONG readJudged(std::wstring_view subkey, std::wstring_view name, DWORD wantedType,
                std::string* bytes, std::string* problem) {
    DWORD type = REG_NONE;
    LONG status = readStateValue(subkey, name, &type, bytes);
    if (status == ERROR_FILE_NOT_FOUND) {
        // Said only by a caller for which missing is wrong.
        *problem = valueName(subkey, name) + " is missing";
        return status;
    }
    if (status != ERROR_SUCCESS)
        *problem = valueName(subkey, name) + " cannot be read";
    else if ((*problem = stateValueProblem(subkey, name, type, *bytes, wantedType)).empty())
        return ERROR_SUCCESS;
    else
        status = ERROR_BADDB;
    return reportStateProblem(status, *problem);
}

} // namespace

std::string stateValueProblem(std::wstring_view subkey, std::wstring_view name, DWORD type,
                              const std::string& bytes, DWORD wantedType) {
    const Rule* rule = ruleFor(subkey, name);
    Form form;
    if (rule != nullptr)
        form = rule->form;
    else if (wantedType == REG_DWORD)
        form = Form::Dword;
    else if (wantedType == REG_SZ)
        form = Form::Text;
    else if (wantedType == REG_BINARY)
        form = Form::Binary;
    else
        return "";
    const char* wanted = rule != nullptr       ? rule->wanted
                         : form == Form::Dword ? "a dword"
                         : form == Form::Text  ? "text"
                                               : "binary data";
    std::string wrong = valueName(subkey, name) + " holds " + describe(type, bytes) + ", where " +
                        wanted + " belongs";
    switch (form) {
    case Form::Dword:
        if (type != REG_DWORD || bytes.size() != sizeof(DWORD))
            return wrong;
        if (rule != nullptr && (dwordOf(bytes) < rule->lowest || dwordOf(bytes) > rule->highest))
            return wrong;
        return "";
    case Form::Text:
        if (type != REG_SZ || bytes.size() % sizeof(wchar_t) != 0)
            return wrong;
        if (rule != nullptr && rule->fits != nullptr && !rule->fits(toUtf8(textOf(bytes))))
            return wrong;
        return "";
    case Form::Binary:
        if (type != REG_BINARY)
            return wrong;
        if (rule != nullptr && rule->fits != nullptr && !rule->fits(bytes))
            return wrong;
        return "";
    }
    return wrong;
}

StateValue<DWORD> stateDword(std::wstring_view subkey, std::wstring_view name) {
    std::string bytes, problem;
    LONG status = readJudged(subkey, name, REG_DWORD, &bytes, &problem);
    if (status != ERROR_SUCCESS)
        return StateValue<DWORD>::failed(status, problem);
    return dwordOf(bytes);
}

StateValue<std::wstring> stateText(std::wstring_view subkey, std::wstring_view name) {
    std::string bytes, problem;
    LONG status = readJudged(subkey, name, REG_SZ, &bytes, &problem);
    if (status != ERROR_SUCCESS)
        return StateValue<std::wstring>::failed(status, problem);
    return textOf(bytes);
}

StateValue<std::string> stateBytes(std::wstring_view subkey, std::wstring_view name) {
    std::string bytes, problem;
    LONG status = readJudged(subkey, name, REG_BINARY, &bytes, &problem);
    if (status != ERROR_SUCCESS)
        return StateValue<std::string>::failed(status, problem);
    return bytes;
}

} // namespace winphone
