// Monitor blocks, the printer chart and the open printer analysis on both
// platforms: the same inputs must give the same bytes.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "crosscheck.h"
#include "qel_cms.h"
#include "qel_layout.h"

namespace {

using crosscheck::Library;
using crosscheck::callCdecl;
using crosscheck::check;
using crosscheck::require;
using Bytes = std::vector<std::uint8_t>;

// A model built from plain arithmetic only (no library functions), so that
// the bytes of the input are obviously the same wherever it is made: tone
// curves (v / 255)^2, a linear matrix, and a CIELAB grid sweeping lightness
// along axis 0 and a*, b* along the other two.
std::vector<float> makeModel() {
    std::vector<float> m(QEL_MODEL_FLOATS, 0.0f);
    for (int ch = 0; ch < 3; ++ch)
        for (int v = 0; v < 256; ++v) m[256 * ch + v] = static_cast<float>((v / 255.0) * (v / 255.0));
    const float linear[12] = {-0.02f,  0.0021f, 0.0012f, 0.00062f, -0.018f, 0.0011f,
                              0.0029f, 0.0003f, -0.025f, 0.0001f,  0.0006f, 0.0035f};
    std::memcpy(&m[qel::scanner_model::kLinearMatrix], linear, sizeof linear);
    // Polynomial: linear in the linearised channels, with small square and
    // cross terms.
    const float polynomial[27] = {36.0f, 31.0f, 16.0f, 0.5f, 0.25f, 0.1f, -0.3f, 0.2f, 0.1f,
                                  19.0f, 62.0f, 6.5f,  0.2f, 0.8f,  0.1f, 0.1f,  -0.4f, 0.05f,
                                  1.7f,  10.5f, 84.0f, 0.1f, 0.1f,  -1.5f, 0.0f, 0.3f, 0.2f};
    std::memcpy(&m[qel::scanner_model::kPolynomial], polynomial, sizeof polynomial);
    for (int i0 = 0; i0 < 17; ++i0)
        for (int i1 = 0; i1 < 17; ++i1)
            for (int i2 = 0; i2 < 17; ++i2) {
                float* node = &m[qel::scanner_model::gridIndex(i0, i1, i2)];
                node[0] = static_cast<float>(6.25 * i0);
                node[1] = static_cast<float>((i1 - 8) * 11.5 * (i0 + 1) / 17.0);
                node[2] = static_cast<float>((i2 - 8) * 13.25 * (i0 + 1) / 17.0);
            }
    return m;
}

std::vector<float> readModel() {
    const Bytes bytes = crosscheck::readInput("monitor/model.bin");
    require(bytes.size() == sizeof(float) * QEL_MODEL_FLOATS, "model input size");
    std::vector<float> model(QEL_MODEL_FLOATS);
    std::memcpy(model.data(), bytes.data(), bytes.size());
    return model;
}

// Printer tables, node (i0, i1, i2) at 3 (289 i0 + 17 i1 + i2).
Bytes printerTable(int kind, crosscheck::Random& random) {
    Bytes table(QEL_LUT_BLOCK_SIZE, 0);
    for (int n = 0; n < 17 * 17 * 17; ++n) {
        const int idx[3] = {n / 289, (n / 17) % 17, n % 17};
        for (int c = 0; c < 3; ++c) {
            const int v = static_cast<int>(15.9375 * idx[c] + 0.5);
            std::uint8_t out = static_cast<std::uint8_t>(v);
            if (kind == 1) out = static_cast<std::uint8_t>(255 - v);
            if (kind == 2) out = random.byte();
            table[3 * n + c] = out;
        }
    }
    return table;
}

// Texts built by appending (concatenating onto a literal trips a false
// -Wrestrict of the cross compiler).
std::string text(const char* prefix, long a) {
    std::string t(prefix);
    t += std::to_string(a);
    return t;
}
std::string text(const char* prefix, long a, const char* middle, long b, const char* suffix = "") {
    std::string t = text(prefix, a);
    t += middle;
    t += std::to_string(b);
    t += suffix;
    return t;
}

struct PhosphorSet {
    bool set;  // false: the defaults of a freshly loaded library
    float v[6];
};

}  // namespace

CROSSCHECK_INPUT(monitor_model) {
    const std::vector<float> model = makeModel();
    crosscheck::writeInput("monitor/model.bin", model.data(), model.size() * sizeof(float));
}

