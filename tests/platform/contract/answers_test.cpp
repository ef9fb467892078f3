// Message boxes with nobody there to answer: this process's own answers first, then the
// phone's queue, else the box's safe default; an answer the box does not have is used up.
#include "contract.h"

#include "platform/phone/answers.h"

#include <vector>

namespace {

class Answers : public Seam {
  protected:
    void TearDown() override {
        phone_answers::clearProcessAnswers();
        Seam::TearDown();
    }
    // How many answers the phone's queue holds, taking them off.
    static size_t answersLeft() {
        size_t left = 0;
        for (int answer = 0; answers_state::takeFirstAnswer(&answer) == ERROR_SUCCESS;)
            ++left;
        return left;
    }
};

TEST_F(Answers, EachBoxTakesTheQueuedAnswerElseItsDefault) {
    struct Case {
        UINT type;
        std::vector<int> processQueue, phoneQueue;
        int answer;
        size_t phoneQueueLeft;
    } cases[] = {
        {MB_OK, {}, {}, IDOK, 0},
        {MB_OK | MB_ICONERROR, {}, {}, IDOK, 0},
        {MB_ICONINFORMATION, {}, {}, IDOK, 0},
        {MB_OKCANCEL, {}, {}, IDCANCEL, 0},
        {MB_RETRYCANCEL, {}, {}, IDCANCEL, 0},
        {MB_YESNO | MB_ICONQUESTION, {}, {}, IDNO, 0},
        {MB_YESNOCANCEL, {}, {}, IDCANCEL, 0},
        {MB_ABORTRETRYIGNORE, {}, {}, IDABORT, 0},
        // The first queued is taken first.
        {MB_RETRYCANCEL, {}, {IDRETRY, IDCANCEL, IDRETRY}, IDRETRY, 2},
        {MB_YESNO | MB_ICONQUESTION, {}, {IDYES, IDNO}, IDYES, 1},
        {MB_ABORTRETRYIGNORE, {}, {IDIGNORE}, IDIGNORE, 0},
        // This process's own answers come before the phone's.
        {MB_YESNO, {IDYES}, {IDNO}, IDYES, 1},
        {MB_OK, {IDOK, IDOK}, {IDOK}, IDOK, 1},
        // An answer that does not fit the box is used up, and the default taken.
        {MB_YESNO, {}, {IDRETRY, IDYES}, IDNO, 1},
        {MB_RETRYCANCEL, {IDYES}, {IDRETRY}, IDCANCEL, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type 0x" << std::hex << c.type << ", "
                                        << c.phoneQueue.size() << " queued");
        contract::newPhone();
        phone_answers::clearProcessAnswers();
        for (int answer : c.processQueue)
            phone_answers::queueProcessAnswer(answer);
        for (int answer : c.phoneQueue)
            ASSERT_EQ(ERROR_SUCCESS, phone_answers::queueAnswer(answer));
        EXPECT_EQ(c.answer, MessageBox(nullptr, TEXT("Text"), TEXT("Caption"), c.type));
        EXPECT_EQ(c.phoneQueueLeft, answersLeft());
    }
}

TEST_F(Answers, QueueingRefusesWhatIsNoAnswer) {
    for (int answer : {0, -1, 8, 0x10000 + IDYES}) {
        SCOPED_TRACE(answer);
        EXPECT_EQ(ERROR_INVALID_PARAMETER, phone_answers::queueAnswer(answer));
    }
    EXPECT_EQ(0u, answersLeft());
    for (int answer : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO})
        EXPECT_EQ(ERROR_SUCCESS, phone_answers::queueAnswer(answer)) << answer;
    EXPECT_EQ(7u, answersLeft());
}

} // namespace
