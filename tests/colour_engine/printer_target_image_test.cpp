// The printer chart locator: run and box rules of the mark tables, the two
// checks, the passes with their rising threshold, windows and sampling, and
// the files it refuses. Images are drawn here: the chart as the chart writer
// lays it out, and variations of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine_state.h"
#include "platform/desktop_posix.h"
#include "printer_target_image.h"
#include "support/temp_dir.h"

namespace {

using qel::ChartStatus;
using qel::MarkBox;

// A 24-bit image in file order, pixels blue, green, red.
struct Image {
    int width = 0, height = 0;
    std::vector<std::uint8_t> bgr;

    Image(int w, int h, std::uint8_t grey = 255) : width(w), height(h), bgr(static_cast<std::size_t>(w) * h * 3, grey) {}
    void set(int x, int y, int r, int g, int b) {
        std::uint8_t* p = &bgr[(static_cast<std::size_t>(y) * width + x) * 3];
        p[0] = static_cast<std::uint8_t>(b);
        p[1] = static_cast<std::uint8_t>(g);
        p[2] = static_cast<std::uint8_t>(r);
    }
    void fill(int x0, int y0, int x1, int y1, int r, int g, int b) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) set(x, y, r, g, b);
    }
    std::vector<std::uint8_t> file() const {
        std::vector<std::uint8_t> out(18 + bgr.size(), 0);
        out[2] = 2;
        out[12] = static_cast<std::uint8_t>(width);
        out[13] = static_cast<std::uint8_t>(width >> 8);
        out[14] = static_cast<std::uint8_t>(height);
        out[15] = static_cast<std::uint8_t>(height >> 8);
        out[16] = 24;
        std::copy(bgr.begin(), bgr.end(), out.begin() + 18);
        return out;
    }
};

constexpr int kLevels[8] = {0, 36, 73, 109, 146, 182, 219, 255};

struct Rgb {
    int r, g, b;
};
Rgb patchColour(int p) { return {kLevels[p / 64], kLevels[(p / 8) % 8], kLevels[p % 8]}; }

// The printer chart: 17 x 35 cells of 16 x 10 pixels with 5-pixel white
// gaps; cell row 0 and cell column 0 (rows 3..34) black, rows 1..2 white,
// the 512 patches in rows 3..34, columns 1..16. markGrey: the grey of the
// marks (0 in the chart as written).
Image chartImage(int markGrey = 0) {
    Image im(352, 520);
    for (int r = 0; r < 35; ++r) {
        for (int c = 0; c < 17; ++c) {
            Rgb colour{255, 255, 255};
            if (r == 0 || (c == 0 && r >= 3)) {
                colour = {markGrey, markGrey, markGrey};
            } else if (r >= 3) {
                colour = patchColour((r - 3) * 16 + (c - 1));
            }
            im.fill(21 * c, 15 * r, 21 * c + 15, 15 * r + 9, colour.r, colour.g, colour.b);
        }
    }
    return im;
}

class ChartLocator : public testing::Test {
protected:
    std::string write(const Image& im, const std::string& name = "chart.tga") {
        const std::string path = dir_.file(name);
        testsupport::writeFile(path, im.file());
        return path;
    }
    static int count(const qel::MarkTableRef& t) { return qel::MarkCount(t); }
    static const auto& state() { return qel::g_engine.printerAnalysis; }
    testsupport::TempDir dir_;
};

