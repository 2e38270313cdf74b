// Scans as people have them, made into the one image the engine's readers
// take: an uncompressed 24-bit Targa, rows stored bottom-up, the target
// upright. The picture is read in any format the host reads (either Targa
// origin, 8 or 16 bits per sample, 16-bit samples rounded to 8 bits), then
// tried in each of its four quarter turns; the turn in which the engine's own
// reader finds the target is the one handed to the engine. None, or more than
// one, is refused with a sentence naming what was looked for.
#ifndef AUCAL_SCAN_ORIENTATION_H
#define AUCAL_SCAN_ORIENTATION_H

#include <functional>
#include <string>
#include <vector>

#include "engine_library.h"
#include "image_io.h"
#include "scratch_file.h"

namespace aucal {

// Quarter turns clockwise that make the picture upright.
enum class QuarterTurns { None = 0, One = 1, Two = 2, Three = 3 };

// The picture (any channels and depth; its metadata is not kept) turned `turns` quarter turns clockwise.
RgbImage turnedClockwise(const RgbImage& picture, QuarterTurns turns);
// How a picture lies that these turns make upright: "upright", "a quarter
// turn anticlockwise", "a half turn round", "a quarter turn clockwise".
const char* howItLies(QuarterTurns turns);

// Whether the engine's reader finds the target in the Targa file at path.
// `abort` is set when the answer is final for every turn (the user cancelled,
// the engine ran out of memory).
using TargetFinder = std::function<bool(const std::string& targaPath, bool* abort)>;

struct UprightScan {
    ScratchFile targa;  // the normalised image, for the engine
    QuarterTurns turns = QuarterTurns::None;
    std::string format;  // of the file as read, e.g. "PNG, 16-bit RGB"
};

// `what` names the target in sentences ("IT8.7/2 target"); `lookedFor` says
// what the reader looks for. False with the sentence when no turn, or more
// than one, finds the target, or the file cannot be read.
bool prepareUprightScan(const std::string& path, const std::string& what, const std::string& lookedFor,
                        const TargetFinder& found, UprightScan* out, std::string* error);

// What aucal says about the scan it hands the engine.
std::string uprightSentence(const std::string& path, const UprightScan& scan);

// The scanned IT8.7/2 target as the engine's target reader (the engine's
// reading library) finds it, and the scanned printer chart as the loaded
// engine's export finds it: a trial runs the export without progress; a
// status other than "not found" (cancelled, no memory) ends the search.
bool prepareIt8Scan(const std::string& path, UprightScan* out, std::string* error);
bool prepareChartScan(const EngineExports& engine, const std::string& path, const std::vector<float>& model,
                      UprightScan* out, std::string* error);

}  // namespace aucal

#endif
