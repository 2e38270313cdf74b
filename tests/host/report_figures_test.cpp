// The report's figures: chart axes that hold their data on round ticks, and
// the verification summary's rows and verdicts.
#include <gtest/gtest.h>

#include "report_verification.h"
#include "svg_chart.h"

namespace {

struct AxisCase {
    double lo, hi;                // the data
    double axisLo, axisHi, step;  // the axis drawn
    int decimals;
};

TEST(ReportFigures, AxesEndOnRoundTicksAndHoldTheirData) {
    const AxisCase cases[] = {
        {0, 4.55, 0, 5, 1, 0},    // the printer's largest CIE76 difference, once cut at 4
        {0, 11.79, 0, 15, 5, 0},  // one bad patch among good ones
        {0, 2.85, 0, 3, 1, 0},
        {0, 1.0, 0, 1, 0.2, 1},           // a tone curve reaching white
        {-87.3, 91.2, -100, 100, 50, 0},  // a* and b* of a gamut slice
        {0.012, 0.049, 0.01, 0.05, 0.01, 2},
        {0, 0, 0, 0.2, 0.2, 1},  // nothing to show still gives an axis
    };
    for (const AxisCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.lo) + " .. " + std::to_string(c.hi));
        const aucal::svg::Axis a = aucal::svg::niceAxis(c.lo, c.hi, "t");
        EXPECT_NEAR(a.lo, c.axisLo, 1e-12);
        EXPECT_NEAR(a.hi, c.axisHi, 1e-12);
        EXPECT_NEAR(a.step, c.step, 1e-12);
        EXPECT_EQ(a.decimals, c.decimals);
        EXPECT_LE(a.lo, c.lo);
        EXPECT_GE(a.hi, c.hi);
    }
}

aucal::PatchDifference patch(const char* name, aucal::Lab3 reference, aucal::Lab3 model) {
    return {name, reference, model, aucal::deltaE76(reference, model), aucal::deltaE2000(reference, model)};
}

struct VerificationCase {
    const char* what;
    std::vector<aucal::PatchDifference> patches;
    std::vector<double> printer;
    bool castFree;              // the grey scale is off in lightness only
    bool nominal, recommended;  // verdicts on every patch
};

TEST(ReportFigures, VerificationRowsAndVerdicts) {
    const VerificationCase cases[] = {
        {"a grey off in lightness only has no cast",
         {patch("A1", {50, 20, 10}, {50.5, 20, 10}), patch("GS1", {90, 0.5, 1}, {88, 0.5, 1})},
         {0.5, 1.5},
         true,
         true,
         true},
        {"a grey off in colour is all cast",
         {patch("A1", {50, 20, 10}, {50, 20, 10}), patch("GS1", {50, 0, 0}, {50, 0, 3})},
         {2.0},
         false,
         true,
         false},
        {"one patch beyond the nominal maximum fails both",
         {patch("A1", {50, 20, 10}, {50, 20, 10}), patch("B7", {40, 60, 20}, {40, 50, 30}),
          patch("GS1", {50, 0, 0}, {50, 0, 0})},
         {},
         true,
         false,
         false},
    };
    for (const VerificationCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<aucal::VerificationRow> rows = aucal::verificationRows(c.patches, c.printer);
        ASSERT_EQ(rows.size(), 4u);
        EXPECT_EQ(rows[0].count, c.patches.size());
        EXPECT_EQ(rows[1].count, 1u) << "the grey scale";
        EXPECT_EQ(rows[2].count, 1u) << "grey balance";
        EXPECT_EQ(rows[3].count, c.printer.size());
        EXPECT_EQ(rows[1].de2000.max, c.patches.back().de2000);
        if (c.castFree)
            EXPECT_EQ(rows[2].de2000.max, 0.0);
        else
            EXPECT_NEAR(rows[2].de2000.max, rows[1].de2000.max, 1e-12);
        EXPECT_EQ(aucal::meets(rows[0].de2000, aucal::kCriteria[0]), c.nominal);
        EXPECT_EQ(aucal::meets(rows[0].de2000, aucal::kCriteria[1]), c.recommended);
    }
    // On the bounds: met.
    EXPECT_TRUE(aucal::meets({1.5, 1.0, 3.5, 4.0}, aucal::kCriteria[0]));
    EXPECT_FALSE(aucal::meets({1.5, 1.0, 3.5, 4.01}, aucal::kCriteria[0]));
    EXPECT_FALSE(aucal::meets({1.01, 0.5, 2, 3.0}, aucal::kCriteria[1]));
}

}  // namespace
