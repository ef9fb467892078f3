// The dialog script's parser and commands. Everything it knows of the dialog it asks through
// the platform's window calls, and everything it does it does through them, as a program
// driving another window of its own process would; what no window call can do (queueing a
// message box's answer, a picture of the screen, the simulated phone's keys) each platform
// layer provides. Texts come back as UTF-16 on every platform, whatever WCHAR is called there,
// and are written out as UTF-8.
#include "platform/dialog_script.h"
#include "platform/utf8.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

const char* const kDialogScriptCommands =
    "click ID | set ID H:MM | answer yes|no|ok | key NAME | dump | snap FILE | ok | cancel";

namespace {

// The dialogs with a line running now, innermost last: a line may open another dialog.
std::vector<HWND> dialogsWithALineRunning;

// A class name is at most 256 characters.
const int kClassNameChars = 257;
// The longest error line, in bytes, before "..." stands for the rest.
const size_t kErrorBytes = 200;

// ---- Texts ----

// The window's text as GetWindowText gives it: a picker answers with the time it shows. A
// control whose template names a resource by number (an icon's) keeps that name, U+FFFF and
// the number, as its text; it reads as #number.
std::string windowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    if (length <= 0)
        return {};
    std::vector<WCHAR> buffer(static_cast<size_t>(length) + 1);
    int copied = std::clamp(GetWindowTextW(window, buffer.data(), length + 1), 0, length);
    std::string out;
    if (copied > 0 && static_cast<uint16_t>(buffer[0]) == 0xFFFF) {
        // Built by appending: GCC 12 misreads a literal joined to a temporary as an overlap.
        out = "#";
        out += std::to_string(copied > 1 ? static_cast<uint16_t>(buffer[1]) : 0);
        return out;
    }
    appendUtf8(out, buffer.data(), static_cast<size_t>(copied));
    return out;
}

std::string className(HWND window) {
    WCHAR buffer[kClassNameChars];
    int copied = GetClassNameW(window, buffer, kClassNameChars);
    std::string out;
    appendUtf8(out, buffer, static_cast<size_t>(std::clamp(copied, 0, kClassNameChars - 1)));
    return out;
}

// Class names compare without regard to ASCII letter case, as the platform compares them.
bool sameClass(std::string_view name, std::string_view expected) {
    return std::equal(name.begin(), name.end(), expected.begin(), expected.end(),
                      [](char a, char b) {
                          auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
                          return lower(a) == lower(b);
                      });
}

// A text as the dump shows it: in double quotes, kept to one line.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
        case '"':
            out += '\\';
            out += c;
            break;
        default:
            out += c;
        }
    }
    return out + "\"";
}

// Errors quote what the script said: kept to one printable line of sensible length, cut
// between characters.
std::string printable(std::string_view text) {
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        if (line.size() >= kErrorBytes && (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            line += "...";
            break;
        }
        line += oneLine(text.substr(i, 1));
    }
    return line;
}

// ---- Words ----

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && blank(line[i]))
            ++i;
        size_t start = i;
        while (i < line.size() && !blank(line[i]))
            ++i;
        if (i > start)
            out.push_back(line.substr(start, i - start));
    }
    return out;
}

// A decimal number of at most nine digits, optionally negative.
bool parseInt(std::string_view text, int* value) {
    bool negative = !text.empty() && text[0] == '-';
    if (negative)
        text.remove_prefix(1);
    if (text.empty() || text.size() > 9)
        return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *value = negative ? -v : v;
    return true;
}

// Built by appending: GCC 12 misreads a literal joined to a temporary string as an overlap.
std::string inQuotes(std::string_view text) {
    std::string out(1, '\'');
    out.append(text);
    out += '\'';
    return out;
}

bool fail(std::string* error, const std::string& text) {
    *error = text;
    return false;
}

// ---- Controls ----

enum class ControlKind { Button, CheckBox, Picker, Other };

ControlKind kindOf(HWND control) {
    std::string name = className(control);
    if (sameClass(name, "SysDateTimePick32"))
        return ControlKind::Picker;
    if (!sameClass(name, "Button"))
        return ControlKind::Other;
    switch (static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE)) & BS_TYPEMASK) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
        return ControlKind::CheckBox;
    case BS_GROUPBOX:
        return ControlKind::Other; // a frame: nothing to press
    default:
        return ControlKind::Button;
    }
}

// A control named by its whole id; ids are 16-bit, so a larger number names no control, not
// the one with its low word.
HWND controlNamed(HWND dialog, std::string_view word, int* id, std::string* error) {
    if (!parseInt(word, id)) {
        fail(error, inQuotes(word) + " is not a control id");
        return nullptr;
    }
    HWND control = nullptr;
    if (*id >= -1 && *id <= 0xFFFF) {
        control = GetDlgItem(dialog, *id);
        // A classic template's -1 is the word 0xFFFF; a dialog manager may keep either.
        if (!control && (*id == -1 || *id == 0xFFFF))
            control = GetDlgItem(dialog, *id == -1 ? 0xFFFF : -1);
    }
    if (!control)
        fail(error, "no control with id " + std::to_string(*id));
    return control;
}

std::string controlText(int id) {
    return "control " + std::to_string(id);
}

// ---- Commands ----

bool click(HWND dialog, std::string_view word, std::string* error) {
    int id;
    HWND control = controlNamed(dialog, word, &id, error);
    if (!control)
        return false;
    if (!IsWindowEnabled(dialog))
        return fail(error, "the dialog is not taking input");
    if (!IsWindowEnabled(control))
        return fail(error, controlText(id) + " is disabled");
    switch (kindOf(control)) {
    case ControlKind::Picker:
        // A click into a picker selects it; its time is changed with set.
        SetFocus(control);
        return true;
    case ControlKind::Button:
    case ControlKind::CheckBox:
        SendMessageW(control, BM_CLICK, 0, 0);
        return true;
    default:
        return fail(error, controlText(id) + " cannot be clicked");
    }
}

