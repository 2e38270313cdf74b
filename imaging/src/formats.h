// The readers and writers of each format, behind image_file.h.
#ifndef AUCAL_IMAGING_FORMATS_H
#define AUCAL_IMAGING_FORMATS_H

#include <memory>
#include <string>

#include "imaging/image_file.h"

namespace imaging::formats {

std::unique_ptr<ImageReader> openTarga(const std::string& path, std::string* error);
std::unique_ptr<ImageReader> openPng(const std::string& path, std::string* error);
std::unique_ptr<ImageReader> openTiff(const std::string& path, std::string* error);
std::unique_ptr<ImageReader> openJpeg(const std::string& path, std::string* error);

std::unique_ptr<ImageWriter> createTarga(const std::string& path, std::string* error);
std::unique_ptr<ImageWriter> createPng(const std::string& path, std::string* error);
std::unique_ptr<ImageWriter> createTiff(const std::string& path, std::string* error);
std::unique_ptr<ImageWriter> createJpeg(const std::string& path, int quality, std::string* error);

// "8-bit RGB with alpha" and the like.
std::string describeShape(int channels, int bitsPerSample);
bool fail(std::string* error, const std::string& path, const std::string& why);

}  // namespace imaging::formats

#endif
