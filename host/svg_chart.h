// Charts as inline SVG for the report: a plot area framed by two axes, each
// with ticks at round numbers and a title that names the quantity and its
// unit, and the marks drawn in data units inside it.
//
// Every chart is sized by its viewBox only (its width attribute is the size
// it is drawn at when there is room); the page's style lets it shrink with
// the column (max-width:100%, height:auto), text and all. Class names the
// page's checks read: "chart" (the svg), "plot-area" (the frame), "axis-title"
// (the two titles), "mark" (every drawn value).
#ifndef AUCAL_SVG_CHART_H
#define AUCAL_SVG_CHART_H

#include <string>
#include <utility>
#include <vector>

namespace aucal::svg {

using Point = std::pair<double, double>;

struct Axis {
    double lo = 0;  // the drawn range, in data units
    double hi = 1;
    double step = 0.2;  // between ticks, which start at lo
    int decimals = 0;   // of the tick labels
    std::string title;  // the quantity and its unit
};

// An axis over at least [lo, hi] that ends on ticks: steps of 1, 2 or 5 times
// a power of ten, about `ticks` of them. Data at hi lies inside, never cut.
Axis niceAxis(double lo, double hi, std::string title, int ticks = 5);

// The smallest and largest of values (0, 0 for none).
std::pair<double, double> extent(const std::vector<double>& values);

// Fixed-point text of a number.
std::string number(double v, int decimals);

// Text for HTML and SVG, in elements and attributes: <, >, & and " as entities.
std::string escaped(const std::string& text);

class Plot {
public:
    // width x height: the whole chart, axes and titles included, in SVG units.
    Plot(int width, int height, Axis x, Axis y);

    // Data to SVG coordinates.
    double px(double x) const;
    double py(double y) const;

    // Marks, in data units.
    void line(const std::vector<Point>& points, const std::string& colour);
    // Bar i stands on the x axis from i to i + 1: an x axis that counts items.
    void bars(const std::vector<double>& heights, const std::string& colour);
    void dots(const std::vector<Point>& points, const std::string& colour, double radius);
    void area(const std::vector<Point>& outline, const std::string& fill, const std::string& stroke);
    // Labels at these x positions instead of the x axis's numbers (items by name).
    void xLabels(std::vector<std::pair<double, std::string>> labels);

    // The chart; label names it for screen readers.
    std::string svg(const std::string& label) const;

    // Chart geometry in SVG units: room for tick labels and axis titles.
    static constexpr int kLeft = 62, kRight = 18, kTop = 12, kBottom = 50;

private:
    std::string axes() const;

    int width_, height_;
    Axis x_, y_;
    std::vector<std::pair<double, std::string>> xLabels_;
    std::string marks_;
};

}  // namespace aucal::svg

#endif
