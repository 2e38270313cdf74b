// The scanner model's steps on synthetic records: grey ladder and its
// repairs, tone curves, the fits, the grid node with its chroma limit and
// gamut pull, Escape during the grid stage, and failed fits.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "colour_math.h"
#include "engine_state.h"
#include "it8_reference.h"
#include "platform/desktop_posix.h"
#include "scanner_model.h"

namespace {

using qel::GreyLadder;
using qel::PatchRecord;
namespace sm = qel::scanner_model;

// A scanner of gamma 2.2 per channel with slightly different gains, on the
// built-in reference values: every grey level rises from GS22 to GS1.
void syntheticRecords(PatchRecord& reference, PatchRecord& measured) {
    reference = PatchRecord{};
    measured = PatchRecord{};
    qel::LoadDefaultIt8Reference(&reference);
    const double gain[3] = {1.0, 0.97, 0.93};
    const double white[3] = {96.42, 100.0, 82.49};
    for (int p = 0; p < qel::kReferencePatches; ++p)
        for (int c = 0; c < 3; ++c) {
            const double v = 255.0 * gain[c] * std::pow(reference.entry[p][c] / white[c], 1 / 2.2);
            measured.entry[p][c] = static_cast<float>(std::floor(std::min(v, 255.0) + 0.5));
        }
}

// Whether entry k of channel c lies on the line through entries a and b in
// the plane of reference Y and level: the two slopes agree (float rounding
// of the repair aside).
testing::AssertionResult onLineThrough(const GreyLadder& l, int c, int a, int b, int k) {
    const double slopeAb = (l.level[c][b] - l.level[c][a]) / double(l.y[b] - l.y[a]);
    const double slopeBk = (l.level[c][k] - l.level[c][b]) / double(l.y[k] - l.y[b]);
    if (std::fabs(slopeAb - slopeBk) <= 1e-4 * std::fabs(slopeAb)) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "entry " << k << " of channel " << c << " (level " << l.level[c][k]
                                       << ") is off the line through " << a << " and " << b << ": slopes "
                                       << slopeAb << " and " << slopeBk;
}

class ScannerModelSteps : public testing::Test {
protected:
    void SetUp() override {
        syntheticRecords(reference_, measured_);
        model_.assign(sm::kFloats, 0.0f);
    }
    PatchRecord reference_{}, measured_{};
    std::vector<float> model_;
};

TEST_F(ScannerModelSteps, MeasuredRecordFollowsTheReferenceIndex) {
    qel::TargetPatchTable table;
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 24; ++c)
            for (int ch = 0; ch < 3; ++ch) table.cell[r][c][ch] = r * 1000 + c * 10 + ch;
    PatchRecord m{};
    qel::FillMeasuredRecord(table, &m);
    EXPECT_EQ(m.entry[0][0], 1010.0f);     // A1
    EXPECT_EQ(m.entry[3][1], 1051.0f);     // A5
    EXPECT_EQ(m.entry[8][2], 1112.0f);     // A11
    EXPECT_EQ(m.entry[57][0], 7050.0f);    // G5
    EXPECT_EQ(m.entry[107][0], 12110.0f);  // L11
    EXPECT_EQ(m.entry[108][0], 14010.0f);  // GS1
    EXPECT_EQ(m.entry[129][2], 14222.0f);  // GS22
    EXPECT_EQ(m.entry[130][0], 0.0f);
}

TEST_F(ScannerModelSteps, LadderRunsFromTheDarkestGreyUp) {
    const GreyLadder l = qel::MakeGreyLadder(reference_, measured_);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(l.level[c][0], measured_.entry[129][c]);
        EXPECT_EQ(l.level[c][21], measured_.entry[108][c]);
    }
    EXPECT_EQ(l.y[0], 0.66f);
    EXPECT_EQ(l.y[21], 74.08f);
    for (int k = 1; k < qel::kLadderSteps; ++k)
        for (int c = 0; c < 3; ++c) ASSERT_GT(l.level[c][k], l.level[c][k - 1]) << c << "," << k;
}

