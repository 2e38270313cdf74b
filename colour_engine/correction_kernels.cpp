// The generic and SSE2 correction kernels, and the preparation of their
// tables. Both read only what InitCorrect prepared (correction.h).
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "correction.h"
#include "qel_layout.h"

namespace qel {

void prepareLookup(const std::uint8_t* block, LookupTables* t) {
    constexpr std::uint32_t stride[3] = {kPairStride0, kPairStride1, kPairStride2};
    constexpr int fractionAt[3] = {8, 4, 0};
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v) {
            const unsigned g = block[256 * c + v];
            t->axis[c][v] = ((stride[c] * (g >> 4)) << 12) | ((g & 15) << fractionAt[c]);
        }
    const std::uint8_t* grid = block + kLutBlockGrid;
    for (int node = 0; node < 16 * 289; ++node) {
        const std::uint8_t* a = grid + 3 * node;
        const std::uint8_t* b = a + 3 * 289;
        std::uint64_t v = 0;
        for (int c = 0; c < 3; ++c)
            v |= (static_cast<std::uint64_t>(a[c]) << (16 * c)) | (static_cast<std::uint64_t>(b[c]) << (16 * c + 8));
        t->pairs[node] = v;
    }
    for (int xf = 0; xf < 16; ++xf)
        for (int yf = 0; yf < 16; ++yf)
            for (int zf = 0; zf < 16; ++zf) {
                const int w[4] = {(16 - yf) * (16 - zf), (16 - yf) * zf, yf * (16 - zf), yf * zf};
                std::uint16_t* out = t->weights[(xf << 8) | (yf << 4) | zf];
                for (int j = 0; j < 4; ++j) {
                    out[2 * j] = static_cast<std::uint16_t>((16 - xf) * w[j]);
                    out[2 * j + 1] = static_cast<std::uint16_t>(xf * w[j]);
                }
            }
}

void prepareMatrix(const std::int32_t matrix[3][4], const std::uint8_t tables[3][256], MatrixTables* t) {
    std::int64_t worst = 0;
    for (int k = 0; k < 3; ++k) {
        std::int64_t bound = matrix[k][0] < 0 ? -static_cast<std::int64_t>(matrix[k][0]) : matrix[k][0];
        for (int j = 1; j < 4; ++j)
            bound += 255 * (matrix[k][j] < 0 ? -static_cast<std::int64_t>(matrix[k][j]) : matrix[k][j]);
        worst = bound > worst ? bound : worst;
    }
    t->narrow = worst <= INT32_MAX;
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 4; ++j) t->matrix[k][j] = matrix[k][j];
    for (int k = 0; k < 3; ++k)
        for (int v = 0; v < 256; ++v) {
            t->table[k][v] = tables[k][v];
            t->table32[k][v] = tables[k][v];
        }
    for (int j = 0; j < 3; ++j)
        for (int v = 0; v < 256; ++v) {
            for (int k = 0; k < 3; ++k) t->product[j][v][k] = t->narrow ? matrix[k][j + 1] * v : 0;
            t->product[j][v][3] = 0;
        }
}

namespace {

inline std::uint32_t pairChannelSum(std::uint64_t pair, int c, std::uint32_t wa, std::uint32_t wb) {
    return wa * static_cast<std::uint32_t>((pair >> (16 * c)) & 0xFF) +
           wb * static_cast<std::uint32_t>((pair >> (16 * c + 8)) & 0xFF);
}

// Matrix mode with every product taken from a per-call table, in Sum bits:
// 32 when no sum can leave that range, else 64 (factors anywhere in the
// 32-bit range).
template <class Sum>
void matrixSums(const MatrixTables& t, std::uint8_t* pixels, std::size_t pixelCount) {
    Sum product[3][3][256];  // 9 or 18 KiB on the stack
    Sum constant[3];
    for (int k = 0; k < 3; ++k) {
        constant[k] = t.matrix[k][0];
        for (int j = 0; j < 3; ++j)
            for (int v = 0; v < 256; ++v) product[k][j][v] = static_cast<Sum>(t.matrix[k][j + 1]) * v;
    }
    for (std::size_t i = 0; i < pixelCount; ++i) {
        std::uint8_t* p = pixels + 3 * i;
        const unsigned p0 = p[0], p1 = p[1], p2 = p[2];
        std::uint8_t out[3];
        for (int k = 0; k < 3; ++k) {
            Sum w = constant[k] + product[k][0][p0] + product[k][1][p1] + product[k][2][p2];
            w = w < 0 ? 0 : w;
            const unsigned index = w < 16320 ? static_cast<unsigned>(w >> 6) : 255u;
            out[k] = t.table[k][index];
        }
        p[0] = out[0];
        p[1] = out[1];
        p[2] = out[2];
    }
}

void correctMatrixWide(const MatrixTables& t, std::uint8_t* pixels, std::size_t pixelCount) {
    matrixSums<std::int64_t>(t, pixels, pixelCount);
}

}  // namespace

void correctMatrixGeneric(const MatrixTables& t, std::uint8_t* pixels, std::size_t pixelCount) {
    matrixSums<std::int32_t>(t, pixels, pixelCount);
}