CROSSCHECK_CASE(monitor_visual_match) {
    const std::vector<float> model = readModel();
    const PhosphorSet sets[] = {
        {false, {}},
        {true, {0.64f, 0.33f, 0.30f, 0.60f, 0.15f, 0.06f}},
        {true, {0.625f, 0.34f, 0.28f, 0.605f, 0.155f, 0.07f}},
        {true, {0.3f, 0.3f, 0.3f, 0.3f, 0.3f, 0.3f}},  // no monitor matrix: zero matrix
    };
    const int levels[][3] = {{128, 128, 128}, {0, 255, 186}, {90, 170, 40}, {5, 250, 127}, {-7, 300, 64}};
    // Loaded once: the default set must come first, before any SetPhosphorType.
    Library engine = crosscheck::loadLibrary("qel_cms");
    for (std::size_t s = 0; s < std::size(sets); ++s) {
        if (sets[s].set) {
            const float* p = sets[s].v;
            const auto status = callCdecl<std::int32_t>(engine, "SetPhosphorType", p[0], p[1], p[2], p[3], p[4], p[5]);
            require(status == QEL_PHOSPHOR_OK, text("SetPhosphorType status ", status));
        }
        for (std::size_t l = 0; l < std::size(levels); ++l) {
            Bytes block(QEL_MATRIX_BLOCK_SIZE, 0x3C);
            std::int32_t size = 0;
            const auto status = callCdecl<std::int32_t>(engine, "VisualMatch", levels[l][0], levels[l][1],
                                                        levels[l][2], block.data(), &size, model.data());
            check(status == QEL_VISUAL_OK && size == QEL_MATRIX_BLOCK_SIZE,
                  text("VisualMatch status ", status, " size ", size));
            crosscheck::writeOutput(text("monitor/visual_", static_cast<long>(s), "_", static_cast<long>(l), ".bin"),
                                    block);
        }
    }
    // A refused set keeps the last one stored.
    check(callCdecl<std::int32_t>(engine, "SetPhosphorType", 1.0f, 0.3f, 0.3f, 0.6f, 0.15f, 0.06f) ==
              QEL_PHOSPHOR_OUT_OF_RANGE,
          "x of 1 refused");
}

CROSSCHECK_CASE(monitor_printer_chart) {
    Library engine = crosscheck::loadLibrary("qel_cms");
    const std::string path = crosscheck::outputPath("monitor/chart.tga");
    const auto status = callCdecl<std::int32_t>(engine, "CreatTargetImage", path.c_str());
    check(status == QEL_CHART_OK, text("CreatTargetImage status ", status));
}

CROSSCHECK_CASE(monitor_printer_open) {
    const std::vector<float> model = readModel();
    Library engine = crosscheck::loadLibrary("qel_cms");
    crosscheck::Random random(0x5EED0015);
    for (int kind = 0; kind < 3; ++kind) {
        Bytes data = printerTable(kind, random);
        std::int32_t size = 0;
        const auto status = callCdecl<std::int32_t>(engine, "PrinterTargetOpenAnalysis", data.data(), &size,
                                                    model.data(), 0, static_cast<ProgressRecord*>(nullptr),
                                                    static_cast<ProgressCallback>(nullptr));
        check(status == QEL_PRINTER_OPEN_OK && size == QEL_LUT_BLOCK_SIZE,
              text("PrinterTargetOpenAnalysis status ", status, " size ", size));
        std::string name = text("monitor/open_", kind);
        name += ".bin";
        crosscheck::writeOutput(name, data);
    }
}

// The chart written by the engine, read back unchanged by the printer
// analysis, and inverted by the printer model.
CROSSCHECK_CASE(printer_model_from_chart) {
    const std::vector<float> model = readModel();
    Library engine = crosscheck::loadLibrary("qel_cms");
    const std::string chart = crosscheck::outputPath("printer_model/chart.tga");
    require(callCdecl<std::int32_t>(engine, "CreatTargetImage", chart.c_str()) == QEL_CHART_OK, "chart written");
    Bytes block(QEL_LUT_BLOCK_SIZE, 0x5C);
    std::int32_t size = 0;
    const auto status = callCdecl<std::int32_t>(engine, "PrinterTargetAnalysis", chart.c_str(), block.data(), &size,
                                                model.data(), 0, static_cast<ProgressRecord*>(nullptr),
                                                static_cast<ProgressCallback>(nullptr));
    check(status == QEL_PRINTER_OK && size == QEL_LUT_BLOCK_SIZE,
          text("PrinterTargetAnalysis status ", status, " size ", size));
    crosscheck::writeOutput("printer_model/lut.bin", block);
}
