// InitCorrect, CorrectImage, ReleaseCorrect: one loaded block, applied to
// image buffers in place.
#include "correction.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "qel_layout.h"
#include "engine_state.h"
#include "job.h"
#include "numeric.h"
#include "platform/memory.h"
#include "qel_cms.h"

namespace qel {

namespace {

bool processorRunsAvx2() {
#if defined(QEL_HAVE_AVX2_KERNELS) && (defined(__GNUC__) || defined(__clang__))
    // Also false when the system does not save the 256-bit registers.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

KernelPath bestKernelPath() {
#if defined(__SSE2__)
    return processorRunsAvx2() ? KernelPath::Avx2 : KernelPath::Sse2;
#else
    return KernelPath::Generic;
#endif
}

}  // namespace

const char* kernelPathName(KernelPath path) {
    switch (path) {
        case KernelPath::Avx2: return "avx2";
        case KernelPath::Sse2: return "sse2";
        default: return "generic";
    }
}

KernelPath chooseKernelPath() {
    const KernelPath best = bestKernelPath();
    const char* forced = std::getenv("AUCAL_CORRECTION_KERNEL");
    if (forced == nullptr) return best;
    for (KernelPath path : {KernelPath::Generic, KernelPath::Sse2, KernelPath::Avx2})
        if (std::strcmp(forced, kernelPathName(path)) == 0 && path <= best) return path;
    return best;
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

    qel::PreparedCorrection& prepared = s.prepared;
    const qel::KernelPath path = qel::chooseKernelPath();
    if (matrixMode) {
        std::memcpy(s.tables, copy, sizeof s.tables);
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 4; ++j)
                s.matrix[k][j] = qel::truncToInt32(
                    static_cast<double>(qel::loadFloatLE(copy + qel::matrixEntryOffset(k, j))) * 64.0);
        qel::prepareMatrix(s.matrix, s.tables, &prepared.matrixTables);
        prepared.matrixPath = path;
        prepared.matrix = qel::matrixKernelFor(path, prepared.matrixTables);
        s.matrixSlot = copy;
    } else {
        qel::prepareLookup(copy, &prepared.lookupTables);
        prepared.lookupPath = path;
        prepared.lookup = qel::lookupKernelFor(path);
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
        s.prepared.matrix(s.prepared.matrixTables, image->pixels, static_cast<std::size_t>(pixels));
    else
        s.prepared.lookup(s.prepared.lookupTables, image->pixels, static_cast<std::size_t>(pixels));
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
