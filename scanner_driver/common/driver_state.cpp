#include "driver_state.h"

namespace drv {

namespace {
DriverState g_state;
}

DriverState& driverState() { return g_state; }

void resetDriverState() {
    g_state.storedShading.clear();
    g_state.blocks = CommandBlocks{};
    g_state.stopRequested = false;
    g_state.running = false;
    g_state.highPieces = 0;
    g_state.lowPieces = 0;
}

}  // namespace drv
