// The AVX2 correction kernels. Only these functions are compiled for AVX2
// (function target attributes); the rest of the library stays SSE2, and
// InitCorrect picks these only on a processor and system that run them.
#include "correction.h"

#if defined(QEL_HAVE_AVX2_KERNELS)
#include <immintrin.h>

#include <cstring>

#define QEL_AVX2 __attribute__((target("avx2")))

namespace qel {

namespace {

// A group of eight pixels, 24 bytes, as two overlapping 16-byte halves: group
// bytes 0..15 in the low half, 8..23 in the high half.
QEL_AVX2 inline __m256i loadGroup(const std::uint8_t* p) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)), 1);
}

QEL_AVX2 inline void storeGroup(std::uint8_t* p, __m256i group) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(group));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 8), _mm256_extracti128_si256(group, 1));
}

// Lanes holding one pixel (r g b 0) repeated as eight pixels in the group
// layout.
QEL_AVX2 inline __m256i spreadPixel(__m256i lanes) {
    const __m256i spread = _mm256_setr_epi8(0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 2, 0, 1, 2, 0, 1, 2, 0, 1,
                                            2, 0, 1, 2, 0, 1, 2);
    return _mm256_shuffle_epi8(lanes, spread);
}

inline void storePixel(std::uint8_t* p, std::uint32_t rgb) {
    const std::uint16_t low = static_cast<std::uint16_t>(rgb);
    std::memcpy(p, &low, 2);
    p[2] = static_cast<std::uint8_t>(rgb >> 16);
}

QEL_AVX2 inline bool sameGroup(__m256i a, __m256i b) {
    return _mm256_movemask_epi8(_mm256_cmpeq_epi8(a, b)) == -1;
}

}  // namespace

// The weighted pair sums of one pixel, as the SSE2 kernel forms them, but the
// four axis-0 pairs come in two 16-byte loads widened to 16-bit lanes at
// once: pairs (n, n + 1) and (n + 17, n + 18), one pair per 128-bit half,
// each half weighted with its own pair weights. The pixel's three sums are
// the two halves added.
QEL_AVX2 inline __m256i pairSums(const LookupTables& t, std::uint32_t in) {
    const __m256i first = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1);
    const __m256i second = _mm256_setr_epi32(2, 2, 2, 2, 3, 3, 3, 3);
    const std::uint32_t s = t.axis[0][in & 0xFF] + t.axis[1][(in >> 8) & 0xFF] + t.axis[2][(in >> 16) & 0xFF];
    const std::uint64_t* n = t.pairs + (s >> 12);
    const __m256i weights =
        _mm256_castsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(t.weights[s & 0xFFF])));
    const __m256i near = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(n)));
    const __m256i far = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(n + kPairStride1)));
    return _mm256_add_epi32(_mm256_madd_epi16(near, _mm256_permutevar8x32_epi32(weights, first)),
                            _mm256_madd_epi16(far, _mm256_permutevar8x32_epi32(weights, second)));
}

// Two pixels per step: their halves added crosswise, shifted and packed
// together. The pixels are read as 8 bytes and written as 4 and 2 (the next
// step's load then never waits for a store that it overlaps). When the first
// pixel repeats the last one, it takes the last result, and whole groups of
// eight that repeat it too are written at once. The last pixels go through
// the SSE2 kernel.
QEL_AVX2 void correctLookupAvx2(const LookupTables& t, std::uint8_t* pixels, std::size_t pixelCount) {
    std::uint32_t lastIn = 0xFFFFFFFFu, lastOut = 0;
    std::size_t i = 0;
    while (i + 2 < pixelCount) {  // an 8-byte load stays inside pixel i + 2
        std::uint8_t* p = pixels + 3 * i;
        std::uint64_t two;
        std::memcpy(&two, p, 8);
        const std::uint32_t in = static_cast<std::uint32_t>(two) & 0xFFFFFFu;
        if (in == lastIn) {
            storePixel(p, lastOut);
            ++i;
            const __m256i groupIn = spreadPixel(_mm256_set1_epi32(static_cast<int>(lastIn)));
            const __m256i groupOut = spreadPixel(_mm256_set1_epi32(static_cast<int>(lastOut)));
            for (; i + 8 <= pixelCount && sameGroup(loadGroup(pixels + 3 * i), groupIn); i += 8)
                storeGroup(pixels + 3 * i, groupOut);
            // The run's last few pixels one by one: the step after it then
            // starts with a pixel that differs.
            for (; i < pixelCount; ++i) {
                std::uint8_t* q = pixels + 3 * i;
                if ((q[0] | (q[1] << 8) | (static_cast<std::uint32_t>(q[2]) << 16)) != lastIn) break;
                storePixel(q, lastOut);
            }
            continue;
        }
        const std::uint32_t next = static_cast<std::uint32_t>(two >> 24) & 0xFFFFFFu;
        const __m256i a = pairSums(t, in), b = pairSums(t, next);
        __m256i sums = _mm256_add_epi32(_mm256_permute2x128_si256(a, b, 0x20), _mm256_permute2x128_si256(a, b, 0x31));
        sums = _mm256_srli_epi32(sums, 12);
        const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(sums, sums), sums);
        const std::uint32_t outA = static_cast<std::uint32_t>(_mm256_cvtsi256_si32(bytes));
        lastOut = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm256_extracti128_si256(bytes, 1)));
        lastIn = next;
        const std::uint32_t head = outA | (lastOut << 24);
        const std::uint16_t tail = static_cast<std::uint16_t>(lastOut >> 8);
        std::memcpy(p, &head, 4);
        std::memcpy(p + 4, &tail, 2);
        i += 2;
    }
    if (i < pixelCount) correctLookupSse2(t, pixels + 3 * i, pixelCount - i);
}

