// Whole scan runs of the vexa driver through the simulated scanner of its
// dialect: the 1/4800-inch window, the adapter handle, the identity tone
// table, its own calibration, and its exits.
#include <gtest/gtest.h>

#include <algorithm>

#include "itest_support/driver_bench.h"
#include "platform/desktop_posix.h"
#include "qel_cms.h"
#include "support/temp_dir.h"
#include "vexa_steps.h"

namespace {

using drvtest::DriverBench;
using drvtest::LogEvent;

std::size_t countOf(const std::vector<std::string>& names, const std::string& name) {
    return static_cast<std::size_t>(std::count(names.begin(), names.end(), name));
}

class VexaRun : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(bench.loaded()); }
    void expectReleased() {
        EXPECT_EQ(bench.strayWindows(), 0u);
        const auto events = bench.log();
        if (!events.empty()) {
            EXPECT_EQ(events.back().word, "UNLOAD");
        }
    }
    DriverBench bench{DRIVER_LIB_vexa, sim::Dialect::Vexa};
};

TEST_F(VexaRun, WritesTheTargetAndTheEngineAnalysesIt) {
    ASSERT_EQ(bench.scan(0), 0);
    expectReleased();
    EXPECT_TRUE(bench.boxes.empty());
    long handle = -1;
    for (const LogEvent& e : bench.log()) {
        if (e.word == "ADDR_CHK") handle = e.number("handle");
        if (e.word != "SPI_CALL") continue;
        EXPECT_EQ(e.number("status"), 0) << e.cmd();
        EXPECT_EQ(e.number("adapter"), handle) << "every call carries the adapter handle";
        if (e.cmd() == "set_window") {
            EXPECT_EQ(e.number("x_start"), 4147);
            EXPECT_EQ(e.number("y_start"), 0);
            EXPECT_EQ(e.number("x_end"), 36652);
            EXPECT_EQ(e.number("y_end"), 23806);
            EXPECT_EQ(e.number("resolution"), 150);
        }
        if (e.cmd() == "gamma") {
            EXPECT_EQ(e.number("table_bytes"), 131072);
        }
    }
    EXPECT_GT(handle, 0);
    const auto names = bench.commands();
    const std::vector<std::string> head = {"inquiry", "set_window", "inquiry", "geometry", "read_shading",
                                           "send_shading", "gamma", "start_scan"};
    ASSERT_GE(names.size(), head.size());
    EXPECT_TRUE(std::equal(head.begin(), head.end(), names.begin()));

    std::vector<float> model(QEL_MODEL_FLOATS);
    std::int32_t size = 0;
    EXPECT_EQ(ScannerIT8Analysis(0, bench.imagePath().c_str(), model.data(), &size, nullptr, nullptr, nullptr), 0);
}

TEST_F(VexaRun, TransparencyWindowAndAnyModelDigits) {
    bench.scenario("adapter = 1\nmodel_digits = 9999\ncalibrate = 0\nlines = 4");
    EXPECT_EQ(bench.scan(1), 0);
    bool seen = false;
    for (const LogEvent& e : bench.log())
        if (e.cmd() == "set_window") {
            seen = true;
            EXPECT_EQ(e.number("x_start"), 4555);
            EXPECT_EQ(e.number("x_end"), 33844);
            EXPECT_EQ(e.number("y_end"), 18704);
            EXPECT_EQ(e.number("resolution"), 240);
        }
    EXPECT_TRUE(seen);
}

TEST_F(VexaRun, NoCalibrationAndNoGammaGoStraightToStartScan) {
    bench.scenario("calibrate = 0\ngamma_request = 0\nlines = 4");
    EXPECT_EQ(bench.scan(0), 0);
    const auto names = bench.commands();
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(names[1], "set_window");
    EXPECT_EQ(names[2], "start_scan");
}

TEST_F(VexaRun, LineCountIsReadAtItsOwnOffset) {
    bench.scenario("lines = 0");
    EXPECT_EQ(bench.scan(0), 0);
    EXPECT_FALSE(bench.imageExists());
    // A reply with the count only where the classic dialect keeps it.
    drv::StartScanBlock block{};
    block.classicLines = 25;
    EXPECT_EQ(drv::vexaSteps().reportedLines(block), 0);
    block.vexaLines = 7;
    EXPECT_EQ(drv::vexaSteps().reportedLines(block), 7);
}