TEST_F(ScannerModelSteps, RisingLadderIsLeftAloneAndCurvesPassThroughTheGreys) {
    GreyLadder l = qel::MakeGreyLadder(reference_, measured_);
    const GreyLadder before = l;
    EXPECT_EQ(qel::LadderAnchor(l), 10);
    qel::RepairGreyLadder(l, 10);
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < qel::kLadderSteps; ++k) EXPECT_EQ(l.level[c][k], before.level[c][k]);

    ASSERT_TRUE(qel::BuildToneCurves(l, model_.data()));
    for (int c = 0; c < 3; ++c) {
        const float* curve = model_.data() + 256 * c;
        EXPECT_EQ(curve[255], 1.0f);
        // The unnormalised value at 255 extrapolates the last segment.
        const double C20 = l.level[c][20], C21 = l.level[c][21];
        // The unnormalised value at 255 extrapolates the last segment, up to
        // the white's Y + 10.
        const float top = static_cast<float>(
            std::min(((255 - C20) * l.y[21] + (C21 - 255) * l.y[20]) / (C21 - C20), 95.27));
        for (int k = 0; k < qel::kLadderSteps; ++k) {
            const int level = static_cast<int>(l.level[c][k]);
            EXPECT_EQ(curve[level], static_cast<float>(static_cast<double>(l.y[k]) / top)) << c << "," << k;
        }
        for (int v = 0; v < 256; ++v) EXPECT_GE(curve[v], 0.0f) << v;
        // Linear between two greys.
        const int lo = static_cast<int>(l.level[c][12]), hi = static_cast<int>(l.level[c][13]);
        ASSERT_GE(hi - lo, 2);
        const int mid = (lo + hi) / 2;
        const double expected = curve[lo] + (curve[hi] - curve[lo]) * (mid - lo) / double(hi - lo);
        EXPECT_NEAR(curve[mid], expected, 1e-6);
        for (int v = 1; v < 256; ++v) EXPECT_GE(curve[v], curve[v - 1]) << v;
    }
}

TEST_F(ScannerModelSteps, OneFallingStepIsRepairedByTheLineThroughItsNeighboursBelow) {
    GreyLadder l = qel::MakeGreyLadder(reference_, measured_);
    l.level[0][15] = l.level[0][14] - 3.0f;
    ASSERT_EQ(qel::LadderAnchor(l), 10);
    const GreyLadder before = l;
    qel::RepairGreyLadder(l, 10);
    // Above the anchor the repair continues the line of the two steps below.
    EXPECT_TRUE(onLineThrough(l, 0, 13, 14, 15));
    for (int k = 1; k < qel::kLadderSteps; ++k) EXPECT_GT(l.level[0][k], l.level[0][k - 1]) << k;
    for (int k = 0; k < qel::kLadderSteps; ++k) {
        if (k != 15) {
            EXPECT_EQ(l.level[0][k], before.level[0][k]) << k;
        }
        EXPECT_EQ(l.level[1][k], before.level[1][k]) << k;
        EXPECT_EQ(l.level[2][k], before.level[2][k]) << k;
    }
}

TEST_F(ScannerModelSteps, AnchorIsTheFirstRiseInAllChannelsFromTen) {
    GreyLadder l = qel::MakeGreyLadder(reference_, measured_);
    l.level[1][10] = l.level[1][9];   // channel 1 flat at 10
    l.level[2][11] = l.level[2][10];  // channel 2 flat at 11
    EXPECT_EQ(qel::LadderAnchor(l), 12);
}

TEST_F(ScannerModelSteps, WithoutAnAnchorTheDownwardRepairChecksEverythingBelowTwenty) {
    GreyLadder l = qel::MakeGreyLadder(reference_, measured_);
    for (int k = 9; k <= 19; ++k) l.level[1][k] = l.level[1][8];  // flat from 8 to 19
    ASSERT_EQ(qel::LadderAnchor(l), 20);
    const GreyLadder before = l;
    qel::RepairGreyLadder(l, 20);
    // Below the anchor each repaired entry continues, downwards, the line of
    // the two entries above it (already repaired, but for 19 and 20).
    for (int k = 18; k >= 9; --k) EXPECT_TRUE(onLineThrough(l, 1, k + 2, k + 1, k));
    for (int k = 1; k < qel::kLadderSteps; ++k) EXPECT_GT(l.level[1][k], l.level[1][k - 1]) << k;
    for (int k = 0; k < qel::kLadderSteps; ++k) {
        EXPECT_EQ(l.level[0][k], before.level[0][k]);
        EXPECT_EQ(l.level[2][k], before.level[2][k]);
    }
    // Entries from 19 up are never touched by the downward repair.
    EXPECT_EQ(l.level[1][19], before.level[1][19]);
    EXPECT_EQ(l.level[1][20], before.level[1][20]);
}

