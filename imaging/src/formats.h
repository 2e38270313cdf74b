// The readers and writers of each format, behind image_file.h.
#ifndef AUCAL_IMAGING_FORMATS_H
#define AUCAL_IMAGING_FORMATS_H

#include <cstdio>
#include <memory>
#include <string>

#include "imaging/image_file.h"
#include "imaging/utf8_file.h"

namespace imaging::formats {

std::unique_ptr<ImageReader> openTarga(const std::string& path, std::string* error);
std::unique_ptr<ImageReader> openPng(const std::string& path, std::string* error);
std::unique_ptr<ImageReader> openTiff(const std::string& path, std::string* error);
std::unique_ptr<ImageReader> openJpeg(const std::string& path, std::string* error);

std::unique_ptr<ImageWriter> createTarga(const std::string& path, std::string* error);
std::unique_ptr<ImageWriter> createPng(const std::string& path, int deflateLevel, std::string* error);
std::unique_ptr<ImageWriter> createTiff(const std::string& path, const WriteOptions& options, std::string* error);
std::unique_ptr<ImageWriter> createJpeg(const std::string& path, int quality, std::string* error);

// A reader of type R opened on path; null with the reason when it cannot be.
template <typename R>
std::unique_ptr<ImageReader> opened(const std::string& path, std::string* error) {
    auto r = std::make_unique<R>();
    if (!r->open(path, error)) return nullptr;
    return r;
}

// Flushes and closes a written file (and forgets it); false with the reason.
bool closeWritten(std::FILE*& file, const std::string& path, std::string* error);

// "8-bit RGB with alpha" and the like.
std::string describeShape(int channels, int bitsPerSample);
bool fail(std::string* error, const std::string& path, const std::string& why);

}  // namespace imaging::formats

#endif
