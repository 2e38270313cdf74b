// Image correction kernels. InitCorrect prepares the loaded block once into
// the tables below and picks, by the processor's features, one kernel per
// mode; CorrectImage then only calls it. Every kernel gives exactly the bytes
// of the block arithmetic (integer only, no rounding choices), so which one
// runs never shows in the result.
//
// The kernel paths, best first: AVX2 (when the processor and the system
// support it), SSE2 (every x86 build), generic C++. The environment variable
// AUCAL_CORRECTION_KERNEL ("avx2", "sse2" or "generic"), read at each
// InitCorrect, forces a path for tests and measurements; a path that the
// processor cannot run, or any other value, gives the best one.
#ifndef QEL_CORRECTION_H
#define QEL_CORRECTION_H

#include <cstddef>
#include <cstdint>

namespace qel {

enum class KernelPath : std::uint8_t { Generic = 0, Sse2 = 1, Avx2 = 2 };

// The path that InitCorrect takes now: the forced one if this processor runs
// it, else the best that it runs.
KernelPath chooseKernelPath();
const char* kernelPathName(KernelPath path);

// Lookup mode, prepared from a block.
//  - axis[c][v]: for input level v of channel c, the offset of its lower grid
//    node along that axis (node index times node stride, in pair-table
//    entries) shifted left by 12, plus its fraction in sixteenths at bit 8
//    (axis 0), 4 (axis 1) or 0 (axis 2). The sum s of a pixel's three
//    entries is then the pair offset s >> 12 and the weight index s & 0xFFF.
//  - pairs: for every node with i0 < 16, the node and its neighbour along
//    axis 0 interleaved byte by byte (a0 b0 a1 b1 a2 b2 0 0), so that one
//    8-byte load brings both corners of an axis-0 pair; the pairs of nodes
//    (i0, i1, i2) and (i0, i1, i2 + 1) are adjacent, so one 16-byte load
//    brings two.
//  - weights[(xf << 8) | (yf << 4) | zf]: for the four pairs j (axis-1 and
//    axis-2 corner 00, 01, 10, 11) the 16-bit weights of the pair's two
//    corners, (16 - xf) w_j and xf w_j, with w_j the product of the axis-1
//    and axis-2 weights.
// The per-pixel work is then three table reads, the weights, four pair loads
// and the weighted sums, all exact integer arithmetic (weights at most 4096,
// node bytes at most 255: every sum fits in 32 bits).
constexpr int kPairStride0 = 289, kPairStride1 = 17, kPairStride2 = 1;
struct LookupTables {
    std::uint32_t axis[3][256];
    alignas(32) std::uint64_t pairs[16 * 289];
    alignas(32) std::uint16_t weights[4096][8];
};

// Matrix mode, prepared from the 1/64-unit matrix and the output tables.
// product[j][v] = (m[0][j+1] v, m[1][j+1] v, m[2][j+1] v, 0) is filled only
// when no sum can leave the 32-bit range (narrow); otherwise the sums are
// formed in 64 bits by the generic kernel, whatever the path.
struct MatrixTables {
    alignas(32) std::int32_t product[3][256][4];
    std::int32_t matrix[3][4];
    std::int32_t table32[3][256];  // the output tables widened, for gathers
    std::uint8_t table[3][256];
    bool narrow;
};

void prepareLookup(const std::uint8_t* block, LookupTables* t);
void prepareMatrix(const std::int32_t matrix[3][4], const std::uint8_t tables[3][256], MatrixTables* t);

using LookupKernel = void (*)(const LookupTables& t, std::uint8_t* pixels, std::size_t pixelCount);
using MatrixKernel = void (*)(const MatrixTables& t, std::uint8_t* pixels, std::size_t pixelCount);

// The kernel of each mode for a path (the matrix kernel also by whether the
// sums stay narrow).
LookupKernel lookupKernelFor(KernelPath path);
MatrixKernel matrixKernelFor(KernelPath path, const MatrixTables& t);

// The kernels of each path; the AVX2 ones exist in x86 builds only.
void correctLookupGeneric(const LookupTables& t, std::uint8_t* pixels, std::size_t pixelCount);
void correctMatrixGeneric(const MatrixTables& t, std::uint8_t* pixels, std::size_t pixelCount);
#if defined(__SSE2__)
void correctLookupSse2(const LookupTables& t, std::uint8_t* pixels, std::size_t pixelCount);
void correctMatrixSse2(const MatrixTables& t, std::uint8_t* pixels, std::size_t pixelCount);
#define QEL_HAVE_AVX2_KERNELS 1
void correctLookupAvx2(const LookupTables& t, std::uint8_t* pixels, std::size_t pixelCount);
void correctMatrixAvx2(const MatrixTables& t, std::uint8_t* pixels, std::size_t pixelCount);
#endif

// What InitCorrect prepared: the tables and the chosen kernel of each mode.
struct PreparedCorrection {
    KernelPath lookupPath = KernelPath::Generic;
    KernelPath matrixPath = KernelPath::Generic;
    LookupKernel lookup = nullptr;
    MatrixKernel matrix = nullptr;
    LookupTables lookupTables;
    MatrixTables matrixTables;
};

}  // namespace qel

#endif