TEST_F(ScannerModelSteps, ToneSegments) {
    GreyLadder l = qel::MakeGreyLadder(reference_, measured_);
    const float* C = l.level[0];
    EXPECT_EQ(qel::ToneSegment(C, 0), 0);
    EXPECT_EQ(qel::ToneSegment(C, static_cast<int>(C[1]) - 1), 0);
    EXPECT_EQ(qel::ToneSegment(C, static_cast<int>(C[1])), 1);
    EXPECT_EQ(qel::ToneSegment(C, static_cast<int>(C[7]) + 1), 7);
    EXPECT_EQ(qel::ToneSegment(C, static_cast<int>(C[20]) - 1), 19);
    EXPECT_EQ(qel::ToneSegment(C, static_cast<int>(C[20])), 20);
    EXPECT_EQ(qel::ToneSegment(C, 255), 20);
    // A ladder that dips: 10 k, but entry 5 at 80. Level 60 lies in segment 4
    // (40 <= 60 < 80) and in segment 6 (60 <= 60 < 70): the last one wins.
    float dip[qel::kLadderSteps];
    for (int k = 0; k < qel::kLadderSteps; ++k) dip[k] = 10.0f * k;
    dip[5] = 80.0f;
    EXPECT_EQ(qel::ToneSegment(dip, 45), 4);
    EXPECT_EQ(qel::ToneSegment(dip, 60), 6);
    EXPECT_EQ(qel::ToneSegment(dip, 79), 7);
}

TEST_F(ScannerModelSteps, EqualNeighboursNeverDivideByZero) {
    // Clipped light end: GS1 and GS2 both at 255, with equal reference Y.
    // The upward repair gives C[21] = C[20]: the last segment has no width.
    GreyLadder l = qel::MakeGreyLadder(reference_, measured_);
    for (int c = 0; c < 3; ++c) l.level[c][20] = l.level[c][21] = 255.0f;
    l.y[21] = l.y[20];
    qel::RepairGreyLadder(l, qel::LadderAnchor(l));
    EXPECT_EQ(l.level[0][21], l.level[0][20]);
    ASSERT_TRUE(qel::BuildToneCurves(l, model_.data()));
    for (int i = 0; i < qel::scanner_model::kPolynomial; ++i) ASSERT_TRUE(std::isfinite(model_[i])) << i;
    EXPECT_EQ(model_[255], 1.0f);

    // Clipped dark end with equal Y: the first segment has no width, and the
    // levels below it take the darkest grey's Y.
    l = qel::MakeGreyLadder(reference_, measured_);
    for (int c = 0; c < 3; ++c) l.level[c][0] = l.level[c][1] = 5.0f;
    l.y[0] = l.y[1];
    qel::RepairGreyLadder(l, qel::LadderAnchor(l));
    EXPECT_EQ(l.level[0][0], l.level[0][1]);
    ASSERT_TRUE(qel::BuildToneCurves(l, model_.data()));
    for (int i = 0; i < qel::scanner_model::kPolynomial; ++i) ASSERT_TRUE(std::isfinite(model_[i])) << i;
    for (int c = 0; c < 3; ++c) {
        EXPECT_GT(model_[256 * c], 0.0f);
        EXPECT_EQ(model_[256 * c], model_[256 * c + 5]);
        EXPECT_EQ(model_[256 * c + 4], model_[256 * c + 5]);
    }

    // Equal reference Y below a falling entry: the line has no slope, the
    // entry goes one level above its neighbour.
    l = qel::MakeGreyLadder(reference_, measured_);
    l.y[14] = l.y[13];
    l.level[2][15] = l.level[2][14] - 1.0f;
    qel::RepairGreyLadder(l, 10);
    EXPECT_EQ(l.level[2][15], l.level[2][14] + 1.0f);
    // And below the anchor, one level below.
    l = qel::MakeGreyLadder(reference_, measured_);
    l.y[6] = l.y[5];
    l.level[1][4] = l.level[1][5] + 2.0f;
    qel::RepairGreyLadder(l, 10);
    EXPECT_EQ(l.level[1][4], l.level[1][5] - 1.0f);
    ASSERT_TRUE(qel::BuildToneCurves(l, model_.data()));
    for (int i = 0; i < qel::scanner_model::kPolynomial; ++i) ASSERT_TRUE(std::isfinite(model_[i])) << i;
}

