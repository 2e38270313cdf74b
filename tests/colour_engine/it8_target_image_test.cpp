// The target image reader on scans of the virtual IT8 target and on small
// synthetic images built for one rule each.
#include "it8_target_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine_state.h"
#include "imaging/targa.h"
#include "it8_target/virtual_it8.h"
#include "platform/desktop_posix.h"
#include "platform/files.h"
#include "platform/raii.hpp"
#include "support/temp_dir.h"
#include "targa.h"

namespace {

using qel::EdgeTrace;
using qel::g_engine;
using testsupport::TempDir;

constexpr std::uint8_t kMedium = 100;
constexpr std::uint8_t kDark = 10;

// A Targa image in file order (row 0 first in the file), blue, green, red.
struct Image {
    int width, height;
    std::vector<std::uint8_t> bgr;
    Image(int w, int h, std::uint8_t fill = kMedium) : width(w), height(h), bgr(std::size_t(w) * h * 3, fill) {}
    void set(int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        std::uint8_t* p = &bgr[(std::size_t(y) * width + x) * 3];
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
    void fill(int x0, int y0, int x1, int y1, std::uint8_t v) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) set(x, y, v, v, v);
    }
    // A dark outline of the given thickness around [x0, x1] x [y0, y1].
    void outline(int x0, int y0, int x1, int y1, int t = 2) {
        fill(x0, y0, x1, y0 + t - 1, kDark);
        fill(x0, y1 - t + 1, x1, y1, kDark);
        fill(x0, y0, x0 + t - 1, y1, kDark);
        fill(x1 - t + 1, y0, x1, y1, kDark);
    }
    std::vector<std::uint8_t> file() const {
        const qel::TargaImageFile h = qel::TargaImageFile::make(std::uint16_t(width), std::uint16_t(height));
        std::vector<std::uint8_t> out(sizeof h + bgr.size());
        std::memcpy(out.data(), &h, sizeof h);
        std::memcpy(out.data() + sizeof h, bgr.data(), bgr.size());
        return out;
    }
};

// An open image file for the white-box steps.
struct OpenImage {
    TempDir dir;
    std::string path;
    pf::FileHandle file;
    int width, height;
    explicit OpenImage(const Image& img) : path(dir.file("img.tga")), width(img.width), height(img.height) {
        testsupport::writeFile(path, img.file());
        file = pf::FileHandle(pfLopen(path.c_str(), PF_OF_READ));
    }
    bool locate(EdgeTrace& l, EdgeTrace& r) { return qel::LocateIt8Frame(file.get(), width, height, l, r); }
};

void expectEdge(const EdgeTrace& e, int x0, int y0, int x1, int y1) {
    EXPECT_EQ(e.x0, x0);
    EXPECT_EQ(e.y0, y0);
    EXPECT_EQ(e.x1, x1);
    EXPECT_EQ(e.y1, y1);
}

std::array<std::int32_t, 3> cellOf(int row, int col) {
    const auto& c = g_engine.targetPatches.cell[row][col];
    return {c[0], c[1], c[2]};
}

std::array<std::int32_t, 3> asCell(const it8sim::Rgb8& c) { return {c.r, c.g, c.b}; }

void fillTable(std::int32_t v) {
    for (auto& row : g_engine.targetPatches.cell)
        for (auto& cell : row) cell[0] = cell[1] = cell[2] = v;
}

// ---------------------------------------------------------------------------
// Scans of the virtual target.

class VirtualTargetScan : public ::testing::Test {
protected:
    TempDir dir;
    it8sim::It8ReferenceSet refs = it8sim::makeIt8Reference();
    it8sim::ScannerResponse response = it8sim::responsePreset(it8sim::ResponsePreset::Mild);
    it8sim::TargetOptions options;
    int height = 0;

