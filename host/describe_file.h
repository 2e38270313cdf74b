// What aucal info says about each kind of file it knows, besides its own
// saved files: images, ICC profiles and target reference data. Each prints
// its lines to standard output and gives false with a sentence when the file
// is not what it was taken for.
#ifndef AUCAL_DESCRIBE_FILE_H
#define AUCAL_DESCRIBE_FILE_H

#include <cstdint>
#include <string>
#include <vector>

namespace aucal {

// True when the bytes are an ICC profile's: the signature "acsp" at byte 36.
bool looksLikeProfile(const std::vector<std::uint8_t>& head);
// The profile's description tag in ASCII (en/US), or "" when it has none or
// the bytes are not a profile LittleCMS opens.
std::string profileDescription(const std::vector<std::uint8_t>& profile);

// Class, colour spaces, version, description, white point and tags.
bool describeProfile(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string* error);
// Format, size, depth, channels, alpha, pages, resolution, orientation and
// the embedded profile of each page.
bool describeImage(const std::string& path, std::string* error);
// True when the text starts (after a byte-order mark) with IT8.7/2 or CGATS.
bool looksLikeReference(const std::vector<std::uint8_t>& head);
// Header, fields, patches found and which of the 130 are missing, or the
// line of the first problem (a refused file is still described: true).
bool describeReference(const std::string& path, const std::string& text, std::string* error);
// The patch exports and HTML pages aucal writes; false (nothing printed)
// when the text is none of them.
bool describeAucalText(const std::string& path, const std::string& text);

}  // namespace aucal

#endif
