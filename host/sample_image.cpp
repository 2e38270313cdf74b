#include "sample_image.h"

#include <algorithm>
#include <cmath>

namespace aucal {

namespace {

std::uint8_t clampByte(double v) { return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0) + 0.0); }

void mix(std::uint8_t* p, double r, double g, double b, double alpha) {
    p[0] = clampByte(p[0] * (1 - alpha) + r * alpha);
    p[1] = clampByte(p[1] * (1 - alpha) + g * alpha);
    p[2] = clampByte(p[2] * (1 - alpha) + b * alpha);
}

}  // namespace

RgbImage samplePicture(int width, int height) {
    RgbImage img;
    img.width = width;
    img.height = height;
    img.pixels.assign(3ull * width * height, 0);
    const double w = width, h = height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &img.pixels[3ull * (static_cast<std::size_t>(y) * width + x)];
            const double u = x / w, v = y / h;
            // Sky: deep blue at the top to pale near the horizon.
            p[0] = clampByte(70 + 150 * v);
            p[1] = clampByte(120 + 110 * v);
            p[2] = clampByte(200 + 40 * v);
            // Sun with a soft edge.
            const double ds = std::hypot(u - 0.78, (v - 0.2) * h / w) * w;
            if (ds < 0.09 * w) mix(p, 255, 236, 180, std::clamp((0.09 * w - ds) / (0.02 * w), 0.0, 1.0));
            // Hills: two green bands with shading.
            const double hill1 = 0.55 + 0.06 * std::sin(u * 7.0);
            const double hill2 = 0.68 + 0.05 * std::sin(u * 11.0 + 1.3);
            if (v > hill1) mix(p, 60 + 40 * u, 120 - 30 * (v - hill1), 50, 1.0);
            if (v > hill2) mix(p, 110 - 40 * u, 90 + 20 * u, 40, 1.0);
            // A skin-toned disc with shading (a face-like patch).
            const double df = std::hypot(u - 0.3, (v - 0.45) * h / w);
            if (df < 0.12) mix(p, 224 - 250 * df, 172 - 250 * df, 140 - 200 * df, 1.0);
            // A grey ramp and saturated bars along the bottom.
            if (v > 0.88 && v <= 0.94) {
                const double g = 255 * u;
                mix(p, g, g, g, 1.0);
            }
            if (v > 0.94) {
                static const double bars[6][3] = {{220, 30, 30}, {240, 200, 20}, {30, 170, 50},
                                                  {20, 170, 200}, {40, 50, 190}, {190, 40, 170}};
                const double* c = bars[std::min(5, static_cast<int>(u * 6))];
                mix(p, c[0], c[1], c[2], 1.0);
            }
        }
    }
    return img;
}

}  // namespace aucal