    int scan(const std::string& name = "scan.tga") {
        const imaging::Image raster = it8sim::renderIt8TargetRgb(refs, response, options);
        height = raster.height;
        const std::string path = dir.file(name);
        EXPECT_TRUE(imaging::writeTarga(path, raster));
        return qel::ReadIt8TargetImage(path.c_str());
    }
    // Every sampled cell against the scanner's true colour of its patch.
    void expectCellsWithin(int tolerance) {
        for (int row = 1; row <= 14; ++row) {
            if (row == 13) continue;
            for (int col = 1; col <= 22; ++col) {
                const auto truth = asCell(it8sim::trueScannerRgb(*it8sim::cellReference(refs, row, col), response));
                const auto got = cellOf(row, col);
                for (int c = 0; c < 3; ++c)
                    ASSERT_LE(std::abs(got[c] - truth[c]), tolerance) << "cell " << row << "," << col << " channel " << c;
            }
        }
    }
};

TEST_F(VirtualTargetScan, FoundAt150And300DpiWithTheRenderedColours) {
    for (double dpi : {150.0, 300.0}) {
        SCOPED_TRACE(dpi);
        options.dpi = dpi;
        fillTable(-1);
        ASSERT_EQ(scan(), 0);
        expectCellsWithin(0);
        // Cells that are never sampled are cleared.
        for (int col = 0; col < 24; ++col) {
            EXPECT_EQ(cellOf(0, col), (std::array<std::int32_t, 3>{0, 0, 0}));
            EXPECT_EQ(cellOf(13, col), (std::array<std::int32_t, 3>{0, 0, 0}));
            EXPECT_EQ(cellOf(15, col), (std::array<std::int32_t, 3>{0, 0, 0}));
        }
        for (int row = 0; row < 16; ++row) {
            EXPECT_EQ(cellOf(row, 0), (std::array<std::int32_t, 3>{0, 0, 0}));
            EXPECT_EQ(cellOf(row, 23), (std::array<std::int32_t, 3>{0, 0, 0}));
        }
    }
}

TEST_F(VirtualTargetScan, EveryResponsePresetIsFoundAndSampledExactly) {
    options.dpi = 150;
    for (auto preset : {it8sim::ResponsePreset::NonLinear, it8sim::ResponsePreset::Crosstalk,
                        it8sim::ResponsePreset::Linear}) {
        SCOPED_TRACE(it8sim::presetName(preset));
        response = it8sim::responsePreset(preset);
        ASSERT_EQ(scan(), 0);
        expectCellsWithin(0);
    }
}

TEST_F(VirtualTargetScan, NoisyScanGivesMeansCloseToTheTruth) {
    options.dpi = 200;
    response.noiseSigma = 3.0;
    response.seed = 77;
    ASSERT_EQ(scan(), 0);
    // A mean over 441+ pixels of noise of 3 levels, truncated: within 2.
    expectCellsWithin(2);
}

TEST_F(VirtualTargetScan, TargetTurnedSlightlyOnTheGlassIsFound) {
    options.dpi = 300;
    for (double tilt : {-1.0, 1.0}) {
        SCOPED_TRACE(tilt);
        options.tiltDegrees = tilt;
        ASSERT_EQ(scan(), 0);
        expectCellsWithin(0);
    }
    // Further turned, the traces cut the corners by up to the outline's
    // width: still found, the windows still mostly inside their patches.
    options.tiltDegrees = 3.0;
    ASSERT_EQ(scan(), 0);
    expectCellsWithin(12);
}

TEST_F(VirtualTargetScan, SkewWithinTheCosineLimitIsFoundBeyondItRefused) {
    // The lean's sine is the cosine between the left edge and the start
    // side: 0.0785 at 4.5 degrees, 0.1045 at 6 degrees (the limit is 0.09).
    for (double dpi : {150.0, 300.0}) {
        SCOPED_TRACE(dpi);
        options.dpi = dpi;
        for (double sign : {1.0, -1.0}) {
            options.skewDegrees = 4.5 * sign;
            EXPECT_EQ(scan(), 0);
            options.skewDegrees = 6.0 * sign;
            EXPECT_EQ(scan(), 1);
        }
    }
}

