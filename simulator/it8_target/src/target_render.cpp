// Rendering the virtual target as scanned.
//
// Coordinates: the raster's pixel (x, line) covers [x, x + 1) x [line,
// line + 1) in pixel units, line 0 first scanned. The target's own
// coordinates (a, b) are in cells from its top-left corner, a across
// (0..24), b down the target (0..16). Placement on the glass: centred in the
// raster, turned by the tilt about its centre, then sheared by the skew
// (each later line shifted right by tan(skew) per line).
#include <algorithm>
#include <cmath>

#include "internal.h"
#include "it8_target/virtual_it8.h"

namespace it8sim {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kCols = 24;
constexpr int kRows = 16;

enum Region : int { kSurround = 0, kFrame = 1, kBase = 2, kStripe = 3, kFirstPatch = 4 };

struct Placement {
    double dpi, cell, centreX, centreLine;
    double cosT, sinT, tanS;
    bool halfTurn;

    // Target coordinates in cells (as printed) to raster pixel coordinates.
    ScanPoint toScan(double a, double b) const {
        if (halfTurn) {
            a = kCols - a;
            b = kRows - b;
        }
        const double u = (a - kCols / 2.0) * cell, v = (b - kRows / 2.0) * cell;
        const double u1 = u * cosT - v * sinT, v1 = u * sinT + v * cosT;
        return {centreX + (u1 + v1 * tanS) * dpi, centreLine + v1 * dpi};
    }
    // Raster pixel coordinates back to target coordinates in cells.
    void toTarget(double px, double pl, double& a, double& b) const {
        const double s = (pl - centreLine) / dpi;
        const double x = (px - centreX) / dpi;
        const double v1 = s, u1 = x - s * tanS;
        const double u = u1 * cosT + v1 * sinT, v = -u1 * sinT + v1 * cosT;
        a = u / cell + kCols / 2.0;
        b = v / cell + kRows / 2.0;
        if (halfTurn) {
            a = kCols - a;
            b = kRows - b;
        }
    }
};

Placement placementFor(const TargetOptions& o, int width, int height) {
    const double t = o.tiltDegrees * kPi / 180.0, s = o.skewDegrees * kPi / 180.0;
    return {o.dpi, o.cellInches, width / 2.0, height / 2.0, std::cos(t), std::sin(t), std::tan(s), o.halfTurn};
}

// The raster's size: the placed target's extent plus the margin on each
// side, symmetric about the target's centre.
void rasterSize(const TargetOptions& o, int& width, int& height) {
    const Placement p = placementFor(o, 0, 0);
    double halfX = 0, halfLine = 0;
    for (double a : {0.0, double(kCols)})
        for (double b : {0.0, double(kRows)}) {
            const ScanPoint q = p.toScan(a, b);
            halfX = std::max(halfX, std::fabs(q.x));
            halfLine = std::max(halfLine, std::fabs(q.line));
        }
    // Whole pixels, without letting rounding noise of the corners add one.
    width = static_cast<int>(std::ceil(2.0 * (halfX + o.marginInches * o.dpi) - 1e-6));
    height = static_cast<int>(std::ceil(2.0 * (halfLine + o.marginInches * o.dpi) - 1e-6));
}

int regionAt(const TargetOptions& o, double a, double b) {
    if (!(a >= 0 && a < kCols && b >= 0 && b < kRows)) return kSurround;
    const double f = o.frameLineInches / o.cellInches;
    if (a < f || a >= kCols - f || b < f || b >= kRows - f) return kFrame;
    const int col = static_cast<int>(a), row = static_cast<int>(b);
    const bool patchCell = col >= 1 && col <= 22 && ((row >= 1 && row <= 12) || row == 14);
    if (!patchCell) return kBase;
    const double fa = a - col, fb = b - row, g = o.patchGapCells;
    if (fa < g || fa >= 1.0 - g || fb < g || fb >= 1.0 - g) return kBase;
    return kFirstPatch + row * kCols + col;
}

// A deterministic Gaussian source: splitmix64 uniforms, the sum of twelve
// less six (unit variance), the same on every platform.
class Noise {
public:
    explicit Noise(std::uint64_t seed) : state_(seed) {}
    double gaussian() {
        double sum = 0;
        for (int i = 0; i < 12; ++i) sum += uniform();
        return sum - 6.0;
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
};

}  // namespace

imaging::Image renderIt8TargetRgb(const It8ReferenceSet& refs, const ScannerResponse& response,
                                  const TargetOptions& options) {
    imaging::Image out;
    if (!(options.dpi > 0) || !(options.cellInches > 0)) return out;
    int width = 0, height = 0;
    rasterSize(options, width, height);
    out = imaging::Image::make(width, height, 3, options.bitsPerSample == 16 ? 16 : 8);
    out.metadata.xDpi = out.metadata.yDpi = options.dpi;
    const Placement place = placementFor(options, out.width, out.height);

    // Signal and level of every region, computed once.
    const int regions = kFirstPatch + kRows * kCols;
    std::vector<std::array<double, 3>> signal(regions), level(regions);
    auto setRegion = [&](int id, const Xyz& xyz) {
        signal[id] = scannerSignal(xyz, response);
        for (int c = 0; c < 3; ++c) level[id][c] = toneLevel(signal[id][c], c, response);
    };
    setRegion(kSurround, options.surround);
    setRegion(kFrame, options.frame);
    setRegion(kBase, options.base);
    setRegion(kStripe, options.stripe);
    for (int row = 0; row < kRows; ++row)
        for (int col = 0; col < kCols; ++col)
            if (auto xyz = cellReference(refs, row, col)) setRegion(kFirstPatch + row * kCols + col, *xyz);

    const int n = std::max(1, options.supersample);
    Noise noise(response.seed);
    auto regionOf = [&](double px, double pl) {
        double a, b;
        place.toTarget(px, pl, a, b);
        return regionAt(options, a, b);
    };
    // Regions at the pixel corners of the line's top and bottom side: a
    // pixel whose four corners and centre share a region lies in it (the
    // regions are rectangles much larger than a pixel); the others are
    // sub-sampled.
    std::vector<int> top(out.width + 1), bottom(out.width + 1);
    for (int x = 0; x <= out.width; ++x) bottom[x] = regionOf(x, 0);
    for (int line = 0; line < out.height; ++line) {
        top.swap(bottom);
        for (int x = 0; x <= out.width; ++x) bottom[x] = regionOf(x, line + 1);
        const int fileRow = out.height - 1 - line;
        const bool striped = options.interruptRow >= 0 && fileRow >= options.interruptRow &&
                             fileRow < options.interruptRow + std::max(1, options.interruptRows);
        for (int x = 0; x < out.width; ++x) {
            std::array<double, 3> lv;
            const int id = top[x];
            if (striped) {
                lv = level[kStripe];
            } else if (top[x + 1] == id && bottom[x] == id && bottom[x + 1] == id && regionOf(x + 0.5, line + 0.5) == id) {
                lv = level[id];
            } else {
                // Light mixes linearly on the sensor before the tone curve.
                std::array<double, 3> sum{0, 0, 0};
                for (int j = 0; j < n; ++j)
                    for (int i = 0; i < n; ++i) {
                        const int sub = regionOf(x + (i + 0.5) / n, line + (j + 0.5) / n);
                        for (int c = 0; c < 3; ++c) sum[c] += signal[sub][c];
                    }
                for (int c = 0; c < 3; ++c) lv[c] = toneLevel(sum[c] / (n * n), c, response);
            }
            if (response.falloff > 0 && !striped) {
                // The uneven lamp scales the light, before the tone curve.
                const double u = 2.0 * (x + 0.5) / out.width - 1.0, gain = 1.0 - response.falloff * u * u;
                for (int c = 0; c < 3; ++c) lv[c] = toneLevel(signalOfLevel(lv[c], c, response) * gain, c, response);
            }
            for (int c = 0; c < 3; ++c) {
                const double v = response.noiseSigma > 0 ? lv[c] + response.noiseSigma * noise.gaussian() : lv[c];
                if (out.bitsPerSample == 16)
                    out.setSample(x, line, c, static_cast<unsigned>(std::clamp(v * 257.0 + 0.5, 0.0, 65535.0)));
                else
                    out.setSample(x, line, c, levelToByte(v));
            }
        }
    }
    return out;
}

ScanPoint cellCentreInScan(const TargetOptions& options, int imageWidth, int imageHeight, int cellRow,
                           int cellColumn) {
    return placementFor(options, imageWidth, imageHeight).toScan(cellColumn + 0.5, cellRow + 0.5);
}

}  // namespace it8sim
