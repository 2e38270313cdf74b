// ScannerIT8Analysis end to end on virtual IT8.7/2 target scans: the model,
// the progress reports, every status code and the freeing of the working
// records on each path.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "colour_math.h"
#include "engine_state.h"
#include "imaging/targa.h"
#include "it8_target/virtual_it8.h"
#include "it8_target_image.h"
#include "platform/desktop_posix.h"
#include "qel_cms.h"
#include "scanner_model.h"
#include "support/temp_dir.h"

namespace {

namespace sm = qel::scanner_model;

std::vector<int> g_reports;
int32_t QEL_STDCALL recordReport(ProgressRecord* record, int32_t total) {
    EXPECT_EQ(total, 100);
    g_reports.push_back(record->count);
    return 0;
}

class ScannerAnalysis : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new testsupport::TempDir();
        refs_ = new it8sim::It8ReferenceSet(it8sim::makeIt8Reference());
        it8sim::TargetOptions options;
        options.dpi = 100;
        auto response = it8sim::responsePreset(it8sim::ResponsePreset::Mild);
        response.noiseSigma = 1.0;
        ASSERT_TRUE(imaging::writeTarga(image(), it8sim::renderIt8TargetRgb(*refs_, response, options)));
        ASSERT_TRUE(it8sim::writeIt8ReferenceFile(reference(), *refs_));
    }
    static void TearDownTestSuite() {
        delete refs_;
        delete dir_;
    }
    void SetUp() override {
        model_.assign(sm::kFloats, -1.0f);
        g_reports.clear();
    }
    static std::string image() { return dir_->file("target.tga"); }
    static std::string reference() { return dir_->file("reference.txt"); }
    int run(int useFile, const std::string& imagePath, const char* referencePath, bool report = true) {
        size_ = -5;
        return ScannerIT8Analysis(useFile, imagePath.c_str(), model_.data(), &size_, referencePath,
                                  report ? &record_ : nullptr, report ? recordReport : nullptr);
    }
    static std::vector<int> fullProgress() {
        std::vector<int> p{0, 5, 15};
        for (int i = 20; i <= 100; i += 5) p.push_back(i);
        return p;
    }

    static testsupport::TempDir* dir_;
    static it8sim::It8ReferenceSet* refs_;
    std::vector<float> model_;
    int32_t size_ = -5;
    ProgressRecord record_{0x1234u, 0, 0};
};
testsupport::TempDir* ScannerAnalysis::dir_ = nullptr;
it8sim::It8ReferenceSet* ScannerAnalysis::refs_ = nullptr;

// CIE76 between the model's prediction for each sampled patch and its
// reference, both in CIELAB against the D50 white.
double meanPatchError(const std::vector<float>& model, const it8sim::It8ReferenceSet& refs) {
    double total = 0;
    int n = 0;
    auto predict = [&](const int* rgb, const it8sim::Xyz& ref) {
        const double r = model[rgb[0]], g = model[256 + rgb[1]], b = model[512 + rgb[2]];
        const double t[9] = {r, g, b, r * r, g * g, b * b, r * g, g * b, r * b};
        double xyz[3] = {0, 0, 0};
        for (int m = 0; m < 3; ++m)
            for (int i = 0; i < 9; ++i) xyz[m] += model[sm::kPolynomial + 9 * m + i] * t[i];
        float a[3], e[3];
        qel::XyzToLab(96.42, 100, 82.49, xyz[0], xyz[1], xyz[2], a);
        qel::XyzToLab(96.42, 100, 82.49, ref.x, ref.y, ref.z, e);
        total += std::sqrt((a[0] - e[0]) * (a[0] - e[0]) + (a[1] - e[1]) * (a[1] - e[1]) + (a[2] - e[2]) * (a[2] - e[2]));
        ++n;
    };
    const auto& cells = qel::g_engine.targetPatches.cell;
    for (int row = 1; row <= 12; ++row)
        for (int col : qel::kUsedColumns) predict(cells[row][col], refs.colour[row - 1][col - 1]);
    for (int g = 1; g <= 22; ++g) predict(cells[qel::kGreyScaleCellRow][g], refs.grey[g]);
    return total / n;
}

