#include "report.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "fit_quality.h"
#include "report_charts.h"
#include "report_verification.h"
#include "svg_chart.h"
#include "utf8_path.h"
#include "platform/host_system.h"

namespace aucal {

namespace {

std::string base64(const std::string& in) {
    static const char* t = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((in.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(in[i]) << 16) | (static_cast<unsigned char>(in[i + 1]) << 8) |
                           static_cast<unsigned char>(in[i + 2]);
        out += t[v >> 18];
        out += t[(v >> 12) & 63];
        out += t[(v >> 6) & 63];
        out += t[v & 63];
    }
    if (i < in.size()) {
        unsigned v = static_cast<unsigned char>(in[i]) << 16;
        if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
        out += t[v >> 18];
        out += t[(v >> 12) & 63];
        out += i + 1 < in.size() ? t[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// Box-filtered reduction so that the embedded pictures stay small.
RgbImage shrink(const RgbImage& in, int maxWidth) {
    if (in.width <= maxWidth || in.width == 0) return in;
    const int f = (in.width + maxWidth - 1) / maxWidth;
    RgbImage out;
    out.width = in.width / f;
    out.height = std::max(1, in.height / f);
    out.pixels.assign(3ull * out.width * out.height, 0);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            for (int c = 0; c < 3; ++c) {
                unsigned sum = 0;
                for (int dy = 0; dy < f; ++dy)
                    for (int dx = 0; dx < f; ++dx)
                        sum += in.pixels[3ull * ((static_cast<std::size_t>(y) * f + dy) * in.width + x * f + dx) + c];
                out.pixels[3ull * (static_cast<std::size_t>(y) * out.width + x) + c] =
                    static_cast<std::uint8_t>(sum / (f * f));
            }
    return out;
}

std::string dataUri(const RgbImage& image, int maxWidth) { return "data:image/png;base64," + base64(pngBytes(shrink(image, maxWidth))); }

std::string fmt(double v, int decimals = 2) { return svg::number(v, decimals); }

std::string escape(const std::string& s) { return svg::escaped(s); }

std::string it8OverlaySvg(const RgbImage& scan, const TargetReading& reading) {
    std::ostringstream s;
    const int shownWidth = std::min(scan.width, 760);
    const double k = scan.width == 0 ? 1 : static_cast<double>(shownWidth) / scan.width;
    const int shownHeight = static_cast<int>(scan.height * k);
    s << "<svg class=\"picture\" width=\"" << shownWidth << "\" height=\"" << shownHeight << "\" viewBox=\"0 0 "
      << scan.width << ' ' << scan.height << "\" xmlns=\"http://www.w3.org/2000/svg\">";
    s << "<image width=\"" << scan.width << "\" height=\"" << scan.height << "\" href=\"" << dataUri(scan, 800)
      << "\"/>";
    if (reading.width == scan.width && reading.height == scan.height) {
        s << "<polygon points=\"";
        for (const PixelPoint& p : reading.frame) s << fmt(p.x, 1) << ',' << fmt(p.y, 1) << ' ';
        s << "\" fill=\"none\" stroke=\"#0f0\" stroke-width=\"" << 2 / k << "\"/>";
        for (const PixelBox& w : reading.windows)
            s << "<rect x=\"" << w.x0 << "\" y=\"" << w.y0 << "\" width=\"" << w.x1 - w.x0 + 1 << "\" height=\""
              << w.y1 - w.y0 + 1 << "\" fill=\"none\" stroke=\"#f0f\" stroke-width=\"" << 1 / k << "\"/>";
    }
    s << "</svg>";
    return s.str();
}

}  // namespace

std::string pngBytes(const RgbImage& image) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, image.pixels.data(), 0, nullptr)) return {};
    std::string out(size, '\0');
    if (!png_image_write_to_memory(&png, out.data(), &size, 0, image.pixels.data(), 0, nullptr)) return {};
    out.resize(size);
    return out;
}

std::string renderReport(const ReportData& d) {
    std::ostringstream s;
    s << R"(<!doctype html><html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1"><title>aucal calibration report</title><style>
body{font:14px/1.45 sans-serif;margin:24px auto;max-width:1000px;padding:0 12px;color:#222;overflow-wrap:break-word}
h1{font-size:24px}h2{font-size:18px;border-bottom:1px solid #ccc;padding-bottom:4px;margin-top:32px}
table{border-collapse:collapse;font-size:12px}td,th{border:1px solid #ddd;padding:2px 6px;text-align:right}
th{background:#f2f2f2}td{white-space:nowrap}tr>:first-child{text-align:left}td.text{white-space:normal;min-width:11em}
td.met{color:#060}td.not-met{color:#b00;font-weight:bold}
.figs{display:flex;gap:16px;flex-wrap:wrap;align-items:flex-start}
figure{margin:0;max-width:100%}figcaption{font-size:12px;color:#555}svg,img{max-width:100%;height:auto}
.scroll{max-height:320px;overflow:auto;display:inline-block;max-width:100%}.table-box{overflow-x:auto;max-width:100%}
.big{font-size:16px}
</style></head><body>
<h1>aucal calibration report</h1>
)";
    if (!d.notes.empty()) {
        s << "<ul>";
        for (const auto& n : d.notes) s << "<li>" << escape(n) << "</li>";
        s << "</ul>";
    }
    s << verificationSection(d);

    // Scanner.
    std::vector<double> de76, de2000;
    for (const auto& p : d.patches) {
        de76.push_back(p.de76);
        de2000.push_back(p.de2000);
    }
    const DeStats s76 = deStats(de76), s00 = deStats(de2000);
    s << "<section id=\"scanner\"><h2>Scanner: the scanned IT8.7/2 target</h2>"
      << "<p>The scan as the driver wrote it (top of the picture = first scanned line), the target's frame as the "
         "engine traced it (green) and the windows it averaged (magenta).</p>"
      << it8OverlaySvg(d.it8Scan, d.it8Reading) << "</section>";
    s << "<section id=\"tone-curves\"><h2>Tone curves</h2><div class=\"figs\"><figure>" << toneCurveChart(d.model)
      << "<figcaption>The scanner's response: relative luminance of each level of the red, green and blue channels."
         "</figcaption></figure></div></section>";
    s << "<section id=\"patch-differences\"><h2>Colour difference of every patch</h2><p class=\"big\">CIEDE2000 mean "
      << fmt(s00.mean) << ", median " << fmt(s00.median) << ", 95th percentile " << fmt(s00.p95) << ", maximum "
      << fmt(s00.max) << "; CIE76 mean " << fmt(s76.mean) << ", maximum " << fmt(s76.max)
      << ".</p><p>The model's colour of each patch (its polynomial on the scanner's patch means, sampled from the "
         "windows above) against the reference data, both as CIELAB against the target white.</p><figure>"
      << patchDifferenceChart(d.patches)
      << "</figure><div class=\"scroll\"><table><tr><th>patch</th><th>reference L*a*b*</th><th>model L*a*b*</th><th>"
         "&Delta;E76</th><th>&Delta;E00</th></tr>";
    for (const auto& p : d.patches)
        s << "<tr><td>" << p.name << "</td><td>" << fmt(p.reference[0], 1) << ' ' << fmt(p.reference[1], 1) << ' '
          << fmt(p.reference[2], 1) << "</td><td>" << fmt(p.model[0], 1) << ' ' << fmt(p.model[1], 1) << ' '
          << fmt(p.model[2], 1) << "</td><td>" << fmt(p.de76) << "</td><td>" << fmt(p.de2000) << "</td></tr>";
    s << "</table></div></section>";

    // Printer.
    const DeStats sp = deStats(d.printerNodeDe2000), sp76 = deStats(d.printerNodeDe);
    s << "<section id=\"printer\"><h2>Printer: the chart as printed and scanned</h2><div class=\"figs\"><figure><img "
         "alt=\"scanned printer chart\" width=\"360\" src=\""
      << dataUri(d.chartScan, 500) << "\"><figcaption>The printed chart, scanned.</figcaption></figure></div>"
      << "<p class=\"big\">For the " << d.printerNodeDe2000.size()
      << " grid colours that the printer can print (after the correction's lightness scaling from paper white to "
         "the printer's black), what it prints from the correction differs from the aim by CIEDE2000 mean "
      << fmt(sp.mean) << ", median " << fmt(sp.median) << ", 95th percentile " << fmt(sp.p95) << ", maximum "
      << fmt(sp.max) << " (CIE76 mean " << fmt(sp76.mean) << ", maximum " << fmt(sp76.max) << ").</p><figure>"
      << printerDifferenceChart(d.printerNodeDe2000) << "</figure></section>";
    s << "<section id=\"gamut\"><h2>A slice of the printer gamut</h2><div class=\"figs\"><figure>"
      << gamutChart(d.gamut) << "<figcaption>At lightness L* = " << fmt(d.gamut.lightness, 0)
      << ": the colours the printer can print (blue area) and the scanner model's grid colours within 4 of that "
         "lightness (dots).</figcaption></figure></div></section>";

    // Before and after.
    s << "<section id=\"before-after\"><h2>Before and after</h2><div class=\"figs\">";
    auto fig = [&](const RgbImage& img, const char* caption) {
        if (img.width == 0) return;
        s << "<figure><img alt=\"" << caption << "\" width=\"300\" src=\"" << dataUri(img, 320) << "\"><figcaption>"
          << caption << "</figcaption></figure>";
    };
    fig(d.sample, "as scanned");
    fig(d.sampleMonitor, "through the monitor correction (monitor drive)");
    fig(d.samplePrinter, "through the printer correction (printer drive)");
    fig(d.samplePrinted, "that drive as the virtual printer prints it");
    s << "</div></section>";

    s << "<section id=\"profiles\"><h2>ICC profiles</h2><p>Written with LittleCMS, read back and checked with it: "
         "header, tags, profile ID (MD5) and an unchanged round trip, then the figures below. The scanner profiles "
         "refer the target white to D50 by the Bradford adaptation.</p><ul>";
    for (const auto& p : d.profiles) {
        const std::string name = p.file.substr(p.file.find_last_of("/\\") + 1);
        s << "<li><a href=\"" << escape(name) << "\">" << escape(name) << "</a> " << escape(p.description) << "<br>"
          << (p.structure.empty() ? std::string("read back, tags, profile ID and round trip: passed")
                                  : "read back failed: " + escape(p.structure));
        for (const auto& line : p.lines) s << "<br>" << escape(line);
        if (!p.recommendation.empty()) s << "<br><strong>" << escape(p.recommendation) << "</strong>";
        if (!p.withinTolerance) s << "<br><strong>outside the stated tolerance</strong>";
        s << "</li>";
    }
    s << "</ul></section>";

    s << "<section id=\"timings\"><h2>Timings</h2><div class=\"table-box\"><table><tr><th>step</th><th>time (ms)</th>"
         "</tr>";
    for (const auto& t : d.timings)
        s << "<tr><td class=\"text\">" << escape(t.first) << "</td><td>" << fmt(t.second, 1) << "</td></tr>";
    s << "</table></div></section>";

    s << "<section id=\"files\"><h2>Files</h2><ul>";
    for (const auto& f : d.files) s << "<li><a href=\"" << escape(f.second) << "\">" << escape(f.second) << "</a> " << escape(f.first) << "</li>";
    s << "</ul></section></body></html>\n";
    return s.str();
}

bool writeReport(const std::string& path, const ReportData& data, std::string* error) {
    const std::string html = renderReport(data);
    // Binary: the page's line ends are \n on every system.
    std::ofstream out(utf8Path(path), std::ios::binary | std::ios::trunc);
    out << html;
    out.flush();
    if (!out) {
        *error = "cannot write " + path;
        out.close();
        pfHostRemoveFile(path.c_str());
        return false;
    }
    return true;
}

}  // namespace aucal
