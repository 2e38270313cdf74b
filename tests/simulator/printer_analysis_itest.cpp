// PrinterTargetAnalysis end to end: the chart as CreatTargetImage writes it,
// and the chart printed by the virtual printer and scanned, with the exact
// scanner model of the virtual scanner.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine_state.h"
#include "imaging/targa.h"
#include "platform/desktop_posix.h"
#include "printer_chart.h"
#include "qel_cms.h"
#include "support/temp_dir.h"
#include "virtual_printer/virtual_printer.h"
#include "qel_layout.h"

namespace {

constexpr std::uint8_t kFill = 0xA5;

std::vector<int> g_progress;
int32_t QEL_STDCALL recordProgress(ProgressRecord* record, int32_t total) {
    EXPECT_EQ(total, 100);
    g_progress.push_back(record->count);
    return 0;
}

class PrinterAnalysis : public testing::Test {
protected:
    void SetUp() override {
        g_progress.clear();
        model_ = printsim::idealScannerModel(it8sim::responsePreset(it8sim::ResponsePreset::Mild));
        block_.assign(QEL_LUT_BLOCK_SIZE, kFill);
        chartPath_ = dir_.file("chart.tga");
        ASSERT_EQ(CreatTargetImage(chartPath_.c_str()), 0);
    }
    int32_t analyse(const std::string& path, bool withProgress = false) {
        return PrinterTargetAnalysis(path.c_str(), block_.data(), &blockSize_, model_.data(), 0,
                                     withProgress ? &record_ : nullptr, withProgress ? recordProgress : nullptr);
    }
    // A print of the chart, scanned and written as the drivers write scans.
    std::string printed(const printsim::PrinterResponse& printer, it8sim::ScannerResponse scanner,
                        const printsim::PrintScanOptions& options) {
        const auto chart = imaging::loadTarga(chartPath_);
        EXPECT_TRUE(chart.has_value());
        const std::string path = dir_.file("printed.tga");
        EXPECT_TRUE(imaging::writeTarga(path, printsim::printAndScan(*chart, printer, scanner, options)));
        return path;
    }
    int unwrittenNodes() const {
        int n = 0;
        for (std::size_t k = qel::kLutBlockGrid; k < qel::kLutBlockLayoutBytes; k += 3)
            if (block_[k] == kFill && block_[k + 1] == kFill && block_[k + 2] == kFill) ++n;
        return n;
    }

