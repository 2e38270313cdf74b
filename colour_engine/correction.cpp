// InitCorrect, CorrectImage, ReleaseCorrect: one loaded block, applied to
// image buffers in place.
#include "correction.h"

#include <cstdint>
#include <cstring>

#include "correction_blocks.h"
#include "engine_state.h"
#include "frame.h"
#include "numeric.h"
#include "platform/memory.h"
#include "qel_cms.h"

namespace qel {

void correctLookup(const std::uint8_t* block, std::uint8_t* pixels, std::size_t pixelCount) {
    const std::uint8_t* in0 = block;
    const std::uint8_t* in1 = block + 256;
    const std::uint8_t* in2 = block + 512;
    const std::uint8_t* grid = block + 768;
    // Byte offsets of the corner nodes from node (xi, yi, zi).
    constexpr std::size_t dX = 3 * 289, dY = 3 * 17, dZ = 3;
    for (std::size_t i = 0; i < pixelCount; ++i) {
        std::uint8_t* p = pixels + 3 * i;
        const unsigned x = in0[p[0]], y = in1[p[1]], z = in2[p[2]];
        const unsigned xf = x & 15, yf = y & 15, zf = z & 15;
        const unsigned xg = 16 - xf, yg = 16 - yf, zg = 16 - zf;
        const std::uint8_t* n = grid + 3 * (289 * (x >> 4) + 17 * (y >> 4) + (z >> 4));
        const unsigned w000 = xg * yg * zg, w001 = xg * yg * zf, w010 = xg * yf * zg, w011 = xg * yf * zf;
        const unsigned w100 = xf * yg * zg, w101 = xf * yg * zf, w110 = xf * yf * zg, w111 = xf * yf * zf;
        std::uint8_t out[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned s = w000 * n[c] + w001 * n[dZ + c] + w010 * n[dY + c] + w011 * n[dY + dZ + c] +
                               w100 * n[dX + c] + w101 * n[dX + dZ + c] + w110 * n[dX + dY + c] +
                               w111 * n[dX + dY + dZ + c];
            out[c] = static_cast<std::uint8_t>(s >> 12);
        }
        p[0] = out[0];
        p[1] = out[1];
        p[2] = out[2];
    }
}

void correctMatrix(const std::int32_t matrix[3][4], const std::uint8_t tables[3][256], std::uint8_t* pixels,
                   std::size_t pixelCount) {
    for (std::size_t i = 0; i < pixelCount; ++i) {
        std::uint8_t* p = pixels + 3 * i;
        const std::int64_t p0 = p[0], p1 = p[1], p2 = p[2];
        std::uint8_t out[3];
        for (int k = 0; k < 3; ++k) {
            // Formed in 64 bits: matrix entries come from host floats and may be
            // anywhere in the 32-bit range.
            std::int64_t w = static_cast<std::int64_t>(matrix[k][0]) + matrix[k][1] * p0 + matrix[k][2] * p1 +
                             matrix[k][3] * p2;
            if (w < 0) w = 0;
            const unsigned index = w < 16320 ? static_cast<unsigned>(w >> 6) : 255u;
            out[k] = tables[k][index];
        }
        p[0] = out[0];
        p[1] = out[1];
        p[2] = out[2];
    }
}

}  // namespace qel

using qel::g_engine;

extern "C" {

QEL_API int32_t QEL_CDECL InitCorrect(const void* block, int32_t size) {
    qel::CorrectionState& s = g_engine.correction;
    const bool matrixMode = size <= static_cast<int32_t>(qel::kMatrixBlockReportedSize);
    s.mode = matrixMode ? qel::CorrectionMode::Matrix : qel::CorrectionMode::Lookup;
    if (size < 0 || block == nullptr) return QEL_INIT_NO_MEMORY;

    // The copy is never smaller than the layout that the correction reads, so
    // a short block reads zeros instead of running past the engine's copy.
    const std::size_t layout = matrixMode ? qel::kMatrixBlockLayoutBytes : qel::kLutBlockLayoutBytes;
    const std::size_t bytes = static_cast<std::size_t>(size) < layout ? layout : static_cast<std::size_t>(size);
    PfGlobal handle = pfGlobalAlloc(qel::kFixedShareZeroed, bytes);
    if (handle == nullptr) return QEL_INIT_NO_MEMORY;
    auto* copy = static_cast<std::uint8_t*>(pfGlobalLock(handle));
    if (copy == nullptr || pfGlobalSize(handle) < bytes) {
        if (copy != nullptr) pfGlobalUnlock(handle);
        pfGlobalFree(handle);
        return QEL_INIT_NO_MEMORY;
    }
    std::memcpy(copy, block, static_cast<std::size_t>(size));

    // A block still loaded is released now, so that nothing leaks.
    if (s.blockHandle != nullptr) {
        pfGlobalUnlock(s.blockHandle);
        pfGlobalFree(s.blockHandle);
        s.lookupSlot = nullptr;
    }
    s.blockHandle = handle;

    if (matrixMode) {
        std::memcpy(s.tables, copy, sizeof s.tables);
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 4; ++j)
                s.matrix[k][j] = qel::truncToInt32(
                    static_cast<double>(qel::loadFloatLE(copy + 768 + 4 * (4 * k + j))) * 64.0);
        s.matrixSlot = copy;
    } else {
        s.lookupSlot = copy;
    }
    return QEL_INIT_OK;
}

QEL_API int32_t QEL_CDECL CorrectImage(ImageBuffer* image) {
    const qel::CorrectionState& s = g_engine.correction;
    const bool matrixMode = s.mode == qel::CorrectionMode::Matrix;
    if (matrixMode ? s.matrixSlot == nullptr : s.lookupSlot == nullptr) return QEL_CORRECT_NOTHING_LOADED;
    if (image == nullptr || image->lineCount <= 0 || image->pixelsPerLine <= 0) return QEL_CORRECT_OK;
    // The pixel count is formed in 64 bits; a count that no address space can
    // hold (only a record overstating its buffer) corrects nothing.
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(image->lineCount) * static_cast<std::uint64_t>(image->pixelsPerLine);
    if (pixels > SIZE_MAX / 3) return QEL_CORRECT_OK;
    if (matrixMode)
        qel::correctMatrix(s.matrix, s.tables, image->pixels, static_cast<std::size_t>(pixels));
    else
        qel::correctLookup(s.lookupSlot, image->pixels, static_cast<std::size_t>(pixels));
    return QEL_CORRECT_OK;
}

QEL_API int32_t QEL_CDECL ReleaseCorrect(void) {
    qel::CorrectionState& s = g_engine.correction;
    if (s.blockHandle == nullptr) return QEL_RELEASE_NOTHING_LOADED;
    pfGlobalUnlock(s.blockHandle);
    pfGlobalFree(s.blockHandle);
    s.blockHandle = nullptr;
    s.lookupSlot = nullptr;
    // The matrix tables and the matrix stay: matrix mode keeps correcting with
    // the last matrix block until the next InitCorrect. matrixSlot only records
    // that one was loaded; it is never read through.
    return QEL_RELEASE_OK;
}
}
