// aucal demo: the calibration run end to end into one folder, with a summary.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "commands.h"
#include "image_io.h"
#include "sample_image.h"
#include "saved_file.h"
#include "status_text.h"

namespace aucal {

namespace {

// A lookup block that warms and slightly saturates: identity input tables,
// grid nodes holding the transformed node colours.
std::vector<std::uint8_t> demoLookupBlock() {
    std::vector<std::uint8_t> b(QEL_LUT_BLOCK_SIZE, 0);
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i) b[256 * c + i] = static_cast<std::uint8_t>(i);
    for (int i0 = 0; i0 < 17; ++i0)
        for (int i1 = 0; i1 < 17; ++i1)
            for (int i2 = 0; i2 < 17; ++i2) {
                const double r = std::min(255, 16 * i0), g = std::min(255, 16 * i1), bl = std::min(255, 16 * i2);
                const double grey = 0.3 * r + 0.59 * g + 0.11 * bl;
                auto out = [&](double v, double tint) {
                    return static_cast<std::uint8_t>(std::clamp(grey + 1.25 * (v - grey) + tint, 0.0, 255.0));
                };
                std::uint8_t* n = &b[768 + 3 * (289 * i0 + 17 * i1 + i2)];
                n[0] = out(r, 12);
                n[1] = out(g, 4);
                n[2] = out(bl, -14);
            }
    return b;
}

// A matrix block: a mild channel mix in 0..255 units and gamma tables that
// brighten the mid-tones.
std::vector<std::uint8_t> demoMatrixBlock() {
    std::vector<std::uint8_t> b(QEL_MATRIX_BLOCK_SIZE, 0);
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i)
            b[256 * c + i] = static_cast<std::uint8_t>(255.0 * std::pow(i / 255.0, 1.0 / 1.3) + 0.5);
    const float m[3][4] = {{0.0f, 0.92f, 0.06f, 0.02f}, {0.0f, 0.04f, 0.92f, 0.04f}, {0.0f, 0.02f, 0.08f, 0.90f}};
    std::memcpy(&b[768], m, sizeof m);
    return b;
}

}  // namespace

int runDemo(const DemoOptions& o, const CommonOptions& common) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(o.outputDir, ec);
    if (ec) return fail("cannot create " + o.outputDir + ": " + ec.message());

    EngineLibrary engine;
    std::string error;
    if (!loadEngine(&engine, &error)) return fail(error);
    const EngineExports& x = engine.exports();

    const RgbImage picture = samplePicture(640, 427);
    const std::string original = (fs::path(o.outputDir) / "sample.tga").string();
    if (!writeImage(original, picture, &error)) return fail(error);

    struct Step {
        const char* name;
        SavedKind kind;
        std::vector<std::uint8_t> block;
        const char* blockFile;
        const char* imageFile;
    } steps[] = {
        {"lookup correction", SavedKind::LookupBlock, demoLookupBlock(), "demo-lookup.blk", "sample-lookup.tga"},
        {"matrix correction", SavedKind::MatrixBlock, demoMatrixBlock(), "demo-matrix.blk", "sample-matrix.tga"},
    };
    for (Step& s : steps) {
        const std::string blockPath = (fs::path(o.outputDir) / s.blockFile).string();
        if (!saveFile(blockPath, s.kind, s.block, &error)) return fail(error);
        if (int32_t st = x.initCorrect(s.block.data(), static_cast<int32_t>(s.block.size())); st != 0)
            return fail(statusSentence(Export::InitCorrect, st));
        RgbImage image = picture;
        ImageBuffer buffer{image.height, image.width, image.pixels.data()};
        const auto t0 = std::chrono::steady_clock::now();
        const int32_t st = x.correctImage(&buffer);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        x.releaseCorrect();
        if (st != 0) return fail(statusSentence(Export::CorrectImage, st));
        const std::string out = (fs::path(o.outputDir) / s.imageFile).string();
        if (!writeImage(out, image, &error)) return fail(error);
        if (!common.quiet)
            std::printf("%-18s %s applied to %dx%d in %.2f ms -> %s\n", s.name, blockPath.c_str(), image.width,
                        image.height, ms, out.c_str());
    }
    if (!common.quiet) std::printf("demo written to %s (original: %s)\n", o.outputDir.c_str(), original.c_str());
    return 0;
}

}  // namespace aucal