TEST_F(VirtualTargetScan, StripeAtHalfHeightIsBridgedFromTheQuarterRow) {
    options.dpi = 150;
    options.interruptRow = -1;
    ASSERT_EQ(scan(), 0);
    options.interruptRow = height / 2;
    options.interruptRows = 1;
    EXPECT_EQ(scan(), 0);
    // Two rows end both edges at the stripe: no row gives a whole frame.
    options.interruptRows = 2;
    EXPECT_EQ(scan(), 1);
}

TEST_F(VirtualTargetScan, HalfTurnFailsTheOrientationCheck) {
    options.dpi = 150;
    options.halfTurn = true;
    fillTable(-1);
    EXPECT_EQ(scan(), 1);
    // The cell read as GS1 holds A22 (a dark red), the cell read as GS22
    // holds A1; all other cells are cleared.
    EXPECT_EQ(cellOf(14, 1), asCell(it8sim::trueScannerRgb(refs.colour[0][21], response)));
    EXPECT_EQ(cellOf(14, 22), asCell(it8sim::trueScannerRgb(refs.colour[0][0], response)));
    EXPECT_EQ(cellOf(1, 1), (std::array<std::int32_t, 3>{0, 0, 0}));
    EXPECT_EQ(cellOf(14, 2), (std::array<std::int32_t, 3>{0, 0, 0}));
}

TEST_F(VirtualTargetScan, OrientationCheckWantsNeutralEndsOfTheGreyScale) {
    options.dpi = 100;
    const it8sim::It8ReferenceSet upright = refs;
    // A light yellow as GS1: light enough, but blue far below red and green.
    refs.grey[1] = {70.0, 78.0, 12.0};
    EXPECT_EQ(scan(), 1);
    // A middle grey as GS22: neutral but not dark.
    refs = upright;
    refs.grey[22] = {19.3, 20.0, 16.5};
    EXPECT_EQ(scan(), 1);
    // A grey GS1 too dark to be light.
    refs = upright;
    refs.grey[1] = refs.grey[12];
    EXPECT_EQ(scan(), 1);
    refs = upright;
    EXPECT_EQ(scan(), 0);
}

TEST_F(VirtualTargetScan, NoFrameLeavesTheTableAsItWas) {
    options.dpi = 150;
    ASSERT_EQ(scan(), 0);
    const auto before = g_engine.targetPatches;
    const std::string path = dir.file("grey.tga");
    testsupport::writeFile(path, Image(300, 200).file());
    EXPECT_EQ(qel::ReadIt8TargetImage(path.c_str()), 1);
    EXPECT_EQ(std::memcmp(&before, &g_engine.targetPatches, sizeof before), 0);
}

TEST_F(VirtualTargetScan, AllocationFailuresGiveOneAndReleaseEverything) {
    options.dpi = 100;
    const imaging::Image raster = it8sim::renderIt8TargetRgb(refs, response, options);
    const std::string path = dir.file("scan.tga");
    ASSERT_TRUE(imaging::writeTarga(path, raster));
    // 1: the locator's row buffer; 2 and 3: the GS1 and GS22 windows; then
    // one per patch window (a patch not sampled must not read as black).
    for (unsigned n : {1u, 2u, 3u, 4u, 150u, 288u}) {
        SCOPED_TRACE(n);
        pfdFailAllocationAfter(n);
        EXPECT_EQ(qel::ReadIt8TargetImage(path.c_str()), 1);
        pfdFailAllocationAfter(0);
        EXPECT_EQ(pfdOpenFiles(), 0u);
    }
    EXPECT_EQ(qel::ReadIt8TargetImage(path.c_str()), 0);
}

// ---------------------------------------------------------------------------
// Locating the frame on synthetic images.

