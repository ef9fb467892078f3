// The phone's queue of answers that boxes take when nobody is at a console
// (platform/phone/answers.h), the state's "Answers" value: a REG_BINARY of 32-bit answers, the
// first to be taken first. Kept apart from the boxes themselves so that the phone state's helper
// can queue answers without the windowing libraries.
#include "win32.h"

#include <algorithm>

namespace winphone {

namespace {

const wchar_t kAnswersValue[] = L"Answers";

} // namespace

bool isAnswerQueue(const std::string& bytes) {
    if (bytes.size() % sizeof(DWORD) != 0)
        return false;
    for (size_t at = 0; at < bytes.size(); at += sizeof(DWORD)) {
        DWORD answer;
        memcpy(&answer, bytes.data() + at, sizeof answer);
        if (answer > static_cast<DWORD>(IDNO) ||
            answerName(static_cast<int>(answer)) == std::string_view("none"))
            return false;
    }
    return true;
}

} // namespace winphone

using namespace winphone;

namespace answers_state {

LONG appendAnswer(int answer) {
    StateLock lock;
    if (!lock.held())
        return lockTimeout();
    // A queue that cannot be read is left as it is: appending would bury what is wrong with it.
    StateValue<std::string> queue = stateBytes(L"", kAnswersValue);
    if (!queue && !queue.missing())
        return queue.status();
    std::string bytes = queue.value_or(std::string());
    DWORD value = static_cast<DWORD>(answer);
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    LONG status = writeStateValue(L"", kAnswersValue, REG_BINARY, bytes.data(),
                                  static_cast<DWORD>(bytes.size()));
    if (status != ERROR_SUCCESS)
        reportStateProblem(status, "the answer cannot be queued");
    return status;
}

LONG takeFirstAnswer(int* answer) {
    *answer = -1;
    StateLock lock;
    if (!lock.held())
        return ERROR_TIMEOUT;
    DWORD type = REG_NONE;
    std::string queue;
    LONG status = readStateValue(L"", kAnswersValue, &type, &queue);
    if (status == ERROR_FILE_NOT_FOUND) {
        *answer = 0;
        return ERROR_NO_MORE_ITEMS;
    }
    // A value that is no list of 32-bit entries is left as it is, for a person to look at.
    if (status != ERROR_SUCCESS || type != REG_BINARY || queue.size() % sizeof(DWORD) != 0)
        return stateBytes(L"", kAnswersValue).status(); // says what is wrong with it
    if (queue.empty()) {
        *answer = 0;
        return ERROR_NO_MORE_ITEMS;
    }
    // Taken off even when it is no answer, so that the answers behind it come in turn.
    std::string first = queue.substr(0, sizeof(DWORD));
    queue.erase(0, sizeof(DWORD));
    if (queue.empty())
        deleteStateValue(L"", kAnswersValue);
    else
        writeStateValue(L"", kAnswersValue, REG_BINARY, queue.data(),
                        static_cast<DWORD>(queue.size()));
    if (!isAnswerQueue(first))
        return reportStateProblem(ERROR_BADDB, stateValueProblem(L"", kAnswersValue, type, first));
    DWORD value;
    memcpy(&value, first.data(), sizeof value);
    *answer = static_cast<int>(value);
    return ERROR_SUCCESS;
}

void sayOnStandardError(const std::string& line) {
    writeStd(STD_ERROR_HANDLE, line);
}

} // namespace answers_state
