// aucal info on images: what the file stores, page by page, from the shared
// readers (no pixels are decoded).
#include <cstdio>

#include "describe_file.h"
#include "imaging/image_file.h"

namespace aucal {

namespace {

// Where a TIFF orientation puts the first stored row and column.
const char* orientationWords(int orientation) {
    static const char* const words[] = {
        "first row at the top, first column at the left (upright)",
        "first row at the top, first column at the right (mirrored)",
        "first row at the bottom, first column at the right (half turn)",
        "first row at the bottom, first column at the left (flipped)",
        "first row at the left, first column at the top (transposed)",
        "first row at the right, first column at the top (shown a quarter turn clockwise)",
        "first row at the right, first column at the bottom (transverse)",
        "first row at the left, first column at the bottom (shown a quarter turn anticlockwise)",
    };
    return orientation >= 1 && orientation <= 8 ? words[orientation - 1] : "not one of the eight TIFF orientations";
}

void describePage(const imaging::Image& shape, const char* indent) {
    const imaging::Metadata& m = shape.metadata;
    std::printf("%sbit depth %d, %d channel%s, alpha %s\n", indent, shape.bitsPerSample, shape.channels,
                shape.channels == 1 ? "" : "s", shape.hasAlpha() ? "yes" : "no");
    if (m.xDpi > 0 || m.yDpi > 0) std::printf("%sresolution %.4g x %.4g dpi\n", indent, m.xDpi, m.yDpi);
    else std::printf("%sresolution not stated\n", indent);
    std::printf("%sorientation %d: %s\n", indent, m.orientation, orientationWords(m.orientation));
    if (m.iccProfile.empty()) {
        std::printf("%sno embedded profile\n", indent);
    } else {
        const std::string description = profileDescription(m.iccProfile);
        std::printf("%sembedded profile: %s (%zu bytes)\n", indent,
                    description.empty() ? "without a readable description" : ("\"" + description + "\"").c_str(),
                    m.iccProfile.size());
    }
    if (!m.dateTime.empty()) std::printf("%sdate %s\n", indent, m.dateTime.c_str());
    for (const auto& [key, value] : m.text) std::printf("%stext %s: %s\n", indent, key.c_str(), value.c_str());
}

}  // namespace

bool describeImage(const std::string& path, std::string* error) {
    auto reader = imaging::openImage(path, error);
    if (!reader) return false;
    error->clear();
    const imaging::FileFacts& facts = reader->facts();
    std::printf("%s: %s image, %d x %d pixels, stored as %s, %d page%s\n", path.c_str(),
                imaging::formatName(facts.format), reader->shape().width, reader->shape().height,
                facts.storedAs.c_str(), facts.pages, facts.pages == 1 ? "" : "s");
    describePage(reader->shape(), "  ");
    for (int page = 2; reader->nextPage(error); ++page) {
        std::printf("  page %d: %d x %d pixels, stored as %s\n", page, reader->shape().width, reader->shape().height,
                    reader->facts().storedAs.c_str());
        describePage(reader->shape(), "    ");
    }
    // nextPage sets the error only when a page cannot be read.
    return error->empty();
}

}  // namespace aucal