TEST(It8ScanRows, HalvesUpToThreeTimesWhileAboveOne) {
    int rows[3] = {-1, -1, -1};
    ASSERT_EQ(qel::It8ScanRows(570, rows), 3);
    EXPECT_EQ(rows[0], 285);
    EXPECT_EQ(rows[1], 142);
    EXPECT_EQ(rows[2], 71);
    // An image three rows high tries only row 1.
    ASSERT_EQ(qel::It8ScanRows(3, rows), 1);
    EXPECT_EQ(rows[0], 1);
    EXPECT_EQ(qel::It8ScanRows(5, rows), 2);
    EXPECT_EQ(rows[1], 1);
    EXPECT_EQ(qel::It8ScanRows(1, rows), 0);
    EXPECT_EQ(qel::It8ScanRows(0, rows), 0);
}

TEST(LocateIt8Frame, TracesAnUprightFrameToItsCorners) {
    Image img(200, 120);
    img.outline(20, 10, 170, 110);
    OpenImage f(img);
    EdgeTrace l, r;
    ASSERT_TRUE(f.locate(l, r));
    expectEdge(l, 20, 10, 20, 110);
    expectEdge(r, 170, 10, 170, 110);
}

TEST(LocateIt8Frame, PixelClassesEndAt38And139) {
    // Dark is every channel at most 38; medium is not dark with every
    // channel at most 139. One channel past a bound breaks the edge.
    struct Case {
        std::uint8_t line[3], ground[3];
        bool found;
    };
    const Case cases[] = {
        {{38, 38, 38}, {139, 139, 139}, true},
        {{39, 10, 10}, {100, 100, 100}, false},
        {{10, 10, 39}, {100, 100, 100}, false},
        {{10, 10, 10}, {140, 100, 100}, false},
        {{10, 10, 10}, {100, 100, 140}, false},
        {{10, 10, 10}, {39, 20, 20}, true},  // medium: one channel above 38
        {{10, 10, 10}, {38, 38, 38}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.line[0]) << "," << int(c.line[2]) << " on " << int(c.ground[0])
                                        << "," << int(c.ground[2]));
        Image img(200, 120);
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x) img.set(x, y, c.ground[0], c.ground[1], c.ground[2]);
        auto line = [&](int x0, int y0, int x1, int y1) {
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x) img.set(x, y, c.line[0], c.line[1], c.line[2]);
        };
        line(20, 10, 170, 11);
        line(20, 109, 170, 110);
        line(20, 10, 21, 110);
        line(169, 10, 170, 110);
        OpenImage f(img);
        EdgeTrace l, r;
        EXPECT_EQ(f.locate(l, r), c.found);
    }
}

TEST(LocateIt8Frame, LeftEdgeNeedsFourPixelsBeforeIt) {
    for (int left : {3, 4}) {
        SCOPED_TRACE(left);
        Image img(200, 120);
        img.outline(left, 10, left + 150, 110);
        OpenImage f(img);
        EdgeTrace l, r;
        EXPECT_EQ(f.locate(l, r), left == 4);
    }
}

TEST(LocateIt8Frame, RightEdgeNeedsFourPixelsAfterIt) {
    for (int right : {196, 195}) {
        SCOPED_TRACE(right);
        Image img(200, 120);
        img.outline(right - 150, 10, right, 110);
        OpenImage f(img);
        EdgeTrace l, r;
        EXPECT_EQ(f.locate(l, r), right == 195);
    }
}

TEST(LocateIt8Frame, EdgesNineApartAreRejectedTenApartTraced) {
    // 9 wide and 6 high, or 10 wide and 7 high: both of a plausible ratio.
    for (int apart : {9, 10}) {
        SCOPED_TRACE(apart);
        Image img(40, 24);
        img.outline(10, 8, 10 + apart, 8 + (apart == 9 ? 6 : 7), 1);
        OpenImage f(img);
        EdgeTrace l, r;
        EXPECT_EQ(f.locate(l, r), apart == 10);
    }
}