TEST_F(ScannerAnalysis, FitsAModelFromTheReferenceFile) {
    ASSERT_EQ(run(1, image(), reference().c_str()), QEL_SCANNER_OK);
    EXPECT_EQ(size_, QEL_MODEL_SIZE);
    EXPECT_EQ(g_reports, fullProgress());
    EXPECT_EQ(record_.window, 0x1234u);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(model_[256 * c + 255], 1.0f);
        for (int v = 0; v < 256; ++v) ASSERT_GE(model_[256 * c + v], 0.0f);
    }
    for (float v : model_) ASSERT_TRUE(std::isfinite(v));
    for (int i = sm::kGrid; i < sm::kFloats; i += 3) {
        ASSERT_GE(model_[i], 0.0f);
        ASSERT_LE(model_[i], 100.0f);
    }
    // The linear matrix (raw levels, so only roughly) follows the grey scale.
    const float* lin = model_.data() + sm::kLinearMatrix;
    double previous = 1e9;
    for (int g = 1; g <= 22; ++g) {
        const auto& cell = qel::g_engine.targetPatches.cell[qel::kGreyScaleCellRow][g];
        const double y = lin[4] + lin[5] * cell[0] + lin[6] * cell[1] + lin[7] * cell[2];
        EXPECT_LT(y, previous) << g;
        EXPECT_NEAR(y, refs_->grey[g].y / qel::kTargetWhite[1], 0.2) << g;
        previous = y;
    }
    // The polynomial reproduces the patches it was fitted to.
    EXPECT_LT(meanPatchError(model_, *refs_), 3.0);
    // Black node is dark, white node light and neutral.
    EXPECT_LT(model_[sm::gridIndex(0, 0, 0)], 10.0f);
    EXPECT_GT(model_[sm::gridIndex(16, 16, 16)], 90.0f);
    EXPECT_LT(std::fabs(model_[sm::gridIndex(16, 16, 16) + 1]), 5.0f);
}

TEST_F(ScannerAnalysis, SameInputsGiveTheSameModel) {
    ASSERT_EQ(run(1, image(), reference().c_str()), QEL_SCANNER_OK);
    const std::vector<float> first = model_;
    model_.assign(sm::kFloats, 3.0f);
    ASSERT_EQ(run(1, image(), reference().c_str()), QEL_SCANNER_OK);
    EXPECT_EQ(std::memcmp(first.data(), model_.data(), first.size() * sizeof(float)), 0);
}

TEST_F(ScannerAnalysis, BuiltInTableNeverOpensThePath) {
    ASSERT_EQ(run(0, image(), nullptr), QEL_SCANNER_OK);
    EXPECT_EQ(size_, QEL_MODEL_SIZE);
    const std::vector<float> builtIn = model_;
    // A path that names no file, and one that names a file that is no
    // reference: neither is looked at.
    ASSERT_EQ(run(0, image(), dir_->file("missing.txt").c_str()), QEL_SCANNER_OK);
    EXPECT_EQ(builtIn, model_);
    ASSERT_EQ(run(0, image(), image().c_str()), QEL_SCANNER_OK);
    EXPECT_EQ(builtIn, model_);
    // The built-in values are not the virtual target's: the model differs.
    ASSERT_EQ(run(1, image(), reference().c_str()), QEL_SCANNER_OK);
    EXPECT_NE(builtIn, model_);
}

TEST_F(ScannerAnalysis, UnreadableImage) {
    EXPECT_EQ(run(1, dir_->file("none.tga"), reference().c_str()), QEL_SCANNER_IMAGE_UNREADABLE);
    EXPECT_EQ(size_, -5);
    EXPECT_EQ(g_reports, (std::vector<int>{0, 5}));
    EXPECT_EQ(ScannerIT8Analysis(0, nullptr, model_.data(), &size_, nullptr, nullptr, nullptr),
              QEL_SCANNER_IMAGE_UNREADABLE);
    testsupport::writeText(dir_->file("blank.tga"), std::string(18, '\0'));
    EXPECT_EQ(run(0, dir_->file("blank.tga"), nullptr), QEL_SCANNER_IMAGE_UNREADABLE);
}

