#include "shaper_matrix_fit.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace aucal::icc {

namespace {

constexpr int kShaperParameters = 6;  // black and gamma of each channel
using Parameters = std::array<double, kShaperParameters>;

ShaperMatrix withShapers(const Parameters& p) {
    ShaperMatrix s;
    for (int c = 0; c < 3; ++c) {
        s.black[c] = p[2 * c];
        s.gamma[c] = p[2 * c + 1];
    }
    return s;
}

bool plausible(const Parameters& p) {
    for (int c = 0; c < 3; ++c)
        if (!(p[2 * c] > -64 && p[2 * c] < 200 && p[2 * c + 1] > 0.2 && p[2 * c + 1] < 6)) return false;
    return true;
}

// The matrix for given shapers: least squares on the PCS XYZ, each patch
// weighted by 1 / (Y + 0.01)^2 so that a dark patch counts for its relative
// (and so its CIELAB) error, not for its small absolute one.
bool solveMatrix(const std::vector<std::array<double, 3>>& rgb, const std::vector<Xyz3>& target, ShaperMatrix* fit) {
    Matrix3 n{};
    std::array<Xyz3, 3> b{};
    for (std::size_t p = 0; p < rgb.size(); ++p) {
        Xyz3 lin;
        for (int c = 0; c < 3; ++c) lin[c] = shaperValue(*fit, c, rgb[p][c]);
        const double w = 1.0 / ((target[p][1] + 0.01) * (target[p][1] + 0.01));
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) n[i][j] += w * lin[i] * lin[j];
            for (int k = 0; k < 3; ++k) b[k][i] += w * lin[i] * target[p][k];
        }
    }
    Matrix3 inverse{};
    if (!invert(n, &inverse)) return false;
    for (int k = 0; k < 3; ++k) {
        const Xyz3 row = applyMatrix(inverse, b[k]);
        for (int j = 0; j < 3; ++j) fit->m[k][j] = row[j];
    }
    return true;
}

double sumSquaredDe76(const ShaperMatrix& fit, const std::vector<std::array<double, 3>>& rgb,
                      const std::vector<Xyz3>& target) {
    double sum = 0;
    for (std::size_t p = 0; p < rgb.size(); ++p) {
        const double d = deltaE76(pcsLab(shaperMatrixXyz(fit, rgb[p])), pcsLab(target[p]));
        sum += d * d;
    }
    return std::isfinite(sum) ? sum : 1e300;
}

// The fit's cost: CIE76 differences, squared up to 1 and linear beyond (a
// Huber cost), so that a few patches the form cannot follow do not pull the
// rest.
double robustCost(const ShaperMatrix& fit, const std::vector<std::array<double, 3>>& rgb,
                  const std::vector<Xyz3>& target) {
    double sum = 0;
    for (std::size_t p = 0; p < rgb.size(); ++p) {
        const double d = deltaE76(pcsLab(shaperMatrixXyz(fit, rgb[p])), pcsLab(target[p]));
        sum += d <= 1.0 ? d * d : 2.0 * d - 1.0;
    }
    return std::isfinite(sum) ? sum : 1e300;
}

// Nelder-Mead simplex search over the shaper parameters; the matrix is solved
// for each trial.
Parameters minimise(const std::function<double(const Parameters&)>& cost, Parameters start) {
    constexpr int n = kShaperParameters;
    std::array<Parameters, n + 1> simplex;
    std::array<double, n + 1> value;
    for (int i = 0; i <= n; ++i) {
        simplex[i] = start;
        if (i > 0) simplex[i][i - 1] += (i % 2 == 1) ? 8.0 : 0.3;  // blacks in levels, gammas as exponents
        value[i] = cost(simplex[i]);
    }
    for (int iteration = 0; iteration < 3000; ++iteration) {
        std::array<int, n + 1> order;
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](int a, int b) { return value[a] < value[b]; });
        const int best = order[0], worst = order[n], second = order[n - 1];
        if (value[worst] - value[best] < 1e-10 * (1 + value[best])) break;
        Parameters centre{};
        for (int i = 0; i <= n; ++i)
            if (i != worst)
                for (int k = 0; k < n; ++k) centre[k] += simplex[i][k] / n;
        auto along = [&](double t) {
            Parameters p;
            for (int k = 0; k < n; ++k) p[k] = centre[k] + t * (simplex[worst][k] - centre[k]);
            return p;
        };
        const Parameters reflected = along(-1.0);
        const double fr = cost(reflected);
        if (fr < value[best]) {
            const Parameters expanded = along(-2.0);
            const double fe = cost(expanded);
            simplex[worst] = fe < fr ? expanded : reflected;
            value[worst] = std::min(fe, fr);
        } else if (fr < value[second]) {
            simplex[worst] = reflected;
            value[worst] = fr;
        } else {
            const Parameters contracted = along(0.5);
            const double fc = cost(contracted);
            if (fc < value[worst]) {
                simplex[worst] = contracted;
                value[worst] = fc;
            } else {
                for (int i = 0; i <= n; ++i) {
                    if (i == best) continue;
                    for (int k = 0; k < n; ++k) simplex[i][k] = simplex[best][k] + 0.5 * (simplex[i][k] - simplex[best][k]);
                    value[i] = cost(simplex[i]);
                }
            }
        }
    }
    return simplex[std::min_element(value.begin(), value.end()) - value.begin()];
}

}  // namespace

