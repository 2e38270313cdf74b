// Embedding an ICC profile into image files without touching their samples:
// the file is copied container by container and only the colour description
// changes, so that a scan keeps every byte of its pixel data (a JPEG is not
// decoded and compressed again).
//   PNG:  an iCCP chunk right after IHDR (zlib-compressed profile); any
//         earlier iCCP, sRGB, cICP, gAMA and cHRM go, since they would
//         describe the colours otherwise.
//   TIFF: tag 34675 (InterColorProfile) in every image directory; the
//         directories are written again at the end of the file, the strips
//         and tiles stay where they are.
//   JPEG: APP2 "ICC_PROFILE" segments after the JFIF/Exif segments, as many
//         as the profile needs (65519 bytes each, numbered from 1); earlier
//         ICC segments go.
#ifndef AUCAL_ICC_EMBED_H
#define AUCAL_ICC_EMBED_H

#include <cstdint>
#include <string>
#include <vector>

namespace aucal {

enum class ImageContainer { Png, Tiff, Jpeg, Unknown };

// From the first bytes of the file.
ImageContainer containerOf(const std::vector<std::uint8_t>& file);

// The whole file with the profile embedded; false with a sentence when the
// file is not a PNG, TIFF or JPEG this can read, or the profile is too large
// for the container.
bool embedProfile(const std::vector<std::uint8_t>& file, const std::vector<std::uint8_t>& profile,
                  std::vector<std::uint8_t>* out, std::string* error);

// Reads an ICC profile for embedding into RGB images: LittleCMS must open it,
// its colour space must be RGB and it must describe a device or colour space
// (not a device link). False with a sentence otherwise.
bool loadRgbProfile(const std::string& path, std::vector<std::uint8_t>* profile, std::string* error);

// Reads a file, embeds the profile and writes the result atomically.
bool embedProfileInFile(const std::string& input, const std::string& output, const std::vector<std::uint8_t>& profile,
                        std::string* error);

// The largest share of a profile in one JPEG APP2 segment: 65535 less the
// length field (2) and the "ICC_PROFILE\0" + number + count header (14).
constexpr std::size_t kJpegIccChunk = 65519;

}  // namespace aucal

#endif
