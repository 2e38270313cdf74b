// The demo's report in a real browser: headless Chromium renders it to a
// screenshot, which must not be blank, and its DOM must hold every section.
#include <gtest/gtest.h>

#include <string>

#include "headless_browser.h"
#include "support/temp_dir.h"

namespace {

using testsupport::runCommand;

TEST(ReportInBrowser, RendersEverySectionAndIsNotBlank) {
    testsupport::TempDir dir;
    const std::string browser = testsupport::headlessChromium(dir);
    ASSERT_FALSE(browser.empty()) << "chromium is not installed (make deps installs it)";
    ASSERT_EQ(runCommand(std::string(AUCAL_BINARY) + " -q demo --out " + dir.file("demo")), 0);
    const std::string page = "file://" + dir.file("demo/report.html");

    std::string dom;
    ASSERT_EQ(runCommand(browser + "--dump-dom " + page, &dom), 0);
    for (const char* id : {"scanner", "tone-curves", "patch-differences", "printer", "gamut", "before-after", "profiles", "timings"})
        EXPECT_NE(dom.find(std::string("id=\"") + id + "\""), std::string::npos) << "section " << id << " missing";
    EXPECT_NE(dom.find("<svg"), std::string::npos);

    const std::string shot = dir.file("shot.png");
    ASSERT_EQ(runCommand(browser + "--window-size=1100,2400 --screenshot=" + shot + " " + page), 0);
    testsupport::Screenshot screenshot;
    ASSERT_TRUE(testsupport::readScreenshot(shot, &screenshot, PNG_FORMAT_GRAY)) << "no screenshot";
    const std::vector<std::uint8_t>& grey = screenshot.pixels;
    // A blank page is one flat colour; the report has pictures and charts.
    std::size_t light = 0, dark = 0, mid = 0;
    for (std::uint8_t g : grey) (g > 230 ? light : g < 60 ? dark : mid)++;
    EXPECT_GT(light, grey.size() / 4) << "the page background is missing";
    EXPECT_GT(mid, grey.size() / 50) << "no pictures or charts rendered";
    EXPECT_GT(dark, grey.size() / 1000) << "no text rendered";
}

}  // namespace