// Eight pixels at a time, one channel per vector of eight 32-bit lanes:
// w_k = m[k][0] + m[k][1] p0 + m[k][2] p1 + m[k][3] p2 (only called when no
// sum leaves the 32-bit range), index min(max(w, 0) >> 6, 255) (the same as
// 255 from w = 16320 on), the output bytes gathered from the widened tables.
// A group of eight copies of the previous group's last pixel (smooth pictures)
// takes eight copies of its result. The last pixels, fewer than eight, go
// through the SSE2 kernel.
QEL_AVX2 void correctMatrixAvx2(const MatrixTables& t, std::uint8_t* pixels, std::size_t pixelCount) {
    __m256i m[3][4];
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 4; ++j) m[k][j] = _mm256_set1_epi32(t.matrix[k][j]);
    // In the group layout, pixels 0..3 at 0, 3, 6, 9 of the low half, pixels 4..7 at 4, 7, 10, 13 of the
    // high half. Channel c of each pixel into the low byte of its lane.
    __m256i pick[3];
    for (int c = 0; c < 3; ++c) {
        alignas(32) std::int8_t s[32];
        for (int l = 0; l < 8; ++l) {
            const int at = l < 4 ? 3 * l + c : 4 + 3 * (l - 4) + c;
            s[4 * l] = static_cast<std::int8_t>(at);
            s[4 * l + 1] = s[4 * l + 2] = s[4 * l + 3] = -1;
        }
        pick[c] = _mm256_load_si256(reinterpret_cast<const __m256i*>(s));
    }
    // Lanes (r g b 0) back to 3-byte pixels: 12 bytes per half, then the two
    // halves joined into the first 24 bytes.
    const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8,
                                          9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    const __m256i lastLane = _mm256_set1_epi32(7);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i top = _mm256_set1_epi32(255);
    // No loaded group matches this at first: its halves disagree on the
    // group bytes 8..15 that both hold.
    __m256i lastIn = _mm256_setr_epi64x(0, 0, -1, -1);
    __m256i lastOut = zero;
    std::size_t i = 0;
    for (; i + 8 <= pixelCount; i += 8) {
        std::uint8_t* p = pixels + 3 * i;
        const __m256i bytes = loadGroup(p);
        if (!sameGroup(bytes, lastIn)) {
            const __m256i c0 = _mm256_shuffle_epi8(bytes, pick[0]);
            const __m256i c1 = _mm256_shuffle_epi8(bytes, pick[1]);
            const __m256i c2 = _mm256_shuffle_epi8(bytes, pick[2]);
            __m256i out = zero;
            for (int k = 0; k < 3; ++k) {
                __m256i w = _mm256_add_epi32(m[k][0], _mm256_mullo_epi32(m[k][1], c0));
                w = _mm256_add_epi32(w, _mm256_mullo_epi32(m[k][2], c1));
                w = _mm256_add_epi32(w, _mm256_mullo_epi32(m[k][3], c2));
                const __m256i index = _mm256_min_epi32(_mm256_srli_epi32(_mm256_max_epi32(w, zero), 6), top);
                out = _mm256_or_si256(out, _mm256_slli_epi32(_mm256_i32gather_epi32(t.table32[k], index, 4), 8 * k));
            }
            const __m256i in = _mm256_or_si256(c0, _mm256_or_si256(_mm256_slli_epi32(c1, 8), _mm256_slli_epi32(c2, 16)));
            lastIn = spreadPixel(_mm256_permutevar8x32_epi32(in, lastLane));
            const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(out, pack), join);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(packed));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 16), _mm256_extracti128_si256(packed, 1));
            lastOut = spreadPixel(_mm256_permutevar8x32_epi32(out, lastLane));
        } else {
            storeGroup(p, lastOut);
        }
    }
    correctMatrixSse2(t, pixels + 3 * i, pixelCount - i);
}

}  // namespace qel

#endif
