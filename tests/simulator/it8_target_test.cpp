// The virtual IT8 target: its reference values and file, the true scanner
// response, and the rendered scan.
#include "it8_target/virtual_it8.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>


namespace {

using namespace it8sim;

const ResponsePreset kPresets[] = {ResponsePreset::Mild, ResponsePreset::NonLinear, ResponsePreset::Crosstalk,
                                   ResponsePreset::Linear};

// The reader's pixel classes.
bool dark(const Rgb8& c) { return c.r <= 38 && c.g <= 38 && c.b <= 38; }
bool medium(const Rgb8& c) { return !dark(c) && c.r < 140 && c.g < 140 && c.b < 140; }
bool lightNeutral(const Rgb8& c) {
    return c.r >= 140 && c.g >= 140 && c.b >= 140 && std::abs(c.r - c.g) <= 80 && std::abs(c.r - c.b) <= 80 &&
           std::abs(c.g - c.b) <= 80;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

TEST(It8ReferenceSet, GreyScaleRunsFromLightToDarkAndA22IsNotLightNeutral) {
    const It8ReferenceSet refs = makeIt8Reference();
    for (int n = 1; n < 24; ++n) EXPECT_LT(refs.grey[n].y, refs.grey[n - 1].y) << n;
    EXPECT_GT(refs.grey[1].y, 60.0);
    EXPECT_LT(refs.grey[22].y, 2.0);
    for (ResponsePreset p : kPresets) {
        SCOPED_TRACE(presetName(p));
        const ScannerResponse r = responsePreset(p);
        EXPECT_TRUE(lightNeutral(trueScannerRgb(refs.grey[1], r)));
        EXPECT_FALSE(lightNeutral(trueScannerRgb(refs.colour[0][21], r)));
    }
}

TEST(It8ReferenceSet, ColoursAreDistinctAndSpreadOverTheGamut) {
    const It8ReferenceSet refs = makeIt8Reference();
    std::set<std::tuple<double, double, double>> seen;
    double minY = 1e9, maxY = 0;
    for (const auto& row : refs.colour)
        for (const Xyz& c : row) {
            seen.insert({c.x, c.y, c.z});
            EXPECT_GT(c.y, 0.0);
            minY = std::min(minY, c.y);
            maxY = std::max(maxY, c.y);
        }
    EXPECT_EQ(seen.size(), 264u);
    EXPECT_LT(minY, 6.0);
    EXPECT_GT(maxY, 50.0);
    // Values carry two decimals exactly, so the file holds them unchanged.
    for (const Xyz& c : refs.grey) EXPECT_DOUBLE_EQ(std::round(c.y * 100.0) / 100.0, c.y);
}

TEST(It8ReferenceText, HoldsEveryPatchOnceInTheReadersFormat) {
    const It8ReferenceSet refs = makeIt8Reference();
    const std::string text = it8ReferenceText(refs);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    const std::vector<std::string> all = lines(text);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.front(), "IT8.7/2");
    std::size_t format = 0, begin = 0, end = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_LE(all[i].size(), 200u) << i;
        if (all[i] == "BEGIN_DATA_FORMAT") format = i;
        if (all[i] == "BEGIN_DATA") begin = i;
        if (all[i] == "END_DATA") end = i;
    }
    ASSERT_GT(format, 0u);
    EXPECT_EQ(all[format + 1].rfind("SAMPLE_ID\tXYZ_X\tXYZ_Y\tXYZ_Z", 0), 0u);
    ASSERT_GT(begin, format);
    ASSERT_EQ(end - begin - 1, 288u);
    std::set<std::string> ids;
    for (std::size_t i = begin + 1; i < end; ++i) {
        std::istringstream in(all[i]);
        std::string id;
        double x, y, z;
        in >> id >> x >> y >> z;
        ASSERT_TRUE(in) << all[i];
        ids.insert(id);
        if (id == "A22") { EXPECT_EQ(y, refs.colour[0][21].y); }
        if (id == "GS0") { EXPECT_EQ(y, refs.grey[0].y); }
        if (id == "L1") { EXPECT_EQ(x, refs.colour[11][0].x); }
    }
    EXPECT_EQ(ids.size(), 288u);
    EXPECT_TRUE(ids.count("GS23"));
    EXPECT_TRUE(ids.count("L22"));
}

