// Image files for the host: 24-bit Targa (the system's own format), PNG and
// TIFF, as 8-bit RGB rows from the top of the picture down.
#ifndef AUCAL_IMAGE_IO_H
#define AUCAL_IMAGE_IO_H

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/image.h"

namespace aucal {

// The shared image type; what readImage gives is 8-bit RGB, rows top first.
using RgbImage = imaging::Image;

enum class ImageFormat { Targa, Png, Tiff, Unknown };

ImageFormat formatFromPath(const std::string& path);
const char* formatName(ImageFormat f);

// False with a sentence on any failure; a failed write leaves no file.
bool readImage(const std::string& path, RgbImage* image, std::string* error);
bool writeImage(const std::string& path, const RgbImage& image, std::string* error);

}  // namespace aucal

#endif
