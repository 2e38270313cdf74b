// The report's colour differences against published reference pairs.
#include <gtest/gtest.h>

#include "colour_maths.h"

namespace {

TEST(ColourDifference, Ciede2000MatchesPublishedPairs) {
    // Pairs 1, 7, 13, 17 and 25 of Sharma, Wu and Dalal's test data.
    struct Pair {
        aucal::Lab3 a, b;
        double de;
    } pairs[] = {
        {{50.0, 2.6772, -79.7751}, {50.0, 0.0, -82.7485}, 2.0425},
        {{50.0, 0.0, 0.0}, {50.0, -1.0, 2.0}, 2.3669},
        {{50.0, 2.4900, -0.0010}, {50.0, -2.4900, 0.0011}, 7.2195},
        {{50.0, 2.5, 0.0}, {73.0, 25.0, -18.0}, 27.1492},
        {{60.2574, -34.0099, 36.2677}, {60.4626, -34.1751, 39.4387}, 1.2644},
    };
    for (const Pair& p : pairs) EXPECT_NEAR(aucal::deltaE2000(p.a, p.b), p.de, 5e-5);
}

TEST(ColourDifference, LabOfTheWhiteIs100AndNeutral) {
    const aucal::Xyz3 white = aucal::kTargetWhite;
    const aucal::Lab3 lab = aucal::labFromXyz(white, white);
    EXPECT_NEAR(lab[0], 100.0, 1e-9);
    EXPECT_NEAR(lab[1], 0.0, 1e-9);
    EXPECT_NEAR(lab[2], 0.0, 1e-9);
    EXPECT_NEAR(aucal::deltaE76({50, 3, 4}, {50, 0, 0}), 5.0, 1e-12);
}

}  // namespace
