// The virtual target's two files as the engine reads them: the reference
// data file through the IT8.7/2 reader, the scan through the target image
// reader, both agreeing patch for patch in the reference patch index.
#include <gtest/gtest.h>

#include "engine_state.h"
#include "imaging/targa.h"
#include "it8_reference.h"
#include "it8_target/virtual_it8.h"
#include "it8_target_image.h"
#include "platform/raii.hpp"
#include "qel_cms.h"
#include "support/temp_dir.h"

namespace {

TEST(VirtualTargetFiles, ReferenceFileGivesEveryUsedPatchItsValues) {
    testsupport::TempDir dir;
    const it8sim::It8ReferenceSet refs = it8sim::makeIt8Reference();
    const std::string path = dir.file("reference.txt");
    ASSERT_TRUE(it8sim::writeIt8ReferenceFile(path, refs));
    qel::It8Reference reference{};
    ASSERT_EQ(qel::ReadIt8Reference(&reference, path.c_str()), QEL_SCANNER_OK);
    for (int row = 1; row <= 12; ++row)
        for (int col = 1; col <= 22; ++col) {
            const int index = qel::ChromaticPatchIndex(row, col);
            if (index < 0) continue;
            const it8sim::Xyz& c = refs.colour[row - 1][col - 1];
            EXPECT_EQ(reference.entry[index][0], static_cast<float>(c.x)) << row << "," << col;
            EXPECT_EQ(reference.entry[index][1], static_cast<float>(c.y));
            EXPECT_EQ(reference.entry[index][2], static_cast<float>(c.z));
        }
    for (int n = 1; n <= 22; ++n) {
        const int index = qel::GreyPatchIndex(n);
        EXPECT_EQ(reference.entry[index][1], static_cast<float>(refs.grey[n].y)) << n;
    }
}

TEST(VirtualTargetFiles, ScanGivesTheTrueColourOfEachReferencePatch) {
    testsupport::TempDir dir;
    const it8sim::It8ReferenceSet refs = it8sim::makeIt8Reference();
    const it8sim::ScannerResponse response = it8sim::responsePreset(it8sim::ResponsePreset::Crosstalk);
    it8sim::TargetOptions options;
    options.dpi = 120;
    const std::string path = dir.file("scan.tga");
    ASSERT_TRUE(imaging::writeTarga(path, it8sim::renderIt8TargetRgb(refs, response, options)));
    ASSERT_EQ(qel::ReadIt8TargetImage(path.c_str()), 0);
    // The reader's table in the order the characterisation takes it.
    for (int index = 0; index < qel::kReferencePatches; ++index) {
        int row, col;
        it8sim::Xyz xyz;
        if (index < qel::kChromaticPatches) {
            row = 1 + index / 9;
            col = qel::kUsedColumns[index % 9];
            xyz = refs.colour[row - 1][col - 1];
        } else {
            row = qel::kGreyScaleCellRow;
            col = index - 107;
            xyz = refs.grey[col];
        }
        const it8sim::Rgb8 truth = it8sim::trueScannerRgb(xyz, response);
        const auto& cell = qel::g_engine.targetPatches.cell[row][col];
        EXPECT_EQ(cell[0], truth.r) << index;
        EXPECT_EQ(cell[1], truth.g) << index;
        EXPECT_EQ(cell[2], truth.b) << index;
    }
}

}  // namespace