bool set(HWND dialog, std::string_view word, std::string_view timeWord, std::string* error) {
    int id;
    HWND control = controlNamed(dialog, word, &id, error);
    if (!control)
        return false;
    size_t colon = timeWord.find(':');
    int hour, minute;
    if (colon == std::string_view::npos || !parseInt(timeWord.substr(0, colon), &hour) ||
        timeWord.size() - colon - 1 != 2 || !parseInt(timeWord.substr(colon + 1), &minute))
        return fail(error, inQuotes(timeWord) + " is not a time H:MM");
    if (kindOf(control) != ControlKind::Picker)
        return fail(error, controlText(id) + " is not a time picker");
    if (!IsWindowEnabled(control) || !IsWindowEnabled(dialog))
        return fail(error, controlText(id) + " is disabled");
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59)
        return fail(error, "not a time of day: " + std::to_string(hour) + ":" +
                               (minute >= 0 && minute < 10 ? "0" : "") + std::to_string(minute));
    // Only the hour and the minute change; a picker that shows no time takes today's date.
    SYSTEMTIME time;
    memset(&time, 0, sizeof(time));
    if (SendMessageW(control, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time)) != GDT_VALID)
        GetLocalTime(&time);
    time.wHour = static_cast<WORD>(hour);
    time.wMinute = static_cast<WORD>(minute);
    if (!SendMessageW(control, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time)))
        return fail(error, controlText(id) + " refused the time " + std::string(timeWord));
    SetFocus(control);
    return true;
}

bool answer(std::string_view name, std::string* error) {
    struct Answer {
        const char* name;
        int id;
    } const answers[] = {{"yes", IDYES}, {"no", IDNO}, {"ok", IDOK}};
    for (const Answer& a : answers)
        if (name == a.name) {
            dialogScriptAnswer(a.id);
            return true;
        }
    return fail(error, "usage: answer yes|no|ok");
}

// Every control, one a line, tab-separated: id, class, "text", check state, enabled,
// "time as shown", focus; "-" where a column does not apply.
std::string dump(HWND dialog) {
    std::string out;
    HWND focus = GetFocus();
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        int id = GetDlgCtrlID(c);
        ControlKind kind = kindOf(c);
        std::string text = windowText(c);
        out += std::to_string(LOWORD(id) == 0xFFFF ? -1 : id);
        out += '\t' + className(c);
        out += '\t' + quoted(text);
        out += '\t';
        out += kind == ControlKind::CheckBox ? std::to_string(SendMessageW(c, BM_GETCHECK, 0, 0))
                                             : std::string("-");
        out += IsWindowEnabled(c) ? "\t1\t" : "\t0\t";
        out += kind == ControlKind::Picker ? quoted(text) : std::string("-");
        out += focus && (focus == c || IsChild(c, focus)) ? "\tfocus\n" : "\t-\n";
    }
    return out;
}

// The command as a person would give it: the dialog hears of it as of a click on the button
// with that id, which it may lack (the Done button in the title bar stands for OK).
void command(HWND dialog, int id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool runLine(HWND dialog, std::string_view line, std::string* out, std::string* error) {
    std::vector<std::string_view> w = words(line);
    if (w.empty() || w[0][0] == '#')
        return true;
    std::string_view verb = w[0];
    auto usage = [&](std::string_view form) { return fail(error, "usage: " + std::string(form)); };
    if (verb == "click")
        return w.size() == 2 ? click(dialog, w[1], error) : usage("click ID");
    if (verb == "set")
        return w.size() == 3 ? set(dialog, w[1], w[2], error) : usage("set ID H:MM");
    if (verb == "answer")
        return answer(w.size() == 2 ? w[1] : std::string_view(), error);
    if (verb == "key")
        return w.size() == 2 ? dialogScriptKey(dialog, w[1], error) : usage("key NAME");
    if (verb == "snap") {
        // The file is the rest of the line, so that its name may hold spaces.
        std::string_view path =
            trimmed(line.substr(static_cast<size_t>(verb.data() + verb.size() - line.data())));
        return path.empty() ? usage("snap FILE") : dialogScriptSnap(dialog, path, error);
    }
    if (verb == "dump" || verb == "ok" || verb == "cancel") {
        if (w.size() != 1)
            return usage(verb);
        if (verb == "dump")
            *out += dump(dialog);
        else
            command(dialog, verb == "ok" ? IDOK : IDCANCEL);
        return true;
    }
    return fail(error, "unknown command " + inQuotes(line) + " (" + kDialogScriptCommands + ")");
}

} // namespace

bool dialogScriptBusy(HWND dialog) {
    return std::find(dialogsWithALineRunning.begin(), dialogsWithALineRunning.end(), dialog) !=
           dialogsWithALineRunning.end();
}

bool runDialogScriptLine(HWND dialog, std::string_view line, std::string* out, std::string* error) {
    std::string output, complaint;
    bool done;
    if (dialogScriptBusy(dialog)) {
        done = fail(&complaint, "the previous command is still running");
    } else {
        dialogsWithALineRunning.push_back(dialog);
        done = runLine(dialog, line, &output, &complaint);
        dialogsWithALineRunning.pop_back();
    }
    if (out)
        *out += output;
    if (!done && error)
        *error = printable(complaint);
    return done;
}