// Runs of equal pixels (common in smooth pictures) reuse the last result.
void correctLookupGeneric(const LookupTables& t, std::uint8_t* pixels, std::size_t pixelCount) {
    std::uint32_t lastIn = 0xFFFFFFFFu, lastOut = 0;
    for (std::size_t i = 0; i < pixelCount; ++i) {
        std::uint8_t* p = pixels + 3 * i;
        const std::uint32_t in = p[0] | (p[1] << 8) | (static_cast<std::uint32_t>(p[2]) << 16);
        if (in != lastIn) {
            const std::uint32_t s = t.axis[0][p[0]] + t.axis[1][p[1]] + t.axis[2][p[2]];
            const std::uint64_t* n = t.pairs + (s >> 12);
            const std::uint16_t* w = t.weights[s & 0xFFF];
            const std::uint64_t corner[4] = {n[0], n[kPairStride2], n[kPairStride1], n[kPairStride1 + kPairStride2]};
            lastOut = 0;
            for (int c = 0; c < 3; ++c) {
                std::uint32_t sum = 0;
                for (int j = 0; j < 4; ++j) sum += pairChannelSum(corner[j], c, w[2 * j], w[2 * j + 1]);
                lastOut |= (sum >> 12) << (8 * c);
            }
            lastIn = in;
        }
        p[0] = static_cast<std::uint8_t>(lastOut);
        p[1] = static_cast<std::uint8_t>(lastOut >> 8);
        p[2] = static_cast<std::uint8_t>(lastOut >> 16);
    }
}

#if defined(__SSE2__)
namespace {

// One axis-0 pair: pmaddwd forms w_a * a_c + w_b * b_c for the three channels.
inline __m128i pairSum(const std::uint64_t* pair, __m128i weights) {
    const __m128i ab = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(pair)), _mm_setzero_si128());
    return _mm_madd_epi16(ab, weights);
}

}  // namespace

void correctLookupSse2(const LookupTables& t, std::uint8_t* pixels, std::size_t pixelCount) {
    std::uint32_t lastIn = 0xFFFFFFFFu, lastOut = 0;
    for (std::size_t i = 0; i < pixelCount; ++i) {
        std::uint8_t* p = pixels + 3 * i;
        const std::uint32_t in = p[0] | (p[1] << 8) | (static_cast<std::uint32_t>(p[2]) << 16);
        if (in != lastIn) {
            const std::uint32_t s = t.axis[0][p[0]] + t.axis[1][p[1]] + t.axis[2][p[2]];
            const std::uint64_t* n = t.pairs + (s >> 12);
            const __m128i weights = _mm_load_si128(reinterpret_cast<const __m128i*>(t.weights[s & 0xFFF]));
            __m128i sum = pairSum(n, _mm_shuffle_epi32(weights, 0x00));
            sum = _mm_add_epi32(sum, pairSum(n + kPairStride2, _mm_shuffle_epi32(weights, 0x55)));
            sum = _mm_add_epi32(sum, pairSum(n + kPairStride1, _mm_shuffle_epi32(weights, 0xAA)));
            sum = _mm_add_epi32(sum, pairSum(n + kPairStride1 + kPairStride2, _mm_shuffle_epi32(weights, 0xFF)));
            sum = _mm_srli_epi32(sum, 12);
            lastOut = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(sum, sum), sum)));
            lastIn = in;
        }
        p[0] = static_cast<std::uint8_t>(lastOut);
        p[1] = static_cast<std::uint8_t>(lastOut >> 8);
        p[2] = static_cast<std::uint8_t>(lastOut >> 16);
    }
}

// The three output channels' sums side by side in one vector, products from
// the per-level vectors, runs of equal pixels reusing the last result.
void correctMatrixSse2(const MatrixTables& t, std::uint8_t* pixels, std::size_t pixelCount) {
    const __m128i constant = _mm_setr_epi32(t.matrix[0][0], t.matrix[1][0], t.matrix[2][0], 0);
    const __m128i limit = _mm_set1_epi32(16320);
    const __m128i top = _mm_set1_epi32(255);
    std::uint32_t lastIn = 0xFFFFFFFFu;
    std::uint8_t lastOut[3] = {0, 0, 0};
    for (std::size_t i = 0; i < pixelCount; ++i) {
        std::uint8_t* p = pixels + 3 * i;
        const std::uint32_t in = p[0] | (p[1] << 8) | (static_cast<std::uint32_t>(p[2]) << 16);
        if (in != lastIn) {
            __m128i w = _mm_add_epi32(constant, _mm_load_si128(reinterpret_cast<const __m128i*>(t.product[0][p[0]])));
            w = _mm_add_epi32(w, _mm_load_si128(reinterpret_cast<const __m128i*>(t.product[1][p[1]])));
            w = _mm_add_epi32(w, _mm_load_si128(reinterpret_cast<const __m128i*>(t.product[2][p[2]])));
            w = _mm_andnot_si128(_mm_srai_epi32(w, 31), w);  // negative sums count as 0
            const __m128i high = _mm_cmpgt_epi32(limit, w);  // w below 16320
            const __m128i index = _mm_or_si128(_mm_and_si128(high, _mm_srli_epi32(w, 6)), _mm_andnot_si128(high, top));
            alignas(16) std::int32_t idx[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(idx), index);
            lastOut[0] = t.table[0][idx[0]];
            lastOut[1] = t.table[1][idx[1]];
            lastOut[2] = t.table[2][idx[2]];
            lastIn = in;
        }
        p[0] = lastOut[0];
        p[1] = lastOut[1];
        p[2] = lastOut[2];
    }
}
#endif

LookupKernel lookupKernelFor(KernelPath path) {
    switch (path) {
#if defined(__SSE2__)
        case KernelPath::Avx2: return correctLookupAvx2;
        case KernelPath::Sse2: return correctLookupSse2;
#endif
        default: return correctLookupGeneric;
    }
}

MatrixKernel matrixKernelFor(KernelPath path, const MatrixTables& t) {
    if (!t.narrow) return correctMatrixWide;
    switch (path) {
#if defined(__SSE2__)
        case KernelPath::Avx2: return correctMatrixAvx2;
        case KernelPath::Sse2: return correctMatrixSse2;
#endif
        default: return correctMatrixGeneric;
    }
}

}  // namespace qel
