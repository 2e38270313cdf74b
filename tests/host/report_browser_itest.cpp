// The demo's report in a real browser. Headless Chromium's DOM must hold
// every section, the verification summary and its links, and the timings in
// words; a screenshot must not be blank. At a phone's width and a desktop's,
// the report is laid out in a frame that many CSS pixels wide, and a script
// of the enclosing page measures it there and writes the figures into the
// DOM that --dump-dom prints: the page's scroll width, every element sticking
// out of the page outside a scrolling box of its own, and each chart's axis
// titles, its texts outside the chart and its marks outside the plot area.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "headless_browser.h"
#include "support/temp_dir.h"

namespace {

using testsupport::runCommand;

// Lines: "page <client width> <scroll width> <characters of text>",
// "wide <tag> <id> <right edge>", "cut <chart> <text>",
// "chart <index> <axis titles> <marks> <marks outside> <width>".
const char* const kMeasuringPage = R"(<!doctype html><html><body style="margin:0">
<iframe id="report" src="report.html" style="border:0;width:@WIDTH@px;height:3000px"></iframe><script>
window.addEventListener('load', () => {
  const doc = document.getElementById('report').contentDocument, view = doc.defaultView;
  const page = doc.documentElement, width = page.clientWidth, out = [];
  out.push('page ' + width + ' ' + page.scrollWidth + ' ' + doc.body.innerText.length);
  const inScrollBox = e => {
    for (let p = e.parentElement; p; p = p.parentElement)
      if (view.getComputedStyle(p).overflowX !== 'visible') return true;
    return false;
  };
  for (const e of doc.body.querySelectorAll('*')) {
    const r = e.getBoundingClientRect();
    if ((r.left < -0.5 || r.right > width + 0.5) && !inScrollBox(e))
      out.push('wide ' + e.tagName + ' ' + (e.id || '-') + ' ' + Math.round(r.right));
  }
  const inside = (r, f, margin) => r.left >= f.left - margin && r.right <= f.right + margin &&
                                   r.top >= f.top - margin && r.bottom <= f.bottom + margin;
  doc.querySelectorAll('svg.chart').forEach((svg, i) => {
    const box = svg.getBoundingClientRect(), plot = svg.querySelector('.plot-area').getBoundingClientRect();
    let titles = 0, marks = 0, outside = 0;
    svg.querySelectorAll('.axis-title').forEach(t => titles += t.textContent.trim() !== '');
    svg.querySelectorAll('text').forEach(t => {
      if (!inside(t.getBoundingClientRect(), box, 0.5)) out.push('cut ' + i + ' ' + t.textContent);
    });
    // A dot on the frame may reach past it by its radius.
    svg.querySelectorAll('.mark').forEach(m => { ++marks; outside += !inside(m.getBoundingClientRect(), plot, 3); });
    out.push('chart ' + i + ' ' + titles + ' ' + marks + ' ' + outside + ' ' + Math.round(box.width));
  });
  const pre = document.createElement('pre');
  pre.id = 'measured';
  pre.textContent = out.join('\n');
  document.body.appendChild(pre);
});
</script></body></html>
)";

std::string section(const std::string& dom, const std::string& id) {
    const std::size_t at = dom.find("id=\"" + id + "\"");
    return at == std::string::npos ? std::string() : dom.substr(at, dom.find("</section>", at) - at);
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(ReportInBrowser, EverySectionReadableAtPhoneAndDesktopWidths) {
    testsupport::TempDir dir;
    const std::string browser = testsupport::headlessChromium(dir);
    ASSERT_FALSE(browser.empty()) << "chromium is not installed (make deps installs it)";
    ASSERT_EQ(runCommand(std::string(AUCAL_BINARY) + " -q demo --out " + dir.file("demo")), 0);
    const std::string page = "file://" + dir.file("demo/report.html");

    std::string dom;
    ASSERT_EQ(runCommand(browser + "--dump-dom " + page, &dom), 0);
    for (const char* id : {"verification", "scanner", "tone-curves", "patch-differences", "printer", "gamut",
                           "before-after", "profiles", "timings"})
        EXPECT_FALSE(section(dom, id).empty()) << "section " << id << " missing";
    // Four rows, each judged against both criteria; the patches linked.
    const std::string verification = section(dom, "verification");
    EXPECT_EQ(count(verification, "class=\"met\"") + count(verification, "class=\"not-met\""), 8u) << verification;
    for (const char* link : {"href=\"patches.ti3\"", "href=\"patches.json\""})
        EXPECT_NE(verification.find(link), std::string::npos) << link;
    // Steps as a person names them, not as the libraries export them.
    const std::string timings = section(dom, "timings");
    for (const char* name : {"Scan_Image", "ScannerIT8Analysis", "SetPhosphorType", "VisualMatch", "CreatTargetImage",
                             "PrinterTargetAnalysis", "PrinterTargetOpenAnalysis", "InitCorrect", "CorrectImage"})
        EXPECT_EQ(timings.find(name), std::string::npos) << name;

    for (const int width : {360, 1280}) {
        SCOPED_TRACE("width " + std::to_string(width) + " CSS px");
        const std::string name = "measure-" + std::to_string(width) + ".html";
        std::string html = kMeasuringPage;
        html.replace(html.find("@WIDTH@"), 7, std::to_string(width));
        std::ofstream(dir.file("demo/" + name)) << html;
        std::string measured;
        ASSERT_EQ(runCommand(testsupport::headlessChromium(dir, "profile-" + name) +
                                 "--allow-file-access-from-files --window-size=1400,3200 --dump-dom file://" +
                                 dir.file("demo/" + name),
                             &measured),
                  0);
        const std::size_t from = measured.find("<pre id=\"measured\">");
        ASSERT_NE(from, std::string::npos) << "the measuring script did not run";
        std::istringstream lines(measured.substr(from + 19, measured.find("</pre>", from) - from - 19));
        int charts = 0;
        for (std::string line; std::getline(lines, line);) {
            std::istringstream in(line);
            std::string kind;
            in >> kind;
            if (kind == "page") {
                int client = 0, scroll = 0, characters = 0;
                in >> client >> scroll >> characters;
                EXPECT_GT(client, width * 9 / 10) << line;
                EXPECT_LE(scroll, client) << "the page scrolls sideways";
                EXPECT_GT(characters, 5000) << "the page is blank";
            } else if (kind == "chart") {
                int index = 0, titles = 0, marks = 0, outside = 0, shown = 0;
                in >> index >> titles >> marks >> outside >> shown;
                ++charts;
                EXPECT_EQ(titles, 2) << "chart " << index << " without its axis titles";
                EXPECT_GT(marks, 0) << "chart " << index << " is empty";
                EXPECT_EQ(outside, 0) << "chart " << index << ": values drawn outside the plot";
            } else {
                ADD_FAILURE() << line;  // an element wider than the page, or a text cut off its chart
            }
        }
        EXPECT_EQ(charts, 4) << "tone curves, patch differences, printer differences, gamut slice";

        const std::string shot = dir.file("shot-" + std::to_string(width) + ".png");
        ASSERT_EQ(
            runCommand(browser + "--window-size=" + std::to_string(width) + ",2400 --screenshot=" + shot + " " + page),
            0);
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
}

}  // namespace
