// One table: CorrectImage in lookup and matrix mode, LittleCMS transforming
// the same image through a device link with the same grid and input curves,
// and memcpy of the same bytes; 4096 x 4096 random and smooth images, in
// Mpixel/s (best of several runs), with the ratios to LittleCMS and memcpy.
#include <lcms2.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "correction_blocks.h"
#include "qel_cms.h"

namespace {

constexpr int kSide = 4096;
constexpr std::size_t kPixels = static_cast<std::size_t>(kSide) * kSide;

std::vector<std::uint8_t> randomImage() {
    std::vector<std::uint8_t> img(3 * kPixels);
    std::mt19937 rng(1);
    for (auto& b : img) b = static_cast<std::uint8_t>(rng());
    return img;
}

// Smooth, photograph-like: slow gradients with gentle curvature.
std::vector<std::uint8_t> smoothImage() {
    std::vector<std::uint8_t> img(3 * kPixels);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            std::uint8_t* p = &img[3 * (static_cast<std::size_t>(y) * kSide + x)];
            const double u = x / double(kSide), v = y / double(kSide);
            p[0] = static_cast<std::uint8_t>(60 + 150 * u * (1 - 0.3 * v));
            p[1] = static_cast<std::uint8_t>(90 + 120 * v * (1 - 0.2 * u));
            p[2] = static_cast<std::uint8_t>(140 + 80 * (u - v) * (u - v));
        }
    return img;
}

// A plausible printer block: monotone input curves and a smooth grid.
std::vector<std::uint8_t> lutBlock() {
    std::vector<std::uint8_t> b(qel::kLutBlockReportedSize, 0);
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i) b[256 * c + i] = static_cast<std::uint8_t>(255.0 * std::pow(i / 255.0, 0.8 + 0.1 * c));
    for (int i0 = 0; i0 < 17; ++i0)
        for (int i1 = 0; i1 < 17; ++i1)
            for (int i2 = 0; i2 < 17; ++i2) {
                std::uint8_t* n = &b[qel::lutNodeOffset(i0, i1, i2)];
                n[0] = static_cast<std::uint8_t>(std::min(255, 15 * i0 + i1));
                n[1] = static_cast<std::uint8_t>(std::min(255, 14 * i1 + i2 + 10));
                n[2] = static_cast<std::uint8_t>(std::min(255, 13 * i2 + i0 + 20));
            }
    return b;
}

std::vector<std::uint8_t> matrixBlock() {
    std::vector<std::uint8_t> b(qel::kMatrixBlockReportedSize, 0);
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 256; ++i) b[256 * k + i] = static_cast<std::uint8_t>(255.0 * std::pow(i / 255.0, 0.45));
    const float m[3][4] = {{2.0f, 0.9f, 0.05f, 0.05f}, {-1.0f, 0.1f, 0.8f, 0.1f}, {0.5f, 0.02f, 0.08f, 0.9f}};
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 4; ++j) qel::storeFloatLE(&b[768 + 4 * (4 * k + j)], m[k][j]);
    return b;
}

// The same correction as a LittleCMS device link: the input tables as
// tabulated curves (grid coordinate g on an axis whose node 16 is 256), the
// grid as a 17-point CLUT.
cmsHTRANSFORM lcmsTransform(const std::vector<std::uint8_t>& b) {
    cmsContext ctx = nullptr;
    cmsToneCurve* curves[3];
    for (int c = 0; c < 3; ++c) {
        cmsUInt16Number t[256];
        for (int i = 0; i < 256; ++i) t[i] = static_cast<cmsUInt16Number>(b[256 * c + i] * 65535.0 / 256.0 + 0.5);
        curves[c] = cmsBuildTabulatedToneCurve16(ctx, 256, t);
    }
    std::vector<cmsUInt16Number> table(17 * 17 * 17 * 3);
    for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<cmsUInt16Number>(b[768 + i] * 257);
    cmsPipeline* pipe = cmsPipelineAlloc(ctx, 3, 3);
    cmsPipelineInsertStage(pipe, cmsAT_END, cmsStageAllocToneCurves(ctx, 3, curves));
    cmsPipelineInsertStage(pipe, cmsAT_END, cmsStageAllocCLut16bit(ctx, 17, 3, 3, table.data()));
    cmsHPROFILE link = cmsCreateProfilePlaceholder(ctx);
    cmsSetProfileVersion(link, 4.3);
    cmsSetDeviceClass(link, cmsSigLinkClass);
    cmsSetColorSpace(link, cmsSigRgbData);
    cmsSetPCS(link, cmsSigRgbData);
    cmsWriteTag(link, cmsSigAToB0Tag, pipe);
    cmsHTRANSFORM xf = cmsCreateTransform(link, TYPE_RGB_8, nullptr, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    cmsPipelineFree(pipe);
    for (auto* c : curves) cmsFreeToneCurve(c);
    cmsCloseProfile(link);
    return xf;
}

double bestMpixels(const std::vector<std::uint8_t>& image, const std::function<void(std::uint8_t*)>& run) {
    std::vector<std::uint8_t> work(image.size());
    double best = 1e30;
    for (int rep = 0; rep < 5; ++rep) {
        std::memcpy(work.data(), image.data(), image.size());
        const auto t0 = std::chrono::steady_clock::now();
        run(work.data());
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        best = std::min(best, s);
    }
    return kPixels / best / 1e6;
}

}  // namespace

int main() {
    const auto lut = lutBlock();
    const auto mat = matrixBlock();
    cmsHTRANSFORM xf = lcmsTransform(lut);
    std::vector<std::uint8_t> sink(3 * kPixels);

    struct Row {
        const char* name;
        double random, smooth;
    };
    std::vector<Row> rows;
    const auto random = randomImage();
    const auto smooth = smoothImage();
    auto measure = [&](const char* name, const std::function<void(std::uint8_t*)>& f) {
        rows.push_back({name, bestMpixels(random, f), bestMpixels(smooth, f)});
    };
    measure("CorrectImage lookup", [&](std::uint8_t* p) {
        InitCorrect(lut.data(), static_cast<int32_t>(lut.size()));
        ImageBuffer img{kSide, kSide, p};
        CorrectImage(&img);
        ReleaseCorrect();
    });
    measure("CorrectImage matrix", [&](std::uint8_t* p) {
        InitCorrect(mat.data(), static_cast<int32_t>(mat.size()));
        ImageBuffer img{kSide, kSide, p};
        CorrectImage(&img);
        ReleaseCorrect();
    });
    measure("LittleCMS device link", [&](std::uint8_t* p) { cmsDoTransform(xf, p, p, kPixels); });
    measure("memcpy", [&](std::uint8_t* p) { std::memcpy(sink.data(), p, 3 * kPixels); });
    cmsDeleteTransform(xf);

    const Row& lcms = rows[2];
    const Row& copy = rows[3];
    std::printf("Image correction, 4096 x 4096 pixels, one core, Mpixel/s (best of 5)\n");
    std::printf("%-24s %10s %10s %10s %10s %10s %10s\n", "", "random", "smooth", "/LCMS rnd", "/LCMS smo",
                "/memcpy rnd", "/memcpy smo");
    for (const Row& r : rows)
        std::printf("%-24s %10.1f %10.1f %10.2f %10.2f %10.3f %10.3f\n", r.name, r.random, r.smooth,
                    r.random / lcms.random, r.smooth / lcms.smooth, r.random / copy.random, r.smooth / copy.smooth);
    return 0;
}