TEST_F(ChartLocator, ChartReadBackIsFoundInTheFirstPassAndSampledExactly) {
    ASSERT_EQ(qel::ReadPrinterTargetImage(write(chartImage()).c_str()), ChartStatus::Found);
    EXPECT_EQ(state().passesRun, 1);
    EXPECT_EQ(state().lastThreshold, 38);
    ASSERT_EQ(count(qel::topMarkTable()), 17);
    for (int k = 0; k < 17; ++k) {
        const MarkBox& b = state().topMarks[k];
        EXPECT_EQ(b.x0, 21 * k);
        EXPECT_EQ(b.x1, 21 * k + 15);
        EXPECT_EQ(b.y0, 0);
        EXPECT_EQ(b.y1, 9);
    }
    // The 8 dark patches (channels all 0 or 36) were collected with the side
    // marks and dropped by the alignment test.
    ASSERT_EQ(count(qel::sideMarkTable()), 32);
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(state().sideMarks[i].x0, 0);
        EXPECT_EQ(state().sideMarks[i].y0, 15 * (i + 3));
    }
    for (int i = 0; i < 32; ++i) {
        for (int j = 0; j < 16; ++j) {
            const MarkBox& w = state().patchWindows[i][j];
            EXPECT_EQ(w.x1 - w.x0 + 1, 11);
            EXPECT_EQ(w.y1 - w.y0 + 1, 7);
            const auto& e = state().patchTable[i][j];
            const Rgb want = patchColour(16 * i + j);
            ASSERT_EQ(e.count, 77) << i << "," << j;
            ASSERT_EQ(e.r, want.r) << i << "," << j;
            ASSERT_EQ(e.g, want.g) << i << "," << j;
            ASSERT_EQ(e.b, want.b) << i << "," << j;
        }
    }
}

TEST_F(ChartLocator, PaleMarksAreFoundOnlyWithTheRaisedThreshold) {
    // Marks at 45 and no patch darker than 60: the first pass sees nothing.
    Image im = chartImage(45);
    for (int r = 3; r < 35; ++r) {
        for (int c = 1; c < 17; ++c) {
            Rgb p = patchColour((r - 3) * 16 + (c - 1));
            auto lift = [](int v) { return v < 60 ? 60 : v; };
            im.fill(21 * c, 15 * r, 21 * c + 15, 15 * r + 9, lift(p.r), lift(p.g), lift(p.b));
        }
    }
    const std::string path = write(im);
    qel::ChartSearchOptions onePass;
    onePass.maxPasses = 1;
    EXPECT_EQ(qel::ReadPrinterTargetImage(path.c_str(), onePass), ChartStatus::FewSideBoxes);
    ASSERT_EQ(qel::ReadPrinterTargetImage(path.c_str()), ChartStatus::Found);
    EXPECT_EQ(state().passesRun, 2);
    EXPECT_EQ(state().lastThreshold, 48);
    EXPECT_EQ(state().patchTable[0][0].r, 60);
    EXPECT_EQ(state().patchTable[31][15].b, 255);
}

TEST_F(ChartLocator, TwoTopMarksRunTogetherFailEveryPass) {
    Image im = chartImage();
    im.fill(21 * 5 + 16, 0, 21 * 6 - 1, 9, 0, 0, 0);  // the gap between marks 5 and 6
    EXPECT_EQ(qel::ReadPrinterTargetImage(write(im).c_str()), ChartStatus::UnreadableOrFewTopMarks);
    EXPECT_EQ(state().passesRun, 10);
    EXPECT_EQ(state().lastThreshold, 128);
    EXPECT_EQ(count(qel::topMarkTable()), 16);
    // Side boxes are collected only after a good top row.
    EXPECT_EQ(count(qel::sideMarkTable()), 0);
}

TEST_F(ChartLocator, EighteenTopMarksGiveTwo) {
    Image im(400, 60);
    for (int k = 0; k < 18; ++k) im.fill(21 * k, 0, 21 * k + 15, 9, 0, 0, 0);
    EXPECT_EQ(qel::ReadPrinterTargetImage(write(im).c_str()), ChartStatus::TooManyTopMarks);
}

TEST_F(ChartLocator, BandRuleOnFivePixelRows) {
    // Exactly 5 dark pixels in a row both start and end the band: the top
    // row is checked (1 box: code 1) rather than never (code 6).
    Image five(64, 20);
    five.fill(10, 0, 14, 0, 0, 0, 0);
    EXPECT_EQ(qel::ReadPrinterTargetImage(write(five, "five.tga").c_str()), ChartStatus::UnreadableOrFewTopMarks);
    Image four(64, 20);
    four.fill(10, 0, 13, 0, 0, 0, 0);
    EXPECT_EQ(qel::ReadPrinterTargetImage(write(four, "four.tga").c_str()), ChartStatus::FewSideBoxes);
    // Dark pixels in runs of one open no box but count for the band: the
    // top check finds the table empty.
    Image singles(64, 20);
    for (int k = 0; k < 6; ++k) singles.set(2 + 3 * k, 0, 0, 0, 0);
    EXPECT_EQ(qel::ReadPrinterTargetImage(write(singles, "singles.tga").c_str()), ChartStatus::NoTopBox);
}

