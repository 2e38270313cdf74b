// SetPhosphorType and VisualMatch: the monitor characterised without an
// instrument.
#include "monitor.h"

#include <cmath>
#include <cstdint>

#include "colour_math.h"
#include "qel_layout.h"
#include "engine_state.h"
#include "numeric.h"
#include "qel_cms.h"

namespace qel {

namespace {

bool strictlyBetweenZeroAndOne(float v) { return v > 0.0f && v < 1.0f; }

}  // namespace

void BuildMatrixBlock(int levelR, int levelG, int levelB, const float* model, std::uint8_t* block) {
    // The linear matrix, rescaled so that the target white becomes the display
    // white: row X by Xw, row Y by 100, row Z by Zw. Stored as floats, as the
    // model holds them.
    double whiteX = 0.0, whiteZ = 0.0;
    XyYToXyz(kDisplayWhiteX, kDisplayWhiteY, 100.0, &whiteX, &whiteZ);
    const double rowScale[3] = {whiteX, 100.0, whiteZ};
    float a[3][4];
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col)
            a[row][col] = static_cast<float>(model[scanner_model::linearMatrixIndex(row, col)] * rowScale[row]);

    float monitor[9];
    MonitorMatrixFromPhosphors(monitor);

    // C = M A: raw scanner levels to linear monitor RGB (0..1); each entry is
    // summed in double in the order of M's columns and rounded once, after
    // the scaling to 0..255.
    float c[3][4];
    bool finite = true;
    for (int k = 0; k < 3; ++k) {
        for (int col = 0; col < 4; ++col) {
            double sum = 0.0;
            for (int i = 0; i < 3; ++i) sum += static_cast<double>(monitor[3 * k + i]) * a[i][col];
            c[k][col] = static_cast<float>(sum * 255.0);
            if (!std::isfinite(c[k][col])) finite = false;
        }
    }
    // A phosphor set whose matrix has no inverse (chromaticities on one line,
    // a NaN y) yields infinities or NaN, and so does a model matrix whose
    // product overflows. The block then carries a zero matrix: every pixel
    // shows table entry 0 (black), a plainly visible result instead of values
    // that no integer conversion can represent.
    if (!finite)
        for (auto& row : c)
            for (float& v : row) v = 0.0f;

    for (int k = 0; k < 3; ++k)
        for (int col = 0; col < 4; ++col) storeFloatLE(block + matrixEntryOffset(k, col), c[k][col]);

    const int levels[3] = {levelR, levelG, levelB};
    for (int ch = 0; ch < 3; ++ch)
        for (int i = 0; i < 256; ++i) block[256 * ch + i] = truncToByte(255.0 * GammaCurveValue(i, levels[ch]));
}

}  // namespace qel

using qel::g_engine;

extern "C" {

QEL_API int32_t QEL_CDECL SetPhosphorType(float xr, float yr, float xg, float yg, float xb, float yb) {
    // NaN fails the test as well as 0, 1 and anything beyond.
    if (!qel::strictlyBetweenZeroAndOne(xr) || !qel::strictlyBetweenZeroAndOne(xg) ||
        !qel::strictlyBetweenZeroAndOne(xb))
        return QEL_PHOSPHOR_OUT_OF_RANGE;
    qel::PhosphorChromaticities& ph = g_engine.phosphors;
    ph.xr = xr;
    ph.yr = yr;
    ph.xg = xg;
    ph.yg = yg;
    ph.xb = xb;
    ph.yb = yb;
    return QEL_PHOSPHOR_OK;
}

QEL_API int32_t QEL_CDECL VisualMatch(int32_t levelR, int32_t levelG, int32_t levelB, void* block,
                                      int32_t* blockSize, const float* model) {
    if (model == nullptr) return QEL_VISUAL_NO_MODEL;
    qel::BuildMatrixBlock(levelR, levelG, levelB, model, static_cast<std::uint8_t*>(block));
    *blockSize = static_cast<int32_t>(qel::kMatrixBlockReportedSize);
    return QEL_VISUAL_OK;
}
}
