// Whole scan runs of the scan driver through the simulated scanner: the
// written image, progress and status texts, and every exit of the run with
// its message, result and clean-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "itest_support/driver_bench.h"
#include "platform/cursors.h"
#include "platform/desktop_posix.h"
#include "platform/message_box.h"
#include "qel_cms.h"
#include "support/temp_dir.h"

namespace {

using drvtest::DriverBench;
using drvtest::kDefaultTitle;
using drvtest::LogEvent;
constexpr const char* kCheckList = drvtest::kCheckListText;


class ScanRun : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(bench.loaded()); }

    // The run ended cleanly: no popup left, the library released as the last
    // event of the log, the wait cursor gone.
    void expectReleased() {
        EXPECT_EQ(bench.strayWindows(), 0u) << "popup left open";
        const auto events = bench.log();
        if (!events.empty()) {
            EXPECT_EQ(events.back().word, "UNLOAD") << "library not released, or called after release";
        }
        EXPECT_NE(pfdCurrentCursor(), static_cast<std::uint32_t>(PF_IDC_WAIT));
    }
    void expectOneBox(const std::string& text) {
        ASSERT_EQ(bench.boxes.size(), 1u);
        EXPECT_EQ(bench.boxes[0].text, text);
        EXPECT_EQ(bench.boxes[0].title, kDefaultTitle);
    }
    static std::size_t countOf(const std::vector<std::string>& names, const std::string& name) {
        return static_cast<std::size_t>(std::count(names.begin(), names.end(), name));
    }

    DriverBench bench{DRIVER_LIB_scan, sim::Dialect::Scan};
};