TEST_F(ChartLocator, ChartNotFoundLeavesThePatchTable) {
    ASSERT_EQ(qel::ReadPrinterTargetImage(write(chartImage()).c_str()), ChartStatus::Found);
    qel::PrinterPatchEntry before[32][16];
    std::memcpy(before, state().patchTable, sizeof before);
    EXPECT_NE(qel::ReadPrinterTargetImage(write(Image(352, 520), "blank.tga").c_str()), ChartStatus::Found);
    EXPECT_EQ(std::memcmp(before, state().patchTable, sizeof before), 0);
}

TEST_F(ChartLocator, TiltedChartPassesTheAlignmentTest) {
    // The chart drawn 0.6 degrees off square, three times its size: the
    // side marks stay perpendicular to the bar, the dark patches do not.
    const double s = 0.0105;  // sine of the tilt
    const Image chart = chartImage();
    Image im(352 * 3 + 40, 520 * 3 + 40);
    for (int y = 0; y < im.height; ++y) {
        for (int x = 0; x < im.width; ++x) {
            const double u = ((x - 20) * 1.0 + (y - 20) * s) / 3.0;
            const double v = ((y - 20) * 1.0 - (x - 20) * s) / 3.0;
            const int cx = static_cast<int>(u + 100) - 100, cy = static_cast<int>(v + 100) - 100;
            if (cx < 0 || cy < 0 || cx >= 352 || cy >= 520) continue;
            const std::uint8_t* p = &chart.bgr[(static_cast<std::size_t>(cy) * 352 + cx) * 3];
            im.set(x, y, p[2], p[1], p[0]);
        }
    }
    ASSERT_EQ(qel::ReadPrinterTargetImage(write(im).c_str()), ChartStatus::Found);
    EXPECT_EQ(state().passesRun, 1);
    for (int p : {0, 7, 100, 300, 511}) {
        const Rgb want = patchColour(p);
        const auto& e = state().patchTable[p / 16][p % 16];
        EXPECT_EQ(e.r, want.r) << p;
        EXPECT_EQ(e.g, want.g) << p;
        EXPECT_EQ(e.b, want.b) << p;
    }
}

TEST_F(ChartLocator, RefusesFilesItCannotReadWhole) {
    EXPECT_EQ(qel::ReadPrinterTargetImage(dir_.file("missing.tga").c_str()), ChartStatus::UnreadableOrFewTopMarks);
    EXPECT_EQ(qel::ReadPrinterTargetImage(nullptr), ChartStatus::UnreadableOrFewTopMarks);

    const std::vector<std::uint8_t> good = chartImage().file();
    auto refused = [&](std::vector<std::uint8_t> bytes, const char* what) {
        const std::string path = dir_.file("broken.tga");
        testsupport::writeFile(path, bytes);
        EXPECT_EQ(qel::ReadPrinterTargetImage(path.c_str()), ChartStatus::UnreadableOrFewTopMarks) << what;
    };
    refused({good.begin(), good.begin() + 10}, "short header");
    refused({good.begin(), good.end() - 1}, "one byte of pixels missing");
    auto rle = good;
    rle[2] = 10;
    refused(rle, "run-length coded");
    auto deep = good;
    deep[16] = 32;
    refused(deep, "32 bits per pixel");
    auto narrow = good;
    narrow[12] = narrow[13] = 0;
    refused(narrow, "width 0");
    auto huge = std::vector<std::uint8_t>(good.begin(), good.begin() + 1000);
    huge[12] = huge[13] = huge[14] = huge[15] = 0xff;
    const std::uint64_t allocations = pfdAllocationCount();
    refused(huge, "65535 x 65535 declared over 1000 bytes");
    EXPECT_EQ(pfdAllocationCount(), allocations);
}

TEST_F(ChartLocator, RowBufferAllocationFailureIsReported) {
    const std::string path = write(chartImage());
    pfdFailAllocationAfter(1);
    EXPECT_EQ(qel::ReadPrinterTargetImage(path.c_str()), ChartStatus::NoMemory);
}

