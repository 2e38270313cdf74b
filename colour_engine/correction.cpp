// InitCorrect, CorrectImage, ReleaseCorrect: one loaded block, applied to
// image buffers in place.
#include "correction.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "correction_blocks.h"
#include "engine_state.h"
#include "frame.h"
#include "numeric.h"
#include "platform/memory.h"
#include "qel_cms.h"

namespace qel {

namespace {

// Per-call preparation of the lookup kernel.
//  - axis[c][v]: for input level v of channel c, the index of its lower grid
//    node along that axis times the node stride (in pair-table entries),
//    shifted left by 4, with the fraction in sixteenths in the low 4 bits.
//  - pairs: for every node with i0 < 16, the node and its neighbour along
//    axis 0 interleaved byte by byte (a0 b0 a1 b1 a2 b2 0 0), so that one
//    8-byte load brings both corners of an axis-0 pair.
// The per-pixel work is then three table reads, four pair loads and the
// weighted sums, all exact integer arithmetic.
constexpr int kPairStride0 = 289, kPairStride1 = 17, kPairStride2 = 1;

struct LookupKernel {
    std::uint32_t axis[3][256];
    alignas(16) std::uint64_t pairs[16 * 289];
    // Corner weights as 16-bit lanes: yz[(yf << 4) | zf] holds the four
    // products of the axis-1 and axis-2 weights, each twice
    // (w00 w00 w01 w01 w10 w10 w11 w11); x[xf] holds (16 - xf, xf) four
    // times. Their lane-wise product is the packed pair weights.
    alignas(16) std::uint16_t yz[256][8];
    alignas(16) std::uint16_t x[16][8];
};

void prepareLookup(const std::uint8_t* block, LookupKernel* k) {
    constexpr std::uint32_t stride[3] = {kPairStride0, kPairStride1, kPairStride2};
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v) {
            const unsigned g = block[256 * c + v];
            k->axis[c][v] = ((stride[c] * (g >> 4)) << 4) | (g & 15);
        }
    const std::uint8_t* grid = block + 768;
    for (int node = 0; node < 16 * 289; ++node) {
        const std::uint8_t* a = grid + 3 * node;
        const std::uint8_t* b = a + 3 * 289;
        std::uint64_t v = 0;
        for (int c = 0; c < 3; ++c)
            v |= (static_cast<std::uint64_t>(a[c]) << (16 * c)) | (static_cast<std::uint64_t>(b[c]) << (16 * c + 8));
        k->pairs[node] = v;
    }
    for (int yf = 0; yf < 16; ++yf)
        for (int zf = 0; zf < 16; ++zf) {
            const std::uint16_t w[4] = {static_cast<std::uint16_t>((16 - yf) * (16 - zf)),
                                        static_cast<std::uint16_t>((16 - yf) * zf),
                                        static_cast<std::uint16_t>(yf * (16 - zf)), static_cast<std::uint16_t>(yf * zf)};
            for (int j = 0; j < 4; ++j) k->yz[(yf << 4) | zf][2 * j] = k->yz[(yf << 4) | zf][2 * j + 1] = w[j];
        }
    for (int xf = 0; xf < 16; ++xf)
        for (int j = 0; j < 4; ++j) {
            k->x[xf][2 * j] = static_cast<std::uint16_t>(16 - xf);
            k->x[xf][2 * j + 1] = static_cast<std::uint16_t>(xf);
        }
}

#if defined(__SSE2__)
// One axis-0 pair: pmaddwd forms w_a * a_c + w_b * b_c for the three channels
// (weights at most 4096, node bytes at most 255: exact in 32 bits).
inline __m128i pairSum(const std::uint64_t* pair, __m128i weights) {
    const __m128i ab = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(pair)), _mm_setzero_si128());
    return _mm_madd_epi16(ab, weights);
}
#endif

inline std::uint32_t pairChannelSum(std::uint64_t pair, int c, std::uint32_t wa, std::uint32_t wb) {
    return wa * static_cast<std::uint32_t>((pair >> (16 * c)) & 0xFF) +
           wb * static_cast<std::uint32_t>((pair >> (16 * c + 8)) & 0xFF);
}

}  // namespace

