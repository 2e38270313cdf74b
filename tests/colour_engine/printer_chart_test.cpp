// CreatTargetImage: the chart file's size, header and pixels, repeatability,
// and the removal of a chart whose writing came up short.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/desktop_posix.h"
#include "printer_chart.h"
#include "qel_cms.h"
#include "support/temp_dir.h"

namespace {

constexpr int kWidth = 352;
constexpr int kHeight = 520;
constexpr std::size_t kFileBytes = 549138;
constexpr std::uint8_t kLevels[8] = {0, 36, 73, 109, 146, 182, 219, 255};

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

class PrinterChart : public testing::Test {
protected:
    testsupport::TempDir dir;
    std::string path = dir.file("chart.tga");

    std::vector<std::uint8_t> writeChart() {
        EXPECT_EQ(CreatTargetImage(path.c_str()), QEL_CHART_OK);
        return testsupport::readFile(path);
    }
    static Rgb pixel(const std::vector<std::uint8_t>& file, int x, int y) {
        const std::size_t o = 18 + (static_cast<std::size_t>(y) * kWidth + x) * 3;
        return {file[o + 2], file[o + 1], file[o]};
    }
};

void PrintTo(const Rgb& c, std::ostream* os) { *os << "(" << c.r << ", " << c.g << ", " << c.b << ")"; }

TEST_F(PrinterChart, FileHasTheChartSizeAndTheTargaHeader) {
    const auto file = writeChart();
    ASSERT_EQ(file.size(), kFileBytes);
    const std::uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x60, 0x01, 0x08, 0x02, 24, 0};
    EXPECT_TRUE(std::equal(header, header + 18, file.begin()));
}

TEST_F(PrinterChart, MarksGapsAndFirstPatchesLieWhereTheLayoutPutsThem) {
    const auto file = writeChart();
    ASSERT_EQ(file.size(), kFileBytes);
    const Rgb black{0, 0, 0}, white{255, 255, 255};
    EXPECT_EQ(pixel(file, 0, 0), black);      // top mark
    EXPECT_EQ(pixel(file, 16, 0), white);     // gap column
    EXPECT_EQ(pixel(file, 0, 15), white);     // column 0, cell row 1
    EXPECT_EQ(pixel(file, 0, 45), black);     // first side mark
    EXPECT_EQ(pixel(file, 21, 45), black);    // patch 0
    EXPECT_EQ(pixel(file, 21 * 16, 45), (Rgb{0, 36, 255}));  // patch 15
    EXPECT_EQ(pixel(file, 21, 55), white);    // gap row below the first patch row
    EXPECT_EQ(pixel(file, 21 * 16 + 15, 519), white);       // patch 511
    EXPECT_EQ(pixel(file, 351, 0), black);    // last top mark ends the row
    EXPECT_EQ(pixel(file, 21 * 16 + 15, 9), black);
    EXPECT_EQ(pixel(file, 21 * 16 + 15, 10), white);
}

TEST_F(PrinterChart, EveryPatchCellHoldsItsLevelsBlueFastest) {
    const auto file = writeChart();
    ASSERT_EQ(file.size(), kFileBytes);
    for (int p = 0; p < 512; ++p) {
        const Rgb want{kLevels[p / 64], kLevels[(p / 8) % 8], kLevels[p % 8]};
        const int x0 = 21 * (p % 16 + 1), y0 = 15 * (p / 16 + 3);
        for (int y = y0; y < y0 + 10; ++y)
            for (int x = x0; x < x0 + 16; ++x) ASSERT_EQ(pixel(file, x, y), want) << "patch " << p;
    }
    // The last file row lies in the last cell row: patches 496 to 511.
    for (int c = 1; c <= 16; ++c) {
        const int p = 496 + c - 1;
        EXPECT_EQ(pixel(file, 21 * c + 7, 519), (Rgb{kLevels[p / 64], kLevels[(p / 8) % 8], kLevels[p % 8]}));
    }
}

TEST_F(PrinterChart, GapsAreWhiteAndMarksBlackEverywhere) {
    const auto file = writeChart();
    ASSERT_EQ(file.size(), kFileBytes);
    int gaps = 0, marks = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const bool gap = y % 15 >= 10 || x % 21 >= 16;
            const int row = y / 15, column = x / 21;
            const Rgb c = pixel(file, x, y);
            if (gap || (row >= 1 && row <= 2)) {
                ASSERT_EQ(c, (Rgb{255, 255, 255})) << x << "," << y;
                gaps += gap;
            } else if (row == 0 || column == 0) {
                ASSERT_EQ(c, (Rgb{0, 0, 0})) << x << "," << y;
                ++marks;
            }
        }
    EXPECT_EQ(marks, (17 + 32) * 160);
    EXPECT_EQ(gaps, kWidth * kHeight - 17 * 35 * 160);
}

TEST_F(PrinterChart, WritingTwiceOverwritesWithIdenticalContent) {
    testsupport::writeFile(path, std::vector<std::uint8_t>(kFileBytes + 5000, 0x11));
    const auto first = writeChart();
    const auto second = writeChart();
    EXPECT_EQ(first.size(), kFileBytes);
    EXPECT_EQ(first, second);
}

TEST_F(PrinterChart, FileThatCannotBeCreatedGivesOne) {
    EXPECT_EQ(CreatTargetImage(dir.file("missing/folder/chart.tga").c_str()), QEL_CHART_WRITE_FAILED);
    EXPECT_EQ(CreatTargetImage(nullptr), QEL_CHART_WRITE_FAILED);
}

TEST_F(PrinterChart, ShortWriteRemovesThePartialFileAndGivesOne) {
    // Header, first row, a middle row, the last row.
    for (std::uint32_t failing : {1u, 2u, 260u, 521u}) {
        pfdFailWriteAfter(failing);
        EXPECT_EQ(CreatTargetImage(path.c_str()), QEL_CHART_WRITE_FAILED) << failing;
        EXPECT_FALSE(std::filesystem::exists(path)) << failing;
        EXPECT_EQ(pfdOpenFiles(), 0u);
        pfdFailWriteAfter(0);
    }
    // One write per row after the header: the 522nd write is never made.
    pfdFailWriteAfter(522);
    EXPECT_EQ(CreatTargetImage(path.c_str()), QEL_CHART_OK);
    pfdFailWriteAfter(0);
    EXPECT_EQ(testsupport::readFile(path).size(), kFileBytes);
}

}  // namespace
