// The scan model: the classic dialect on the flatbed's standard window.
#ifndef SCANNER_DRIVER_SCAN_PROFILE_H
#define SCANNER_DRIVER_SCAN_PROFILE_H

#include "classic_steps.h"

namespace drv {

const ModelProfile& scanProfile();
ClassicSteps& scanSteps();

}  // namespace drv

#endif