TEST_F(ScannerModelSteps, CurvesAreClampedBeforeNormalising) {
    // A steep last segment would extrapolate far above the white's Y + 10.
    GreyLadder l = qel::MakeGreyLadder(reference_, measured_);
    for (int c = 0; c < 3; ++c) {
        l.level[c][20] = 200.0f;
        l.level[c][21] = 201.0f;
    }
    ASSERT_TRUE(qel::BuildToneCurves(l, model_.data()));
    // Everything from the clamp up is 1; level 201 is Y[21] / 95.27.
    EXPECT_EQ(model_[255], 1.0f);
    EXPECT_EQ(model_[230], 1.0f);
    EXPECT_EQ(model_[201], static_cast<float>(static_cast<double>(l.y[21]) / static_cast<float>(95.27)));
}

TEST_F(ScannerModelSteps, GreyScaleWithoutLightGivesNoCurve) {
    for (int n = 1; n <= 22; ++n) reference_.entry[qel::GreyPatchIndex(n)][1] = 0.0f;
    GreyLadder l = qel::MakeGreyLadder(reference_, measured_);
    qel::RepairGreyLadder(l, qel::LadderAnchor(l));
    EXPECT_FALSE(qel::BuildToneCurves(l, model_.data()));
    EXPECT_EQ(qel::FitScannerModel(reference_, measured_, model_.data(), nullptr, nullptr), qel::FitOutcome::Failed);
}

TEST_F(ScannerModelSteps, LinearMatrixIsTheLeastSquaresFitOverTheWhite) {
    ASSERT_EQ(qel::FitLinearScannerMatrix(reference_, measured_, model_.data()), 1);
    // The residuals are orthogonal to every regressor (1, c0, c1, c2).
    const float* m = model_.data() + sm::kLinearMatrix;
    for (int row = 0; row < 3; ++row)
        for (int j = 0; j < 4; ++j) {
            double dot = 0, scale = 0;
            for (int p = 0; p < qel::kReferencePatches; ++p) {
                const double v[4] = {1, measured_.entry[p][0], measured_.entry[p][1], measured_.entry[p][2]};
                const double target = reference_.entry[p][row] / qel::kTargetWhite[row];
                const double pred = m[4 * row] * v[0] + m[4 * row + 1] * v[1] + m[4 * row + 2] * v[2] +
                                    m[4 * row + 3] * v[3];
                dot += (pred - target) * v[j];
                scale += std::fabs(target * v[j]);
            }
            EXPECT_LT(std::fabs(dot), 1e-4 * scale) << row << "," << j;
        }
}

TEST_F(ScannerModelSteps, UniformPatchesMakeTheLinearFitSingular) {
    for (int p = 0; p < qel::kReferencePatches; ++p)
        for (int c = 0; c < 3; ++c) measured_.entry[p][c] = 100.0f;
    EXPECT_EQ(qel::FitLinearScannerMatrix(reference_, measured_, model_.data()), 0);
}

TEST_F(ScannerModelSteps, FlatToneCurvesMakeThePolynomialSingular) {
    for (int i = 0; i < qel::scanner_model::kPolynomial; ++i) model_[i] = 0.3f;
    for (int p = 0; p < qel::kReferencePatches; ++p)
        for (int c = 0; c < 3; ++c) measured_.entry[p][c] = static_cast<float>((p * 37 + c * 11) % 256);
    EXPECT_EQ(qel::FitScannerPolynomial(reference_, measured_, model_.data()), 0);
}

TEST_F(ScannerModelSteps, PolynomialReproducesThePatches) {
    GreyLadder l = qel::MakeGreyLadder(reference_, measured_);
    qel::RepairGreyLadder(l, qel::LadderAnchor(l));
    ASSERT_TRUE(qel::BuildToneCurves(l, model_.data()));
    ASSERT_EQ(qel::FitScannerPolynomial(reference_, measured_, model_.data()), 1);
    double worst = 0;
    for (int p = 0; p < qel::kReferencePatches; ++p) {
        const double r = model_[static_cast<int>(measured_.entry[p][0])];
        const double g = model_[256 + static_cast<int>(measured_.entry[p][1])];
        const double b = model_[512 + static_cast<int>(measured_.entry[p][2])];
        const double t[9] = {r, g, b, r * r, g * g, b * b, r * g, g * b, r * b};
        for (int m = 0; m < 3; ++m) {
            double s = 0;
            for (int i = 0; i < 9; ++i) s += model_[sm::kPolynomial + 9 * m + i] * t[i];
            worst = std::max(worst, std::fabs(s - reference_.entry[p][m]));
        }
    }
    EXPECT_LT(worst, 6.0);  // XYZ units on the Y = 100 scale
}

