// Image correction on both platforms: random lookup blocks and matrix blocks
// (including matrices of huge, infinite and NaN floats) applied to the same
// images must give the same bytes, on every kernel path (forced through
// AUCAL_CORRECTION_KERNEL, which InitCorrect reads), and the paths the same
// bytes as each other.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "qel_layout.h"
#include "crosscheck.h"
#include "qel_cms.h"

namespace {

using crosscheck::Library;
using crosscheck::callCdecl;
using crosscheck::check;
using crosscheck::require;
using Bytes = std::vector<std::uint8_t>;

constexpr int kLookupBlocks = 6;
constexpr int kMatrixBlocks = 8;
constexpr int kImageLines = 61;
constexpr int kImagePixels = 67;

// Every level of every channel, then random pixels in runs of 1 to 20 (the
// kernels reuse the last result, and take runs of eight at once).
Bytes makeImage(crosscheck::Random& random) {
    Bytes image(static_cast<std::size_t>(kImageLines) * kImagePixels * 3);
    for (std::size_t i = 0; i < 256 * 3; ++i) image[i] = static_cast<std::uint8_t>(i / 3 + 85 * (i % 3));
    for (std::size_t i = 256 * 3; i < image.size();) {
        const std::uint8_t pixel[3] = {random.byte(), random.byte(), random.byte()};
        for (std::uint32_t run = 1 + random.below(20); run > 0 && i < image.size(); --run)
            for (int c = 0; c < 3; ++c) image[i++] = pixel[c];
    }
    return image;
}

std::string blockName(const char* kind, int index) {
    return std::string("correction/") + kind + "_" + std::to_string(index) + ".bin";
}

// The matrices: sane ones, then the ones that a broken producer or a damaged
// stored block could hand over.
std::vector<std::array<float, 12>> matrices(crosscheck::Random& random) {
    std::vector<std::array<float, 12>> m;
    for (int n = 0; n < 4; ++n) {
        std::array<float, 12> a{};
        for (int k = 0; k < 3; ++k) {
            a[4 * k] = static_cast<float>(static_cast<int>(random.below(400)) - 80) + 0.37f;
            for (int j = 1; j < 4; ++j)
                a[4 * k + j] = static_cast<float>(static_cast<int>(random.below(4001)) - 2000) / 1000.0f;
        }
        m.push_back(a);
    }
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float big = std::numeric_limits<float>::max();
    m.push_back({1e30f, -1e30f, big, -big, inf, -inf, nan, -nan, 3.4e9f, -3.4e9f, 2.0e7f, 1e-45f});
    m.push_back({nan, 1.0f, 0.0f, 0.0f, 0.0f, nan, 1.0f, 0.0f, 0.0f, 0.0f, inf, 1.0f});
    // Around the table-index limits: w = 16319 gives 254, 16320 gives 255.
    m.push_back({16319.0f / 64.0f, 0.0f, 0.0f, 0.0f, 255.0f, 0.0f, 0.0f, 0.0f, -0.015625f, 0.0f, 0.0f, 0.0f});
    // Products that overflow 32 bits when formed naively: 33554431 x 255.
    m.push_back({0.0f, 524287.98f, 524287.98f, 524287.98f, -1e9f, 1e9f, 1e9f, 1e9f, 2e9f, -1e9f, -1e9f, -1e9f});
    return m;
}

}  // namespace

CROSSCHECK_INPUT(correction_blocks) {
    crosscheck::Random random(0x5EED0001);
    crosscheck::writeInput("correction/image.rgb", makeImage(random));
    for (int i = 0; i < kLookupBlocks; ++i) {
        Bytes block = random.bytes(qel::kLutBlockReportedSize);
        if (i == 0) {
            // Identity tables and a grid of min(16 k, 255) along each axis.
            for (int c = 0; c < 3; ++c)
                for (int v = 0; v < 256; ++v) block[256 * c + v] = static_cast<std::uint8_t>(v);
            for (int a = 0; a < 17; ++a)
                for (int b = 0; b < 17; ++b)
                    for (int d = 0; d < 17; ++d) {
                        const std::size_t o = qel::lutNodeOffset(a, b, d);
                        block[o] = static_cast<std::uint8_t>(std::min(16 * a, 255));
                        block[o + 1] = static_cast<std::uint8_t>(std::min(16 * b, 255));
                        block[o + 2] = static_cast<std::uint8_t>(std::min(16 * d, 255));
                    }
        }
        crosscheck::writeInput(blockName("lut", i), block);
    }
    const auto ms = matrices(random);
    require(ms.size() == kMatrixBlocks, "matrix count");
    for (std::size_t i = 0; i < ms.size(); ++i) {
        Bytes block = random.bytes(qel::kMatrixBlockReportedSize);
        for (int j = 0; j < 12; ++j) qel::storeFloatLE(block.data() + qel::matrixEntryOffset(0, j), ms[i][j]);
        crosscheck::writeInput(blockName("matrix", static_cast<int>(i)), block);
    }
}

