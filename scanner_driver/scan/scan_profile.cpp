#include "scan_profile.h"

namespace drv {

namespace {

const ModelProfile kScan{
    "scan",
    "\\TWAIN_32\\KVSC_PRO\\KASPI_SP.DLL",
    false,  // no ADDR_CHK: adapter handle 0
    0,
    0,
    {
        {0.864, 6.772, 4.961, 150},  // reflective, inches
        {0.949, 6.102, 3.898, 240},  // transparency
    },
    0,  // window unit: the model's base resolution
    3,
    false,
    Pacing::PollThenSleep,
    Pacing::PollThenSleep,
    &popupProcedure,
};

ClassicSteps g_steps;

}  // namespace

const ModelProfile& scanProfile() { return kScan; }
ClassicSteps& scanSteps() { return g_steps; }

}  // namespace drv
