#include "svg_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace aucal::svg {

Axis niceAxis(double lo, double hi, std::string title, int ticks) {
    if (hi < lo) std::swap(lo, hi);
    const double span = hi > lo ? hi - lo : std::max(1.0, std::fabs(hi));
    const double raw = span / std::max(1, ticks);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10 * power;
    for (double m : {1.0, 2.0, 5.0})
        if (m * power >= raw) {
            step = m * power;
            break;
        }
    Axis a;
    a.step = step;
    a.lo = std::floor(lo / step) * step;
    a.hi = std::ceil(hi / step) * step;
    if (a.hi <= a.lo) a.hi = a.lo + step;
    a.decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
    a.title = std::move(title);
    return a;
}

std::pair<double, double> extent(const std::vector<double>& values) {
    if (values.empty()) return {0, 0};
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    return {*lo, *hi};
}

std::string number(double v, int decimals) {
    // No "-0" at an axis origin.
    if (std::fabs(v) < 0.5 * std::pow(10.0, -decimals)) v = 0;
    char b[64];
    std::snprintf(b, sizeof b, "%.*f", decimals, v);
    return b;
}

std::string escaped(const std::string& text) {
    std::string o;
    for (char c : text) {
        if (c == '<')
            o += "&lt;";
        else if (c == '>')
            o += "&gt;";
        else if (c == '&')
            o += "&amp;";
        else if (c == '"')
            o += "&quot;";
        else
            o += c;
    }
    return o;
}

Plot::Plot(int width, int height, Axis x, Axis y)
    : width_(width), height_(height), x_(std::move(x)), y_(std::move(y)) {}

double Plot::px(double x) const { return kLeft + (width_ - kLeft - kRight) * (x - x_.lo) / (x_.hi - x_.lo); }
double Plot::py(double y) const {
    return height_ - kBottom - (height_ - kTop - kBottom) * (y - y_.lo) / (y_.hi - y_.lo);
}

void Plot::line(const std::vector<Point>& points, const std::string& colour) {
    std::string s = "<polyline class=\"mark\" fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"1.5\" points=\"";
    for (const Point& p : points) s += number(px(p.first), 1) + ',' + number(py(p.second), 1) + ' ';
    marks_ += s + "\"/>";
}

void Plot::bars(const std::vector<double>& heights, const std::string& colour) {
    const double base = py(std::max(y_.lo, 0.0));
    const double gap = px(1) - px(0) > 3 ? 1 : 0;
    std::string s = "<g fill=\"" + colour + "\">";
    for (std::size_t i = 0; i < heights.size(); ++i) {
        const double x0 = px(static_cast<double>(i)), x1 = px(static_cast<double>(i + 1)), top = py(heights[i]);
        s += "<rect class=\"mark\" x=\"" + number(x0, 2) + "\" y=\"" + number(std::min(top, base), 2) + "\" width=\"" +
             number(std::max(0.3, x1 - x0 - gap), 2) + "\" height=\"" + number(std::fabs(base - top), 2) + "\"/>";
    }
    marks_ += s + "</g>";
}

void Plot::dots(const std::vector<Point>& points, const std::string& colour, double radius) {
    std::string s = "<g fill=\"" + colour + "\">";
    for (const Point& p : points)
        s += "<circle class=\"mark\" cx=\"" + number(px(p.first), 1) + "\" cy=\"" + number(py(p.second), 1) +
             "\" r=\"" + number(radius, 1) + "\"/>";
    marks_ += s + "</g>";
}

void Plot::area(const std::vector<Point>& outline, const std::string& fill, const std::string& stroke) {
    std::string s = "<polygon class=\"mark\" fill=\"" + fill + "\" stroke=\"" + stroke + "\" points=\"";
    for (const Point& p : outline) s += number(px(p.first), 1) + ',' + number(py(p.second), 1) + ' ';
    marks_ += s + "\"/>";
}

void Plot::xLabels(std::vector<std::pair<double, std::string>> labels) { xLabels_ = std::move(labels); }

std::string Plot::axes() const {
    std::ostringstream s;
    const double left = kLeft, right = width_ - kRight, top = kTop, bottom = height_ - kBottom;
    s << "<rect class=\"plot-area\" x=\"" << left << "\" y=\"" << top << "\" width=\"" << right - left << "\" height=\""
      << bottom - top << "\" fill=\"#fafafa\" stroke=\"#999\"/>";
    // Ticks from lo by whole steps; the tolerance keeps the last one when
    // the sum of steps falls a hair short of hi.
    auto ticks = [](const Axis& a) {
        std::vector<double> t;
        for (int k = 0; a.lo + k * a.step <= a.hi + a.step * 1e-6; ++k) t.push_back(a.lo + k * a.step);
        return t;
    };
    s << "<g stroke=\"#ddd\">";
    for (double v : ticks(y_))
        s << "<line x1=\"" << left << "\" x2=\"" << right << "\" y1=\"" << number(py(v), 1) << "\" y2=\""
          << number(py(v), 1) << "\"/>";
    s << "</g><g fill=\"#333\" text-anchor=\"end\">";
    for (double v : ticks(y_))
        s << "<text x=\"" << left - 6 << "\" y=\"" << number(py(v) + 4, 1) << "\">" << number(v, y_.decimals)
          << "</text>";
    s << "</g><g fill=\"#333\" text-anchor=\"middle\">";
    std::vector<std::pair<double, std::string>> labels = xLabels_;
    if (labels.empty())
        for (double v : ticks(x_)) labels.emplace_back(v, number(v, x_.decimals));
    for (const auto& [v, text] : labels)
        s << "<line x1=\"" << number(px(v), 1) << "\" x2=\"" << number(px(v), 1) << "\" y1=\"" << bottom << "\" y2=\""
          << bottom + 4 << "\" stroke=\"#999\"/><text x=\"" << number(px(v), 1) << "\" y=\"" << bottom + 18 << "\">"
          << escaped(text) << "</text>";
    s << "</g><text class=\"axis-title\" text-anchor=\"middle\" x=\"" << number((left + right) / 2, 1) << "\" y=\""
      << height_ - 10 << "\">" << escaped(x_.title) << "</text><text class=\"axis-title\" text-anchor=\"middle\" "
      << "transform=\"rotate(-90)\" x=\"" << number(-(top + bottom) / 2, 1) << "\" y=\"18\">" << escaped(y_.title)
      << "</text>";
    return s.str();
}

std::string Plot::svg(const std::string& label) const {
    std::ostringstream s;
    s << "<svg class=\"chart\" width=\"" << width_ << "\" height=\"" << height_ << "\" viewBox=\"0 0 " << width_ << ' '
      << height_ << "\" font-size=\"13\" font-family=\"sans-serif\" role=\"img\" aria-label=\"" << escaped(label)
      << "\" xmlns=\"http://www.w3.org/2000/svg\">" << axes() << marks_ << "</svg>";
    return s.str();
}

}  // namespace aucal::svg
