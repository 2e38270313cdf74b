#include "vexa_steps.h"

namespace drv {

namespace {

const ModelProfile kVexa{
    "vexa",
    "\\TWAIN_32\\KVSC_Z48\\KASPI_SP.DLL",
    true,  // ADDR_CHK; its handle goes with every call
    0,
    0,
    {
        {0.864, 6.772, 4.961, 150},
        {0.949, 6.102, 3.898, 240},
    },
    4800,  // 1/4800 inch for every model
    2,
    false,
    Pacing::PollThenSleep,
    Pacing::Unpaced,
    &popupProcedure,
};

VexaSteps g_steps;

}  // namespace

const ModelProfile& vexaProfile() { return kVexa; }
VexaSteps& vexaSteps() { return g_steps; }

}  // namespace drv
