// Choosing the turn of a scan: the one turn in which the reader finds the
// target is handed on; none, or more than one, is refused by name.
#include <gtest/gtest.h>

#include <set>

#include "scan_orientation.h"
#include "support/temp_dir.h"

namespace {

using aucal::QuarterTurns;

// A 3 x 2 picture whose pixels all differ; the reader below "finds the
// target" in the turns listed in `foundIn`.
aucal::RgbImage picture() {
    aucal::RgbImage p;
    p.width = 3, p.height = 2;
    for (int i = 0; i < 6; ++i) p.pixels.insert(p.pixels.end(), {static_cast<std::uint8_t>(10 * i), 0, 0});
    return p;
}

struct Case {
    std::set<QuarterTurns> foundIn;
    bool accepted;
    QuarterTurns turns;
    const char* says;
};

TEST(ScanOrientation, TheOneTurnThatFindsTheTargetIsUsed) {
    testsupport::TempDir dir;
    const std::string path = dir.file("scan.png");
    std::string error;
    ASSERT_TRUE(aucal::writeImage(path, picture(), &error)) << error;
    const Case cases[] = {
        {{QuarterTurns::None}, true, QuarterTurns::None, ""},
        {{QuarterTurns::Three}, true, QuarterTurns::Three, ""},
        {{}, false, QuarterTurns::None, "no thing found in "},
        {{QuarterTurns::None, QuarterTurns::Two}, false, QuarterTurns::None,
         "found lying upright and a half turn round"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        const aucal::TargetFinder finder = [&](const std::string& targa, bool*) {
            aucal::RgbImage seen;
            std::string e;
            EXPECT_TRUE(aucal::readImage(targa, &seen, &e)) << e;
            for (QuarterTurns t : c.foundIn) {
                const aucal::RgbImage want = aucal::turnedClockwise(picture(), t);
                if (seen.width == want.width && seen.pixels == want.pixels) return true;
            }
            return false;
        };
        aucal::UprightScan scan;
        error.clear();
        EXPECT_EQ(aucal::prepareUprightScan(path, "thing", "marks", finder, &scan, &error), c.accepted) << error;
        if (c.accepted) {
            EXPECT_EQ(scan.turns, c.turns);
        }
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
}

TEST(ScanOrientation, FourQuarterTurnsMakeAWholeTurn) {
    aucal::RgbImage p = picture();
    const aucal::RgbImage once = aucal::turnedClockwise(p, QuarterTurns::One);
    EXPECT_EQ(once.width, 2);
    EXPECT_EQ(once.pixels[0], 30);  // the bottom-left pixel comes to the top left
    for (int i = 0; i < 4; ++i) p = aucal::turnedClockwise(p, QuarterTurns::One);
    EXPECT_EQ(p.pixels, picture().pixels);
    EXPECT_EQ(aucal::turnedClockwise(aucal::turnedClockwise(picture(), QuarterTurns::Three), QuarterTurns::One).pixels,
              picture().pixels);
}

}  // namespace