void correctLookup(const std::uint8_t* block, std::uint8_t* pixels, std::size_t pixelCount) {
    LookupKernel k;
    prepareLookup(block, &k);
    // Runs of equal pixels (common in smooth pictures) reuse the last result.
    std::uint32_t lastIn = 0xFFFFFFFFu, lastOut = 0;
    for (std::size_t i = 0; i < pixelCount; ++i) {
        std::uint8_t* p = pixels + 3 * i;
        const std::uint32_t in = p[0] | (p[1] << 8) | (static_cast<std::uint32_t>(p[2]) << 16);
        if (in == lastIn) {
            p[0] = static_cast<std::uint8_t>(lastOut);
            p[1] = static_cast<std::uint8_t>(lastOut >> 8);
            p[2] = static_cast<std::uint8_t>(lastOut >> 16);
            continue;
        }
        const std::uint32_t a0 = k.axis[0][p[0]], a1 = k.axis[1][p[1]], a2 = k.axis[2][p[2]];
        const std::uint64_t* n = k.pairs + ((a0 >> 4) + (a1 >> 4) + (a2 >> 4));
        const std::uint32_t xf = a0 & 15, yf = a1 & 15, zf = a2 & 15;
        const std::uint64_t* corner[4] = {n, n + kPairStride2, n + kPairStride1, n + kPairStride1 + kPairStride2};
        std::uint32_t out;
#if defined(__SSE2__)
        // Packed pair weights (16 - xf) w_j | xf w_j << 16 for j = 0..3.
        const __m128i weights = _mm_mullo_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(k.yz[(yf << 4) | zf])),
                                                _mm_load_si128(reinterpret_cast<const __m128i*>(k.x[xf])));
        __m128i sum = pairSum(corner[0], _mm_shuffle_epi32(weights, 0x00));
        sum = _mm_add_epi32(sum, pairSum(corner[1], _mm_shuffle_epi32(weights, 0x55)));
        sum = _mm_add_epi32(sum, pairSum(corner[2], _mm_shuffle_epi32(weights, 0xAA)));
        sum = _mm_add_epi32(sum, pairSum(corner[3], _mm_shuffle_epi32(weights, 0xFF)));
        sum = _mm_srli_epi32(sum, 12);
        out = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(sum, sum), sum)));
#else
        const std::uint32_t xg = 16 - xf, yg = 16 - yf, zg = 16 - zf;
        const std::uint32_t w[4] = {yg * zg, yg * zf, yf * zg, yf * zf};
        out = 0;
        for (int c = 0; c < 3; ++c) {
            std::uint32_t s = 0;
            for (int j = 0; j < 4; ++j) s += pairChannelSum(*corner[j], c, xg * w[j], xf * w[j]);
            out |= (s >> 12) << (8 * c);
        }
#endif
        p[0] = static_cast<std::uint8_t>(out);
        p[1] = static_cast<std::uint8_t>(out >> 8);
        p[2] = static_cast<std::uint8_t>(out >> 16);
        lastIn = in;
        lastOut = out;
    }
}