namespace {

// The kernel paths; on a processor without AVX2 that path gives the best one.
const char* const kKernelPaths[] = {"generic", "sse2", "avx2"};

// The library and this program share the C runtime's environment.
void forceKernel(const char* path) {
    const std::string setting = std::string("AUCAL_CORRECTION_KERNEL=") + path;
#ifdef _WIN32
    _putenv(setting.c_str());
#else
    setenv("AUCAL_CORRECTION_KERNEL", path, 1);
#endif
}

// Writes one path's result and requires it to equal the first path's.
void writePathOutput(const std::string& name, const char* path, const Bytes& out, std::vector<Bytes>& firsts,
                     std::size_t index) {
    crosscheck::writeOutput("correction/" + std::string(path) + "/" + name, out);
    if (firsts.size() <= index) firsts.resize(index + 1);
    if (firsts[index].empty())
        firsts[index] = out;
    else
        check(out == firsts[index], std::string(path) + " differs from " + kKernelPaths[0] + " for " + name);
}

// Corrects a copy of the shared image with the block loaded as size bytes.
Bytes corrected(const Library& engine, const Bytes& block, std::int32_t size, const Bytes& image) {
    require(block.size() >= static_cast<std::size_t>(size), "block shorter than its size");
    std::int32_t status = callCdecl<std::int32_t>(engine, "InitCorrect", static_cast<const void*>(block.data()), size);
    require(status == QEL_INIT_OK, "InitCorrect(" + std::to_string(size) + ") gave " + std::to_string(status));
    Bytes pixels = image;
    ImageBuffer buffer{kImageLines, kImagePixels, pixels.data()};
    status = callCdecl<std::int32_t>(engine, "CorrectImage", &buffer);
    check(status == QEL_CORRECT_OK, "CorrectImage gave " + std::to_string(status));
    status = callCdecl<std::int32_t>(engine, "ReleaseCorrect");
    check(status == QEL_RELEASE_OK, "ReleaseCorrect gave " + std::to_string(status));
    return pixels;
}

}  // namespace

CROSSCHECK_CASE(correction_lookup) {
    Library engine = crosscheck::loadLibrary("qel_cms");
    const Bytes image = crosscheck::readInput("correction/image.rgb");
    std::vector<Bytes> firsts;
    for (const char* path : kKernelPaths) {
        forceKernel(path);
        for (int i = 0; i < kLookupBlocks; ++i) {
            const Bytes block = crosscheck::readInput(blockName("lut", i));
            const Bytes out = corrected(engine, block, static_cast<std::int32_t>(qel::kLutBlockReportedSize), image);
            writePathOutput("lut_" + std::to_string(i) + ".rgb", path, out, firsts, static_cast<std::size_t>(i));
            if (i == 0) {
                // The identity grid: multiples of 16 stay, 255 becomes 254.
                for (int v = 0; v < 256; ++v) {
                    if (v % 16 != 0 && v != 255) continue;
                    if (out[3 * v] != (v == 255 ? 254 : v)) {
                        check(false, "identity grid: level " + std::to_string(v) + " gave " + std::to_string(out[3 * v]));
                        break;
                    }
                }
            }
        }
        // The smallest lookup size: only its 819 bytes are the host's.
        const Bytes block = crosscheck::readInput(blockName("lut", 1));
        writePathOutput("lut_819.rgb", path, corrected(engine, block, 819, image), firsts, kLookupBlocks);
    }
    forceKernel("");
}

CROSSCHECK_CASE(correction_matrix) {
    Library engine = crosscheck::loadLibrary("qel_cms");
    const Bytes image = crosscheck::readInput("correction/image.rgb");
    std::vector<Bytes> firsts;
    for (const char* path : kKernelPaths) {
        forceKernel(path);
        for (int i = 0; i < kMatrixBlocks; ++i) {
            const Bytes block = crosscheck::readInput(blockName("matrix", i));
            const Bytes out = corrected(engine, block, static_cast<std::int32_t>(qel::kMatrixBlockReportedSize), image);
            writePathOutput("matrix_" + std::to_string(i) + ".rgb", path, out, firsts, static_cast<std::size_t>(i));

            // Matrix mode keeps its tables after ReleaseCorrect.
            Bytes again = image;
            ImageBuffer buffer{kImageLines, kImagePixels, again.data()};
            const std::int32_t status = callCdecl<std::int32_t>(engine, "CorrectImage", &buffer);
            check(status == QEL_CORRECT_OK && again == out,
                  "matrix " + std::to_string(i) + ": correcting after ReleaseCorrect differs (status " +
                      std::to_string(status) + ")");
        }
    }
    forceKernel("");
}

CROSSCHECK_CASE(correction_nothing_loaded) {
    Library engine = crosscheck::loadLibrary("qel_cms");
    const Bytes image = crosscheck::readInput("correction/image.rgb");
    Bytes pixels = image;
    ImageBuffer buffer{kImageLines, kImagePixels, pixels.data()};
    // Lookup mode selected, nothing loaded for it.
    const Bytes lut = crosscheck::readInput(blockName("lut", 2));
    corrected(engine, lut, static_cast<std::int32_t>(qel::kLutBlockReportedSize), image);
    const std::int32_t status = callCdecl<std::int32_t>(engine, "CorrectImage", &buffer);
    check(status == QEL_CORRECT_NOTHING_LOADED, "CorrectImage after ReleaseCorrect in lookup mode gave " +
                                                    std::to_string(status));
    check(pixels == image, "the image changed although nothing was loaded");
    check(callCdecl<std::int32_t>(engine, "ReleaseCorrect") == QEL_RELEASE_NOTHING_LOADED,
          "ReleaseCorrect with nothing loaded did not give 1");
}
