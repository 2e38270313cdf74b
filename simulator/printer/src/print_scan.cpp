// Printing an image on the sheet and scanning the sheet.
//
// Coordinates: scan pixel (x, row) covers [x, x + 1) x [row, row + 1) in
// scan pixels, rows counted from the bottom of the sheet (the order in which
// the drivers' files store them). The sheet is the whole scan area; the
// image sits at its centre, turned by the tilt about that centre; image
// pixel (x, y) covers [x, x + 1) x [y, y + 1) in image pixels, y counted
// from the image's bottom row likewise, so the scan keeps the image's
// orientation. Images themselves hold their rows top first: sheet row r is
// row height - 1 - r of an image.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "virtual_printer/virtual_printer.h"

namespace printsim {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Geometry {
    int scanWidth, scanHeight;
    double pixelsPerImagePixel;  // scan pixels per image pixel
    double centreX, centreY;     // scan pixels
    double imageW, imageH;       // image pixels
    double cosT, sinT;
};

Geometry geometryFor(const PrintScanOptions& o, int imageWidth, int imageHeight) {
    Geometry g{};
    const double widthIn = imageWidth / o.printDpi + 2 * o.marginInches;
    const double heightIn = imageHeight / o.printDpi + 2 * o.marginInches;
    // The drivers write widths in steps of 4 pixels.
    g.scanWidth = std::max(4, static_cast<int>(widthIn * o.dpi) / 4 * 4);
    g.scanHeight = std::max(1, static_cast<int>(heightIn * o.dpi));
    g.pixelsPerImagePixel = o.dpi / o.printDpi;
    g.centreX = g.scanWidth / 2.0;
    g.centreY = g.scanHeight / 2.0;
    g.imageW = imageWidth;
    g.imageH = imageHeight;
    const double t = o.tiltDegrees * kPi / 180.0;
    g.cosT = std::cos(t);
    g.sinT = std::sin(t);
    return g;
}

// splitmix64 and Box-Muller: a normal deviate generator of our own, so the
// noise is the same everywhere.
class Noise {
public:
    explicit Noise(std::uint64_t seed) : state_(seed) {}
    double normal() {
        if (haveSpare_) {
            haveSpare_ = false;
            return spare_;
        }
        double u1 = uniform(), u2 = uniform();
        if (u1 < 1e-300) u1 = 1e-300;
        const double r = std::sqrt(-2.0 * std::log(u1));
        spare_ = r * std::sin(2 * kPi * u2);
        haveSpare_ = true;
        return r * std::cos(2 * kPi * u2);
    }

private:
    double uniform() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return static_cast<double>(z >> 11) * (1.0 / 9007199254740992.0);
    }
    std::uint64_t state_;
    double spare_ = 0;
    bool haveSpare_ = false;
};

std::uint8_t toByte(double level) {
    if (!(level > 0.0)) return 0;
    if (level >= 254.5) return 255;
    return static_cast<std::uint8_t>(level + 0.5);
}

// One-dimensional Gaussian blur of a plane of w x h values along rows
// (stride 1) or columns (stride w), edges repeated.
void blurPlane(std::vector<double>& plane, int w, int h, double sigma) {
    const int radius = static_cast<int>(std::ceil(3 * sigma));
    std::vector<double> kernel(2 * radius + 1);
    double sum = 0;
    for (int k = -radius; k <= radius; ++k) sum += kernel[k + radius] = std::exp(-0.5 * k * k / (sigma * sigma));
    for (double& k : kernel) k /= sum;
    std::vector<double> line;
    for (int pass = 0; pass < 2; ++pass) {
        const int n = pass == 0 ? w : h, lines = pass == 0 ? h : w;
        const std::size_t step = pass == 0 ? 1 : static_cast<std::size_t>(w);
        line.resize(n);
        for (int l = 0; l < lines; ++l) {
            const std::size_t base = pass == 0 ? static_cast<std::size_t>(l) * w : static_cast<std::size_t>(l);
            for (int i = 0; i < n; ++i) line[i] = plane[base + i * step];
            for (int i = 0; i < n; ++i) {
                double v = 0;
                for (int k = -radius; k <= radius; ++k) v += kernel[k + radius] * line[std::clamp(i + k, 0, n - 1)];
                plane[base + i * step] = v;
            }
        }
    }
}

}  // namespace