namespace {

// Matrix mode with every product taken from a per-call table. When no sum can
// leave the 32-bit range the tables are 32-bit; otherwise the sums are formed
// in 64 bits (factors anywhere in the 32-bit range).
template <class Sum>
void matrixKernel(const std::int32_t matrix[3][4], const std::uint8_t tables[3][256], std::uint8_t* pixels,
                  std::size_t pixelCount) {
    Sum product[3][3][256];  // 9 or 18 KiB on the stack
    Sum constant[3];
    for (int k = 0; k < 3; ++k) {
        constant[k] = matrix[k][0];
        for (int j = 0; j < 3; ++j)
            for (int v = 0; v < 256; ++v) product[k][j][v] = static_cast<Sum>(matrix[k][j + 1]) * v;
    }
    for (std::size_t i = 0; i < pixelCount; ++i) {
        std::uint8_t* p = pixels + 3 * i;
        const unsigned p0 = p[0], p1 = p[1], p2 = p[2];
        std::uint8_t out[3];
        for (int k = 0; k < 3; ++k) {
            Sum w = constant[k] + product[k][0][p0] + product[k][1][p1] + product[k][2][p2];
            w = w < 0 ? 0 : w;
            const unsigned index = w < 16320 ? static_cast<unsigned>(w >> 6) : 255u;
            out[k] = tables[k][index];
        }
        p[0] = out[0];
        p[1] = out[1];
        p[2] = out[2];
    }
}

// The common case, every sum inside 32 bits: the three output channels'
// sums side by side in one vector, products from per-level vectors
// (m[0][j] v, m[1][j] v, m[2][j] v, 0), and runs of equal pixels reusing the
// last result.
void matrixKernel32(const std::int32_t matrix[3][4], const std::uint8_t tables[3][256], std::uint8_t* pixels,
                    std::size_t pixelCount) {
#if defined(__SSE2__)
    alignas(16) std::int32_t product[3][256][4];
    for (int j = 0; j < 3; ++j)
        for (int v = 0; v < 256; ++v) {
            for (int k = 0; k < 3; ++k) product[j][v][k] = matrix[k][j + 1] * v;
            product[j][v][3] = 0;
        }
    const __m128i constant = _mm_setr_epi32(matrix[0][0], matrix[1][0], matrix[2][0], 0);
    const __m128i limit = _mm_set1_epi32(16320);
    const __m128i top = _mm_set1_epi32(255);
    std::uint32_t lastIn = 0xFFFFFFFFu;
    std::uint8_t lastOut[3] = {0, 0, 0};
    for (std::size_t i = 0; i < pixelCount; ++i) {
        std::uint8_t* p = pixels + 3 * i;
        const std::uint32_t in = p[0] | (p[1] << 8) | (static_cast<std::uint32_t>(p[2]) << 16);
        if (in != lastIn) {
            __m128i w = _mm_add_epi32(constant, _mm_load_si128(reinterpret_cast<const __m128i*>(product[0][p[0]])));
            w = _mm_add_epi32(w, _mm_load_si128(reinterpret_cast<const __m128i*>(product[1][p[1]])));
            w = _mm_add_epi32(w, _mm_load_si128(reinterpret_cast<const __m128i*>(product[2][p[2]])));
            w = _mm_andnot_si128(_mm_srai_epi32(w, 31), w);  // negative sums count as 0
            const __m128i high = _mm_cmpgt_epi32(limit, w);  // w below 16320
            const __m128i index = _mm_or_si128(_mm_and_si128(high, _mm_srli_epi32(w, 6)), _mm_andnot_si128(high, top));
            alignas(16) std::int32_t idx[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(idx), index);
            lastOut[0] = tables[0][idx[0]];
            lastOut[1] = tables[1][idx[1]];
            lastOut[2] = tables[2][idx[2]];
            lastIn = in;
        }
        p[0] = lastOut[0];
        p[1] = lastOut[1];
        p[2] = lastOut[2];
    }
#else
    matrixKernel<std::int32_t>(matrix, tables, pixels, pixelCount);
#endif
}

}  // namespace

void correctMatrix(const std::int32_t matrix[3][4], const std::uint8_t tables[3][256], std::uint8_t* pixels,
                   std::size_t pixelCount) {
    std::int64_t worst = 0;
    for (int k = 0; k < 3; ++k) {
        std::int64_t bound = std::abs(static_cast<std::int64_t>(matrix[k][0]));
        for (int j = 1; j < 4; ++j) bound += 255 * std::abs(static_cast<std::int64_t>(matrix[k][j]));
        worst = bound > worst ? bound : worst;
    }
    if (worst > INT32_MAX)
        matrixKernel<std::int64_t>(matrix, tables, pixels, pixelCount);
    else
        matrixKernel32(matrix, tables, pixels, pixelCount);
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
