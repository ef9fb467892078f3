// The answers boxes take when nobody is at a console: the buttons of each type of box, its safe
// default, and the phone's queue of answers, the state's "Answers" value: a REG_BINARY of 32-bit
// answers, the first to be taken first. Kept apart from the boxes themselves so that the
// phone state's helper can queue answers without the windowing libraries.
#include "win32.h"

#include <algorithm>

namespace winphone {

namespace {

const wchar_t kAnswersValue[] = L"Answers";

struct AnswerName {
    int answer;
    const char* name;
};
const AnswerName kAnswerNames[] = {{IDOK, "ok"},       {IDCANCEL, "cancel"}, {IDABORT, "abort"},
                                   {IDRETRY, "retry"}, {IDIGNORE, "ignore"}, {IDYES, "yes"},
                                   {IDNO, "no"}};

std::vector<int> buttons(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
        return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL:
        return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
        return {IDYES, IDNO};
    case MB_RETRYCANCEL:
        return {IDRETRY, IDCANCEL};
    default:
        return {IDOK};
    }
}

} // namespace

const char* answerName(int answer) {
    for (const AnswerName& a : kAnswerNames)
        if (a.answer == answer)
            return a.name;
    return "none";
}

int answerFromName(std::string_view name) {
    for (const AnswerName& a : kAnswerNames)
        if (name == a.name)
            return a.answer;
    return 0;
}

int defaultAnswer(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL:
        return IDCANCEL;
    case MB_YESNO:
        return IDNO;
    case MB_ABORTRETRYIGNORE:
        return IDABORT;
    default:
        return IDOK;
    }
}

bool answerFits(UINT type, int answer) {
    std::vector<int> allowed = buttons(type);
    return std::find(allowed.begin(), allowed.end(), answer) != allowed.end();
}

bool queueAnswer(int answer) {
    if (answerName(answer) == std::string_view("none"))
        return false;
    StateLock lock;
    DWORD type = 0;
    std::string queue;
    if (!lock.held())
        return false;
    LONG status = readStateValue(L"", kAnswersValue, &type, &queue);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        return false;
    if (status != ERROR_SUCCESS)
        queue.clear();
    DWORD value = static_cast<DWORD>(answer);
    queue.append(reinterpret_cast<const char*>(&value), sizeof value);
    return writeStateValue(L"", kAnswersValue, REG_BINARY, queue.data(),
                           static_cast<DWORD>(queue.size())) == ERROR_SUCCESS;
}

// The next answer of the phone's queue, 0 when it is empty.
int takeQueuedAnswer() {
    StateLock lock;
    DWORD type = 0;
    std::string queue;
    if (!lock.held() || readStateValue(L"", kAnswersValue, &type, &queue) != ERROR_SUCCESS ||
        queue.size() < sizeof(DWORD))
        return 0;
    DWORD answer;
    memcpy(&answer, queue.data(), sizeof answer);
    queue.erase(0, sizeof answer);
    if (queue.size() < sizeof(DWORD))
        deleteStateValue(L"", kAnswersValue);
    else
        writeStateValue(L"", kAnswersValue, REG_BINARY, queue.data(),
                        static_cast<DWORD>(queue.size()));
    return static_cast<int>(answer);
}

} // namespace winphone
