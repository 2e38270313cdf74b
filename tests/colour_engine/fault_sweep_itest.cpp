// Fault sweeps over the engine's exports: the 1st, 2nd, ... allocation of a
// call failing in turn until the call no longer allocates that often, and
// every write of the printer chart coming up short in turn. Each failing call
// gives its no-memory (or unreadable-image) status, leaves the sizes it
// reports unwritten, and leaves nothing allocated or open (the test main
// checks both after every test); a short write leaves no chart behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "imaging/targa.h"
#include "it8_target/virtual_it8.h"
#include "platform/desktop_posix.h"
#include "qel_cms.h"
#include "support/temp_dir.h"
#include "synthetic_model.h"
#include "virtual_printer/virtual_printer.h"

namespace {

// Runs call with the n-th allocation failing for n = 1, 2, ... Each failing
// run's status must be one of allowed; check runs after it. The sweep ends
// with the first run that allocates fewer than n times, which must succeed.
void sweepAllocations(const std::function<std::int32_t()>& call, const std::set<std::int32_t>& allowed,
                      const std::function<void(std::uint32_t)>& check, std::int32_t ok = 0) {
    for (std::uint32_t nth = 1; nth < 1000; ++nth) {
        SCOPED_TRACE("allocation " + std::to_string(nth));
        const std::uint64_t before = pfdAllocationCount();
        pfdFailAllocationAfter(nth);
        const std::int32_t status = call();
        const bool hit = pfdAllocationCount() - before >= nth;
        pfdFailAllocationAfter(0);
        EXPECT_EQ(pfdOpenFiles(), 0u);
        if (!hit) {
            EXPECT_EQ(status, ok);
            return;
        }
        EXPECT_TRUE(allowed.count(status) != 0) << "status " << status;
        EXPECT_EQ(pfdLiveGlobalBlocks(), 0u) << "a failed call kept memory";
        check(nth);
    }
    ADD_FAILURE() << "the call kept allocating";
}

TEST(EngineFaultSweep, InitCorrectGivesOneAndKeepsNothingAndCorrectImageNeedsNoMemory) {
    for (std::int32_t size : {QEL_MATRIX_BLOCK_SIZE, QEL_LUT_BLOCK_SIZE}) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> block(size, 0);
        sweepAllocations([&] { return InitCorrect(block.data(), size); }, {QEL_INIT_NO_MEMORY},
                         [](std::uint32_t) { EXPECT_EQ(ReleaseCorrect(), QEL_RELEASE_NOTHING_LOADED); });
        // Correcting with the loaded copy takes no further memory.
        std::vector<std::uint8_t> pixels(3 * 4 * 2, 100);
        ImageBuffer image{2, 4, pixels.data()};
        sweepAllocations([&] { return CorrectImage(&image); }, {}, [](std::uint32_t) {});
        EXPECT_EQ(ReleaseCorrect(), QEL_RELEASE_OK);
    }
}

TEST(EngineFaultSweep, ScannerIT8AnalysisGivesTwoOrOneAndLeavesTheSize) {
    testsupport::TempDir dir;
    const it8sim::It8ReferenceSet refs = it8sim::makeIt8Reference();
    it8sim::TargetOptions options;
    options.dpi = 100;
    const std::string image = dir.file("scan.tga");
    const std::string reference = dir.file("reference.txt");
    ASSERT_TRUE(imaging::writeTarga(
        image, it8sim::renderIt8TargetRgb(refs, it8sim::responsePreset(it8sim::ResponsePreset::Mild), options)));
    ASSERT_TRUE(it8sim::writeIt8ReferenceFile(reference, refs));
    std::vector<float> model(QEL_MODEL_FLOATS);
    for (int useFile : {1, 0}) {
        SCOPED_TRACE(useFile);
        std::int32_t size = -5;
        sweepAllocations(
            [&] {
                return ScannerIT8Analysis(useFile, image.c_str(), model.data(), &size, reference.c_str(), nullptr,
                                          nullptr);
            },
            {QEL_SCANNER_IMAGE_UNREADABLE, QEL_SCANNER_NO_MEMORY}, [&](std::uint32_t) { EXPECT_EQ(size, -5); });
        EXPECT_EQ(size, QEL_MODEL_SIZE);
    }
}

TEST(EngineFaultSweep, VisualMatchNeedsNoMemory) {
    const std::vector<float> model = testsupport::syntheticModel();
    std::vector<std::uint8_t> block(QEL_MATRIX_BLOCK_SIZE);
    std::int32_t size = 0;
    sweepAllocations([&] { return VisualMatch(128, 128, 128, block.data(), &size, model.data()); }, {},
                     [](std::uint32_t) {});
    EXPECT_EQ(size, QEL_MATRIX_BLOCK_SIZE);
}

TEST(EngineFaultSweep, PrinterAnalysesGiveTheirNoMemoryStatus) {
    testsupport::TempDir dir;
    const std::string chart = dir.file("chart.tga");
    ASSERT_EQ(CreatTargetImage(chart.c_str()), QEL_CHART_OK);
    const std::vector<float> model = testsupport::syntheticModel();
    std::vector<std::uint8_t> block(QEL_LUT_BLOCK_SIZE);
    std::int32_t size = -5;
    sweepAllocations(
        [&] { return PrinterTargetAnalysis(chart.c_str(), block.data(), &size, model.data(), 0, nullptr, nullptr); },
        {QEL_PRINTER_NO_MEMORY}, [&](std::uint32_t) { EXPECT_EQ(size, -5); });
    EXPECT_EQ(size, QEL_LUT_BLOCK_SIZE);

    std::vector<std::uint8_t> data =
        printsim::printerTable(printsim::printerPreset(printsim::PrinterPreset::Inkjet));
    const std::vector<std::uint8_t> table = data;
    size = -5;
    sweepAllocations(
        [&] {
            data = table;
            return PrinterTargetOpenAnalysis(data.data(), &size, model.data(), 0, nullptr, nullptr);
        },
        {QEL_PRINTER_OPEN_FAILED}, [&](std::uint32_t) { EXPECT_EQ(size, -5); });
    EXPECT_EQ(size, QEL_LUT_BLOCK_SIZE);
}

TEST(EngineFaultSweep, ChartCreationNeedsNoMemoryAndEveryShortWriteRemovesTheFile) {
    testsupport::TempDir dir;
    const std::string chart = dir.file("chart.tga");
    sweepAllocations([&] { return CreatTargetImage(chart.c_str()); }, {QEL_CHART_WRITE_FAILED},
                     [&](std::uint32_t) { EXPECT_FALSE(std::filesystem::exists(chart)); });
    const std::vector<std::uint8_t> good = testsupport::readFile(chart);

    std::uint32_t failing = 1;
    for (;; ++failing) {
        std::filesystem::remove(chart);
        pfdFailWriteAfter(failing);
        const std::int32_t status = CreatTargetImage(chart.c_str());
        pfdFailWriteAfter(0);
        ASSERT_EQ(pfdOpenFiles(), 0u);
        if (status == QEL_CHART_OK) break;
        ASSERT_EQ(status, QEL_CHART_WRITE_FAILED) << failing;
        ASSERT_FALSE(std::filesystem::exists(chart)) << "partial chart left after short write " << failing;
        ASSERT_LT(failing, 2000u);
    }
    EXPECT_GT(failing, 2u) << "a header and rows were written";
    EXPECT_EQ(testsupport::readFile(chart), good) << "the run past the last write is complete";
}

}  // namespace
