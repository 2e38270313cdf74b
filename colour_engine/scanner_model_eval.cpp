// Evaluating a ScannerModel. The float sums of the polynomial keep the
// rounding of the printer model, whose results must not change.
#include "scanner_model_eval.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "numeric.h"
#include "qel_layout.h"

namespace qel {

namespace sm = scanner_model;

float ModelToneValue(const float* model, int channel, float level) {
    std::int32_t n = truncToInt32(static_cast<double>(level) + 0.5);
    if (n < 0) n = 0;
    if (n > sm::kLevels - 1) n = sm::kLevels - 1;
    return model[sm::toneIndex(channel, n)];
}

void ModelPolynomialXyz(const float* model, float r, float g, float b, float xyz[3]) {
    const float terms[sm::kPolynomialTerms] = {r, g, b, r * r, g * g, b * b, r * g, g * b, r * b};
    for (int out = 0; out < 3; ++out) {
        const float* coef = model + sm::polynomialIndex(out, 0);
        float sum = 0.0f;
        for (int t = 0; t < sm::kPolynomialTerms; ++t) sum += terms[t] * coef[t];
        xyz[out] = sum;
    }
}

void ModelLevelsXyz(const float* model, const float levels[3], float xyz[3]) {
    ModelPolynomialXyz(model, ModelToneValue(model, 0, levels[0]), ModelToneValue(model, 1, levels[1]),
                       ModelToneValue(model, 2, levels[2]), xyz);
}

double ModelGridCoordinate(const float* model, int channel, int level) {
    const int n = std::clamp(level, 0, sm::kLevels - 1);
    const double s = std::sqrt(std::clamp<double>(model[sm::toneIndex(channel, n)], 0.0, 1.0));
    constexpr int kLast = sm::kGridNodes - 1;
    for (int k = 0; k < kLast; ++k) {
        const double lo = sm::gridNodeLevel(k) / 255.0, hi = sm::gridNodeLevel(k + 1) / 255.0;
        if (s <= hi) return (k + std::max(0.0, s - lo) / (hi - lo)) / kLast;
    }
    return 1.0;
}

void ModelGridLab(const float* model, const int levels[3], double lab[3]) {
    constexpr int kLast = sm::kGridNodes - 1;
    int index[3];
    double frac[3];
    for (int c = 0; c < 3; ++c) {
        const double u = kLast * ModelGridCoordinate(model, c, levels[c]);
        index[c] = std::min(kLast - 1, static_cast<int>(u));
        frac[c] = u - index[c];
    }
    lab[0] = lab[1] = lab[2] = 0.0;
    for (int corner = 0; corner < 8; ++corner) {
        const int d0 = corner >> 2, d1 = (corner >> 1) & 1, d2 = corner & 1;
        const double w = (d0 ? frac[0] : 1 - frac[0]) * (d1 ? frac[1] : 1 - frac[1]) * (d2 ? frac[2] : 1 - frac[2]);
        const float* p = model + sm::gridIndex(index[0] + d0, index[1] + d1, index[2] + d2);
        for (int k = 0; k < 3; ++k) lab[k] += w * p[k];
    }
}

void CompressTargetLab(float s, float lab[3]) {
    const double chroma = s >= 1.0f ? (3.0 - s) / 2.0 : (s + 1.0) / 2.0;
    lab[0] = static_cast<float>((lab[0] - 100.0) * s + 100.0);
    lab[1] = static_cast<float>(lab[1] * chroma);
    lab[2] = static_cast<float>(lab[2] * chroma);
}

}  // namespace qel
