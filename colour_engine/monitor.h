// Monitor set-up: the phosphor chromaticities and the visual match that turns
// three half-luminance drive levels and the scanner's linear matrix into a
// MatrixCorrectionBlock.
#ifndef QEL_MONITOR_H
#define QEL_MONITOR_H

#include <cstdint>

namespace qel {

// Chromaticity of the display white (D65 as the monitor shows it, Y = 100).
constexpr double kDisplayWhiteX = 0.3127;
constexpr double kDisplayWhiteY = 0.329;

// Fills block bytes 0..815: the three gamma tables (drive level for each
// linear level, per channel) and the 3x4 matrix on the 0..255 scale from the
// scanner model's linear matrix (floats 795..806). Bytes 816 and 817 are left
// as they are. model must be non-null.
void BuildMatrixBlock(int levelR, int levelG, int levelB, const float* model, std::uint8_t* block);

}  // namespace qel

#endif