// A patch with a channel at either end of the scale, or a saturated colour
// with a channel down at the darkest level any patch has while another is
// well above it, was clipped by the scanner: its levels do not say its colour.
namespace {
bool clippedLevels(const std::array<double, 3>& rgb, const std::array<double, 3>& darkest) {
    bool atFloor = false, lifted = false;
    for (int c = 0; c < 3; ++c) {
        if (rgb[c] < 0.5 || rgb[c] > 254.5) return true;
        atFloor = atFloor || rgb[c] <= darkest[c] + 1.0;
        lifted = lifted || rgb[c] > darkest[c] + 20.0;
    }
    return atFloor && lifted;
}
}  // namespace

PatchSet unclippedPatches(const PatchSet& patches) {
    std::array<double, 3> darkest{255, 255, 255};
    for (const auto& levels : patches.rgb)
        for (int c = 0; c < 3; ++c) darkest[c] = std::min(darkest[c], levels[c]);
    PatchSet kept;
    for (std::size_t p = 0; p < patches.rgb.size() && p < patches.xyz.size(); ++p)
        if (!clippedLevels(patches.rgb[p], darkest)) {
            kept.rgb.push_back(patches.rgb[p]);
            kept.xyz.push_back(patches.xyz[p]);
        }
    return kept;
}

double shaperValue(const ShaperMatrix& fit, int c, double level) {
    const double u = (level - fit.black[c]) / (255.0 - fit.black[c]);
    return u > 0 ? std::pow(std::min(u, 1.0), fit.gamma[c]) : 0.0;
}

Xyz3 shaperMatrixXyz(const ShaperMatrix& fit, const std::array<double, 3>& levels) {
    return applyMatrix(fit.m, {shaperValue(fit, 0, levels[0]), shaperValue(fit, 1, levels[1]), shaperValue(fit, 2, levels[2])});
}

bool fitShaperMatrix(const PatchSet& patches, ShaperMatrix* fit, std::string* error) {
    auto say = [&](const char* sentence) {
        if (error) *error = sentence;
        return false;
    };
    if (patches.rgb.size() != patches.xyz.size() || patches.rgb.size() < 6)
        return say("the shaper-matrix fit needs patches with both scanner and reference colours");
    const PatchSet kept = unclippedPatches(patches);
    const std::vector<std::array<double, 3>>& rgb = kept.rgb;
    std::vector<Xyz3> target;
    for (const Xyz3& xyz : kept.xyz) target.push_back(pcsXyzFromReference(xyz));
    if (rgb.size() < 6) return say("the shaper-matrix fit needs patches that the scanner did not clip");
    auto cost = [&](const Parameters& p) {
        if (!plausible(p)) return 1e300;
        ShaperMatrix trial = withShapers(p);
        return solveMatrix(rgb, target, &trial) ? robustCost(trial, rgb, target) : 1e300;
    };
    Parameters start{};
    for (int c = 0; c < 3; ++c) {
        double darkest = 255;
        for (const auto& levels : rgb) darkest = std::min(darkest, levels[c]);
        start[2 * c] = std::max(0.0, darkest - 8.0);
        start[2 * c + 1] = 2.2;
    }
    // Two passes: a simplex restarted at its result does not stall.
    Parameters best = minimise(cost, minimise(cost, start));
    ShaperMatrix result = withShapers(best);
    if (!plausible(best) || !solveMatrix(rgb, target, &result))
        return say("the patches do not determine a matrix (a channel does not vary)");
    result.rmsDeltaE = std::sqrt(sumSquaredDe76(result, rgb, target) / static_cast<double>(target.size()));
    *fit = result;
    return true;
}

bool crossValidate(const PatchSet& patches, int folds, const Predictor& predictor, std::vector<double>* heldOut) {
    const std::size_t n = patches.rgb.size();
    if (folds < 2 || patches.xyz.size() != n || n < static_cast<std::size_t>(folds)) return false;
    heldOut->assign(n, 0.0);
    for (int f = 0; f < folds; ++f) {
        PatchSet training;
        for (std::size_t p = 0; p < n; ++p)
            if (static_cast<int>(p % folds) != f) {
                training.rgb.push_back(patches.rgb[p]);
                training.xyz.push_back(patches.xyz[p]);
            }
        Prediction predict;
        if (!predictor(training, &predict)) return false;
        for (std::size_t p = f; p < n; p += folds)
            (*heldOut)[p] = deltaE2000(predict(patches.rgb[p]), pcsLab(pcsXyzFromReference(patches.xyz[p])));
    }
    return true;
}

DeFigures deFigures(std::vector<double> de) {
    DeFigures f;
    if (de.empty()) return f;
    std::sort(de.begin(), de.end());
    f.mean = std::accumulate(de.begin(), de.end(), 0.0) / static_cast<double>(de.size());
    f.p95 = de[static_cast<std::size_t>(0.95 * static_cast<double>(de.size() - 1) + 0.5)];
    f.max = de.back();
    return f;
}

}  // namespace aucal::icc