TEST_F(VexaRun, AdapterCheckFailureEndsSilently) {
    bench.scenario("adapter_handle = 0");
    EXPECT_EQ(bench.scan(0), 1);
    EXPECT_TRUE(bench.boxes.empty());
    EXPECT_TRUE(bench.commands().empty());
    expectReleased();
}

TEST_F(VexaRun, LibraryThatCannotBeLoadedEndsSilently) {
    bench.removeLibrary();
    EXPECT_EQ(bench.scan(0), 1);
    EXPECT_TRUE(bench.boxes.empty());
}

TEST_F(VexaRun, CalibrationFailuresEndWithoutMessage) {
    for (const char* scenario : {"shading_lines = 15", "shading_lines = 17", "error = 7 1 0x8217", "error = 2 1 0x8217",
                                 "error = 3 1 0x8217"}) {
        SCOPED_TRACE(scenario);
        bench.scenario(scenario);
        EXPECT_EQ(bench.scan(0), 1);
        EXPECT_TRUE(bench.boxes.empty());
        EXPECT_EQ(countOf(bench.commands(), "start_scan"), 0u);
        EXPECT_FALSE(bench.imageExists());
        expectReleased();
    }
}

TEST_F(VexaRun, GeometryFlagOtherThanOneSkipsTheShading) {
    for (const char* flag : {"shading_flag = 0", "shading_flag = 2"}) {
        bench.scenario(std::string(flag) + "\nlines = 4");
        EXPECT_EQ(bench.scan(0), 0) << flag;
        const auto names = bench.commands();
        EXPECT_EQ(countOf(names, "read_shading"), 0u);
        EXPECT_EQ(countOf(names, "send_shading"), 0u);
        EXPECT_EQ(countOf(names, "gamma"), 1u);
    }
}

TEST_F(VexaRun, MemoryFailures) {
    // Calibration: the four correction tables come first.
    pfdFailAllocationAfter(2);
    EXPECT_EQ(bench.scan(0), 1);
    EXPECT_TRUE(bench.boxes.empty());
    EXPECT_EQ(countOf(bench.commands(), "geometry"), 0u);
    expectReleased();
    // Without calibration the identity tone table is the first block.
    bench.scenario("calibrate = 0\nlines = 4");
    pfdFailAllocationAfter(1);
    EXPECT_EQ(bench.scan(0), 1);
    ASSERT_EQ(bench.boxes.size(), 1u);
    EXPECT_EQ(bench.boxes[0].text, "Insufficient Memory.");
    EXPECT_EQ(countOf(bench.commands(), "gamma"), 0u);
    expectReleased();
    // Then the transfer buffer.
    bench.boxes.clear();
    pfdFailAllocationAfter(2);
    EXPECT_EQ(bench.scan(0), 1);
    ASSERT_EQ(bench.boxes.size(), 1u);
    EXPECT_EQ(bench.boxes[0].text, "Insufficient Memory.");
    EXPECT_FALSE(bench.imageExists());
    expectReleased();
}

TEST_F(VexaRun, EscapeWaitsForReadyWithoutSleeping) {
    bench.scenario("calibrate = 0\nlines = 40\nnot_ready_polls_after_abort = 4");
    pfdPostKeyDown(bench.host, PF_VK_ESCAPE);
    const std::uint64_t sleepsBefore = pfdSleepCalls();
    EXPECT_EQ(bench.scan(0), 1);
    EXPECT_FALSE(bench.imageExists());
    const auto names = bench.commands();
    const auto abortAt = std::find(names.begin(), names.end(), "abort");
    ASSERT_NE(abortAt, names.end());
    const auto pollsBefore = std::count(names.begin(), abortAt, "get_status");
    const auto pollsAfter = std::count(abortAt, names.end(), "get_status");
    EXPECT_EQ(pollsAfter, 5);
    EXPECT_EQ(static_cast<long>(pfdSleepCalls() - sleepsBefore), pollsBefore) << "no sleep after abort";
    EXPECT_EQ(countOf(names, "read_image"), 0u);
    expectReleased();
}

}  // namespace
