// The true scanner: sensor sensitivities, crosstalk and tone curves.
#include <algorithm>
#include <cmath>

#include "it8_target/virtual_it8.h"
#include "internal.h"

namespace it8sim {
namespace {

// Sensor sensitivities as a matrix on XYZ (a wide-gamut RGB adapted to D50),
// each row scaled below so that the D50 white (96.42, 100, 82.49) gives
// exactly 1, 1, 1 on the 0..1 scale.
constexpr double kSensorShape[3][3] = {
    {1.9624274, -0.6105343, -0.3413404},
    {-0.9787684, 1.9161415, 0.0334540},
    {0.0286869, -0.1406752, 1.3487655},
};

constexpr double kD50[3] = {0.9642, 1.0, 0.8249};

struct SensorMatrix {
    double m[3][3];
    SensorMatrix() {
        for (int r = 0; r < 3; ++r) {
            const double white = kSensorShape[r][0] * kD50[0] + kSensorShape[r][1] * kD50[1] + kSensorShape[r][2] * kD50[2];
            for (int c = 0; c < 3; ++c) m[r][c] = kSensorShape[r][c] / white;
        }
    }
};
const SensorMatrix kSensor;

}  // namespace

ScannerResponse responsePreset(ResponsePreset preset) {
    ScannerResponse r;
    switch (preset) {
        case ResponsePreset::Mild:
            r.gamma = {2.1, 2.2, 2.3};
            r.whiteLevel = {248, 250, 246};
            r.blackLevel = {3, 3, 4};
            r.crosstalk = 0.02;
            break;
        case ResponsePreset::NonLinear:
            r.gamma = {1.6, 2.0, 2.5};
            r.whiteLevel = {245, 250, 240};
            r.blackLevel = {5, 4, 6};
            r.crosstalk = 0.03;
            break;
        case ResponsePreset::Crosstalk:
            r.gamma = {2.2, 2.2, 2.2};
            r.whiteLevel = {245, 240, 230};
            r.blackLevel = {4, 4, 4};
            r.crosstalk = 0.12;
            break;
        case ResponsePreset::Linear:
            r.gamma = {1.0, 1.0, 1.0};
            r.whiteLevel = {250, 250, 250};
            r.blackLevel = {2, 2, 2};
            r.crosstalk = 0.0;
            break;
    }
    return r;
}

std::optional<ResponsePreset> presetFromName(const std::string& name) {
    for (ResponsePreset p : {ResponsePreset::Mild, ResponsePreset::NonLinear, ResponsePreset::Crosstalk,
                             ResponsePreset::Linear})
        if (name == presetName(p)) return p;
    return std::nullopt;
}

const char* presetName(ResponsePreset preset) {
    switch (preset) {
        case ResponsePreset::Mild: return "mild";
        case ResponsePreset::NonLinear: return "nonlinear";
        case ResponsePreset::Crosstalk: return "crosstalk";
        case ResponsePreset::Linear: return "linear";
    }
    return "?";
}

std::array<double, 3> scannerSignal(const Xyz& xyz, const ScannerResponse& response) {
    std::array<double, 3> s{};
    const double in[3] = {xyz.x / 100.0, xyz.y / 100.0, xyz.z / 100.0};
    for (int c = 0; c < 3; ++c) s[c] = kSensor.m[c][0] * in[0] + kSensor.m[c][1] * in[1] + kSensor.m[c][2] * in[2];
    const double k = response.crosstalk;
    std::array<double, 3> mixed{};
    for (int c = 0; c < 3; ++c) {
        mixed[c] = (1.0 - 2.0 * k) * s[c] + k * (s[(c + 1) % 3] + s[(c + 2) % 3]);
        mixed[c] = (mixed[c] + response.flare) / (1.0 + response.flare);
    }
    for (double& v : mixed) v = std::clamp(v, 0.0, 1.0);
    return mixed;
}

double toneLevel(double signal, int channel, const ScannerResponse& response) {
    const double black = response.blackLevel[channel];
    const double white = response.whiteLevel[channel];
    const double g = response.gamma[channel] > 0 ? response.gamma[channel] : 1.0;
    return black + (white - black) * std::pow(std::clamp(signal, 0.0, 1.0), 1.0 / g);
}

double signalOfLevel(double level, int channel, const ScannerResponse& response) {
    const double black = response.blackLevel[channel];
    const double white = response.whiteLevel[channel];
    const double g = response.gamma[channel] > 0 ? response.gamma[channel] : 1.0;
    const double u = (level - black) / (white - black);
    return u > 0 ? std::pow(u, g) : 0.0;
}

std::uint8_t levelToByte(double level) {
    if (!(level > 0.0)) return 0;
    if (level >= 254.5) return 255;
    return static_cast<std::uint8_t>(level + 0.5);
}

Rgb8 trueScannerRgb(const Xyz& xyz, const ScannerResponse& response) {
    const auto s = scannerSignal(xyz, response);
    return {levelToByte(toneLevel(s[0], 0, response)), levelToByte(toneLevel(s[1], 1, response)),
            levelToByte(toneLevel(s[2], 2, response))};
}

}  // namespace it8sim
