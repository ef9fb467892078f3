// Message boxes: every box is recorded on the phone. At a terminal the person picks the button;
// otherwise the box goes to standard error and takes the next scripted answer, or its default
// (platform/phone/answers.h).
#include "host.h"

#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace host {
namespace {

MessageBoxPresenter presenter;
std::optional<bool> terminalPrompts;

using box_answers::buttons;

std::string buttonList(UINT type) {
    std::string out;
    for (int b : buttons(type))
        out += std::string(out.empty() ? "" : "/") + answerName(b);
    return out;
}

bool usePrompts() {
    if (terminalPrompts)
        return *terminalPrompts;
    return isatty(STDIN_FILENO) && isatty(STDERR_FILENO);
}

int askAtTerminal(const std::string& caption, const std::string& text, UINT type) {
    std::fprintf(stderr, "\n== %s ==\n%s\n", caption.c_str(), text.c_str());
    for (;;) {
        std::fprintf(stderr, "[%s] ", buttonList(type).c_str());
        std::fflush(stderr);
        std::string line;
        if (!std::getline(std::cin, line))
            return defaultAnswer(type);
        if (line.empty() && buttons(type).size() == 1)
            return buttons(type)[0];
        int answer = answerFromName(line);
        if (answer && answerFits(type, answer))
            return answer;
    }
}

} // namespace

void setMessageBoxPresenter(MessageBoxPresenter p) {
    presenter = std::move(p);
}
void setTerminalPrompts(std::optional<bool> enabled) {
    terminalPrompts = enabled;
}

} // namespace host

namespace control {

using namespace host;

LONG messages(std::vector<MessageRecord>* out, long long afterId) {
    std::vector<Row> rows;
    out->clear();
    LONG status = execute("SELECT id, pid, caption, text, type, answer FROM messages "
                          "WHERE id > ? ORDER BY id",
                          {Param::integer(afterId)}, &rows);
    return collectRows(status, rows, out, [](Row& r) {
        return control::MessageRecord{r.integer(0),
                                      r.integerOrNull(1).value_or(0),
                                      r.textOrNull(2).value_or(""),
                                      r.textOrNull(3).value_or(""),
                                      r.dword(4),
                                      r.int32(5)};
    });
}

LONG lastMessageId(long long* id) {
    return queryInteger("SELECT COALESCE(MAX(id), 0) FROM messages", {}, id);
}

LONG clearMessages() {
    return execute("DELETE FROM messages");
}

} // namespace control

int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
    // A box may wait for a person: what the program did before it is on the phone by then.
    host::writeWaitingCallEntries();
    std::u16string text = lpText ? lpText : u"";
    std::u16string caption = lpCaption ? lpCaption : u"Error";
    std::string text8 = host::toUtf8(text), caption8 = host::toUtf8(caption);
    int answer;
    if (host::presenter) {
        answer = host::presenter(hWnd, text, caption, uType);
    } else if (host::usePrompts()) {
        answer = host::askAtTerminal(caption8, text8, uType);
    } else {
        answer = phone_answers::scriptedAnswer(uType);
        std::fprintf(stderr, "== %s ==\n%s\n-> %s\n", caption8.c_str(), text8.c_str(),
                     host::answerName(answer));
    }
    // A phone whose store cannot be opened still shows the box; it just goes unrecorded.
    host::execute("INSERT INTO messages(pid, caption, text, type, answer) VALUES(?, ?, ?, ?, ?)",
                  {host::Param::integer(getpid()), host::Param::str(caption8),
                   host::Param::str(text8), host::Param::integer(uType),
                   host::Param::integer(answer)});
    return answer;
}
