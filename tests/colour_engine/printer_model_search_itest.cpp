// The printer search on a realistic printer: the chart patches as the virtual
// printer prints them and the virtual scanner reads them, through the ideal
// model of that scanner. Colours that the interpolated printer can make are
// found again by the nearest patch and the pattern search.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine_state.h"
#include "it8_target/virtual_it8.h"
#include "printer_model.h"
#include "virtual_printer/virtual_printer.h"
#include "qel_layout.h"

namespace {

constexpr double kLevels[8] = {0, 36, 73, 109, 146, 182, 219, 255};

double deltaE(const float p[3], const float q[3]) {
    double s = 0.0;
    for (int c = 0; c < 3; ++c) s += (static_cast<double>(p[c]) - q[c]) * (static_cast<double>(p[c]) - q[c]);
    return std::sqrt(s);
}

class PrinterSearch : public testing::TestWithParam<printsim::PrinterPreset> {
protected:
    void SetUp() override {
        const auto scanner = it8sim::responsePreset(it8sim::ResponsePreset::Mild);
        model = printsim::idealScannerModel(scanner);
        const auto printer = printsim::printerPreset(GetParam());
        measured.resize(3 * 512);
        for (int p = 0; p < 512; ++p) {
            const auto xyz = printsim::printRgb(kLevels[p / 64], kLevels[(p / 8) % 8], kLevels[p % 8], printer);
            const it8sim::Rgb8 rgb = it8sim::trueScannerRgb(xyz, scanner);
            measured[3 * p] = rgb.r;
            measured[3 * p + 1] = rgb.g;
            measured[3 * p + 2] = rgb.b;
        }
        qel::ComputePrinterXyz(reinterpret_cast<const qel::PrinterRgb*>(measured.data()), model.data());
        qel::ComputePrinterLab();
    }
    std::vector<float> model;
    std::vector<float> measured;
};

TEST_P(PrinterSearch, ColoursThePrinterCanMakeAreFoundAgain) {
    std::uint64_t state = 0x243F6A8885A308D3ull;
    auto next = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<int>((state >> 33) % 256);
    };
    int close = 0, tested = 0;
    double worst = 0.0;
    for (int n = 0; n < 300; ++n) {
        const int r0 = next(), g0 = next(), b0 = next();
        float target[3];
        qel::PrinterModelLab(r0, g0, b0, target);
        const int p = qel::NearestPrinterPatch(target);
        const double start[3] = {qel::kPrinterGridStep * (p / 64), qel::kPrinterGridStep * ((p / 8) % 8),
                                 qel::kPrinterGridStep * (p % 8)};
        float startLab[3];
        qel::PrinterModelLab(std::floor(start[0] + 0.5), std::floor(start[1] + 0.5), std::floor(start[2] + 0.5),
                             startLab);
        double rgb[3];
        qel::RefinePrinterRgb(target, start, rgb);
        float found[3];
        qel::PrinterModelLab(std::fmin(rgb[0], 255.0), std::fmin(rgb[1], 255.0), std::fmin(rgb[2], 255.0), found);
        const double e = deltaE(found, target);
        // Never worse than the patch it started from.
        EXPECT_LE(e, deltaE(startLab, target) + 1e-6) << r0 << "," << g0 << "," << b0;
        worst = std::fmax(worst, e);
        close += e < 0.5;
        ++tested;
    }
    // The targets lie on integer RGB points of the interpolated printer, so
    // the search can hit them exactly; a pattern search may end in a shallow
    // local minimum now and then, but hardly ever.
    EXPECT_GE(close, tested * 98 / 100) << "worst " << worst;
    EXPECT_LT(worst, 3.0);
}

TEST_P(PrinterSearch, PaperAndBlackAreTheEndsOfTheLightnessScale) {
    const auto& s = qel::g_engine.printerModel;
    EXPECT_EQ(s.lab[511][0], 100.0f);
    EXPECT_LT(s.lab[0][0], 40.0f);
    EXPECT_NEAR(s.lightnessScale, (100.0 - s.lab[0][0]) / qel::kPrinterLightnessRange, 1e-6);
    // Lightness rises along the grey axis of the chart.
    for (int k = 1; k < 8; ++k) EXPECT_GT(s.lab[73 * k][0], s.lab[73 * (k - 1)][0]) << k;
}

INSTANTIATE_TEST_SUITE_P(Printers, PrinterSearch,
                         testing::Values(printsim::PrinterPreset::Inkjet, printsim::PrinterPreset::Laser,
                                         printsim::PrinterPreset::Newsprint),
                         [](const testing::TestParamInfo<printsim::PrinterPreset>& info) {
                             return std::string(printsim::printerPresetName(info.param));
                         });

}  // namespace
