// How the 16-bit correction agrees with CorrectImage on v x 257 pixels, for
// the sample lookup and matrix blocks; then the peak memory of
// `aucal correct` on a 20,000 x 20,000 image: the picture is
// written strip by strip as an LZW TIFF (8-bit RGB; AUCAL_BENCH_LARGE_16=1
// adds the 16-bit one), then corrected by aucal under /usr/bin/time -v, whose
// "Maximum resident set size" is the figure. The correction reads, corrects
// and writes in strips, so the peak stays far below the 1.2 GB (2.4 GB at 16
// bits) of the whole picture.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "commands.h"
#include "image_correction.h"
#include "imaging/image_file.h"
#include "sample_blocks.h"
#include "saved_file.h"

namespace {

namespace fs = std::filesystem;
constexpr int kSide = 20000;

bool writePicture(const std::string& path, int bits) {
    imaging::Image shape;
    shape.width = shape.height = kSide;
    shape.bitsPerSample = bits;
    std::string error;
    auto writer = imaging::createImage(path, imaging::Format::Tiff, {}, &error);
    if (!writer || !writer->beginPage(shape, &error)) return false;
    imaging::Image strip = imaging::Image::make(kSide, 64, 3, bits);
    for (int y = 0; y < kSide; y += 64) {
        for (int r = 0; r < 64; ++r)
            for (int x = 0; x < kSide; ++x)
                for (int c = 0; c < 3; ++c) {
                    const unsigned v = ((x >> 4) + ((y + r) >> 5) * (c + 1)) & 255;
                    strip.setSample(x, r, c, bits == 8 ? v : v * 257 + (x & 255));
                }
        if (!writer->writeRows(std::min(64, kSide - y), strip.pixels.data(), &error)) return false;
    }
    return writer->finish(&error);
}

// Runs aucal correct under /usr/bin/time -v; the peak resident memory in KiB.
long peakKiB(const std::string& block, const std::string& in, const std::string& out, const std::string& log) {
    const std::string cmd = "/usr/bin/time -v " AUCAL_PROGRAM " -q correct --block " + block + " -o " + out + " " + in +
                            " 2> " + log;
    if (std::system(cmd.c_str()) != 0) return -1;
    std::FILE* f = std::fopen(log.c_str(), "r");
    if (f == nullptr) return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f) != nullptr)
        if (std::sscanf(line, " Maximum resident set size (kbytes): %ld", &kib) == 1) break;
    std::fclose(f);
    return kib;
}

}  // namespace

void agreementTable() {
    aucal::EngineLibrary engine;
    std::string error;
    if (!aucal::loadEngine(&engine, &error)) {
        std::fprintf(stderr, "large_image_report: %s\n", error.c_str());
        return;
    }
    std::printf("16-bit path against CorrectImage, 100000 random pixels v (8-bit) and v x 257 (16-bit, rounded back)\n");
    std::printf("  %-8s %12s %8s %12s\n", "block", "mean |diff|", "largest", "within one");
    const std::pair<const char*, std::vector<std::uint8_t>> blocks[] = {{"lookup", lutBlock()}, {"matrix", matrixBlock()}};
    for (const auto& [name, block] : blocks) {
        if (engine.exports().initCorrect(const_cast<std::uint8_t*>(block.data()), static_cast<std::int32_t>(block.size())) != 0)
            continue;
        auto eight = aucal::engineCorrection(engine.exports());
        auto sixteen = aucal::blockTransform16(block, &error);
        if (sixteen) {
            const aucal::DepthAgreement a = aucal::measureDepthAgreement(*eight, *sixteen, 100000, 20261208u);
            std::printf("  %-8s %12.3f %8d %11.1f%%\n", name, a.meanDifference, a.largestDifference, 100 * a.withinOneLevel);
        }
        engine.exports().releaseCorrect();
    }
    std::printf("\n");
}

int main() {
    agreementTable();
    const fs::path dir = fs::temp_directory_path() / "aucal_large_image";
    fs::create_directories(dir);
    const std::string block = (dir / "printer.blk").string();
    std::string error;
    const std::vector<std::uint8_t> lut = lutBlock();
    if (!aucal::saveFile(block, aucal::SavedKind::LookupBlock, lut, &error)) {
        std::fprintf(stderr, "large_image_report: %s\n", error.c_str());
        return 1;
    }
    std::printf("aucal correct on a %d x %d image (peak resident memory, /usr/bin/time -v)\n", kSide, kSide);
    for (int bits : {8, 16}) {
        if (bits == 16 && std::getenv("AUCAL_BENCH_LARGE_16") == nullptr) continue;
        const std::string in = (dir / ("in" + std::to_string(bits) + ".tif")).string();
        const std::string out = (dir / ("out" + std::to_string(bits) + ".tif")).string();
        if (!writePicture(in, bits)) {
            std::fprintf(stderr, "large_image_report: cannot write %s\n", in.c_str());
            return 1;
        }
        const long kib = peakKiB(block, in, out, (dir / "time.log").string());
        std::printf("  %2d-bit RGB TIFF (%.1f GB of pixels): peak %.1f MiB\n", bits,
                    3.0 * bits / 8 * kSide * kSide / 1e9, kib / 1024.0);
        fs::remove(in);
        fs::remove(out);
    }
    fs::remove_all(dir);
    return 0;
}