TEST(LocateIt8Frame, EdgesFoundTheWrongWayRoundAreRejected) {
    // On a light ground: a line with medium pixels only on its right (found
    // as the right edge) left of a line with medium pixels only on its left
    // (found as the left edge). Traced, they would pass as a mirrored frame.
    Image img(200, 100, 200);
    img.fill(50, 10, 51, 76, kDark);
    img.fill(52, 10, 54, 76, kMedium);
    img.fill(147, 10, 149, 76, kMedium);
    img.fill(150, 10, 151, 76, kDark);
    OpenImage f(img);
    EdgeTrace l, r;
    EXPECT_FALSE(f.locate(l, r));
    // The same lines the right way round are a frame.
    Image upright(200, 100, 200);
    upright.fill(47, 10, 49, 76, kMedium);
    upright.fill(50, 10, 51, 76, kDark);
    upright.fill(150, 10, 151, 76, kDark);
    upright.fill(152, 10, 154, 76, kMedium);
    OpenImage g(upright);
    EXPECT_TRUE(g.locate(l, r));
}

TEST(LocateIt8Frame, StripeAtHalfHeightSendsItToTheQuarterRow) {
    Image img(200, 160);
    img.outline(20, 20, 170, 120);
    img.fill(0, 80, 199, 80, 220);  // row height / 2 holds no dark pixel
    OpenImage f(img);
    EdgeTrace l, r;
    ASSERT_TRUE(f.locate(l, r));
    // Traced from row 40 across the one-row gap to the top.
    expectEdge(l, 20, 20, 20, 120);
}

TEST(TraceFrameEdges, OneRowGapIsBridgedTwoRowsEndTheEdges) {
    Image img(200, 140);
    img.outline(20, 10, 170, 110);
    img.fill(0, 70, 199, 70, 220);  // a one-row gap in both edges
    img.fill(0, 90, 199, 91, 220);  // a two-row gap in both edges
    OpenImage f(img);
    EdgeTrace l{20, 50, 20, 50}, r{170, 50, 170, 50};
    qel::TraceFrameEdges(f.file.get(), f.width, f.height, l, r);
    expectEdge(l, 20, 10, 20, 89);
    expectEdge(r, 170, 10, 170, 89);
}

TEST(TraceFrameEdges, EdgeThatLosesItsLineStaysEndedWhileTheOtherGoesOn) {
    Image img(200, 140);
    img.outline(20, 10, 170, 110);
    img.fill(20, 80, 21, 82, kMedium);  // three rows missing in the left edge only
    OpenImage f(img);
    EdgeTrace l{20, 50, 20, 50}, r{170, 50, 170, 50};
    qel::TraceFrameEdges(f.file.get(), f.width, f.height, l, r);
    EXPECT_EQ(l.y1, 79);
    EXPECT_EQ(r.y1, 110);
}

TEST(TraceFrameEdges, NearestDarkPixelWinsTiesGoInwards) {
    // Left edge at x = 50 on row 20; row 21 has dark pixels at 49 and 51 only.
    Image img(120, 40);
    img.set(50, 20, kDark, kDark, kDark);
    img.set(49, 21, kDark, kDark, kDark);
    img.set(51, 21, kDark, kDark, kDark);
    img.set(54, 22, kDark, kDark, kDark);  // the reach forwards is 4
    img.set(90, 20, kDark, kDark, kDark);
    img.set(89, 21, kDark, kDark, kDark);
    img.set(91, 21, kDark, kDark, kDark);
    img.set(91, 19, kDark, kDark, kDark);  // the reach backwards is 2
    img.set(93, 18, kDark, kDark, kDark);
    OpenImage f(img);
    EdgeTrace l{50, 20, 50, 20}, r{90, 20, 90, 20};
    qel::TraceFrameEdges(f.file.get(), f.width, f.height, l, r);
    expectEdge(l, 50, 20, 55 - 1, 22);
    expectEdge(r, 93, 18, 89, 21);
}

