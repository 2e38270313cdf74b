#include "report_charts.h"

#include <algorithm>

#include "qel_layout.h"
#include "svg_chart.h"

namespace aucal {

namespace {

const char* const kDifference = "CIEDE2000 difference (ΔE00)";

}  // namespace

std::string toneCurveChart(const std::vector<float>& model) {
    namespace m = qel::scanner_model;
    std::vector<std::vector<svg::Point>> curves(3);
    double top = 1;
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < m::kLevels; ++v) {
            const std::size_t i = static_cast<std::size_t>(m::toneIndex(c, v));
            const double y = i < model.size() ? model[i] : 0.0;
            curves[c].emplace_back(v, y);
            top = std::max(top, y);
        }
    svg::Axis x{0, m::kLevels - 1, 50, 0, "scanner level (0 to 255)"};
    svg::Plot plot(420, 300, x, svg::niceAxis(0, top, "relative luminance (white = 1)"));
    const char* colours[3] = {"#d22", "#2a2", "#22d"};
    for (int c = 0; c < 3; ++c) plot.line(curves[c], colours[c]);
    return plot.svg("tone curves of the red, green and blue channels");
}

std::string patchDifferenceChart(const std::vector<PatchDifference>& patches) {
    auto rowOf = [](const std::string& name) { return name.substr(0, name.find_first_of("0123456789")); };
    std::vector<double> heights;
    std::vector<std::pair<double, std::string>> rows;  // the middle of each row of patches, by its letters
    std::size_t first = 0;
    for (std::size_t i = 0; i < patches.size(); ++i) {
        heights.push_back(patches[i].de2000);
        const std::string row = rowOf(patches[i].name);
        if (i + 1 < patches.size() && rowOf(patches[i + 1].name) == row) continue;
        rows.emplace_back((first + i + 1) / 2.0, row);
        first = i + 1;
    }
    svg::Axis x{0, static_cast<double>(std::max<std::size_t>(1, patches.size())), 1, 0,
                "target patch, by row (A to L, then the grey scale GS)"};
    svg::Plot plot(480, 280, x, svg::niceAxis(0, svg::extent(heights).second, kDifference));
    plot.xLabels(rows);
    plot.bars(heights, "#c63");
    return plot.svg("colour difference of each target patch");
}

std::string printerDifferenceChart(const std::vector<double>& de2000) {
    // The axis ends at the last colour, not at the next round number.
    svg::Axis x = svg::niceAxis(0, static_cast<double>(de2000.size()), "printable grid colour, in grid order");
    x.hi = static_cast<double>(std::max<std::size_t>(1, de2000.size()));
    svg::Plot plot(480, 280, x, svg::niceAxis(0, svg::extent(de2000).second, kDifference));
    plot.bars(de2000, "#36a");
    return plot.svg("colour difference of each printable grid colour");
}

std::string gamutChart(const GamutSlice& slice) {
    std::vector<double> all = {0.0};
    for (const auto* points : {&slice.boundary, &slice.targets})
        for (const auto& [a, b] : *points) {
            all.push_back(a);
            all.push_back(b);
        }
    const auto [lo, hi] = svg::extent(all);
    // One range for both axes in a square plot: a distance reads the same either way.
    const int width = 440, height = width - svg::Plot::kLeft - svg::Plot::kRight + svg::Plot::kTop + svg::Plot::kBottom;
    svg::Plot plot(width, height, svg::niceAxis(lo, hi, "a* (CIELAB, green to red)"),
                   svg::niceAxis(lo, hi, "b* (CIELAB, blue to yellow)"));
    plot.area(slice.boundary, "#cde", "#357");
    plot.dots(slice.targets, "#c40", 2);
    return plot.svg("slice of the printer gamut at L* " + svg::number(slice.lightness, 0));
}

}  // namespace aucal
