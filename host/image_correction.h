// Correcting image files with a loaded block, strip by strip.
//
// The pipeline is read strip -> correct strip -> write strip (see
// correctImageFile), the three side by side on their own threads
// (strip_pipeline.h): only a few strips of rows are in memory at a time,
// whatever the image's size. 8-bit RGB (and 16-bit RGB at 16 bits) is read
// straight into the strip that the correction works on and written from it.
// The correction of a strip works on packed RGB pixels in place, through
// StripCorrection:
//   - 8-bit RGB: the engine's CorrectImage, exactly (the block loaded with
//     InitCorrect);
//   - 16-bit RGB: a LittleCMS transform built from the block itself (a
//     lookup block's input curves and 17^3 grid, a matrix block's matrix
//     and tables), written at 16 bits;
//   - 16-bit RGB reduced to 8 bits first (on request): CorrectImage exactly.
// Grey becomes RGB for the correction (the result is RGB); alpha is set
// aside and written back untouched.
#ifndef AUCAL_IMAGE_CORRECTION_H
#define AUCAL_IMAGE_CORRECTION_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine_library.h"
#include "imaging/image_file.h"

namespace aucal {

// The correction of packed RGB pixels in place, at one depth.
class StripCorrection {
public:
    virtual ~StripCorrection() = default;
    virtual int bitsPerSample() const = 0;
    // pixels: width x rows pixels of 3 samples at bitsPerSample().
    virtual bool correct(std::uint8_t* pixels, int width, int rows, std::string* error) = 0;
};

// CorrectImage with the block the engine holds.
std::unique_ptr<StripCorrection> engineCorrection(const EngineExports& engine);
// A LittleCMS transform of 16-bit RGB built from the block's bytes (818 or
// more bytes: matrix block; 15507 or more: lookup block, as InitCorrect tells
// them apart by size).
std::unique_ptr<StripCorrection> blockTransform16(const std::vector<std::uint8_t>& block, std::string* error);

struct CorrectionPlan {
    imaging::Format format = imaging::Format::Unknown;  // of the output
    imaging::WriteOptions write;
    bool reduceTo8Bits = false;
    // A TIFF input's compression for a TIFF output (none, LZW or deflate;
    // LZW for any other), instead of write.tiffCompression.
    bool keepTiffCompression = true;
    int stripRows = 0;  // 0: about 1 MiB, whole strips of the input's
    // Called after each strip is corrected, with rows done and rows in all
    // pages, on the thread that called correctImageFile; true stops the
    // correction (cancelled).
    std::function<bool(long long done, long long total)> progress;
    // Called after each strip is written, on the thread that writes.
    std::function<void()> written;
};

struct CorrectionOutcome {
    int pages = 0;
    int width = 0, height = 0;  // of the first page
    std::string route;          // which correction the pixels took, in words
    std::vector<std::string> warnings;
    bool cancelled = false;
};

struct CorrectOptions;
// The plan for one output of aucal correct, from its options (no progress).
CorrectionPlan correctionPlanFor(const CorrectOptions& options, const std::string& output);

// Reads input, corrects every page and writes output (a path the caller
// commits: the atomic-write helper's temporary file). eight is used for
// 8-bit images and reduced ones, sixteen for 16-bit images; both are called
// from the caller's thread only, one strip at a time.
bool correctImageFile(const std::string& input, const std::string& output, const CorrectionPlan& plan,
                      StripCorrection& eight, StripCorrection& sixteen, CorrectionOutcome* outcome,
                      std::string* error);

// How the 16-bit path agrees with CorrectImage: random 8-bit pixels v
// corrected by eight, and v x 257 corrected by sixteen and rounded to 8 bits.
struct DepthAgreement {
    long pixels = 0;
    double meanDifference = 0;  // levels
    int largestDifference = 0;
    double withinOneLevel = 0;  // fraction of samples
};
DepthAgreement measureDepthAgreement(StripCorrection& eight, StripCorrection& sixteen, int pixels, unsigned seed);

// The warning for an embedded profile that is not one of the scanner
// profiles aucal writes; empty when there is none or it is the scanner's.
std::string foreignProfileWarning(const std::string& path, const std::vector<std::uint8_t>& profile);

}  // namespace aucal

#endif
