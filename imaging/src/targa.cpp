#include "imaging/targa.h"
#include "imaging/utf8_file.h"

#include <cstring>

namespace imaging {

namespace {

constexpr int kMaxSide = 65535;

// Stored pixels are blue, green, red (, alpha) or grey; the image's are red,
// green, blue (, alpha) or grey. The same swap serves both directions.
void swapToImage(const std::uint8_t* stored, std::uint8_t* out, int width, int channels, bool rightToLeft) {
    for (int x = 0; x < width; ++x) {
        const std::uint8_t* s = stored + static_cast<std::size_t>(rightToLeft ? width - 1 - x : x) * channels;
        std::uint8_t* d = out + static_cast<std::size_t>(x) * channels;
        if (channels == 1) {
            d[0] = s[0];
            continue;
        }
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
        if (channels == 4) d[3] = s[3];
    }
}

// Why an image of this shape has no Targa form; empty when it has one.
std::string writeProblem(const Image& image) {
    if (std::string p = shapeProblem(image.width, image.height, image.channels, image.bitsPerSample); !p.empty())
        return p;
    if (image.bitsPerSample != 8)
        return "Targa holds 8 bits per sample; this image has " + std::to_string(image.bitsPerSample);
    if (image.channels == 2) return "Targa has no grey-and-alpha form";
    if (image.width == 0 || image.height == 0) return "an empty image";
    if (image.width > kMaxSide || image.height > kMaxSide)
        return "an image of " + std::to_string(image.width) + " x " + std::to_string(image.height) +
               " does not fit a Targa file (at most 65535 pixels a side)";
    return {};
}

bool holdsItsPixels(const Image& image) {
    return image.pixels.size() >= image.rowBytes() * static_cast<std::size_t>(image.height);
}

// 64-bit file positions, so that no Targa image (up to 17 GB) wraps them.
int seekTo(std::FILE* f, std::uint64_t offset, int whence = SEEK_SET) {
#if defined(_WIN32)
    return _fseeki64(f, static_cast<__int64>(offset), whence);
#else
    return fseeko(f, static_cast<off_t>(offset), whence);
#endif
}

std::int64_t position(std::FILE* f) {
#if defined(_WIN32)
    return _ftelli64(f);
#else
    return ftello(f);
#endif
}

TargaHeader headerFor(const Image& image) {
    TargaHeader h{};
    h.imageType = image.channels == 1 ? TargaHeader::kGrey : TargaHeader::kTrueColour;
    h.bitsPerPixel = static_cast<std::uint8_t>(8 * image.channels);
    h.descriptor = image.channels == 4 ? 8 : 0;
    h.widthLE[0] = static_cast<std::uint8_t>(image.width);
    h.widthLE[1] = static_cast<std::uint8_t>(image.width >> 8);
    h.heightLE[0] = static_cast<std::uint8_t>(image.height);
    h.heightLE[1] = static_cast<std::uint8_t>(image.height >> 8);
    return h;
}

TargaLayout writtenLayout(const Image& image) {
    TargaLayout l;
    l.width = image.width;
    l.height = image.height;
    l.channels = image.channels;
    l.dataOffset = sizeof(TargaHeader);
    return l;
}

bool fail(std::string* error, const std::string& path, const std::string& why) {
    if (error != nullptr) *error = path.empty() ? why : path + ": " + why;
    return false;
}

}  // namespace

bool targaLayout(const TargaHeader& h, std::uint64_t fileBytes, TargaLayout* layout, std::string* error) {
    switch (h.imageType) {
        case TargaHeader::kTrueColour:
        case TargaHeader::kGrey: break;
        case 1: return fail(error, {}, "a colour-mapped Targa image (true colour and grey are read)");
        case 9:
        case 10:
        case 11: return fail(error, {}, "a run-length encoded Targa image (uncompressed images are read)");
        default: return fail(error, {}, "not a Targa image (image type " + std::to_string(h.imageType) + ")");
    }
    const bool grey = h.imageType == TargaHeader::kGrey;
    if (grey ? h.bitsPerPixel != 8 : h.bitsPerPixel != 24 && h.bitsPerPixel != 32) {
        return fail(error, {}, "a Targa image of " + std::to_string(h.bitsPerPixel) + " bits per pixel (" +
                 (grey ? "8-bit grey is read)" : "24 and 32-bit true colour are read)"));
    }
    if (h.colourMapType > 1) {
        return fail(error, {}, "not a Targa image (colour-map type " + std::to_string(h.colourMapType) + ")");
    }
    if (h.width() == 0 || h.height() == 0) {
        return fail(error, {}, "an empty Targa image (" + std::to_string(h.width()) + " x " + std::to_string(h.height()) + ")");
    }
    TargaLayout l;
    l.width = h.width();
    l.height = h.height();
    l.channels = h.bitsPerPixel / 8;
    l.topFirst = (h.descriptor & TargaHeader::kTopFirst) != 0;
    l.rightToLeft = (h.descriptor & TargaHeader::kRightToLeft) != 0;
    const std::uint64_t mapBytes =
        h.colourMapType == 1 ? std::uint64_t{h.colourMapEntries()} * ((h.colourMapEntryBits + 7u) / 8u) : 0;
    l.dataOffset = sizeof(TargaHeader) + std::uint64_t{h.idLength} + mapBytes;
    const std::uint64_t need = l.dataOffset + std::uint64_t{l.storedRowBytes()} * l.height;
    if (fileBytes < need) {
        return fail(error, {}, "truncated Targa image: " + std::to_string(fileBytes) + " of " + std::to_string(need) + " bytes");
    }
    *layout = l;
    return true;
}

bool decodeTarga(const std::uint8_t* bytes, std::size_t size, Image* image, std::string* error) {
    if (size < sizeof(TargaHeader)) return fail(error, {}, "too short for a Targa header");
    TargaHeader h;
    std::memcpy(&h, bytes, sizeof h);
    TargaLayout l;
    if (!targaLayout(h, size, &l, error)) return false;
    Image out = Image::make(l.width, l.height, l.channels, 8);
    for (int y = 0; y < l.height; ++y)
        swapToImage(bytes + l.rowOffset(y), out.row(y), l.width, l.channels, l.rightToLeft);
    *image = std::move(out);
    return true;
}

bool readTarga(const std::string& path, Image* image, std::string* error) {
    TargaReader reader;
    if (!reader.open(path, error)) return false;
    Image out = reader.shape();
    out.pixels.resize(out.rowBytes() * static_cast<std::size_t>(out.height));
    if (!reader.readRows(0, out.height, out.pixels.data(), error)) return false;
    *image = std::move(out);
    return true;
}

std::optional<Image> loadTarga(const std::string& path) {
    Image image;
    if (!readTarga(path, &image)) return std::nullopt;
    return image;
}

std::vector<std::uint8_t> encodeTarga(const Image& image, std::string* error) {
    std::vector<std::uint8_t> bytes;
    if (std::string p = writeProblem(image); !p.empty()) {
        fail(error, {}, p);
        return bytes;
    }
    if (!holdsItsPixels(image)) {
        fail(error, {}, "the image holds fewer pixels than its size");
        return bytes;
    }
    const TargaHeader h = headerFor(image);
    const TargaLayout l = writtenLayout(image);
    bytes.assign(l.dataOffset + l.storedRowBytes() * static_cast<std::size_t>(l.height), 0);
    std::memcpy(bytes.data(), &h, sizeof h);
    for (int y = 0; y < l.height; ++y)
        swapToImage(image.row(y), bytes.data() + l.rowOffset(y), l.width, l.channels, false);
    return bytes;
}

bool writeTarga(const std::string& path, const Image& image, std::string* error) {
    if (!holdsItsPixels(image)) return fail(error, path, "the image holds fewer pixels than its size");
    TargaWriter writer;
    return writer.create(path, image, error) && writer.writeRows(0, image.height, image.pixels.data(), error) &&
           writer.finish(error);
}

bool TargaReader::open(const std::string& path, std::string* error) {
    path_ = path;
    file_.reset(openFile(path, "rb"));
    if (!file_) return fail(error, path, cannotOpen());
    TargaHeader h;
    if (std::fread(&h, 1, sizeof h, file_.get()) != sizeof h) return fail(error, path, "too short for a Targa header");
    // The declared size must be there before anything that large is allocated.
    if (seekTo(file_.get(), 0, SEEK_END) != 0) return fail(error, path, "cannot seek");
    const std::int64_t end = position(file_.get());
    std::string why;
    if (end < 0 || !targaLayout(h, static_cast<std::uint64_t>(end), &layout_, &why)) return fail(error, path, why);
    stored_.resize(layout_.storedRowBytes());
    return true;
}

Image TargaReader::shape() const {
    Image s;
    s.width = layout_.width;
    s.height = layout_.height;
    s.channels = layout_.channels;
    return s;
}

bool TargaReader::readRows(int first, int count, std::uint8_t* out, std::string* error) {
    if (!file_ || first < 0 || count < 0 || first + count > layout_.height)
        return fail(error, path_, "rows outside the image");
    const std::size_t rowBytes = layout_.storedRowBytes();
    for (int y = first; y < first + count; ++y) {
        // Rows stored bottom first are read backwards, one seek per row.
        if (seekTo(file_.get(), layout_.rowOffset(y)) != 0 ||
            std::fread(stored_.data(), 1, rowBytes, file_.get()) != rowBytes)
            return fail(error, path_, "cannot read its pixel rows");
        swapToImage(stored_.data(), out + static_cast<std::size_t>(y - first) * rowBytes, layout_.width,
                    layout_.channels, layout_.rightToLeft);
    }
    return true;
}

bool TargaWriter::create(const std::string& path, const Image& shape, std::string* error) {
    path_ = path;
    if (std::string p = writeProblem(shape); !p.empty()) return fail(error, path, p);
    layout_ = writtenLayout(shape);
    file_.reset(openFile(path, "wb"));
    if (!file_) return fail(error, path, "cannot create");
    const TargaHeader h = headerFor(shape);
    if (std::fwrite(&h, 1, sizeof h, file_.get()) != sizeof h) return fail(error, path, "cannot write");
    stored_.resize(layout_.storedRowBytes());
    return true;
}

bool TargaWriter::writeRows(int first, int count, const std::uint8_t* rows, std::string* error) {
    if (!file_ || first < 0 || count < 0 || first + count > layout_.height)
        return fail(error, path_, "rows outside the image");
    const std::size_t rowBytes = layout_.storedRowBytes();
    for (int y = first; y < first + count; ++y) {
        swapToImage(rows + static_cast<std::size_t>(y - first) * rowBytes, stored_.data(), layout_.width,
                    layout_.channels, false);
        if (seekTo(file_.get(), layout_.rowOffset(y)) != 0 ||
            std::fwrite(stored_.data(), 1, rowBytes, file_.get()) != rowBytes)
            return fail(error, path_, "cannot write");
    }
    return true;
}

bool TargaWriter::finish(std::string* error) {
    if (!file_) return fail(error, path_, "not open");
    const bool ok = std::fflush(file_.get()) == 0 && !std::ferror(file_.get());
    const bool closed = std::fclose(file_.release()) == 0;
    if (!ok || !closed) return fail(error, path_, "cannot write");
    return true;
}

}  // namespace imaging