TEST(TraceFrameEdges, TracesStayInsideTheRow) {
    // Edges at the very sides of the image: the reach would leave the row.
    Image img(30, 20, kDark);
    OpenImage f(img);
    EdgeTrace l{0, 10, 0, 10}, r{29, 10, 29, 10};
    qel::TraceFrameEdges(f.file.get(), f.width, f.height, l, r);
    expectEdge(l, 0, 0, 0, 19);
    expectEdge(r, 29, 0, 29, 19);
}

// ---------------------------------------------------------------------------
// The frame check.

EdgeTrace edge(int x0, int y0, int x1, int y1) { return EdgeTrace{x0, y0, x1, y1}; }

TEST(It8FrameIsPlausible, RatioBoundsAreExclusive) {
    const EdgeTrace left = edge(0, 0, 0, 100);
    EXPECT_FALSE(qel::It8FrameIsPlausible(left, edge(130, 0, 130, 100)));
    EXPECT_TRUE(qel::It8FrameIsPlausible(left, edge(131, 0, 131, 100)));
    EXPECT_TRUE(qel::It8FrameIsPlausible(left, edge(150, 0, 150, 100)));
    EXPECT_TRUE(qel::It8FrameIsPlausible(left, edge(169, 0, 169, 100)));
    EXPECT_FALSE(qel::It8FrameIsPlausible(left, edge(170, 0, 170, 100)));
}

TEST(It8FrameIsPlausible, EdgeLengthsMayDifferByThirtyPixels) {
    const EdgeTrace left = edge(0, 0, 0, 100);
    EXPECT_TRUE(qel::It8FrameIsPlausible(left, edge(150, 0, 150, 130)));
    EXPECT_TRUE(qel::It8FrameIsPlausible(left, edge(150, 0, 150, 70)));
    EXPECT_FALSE(qel::It8FrameIsPlausible(left, edge(150, 0, 150, 131)));
    EXPECT_FALSE(qel::It8FrameIsPlausible(left, edge(150, 0, 150, 69)));
}

TEST(It8FrameIsPlausible, LeftEdgeAndStartSideNearlyPerpendicular) {
    // Cosine 9 / |(9, 100)| = 0.0896 passes; 11 / |(11, 121)| = 0.0905 fails.
    EXPECT_TRUE(qel::It8FrameIsPlausible(edge(0, 0, 9, 100), edge(150, 0, 159, 100)));
    EXPECT_TRUE(qel::It8FrameIsPlausible(edge(0, 0, -9, 100), edge(150, 0, 141, 100)));
    EXPECT_FALSE(qel::It8FrameIsPlausible(edge(0, 0, 11, 121), edge(180, 0, 191, 121)));
    EXPECT_FALSE(qel::It8FrameIsPlausible(edge(0, 0, -11, 121), edge(180, 0, 169, 121)));
}

TEST(It8FrameIsPlausible, ZeroLengthEdgeOrSideFails) {
    EXPECT_FALSE(qel::It8FrameIsPlausible(edge(5, 5, 5, 5), edge(5, 5, 5, 5)));
    EXPECT_FALSE(qel::It8FrameIsPlausible(edge(0, 0, 0, 100), edge(0, 0, 0, 100)));
}

// ---------------------------------------------------------------------------
// Sampling one cell.

// A frame of 720 x 480 pixels: end points at file row 580, start points at
// row 100: cell size 30, so the half-window is 10.
struct SamplingFrame : ::testing::Test {
    EdgeTrace left = edge(100, 100, 100, 580);
    EdgeTrace right = edge(820, 100, 820, 580);
};

