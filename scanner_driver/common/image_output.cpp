#include "image_output.h"

#include "platform/files.h"

namespace drv {

TargaFileHeader targaHeader(std::uint16_t width, std::uint16_t height) {
    TargaFileHeader header{};
    header.imageType = 2;
    header.width = width;
    header.height = height;
    header.bitsPerPixel = 24;
    return header;
}

ImageFile::~ImageFile() { discard(); }

bool ImageFile::create(const char* path) {
    discard();
    if (path == nullptr) return false;
    file_ = pf::FileHandle(pfLcreat(path, 0));
    if (!file_.ok()) return false;
    path_ = path;
    return true;
}

bool ImageFile::write(const void* bytes, std::uint32_t count) {
    return file_.ok() && pfLwrite(file_.get(), bytes, count) == count;
}

bool ImageFile::writeHeader(const ImageGeometry& geometry) {
    const TargaFileHeader header =
        targaHeader(static_cast<std::uint16_t>(geometry.writtenWidth), static_cast<std::uint16_t>(geometry.lines));
    return write(&header, sizeof(header));
}

bool ImageFile::writeRows(const std::uint8_t* image, const ImageGeometry& geometry, Progress& progress) {
    const std::uint32_t rowBytes = 3 * geometry.writtenWidth;
    for (std::uint32_t l = 1; l <= geometry.lines; ++l) {
        progress.record.count = static_cast<std::uint16_t>(l);
        if (!write(image + static_cast<std::size_t>(geometry.stride) * (l - 1), rowBytes)) return false;
        progress.report(static_cast<std::uint16_t>(l), geometry.lines);
    }
    return true;
}

bool ImageFile::keep() {
    if (!file_.ok()) return false;
    file_.close();
    path_.clear();
    return true;
}

void ImageFile::discard() {
    if (!file_.ok()) return;
    file_.close();
    pfDeleteFile(path_.c_str());
    path_.clear();
}

}  // namespace drv
