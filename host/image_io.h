// Pictures for the host's own use: scans handed to the engine, the demo's
// sample pictures and the report's figures, as 8-bit RGB rows from the top of
// the picture down. A thin layer over the shared image files (imaging/), which
// read Targa, PNG, TIFF and JPEG as stored.
//
// Reading makes any picture a scan can be into what the engine takes: grey is
// repeated into R, G and B; 16-bit samples are rounded to 8 bits
// (v * 255 / 65535, to the nearest); a TIFF stored in another orientation is
// turned so that rows run top first; an alpha channel is dropped when every
// pixel is opaque and refused otherwise (a scan's samples are what the scanner
// saw, so a transparent pixel has no level to give the engine). What the
// shared readers refuse (CMYK, Lab, floating-point samples) is refused with
// their sentence. Only the first page of a TIFF is read.
//
// Writing goes through the shared writers, chosen by the name's extension:
// the pixels are device values, so PNG and TIFF are written untagged.
#ifndef AUCAL_IMAGE_IO_H
#define AUCAL_IMAGE_IO_H

#include <string>

#include "imaging/image.h"

namespace aucal {

// The shared image type; what readImage gives is 8-bit RGB, rows top first.
using RgbImage = imaging::Image;

// False with a sentence on any failure. `storedAs`, when given, says what the
// file held, e.g. "PNG, 16-bit RGB".
bool readImage(const std::string& path, RgbImage* image, std::string* error, std::string* storedAs = nullptr);
// False with a sentence on any failure; a failed write leaves no file.
bool writeImage(const std::string& path, const RgbImage& image, std::string* error);

}  // namespace aucal

#endif
