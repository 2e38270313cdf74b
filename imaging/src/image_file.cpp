#include "imaging/image_file.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "formats.h"
#include "imaging/targa.h"

namespace imaging {

namespace formats {

bool fail(std::string* error, const std::string& path, const std::string& why) {
    if (error != nullptr) *error = path.empty() ? why : path + ": " + why;
    return false;
}

bool closeWritten(std::FILE*& file, const std::string& path, std::string* error) {
    const bool ok = std::fflush(file) == 0 && !std::ferror(file);
    const bool closed = std::fclose(file) == 0;
    file = nullptr;
    return (ok && closed) || fail(error, path, "cannot write");
}

std::string describeShape(int channels, int bitsPerSample) {
    static const char* const kinds[] = {"?", "grey", "grey with alpha", "RGB", "RGB with alpha"};
    return std::to_string(bitsPerSample) + "-bit " + (channels >= 1 && channels <= 4 ? kinds[channels] : "?");
}

namespace {

// Targa through the shared codec: rows read and written strip by strip.
class TargaFileReader : public ImageReader {
public:
    bool open(const std::string& path, std::string* error) {
        if (!reader_.open(path, error)) return false;
        shape_ = reader_.shape();
        facts_.format = Format::Targa;
        facts_.storedAs = describeShape(shape_.channels, 8) + (reader_.layout().topFirst ? ", top row first" : "");
        return true;
    }
    bool readRows(int count, std::uint8_t* out, std::string* error) override {
        if (!reader_.readRows(next_, count, out, error)) return false;
        next_ += count;
        return true;
    }

private:
    TargaReader reader_;
    int next_ = 0;
};

class TargaFileWriter : public ImageWriter {
public:
    explicit TargaFileWriter(std::string path) : path_(std::move(path)) {}
    bool beginPage(const Image& shape, std::string* error) override {
        if (started_) return fail(error, path_, "a Targa file holds one page");
        started_ = true;
        return writer_.create(path_, shape, error);
    }
    bool writeRows(int count, const std::uint8_t* rows, std::string* error) override {
        if (!writer_.writeRows(next_, count, rows, error)) return false;
        next_ += count;
        return true;
    }
    bool finish(std::string* error) override { return writer_.finish(error); }

private:
    std::string path_;
    TargaWriter writer_;
    bool started_ = false;
    int next_ = 0;
};

}  // namespace

std::unique_ptr<ImageReader> openTarga(const std::string& path, std::string* error) {
    return opened<TargaFileReader>(path, error);
}

std::unique_ptr<ImageWriter> createTarga(const std::string& path, std::string*) {
    return std::make_unique<TargaFileWriter>(path);
}

}  // namespace formats

bool ImageReader::nextPage(std::string*) { return false; }

Format formatFromPath(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".tga") return Format::Targa;
    if (ext == ".png") return Format::Png;
    if (ext == ".tif" || ext == ".tiff") return Format::Tiff;
    if (ext == ".jpg" || ext == ".jpeg") return Format::Jpeg;
    return Format::Unknown;
}

Format formatFromSignature(const std::uint8_t* b, std::size_t n) {
    if (n >= 8 && std::memcmp(b, "\x89PNG\r\n\x1a\n", 8) == 0) return Format::Png;
    if (n >= 4 && (std::memcmp(b, "II*\0", 4) == 0 || std::memcmp(b, "MM\0*", 4) == 0)) return Format::Tiff;
    if (n >= 4 && (std::memcmp(b, "II+\0", 4) == 0 || std::memcmp(b, "MM\0+", 4) == 0)) return Format::Tiff;
    if (n >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return Format::Jpeg;
    // Targa has no signature: an 18-byte header whose image type is one of
    // Targa's (the codec then checks the rest).
    if (n >= 18 && b[1] <= 1 && (b[2] <= 3 || (b[2] >= 9 && b[2] <= 11)) && b[2] != 0) return Format::Targa;
    return Format::Unknown;
}

const char* formatName(Format f) {
    switch (f) {
        case Format::Targa: return "Targa";
        case Format::Png: return "PNG";
        case Format::Tiff: return "TIFF";
        case Format::Jpeg: return "JPEG";
        case Format::Unknown: break;
    }
    return "unknown";
}

std::unique_ptr<ImageReader> openImage(const std::string& path, std::string* error) {
    std::uint8_t head[18] = {};
    std::size_t n = 0;
    if (std::FILE* f = openFile(path, "rb")) {
        n = std::fread(head, 1, sizeof head, f);
        std::fclose(f);
    } else {
        formats::fail(error, path, cannotOpen());
        return nullptr;
    }
    switch (formatFromSignature(head, n)) {
        case Format::Targa: return formats::openTarga(path, error);
        case Format::Png: return formats::openPng(path, error);
        case Format::Tiff: return formats::openTiff(path, error);
        case Format::Jpeg: return formats::openJpeg(path, error);
        case Format::Unknown: break;
    }
    formats::fail(error, path, "not an image of a known kind (Targa, PNG, TIFF or JPEG)");
    return nullptr;
}

std::string writeRefusal(Format format, const Image& shape) {
    if (std::string p = shapeProblem(shape.width, shape.height, shape.channels, shape.bitsPerSample); !p.empty())
        return p;
    if (shape.width <= 0 || shape.height <= 0) return "an empty image";
    switch (format) {
        case Format::Targa:
            if (shape.bitsPerSample != 8) return "Targa holds 8 bits per sample; this image has 16 (write PNG or TIFF)";
            if (shape.channels == 2) return "Targa has no grey-and-alpha form (write PNG or TIFF)";
            if (shape.width > 65535 || shape.height > 65535) return "Targa holds at most 65535 pixels a side";
            return {};
        case Format::Jpeg:
            if (shape.bitsPerSample != 8) return "JPEG holds 8 bits per sample; this image has 16 (write PNG or TIFF)";
            if (shape.hasAlpha()) return "JPEG has no alpha channel (write PNG or TIFF to keep it)";
            if (shape.width > 65500 || shape.height > 65500) return "JPEG holds at most 65500 pixels a side";
            return {};
        case Format::Png:
        case Format::Tiff: return {};
        case Format::Unknown: break;
    }
    return "unknown image type (use .tga, .png, .tif, .tiff, .jpg or .jpeg)";
}

std::unique_ptr<ImageWriter> createImage(const std::string& path, Format format, const WriteOptions& options,
                                         std::string* error) {
    switch (format) {
        case Format::Targa: return formats::createTarga(path, error);
        case Format::Png: return formats::createPng(path, options.deflateLevel, error);
        case Format::Tiff: return formats::createTiff(path, options, error);
        case Format::Jpeg: return formats::createJpeg(path, options.jpegQuality, error);
        case Format::Unknown: break;
    }
    formats::fail(error, path, writeRefusal(format, Image{}));
    return nullptr;
}

bool readImageFile(const std::string& path, Image* image, std::string* error) {
    auto reader = openImage(path, error);
    if (!reader) return false;
    Image out = reader->shape();
    out.pixels.resize(out.rowBytes() * static_cast<std::size_t>(out.height));
    if (!reader->readRows(out.height, out.pixels.data(), error)) return false;
    *image = std::move(out);
    return true;
}

bool writeImageFile(const std::string& path, Format format, const Image& image, const WriteOptions& options,
                    std::string* error) {
    if (std::string why = writeRefusal(format, image); !why.empty()) return formats::fail(error, path, why);
    auto writer = createImage(path, format, options, error);
    return writer && writer->beginPage(image, error) && writer->writeRows(image.height, image.pixels.data(), error) &&
           writer->finish(error);
}

}  // namespace imaging
