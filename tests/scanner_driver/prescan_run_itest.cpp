// Whole scan runs of the A3 driver: the library named in win.ini and its
// buffer grain, the adapter handle, the A3 window, the messages when the
// library cannot be used, and the sleep-first wait.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "itest_support/driver_bench.h"
#include "platform/desktop_posix.h"
#include "qel_cms.h"
#include "support/temp_dir.h"

namespace {

using drvtest::DriverBench;
using drvtest::LogEvent;
constexpr const char* kCheckList = drvtest::kCheckListText;


class PrescanRun : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(bench.loaded()); }
    void installAs(const std::string& name) {
        sim::InstallOptions options;
        options.fileName = name;
        std::string error;
        ASSERT_TRUE(sim::installPassThroughInto(bench.folder(), sim::Dialect::Prescan, options, &error)) << error;
        bench.scenario("calibrate = 1\nlines = 4");
    }
    // Sizes given to BUF_ADDR with the unit of each call.
    std::vector<std::pair<long, long>> described() const {
        std::vector<std::pair<long, long>> sizes;
        for (const LogEvent& e : bench.log())
            if (e.word == "BUF_ADDR") sizes.push_back({e.number("size"), e.number("unit")});
        return sizes;
    }
    long shadingLineBytes() const {
        for (const LogEvent& e : bench.log())
            if (e.cmd() == "geometry") return e.number("bytes_per_line");
        return -1;
    }
    DriverBench bench{DRIVER_LIB_prescan, sim::Dialect::Prescan};
};

TEST_F(PrescanRun, StandardLibraryWithoutProfileSetting) {
    ASSERT_EQ(bench.scan(0), 0);
    EXPECT_TRUE(bench.boxes.empty());
    long handle = -1;
    for (const LogEvent& e : bench.log()) {
        if (e.word == "ADDR_CHK") handle = e.number("handle");
        if (e.word == "SPI_CALL") {
            EXPECT_EQ(e.number("adapter"), handle) << e.cmd();
        }
        if (e.cmd() == "set_window") {
            EXPECT_EQ(e.number("x_start"), 1476);
            EXPECT_EQ(e.number("y_start"), 0);
            EXPECT_EQ(e.number("x_end"), 5539);
            EXPECT_EQ(e.number("y_end"), 2970);
            EXPECT_EQ(e.number("resolution"), 150);
        }
    }
    EXPECT_GT(handle, 0);
    const auto sizes = described();
    ASSERT_GE(sizes.size(), 6u);
    const long l = shadingLineBytes();
    EXPECT_EQ(sizes[0].first, std::min(4194304L, std::max(l * 30, 65536L))) << "shading lines, 64 KiB grain";
    EXPECT_EQ(sizes.back().first, 65536) << "transfer buffer";
    std::vector<float> model(QEL_MODEL_FLOATS);
    std::int32_t size = 0;
    EXPECT_EQ(ScannerIT8Analysis(0, bench.imagePath().c_str(), model.data(), &size, nullptr, nullptr, nullptr), 0);
}

TEST_F(PrescanRun, LibraryNameInAnotherCaseIsTheStandardOne) {
    installAs("kaspi_sp.dll");
    bench.removeLibrary();
    bench.writeWinIni("[KVSINFO_A3]\nDRIVER=kaspi_sp.dll\n");
    ASSERT_EQ(bench.scan(0), 0);
    EXPECT_EQ(described().back().first, 65536);
}

TEST_F(PrescanRun, AnotherLibraryUses128KiBGrain) {
    installAs("OTHER_SP.DLL");
    bench.removeLibrary();
    bench.writeWinIni("[KVSINFO_A3]\nDRIVER=OTHER_SP.DLL\n");
    ASSERT_EQ(bench.scan(0), 0);
    const auto sizes = described();
    ASSERT_GE(sizes.size(), 6u);
    const long lines = shadingLineBytes() * 30;
    EXPECT_EQ(sizes[0].first, (lines / 131072 + 1) * 131072) << "shading lines raised to the next 128 KiB step";
    EXPECT_EQ(sizes.back().first, 131072) << "transfer buffer";
}

TEST_F(PrescanRun, MissingLibraryShowsMessageFiveWithoutCallingIt) {
    bench.removeLibrary();
    EXPECT_EQ(bench.scan(0), 1);
    ASSERT_EQ(bench.boxes.size(), 1u);
    EXPECT_EQ(bench.boxes[0].text, kCheckList);
    EXPECT_TRUE(bench.log().empty());
}

TEST_F(PrescanRun, PathThatDoesNotFitIsRefusedLikeAMissingLibrary) {
    // 50 characters of Windows directory + "\TWAIN_32\KVSC_A3\" + "KASPI_SP.DLL"
    // exceed the 68-byte path buffer.
    testsupport::TempDir longRoot;
    std::string windir = longRoot.path().string() + "/";
    ASSERT_LT(windir.size(), 50u);
    windir.append(50 - windir.size(), 'w');
    std::string error;
    ASSERT_TRUE(sim::installPassThrough(windir, sim::InstallOptions{}, &error)) << error;
    pfdSetWindowsDirectory(windir.c_str());
    EXPECT_EQ(bench.scan(0), 1);
    ASSERT_EQ(bench.boxes.size(), 1u);
    EXPECT_EQ(bench.boxes[0].text, kCheckList);
    EXPECT_FALSE(std::filesystem::exists(sim::passThroughFolder(windir, sim::Dialect::Prescan) + "/passthrough.log"));
    pfdSetWindowsDirectory(bench.windir().c_str());
}

TEST_F(PrescanRun, AdapterCheckFailureShowsItsMessage) {
    bench.scenario("adapter_handle = 0");
    EXPECT_EQ(bench.scan(0), 1);
    ASSERT_EQ(bench.boxes.size(), 1u);
    EXPECT_EQ(bench.boxes[0].text, "Load SPICALL Error.");
    EXPECT_TRUE(bench.commands().empty());
}

TEST_F(PrescanRun, StatusErrorWhileWaitingComesAfterAPause) {
    bench.scenario("calibrate = 0\nlines = 4\nerror = 9 1 0x8414");
    const std::uint64_t before = pfdVirtualMilliseconds();
    EXPECT_EQ(bench.scan(0), 1);
    EXPECT_GE(pfdVirtualMilliseconds() - before, 1000u);
    ASSERT_EQ(bench.boxes.size(), 1u);
    EXPECT_EQ(bench.boxes[0].text, "Slide Scanner Cover not Closed!");
    const auto names = bench.commands();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[names.size() - 2], "get_status");
    EXPECT_EQ(names.back(), "abort");
    EXPECT_EQ(bench.strayWindows(), 0u);
}

TEST_F(PrescanRun, TransferMemoryDeletesNoOtherFile) {
    testsupport::writeText(bench.folder() + "/KRVC0000.tga", "unrelated");
    bench.scenario("calibrate = 0\nlines = 4");
    pfdFailAllocationAfter(4);  // after the three shading transfer tables
    EXPECT_EQ(bench.scan(0), 1);
    ASSERT_EQ(bench.boxes.size(), 1u);
    EXPECT_EQ(bench.boxes[0].text, "Insufficient Memory.");
    EXPECT_FALSE(bench.imageExists());
    EXPECT_TRUE(std::filesystem::exists(bench.folder() + "/KRVC0000.tga"));
}

}  // namespace