ScanPosition imagePointInScan(const PrintScanOptions& options, int imageWidth, int imageHeight, double x,
                              double y) {
    const Geometry g = geometryFor(options, imageWidth, imageHeight);
    const double iu = (x + 0.5 - g.imageW / 2) * g.pixelsPerImagePixel;
    const double iv = (imageHeight - 1 - y + 0.5 - g.imageH / 2) * g.pixelsPerImagePixel;
    const double sheetRow = g.centreY + iu * g.sinT + iv * g.cosT - 0.5;
    return {g.centreX + iu * g.cosT - iv * g.sinT - 0.5, g.scanHeight - 1 - sheetRow};
}

Image printAndScan(const Image& image, const PrinterResponse& printer, const it8sim::ScannerResponse& scanner,
                      const PrintScanOptions& options) {
    const Geometry g = geometryFor(options, image.width, image.height);

    // The printed colour of every image pixel (an image holds few colours).
    std::vector<Xyz> printed(static_cast<std::size_t>(image.width) * image.height);
    std::unordered_map<std::uint32_t, Xyz> byColour;
    for (std::size_t k = 0; k < printed.size(); ++k) {
        const int sheetRow = static_cast<int>(k / image.width);
        const std::uint8_t* p = image.row(image.height - 1 - sheetRow) + 3 * (k % image.width);
        const std::uint32_t key = (static_cast<std::uint32_t>(p[0]) << 16) | (p[1] << 8) | p[2];
        auto it = byColour.find(key);
        if (it == byColour.end()) it = byColour.emplace(key, printRgb(p[0], p[1], p[2], printer)).first;
        printed[k] = it->second;
    }
    const Xyz paper = paperWhite(printer);

    const int w = g.scanWidth, h = g.scanHeight;
    const int ss = std::max(options.supersample, 1);
    std::vector<double> plane[3];
    for (auto& p : plane) p.assign(static_cast<std::size_t>(w) * h, 0.0);
    const double scale = 1.0 / g.pixelsPerImagePixel;
    for (int row = 0; row < h; ++row) {
        for (int x = 0; x < w; ++x) {
            double sum[3] = {0, 0, 0};
            for (int sy = 0; sy < ss; ++sy) {
                for (int sx = 0; sx < ss; ++sx) {
                    const double du = x + (sx + 0.5) / ss - g.centreX;
                    const double dv = row + (sy + 0.5) / ss - g.centreY;
                    // Turned back onto the image, in image pixels.
                    const double u = (du * g.cosT + dv * g.sinT) * scale + g.imageW / 2;
                    const double v = (-du * g.sinT + dv * g.cosT) * scale + g.imageH / 2;
                    const Xyz* c = &paper;
                    if (u >= 0 && v >= 0 && u < g.imageW && v < g.imageH)
                        c = &printed[static_cast<std::size_t>(v) * image.width + static_cast<std::size_t>(u)];
                    sum[0] += c->x;
                    sum[1] += c->y;
                    sum[2] += c->z;
                }
            }
            const std::size_t k = static_cast<std::size_t>(row) * w + x;
            for (int c = 0; c < 3; ++c) plane[c][k] = sum[c] / (ss * ss);
        }
        if (options.onRow && !options.onRow(row + 1, h)) return {};
    }
    if (options.blurPixels > 0)
        for (auto& p : plane) blurPlane(p, w, h, options.blurPixels);

    Image scan = Image::make(w, h);
    scan.metadata.xDpi = scan.metadata.yDpi = options.dpi;
    Noise noise(scanner.seed);
    for (std::size_t k = 0; k < plane[0].size(); ++k) {
        const auto s = it8sim::scannerSignal(Xyz{plane[0][k], plane[1][k], plane[2][k]}, scanner);
        std::uint8_t* p = scan.row(h - 1 - static_cast<int>(k / w)) + 3 * (k % w);
        for (int c = 0; c < 3; ++c) {
            double level = it8sim::toneLevel(s[c], c, scanner);
            if (scanner.noiseSigma > 0) level += scanner.noiseSigma * noise.normal();
            p[c] = toByte(level);
        }
    }
    return scan;
}

}  // namespace printsim
