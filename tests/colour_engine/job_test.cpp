// A job of the engine: progress counters, stop flag, progress reports, Escape poll.
#include <gtest/gtest.h>

#include <vector>

#include "engine_state.h"
#include "job.h"
#include "platform/desktop_posix.h"
#include "qel_cms.h"

namespace {

TEST(Frame, DonePercentageIsZeroAndStopExecutionChangesNothingElse) {
    EXPECT_EQ(DonePercentage(), 0.0f);
    EXPECT_EQ(StopExecution(), 0);
    EXPECT_EQ(qel::g_engine.progress.stopFlag, 1);
    EXPECT_EQ(DonePercentage(), 0.0f);
}

TEST(Frame, DonePercentageRules) {
    auto& p = qel::g_engine.progress;
    p.total = 4;
    p.done = 1;
    EXPECT_FLOAT_EQ(DonePercentage(), 0.25f);
    p.done = 9;
    EXPECT_EQ(DonePercentage(), 1.0f);
    p.total = 0;
    EXPECT_EQ(DonePercentage(), 0.0f);
    p = qel::ProgressCounters{};
}

std::vector<int> g_reports;
int32_t QEL_STDCALL recordReport(ProgressRecord* record, int32_t total) {
    EXPECT_EQ(total, 100);
    g_reports.push_back(record->count);
    return 0;
}

TEST(Frame, ProgressTouchesOnlyTheCountAndNeedsBothPointers) {
    g_reports.clear();
    ProgressRecord record{0xABCD1234u, 0, 0x5555};
    qel::reportProgress(&record, recordReport, 40);
    qel::reportProgress(nullptr, recordReport, 50);
    qel::reportProgress(&record, nullptr, 60);
    EXPECT_EQ(g_reports, std::vector<int>{40});
    EXPECT_EQ(record.window, 0xABCD1234u);
    EXPECT_EQ(record.count, 40);
    EXPECT_EQ(record.reserved, 0x5555);
    static_assert(offsetof(ProgressRecord, count) == 4);
}

class EscapePoll : public testing::Test {
protected:
    void SetUp() override {
        window_ = pfdCreateWindow("host");
        pfdSetFocus(window_);
    }
    PfWindow window_ = nullptr;
};

TEST_F(EscapePoll, NoFocusOrEmptyQueueIsNotEscape) {
    EXPECT_EQ(qel::PollEscapeKey(), 0);
    pfdPostKeyDown(window_, PF_VK_ESCAPE);
    pfdSetFocus(nullptr);
    EXPECT_EQ(qel::PollEscapeKey(), 0);
    EXPECT_EQ(pfdQueuedMessages(window_), 1u);
}

TEST_F(EscapePoll, RemovesOneMessagePerPoll) {
    pfdPostKeyDown(window_, 'A');
    pfdPostMessage(window_, 0x0200, 0, 0);
    pfdPostKeyDown(window_, 'B');
    EXPECT_EQ(qel::PollEscapeKey(), 0);
    EXPECT_EQ(pfdQueuedMessages(window_), 2u);
    EXPECT_EQ(qel::PollEscapeKey(), 0);
    EXPECT_EQ(pfdQueuedMessages(window_), 1u);
}

TEST_F(EscapePoll, EscapeDrainsTheFocusWindowsQueueOnly) {
    PfWindow other = pfdCreateWindow("other");
    pfdPostKeyDown(window_, PF_VK_ESCAPE);
    pfdPostKeyDown(window_, 'A');
    pfdPostKeyDown(other, 'B');
    pfdPostKeyDown(window_, 'C');
    EXPECT_EQ(qel::PollEscapeKey(), 1);
    EXPECT_EQ(pfdQueuedMessages(window_), 0u);
    EXPECT_EQ(pfdQueuedMessages(other), 1u);
}

TEST_F(EscapePoll, EscapeBehindAnotherMessageIsFoundLater) {
    pfdPostKeyDown(window_, 'Q');
    pfdPostKeyDown(window_, PF_VK_ESCAPE);
    EXPECT_EQ(qel::PollEscapeKey(), 0);
    EXPECT_EQ(qel::PollEscapeKey(), 1);
}

TEST_F(EscapePoll, EscapeKeyUpOrAnEscapeCharacterIsNotAPress) {
    pfdPostMessage(window_, PF_WM_KEYUP, PF_VK_ESCAPE, 0);
    pfdPostMessage(window_, PF_WM_CHAR, PF_VK_ESCAPE, 0);
    pfdPostMessage(window_, PF_WM_KEYDOWN, 0x10000u | PF_VK_ESCAPE, 0);  // only the low 16 bits count
    EXPECT_EQ(qel::PollEscapeKey(), 0);
    EXPECT_EQ(qel::PollEscapeKey(), 0);
    EXPECT_EQ(qel::PollEscapeKey(), 1);
}

}  // namespace
