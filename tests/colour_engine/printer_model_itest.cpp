// The printer model run whole: PrinterTargetOpenAnalysis on printer tables,
// BuildPrinterLut on a measured chart, their progress reports, Escape, and
// the defined blocks that degenerate inputs still give.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "colour_math.h"
#include "qel_layout.h"
#include "engine_state.h"
#include "platform/desktop_posix.h"
#include "printer_model.h"
#include "qel_cms.h"
#include "synthetic_model.h"

namespace {

std::vector<int> g_reports;

int32_t QEL_STDCALL recordProgress(ProgressRecord* record, int32_t total) {
    EXPECT_EQ(total, 100);
    g_reports.push_back(record->count);
    return 0;
}

class PrinterModelRun : public testing::Test {
protected:
    void SetUp() override {
        g_reports.clear();
        record.window = 77;
        record.reserved = 0xBEEF;
    }
    void pressEscape(bool afterAnotherKey = false) {
        PfWindow window = pfdCreateWindow("host");
        pfdSetFocus(window);
        if (afterAnotherKey) pfdPostKeyDown(window, 'A');
        pfdPostKeyDown(window, PF_VK_ESCAPE);
    }
    ProgressRecord record{};
    std::vector<float> model = testsupport::syntheticModel();
};

// Printer table of 17^3 nodes, node (i0, i1, i2) at 3 (289 i0 + 17 i1 + i2),
// in a buffer big enough for the block that replaces it.
std::vector<std::uint8_t> printerTable(bool inverted) {
    std::vector<std::uint8_t> data(QEL_LUT_BLOCK_SIZE, 0);
    for (int i0 = 0; i0 < 17; ++i0)
        for (int i1 = 0; i1 < 17; ++i1)
            for (int i2 = 0; i2 < 17; ++i2) {
                const int idx[3] = {i0, i1, i2};
                for (int c = 0; c < 3; ++c) {
                    const int v = static_cast<int>(15.9375 * idx[c] + 0.5);
                    data[qel::gridNodeOffset(i0, i1, i2) + c] = static_cast<std::uint8_t>(inverted ? 255 - v : v);
                }
            }
    return data;
}

// The working-space code of a model node, worked out from the conversions.
void encodedNode(const std::vector<float>& model, int i0, int i1, int i2, int e[3]) {
    const float* lab = &model[qel::scanner_model::gridIndex(i0, i1, i2)];
    float xyz[3], rgb[3];
    qel::LabToXyzD65(2, lab[0], lab[1], lab[2], xyz);
    qel::XyzToWorkingRgb(xyz[0], xyz[1], xyz[2], rgb);
    for (int c = 0; c < 3; ++c) {
        const double v = std::fmin(std::fmax(rgb[c], 0.0), 100.0);
        e[c] = static_cast<int>(std::pow(v / 100.0, 1 / 2.2) * 255.0 + 0.5);
    }
}

void expectInputCurvesOfModel(const std::vector<std::uint8_t>& block) {
    // The synthetic tone curves are (v / 255)^2: the curves are the identity.
    for (int i = 0; i < static_cast<int>(qel::kLutBlockGrid); ++i) ASSERT_EQ(block[i], i % 256) << i;
}

TEST_F(PrinterModelRun, IdentityPrinterTableGivesTheEncodedWorkingColours) {
    auto data = printerTable(false);
    int32_t size = 0;
    ASSERT_EQ(PrinterTargetOpenAnalysis(data.data(), &size, model.data(), 0, &record, recordProgress),
              QEL_PRINTER_OPEN_OK);
    EXPECT_EQ(size, QEL_LUT_BLOCK_SIZE);
    expectInputCurvesOfModel(data);
    int exact = 0;
    for (int i0 = 0; i0 < 17; ++i0)
        for (int i1 = 0; i1 < 17; ++i1)
            for (int i2 = 0; i2 < 17; ++i2) {
                int e[3];
                encodedNode(model, i0, i1, i2, e);
                const std::uint8_t* node = &data[qel::lutNodeOffset(i0, i1, i2)];
                for (int c = 0; c < 3; ++c) {
                    ASSERT_LE(std::abs(node[c] - e[c]), 1) << i0 << "," << i1 << "," << i2 << " c" << c;
                    exact += node[c] == e[c];
                }
            }
    // The table nodes are rounded and the interpolation truncated: many
    // bytes fall one short, but a good share must hit the code exactly.
    EXPECT_GT(exact, 3 * 4913 * 2 / 5);
    EXPECT_EQ(record.window, 77u);
    EXPECT_EQ(record.reserved, 0xBEEF);
}

TEST_F(PrinterModelRun, OpenAnalysisReadsTheWholeTableBeforeWritingTheCurves) {
    // Inverted printer: node 0 holds 255. Its bytes lie where the curves go,
    // so a table read after the curves would turn black nodes wrong.
    auto data = printerTable(true);
    int32_t size = 0;
    ASSERT_EQ(PrinterTargetOpenAnalysis(data.data(), &size, model.data(), 0, nullptr, nullptr), QEL_PRINTER_OPEN_OK);
    for (int i0 = 0; i0 < 17; ++i0)
        for (int i1 = 0; i1 < 17; ++i1)
            for (int i2 = 0; i2 < 17; ++i2) {
                int e[3];
                encodedNode(model, i0, i1, i2, e);
                const std::uint8_t* node = &data[qel::lutNodeOffset(i0, i1, i2)];
                for (int c = 0; c < 3; ++c) ASSERT_LE(std::abs(node[c] - (255 - e[c])), 1) << i0 << i1 << i2;
            }
    EXPECT_EQ(data[qel::lutNodeOffset(0, 0, 0)], 255);
}

TEST_F(PrinterModelRun, OpenAnalysisReportsZeroOneThenEveryPlaneAnd100) {
    auto data = printerTable(false);
    int32_t size = 0;
    ASSERT_EQ(PrinterTargetOpenAnalysis(data.data(), &size, model.data(), 0, &record, recordProgress), 0);
    std::vector<int> expected = {0, 1};
    for (int i0 = 0; i0 < 17; ++i0) expected.push_back(2 + 6 * i0);
    expected.push_back(100);
    EXPECT_EQ(g_reports, expected);
}

TEST_F(PrinterModelRun, OpenAnalysisWithNullDataGivesTwoAfterTheFirstReport) {
    int32_t size = 99;
    EXPECT_EQ(PrinterTargetOpenAnalysis(nullptr, &size, model.data(), 0, &record, recordProgress),
              QEL_PRINTER_OPEN_FAILED);
    EXPECT_EQ(g_reports, std::vector<int>{0});
    EXPECT_EQ(size, 99);
}

TEST_F(PrinterModelRun, OpenAnalysisWithNullModelGivesTwoAndWritesNothing) {
    auto data = printerTable(false);
    const auto before = data;
    int32_t size = 99;
    EXPECT_EQ(PrinterTargetOpenAnalysis(data.data(), &size, nullptr, 0, &record, recordProgress),
              QEL_PRINTER_OPEN_FAILED);
    EXPECT_EQ(size, 99);
    EXPECT_EQ(data, before);
}

TEST_F(PrinterModelRun, EscapeStopsTheOpenAnalysisWithTwoAndNoSize) {
    auto data = printerTable(false);
    const auto before = data;
    pressEscape(true);  // the first poll drops the other key, the second sees Escape
    int32_t size = 99;
    EXPECT_EQ(PrinterTargetOpenAnalysis(data.data(), &size, model.data(), 0, &record, recordProgress),
              QEL_PRINTER_OPEN_FAILED);
    EXPECT_EQ(size, 99);
    EXPECT_EQ(g_reports, (std::vector<int>{0, 1, 2}));
    expectInputCurvesOfModel(data);
    // The first row of 17 nodes was written; the rest still holds the table.
    EXPECT_TRUE(std::equal(data.begin() + qel::lutNodeOffset(0, 1, 0), data.end(),
                           before.begin() + qel::lutNodeOffset(0, 1, 0)));
}

// A measured chart: what a scanner with the synthetic model would read from
// a print of the chart by a printer that darkens and tints a little.
std::vector<float> measuredChart() {
    std::vector<float> m(3 * 512);
    const double levels[8] = {0, 36, 73, 109, 146, 182, 219, 255};
    for (int p = 0; p < 512; ++p) {
        const double rgb[3] = {levels[p / 64], levels[(p / 8) % 8], levels[p % 8]};
        for (int c = 0; c < 3; ++c) m[3 * p + c] = static_cast<float>(std::round(18.0 + rgb[c] * (c == 2 ? 0.88 : 0.9)));
    }
    return m;
}

const qel::PrinterRgb* asPatches(const std::vector<float>& m) { return reinterpret_cast<const qel::PrinterRgb*>(m.data()); }

TEST_F(PrinterModelRun, MeasuredChartGivesACompleteBlockThatFollowsTheGreys) {
    const auto measured = measuredChart();
    std::vector<std::uint8_t> block(QEL_LUT_BLOCK_SIZE, 0xCC);
    ASSERT_EQ(qel::BuildPrinterLut(asPatches(measured), block.data(), model.data(), &record, recordProgress),
              qel::PrinterLutResult::Completed);
    std::vector<int> expected;
    for (int i0 = 0; i0 < 17; ++i0) expected.push_back(20 + 5 * i0);
    EXPECT_EQ(g_reports, expected);
    expectInputCurvesOfModel(block);
    EXPECT_EQ(block[qel::kLutBlockLayoutBytes], 0xCC);  // the two bytes past the layout are not written

    // Scanner white prints as paper (all channels at the top), scanner black
    // as the printer's black; the grey axis never falls.
    const std::uint8_t* white = &block[qel::lutNodeOffset(16, 16, 16)];
    const std::uint8_t* black = &block[qel::lutNodeOffset(0, 0, 0)];
    for (int c = 0; c < 3; ++c) {
        EXPECT_GE(white[c], 250) << c;
        EXPECT_LE(black[c], 5) << c;
    }
    for (int k = 1; k < 17; ++k)
        for (int c = 0; c < 3; ++c)
            EXPECT_GE(block[qel::lutNodeOffset(k, k, k) + c] + 2, block[qel::lutNodeOffset(k - 1, k - 1, k - 1) + c]);
    // A red scanner colour prints with more red than blue.
    const std::uint8_t* red = &block[qel::lutNodeOffset(12, 2, 2)];
    EXPECT_GT(red[0], red[2] + 60);
}

TEST_F(PrinterModelRun, EscapeStopsBuildPrinterLutAtTheFirstRow) {
    const auto measured = measuredChart();
    std::vector<std::uint8_t> block(QEL_LUT_BLOCK_SIZE, 0xCC);
    pressEscape();
    EXPECT_EQ(qel::BuildPrinterLut(asPatches(measured), block.data(), model.data(), &record, recordProgress),
              qel::PrinterLutResult::Cancelled);
    EXPECT_EQ(g_reports, std::vector<int>{20});
    expectInputCurvesOfModel(block);
    EXPECT_EQ(block[qel::scanner_model::kPolynomial], 0xCC);
}

TEST_F(PrinterModelRun, BlackPaperWhiteStillGivesADefinedCompleteBlock) {
    // Every patch measured black: the paper white is 0 and CIELAB against it
    // is not a number. The block is still complete and the same every time.
    const std::vector<float> measured(3 * 512, 0.0f);
    std::vector<std::uint8_t> first(QEL_LUT_BLOCK_SIZE, 0x11), second(QEL_LUT_BLOCK_SIZE, 0x22);
    ASSERT_EQ(qel::BuildPrinterLut(asPatches(measured), first.data(), model.data(), nullptr, nullptr),
              qel::PrinterLutResult::Completed);
    ASSERT_EQ(qel::BuildPrinterLut(asPatches(measured), second.data(), model.data(), nullptr, nullptr),
              qel::PrinterLutResult::Completed);
    EXPECT_TRUE(std::equal(first.begin(), first.begin() + qel::kLutBlockLayoutBytes, second.begin()));
    EXPECT_EQ(first[qel::lutNodeOffset(8, 8, 8)], 0);  // no patch is near: the black start point
}

TEST_F(PrinterModelRun, NanModelStillGivesADefinedCompleteBlock) {
    std::vector<float> broken(QEL_MODEL_FLOATS, std::numeric_limits<float>::quiet_NaN());
    const auto measured = measuredChart();
    std::vector<std::uint8_t> first(QEL_LUT_BLOCK_SIZE, 0x11), second(QEL_LUT_BLOCK_SIZE, 0x22);
    ASSERT_EQ(qel::BuildPrinterLut(asPatches(measured), first.data(), broken.data(), nullptr, nullptr),
              qel::PrinterLutResult::Completed);
    ASSERT_EQ(qel::BuildPrinterLut(asPatches(measured), second.data(), broken.data(), nullptr, nullptr),
              qel::PrinterLutResult::Completed);
    EXPECT_TRUE(std::equal(first.begin(), first.begin() + qel::kLutBlockLayoutBytes, second.begin()));
    for (int i = 0; i < static_cast<int>(qel::kLutBlockGrid); ++i) ASSERT_EQ(first[i], 0);

    auto data = printerTable(false);
    int32_t size = 0;
    EXPECT_EQ(PrinterTargetOpenAnalysis(data.data(), &size, broken.data(), 0, nullptr, nullptr), QEL_PRINTER_OPEN_OK);
    EXPECT_EQ(data[qel::lutNodeOffset(5, 9, 3)], 0);
}

}  // namespace
