// Message boxes with nobody at a console: the real box is created and its button pressed for
// the answer it takes; every box is recorded before it is shown and answered after.
#include "support/win32/wine_phone.h"

#include "platform/platform.h"

#include <vector>

namespace {

// What a hook of the test sees of the boxes the layer shows: the real windows, and the
// record already made when each box is activated.
struct Seen {
    std::vector<std::wstring> boxes;
    std::vector<int> answersWhileShown;
};
thread_local Seen* seen = nullptr;

LRESULT CALLBACK watch(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && seen != nullptr) {
        HWND window = reinterpret_cast<HWND>(wParam);
        wchar_t className[16], title[64];
        if (GetClassNameW(window, className, 16) && wcscmp(className, L"#32770") == 0 &&
            GetWindowTextW(window, title, 64)) {
            seen->boxes.push_back(title);
            std::vector<Box> records = readBoxes();
            seen->answersWhileShown.push_back(records.empty() ? -1 : records.back().answer);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class MessageBoxes : public WinePhone {
  protected:
    void SetUp() override {
        WinePhone::SetUp();
        seen = &watched;
        hook = SetWindowsHookExW(WH_CBT, watch, nullptr, GetCurrentThreadId());
        ASSERT_NE(nullptr, hook);
    }
    void TearDown() override {
        UnhookWindowsHookEx(hook);
        seen = nullptr;
        WinePhone::TearDown();
    }
    HHOOK hook = nullptr;
    Seen watched;
};

// Which answer a box takes is the contract's (tests/platform/contract/answers_test.cpp); here,
// that the real box is shown, its button pressed, and the box recorded before and after.
TEST_F(MessageBoxes, EachBoxIsShownPressedAndRecorded) {
    struct Case {
        UINT type;
        int processAnswer, queuedAnswer; // 0 for none
        int answer;
    } cases[] = {
        {MB_OK | MB_ICONERROR, 0, 0, IDOK},
        {MB_YESNO | MB_ICONQUESTION, 0, 0, IDNO},
        {MB_RETRYCANCEL, 0, IDRETRY, IDRETRY},
        {MB_YESNO, IDYES, IDNO, IDYES},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        WinePhone::SetUp();
        watched = Seen();
        if (c.processAnswer != 0)
            winphone::queueProcessAnswer(c.processAnswer);
        if (c.queuedAnswer != 0) {
            ASSERT_EQ(ERROR_SUCCESS, control::queueAnswer(c.queuedAnswer));
        }

        EXPECT_EQ(c.answer, MessageBox(nullptr, L"第一行\nsecond line", L"Caption", c.type));
        ASSERT_EQ(1u, watched.boxes.size()) << "the real box was shown";
        EXPECT_EQ(L"Caption", watched.boxes[0]);
        EXPECT_EQ(0, watched.answersWhileShown[0]) << "recorded before it was answered";
        std::vector<Box> records = readBoxes();
        ASSERT_EQ(1u, records.size());
        EXPECT_EQ(L"Caption", records[0].caption);
        EXPECT_EQ(L"第一行\nsecond line", records[0].text);
        EXPECT_EQ(c.type, records[0].type);
        EXPECT_EQ(c.answer, records[0].answer);
        EXPECT_EQ(GetCurrentProcessId(), records[0].pid);
        winphone::clearProcessAnswers();
    }
}

TEST_F(MessageBoxes, BoxesAreNumberedInTurn) {
    EXPECT_EQ(IDOK, MessageBox(nullptr, L"one", L"First", MB_OK));
    ASSERT_EQ(ERROR_SUCCESS, control::queueAnswer(IDYES));
    EXPECT_EQ(IDYES, MessageBox(nullptr, L"two", L"Second", MB_YESNO));
    std::vector<Box> records = readBoxes();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(L"First", records[0].caption);
    EXPECT_EQ(L"Second", records[1].caption);
    EXPECT_LT(records[0].id, records[1].id);
    EXPECT_EQ(ERROR_SUCCESS, control::clearMessages());
    EXPECT_TRUE(readBoxes().empty());
}

} // namespace
