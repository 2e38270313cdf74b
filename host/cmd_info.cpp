// aucal info: what a saved model, block or image holds, in words and figures.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "command_registry.h"
#include "commands.h"
#include "image_io.h"
#include "imaging/image_file.h"
#include "qel_layout.h"
#include "saved_file.h"

namespace aucal {

namespace {

namespace sm = qel::scanner_model;

float floatAt(const std::vector<std::uint8_t>& bytes, std::size_t index) {
    float f;
    std::memcpy(&f, &bytes[4 * index], 4);
    return f;
}

void describeModel(const std::vector<std::uint8_t>& m) {
    std::printf("  tone curves (relative luminance at levels 0, 64, 128, 192, 255):\n");
    const char* names[3] = {"red", "green", "blue"};
    for (int c = 0; c < 3; ++c) {
        std::printf("    %-5s", names[c]);
        for (int v : {0, 64, 128, 192, 255}) std::printf(" %8.5f", floatAt(m, sm::toneIndex(c, v)));
        std::printf("\n");
    }
    std::printf("  linear matrix (raw levels to XYZ / target white), rows X, Y, Z: constant, R, G, B\n");
    for (int r = 0; r < 3; ++r)
        std::printf("    %10.6f %10.6f %10.6f %10.6f\n", floatAt(m, sm::linearMatrixIndex(r, 0)),
                    floatAt(m, sm::linearMatrixIndex(r, 1)), floatAt(m, sm::linearMatrixIndex(r, 2)),
                    floatAt(m, sm::linearMatrixIndex(r, 3)));
    const std::size_t black = sm::gridIndex(0, 0, 0), white = sm::gridIndex(16, 16, 16);
    std::printf("  grid: scanner black L*a*b* %.2f %.2f %.2f, scanner white %.2f %.2f %.2f\n", floatAt(m, black),
                floatAt(m, black + 1), floatAt(m, black + 2), floatAt(m, white), floatAt(m, white + 1),
                floatAt(m, white + 2));
    int nonFinite = 0;
    for (int i = 0; i < sm::kFloats; ++i)
        if (!std::isfinite(floatAt(m, i))) ++nonFinite;
    const std::string finite = nonFinite == 0 ? "all " + std::to_string(sm::kFloats) + " values finite"
                                              : std::to_string(nonFinite) + " values not finite";
    std::printf("  %s\n", finite.c_str());
}

void describeMatrixBlock(const std::vector<std::uint8_t>& b) {
    std::printf("  matrix (scanner levels to linear monitor drive x 255), rows R, G, B: constant, R, G, B\n");
    for (int r = 0; r < 3; ++r) {
        float v[4];
        for (int j = 0; j < 4; ++j) v[j] = qel::loadFloatLE(&b[qel::matrixEntryOffset(r, j)]);
        std::printf("    %10.4f %10.4f %10.4f %10.4f\n", v[0], v[1], v[2], v[3]);
    }
    std::printf("  gamma tables at levels 64, 128, 192: R %d %d %d, G %d %d %d, B %d %d %d\n", b[64], b[128], b[192],
                b[256 + 64], b[256 + 128], b[256 + 192], b[512 + 64], b[512 + 128], b[512 + 192]);
}

void describeLookupBlock(const std::vector<std::uint8_t>& b) {
    std::printf("  input tables at levels 0, 128, 255: R %d %d %d, G %d %d %d, B %d %d %d\n", b[0], b[128], b[255],
                b[256], b[256 + 128], b[256 + 255], b[512], b[512 + 128], b[512 + 255]);
    auto node = [&](int i0, int i1, int i2) { return &b[qel::lutNodeOffset(i0, i1, i2)]; };
    const std::uint8_t* k = node(0, 0, 0);
    const std::uint8_t* w = node(16, 16, 16);
    const std::uint8_t* g = node(8, 8, 8);
    std::printf("  grid 17 x 17 x 17: black -> %d %d %d, middle grey -> %d %d %d, white -> %d %d %d\n", k[0], k[1], k[2],
                g[0], g[1], g[2], w[0], w[1], w[2]);
}

// The figures saved with the file, as the characterisation printed them.
void printNote(const LoadedFile& file) {
    if (file.version < 2) std::printf("  saved before files carried their quality figures (format version 1)\n");
    std::size_t start = 0;
    for (std::size_t end; (end = file.note.find('\n', start)) != std::string::npos; start = end + 1)
        std::printf("  %s\n", file.note.substr(start, end - start).c_str());
}

}  // namespace

int runInfo(const InfoOptions& o) {
    int failures = 0;
    for (const std::string& path : o.files) {
        std::string error;
        LoadedFile file;
        if (imaging::formatFromPath(path) != imaging::Format::Unknown) {
            RgbImage image;
            if (!readImage(path, &image, &error)) {
                fail(error);
                ++failures;
                continue;
            }
            double sum[3] = {0, 0, 0};
            for (std::size_t i = 0; i < image.pixels.size(); i += 3)
                for (int c = 0; c < 3; ++c) sum[c] += image.pixels[i + c];
            const double n = static_cast<double>(image.width) * image.height;
            std::printf("%s: %s image, %d x %d pixels, mean RGB %.1f %.1f %.1f\n", path.c_str(),
                        imaging::formatName(imaging::formatFromPath(path)), image.width, image.height, sum[0] / n, sum[1] / n, sum[2] / n);
            continue;
        }
        if (!loadFile(path, &file, &error)) {
            fail(error);
            ++failures;
            continue;
        }
        std::printf("%s: %s, %zu bytes, checksum good\n", path.c_str(), kindName(file.kind), file.payload.size());
        printNote(file);
        switch (file.kind) {
            case SavedKind::ScannerModel: describeModel(file.payload); break;
            case SavedKind::MatrixBlock: describeMatrixBlock(file.payload); break;
            case SavedKind::LookupBlock: describeLookupBlock(file.payload); break;
        }
    }
    return failures == 0 ? 0 : 1;
}

namespace {

AddedCommand addInfo(CLI::App& app, const CommonOptions&) {
    auto o = std::make_shared<InfoOptions>();
    auto* cmd = app.add_subcommand("info", "describe a saved model, block or image")
                    ->footer("Examples:\n  aucal info scanner.mdl monitor.blk scan.tga");
    cmd->add_option("files", o->files, "files to describe")->required();
    return {cmd, [o] { return runInfo(*o); }};
}

const RegisterCommand registered(20, addInfo);

}  // namespace

}  // namespace aucal
