#include "scan_orientation.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "qel_cms.h"
#include "status_text.h"
#include "target_patches.h"

namespace aucal {

namespace {

const char* const kIt8LookedFor =
    "the target's dark frame (24 x 16 cells, 1.3 to 1.7 times as wide as high) with a light GS1 and a dark GS22 at "
    "the ends of the grey scale below the colour patches";
const char* const kChartLookedFor =
    "the chart's row of 17 black marks above the patches and its column of 32 black marks beside them";

}  // namespace

const char* howItLies(QuarterTurns turns) {
    switch (turns) {
        case QuarterTurns::None: return "upright";
        case QuarterTurns::One: return "a quarter turn anticlockwise";
        case QuarterTurns::Two: return "a half turn round";
        case QuarterTurns::Three: return "a quarter turn clockwise";
    }
    return "?";
}

std::string uprightSentence(const std::string& path, const UprightScan& scan) {
    std::string s = path + " (" + scan.format + "): found lying " + howItLies(scan.turns);
    if (scan.turns != QuarterTurns::None) s += "; turned upright for the engine";
    return s;
}

RgbImage turnedClockwise(const RgbImage& picture, QuarterTurns turns) {
    if (turns == QuarterTurns::None) return picture;
    const bool quarter = turns != QuarterTurns::Two;
    const int w = picture.width, h = picture.height;
    RgbImage out = RgbImage::make(quarter ? h : w, quarter ? w : h, picture.channels, picture.bitsPerSample);
    const std::size_t bytes = picture.bytesPerPixel();
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            // The source pixel that lands on (x, y) of the turned picture.
            int sx = x, sy = y;
            switch (turns) {
                case QuarterTurns::One: sx = y, sy = h - 1 - x; break;
                case QuarterTurns::Two: sx = w - 1 - x, sy = h - 1 - y; break;
                case QuarterTurns::Three: sx = w - 1 - y, sy = x; break;
                case QuarterTurns::None: break;
            }
            const std::uint8_t* s = &picture.pixels[bytes * (static_cast<std::size_t>(sy) * w + sx)];
            std::copy(s, s + bytes, &out.pixels[bytes * (static_cast<std::size_t>(y) * out.width + x)]);
        }
    return out;
}

bool prepareUprightScan(const std::string& path, const std::string& what, const std::string& lookedFor,
                        const TargetFinder& found, UprightScan* out, std::string* error) {
    RgbImage picture;
    std::string storedAs;
    if (!readImage(path, &picture, error, &storedAs)) return false;
    std::vector<QuarterTurns> foundIn;
    for (QuarterTurns turns : {QuarterTurns::None, QuarterTurns::One, QuarterTurns::Two, QuarterTurns::Three}) {
        ScratchFile candidate;
        if (!candidate.create(".tga", error) || !writeImage(candidate.path(), turnedClockwise(picture, turns), error))
            return false;
        bool abort = false;
        const bool here = found(candidate.path(), &abort);
        if (abort) return false;
        if (!here) continue;
        if (foundIn.empty()) {
            out->targa = std::move(candidate);
            out->turns = turns;
        }
        foundIn.push_back(turns);
    }
    if (foundIn.empty()) {
        *error = "no " + what + " found in " + path + ": looked in each of its four quarter turns for " + lookedFor;
        return false;
    }
    if (foundIn.size() > 1) {
        std::string turns;
        for (std::size_t i = 0; i < foundIn.size(); ++i)
            turns += std::string(i == 0 ? "" : i + 1 == foundIn.size() ? " and " : ", ") + howItLies(foundIn[i]);
        *error = "the " + what + " in " + path + " is found lying " + turns +
                 ", so which way up it lies is not clear; crop the scan to the one target";
        return false;
    }
    out->format = std::move(storedAs);
    return true;
}

bool prepareIt8Scan(const std::string& path, UprightScan* out, std::string* error) {
    const TargetFinder found = [](const std::string& targa, bool*) {
        TargetReading reading;
        std::string notFound;
        return readTargetPatches(targa, &reading, &notFound);
    };
    return prepareUprightScan(path, "IT8.7/2 target", kIt8LookedFor, found, out, error);
}

bool prepareChartScan(const EngineExports& engine, const std::string& path, const std::vector<float>& model,
                      UprightScan* out, std::string* error) {
    auto analysis = require(engine.printerTargetAnalysis, "PrinterTargetAnalysis");
    std::vector<std::uint8_t> block(QEL_LUT_BLOCK_SIZE, 0);
    const TargetFinder found = [&](const std::string& targa, bool* abort) {
        std::int32_t size = 0;
        const std::int32_t status = analysis(libraryPathArgument(targa).c_str(), block.data(), &size, model.data(), 0, nullptr, nullptr);
        *abort = status == QEL_PRINTER_CANCELLED || status == QEL_PRINTER_NO_MODEL || status == QEL_PRINTER_NO_MEMORY;
        if (*abort) *error = statusSentence(Export::PrinterTargetAnalysis, status);
        return status == QEL_PRINTER_OK;
    };
    return prepareUprightScan(path, "printer chart", kChartLookedFor, found, out, error);
}

}  // namespace aucal
