// Test entry: every test must give back each global memory block it took,
// close each file it opened, delete each brush or pen it made and release
// each device context (counted by the POSIX desktop), and starts on an empty
// desktop with no fault armed.
#include <gtest/gtest.h>

#include "platform/desktop_posix.h"

namespace {

class ResourceLeakListener : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override {
        pfdResetDesktop();
        pfdFailAllocationAfter(0);
        pfdFailWriteAfter(0);
        blocks_ = pfdLiveGlobalBlocks();
        files_ = pfdOpenFiles();
        gdiObjects_ = pfdLiveGdiObjects();
    }
    void OnTestEnd(const testing::TestInfo& info) override {
        pfdFailAllocationAfter(0);
        pfdFailWriteAfter(0);
        if (info.result()->Skipped()) return;
        EXPECT_EQ(pfdLiveGlobalBlocks(), blocks_) << "global memory blocks leaked by " << info.name();
        EXPECT_EQ(pfdOpenFiles(), files_) << "files left open by " << info.name();
        EXPECT_EQ(pfdLiveGdiObjects(), gdiObjects_) << "brushes or pens leaked by " << info.name();
        EXPECT_EQ(pfdLiveDCs(), 0u) << "device contexts not released by " << info.name();
    }
    std::size_t blocks_ = 0;
    std::size_t files_ = 0;
    std::size_t gdiObjects_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new ResourceLeakListener);
    return RUN_ALL_TESTS();
}