TEST_F(ScannerAnalysis, EachWorkingRecordFailingGivesTwo) {
    const uint64_t before = pfdAllocationCount();
    ASSERT_EQ(run(1, image(), reference().c_str()), QEL_SCANNER_OK);
    const uint64_t perCall = pfdAllocationCount() - before;
    ASSERT_GE(perCall, 2u);
    // The two records are the last two allocations of a call.
    for (uint64_t n : {perCall - 1, perCall}) {
        g_reports.clear();
        pfdFailAllocationAfter(static_cast<uint32_t>(n));
        EXPECT_EQ(run(1, image(), reference().c_str()), QEL_SCANNER_NO_MEMORY) << n;
        pfdFailAllocationAfter(0);
        EXPECT_EQ(size_, -5);
        EXPECT_EQ(g_reports, (std::vector<int>{0, 5, 15}));
        EXPECT_EQ(pfdLiveGlobalBlocks(), 0u);
    }
}

TEST_F(ScannerAnalysis, ReferenceFileProblemsAreReturnedAsTheyCome) {
    EXPECT_EQ(run(1, image(), dir_->file("missing.txt").c_str()), QEL_SCANNER_REFERENCE_UNOPENED);
    EXPECT_EQ(size_, -5);
    EXPECT_EQ(run(1, image(), nullptr), QEL_SCANNER_REFERENCE_UNOPENED);
    testsupport::writeText(dir_->file("cgats.txt"), "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID XYZ_X XYZ_Y XYZ_Z\n");
    EXPECT_EQ(run(1, image(), dir_->file("cgats.txt").c_str()), QEL_SCANNER_REFERENCE_INVALID);
    EXPECT_EQ(size_, -5);
    EXPECT_EQ(pfdOpenFiles(), 0u);
    EXPECT_EQ(pfdLiveGlobalBlocks(), 0u);
}

TEST_F(ScannerAnalysis, EscapeCancelsWithFiveAndFreesTheRecords) {
    PfWindow host = pfdCreateWindow("host");
    pfdSetFocus(host);
    pfdPostKeyDown(host, 27);
    EXPECT_EQ(run(1, image(), reference().c_str()), QEL_SCANNER_CANCELLED);
    EXPECT_EQ(size_, -5);
    EXPECT_EQ(g_reports, (std::vector<int>{0, 5, 15, 20}));
    EXPECT_EQ(pfdLiveGlobalBlocks(), 0u);
    EXPECT_EQ(model_[sm::gridIndex(0, 0, 0)], -1.0f);  // the grid was not begun
    // A key that is not Escape is dropped and the job goes on.
    pfdPostKeyDown(host, 'Q');
    EXPECT_EQ(run(1, image(), reference().c_str()), QEL_SCANNER_OK);
    EXPECT_EQ(pfdQueuedMessages(host), 0u);
}

TEST_F(ScannerAnalysis, GreyScaleWithoutAToneCurveGivesSix) {
    it8sim::It8ReferenceSet dark = *refs_;
    for (auto& g : dark.grey) g.y = 0;
    ASSERT_TRUE(it8sim::writeIt8ReferenceFile(dir_->file("dark.txt"), dark));
    EXPECT_EQ(run(1, image(), dir_->file("dark.txt").c_str()), QEL_SCANNER_FIT_FAILED);
    EXPECT_EQ(size_, -5);
    EXPECT_EQ(pfdLiveGlobalBlocks(), 0u);
}

TEST_F(ScannerAnalysis, NoProgressWithoutRecordOrCallback) {
    ASSERT_EQ(run(1, image(), reference().c_str(), false), QEL_SCANNER_OK);
    EXPECT_TRUE(g_reports.empty());
    record_.count = 77;
    size_ = 0;
    EXPECT_EQ(ScannerIT8Analysis(1, image().c_str(), model_.data(), &size_, reference().c_str(), &record_, nullptr),
              QEL_SCANNER_OK);
    EXPECT_EQ(record_.count, 77);
    EXPECT_EQ(ScannerIT8Analysis(1, image().c_str(), model_.data(), &size_, reference().c_str(), nullptr,
                                 recordReport),
              QEL_SCANNER_OK);
    EXPECT_TRUE(g_reports.empty());
    EXPECT_EQ(size_, QEL_MODEL_SIZE);
}

TEST_F(ScannerAnalysis, StopExecutionDoesNotStopTheAnalysis) {
    EXPECT_EQ(StopExecution(), 0);
    EXPECT_EQ(run(1, image(), reference().c_str()), QEL_SCANNER_OK);
    EXPECT_EQ(DonePercentage(), 0.0f);
    qel::g_engine.progress = qel::ProgressCounters{};
}

}  // namespace