TEST_F(SamplingFrame, CellSizeThirtyGivesWindowsOf21By21) {
    // R carries x - 100, G carries y - 500: the means locate the window.
    Image img(900, 600);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            img.set(x, y, std::uint8_t((x - 100) & 255), std::uint8_t((y - 500) & 255), 7);
    OpenImage f(img);
    fillTable(-1);
    const qel::PatchSample s = qel::SamplePatch(f.file.get(), left, right, f.width, f.height, 1, 1);
    EXPECT_EQ(s.count, 441);
    // Origin (115, 565); cell (1, 1) centred at (145, 535).
    EXPECT_EQ(s.r, 45);
    EXPECT_EQ(s.g, 35);
    EXPECT_EQ(s.b, 7);
    EXPECT_EQ(cellOf(1, 1), (std::array<std::int32_t, 3>{45, 35, 7}));
    EXPECT_EQ(cellOf(1, 2)[0], -1);
}

TEST_F(SamplingFrame, WindowIsClippedToTheImage) {
    Image img(900, 600, 50);
    OpenImage f(img);
    // Moved so that cell (1, 1) is centred at x = 5, y = 595: 16 columns
    // and 15 rows of its 21 x 21 window lie inside.
    const EdgeTrace l = edge(-40, 160, -40, 640), r = edge(680, 160, 680, 640);
    const qel::PatchSample s = qel::SamplePatch(f.file.get(), l, r, f.width, f.height, 1, 1);
    EXPECT_EQ(s.count, 16 * 15);
    EXPECT_EQ(s.r, 50);
}

// ---------------------------------------------------------------------------
// Files that are not what the reader takes.

class BrokenFile : public ::testing::Test {
protected:
    TempDir dir;
    int read(const std::vector<std::uint8_t>& bytes) {
        const std::string path = dir.file("broken.tga");
        testsupport::writeFile(path, bytes);
        return qel::ReadIt8TargetImage(path.c_str());
    }
    // A good scan of the virtual target, the base of the broken ones.
    std::vector<std::uint8_t> goodScan() {
        it8sim::TargetOptions o;
        o.dpi = 100;
        const auto refs = it8sim::makeIt8Reference();
        return imaging::encodeTarga(
            it8sim::renderIt8TargetRgb(refs, it8sim::responsePreset(it8sim::ResponsePreset::Mild), o));
    }
};

TEST_F(BrokenFile, MissingFileOrNoPath) {
    EXPECT_EQ(qel::ReadIt8TargetImage(dir.file("absent.tga").c_str()), 1);
    EXPECT_EQ(qel::ReadIt8TargetImage(nullptr), 1);
}

TEST_F(BrokenFile, GoodScanIsReadSoTheOthersFailForTheirFault) { EXPECT_EQ(read(goodScan()), 0); }

TEST_F(BrokenFile, TruncatedHeader) {
    std::vector<std::uint8_t> bytes = goodScan();
    bytes.resize(10);
    EXPECT_EQ(read(bytes), 1);
    EXPECT_EQ(read({}), 1);
}

TEST_F(BrokenFile, TruncatedPixels) {
    std::vector<std::uint8_t> bytes = goodScan();
    bytes.pop_back();
    EXPECT_EQ(read(bytes), 1);
}

TEST_F(BrokenFile, WrongTypeDepthOrColourMap) {
    const std::vector<std::uint8_t> good = goodScan();
    struct Change {
        std::size_t offset;
        std::uint8_t value;
    };
    // Run-length true colour, grey scale, 32 and 16 bits, a colour map, an ID field.
    for (Change c : {Change{2, 10}, Change{2, 3}, Change{16, 32}, Change{16, 16}, Change{1, 1}, Change{0, 4}}) {
        SCOPED_TRACE(c.offset);
        std::vector<std::uint8_t> bytes = good;
        bytes[c.offset] = c.value;
        EXPECT_EQ(read(bytes), 1);
    }
}

TEST_F(BrokenFile, ZeroWidthOrHeight) {
    for (std::size_t offset : {12u, 14u}) {
        std::vector<std::uint8_t> bytes = goodScan();
        bytes[offset] = bytes[offset + 1] = 0;
        EXPECT_EQ(read(bytes), 1);
    }
}