    testsupport::TempDir dir_;
    std::vector<float> model_;
    std::vector<std::uint8_t> block_;
    int32_t blockSize_ = -1;
    ProgressRecord record_{7, 0, 0};
    std::string chartPath_;
};

TEST_F(PrinterAnalysis, ChartReadBackGivesTheChartColoursAndACompleteBlock) {
    ASSERT_EQ(analyse(chartPath_, true), QEL_PRINTER_OK);
    EXPECT_EQ(blockSize_, QEL_LUT_BLOCK_SIZE);
    const auto& table = qel::g_engine.printerAnalysis.patchTable;
    for (int p = 0; p < 512; ++p) {
        std::uint8_t rgb[3];
        qel::chartPatchColour(p, rgb);
        ASSERT_EQ(table[p / 16][p % 16].r, rgb[0]) << p;
        ASSERT_EQ(table[p / 16][p % 16].g, rgb[1]) << p;
        ASSERT_EQ(table[p / 16][p % 16].b, rgb[2]) << p;
        ASSERT_EQ(table[p / 16][p % 16].count, 77) << p;
    }
    EXPECT_EQ(unwrittenNodes(), 0);
    // The two bytes past the layout are the host's.
    EXPECT_EQ(block_[qel::kLutBlockLayoutBytes], kFill);
    EXPECT_EQ(block_[15508], kFill);
    ASSERT_GE(g_progress.size(), 4u);
    EXPECT_EQ((std::vector<int>(g_progress.begin(), g_progress.begin() + 4)), (std::vector<int>{0, 5, 15, 20}));
    EXPECT_EQ(g_progress.back(), 100);
    EXPECT_EQ(record_.window, 7u);
}

TEST_F(PrinterAnalysis, NullModelIsRefusedBeforeTheFileIsRead) {
    const auto before = qel::g_engine.printerAnalysis.passesRun;
    qel::g_engine.printerAnalysis.passesRun = -1;
    EXPECT_EQ(PrinterTargetAnalysis(chartPath_.c_str(), block_.data(), &blockSize_, nullptr, 0, &record_,
                                    recordProgress),
              QEL_PRINTER_NO_MODEL);
    EXPECT_EQ(qel::g_engine.printerAnalysis.passesRun, -1);
    qel::g_engine.printerAnalysis.passesRun = before;
    EXPECT_EQ(blockSize_, -1);
    EXPECT_EQ(g_progress, std::vector<int>{0});
    EXPECT_EQ(unwrittenNodes(), 17 * 17 * 17);
}

TEST_F(PrinterAnalysis, ChartCodesPassThroughAndLeaveBlockSize) {
    EXPECT_EQ(analyse(dir_.file("missing.tga")), QEL_PRINTER_UNREADABLE_OR_FEW_TOP_MARKS);
    testsupport::writeFile(dir_.file("blank.tga"), [] {
        std::vector<std::uint8_t> f(18 + 100 * 100 * 3, 255);
        std::fill(f.begin(), f.begin() + 18, 0);
        f[2] = 2;
        f[12] = 100;
        f[14] = 100;
        f[16] = 24;
        return f;
    }());
    EXPECT_EQ(analyse(dir_.file("blank.tga")), QEL_PRINTER_FEW_SIDE_BOXES);
    EXPECT_EQ(blockSize_, -1);
    EXPECT_EQ(unwrittenNodes(), 17 * 17 * 17);
}

TEST_F(PrinterAnalysis, EscapeDuringTheModelGivesSevenAndLeavesBlockSize) {
    PfWindow host = pfdCreateWindow("host");
    pfdSetFocus(host);
    ASSERT_TRUE(pfdPostKeyDown(host, 27));
    EXPECT_EQ(analyse(chartPath_, true), QEL_PRINTER_CANCELLED);
    EXPECT_EQ(blockSize_, -1);
    EXPECT_EQ(g_progress, (std::vector<int>{0, 5, 15, 20}));
    EXPECT_EQ(pfdQueuedMessages(host), 0u);
    pfdDestroyWindow(host);
}

TEST_F(PrinterAnalysis, OtherMessagesAreDroppedAndTheModelRunsOn) {
    PfWindow host = pfdCreateWindow("host");
    pfdSetFocus(host);
    ASSERT_TRUE(pfdPostKeyDown(host, 'A'));
    EXPECT_EQ(analyse(chartPath_), QEL_PRINTER_OK);
    EXPECT_EQ(blockSize_, QEL_LUT_BLOCK_SIZE);
    EXPECT_EQ(pfdQueuedMessages(host), 0u);
    pfdDestroyWindow(host);
}

TEST_F(PrinterAnalysis, MeasuredPatchesAllocationFailureIsReported) {
    // The row buffer is the first allocation of the call, the measured
    // patches the second.
    pfdFailAllocationAfter(2);
    EXPECT_EQ(analyse(chartPath_), QEL_PRINTER_NO_MEMORY);
    EXPECT_EQ(blockSize_, -1);
}

TEST_F(PrinterAnalysis, PrintedAndScannedChartGivesACompleteBlock) {
    it8sim::ScannerResponse scanner = it8sim::responsePreset(it8sim::ResponsePreset::Mild);
    scanner.noiseSigma = 1.0;
    scanner.seed = 11;
    printsim::PrintScanOptions options;
    options.dpi = 300;
    options.blurPixels = 0.8;
    options.tiltDegrees = 0.4;
    const printsim::PrinterResponse printer = printsim::printerPreset(printsim::PrinterPreset::Inkjet);
    ASSERT_EQ(analyse(printed(printer, scanner, options)), QEL_PRINTER_OK);
    EXPECT_EQ(blockSize_, QEL_LUT_BLOCK_SIZE);
    EXPECT_EQ(unwrittenNodes(), 0);

    // Every patch mean is the scanner's view of the printed colour.
    scanner.noiseSigma = 0;
    const auto& table = qel::g_engine.printerAnalysis.patchTable;
    for (int p = 0; p < 512; ++p) {
        std::uint8_t rgb[3];
        qel::chartPatchColour(p, rgb);
        const it8sim::Rgb8 want = it8sim::trueScannerRgb(printsim::printRgb(rgb[0], rgb[1], rgb[2], printer), scanner);
        const auto& e = table[p / 16][p % 16];
        ASSERT_NEAR(e.r, want.r, 1) << p;
        ASSERT_NEAR(e.g, want.g, 1) << p;
        ASSERT_NEAR(e.b, want.b, 1) << p;
        ASSERT_GT(e.count, 400) << p;
    }

    // The block reproduces colours the printer can print: nodes along the
    // grey axis and a spread of others, printed through the block, land
    // near their target (lightness scaled into the printer's range).
    const printsim::PrinterGamut gamut(printer);
    const double s = (100.0 - gamut.blackLightness()) / qel::kPrinterLightnessRange;
    std::vector<double> errors;
    for (int n = 0; n < 17 * 17 * 17; n += 13) {
        const int i0 = n / 289, i1 = (n / 17) % 17, i2 = n % 17;
        printsim::Lab want = printsim::modelGridLab(model_, i0, i1, i2);
        want.l = (want.l - 100) * s + 100;
        const double chroma = s >= 1 ? (3 - s) / 2 : (s + 1) / 2;
        want.a *= chroma;
        want.b *= chroma;
        if (gamut.distance(want) > 1.0) continue;
        const std::uint8_t* node = &block_[qel::kLutBlockGrid + 3 * static_cast<std::size_t>(n)];
        errors.push_back(printsim::deltaE(gamut.printLab(node[0], node[1], node[2]), want));
    }
    ASSERT_GE(errors.size(), 10u);
    std::sort(errors.begin(), errors.end());
    EXPECT_LT(errors[errors.size() / 2], 3.0);
}

TEST_F(PrinterAnalysis, OtherPrintersResolutionsAndTiltsAreFound) {
    struct Case {
        printsim::PrinterPreset printer;
        double dpi, tilt, blur, noise;
    };
    for (const Case& c : {Case{printsim::PrinterPreset::Laser, 150, -0.8, 0.5, 2.0},
                          Case{printsim::PrinterPreset::Newsprint, 200, 0.0, 1.2, 1.0},
                          Case{printsim::PrinterPreset::Inkjet, 100, 0.3, 0.0, 0.0}}) {
        it8sim::ScannerResponse scanner = it8sim::responsePreset(it8sim::ResponsePreset::NonLinear);
        scanner.noiseSigma = c.noise;
        printsim::PrintScanOptions options;
        options.dpi = c.dpi;
        options.tiltDegrees = c.tilt;
        options.blurPixels = c.blur;
        model_ = printsim::idealScannerModel(scanner);
        EXPECT_EQ(analyse(printed(printsim::printerPreset(c.printer), scanner, options)), QEL_PRINTER_OK)
            << printsim::printerPresetName(c.printer) << " at " << c.dpi;
    }
}

TEST_F(PrinterAnalysis, OpenAnalysisAcceptsTheVirtualPrintersTable) {
    std::vector<std::uint8_t> data = printsim::printerTable(printsim::printerPreset(printsim::PrinterPreset::Inkjet));
    ASSERT_EQ(data.size(), static_cast<std::size_t>(QEL_LUT_BLOCK_SIZE));
    const std::vector<std::uint8_t> table(data.begin(), data.begin() + qel::kPrinterTableBytes);
    ASSERT_EQ(PrinterTargetOpenAnalysis(data.data(), &blockSize_, model_.data(), 0, nullptr, nullptr), QEL_PRINTER_OPEN_OK);
    EXPECT_EQ(blockSize_, QEL_LUT_BLOCK_SIZE);
    // The white node of the grid takes the paper: the table's top node.
    const std::uint8_t* white = &data[qel::lutNodeOffset(16, 16, 16)];
    EXPECT_GE(white[0], 250);
    EXPECT_GE(white[1], 250);
    EXPECT_GE(white[2], 250);
    EXPECT_NE(std::memcmp(data.data() + qel::kLutBlockGrid, table.data(), 100), 0);
}

}  // namespace
