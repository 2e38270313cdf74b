// Decode, correct and encode of one image side by side: three stages over
// strips of rows, each stage on its own thread, the strips passing in order
// through a few buffers. The reading stage runs on one thread, the writing
// stage on another, the correcting stage on the caller's thread (so that the
// engine is called from where the caller holds it, and what it throws
// reaches the caller once the other two have stopped). Memory: the buffers
// alone, whatever the image's height.
#ifndef AUCAL_STRIP_PIPELINE_H
#define AUCAL_STRIP_PIPELINE_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace aucal {

// One strip in flight: rows first .. first + rows - 1, and the bytes the
// stages keep for it (as read, a working copy, as written), sized by them.
struct Strip {
    int first = 0, rows = 0;
    std::vector<std::uint8_t> in, work, out;
    std::size_t inAt = 0;  // where the rows as read begin in `in`
};

struct StripStages {
    // Each takes the strip and returns false with the reason to stop all.
    std::function<bool(Strip&, std::string*)> read, correct, write;
};

// Runs the stages over rows 0 .. height - 1 in strips of stripRows, through
// `buffers` strips. False with the first stage's reason (reading, then
// correcting, then writing) when one stopped.
bool runStripPipeline(int height, int stripRows, int buffers, const StripStages& stages, std::string* error);

}  // namespace aucal

#endif
