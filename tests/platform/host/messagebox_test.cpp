// Message boxes without a terminal: answered from the queue, else by their safe default, and
// always recorded.
#include "phone_fixture.h"

#include <thread>
#include <unistd.h>

namespace {

class MessageBoxes : public TempPhone {};

TEST_F(MessageBoxes, EveryBoxIsRecorded) {
    MessageBoxW(nullptr, u"寫入！\nNo : 5", u"rozev -- 出錯", MB_OK | MB_ICONERROR);
    std::vector<control::MessageRecord> all = boxes();
    ASSERT_EQ(1u, all.size());
    EXPECT_EQ("rozev -- 出錯", all[0].caption);
    EXPECT_EQ("寫入！\nNo : 5", all[0].text);
    EXPECT_EQ(0x10u, all[0].type);
    EXPECT_EQ(IDOK, all[0].answer);
    EXPECT_EQ(getpid(), all[0].pid);

    EXPECT_EQ("rozev -- 出錯\t寫入！\\nNo : 5\t0x10\tok\n", phone({"messages"}).out);
    EXPECT_EQ(0, phone({"messages", "clear"}).status);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(MessageBoxes, APresenterAnswersInstead) {
    std::u16string seen;
    host::setMessageBoxPresenter(
        [&](HWND, const std::u16string& text, const std::u16string&, UINT) {
            seen = text;
            return IDYES;
        });
    EXPECT_EQ(IDYES, MessageBoxW(nullptr, u"Apply Sun setting. Yes ?", u"Q:", 0x24));
    EXPECT_EQ(u"Apply Sun setting. Yes ?", seen);
    EXPECT_EQ(IDYES, boxes().at(0).answer);
}

TEST_F(MessageBoxes, ConsoleQueuesAnswers) {
    EXPECT_EQ(0, phone({"answer", "retry"}).status);
    EXPECT_EQ(2, phone({"answer", "maybe"}).status);
    EXPECT_EQ(IDRETRY, MessageBoxW(nullptr, u"x", u"Error", MB_RETRYCANCEL));
}

// Boxes shown by several processes at once take each queued answer once: here each of 16 timed
// runs shows the timer's notice (OK only), and the 8 queued answers, which do not fit it, are
// each used up by one box, which says so.
TEST_F(MessageBoxes, AQueuedAnswerAnswersOneBoxOnly) {
    setClock("2026-12-15 12:00");
    ASSERT_EQ(0, phone({"reg", "set", "Enabled", "sz", "0010000"}).status);
    ASSERT_EQ(0, phone({"reg", "set", "S2", "dword", "1500"}).status); // "25:00" is refused
    const int kRounds = 3, kBoxes = 16, kAnswers = 8;
    for (int round = 0; round < kRounds; ++round) {
        for (int i = 0; i < kAnswers; ++i)
            ASSERT_EQ(ERROR_SUCCESS, control::queueAnswer(IDCANCEL));
        std::vector<CommandResult> runs(kBoxes);
        std::vector<std::thread> threads;
        for (int i = 0; i < kBoxes; ++i)
            threads.emplace_back([&, i] { runs[i] = velmora({"AppRunAtTime"}); });
        for (std::thread& t : threads)
            t.join();
        int took = 0;
        for (const CommandResult& r : runs)
            took += r.err.find("the queued answer 'cancel' does not fit") != std::string::npos;
        EXPECT_EQ(kAnswers, took) << "round " << round;
        EXPECT_EQ(kBoxes * (round + 1), (int)boxes().size());
    }
}

} // namespace