TEST(ScannerGrid, ChromaLimitKeepsTheHue) {
    float a = -300, b = 100;
    qel::LimitChroma(a, b);
    EXPECT_EQ(a, -150.0f);
    EXPECT_EQ(b, 50.0f);
    a = 100, b = 400;
    qel::LimitChroma(a, b);
    EXPECT_EQ(a, 37.5f);
    EXPECT_EQ(b, 150.0f);
    a = 300, b = 600;  // both out: a first, then b
    qel::LimitChroma(a, b);
    EXPECT_EQ(a, 75.0f);
    EXPECT_EQ(b, 150.0f);
    a = 20, b = -150;
    qel::LimitChroma(a, b);
    EXPECT_EQ(a, 20.0f);
    EXPECT_EQ(b, -150.0f);
}

TEST(ScannerGrid, PullScalesByPowersOfPointEightUntilInside) {
    const float L = 50.0f;
    float a = 150.0f, b = -150.0f;
    const int pulls = qel::PullIntoGamut(L, a, b);
    ASSERT_GT(pulls, 0);
    float ea = 150.0f, eb = -150.0f;
    for (int i = 0; i < pulls; ++i) {
        ea = static_cast<float>(ea * 0.8);
        eb = static_cast<float>(eb * 0.8);
    }
    EXPECT_EQ(a, ea);
    EXPECT_EQ(b, eb);
    auto inside = [&](float pa, float pb) {
        float xyz[3], rgb[3];
        qel::LabToXyzD65(2, L, pa, pb, xyz);
        qel::XyzToWorkingRgb(xyz[0], xyz[1], xyz[2], rgb);
        for (float v : rgb)
            if (v < -0.5f || v > 100.5f) return false;
        return true;
    };
    EXPECT_TRUE(inside(a, b));
    EXPECT_FALSE(inside(a / 0.8f, b / 0.8f));
    // A neutral needs no pull.
    a = 0, b = 0;
    EXPECT_EQ(qel::PullIntoGamut(100.0f, a, b), 0);
}

TEST(ScannerGrid, NodesAtBlackWhiteAndASaturatedRed) {
    std::vector<float> model(sm::kFloats, 0.0f);
    float* poly = model.data() + sm::kPolynomial;
    // X = 82.22 r, Y = 85.27 g, Z = 70.37 b: the grid's own white at 255.
    poly[0] = qel::kTargetWhite[0];
    poly[9 + 1] = qel::kTargetWhite[1];
    poly[18 + 2] = qel::kTargetWhite[2];
    float lab[3];
    qel::ScannerGridNode(model.data(), 0, 0, 0, lab);
    EXPECT_EQ(lab[0], 0.0f);
    EXPECT_EQ(lab[1], 0.0f);
    EXPECT_EQ(lab[2], 0.0f);
    qel::ScannerGridNode(model.data(), 16, 16, 16, lab);
    EXPECT_NEAR(lab[0], 100.0f, 1e-3);
    EXPECT_NEAR(lab[1], 0.0f, 1e-3);
    EXPECT_NEAR(lab[2], 0.0f, 1e-3);

    // Red only: Y = 0 gives L* = 0 and a* far past 150.
    qel::ScannerGridNode(model.data(), 16, 0, 0, lab);
    EXPECT_EQ(lab[0], 0.0f);
    float a = 150.0f, b = 0.0f;
    qel::PullIntoGamut(0.0f, a, b);
    EXPECT_EQ(lab[1], a);
    EXPECT_EQ(lab[2], b);
    EXPECT_LT(lab[1], 150.0f * 0.8f);

    // A negative polynomial value is clamped to 0 before the conversion.
    poly[0] = -qel::kTargetWhite[0];
    qel::ScannerGridNode(model.data(), 16, 0, 0, lab);
    EXPECT_EQ(lab[0], 0.0f);
    EXPECT_EQ(lab[1], 0.0f);
    EXPECT_EQ(lab[2], 0.0f);

    // Node 9 stands for level 143: linear value (143 / 255)^2.
    poly[0] = 0;
    poly[9 + 1] = 0;
    poly[18 + 2] = 0;
    poly[9 + 3] = qel::kTargetWhite[1];  // Y = 85.27 r^2
    qel::ScannerGridNode(model.data(), 9, 0, 0, lab);
    const double u = 143.0 / 255.0, r = u * u;
    float expected[3];
    qel::XyzToLab(qel::kTargetWhite[0], qel::kTargetWhite[1], qel::kTargetWhite[2], 0, static_cast<float>(static_cast<double>(qel::kTargetWhite[1]) * (r * r)), 0, expected);
    EXPECT_EQ(lab[0], expected[0]);
}

