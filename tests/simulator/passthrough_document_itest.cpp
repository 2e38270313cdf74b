// What lies on the glass of the simulated scanner: the virtual IT8.7/2 target
// by default, found and sampled by the engine's target reader after a scan
// with correct shading, and any Targa document, placed in inches.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine_state.h"
#include "it8_target/virtual_it8.h"
#include "it8_target_image.h"
#include "passthrough_session.h"

using namespace ptharness;

namespace {

const unsigned kReference[3] = {2000, 1900, 2100};

// A full scan of the reflective window with correct shading and identity tones.
std::vector<std::vector<std::uint8_t>> calibratedScan(PassThrough& pt) {
    Session s(pt);
    EXPECT_EQ(s.doInquiry(), 0u);
    EXPECT_EQ(s.setWindow(WindowRequest{}), 0u);
    EXPECT_EQ(s.calibrate(kReference).status, 0u);
    std::vector<std::uint8_t> identity(256);
    for (int i = 0; i < 256; ++i) identity[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(s.sendGamma(256, identity), 0u);
    std::vector<std::vector<std::uint8_t>> lines;
    EXPECT_TRUE(s.scanLines(&lines));
    return lines;
}

// The scanned lines as the drivers store them: first scanned line in the
// last file row, blue, green, red.
void writeScanAsTarga(const std::string& path, const std::vector<std::vector<std::uint8_t>>& lines,
                      unsigned pixels) {
    writeTargaDocument(path, pixels, static_cast<unsigned>(lines.size()), [&](unsigned x, unsigned y) {
        return std::array<std::uint8_t, 3>{lines[y][3 * x], lines[y][3 * x + 1], lines[y][3 * x + 2]};
    });
}

}  // namespace

TEST(PassThroughDocument, DefaultTargetIsFoundAndSampledByTheEngine) {
    PassThrough pt(sim::Dialect::Scan, "not_ready_polls = 0\n");
    ASSERT_TRUE(pt.load());
    const auto lines = calibratedScan(pt);
    ASSERT_EQ(lines.size(), 742u);
    const std::string file = pt.folder() + "/scan.tga";
    writeScanAsTarga(file, lines, 1015);
    ASSERT_EQ(qel::ReadIt8TargetImage(file.c_str()), 0);
    // Every sampled patch is the colour the target carries through its true
    // scanner response: the simulated sensor chain adds nothing once shaded.
    const it8sim::It8ReferenceSet refs = it8sim::makeIt8Reference();
    const it8sim::ScannerResponse response = it8sim::responsePreset(it8sim::ResponsePreset::Mild);
    int compared = 0;
    for (int row : {1, 6, 12, 14}) {
        for (int column : {1, 11, 22}) {
            const auto xyz = it8sim::cellReference(refs, row, column);
            ASSERT_TRUE(xyz.has_value());
            const it8sim::Rgb8 truth = it8sim::trueScannerRgb(*xyz, response);
            const auto& cell = qel::g_engine.targetPatches.cell[row][column];
            EXPECT_NEAR(cell[0], truth.r, 2) << row << "," << column;
            EXPECT_NEAR(cell[1], truth.g, 2) << row << "," << column;
            EXPECT_NEAR(cell[2], truth.b, 2) << row << "," << column;
            ++compared;
        }
    }
    EXPECT_EQ(compared, 12);
}

TEST(PassThroughDocument, TargaDocumentIsScannedWhereItLiesOnTheBed) {
    PassThrough pt(sim::Dialect::Scan, "");
    // 150 dpi document of 4 x 2 blocks of 100 x 100 pixels, each its own
    // colour, its top-left corner at 1 in, 0.5 in on the bed.
    const unsigned width = 400, height = 200;
    auto colour = [](unsigned x, unsigned y) {
        const unsigned block = y / 100 * 4 + x / 100;
        return std::array<std::uint8_t, 3>{static_cast<std::uint8_t>(20 + 25 * block),
                                           static_cast<std::uint8_t>(230 - 20 * block),
                                           static_cast<std::uint8_t>(block % 2 ? 60 : 180)};
    };
    writeTargaDocument(pt.folder() + "/blocks.tga", width, height, colour);
    pt.setScenario(
        "document = blocks.tga\ndocument_dpi = 150\ndocument_left = 1.0\ndocument_top = 0.5\n"
        "background = 10 20 30\nlines = 120\nnot_ready_polls = 0\n");
    ASSERT_TRUE(pt.load());
    const auto lines = calibratedScan(pt);
    ASSERT_EQ(lines.size(), 120u);
    // The window starts 518 / 600 in from the bed's left edge: pixel i is
    // centred at 518 / 4 + i + 0.5 in 1/150 in, so document column 0 is pixel
    // 20 and document line 0 is scan line 75.
    auto at = [&](unsigned line, unsigned pixel, int c) { return static_cast<int>(lines[line][3 * pixel + c]); };
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(at(70, 500, c), 10 * (c + 1), 1) << "lid above the document";
        EXPECT_NEAR(at(76, 20 + 399, c), colour(399, 1)[c], 1);  // the document's top-right pixel
        EXPECT_NEAR(at(80, 10, c), 10 * (c + 1), 1) << "lid left of the document";
        EXPECT_NEAR(at(100, 15, c), 10 * (c + 1), 1);
        EXPECT_NEAR(at(80, 20 + 50, c), colour(50, 5)[c], 1);     // block 0
        EXPECT_NEAR(at(80, 20 + 350, c), colour(350, 5)[c], 1);   // block 3
        EXPECT_NEAR(at(119, 20 + 150, c), colour(150, 44)[c], 1); // block 1
    }
}
