// The module state of one driver library: the command blocks (zero at load,
// kept between runs), the Escape stop flag and the stored green shading of the
// last calibration. Each driver library has its own copy.
#ifndef SCANNER_DRIVER_DRIVER_STATE_H
#define SCANNER_DRIVER_DRIVER_STATE_H

#include <cstdint>

#include "command_blocks.h"
#include "platform/raii.hpp"

namespace drv {

// The green coefficient copies of the last calibration, sent again when a
// later run's set-window reply selects the stored shading. They live until
// the next calibration replaces them or the library is unloaded.
struct StoredShading {
    pf::LockedGlobal greenHigh;
    pf::LockedGlobal greenLow;
    pf::LockedGlobal records;          // 2 x 16 piece records: green-high, then green-low
    std::uint16_t greenHighPieces = 0;
    std::uint16_t greenLowPieces = 0;
    std::uint16_t lineBytes = 0;       // L of the last calibration
    bool valid() const { return greenHigh.ok() && greenLow.ok() && records.ok(); }
    void clear() {
        greenHigh.release();
        greenLow.release();
        records.release();
        greenHighPieces = greenLowPieces = 0;
        lineBytes = 0;
    }
};

struct CommandBlocks {
    InquiryBlock inquiry{};
    SetWindowBlock setWindow{};
    ClassicGammaBlock classicGamma{};
    VexaGammaBlock vexaGamma{};
    StartScanBlock startScan{};
    AbortBlock abort{};
    GetStatusBlock status{};
    ClassicReadImageBlock classicRead{};
    VexaReadImageBlock vexaRead{};
    ClassicGeometryBlock classicGeometry{};
    VexaGeometryBlock vexaGeometry{};
    ClassicReadShadingBlock classicReadShading{};
    VexaReadShadingBlock vexaReadShading{};
    ClassicSendShadingBlock classicSendShading{};
    VexaSendShadingBlock vexaSendShading{};
};

struct DriverState {
    CommandBlocks blocks;
    bool stopRequested = false;   // Escape seen during the transfer
    // A run is in progress. The transfer dispatches the host's messages, so
    // host code may call Scan_Image again from inside a run; that call is
    // refused instead of overwriting the blocks of the running one.
    bool running = false;
    StoredShading storedShading;
    // Piece counts of the high- and low-byte images of the latest calibration.
    std::uint16_t highPieces = 0;
    std::uint16_t lowPieces = 0;
};

DriverState& driverState();
// Back to the state at load (tests; frees the stored shading).
void resetDriverState();

}  // namespace drv

#endif