class GridEscape : public ScannerModelSteps {
protected:
    void SetUp() override {
        ScannerModelSteps::SetUp();
        window_ = pfdCreateWindow("host");
        pfdSetFocus(window_);
        model_.assign(sm::kFloats, -777.0f);
    }
    bool nodeUntouched(int i0, int i1, int i2) const {
        const int n = sm::gridIndex(i0, i1, i2);
        return model_[n] == -777.0f && model_[n + 1] == -777.0f && model_[n + 2] == -777.0f;
    }
    PfWindow window_ = nullptr;
};

std::vector<int> g_percent;
int32_t QEL_STDCALL recordPercent(ProgressRecord* record, int32_t total) {
    EXPECT_EQ(total, 100);
    g_percent.push_back(record->count);
    return 0;
}

TEST_F(GridEscape, EscapeQueuedBeforeTheGridStopsAtTheFirstRow) {
    g_percent.clear();
    ProgressRecord record{};
    pfdPostKeyDown(window_, 27);
    pfdPostKeyDown(window_, 'A');
    EXPECT_EQ(qel::FitScannerModel(reference_, measured_, model_.data(), &record, recordPercent),
              qel::FitOutcome::Cancelled);
    EXPECT_EQ(g_percent, std::vector<int>{20});
    EXPECT_TRUE(nodeUntouched(0, 0, 0));
    EXPECT_TRUE(nodeUntouched(16, 16, 16));
    EXPECT_EQ(pfdQueuedMessages(window_), 0u);  // the queue was drained
    EXPECT_EQ(model_[255], 1.0f);               // the curves were fitted before
}

TEST_F(GridEscape, OtherMessageIsDroppedAndEscapeBehindItStopsTheNextRow) {
    pfdPostKeyDown(window_, 'A');
    pfdPostKeyDown(window_, 27);
    EXPECT_EQ(qel::FitScannerModel(reference_, measured_, model_.data(), nullptr, nullptr),
              qel::FitOutcome::Cancelled);
    for (int i2 = 0; i2 < 17; ++i2) {
        EXPECT_FALSE(nodeUntouched(0, 0, i2)) << i2;
        EXPECT_TRUE(nodeUntouched(0, 1, i2)) << i2;
    }
}

TEST_F(GridEscape, WithoutEscapeEveryNodeIsComputedAndMessagesAreConsumed) {
    g_percent.clear();
    ProgressRecord record{};
    for (int i = 0; i < 5; ++i) pfdPostKeyDown(window_, 'B');
    EXPECT_EQ(qel::FitScannerModel(reference_, measured_, model_.data(), &record, recordPercent),
              qel::FitOutcome::Completed);
    std::vector<int> expected;
    for (int p = 20; p <= 100; p += 5) expected.push_back(p);
    EXPECT_EQ(g_percent, expected);
    EXPECT_EQ(pfdQueuedMessages(window_), 0u);
    for (int i = sm::kGrid; i < sm::kFloats; i += 3) {
        ASSERT_GE(model_[i], 0.0f) << i;
        ASSERT_LE(model_[i], 100.0f) << i;
        ASSERT_LE(std::fabs(model_[i + 1]), 150.0f) << i;
        ASSERT_LE(std::fabs(model_[i + 2]), 150.0f) << i;
    }
    // Lightness rises along the grey diagonal.
    for (int k = 1; k < 17; ++k) {
        const float now = model_[sm::gridIndex(k, k, k)], before = model_[sm::gridIndex(k - 1, k - 1, k - 1)];
        if (k <= 10) {
            EXPECT_GT(now, before) << k;
        } else {
            EXPECT_GE(now, before) << k;  // the light end may clamp at the white
        }
    }
}

TEST_F(ScannerModelSteps, NonFiniteFitIsAFailure) {
    // Reference values at the edge of the float range overflow the sums.
    for (int p = 0; p < qel::kReferencePatches; ++p) reference_.entry[p][0] = 3.0e38f;
    EXPECT_EQ(qel::FitScannerModel(reference_, measured_, model_.data(), nullptr, nullptr), qel::FitOutcome::Failed);
}

}  // namespace
