// The corpus of broken input files (tests/data/bad_input, listed with their
// expected status in expected.txt) through the engine exports that read
// them, and the broken inputs too large to keep as files: 10 MB lines in a
// reference file, and an image of the widest rows a header can declare.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/targa.h"
#include "it8_target/virtual_it8.h"
#include "qel_cms.h"
#include "support/temp_dir.h"
#include "synthetic_model.h"

namespace fs = std::filesystem;

namespace {

const fs::path kCorpus = fs::path(__FILE__).parent_path().parent_path() / "data" / "bad_input";

struct CorpusCase {
    std::string file;
    std::string reader;
    std::int32_t status;
};

std::vector<CorpusCase> corpusCases() {
    std::vector<CorpusCase> cases;
    std::ifstream in(kCorpus / "expected.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        CorpusCase c;
        if (words >> c.file >> c.reader >> c.status) cases.push_back(c);
    }
    return cases;
}

class BadInput : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new testsupport::TempDir;
        const it8sim::It8ReferenceSet refs = it8sim::makeIt8Reference();
        it8sim::TargetOptions options;
        options.dpi = 100;
        ASSERT_TRUE(imaging::writeTarga(
            dir_->file("scan.tga"),
            it8sim::renderIt8TargetRgb(refs, it8sim::responsePreset(it8sim::ResponsePreset::Mild), options)));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    std::int32_t read(const std::string& reader, const std::string& path) {
        size_ = -5;
        if (reader == "reference") {
            return ScannerIT8Analysis(1, dir_->file("scan.tga").c_str(), model_.data(), &size_, path.c_str(), nullptr,
                                      nullptr);
        }
        if (reader == "image") {
            return ScannerIT8Analysis(0, path.c_str(), model_.data(), &size_, nullptr, nullptr, nullptr);
        }
        std::vector<std::uint8_t> block(QEL_LUT_BLOCK_SIZE);
        const std::vector<float> model = testsupport::syntheticModel();
        return PrinterTargetAnalysis(path.c_str(), block.data(), &size_, model.data(), 0, nullptr, nullptr);
    }

    static testsupport::TempDir* dir_;
    std::vector<float> model_ = std::vector<float>(QEL_MODEL_FLOATS);
    std::int32_t size_ = -5;
};

testsupport::TempDir* BadInput::dir_ = nullptr;

TEST_F(BadInput, EveryCorpusFileGivesItsStatus) {
    const auto cases = corpusCases();
    ASSERT_GE(cases.size(), 30u) << "corpus list not found at " << kCorpus;
    for (const CorpusCase& c : cases) {
        SCOPED_TRACE(c.file + " as " + c.reader);
        ASSERT_TRUE(fs::exists(kCorpus / c.file));
        EXPECT_EQ(read(c.reader, (kCorpus / c.file).string()), c.status);
        if (c.status != 0) {
            EXPECT_EQ(size_, -5) << "size reported for a failed call";
        } else {
            EXPECT_EQ(size_, c.reader == "chart" ? QEL_LUT_BLOCK_SIZE : QEL_MODEL_SIZE);
        }
    }
}

TEST_F(BadInput, TenMegabyteLines) {
    const auto goodBytes = testsupport::readFile((kCorpus / "ref-good.txt").string());
    const std::string good(goodBytes.begin(), goodBytes.end());
    // A 10 MB line before the data: split into 200-character lines, none of
    // which is a patch; the file stays acceptable.
    const std::string filler(10u << 20, 'x');
    const std::size_t data = good.find("BEGIN_DATA\n");
    ASSERT_NE(data, std::string::npos);
    testsupport::writeText(dir_->file("long-comment.txt"), good.substr(0, data) + filler + "\n" + good.substr(data));
    EXPECT_EQ(read("reference", dir_->file("long-comment.txt")), QEL_SCANNER_OK);

    // A 10 MB data line in place of the first patch: the patch is lost.
    const std::size_t first = good.find("A1 ");
    const std::size_t end = good.find('\n', first);
    testsupport::writeText(dir_->file("long-data.txt"),
                           good.substr(0, first) + "A1 " + filler + good.substr(end));
    EXPECT_EQ(read("reference", dir_->file("long-data.txt")), QEL_SCANNER_REFERENCE_INVALID);

    // The widest rows a header can declare (65535 pixels), two of them, all
    // white: no target; no chart (the last pass finds no side boxes).
    std::vector<std::uint8_t> tga(18, 0);
    tga[2] = 2;
    tga[16] = 24;
    std::vector<std::uint8_t> wide = tga;
    wide[12] = 0xFF;
    wide[13] = 0xFF;  // 65535 pixels: the most a header can say
    wide[14] = 2;
    wide.resize(18 + 3u * 65535u * 2u, 0xFF);
    testsupport::writeFile(dir_->file("wide.tga"), wide);
    EXPECT_EQ(read("image", dir_->file("wide.tga")), QEL_SCANNER_IMAGE_UNREADABLE);
    EXPECT_EQ(read("chart", dir_->file("wide.tga")), QEL_PRINTER_FEW_SIDE_BOXES);
}

}  // namespace