TEST_F(ChartLocator, WindowOutsideTheImageSamplesNothing) {
    // Top marks up to the right edge and a side column that leans 16 pixels
    // to the right, far enough below to pass the alignment test: the last
    // patch column's windows fall outside the image.
    Image im(352, 900 + 32 * 15);
    for (int k = 0; k < 17; ++k) im.fill(21 * k, 0, 21 * k + 15, 9, 0, 0, 0);
    for (int i = 0; i < 32; ++i) im.fill(16, 900 + 15 * i, 31, 909 + 15 * i, 0, 0, 0);
    ASSERT_EQ(qel::ReadPrinterTargetImage(write(im).c_str()), ChartStatus::Found);
    const auto& t = state().patchTable;
    EXPECT_EQ(t[0][15].count, 0);
    EXPECT_EQ(t[0][15].r, 0);
    EXPECT_EQ(t[0][14].count, 77);
    EXPECT_EQ(t[0][14].r, 255);
    EXPECT_EQ(t[0][0].count, 77);
}

// ---- The mark tables -------------------------------------------------------

class MarkTables : public testing::Test {
protected:
    void SetUp() override {
        qel::ClearMarkTable(qel::g_engine.printerAnalysis.topMarks, qel::kTopMarkEntries);
        qel::ClearMarkTable(qel::g_engine.printerAnalysis.sideMarks, qel::kSideMarkEntries);
    }
    static const MarkBox& top(int k) { return qel::g_engine.printerAnalysis.topMarks[k]; }
    static const MarkBox& side(int k) { return qel::g_engine.printerAnalysis.sideMarks[k]; }
    static int topCount() { return qel::MarkCount(qel::topMarkTable()); }
    static int sideCount() { return qel::MarkCount(qel::sideMarkTable()); }
};

TEST_F(MarkTables, SpeckOpensNoBoxButExtendsOne) {
    for (int y = 0; y < 3; ++y) {
        qel::AddTopRun(qel::topMarkTable(), 10, 12, y);
        qel::AddSideRun(qel::sideMarkTable(), 10, 12, y);
    }
    EXPECT_EQ(topCount(), 0);
    EXPECT_EQ(sideCount(), 0);
    qel::AddTopRun(qel::topMarkTable(), 10, 14, 5);  // five pixels open a box
    qel::AddTopRun(qel::topMarkTable(), 16, 18, 6);  // a speck 2 pixels off extends it
    ASSERT_EQ(topCount(), 1);
    EXPECT_EQ(top(0).x1, 18);
    EXPECT_EQ(top(0).y1, 6);
    qel::AddTopRun(qel::topMarkTable(), 22, 24, 6);  // 4 pixels off: dropped
    EXPECT_EQ(topCount(), 1);
    EXPECT_EQ(top(0).x1, 18);
}

TEST_F(MarkTables, TopBoxesStayInLeftToRightOrderAndBridgedBoxesMerge) {
    qel::AddTopRun(qel::topMarkTable(), 100, 110, 0);
    qel::AddTopRun(qel::topMarkTable(), 10, 20, 0);
    qel::AddTopRun(qel::topMarkTable(), 50, 60, 0);
    ASSERT_EQ(topCount(), 3);
    EXPECT_EQ(top(0).x0, 10);
    EXPECT_EQ(top(1).x0, 50);
    EXPECT_EQ(top(2).x0, 100);
    EXPECT_EQ(top(3).x0, qel::kMarkEnd);
    // A run spanning the first two joins them into one box.
    qel::AddTopRun(qel::topMarkTable(), 15, 55, 1);
    ASSERT_EQ(topCount(), 2);
    EXPECT_EQ(top(0).x0, 10);
    EXPECT_EQ(top(0).x1, 60);
    EXPECT_EQ(top(0).y0, 0);
    EXPECT_EQ(top(0).y1, 1);
    EXPECT_EQ(top(1).x0, 100);
    // A run three rows below the box's last row opens a new box.
    qel::AddTopRun(qel::topMarkTable(), 10, 60, 4);
    EXPECT_EQ(topCount(), 3);
}

