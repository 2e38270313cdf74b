// A photograph-like test picture made from smooth shapes: a sky gradient,
// a sun, hills, a skin-toned disc, a grey ramp and saturated colour bars, so
// that a correction's effect on neutrals, skin, sky and strong colours shows.
#ifndef AUCAL_SAMPLE_IMAGE_H
#define AUCAL_SAMPLE_IMAGE_H

#include "image_io.h"

namespace aucal {

RgbImage samplePicture(int width, int height);

}  // namespace aucal

#endif
