// Items spread over copies of the process: each reported once, in this
// process; an item whose copy died reported lost; no copies, nothing run.
#include "worker_processes.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/host_system.h"

namespace {

struct Row {
    const char* name;
    int processes;
    bool copyDies;     // the copy ends on the first item it claims, before reporting it
    bool ran;          // runInProcesses' answer
    int lostItem;      // reported lost; -1: none
};

const Row kRows[] = {
    {"two_processes", 2, false, true, -1},
    {"a_copy_dies_on_its_first_item", 2, true, true, 0},
    {"one_process_runs_nothing", 1, false, false, -1},
};

TEST(WorkerProcesses, EveryItemIsReportedOnceHereAndALostOneIsNamed) {
    for (const Row& r : kRows) {
        SCOPED_TRACE(r.name);
        constexpr std::size_t kItems = 7;
        const pid_t parent = ::getpid();
        std::mutex lock;
        std::vector<std::string> texts(kItems);
        std::vector<int> times(kItems, 0), oks(kItems, 0);
        auto work = [&](std::atomic<std::size_t>& next, const aucal::ItemReport& report) {
            const bool copy = ::getpid() != parent;
            // Here, only once a copy has claimed the first item.
            for (int wait = 0; !copy && r.copyDies && next.load() == 0 && wait < 10000; ++wait)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            for (std::size_t i = next++; i < kItems; i = next++) {
                if (copy && r.copyDies) pfHostExitNow(0);
                report(i, true, "item " + std::to_string(i) + (copy ? " in a copy" : " here"));
            }
        };
        auto report = [&](std::size_t i, bool ok, std::string text) {
            std::lock_guard<std::mutex> hold(lock);
            ++times[i];
            oks[i] = ok;
            texts[i] = std::move(text);
        };
        auto lost = [](std::size_t i) { return "lost " + std::to_string(i); };
        ASSERT_EQ(aucal::runInProcesses(r.processes, kItems, work, report, lost), r.ran);
        for (std::size_t i = 0; i < kItems && r.ran; ++i) {
            EXPECT_EQ(times[i], 1) << i;
            if (static_cast<int>(i) == r.lostItem) {
                EXPECT_FALSE(oks[i]);
                EXPECT_EQ(texts[i], "lost " + std::to_string(i));
            } else {
                EXPECT_TRUE(oks[i]) << texts[i];
                EXPECT_EQ(texts[i].rfind("item " + std::to_string(i), 0), 0u) << texts[i];
            }
        }
        if (!r.ran) {
            EXPECT_EQ(times, std::vector<int>(kItems, 0));
        }
    }
}

}  // namespace
