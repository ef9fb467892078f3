// Message boxes: every box is recorded in the phone state (caption, text and type before it is
// shown, its answer after). With a person at a console the box waits for them. Otherwise the
// real box is still created, and a hook of the calling thread presses the button of the queued
// answer, else of the box's safe default, so that nothing waits for a person who is not there.
//
// State: "Messages\NNNNNNNN" (Caption, Text, Type, Process, Answer) numbered by
// "Messages\Last". The queued answers are kept by answers.cpp.
#include "win32.h"

#include <algorithm>
#include <cstdio>

namespace winphone {

namespace {

const wchar_t kMessagesKey[] = L"Messages";

std::wstring recordName(DWORD id) {
    wchar_t name[16];
    swprintf(name, ARRAYSIZE(name), L"%08lu", static_cast<unsigned long>(id));
    return std::wstring(kMessagesKey) + L"\\" + name;
}

// Records a box about to be shown; its number, 0 when it could not be recorded. When the count
// cannot be read (it has been said), the box is numbered after the highest record and the
// count is left as it is for a person to look at, so that no record is written over.
DWORD recordBox(const std::wstring& caption, const std::wstring& text, UINT type) {
    StateLock lock;
    if (!lock.held())
        return 0;
    DWORD id = nextRecordNumber(kMessagesKey);
    if (id == 0)
        return 0;
    std::wstring record = recordName(id);
    setStateText(record, L"Caption", caption);
    setStateText(record, L"Text", text);
    setStateDword(record, L"Type", type);
    setStateDword(record, L"Process", GetCurrentProcessId());
    return id;
}

// The box the calling thread is about to show with nobody to answer it, and the button the
// hook presses once the box is activated.
struct Press {
    const std::wstring* caption;
    int answer;
    bool pressed;
};
thread_local Press* pendingPress = nullptr;

LRESULT CALLBACK pressButton(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && pendingPress != nullptr && !pendingPress->pressed) {
        HWND box = reinterpret_cast<HWND>(wParam);
        wchar_t className[16];
        std::wstring title(GetWindowTextLengthW(box) + 1, L'\0');
        title.resize(GetWindowTextW(box, title.data(), static_cast<int>(title.size())));
        // The box is a dialog of the predefined class; its caption tells it from the owner
        // that is activated again once it has closed.
        if (GetClassNameW(box, className, ARRAYSIZE(className)) &&
            wcscmp(className, L"#32770") == 0 && title == *pendingPress->caption) {
            pendingPress->pressed = true;
            HWND button = GetDlgItem(box, pendingPress->answer);
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(pendingPress->answer, BN_CLICKED),
                         reinterpret_cast<LPARAM>(button));
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

int showAndPress(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type,
                 int answer) {
    Press press = {&caption, answer, false};
    Press* outer = pendingPress;
    pendingPress = &press;
    HHOOK hook = SetWindowsHookExW(WH_CBT, pressButton, nullptr, GetCurrentThreadId());
    int result = hook != NULL ? MessageBoxW(owner, text.c_str(), caption.c_str(), type) : 0;
    if (hook != NULL)
        UnhookWindowsHookEx(hook);
    pendingPress = outer;
    return result;
}

} // namespace

} // namespace winphone

namespace control {

using namespace winphone;

LONG messages(std::vector<MessageRecord>* out, long long afterId) {
    struct Read {
        MessageRecord record;
        LONG status = ERROR_SUCCESS;
        std::string problem;
    };
    std::vector<Read> all;
    for (const std::wstring& name : stateSubkeys(kMessagesKey)) {
        Read r;
        MessageRecord& m = r.record;
        m.id = static_cast<long long>(wcstoul(name.c_str(), nullptr, 10));
        if (m.id <= afterId)
            continue;
        std::wstring key = std::wstring(kMessagesKey) + L"\\" + name;
        // Each value read as what it must hold; the first that cannot be read is the record's.
        auto checked = [&r](auto value, auto fallback) {
            if (!value && !value.missing() && r.status == ERROR_SUCCESS) {
                r.status = value.status();
                r.problem = value.problem();
            }
            return value.value_or(fallback);
        };
        m.pid = checked(stateDword(key, L"Process"), DWORD(0));
        m.caption = toUtf8(checked(stateText(key, L"Caption"), std::wstring()));
        m.text = toUtf8(checked(stateText(key, L"Text"), std::wstring()));
        m.type = checked(stateDword(key, L"Type"), DWORD(0));
        m.answer = static_cast<int>(checked(stateDword(key, L"Answer"), DWORD(0)));
        all.push_back(r);
    }
    std::sort(all.begin(), all.end(),
              [](const Read& a, const Read& b) { return a.record.id < b.record.id; });
    // A record that cannot be read is left out; the first gives the status and the reason.
    out->clear();
    LONG first = ERROR_SUCCESS;
    for (const Read& r : all)
        if (r.status == ERROR_SUCCESS)
            out->push_back(r.record);
        else if (first == ERROR_SUCCESS)
            first = noteProblem(r.status, r.problem);
    return first;
}

LONG lastMessageId(long long* id) {
    std::vector<MessageRecord> all;
    LONG status = messages(&all);
    *id = all.empty() ? 0 : all.back().id;
    return status;
}

LONG clearMessages() {
    return deleteStateKey(kMessagesKey);
}

} // namespace control

int WINAPI phoneMessageBox(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
    std::wstring text, caption = L"Error";
    if (lpText != nullptr)
        text = lpText;
    if (lpCaption != nullptr)
        caption = lpCaption;
    DWORD record = winphone::recordBox(caption, text, uType);
    int answer;
    if (winphone::consoleInput()) {
        answer = MessageBoxW(hWnd, text.c_str(), caption.c_str(), uType);
    } else {
        int planned = phone_answers::scriptedAnswer(uType);
        winphone::writeStd(STD_ERROR_HANDLE, "== " + winphone::toUtf8(caption) + " ==\n" +
                                                 winphone::toUtf8(text) + "\n-> " +
                                                 winphone::answerName(planned) + "\n");
        answer = winphone::showAndPress(hWnd, text, caption, uType, planned);
    }
    if (record != 0)
        winphone::setStateDword(winphone::recordName(record), L"Answer",
                                static_cast<DWORD>(answer));
    return answer;
}
