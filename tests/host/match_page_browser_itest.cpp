// The monitor match page in headless Chromium at the display scalings people
// use. Each line pattern must come out as whole device-pixel rows, alternately
// at full drive and black, half of them lit: drawn in CSS pixels, 150 % gives
// on-on-off rows (two thirds lit) and 175 % about 43 %.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "aucal_run.h"
#include "headless_browser.h"
#include "support/temp_dir.h"

namespace {

using testsupport::Screenshot;

struct Pattern {
    int channel;
    int rows;
    int columns;
    int lit;    // rows at full drive of the channel and zero in the others, every pixel
    int mixed;  // rows neither wholly lit nor wholly black: resampled or blurred lines
};

class Pixels {
public:
    explicit Pixels(const Screenshot& s) : s_(s) {}
    const std::uint8_t* at(int x, int y) const { return &s_.pixels[3 * (static_cast<std::size_t>(y) * s_.width + x)]; }
    bool lit(int c, int x, int y) const {
        const std::uint8_t* p = at(x, y);
        return p[c] == 255 && p[0] + p[1] + p[2] == 255;
    }
    bool black(int x, int y) const {
        const std::uint8_t* p = at(x, y);
        return p[0] == 0 && p[1] == 0 && p[2] == 0;
    }
    // 'L' lit, 'D' black, 'M' anything else, over columns left..right of row y.
    char row(int c, int y, int left, int right) const {
        if (y < 0 || y >= s_.height) return 'M';
        bool allLit = true, allBlack = true;
        for (int x = left; x <= right; ++x) {
            allLit = allLit && lit(c, x, y);
            allBlack = allBlack && black(x, y);
        }
        return allLit ? 'L' : allBlack ? 'D' : 'M';
    }
    int width() const { return s_.width; }
    int height() const { return s_.height; }

private:
    const Screenshot& s_;
};

// Finds each channel's patterns: runs of rows holding lit pixels (a gap of a
// row or two between lit rows belongs to the pattern), widened to the black
// rows at their top and bottom, inside the frame around each pattern.
std::vector<Pattern> findPatterns(const Screenshot& shot) {
    const Pixels px(shot);
    std::vector<Pattern> found;
    for (int c = 0; c < 3; ++c) {
        int first = -1, last = -1, left = px.width(), right = -1;
        auto close = [&] {
            if (first < 0) return;
            int top = first, bottom = last;
            while (px.row(c, top - 1, left, right) == 'D') --top;
            while (px.row(c, bottom + 1, left, right) == 'D') ++bottom;
            Pattern p{c, bottom - top + 1, right - left + 1, 0, 0};
            for (int y = top; y <= bottom; ++y) {
                const char k = px.row(c, y, left, right);
                p.lit += k == 'L';
                p.mixed += k == 'M';
            }
            found.push_back(p);
            first = -1;
            left = px.width();
            right = -1;
        };
        for (int y = 0; y < px.height(); ++y) {
            int l = -1, r = -1;
            for (int x = 0; x < px.width(); ++x)
                if (px.lit(c, x, y)) {
                    if (l < 0) l = x;
                    r = x;
                }
            if (l < 0) {
                if (first >= 0 && y - last > 2) close();
                continue;
            }
            if (first < 0) first = y;
            last = y;
            left = std::min(left, l);
            right = std::max(right, r);
        }
        close();
    }
    return found;
}

TEST(MatchPageInBrowser, EveryPatternIsHalfLitInWholeDevicePixelRows) {
    testsupport::TempDir dir;
    ASSERT_FALSE(testsupport::headlessChromium(dir).empty()) << "chromium is not installed (make deps installs it)";
    const std::string page = dir.file("match.html");
    // A model path that does not hold a model is refused: the page's command would fail.
    const testsupport::CliRun refused = testsupport::runAucal("monitor --match-page " + page + " --model " +
                                                              dir.file("none.mdl"));
    EXPECT_NE(refused.status, 0);
    EXPECT_FALSE(std::filesystem::exists(page));
    const testsupport::CliRun written = testsupport::runAucal("-q monitor --match-page " + page);
    ASSERT_EQ(written.status, 0) << written.output;

    std::printf("scale | device rows x columns | lit fraction of each pattern (red, red, green, green, blue, blue)\n");
    for (const double scale : {1.0, 1.25, 1.5, 1.75, 2.0}) {
        char name[32];
        std::snprintf(name, sizeof name, "%.2f", scale);
        SCOPED_TRACE(std::string("device scale factor ") + name);
        const std::string shot = dir.file(std::string("shot-") + name + ".png");
        // A profile per run: the browser must not carry a zoom or scale from the last one.
        ASSERT_EQ(testsupport::runCommand(testsupport::headlessChromium(dir, std::string("profile-") + name) +
                                          "--force-device-scale-factor=" + name +
                                          " --window-size=900,1900 --screenshot=" + shot + " file://" + page),
                  0);
        Screenshot screenshot;
        ASSERT_TRUE(testsupport::readScreenshot(shot, &screenshot)) << "no screenshot";
        EXPECT_EQ(screenshot.width, static_cast<int>(std::lround(900 * scale))) << "the scale was not applied";

        const std::vector<Pattern> patterns = findPatterns(screenshot);
        ASSERT_EQ(patterns.size(), 6u) << "each channel's pattern twice";
        std::printf("%5s | %4d x %4d |", name, patterns[0].rows, patterns[0].columns);
        for (const Pattern& p : patterns) {
            const double fraction = static_cast<double>(p.lit) / p.rows;
            std::printf(" %.2f%%", 100 * fraction);
            EXPECT_NEAR(fraction, 0.5, 0.01) << "channel " << p.channel;
            EXPECT_EQ(p.mixed, 0) << "channel " << p.channel << ": rows neither lit nor black";
            // 220 x 160 CSS pixels, whole at this scale.
            EXPECT_NEAR(p.rows, 160 * scale, 1.0) << "channel " << p.channel;
            EXPECT_NEAR(p.columns, 220 * scale, 1.0) << "channel " << p.channel;
        }
        std::printf("\n");
    }
}

}  // namespace
