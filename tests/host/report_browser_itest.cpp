// The demo's report in a real browser: headless Chromium renders it to a
// screenshot, which must not be blank, and its DOM must hold every section.
#include <gtest/gtest.h>
#include <png.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace {

int run(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        if (output != nullptr) output->append(buffer, n);
    const int raw = pclose(pipe);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string chromium() {
    for (const char* p : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
        if (std::filesystem::exists(p)) return p;
    return {};
}

std::string flags(const testsupport::TempDir& dir) {
    return " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking "
           "--disable-component-update --disable-sync --user-data-dir=" +
           dir.file("profile") + " ";
}

TEST(ReportInBrowser, RendersEverySectionAndIsNotBlank) {
    const std::string browser = chromium();
    ASSERT_FALSE(browser.empty()) << "chromium is not installed (make deps installs it)";
    testsupport::TempDir dir;
    ASSERT_EQ(run(std::string(AUCAL_BINARY) + " -q demo --out " + dir.file("demo")), 0);
    const std::string page = "file://" + dir.file("demo/report.html");

    std::string dom;
    ASSERT_EQ(run(browser + flags(dir) + "--dump-dom " + page, &dom), 0);
    for (const char* id : {"scanner", "tone-curves", "patch-differences", "printer", "gamut", "before-after", "profiles", "timings"})
        EXPECT_NE(dom.find(std::string("id=\"") + id + "\""), std::string::npos) << "section " << id << " missing";
    EXPECT_NE(dom.find("<svg"), std::string::npos);

    const std::string shot = dir.file("shot.png");
    ASSERT_EQ(run(browser + flags(dir) + "--window-size=1100,2400 --screenshot=" + shot + " " + page), 0);
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&png, shot.c_str())) << "no screenshot";
    png.format = PNG_FORMAT_GRAY;
    std::vector<std::uint8_t> grey(PNG_IMAGE_SIZE(png));
    ASSERT_TRUE(png_image_finish_read(&png, nullptr, grey.data(), 0, nullptr));
    // A blank page is one flat colour; the report has pictures and charts.
    std::size_t light = 0, dark = 0, mid = 0;
    for (std::uint8_t g : grey) (g > 230 ? light : g < 60 ? dark : mid)++;
    EXPECT_GT(light, grey.size() / 4) << "the page background is missing";
    EXPECT_GT(mid, grey.size() / 50) << "no pictures or charts rendered";
    EXPECT_GT(dark, grey.size() / 1000) << "no text rendered";
}

}  // namespace