TEST_F(MarkTables, SideRunsAppendAndGrowBothWays) {
    qel::AddSideRun(qel::sideMarkTable(), 50, 60, 10);
    qel::AddSideRun(qel::sideMarkTable(), 10, 20, 10);  // appended, not sorted
    EXPECT_EQ(side(0).x0, 50);
    EXPECT_EQ(side(1).x0, 10);
    qel::AddSideRun(qel::sideMarkTable(), 48, 58, 8);  // above the box's last row
    EXPECT_EQ(side(0).y0, 8);
    EXPECT_EQ(side(0).y1, 10);
    EXPECT_EQ(side(0).x0, 48);
}

TEST_F(MarkTables, TablesNeverGrowPastTheirLimits) {
    // Far more separate marks than either table can hold.
    for (int k = 0; k < 250; ++k) qel::AddTopRun(qel::topMarkTable(), 10 * k, 10 * k + 5, 0);
    EXPECT_EQ(topCount(), qel::kTopMarkSearchLimit);
    EXPECT_EQ(top(qel::kTopMarkSearchLimit).x0, qel::kMarkEnd);
    EXPECT_EQ(top(qel::kTopMarkEntries - 1).x0, qel::kMarkEnd);
    EXPECT_EQ(top(qel::kTopMarkSearchLimit - 1).x0, 10 * (qel::kTopMarkSearchLimit - 1));
    for (int k = 0; k < 500; ++k) qel::AddSideRun(qel::sideMarkTable(), 10 * k, 10 * k + 5, 0);
    EXPECT_EQ(sideCount(), qel::kSideMarkSearchLimit);
    EXPECT_EQ(side(qel::kSideMarkEntries - 1).x0, qel::kMarkEnd);
    // A run that touches a held box still extends it.
    qel::AddSideRun(qel::sideMarkTable(), 7, 8, 1);
    EXPECT_EQ(side(0).y1, 1);
}

TEST_F(MarkTables, TopCheckMergesOverlapsAndFiltersSmallBoxes) {
    EXPECT_EQ(qel::CheckTopMarks(qel::topMarkTable()), ChartStatus::NoTopBox);
    for (int k = 0; k < 17; ++k) {
        for (int y = 0; y < 10; ++y) qel::AddTopRun(qel::topMarkTable(), 21 * k, 21 * k + 15, y);
    }
    // A sliver too low to be a mark.
    qel::AddTopRun(qel::topMarkTable(), 400, 420, 0);
    ASSERT_EQ(topCount(), 18);
    EXPECT_EQ(qel::CheckTopMarks(qel::topMarkTable()), ChartStatus::Found);
    EXPECT_EQ(topCount(), 17);
    // An overlapping box in the table is merged by the check, not counted.
    auto& t = qel::g_engine.printerAnalysis.topMarks;
    std::memmove(&t[2], &t[1], sizeof(MarkBox) * 17);
    t[1] = MarkBox{3, 2, 12, 8};  // inside mark 0
    EXPECT_EQ(topCount(), 18);
    EXPECT_EQ(qel::CheckTopMarks(qel::topMarkTable()), ChartStatus::Found);
}

TEST_F(MarkTables, SideCheckKeepsOnlyBoxesBelowTheCornerMark) {
    for (int k = 0; k < 17; ++k) {
        for (int y = 0; y < 10; ++y) qel::AddTopRun(qel::topMarkTable(), 21 * k, 21 * k + 15, y);
    }
    EXPECT_EQ(qel::CheckSideMarks(qel::sideMarkTable(), qel::topMarkTable()), ChartStatus::FewSideBoxes);
    auto addBox = [](int x, int y) {
        for (int r = 0; r < 10; ++r) qel::AddSideRun(qel::sideMarkTable(), x, x + 15, y + r);
    };
    for (int i = 0; i < 31; ++i) addBox(0, 45 + 15 * i);
    addBox(21, 45);  // a dark patch beside the first side mark
    EXPECT_EQ(qel::CheckSideMarks(qel::sideMarkTable(), qel::topMarkTable()), ChartStatus::FewSideMarks);
    EXPECT_EQ(sideCount(), 31);
    addBox(0, 45 + 15 * 31);
    EXPECT_EQ(qel::CheckSideMarks(qel::sideMarkTable(), qel::topMarkTable()), ChartStatus::Found);
    addBox(0, 45 + 15 * 32);
    EXPECT_EQ(qel::CheckSideMarks(qel::sideMarkTable(), qel::topMarkTable()), ChartStatus::ManySideMarks);
}