TEST(ScannerResponse, PresetsKeepTheFrameDarkAndTheSurroundMedium) {
    const TargetOptions o;
    for (ResponsePreset p : kPresets) {
        SCOPED_TRACE(presetName(p));
        ScannerResponse r = responsePreset(p);
        EXPECT_TRUE(dark(trueScannerRgb(o.frame, r)));
        EXPECT_TRUE(medium(trueScannerRgb(o.surround, r)));
        EXPECT_FALSE(dark(trueScannerRgb(o.base, r)));
        const Rgb8 stripe = trueScannerRgb(o.stripe, r);
        EXPECT_FALSE(dark(stripe) || medium(stripe));
    }
}

TEST(ScannerResponse, D50WhiteGivesFullSignalAndCrosstalkSparesNeutrals) {
    ScannerResponse r;
    const Xyz d50{96.42, 100.0, 82.49};
    for (double k : {0.0, 0.12}) {
        r.crosstalk = k;
        for (double s : scannerSignal(d50, r)) EXPECT_NEAR(s, 1.0, 1e-4);
        const auto grey = scannerSignal({96.42 * 0.2, 20.0, 82.49 * 0.2}, r);
        for (double s : grey) EXPECT_NEAR(s, 0.2, 1e-4);
    }
    // On a red, crosstalk moves signal from red into green and blue.
    const Xyz red{41.0, 22.0, 2.0};
    r.crosstalk = 0.0;
    const auto pure = scannerSignal(red, r);
    r.crosstalk = 0.12;
    const auto mixed = scannerSignal(red, r);
    EXPECT_LT(mixed[0], pure[0]);
    EXPECT_GT(mixed[1], pure[1]);
    // Signals never leave 0..1.
    for (double s : scannerSignal({300, 10, 0}, r)) {
        EXPECT_GE(s, 0.0);
        EXPECT_LE(s, 1.0);
    }
}

Rgb8 at(const imaging::Image& r, int x, int line) {
    const std::uint8_t* p = r.row(line) + 3 * x;
    return {p[0], p[1], p[2]};
}

// ---------------------------------------------------------------------------

class Rendered : public ::testing::Test {
protected:
    It8ReferenceSet refs = makeIt8Reference();
    ScannerResponse response = responsePreset(ResponsePreset::Mild);
    TargetOptions options;
};

TEST_F(Rendered, SizeIsTheTargetPlusMarginsAtTheResolution) {
    options.dpi = 100;
    const imaging::Image r = renderIt8TargetRgb(refs, response, options);
    // 24 x 0.2 + 2 x 0.3 = 5.4 in, 16 x 0.2 + 0.6 = 3.8 in.
    EXPECT_EQ(r.width, 540);
    EXPECT_EQ(r.height, 380);
    EXPECT_EQ(r.pixels.size(), std::size_t(r.width) * r.height * 3);
    EXPECT_EQ(r.metadata.xDpi, 100);
    EXPECT_EQ(r.metadata.yDpi, 100);
    options.dpi = 0;
    EXPECT_EQ(renderIt8TargetRgb(refs, response, options).width, 0);
}

