// The timed-start service's state (platform/phone/timed_start.h) in the prefix's registry: the
// key "TimedStarts" (value name: the path; data: the local time, YYYY-MM-DD HH:MM:SS) and the key
// "TimedStartRefusals" ("NNNNNNNN" = "PID ERROR\tAT\tPATH", numbered by "Last"), and the
// refusals as the controls read them. The registry has no transactions: a change that reads
// before it writes holds the state's lock.
#include "win32.h"

#include "platform/phone/control_layer.h"

#include <memory>

namespace winphone {

namespace {

const wchar_t kStartsKey[] = L"TimedStarts";
const wchar_t kRefusalsKey[] = L"TimedStartRefusals";

std::wstring refusalName(DWORD id) {
    wchar_t name[16];
    swprintf(name, ARRAYSIZE(name), L"%08lu", static_cast<unsigned long>(id));
    return name;
}

// The lock a change holds, taken by the outermost one.
std::unique_ptr<StateLock> changeLock;
int changeDepth = 0;

} // namespace

} // namespace winphone

using namespace winphone;

namespace control {

LONG clearPendingStarts() {
    return deleteStateKey(kStartsKey);
}

LONG refusals(std::vector<Refusal>* out, long long afterId) {
    out->clear();
    for (DWORD id : recordNumbers(kRefusalsKey)) {
        if (id <= afterId)
            continue;
        std::optional<std::wstring> record = stateText(kRefusalsKey, refusalName(id));
        if (!record)
            continue;
        size_t tab1 = record->find(L'\t');
        size_t tab2 = tab1 == std::wstring::npos ? tab1 : record->find(L'\t', tab1 + 1);
        unsigned long pid = 0, error = 0;
        if (tab2 == std::wstring::npos ||
            swscanf(record->substr(0, tab1).c_str(), L"%lu %lu", &pid, &error) != 2)
            continue;
        out->push_back({id, static_cast<long long>(pid), toUtf8(record->substr(tab2 + 1)),
                        toUtf8(record->substr(tab1 + 1, tab2 - tab1 - 1)),
                        static_cast<DWORD>(error)});
    }
    return ERROR_SUCCESS;
}

LONG lastRefusalId(long long* id) {
    std::vector<Refusal> all;
    LONG status = refusals(&all);
    *id = all.empty() ? 0 : all.back().id;
    return status;
}

} // namespace control

namespace control_layer {

// The state keeps a path as the platform's UTF-16.
std::string pathText(const timed_start_state::StoredPath& path) {
    return toUtf8(path);
}

timed_start_state::StoredPath storedPathOf(const std::string& path) {
    return fromUtf8(path);
}

} // namespace control_layer

namespace timed_start_state {

StoredPath storedPath(LPCWSTR path) {
    return path != nullptr ? path : L"";
}

LONG readStarts(std::vector<PendingStart>* out) {
    for (const std::wstring& path : stateValueNames(kStartsKey)) {
        PendingStart start;
        LONG status = readStart(path, &start);
        if (status != ERROR_FILE_NOT_FOUND)
            out->push_back(start);
    }
    return ERROR_SUCCESS;
}

LONG readStart(const StoredPath& path, PendingStart* out) {
    // The state's layout holds the text to a real date and time.
    StateValue<std::wstring> at = stateText(kStartsKey, path);
    out->path = path;
    out->status = at.status();
    out->problem = at.problem();
    if (at)
        out->text = toUtf8(*at);
    return at.status();
}

LONG writeStart(const StoredPath& path, const std::string& text) {
    std::wstring value = fromUtf8(text);
    return writeStateValue(kStartsKey, path, REG_SZ, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
}

LONG removeStart(const StoredPath& path) {
    return deleteStateValue(kStartsKey, path);
}

LONG beginChange() {
    if (changeDepth > 0) {
        ++changeDepth;
        return ERROR_SUCCESS;
    }
    auto lock = std::make_unique<StateLock>();
    if (!lock->held())
        return lockTimeout();
    changeLock = std::move(lock);
    changeDepth = 1;
    return ERROR_SUCCESS;
}

LONG endChange(LONG status) {
    if (--changeDepth == 0)
        changeLock.reset();
    return status;
}

LONG appendRefusal(const Refusal& refusal, long long* id) {
    DWORD number = nextRecordNumber(kRefusalsKey);
    if (number == 0)
        return ERROR_CANTWRITE;
    *id = number;
    return setStateText(kRefusalsKey, refusalName(number),
                        std::to_wstring(refusal.pid) + L" " + std::to_wstring(refusal.error) +
                            L"\t" + fromUtf8(refusal.at) + L"\t" + refusal.path);
}

LONG dropRefusalsUpTo(long long id) {
    // Downwards to the first number that is gone: those below it went before.
    for (long long number = id; number > 0; --number) {
        LONG status = deleteStateValue(kRefusalsKey, refusalName(static_cast<DWORD>(number)));
        if (status == ERROR_FILE_NOT_FOUND)
            return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS)
            return status;
    }
    return ERROR_SUCCESS;
}

} // namespace timed_start_state