TEST_F(ScanRun, WritesTheTargetAndTheEngineAnalysesIt) {
    bench.scenario("not_ready_polls = 3");
    ASSERT_EQ(bench.scan(0), 0);
    expectReleased();
    EXPECT_TRUE(bench.boxes.empty());
    EXPECT_EQ(bench.statusText(), "Image Saving ...");

    const auto bytes = testsupport::readFile(bench.imagePath());
    ASSERT_GE(bytes.size(), 18u);
    const int width = bytes[12] | (bytes[13] << 8);
    const int height = bytes[14] | (bytes[15] << 8);
    EXPECT_EQ(bytes[2], 2);
    EXPECT_EQ(bytes[16], 24);
    EXPECT_EQ(bytes[17], 0);
    EXPECT_EQ(width % 4, 0);
    EXPECT_EQ(bytes.size(), 18u + 3u * width * height);

    // The command sequence of a calibrating run.
    const auto names = bench.commands();
    const std::vector<std::string> head = {"inquiry", "set_window", "geometry", "read_shading", "send_shading", "gamma",
                                           "start_scan"};
    ASSERT_GE(names.size(), head.size());
    EXPECT_TRUE(std::equal(head.begin(), head.end(), names.begin()));
    EXPECT_EQ(countOf(names, "abort"), 0u);
    EXPECT_EQ(names.back(), "get_status");
    for (const LogEvent& e : bench.log()) {
        if (e.word != "SPI_CALL") continue;
        EXPECT_EQ(e.number("status"), 0) << e.cmd();
        EXPECT_EQ(e.number("adapter"), 0);
        if (e.cmd() == "set_window") {
            EXPECT_EQ(e.number("x_start"), 518);
            EXPECT_EQ(e.number("x_end"), 4581);
            EXPECT_EQ(e.number("y_end"), 2970);
            EXPECT_EQ(e.number("resolution"), 150);
        }
        if (e.cmd() == "start_scan") {
            EXPECT_EQ(e.number("lines"), height);
        }
        if (e.cmd() == "gamma") {
            EXPECT_EQ(e.number("entries"), 256);
        }
    }

    // Progress: 0 of 1, then each line of the transfer, then each row.
    ASSERT_EQ(bench.progress.size(), 1u + 2u * height);
    EXPECT_EQ(bench.progress[0], std::make_pair(0, 1));
    for (int i = 0; i < height; ++i) {
        ASSERT_EQ(bench.progress[1 + i], std::make_pair(i + 1, height));
        ASSERT_EQ(bench.progress[1 + height + i], std::make_pair(i + 1, height));
    }

    std::vector<float> model(QEL_MODEL_FLOATS);
    std::int32_t size = 0;
    EXPECT_EQ(ScannerIT8Analysis(0, bench.imagePath().c_str(), model.data(), &size, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(size, QEL_MODEL_SIZE);
}

TEST_F(ScanRun, LibraryThatCannotBeLoaded) {
    bench.removeLibrary();
    EXPECT_EQ(bench.scan(0), 1);
    EXPECT_TRUE(bench.boxes.empty());
    EXPECT_FALSE(bench.imageExists());
    EXPECT_EQ(bench.strayWindows(), 0u);
}

TEST_F(ScanRun, LibraryWithoutAProcedureCountsAsNotLoadable) {
    bench.installWithoutBufAddr();
    EXPECT_EQ(bench.scan(0), 1);
    EXPECT_TRUE(bench.boxes.empty());
    EXPECT_TRUE(bench.commands().empty()) << "no procedure of a half library is called";
    expectReleased();
}

TEST_F(ScanRun, InquiryStatusShowsTheCheckList) {
    for (const char* status : {"255", "7"}) {
        bench.boxes.clear();
        bench.scenario(std::string("error = 0 1 ") + status);
        EXPECT_EQ(bench.scan(0), 1);
        expectOneBox(kCheckList);
        EXPECT_EQ(bench.commands(), std::vector<std::string>{"inquiry"});
        expectReleased();
    }
}

TEST_F(ScanRun, UnknownModelCodeEndsSilently) {
    bench.scenario("model_digits = 600");
    EXPECT_EQ(bench.scan(0), 1);
    EXPECT_TRUE(bench.boxes.empty());
    EXPECT_EQ(bench.commands(), std::vector<std::string>{"inquiry"});
    expectReleased();
}

TEST_F(ScanRun, HighResolutionModelSendsFourThousandEntryTables) {
    bench.scenario("model_digits = 6060\ncalibrate = 0\nlines = 4");
    EXPECT_EQ(bench.scan(0), 0);
    for (const LogEvent& e : bench.log()) {
        if (e.cmd() == "set_window") {
            EXPECT_EQ(e.number("x_start"), 1036) << "6060 windows in 1200ths";
        }
        if (e.cmd() == "gamma") {
            EXPECT_EQ(e.number("entries"), 256);
        }
    }
    bench.scenario("model_digits = 1200\ncalibrate = 0\nlines = 4");
    EXPECT_EQ(bench.scan(0), 0);
    for (const LogEvent& e : bench.log())
        if (e.cmd() == "gamma") {
            EXPECT_EQ(e.number("entries"), 4096);
        }
}

TEST_F(ScanRun, TransparencyWithoutAdapter) {
    for (std::uint32_t type : {1u, 2u}) {
        bench.boxes.clear();
        EXPECT_EQ(bench.scan(type), 1);
        expectOneBox("Please make sure your slidekit is connected correctly.");
        EXPECT_EQ(bench.commands(), std::vector<std::string>{"inquiry"});
        expectReleased();
    }
}

TEST_F(ScanRun, AdapterTypeScansTheTransparencyWindowWithItsOwnSource) {
    bench.scenario("adapter = 1\ncalibrate = 0\nlines = 3");
    EXPECT_EQ(bench.scan(2), 0);
    bool seen = false;
    for (const LogEvent& e : bench.log())
        if (e.cmd() == "set_window") {
            seen = true;
            EXPECT_EQ(e.number("source"), 2);
            EXPECT_EQ(e.number("x_start"), 569);
            EXPECT_EQ(e.number("x_end"), 4230);
            EXPECT_EQ(e.number("y_end"), 2332);
            EXPECT_EQ(e.number("resolution"), 240);
        }
    EXPECT_TRUE(seen);
}

TEST_F(ScanRun, TypeAboveTwoIsRefusedBeforeTheScanner) {
    bench.scenario("adapter = 1");
    EXPECT_EQ(bench.scan(3), 1);
    EXPECT_TRUE(bench.log().empty()) << "the library is not even loaded";
    EXPECT_TRUE(bench.boxes.empty());
    EXPECT_FALSE(bench.imageExists());
}

TEST_F(ScanRun, ShadingTableMemoryEndsSilently) {
    pfdFailAllocationAfter(2);
    EXPECT_EQ(bench.scan(0), 1);
    EXPECT_TRUE(bench.boxes.empty());
    EXPECT_EQ(bench.commands(), std::vector<std::string>{"inquiry"});
    expectReleased();
}

TEST_F(ScanRun, StatusErrorsOfEachCommandAreReportedAndAborted) {
    struct Case {
        const char* code;
        const char* status;
        const char* text;
        const char* lastCommand;
    };
    const Case cases[] = {
        {"1", "0x8217", "Paper Jammed in Automatic Document Feeder", "set_window"},
        {"7", "0x8321", "No Paper in Automatic Document Feeder", "geometry"},
        {"2", "0x8414", "Slide Scanner Cover not Closed!", "read_shading"},
        {"3", "0x1111", kCheckList, "send_shading"},
        {"4", "0x8217", "Paper Jammed in Automatic Document Feeder", "gamma"},
        {"5", "0x8321", "No Paper in Automatic Document Feeder", "start_scan"},
        {"9", "0x8414", "Slide Scanner Cover not Closed!", "get_status"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lastCommand);
        bench.boxes.clear();
        bench.scenario(std::string("error = ") + c.code + " 1 " + c.status);
        EXPECT_EQ(bench.scan(0), 1);
        expectOneBox(c.text);
        const auto names = bench.commands();
        ASSERT_GE(names.size(), 2u);
        EXPECT_EQ(names[names.size() - 2], c.lastCommand);
        EXPECT_EQ(names.back(), "abort");
        EXPECT_FALSE(bench.imageExists());
        expectReleased();
    }
}

TEST_F(ScanRun, ShadingMemoryFailures) {
    // Allocations of a calibrating run: three transfer tables, the shading
    // line buffer (196,608 bytes, lowered once on failure) and its records,
    // the coefficient line, the working memory of the average, then the
    // output blocks.
    bench.scenario("shading_line_bytes = 6006\nshading_lines = 10");  // 60,060 bytes: one 64 KiB step
    pfdFailAllocationAfter(4);
    EXPECT_EQ(bench.scan(0), 1);
    expectOneBox("Insufficient Memory.");
    expectReleased();

    for (int nth : {6, 7, 8}) {
        bench.boxes.clear();
        pfdFailAllocationAfter(nth);
        EXPECT_EQ(bench.scan(0), 1) << nth;
        EXPECT_TRUE(bench.boxes.empty()) << nth;
        expectReleased();
    }
    for (int nth : {9, 10, 11, 12, 13, 14}) {
        bench.boxes.clear();
        pfdFailAllocationAfter(nth);
        EXPECT_EQ(bench.scan(0), 12) << nth;
        EXPECT_TRUE(bench.boxes.empty()) << nth;
        EXPECT_EQ(countOf(bench.commands(), "send_shading"), 0u);
        expectReleased();
    }
}

TEST_F(ScanRun, UnusableShadingGeometryEndsTheRun) {
    for (const char* geometry : {"shading_lines = 6", "shading_line_bytes = 6007", "shading_line_bytes = 8"}) {
        SCOPED_TRACE(geometry);
        bench.scenario(geometry);
        EXPECT_EQ(bench.scan(0), 1);
        EXPECT_EQ(countOf(bench.commands(), "read_shading"), 0u);
        expectReleased();
    }
}

TEST_F(ScanRun, StoredShadingIsSentOnlyAfterACalibration) {
    bench.scenario("calibrate = 0\nstored_shading = 2\nlines = 5");
    EXPECT_EQ(bench.scan(0), 0);
    EXPECT_EQ(countOf(bench.commands(), "send_shading"), 0u) << "nothing stored yet";

    bench.scenario("calibrate = 1\nshading_line_bytes = 6006\nlines = 5");
    EXPECT_EQ(bench.scan(0), 0);
    // The simulated scanner only knows the pieces described since it was last
    // loaded, and every run loads it afresh, so it may refuse the green
    // copies of an earlier run; what the driver sends is checked here.
    bench.scenario("calibrate = 0\nstored_shading = 2\nshading_line_bytes = 6006\nlines = 5");
    bench.scan(0);
    long count = -1;
    for (const LogEvent& e : bench.log())
        if (e.cmd() == "send_shading") count = e.number("count");
    EXPECT_EQ(count, 1000) << "Q of the stored calibration";
    expectReleased();
}

TEST_F(ScanRun, NoCalibrationGoesFromWindowToGamma) {
    bench.scenario("calibrate = 0\nlines = 4");
    EXPECT_EQ(bench.scan(0), 0);
    const auto names = bench.commands();
    ASSERT_GE(names.size(), 4u);
    EXPECT_EQ(names[1], "set_window");
    EXPECT_EQ(names[2], "gamma");
}

TEST_F(ScanRun, ZeroLinesWritesNothing) {
    bench.scenario("lines = 0");
    EXPECT_EQ(bench.scan(0), 0);
    EXPECT_FALSE(bench.imageExists());
    EXPECT_TRUE(bench.boxes.empty());
    expectReleased();
}

TEST_F(ScanRun, LineShorterThanAPixelEndsTheRun) {
    bench.scenario("bytes_per_line = 2\nlines = 5");
    EXPECT_EQ(bench.scan(0), 1);
    EXPECT_FALSE(bench.imageExists());
    EXPECT_EQ(countOf(bench.commands(), "read_image"), 0u);
    expectReleased();
}

TEST_F(ScanRun, FileThatCannotBeOpened) {
    bench.scenario("lines = 5");
    EXPECT_EQ(bench.scanTo(bench.windir() + "/missing/folder/scan.tga", 0), 1);
    expectOneBox("WRITE disk file error.");
    EXPECT_EQ(countOf(bench.commands(), "read_image"), 0u);
    expectReleased();
}

TEST_F(ScanRun, ShortHeaderRemovesThePartialFile) {
    bench.scenario("lines = 5");
    pfdFailWriteAfter(1);
    EXPECT_EQ(bench.scan(0), 1);
    expectOneBox("WRITE disk file error.");
    EXPECT_FALSE(bench.imageExists());
    expectReleased();
}

TEST_F(ScanRun, RowWriteFailureRemovesThePartialFile) {
    bench.scenario("lines = 5");
    pfdFailWriteAfter(3);
    EXPECT_EQ(bench.scan(0), 1);
    expectOneBox("WRITE disk file error.");
    EXPECT_FALSE(bench.imageExists());
    expectReleased();
}

TEST_F(ScanRun, TransferMemoryRemovesTheHostFileNotAnother) {
    // Without calibration: three transfer tables, then the transfer buffer,
    // its records and the image buffer.
    testsupport::writeText(bench.folder() + "/KRVC0000.tga", "unrelated");
    for (int nth : {4, 5, 6}) {
        bench.boxes.clear();
        bench.scenario("calibrate = 0\nlines = 5");
        pfdFailAllocationAfter(nth);
        EXPECT_EQ(bench.scan(0), 1) << nth;
        expectOneBox("Insufficient Memory.");
        EXPECT_FALSE(bench.imageExists());
        EXPECT_EQ(countOf(bench.commands(), "read_image"), 0u);
        expectReleased();
    }
    EXPECT_EQ(testsupport::readFile(bench.folder() + "/KRVC0000.tga").size(), 9u) << "a file of a fixed name stays";
}

TEST_F(ScanRun, EscapeStopsTheTransferAndRemovesTheFile) {
    bench.scenario("calibrate = 0\nlines = 50\npiece_bytes = 3000\npiece_limit = 2");
    pfdPostKeyDown(bench.host, PF_VK_ESCAPE);
    EXPECT_EQ(bench.scan(0), 1);
    EXPECT_TRUE(bench.boxes.empty());
    EXPECT_FALSE(bench.imageExists());
    const auto names = bench.commands();
    EXPECT_EQ(countOf(names, "read_image"), 0u);
    EXPECT_EQ(countOf(names, "abort"), 1u);
    EXPECT_EQ(names.back(), "get_status");
    expectReleased();

    // The next run starts with the stop flag cleared.
    EXPECT_EQ(bench.scan(0), 0);
    EXPECT_TRUE(bench.imageExists());
}

TEST_F(ScanRun, ReadErrorStopsTheTransferAndRemovesTheFile) {
    bench.scenario("calibrate = 0\nlines = 50\npiece_bytes = 3000\npiece_limit = 2\nerror = 8 2 0x8321");
    EXPECT_EQ(bench.scan(0), 1);
    expectOneBox("No Paper in Automatic Document Feeder");
    EXPECT_FALSE(bench.imageExists());
    const auto names = bench.commands();
    EXPECT_EQ(countOf(names, "read_image"), 2u);
    EXPECT_EQ(names.back(), "abort");
    expectReleased();
}

TEST_F(ScanRun, ScannerThatNeverBecomesReadyIsGivenUp) {
    bench.scenario("calibrate = 0\nlines = 5\nnot_ready_polls = never");
    const std::uint64_t before = pfdVirtualMilliseconds();
    EXPECT_EQ(bench.scan(0), 1);
    expectOneBox(kCheckList);
    EXPECT_GE(pfdVirtualMilliseconds() - before, 300000u);
    EXPECT_EQ(bench.commands().back(), "abort");
    EXPECT_FALSE(bench.imageExists());
    expectReleased();
}

TEST_F(ScanRun, MessagesUseTheLanguageBlockAndTheProfileTitle) {
    bench.writeWinIni("[AUCAL]\nBrand=North\nPackage=Pro\n");
    EXPECT_EQ(bench.scan(1, 2), 1);
    ASSERT_EQ(bench.boxes.size(), 1u);
    EXPECT_EQ(bench.boxes[0].title, "North Pro Calibrator");
    EXPECT_NE(bench.boxes[0].text, "Please make sure your slidekit is connected correctly.") << "block 2 is not English";
    EXPECT_FALSE(bench.boxes[0].text.empty());
}

TEST_F(ScanRun, PopupAndWaitCursorStandDuringCalibration) {
    // An error of set window is reported while the popup is up.
    bench.scenario("error = 1 1 0x8217");
    EXPECT_EQ(bench.scan(0), 1);
    ASSERT_EQ(bench.boxes.size(), 1u);
    EXPECT_EQ(bench.boxes[0].windowsAlive, 3u + 1u) << "host, its item, the popup and its frame";
    EXPECT_EQ(bench.boxes[0].cursor, static_cast<std::uint32_t>(PF_IDC_WAIT));
    EXPECT_EQ(bench.boxes[0].style & PF_MB_ICONINFORMATION, static_cast<std::uint32_t>(PF_MB_ICONINFORMATION));
    expectReleased();
    // An error of start scan comes after the popup is gone.
    bench.boxes.clear();
    bench.scenario("error = 5 1 0x8217");
    EXPECT_EQ(bench.scan(0), 1);
    ASSERT_EQ(bench.boxes.size(), 1u);
    EXPECT_EQ(bench.boxes[0].windowsAlive, 2u);
    EXPECT_EQ(bench.boxes[0].cursor, static_cast<std::uint32_t>(PF_IDC_ARROW));
}

TEST_F(ScanRun, LanguageWithoutBlockLoadsEmptyTextsAndGoesOn) {
    bench.scenario("calibrate = 0\nlines = 2");
    EXPECT_EQ(bench.scan(0, 9), 0);
    EXPECT_EQ(bench.statusText(), "");
    EXPECT_TRUE(bench.imageExists());
    EXPECT_EQ(bench.scan(0, 0), 0);
    EXPECT_EQ(bench.statusText(), "Image Saving ...");
}

TEST_F(ScanRun, WrittenWidthFollowsTheStride) {
    struct Case {
        int bytesPerLine;
        int lines;
        int width;
    };
    for (const Case& c : {Case{3000, 3, 1000}, Case{3003, 3, 1000}, Case{3009, 3, 1004}, Case{3000, 1, 1000}}) {
        SCOPED_TRACE(c.bytesPerLine);
        // The document lies off the window: every pixel is the lid.
        bench.scenario("calibrate = 0\ngain_variation = 0\nshading_noise = 0\ndocument_left = 40\n"
                       "background = 10 20 30\nbytes_per_line = " + std::to_string(c.bytesPerLine) +
                       "\nlines = " + std::to_string(c.lines));
        ASSERT_EQ(bench.scan(0), 0);
        const auto bytes = testsupport::readFile(bench.imagePath());
        ASSERT_EQ(bytes.size(), 18u + 3u * c.width * c.lines);
        EXPECT_EQ(bytes[12] | (bytes[13] << 8), c.width);
        EXPECT_EQ(bytes[14] | (bytes[15] << 8), c.lines);
        const int pixels = c.bytesPerLine / 3;
        for (int row = 0; row < c.lines; ++row) {
            const std::uint8_t* p = bytes.data() + 18 + 3 * c.width * row;
            // Lid red 10, green 20, blue 30 (dimmed, no shading sent): blue first.
            EXPECT_GT(p[0], p[1]);
            EXPECT_GT(p[1], p[2]);
            EXPECT_GT(p[2], 0);
            if (c.width > pixels) {
                const std::uint8_t* pad = p + 3 * pixels;
                EXPECT_EQ(pad[0] | pad[1] | pad[2], 0) << "the padding pixel is zero";
            }
        }
    }
}

TEST_F(ScanRun, CallFromInsideARunIsRefused) {
    bench.scenario("calibrate = 0\nlines = 6");
    std::vector<std::int32_t> nested;
    const std::string other = bench.windir() + "/other.tga";
    bench.onProgress = [&] {
        if (nested.size() < 2) nested.push_back(bench.callScanImage(other, 0));
    };
    EXPECT_EQ(bench.scan(0), 0);
    bench.onProgress = nullptr;
    EXPECT_EQ(nested, (std::vector<std::int32_t>{1, 1}));
    EXPECT_TRUE(bench.imageExists());
    EXPECT_EQ(bench.progress.size(), 1u + 2u * 6u) << "the nested calls reported nothing";
    EXPECT_EQ(bench.scan(0), 0) << "the next run is accepted again";
}

}  // namespace