TEST_F(MarkTables, SideCheckDropsOnlyBoxesSmallBothWays) {
    for (int k = 0; k < 17; ++k) {
        for (int y = 0; y < 10; ++y) qel::AddTopRun(qel::topMarkTable(), 21 * k, 21 * k + 15, y);
    }
    for (int i = 0; i < 32; ++i) {
        for (int r = 0; r < 10; ++r) qel::AddSideRun(qel::sideMarkTable(), 0, 15, 45 + 15 * i + r);
    }
    // A narrow but tall stroke under the side column is a mark-sized box in
    // one direction: it stays, and makes one side mark too many.
    for (int y = 530; y < 570; ++y) qel::AddSideRun(qel::sideMarkTable(), 5, 9, y);
    // A speck-sized box (narrow and low) is dropped.
    for (int y = 600; y < 602; ++y) qel::AddSideRun(qel::sideMarkTable(), 4, 9, y);
    ASSERT_EQ(sideCount(), 34);
    EXPECT_EQ(qel::CheckSideMarks(qel::sideMarkTable(), qel::topMarkTable()), ChartStatus::ManySideMarks);
    EXPECT_EQ(sideCount(), 33);
}

TEST_F(MarkTables, ChartSideColumnHoldsFortyBoxesBeforeTheAlignmentTest) {
    // The chart's rows below the top band, through the side table as the
    // first pass sees them (dark: every channel at most 38).
    const Image chart = chartImage();
    for (int y = 0; y < 10; ++y)
        for (int k = 0; k < 17; ++k) qel::AddTopRun(qel::topMarkTable(), 21 * k, 21 * k + 15, y);
    for (int y = 45; y < chart.height; ++y) {
        int x = 0;
        while (x < chart.width) {
            auto dark = [&](int px) {
                const std::uint8_t* p = &chart.bgr[(static_cast<std::size_t>(y) * chart.width + px) * 3];
                return p[0] <= 38 && p[1] <= 38 && p[2] <= 38;
            };
            if (!dark(x)) {
                ++x;
                continue;
            }
            const int a = x;
            while (x < chart.width && dark(x)) ++x;
            qel::AddSideRun(qel::sideMarkTable(), a, x - 1, y);
        }
    }
    EXPECT_EQ(sideCount(), 40);
    EXPECT_EQ(qel::CheckSideMarks(qel::sideMarkTable(), qel::topMarkTable()), ChartStatus::Found);
    EXPECT_EQ(sideCount(), 32);
}

TEST_F(MarkTables, WindowsReachingOutsideTheImageAreClipped) {
    for (int k = 0; k < 17; ++k) {
        for (int y = 0; y < 10; ++y) qel::AddTopRun(qel::topMarkTable(), 21 * k, 21 * k + 15, y);
    }
    for (int i = 0; i < 32; ++i) {
        for (int r = 0; r < 10; ++r) qel::AddSideRun(qel::sideMarkTable(), 0, 15, 45 + 15 * i + r);
    }
    // An image narrower and lower than the chart the marks describe.
    qel::ComputePrinterPatchWindows(qel::topMarkTable(), qel::sideMarkTable(), 200, 300);
    const auto& w = qel::g_engine.printerAnalysis.patchWindows;
    for (int i = 0; i < 32; ++i) {
        for (int j = 0; j < 16; ++j) {
            EXPECT_GE(w[i][j].x0, 0);
            EXPECT_LE(w[i][j].x1, 199);
            EXPECT_LE(w[i][j].y1, 299);
        }
    }
    EXPECT_EQ(w[0][8].x1, 199);       // centre 196: cut at the right edge
    EXPECT_EQ(w[0][8].x0, 191);
    EXPECT_GT(w[0][15].x0, w[0][15].x1);  // wholly outside: empty
    EXPECT_GT(w[31][0].y0, w[31][0].y1);
}

}  // namespace