TEST_F(BrokenFile, HugeDeclaredSizeOverTinyFileAllocatesNothing) {
    const qel::TargaImageFile h = qel::TargaImageFile::make(65535, 65535);
    std::vector<std::uint8_t> bytes(sizeof h + 300, kMedium);
    std::memcpy(bytes.data(), &h, sizeof h);
    const std::uint64_t before = pfdAllocationCount();
    EXPECT_EQ(read(bytes), 1);
    EXPECT_EQ(pfdAllocationCount(), before);
}

// Small images of dark, medium and light specks and lines: edges, traces
// and windows land anywhere, often at the image's borders. Every read must
// stay inside the file and the buffers (the sanitizer build checks), and the
// reader answers 0 or 1 with everything released.
TEST_F(BrokenFile, RandomSpeckledImagesAreHandledSafely) {
    std::uint32_t state = 12345;
    auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int round = 0; round < 150; ++round) {
        const int w = 8 + int(next() % 90), h = 2 + int(next() % 70);
        Image img(w, h, kMedium);
        for (int i = 0, n = int(next() % 400); i < n; ++i) {
            const std::uint8_t v = next() % 3 == 0 ? 200 : kDark;
            img.set(int(next() % w), int(next() % h), v, v, v);
        }
        // A frame-like outline somewhere, often clipped or lopsided.
        const int x0 = int(next() % w) - 4, y0 = int(next() % h) - 4;
        const int x1 = x0 + 10 + int(next() % 60), y1 = y0 + 6 + int(next() % 40);
        for (int y = std::max(0, y0); y <= std::min(h - 1, y1); ++y)
            for (int x = std::max(0, x0); x <= std::min(w - 1, x1); ++x)
                if (x == x0 || x == x1 || y == y0 || y == y1) img.set(x, y, kDark, kDark, kDark);
        const int r = read(img.file());
        ASSERT_TRUE(r == 0 || r == 1);
    }
}

TEST(SamplePatch, AnyTracesGiveWindowsInsideTheImage) {
    Image img(60, 40, 90);
    OpenImage f(img);
    std::uint32_t state = 99;
    auto coordinate = [&] {
        state = state * 1664525u + 1013904223u;
        const int v = int(state >> 16) % 4000 - 2000;
        return state % 7 == 0 ? v * 1000000 : v;  // now and then far out
    };
    for (int i = 0; i < 2000; ++i) {
        const EdgeTrace l = edge(coordinate(), coordinate(), coordinate(), coordinate());
        const EdgeTrace r = edge(coordinate(), coordinate(), coordinate(), coordinate());
        const qel::PatchSample s = qel::SamplePatch(f.file.get(), l, r, f.width, f.height, i % 16, i % 24);
        ASSERT_GE(s.count, 0);
        ASSERT_LE(s.count, f.width * f.height);
        if (s.count > 0) {
            ASSERT_EQ(s.r, 90);
        } else {
            ASSERT_EQ(s.r, 0);
        }
    }
}

TEST(TargaImageFile, HeaderFieldsAreLittleEndianAtTheirOffsets) {
    const qel::TargaImageFile h = qel::TargaImageFile::make(0x1234, 0xABCD);
    std::uint8_t bytes[18];
    std::memcpy(bytes, &h, sizeof bytes);
    const std::uint8_t expected[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x34, 0x12, 0xCD, 0xAB, 24, 0};
    EXPECT_EQ(std::memcmp(bytes, expected, 18), 0);
    EXPECT_EQ(h.width(), 0x1234);
    EXPECT_EQ(h.height(), 0xABCD);
    EXPECT_TRUE(h.isUncompressedTrueColour24());
    EXPECT_EQ(qel::targaPixelOffset(65535, 65534, 65534), 18 + (65535LL * 65534 + 65534) * 3);
}

}  // namespace