TEST_F(Rendered, TopRowIsScannedFirstAndCellsShowTheirTrueColour) {
    options.dpi = 150;
    const imaging::Image r = renderIt8TargetRgb(refs, response, options);
    for (int row : {1, 12, 14})
        for (int col : {1, 11, 22}) {
            const ScanPoint p = cellCentreInScan(options, r.width, r.height, row, col);
            EXPECT_EQ(at(r, int(p.x), int(p.line)), trueScannerRgb(*cellReference(refs, row, col), response))
                << row << "," << col;
        }
    // Row A lies in the first half of the lines, the grey scale in the last.
    EXPECT_LT(cellCentreInScan(options, r.width, r.height, 1, 1).line, r.height / 2.0);
    EXPECT_GT(cellCentreInScan(options, r.width, r.height, 14, 1).line, r.height / 2.0);
    EXPECT_LT(cellCentreInScan(options, r.width, r.height, 1, 1).x, cellCentreInScan(options, r.width, r.height, 1, 22).x);
    // Corners: surround; frame cells: base; the outline: dark.
    EXPECT_TRUE(medium(at(r, 0, 0)));
    EXPECT_TRUE(medium(at(r, r.width - 1, r.height - 1)));
    const ScanPoint ring = cellCentreInScan(options, r.width, r.height, 13, 5);
    EXPECT_EQ(at(r, int(ring.x), int(ring.line)), trueScannerRgb(options.base, response));
    const int outlineX = int(std::round(options.marginInches * options.dpi)) + 1;
    EXPECT_TRUE(dark(at(r, outlineX, r.height / 2)));
}

TEST_F(Rendered, HalfTurnPutsTheGreyScaleFirst) {
    options.dpi = 100;
    options.halfTurn = true;
    const imaging::Image r = renderIt8TargetRgb(refs, response, options);
    const ScanPoint gs1 = cellCentreInScan(options, r.width, r.height, 14, 1);
    EXPECT_LT(gs1.line, r.height / 2.0);
    EXPECT_GT(gs1.x, r.width / 2.0);
    EXPECT_EQ(at(r, int(gs1.x), int(gs1.line)), trueScannerRgb(refs.grey[1], response));
    // Where an upright target has GS1, the turned one shows A22.
    TargetOptions upright = options;
    upright.halfTurn = false;
    const ScanPoint where = cellCentreInScan(upright, r.width, r.height, 14, 1);
    EXPECT_EQ(at(r, int(where.x), int(where.line)), trueScannerRgb(refs.colour[0][21], response));
}

TEST_F(Rendered, StripeCrossesTheChosenFileRows) {
    options.dpi = 100;
    options.interruptRow = 150;
    options.interruptRows = 2;
    const imaging::Image r = renderIt8TargetRgb(refs, response, options);
    const Rgb8 stripe = trueScannerRgb(options.stripe, response);
    auto lineOfFileRow = [&](int y) { return r.height - 1 - y; };
    for (int x = 0; x < r.width; x += 7) {
        EXPECT_EQ(at(r, x, lineOfFileRow(150)), stripe);
        EXPECT_EQ(at(r, x, lineOfFileRow(151)), stripe);
    }
    EXPECT_NE(at(r, int(options.marginInches * options.dpi) + 1, lineOfFileRow(152)), stripe);
    EXPECT_NE(at(r, int(options.marginInches * options.dpi) + 1, lineOfFileRow(149)), stripe);
}

TEST_F(Rendered, NoiseIsReproducibleBySeedAndCentredOnTheTruth) {
    options.dpi = 60;
    const imaging::Image clean = renderIt8TargetRgb(refs, response, options);
    response.noiseSigma = 4;
    response.seed = 9;
    const imaging::Image a = renderIt8TargetRgb(refs, response, options);
    const imaging::Image b = renderIt8TargetRgb(refs, response, options);
    response.seed = 10;
    const imaging::Image c = renderIt8TargetRgb(refs, response, options);
    EXPECT_EQ(a.pixels, b.pixels);
    EXPECT_NE(a.pixels, c.pixels);
    double sum = 0, sumSquares = 0;
    std::size_t n = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        if (clean.pixels[i] < 20 || clean.pixels[i] > 235) continue;  // away from clipping
        const double d = double(a.pixels[i]) - clean.pixels[i];
        sum += d;
        sumSquares += d * d;
        ++n;
    }
    ASSERT_GT(n, 10000u);
    EXPECT_NEAR(sum / n, 0.0, 0.1);
    EXPECT_NEAR(std::sqrt(sumSquares / n), 4.0, 0.3);
}

}  // namespace
