// TIFF through libtiff: stripped and tiled images of interleaved samples,
// read a strip of rows (or a row of tiles) at a time; every page (directory)
// in turn. Written in strips, uncompressed, LZW or deflate (both with the
// horizontal predictor), one directory per page.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "formats.h"

namespace imaging::formats {

namespace {

// The largest strip or row of tiles held at once: a file may declare one
// strip for a whole huge image, which is refused rather than allocated.
constexpr std::uint64_t kMaxBandBytes = 256ull << 20;

// libtiff reports through process-wide handlers: the last message of this
// thread is kept for the sentence that refuses the file.
thread_local std::string t_lastMessage;

void onTiffError(const char*, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    t_lastMessage = text;
}

void installHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(onTiffError);
        TIFFSetWarningHandler(nullptr);
    });
}

std::string lastMessage() { return t_lastMessage.empty() ? "cannot be decoded" : t_lastMessage; }

// libtiff's file calls over a FileSink, at a position of their own.
struct SinkFile {
    FileSink* sink = nullptr;
    std::uint64_t position = 0;
};

SinkFile& sinkOf(thandle_t handle) { return *static_cast<SinkFile*>(handle); }

tmsize_t sinkRead(thandle_t handle, void* data, tmsize_t size) {
    SinkFile& f = sinkOf(handle);
    const std::uint64_t end = f.sink->size();
    const std::uint64_t n = f.position >= end ? 0 : std::min<std::uint64_t>(static_cast<std::uint64_t>(size), end - f.position);
    if (n > 0 && !f.sink->readAt(f.position, data, static_cast<std::size_t>(n))) return -1;
    f.position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t sinkWrite(thandle_t handle, void* data, tmsize_t size) {
    SinkFile& f = sinkOf(handle);
    if (!f.sink->writeAt(f.position, data, static_cast<std::size_t>(size))) return -1;
    f.position += static_cast<std::uint64_t>(size);
    return size;
}

// Offsets are unsigned: one back from the position wraps and adds up right.
toff_t sinkSeek(thandle_t handle, toff_t offset, int whence) {
    SinkFile& f = sinkOf(handle);
    const std::uint64_t from = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f.position : f.sink->size();
    return f.position = from + offset;
}

toff_t sinkSize(thandle_t handle) { return sinkOf(handle).sink->size(); }
int sinkClose(thandle_t) { return 0; }
int sinkMap(thandle_t, void**, toff_t*) { return 0; }
void sinkUnmap(thandle_t, void*, toff_t) {}

// TIFFOpen reads a narrow path in the ANSI code page on Windows: there the
// UTF-8 path goes to TIFFOpenW (utf8_file.h).
TIFF* openTiffFile(const std::string& path, const char* mode) {
#if defined(_WIN32)
    return TIFFOpenW(widePath(path).c_str(), mode);
#else
    return TIFFOpen(path.c_str(), mode);
#endif
}

struct TextTag {
    ttag_t tag;
    const char* key;
};
// TIFF's text tags and the keys they carry in the metadata (PNG's keywords
// where one exists).
constexpr TextTag kTextTags[] = {{TIFFTAG_IMAGEDESCRIPTION, "Description"}, {TIFFTAG_ARTIST, "Author"},
                                 {TIFFTAG_COPYRIGHT, "Copyright"},          {TIFFTAG_SOFTWARE, "Software"},
                                 {TIFFTAG_DOCUMENTNAME, "Title"},           {TIFFTAG_MAKE, "Make"},
                                 {TIFFTAG_MODEL, "Model"},                  {TIFFTAG_HOSTCOMPUTER, "Host computer"}};

class TiffReader : public ImageReader {
public:
    ~TiffReader() override {
        if (tiff_ != nullptr) TIFFClose(tiff_);
    }

    bool open(const std::string& path, std::string* error) {
        installHandlers();
        t_lastMessage.clear();
        path_ = path;
        tiff_ = openTiffFile(path, "rm");
        if (tiff_ == nullptr) return fail(error, path, "not a readable TIFF: " + lastMessage());
        facts_.format = Format::Tiff;
        facts_.pages = TIFFNumberOfDirectories(tiff_);
        std::uint16_t compression = COMPRESSION_NONE;
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_COMPRESSION, &compression);
        facts_.compression = compression == COMPRESSION_NONE        ? Compression::None
                             : compression == COMPRESSION_ADOBE_DEFLATE ||
                                       compression == COMPRESSION_DEFLATE ? Compression::Deflate
                                                                          : Compression::Lzw;
        return readDirectory(error);
    }

    bool nextPage(std::string* error) override {
        if (!TIFFReadDirectory(tiff_)) return false;
        return readDirectory(error);
    }

    int storedRows() const override { return unitRows_; }

    bool readRows(int count, std::uint8_t* out, std::string* error) override {
        const std::size_t rowBytes = shape_.rowBytes();
        // Whole strips of samples as they are decoded straight into out.
        while (direct_ && count > 0 && next_ % unitRows_ == 0 &&
               (count >= unitRows_ || next_ + count == shape_.height)) {
            const int n = std::min(unitRows_, shape_.height - next_);
            t_lastMessage.clear();
            const tstrip_t strip = TIFFComputeStrip(tiff_, static_cast<std::uint32_t>(next_), 0);
            if (TIFFReadEncodedStrip(tiff_, strip, out, static_cast<tmsize_t>(rowBytes * n)) < 0)
                return fail(error, path_, lastMessage());
            out += rowBytes * n;
            next_ += n;
            count -= n;
        }
        for (int i = 0; i < count; ++i, ++next_) {
            if (next_ < bandFirst_ || next_ >= bandFirst_ + bandRows_)
                if (!readBand(next_, error)) return false;
            convertRow(band_.data() + storedRowBytes_ * static_cast<std::size_t>(next_ - bandFirst_),
                       out + rowBytes * static_cast<std::size_t>(i));
        }
        return true;
    }

private:
    // Checks the page and fills the shape; refuses what the correction cannot
    // mean, naming it.
    bool readDirectory(std::string* error) {
        std::uint32_t w = 0, h = 0;
        std::uint16_t spp = 1, bps = 1, photometric = 0, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
        std::uint16_t compression = COMPRESSION_NONE, orientation = ORIENTATION_TOPLEFT;
        TIFFGetField(tiff_, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tiff_, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_SAMPLESPERPIXEL, &spp);
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_BITSPERSAMPLE, &bps);
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_PLANARCONFIG, &planar);
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_SAMPLEFORMAT, &format);
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_COMPRESSION, &compression);
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_ORIENTATION, &orientation);
        if (!TIFFGetField(tiff_, TIFFTAG_PHOTOMETRIC, &photometric))
            return fail(error, path_, "a TIFF page without a photometric interpretation");
        const std::string page = facts_.pages > 1 ? "page " + std::to_string(TIFFCurrentDirectory(tiff_) + 1) + ": " : "";
        auto refuse = [&](const std::string& why) { return fail(error, path_, page + why); };
        if (format == SAMPLEFORMAT_IEEEFP) return refuse("floating-point samples (the correction takes integer levels)");
        if (format != SAMPLEFORMAT_UINT) return refuse("signed or complex samples (the correction takes unsigned levels)");
        switch (photometric) {
            case PHOTOMETRIC_SEPARATED: return refuse("CMYK (the correction takes scanner RGB)");
            case PHOTOMETRIC_CIELAB:
            case PHOTOMETRIC_ICCLAB:
            case PHOTOMETRIC_ITULAB: return refuse("Lab (the correction takes scanner RGB)");
            case PHOTOMETRIC_YCBCR:
                if (compression != COMPRESSION_JPEG) return refuse("YCbCr (the correction takes scanner RGB)");
                // JPEG-compressed YCbCr decodes to the RGB it encodes.
                TIFFSetField(tiff_, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
                photometric = PHOTOMETRIC_RGB;
                break;
            case PHOTOMETRIC_MINISBLACK:
            case PHOTOMETRIC_MINISWHITE:
            case PHOTOMETRIC_RGB:
            case PHOTOMETRIC_PALETTE: break;
            default: return refuse("photometric interpretation " + std::to_string(photometric) + " (grey, RGB and palette are read)");
        }
        if (spp > 4) return refuse(std::to_string(spp) + " channels (at most 4: RGB with alpha)");
        if (planar != PLANARCONFIG_CONTIG && spp > 1)
            return refuse("colour planes stored separately (interleaved samples are read)");
        palette_ = photometric == PHOTOMETRIC_PALETTE;
        invert_ = photometric == PHOTOMETRIC_MINISWHITE;
        const int colour = photometric == PHOTOMETRIC_RGB ? 3 : 1;
        if (palette_ ? (bps != 8 || spp != 1) : (bps != 8 && bps != 16))
            return refuse(std::to_string(bps) + " bits per sample (8 and 16 are read" + (palette_ ? ", 8 for palettes)" : ")"));
        if (spp < colour || spp > colour + 1) return refuse(std::to_string(spp) + " samples for " + (colour == 3 ? "RGB" : "grey"));
        if (w == 0 || h == 0 || w > (1u << 20) || h > (1u << 20)) return refuse("an unreadable size");

        shape_ = Image{};
        shape_.width = static_cast<int>(w);
        shape_.height = static_cast<int>(h);
        shape_.bitsPerSample = palette_ ? 8 : bps;
        shape_.channels = palette_ ? 3 : spp;
        storedSamples_ = spp;
        storedRowBytes_ = static_cast<std::size_t>(w) * spp * (bps / 8);
        if (palette_ && !TIFFGetField(tiff_, TIFFTAG_COLORMAP, &map_[0], &map_[1], &map_[2]))
            return refuse("a palette image without its palette");
        shape_.metadata.orientation = orientation;
        readMetadata();
        facts_.storedAs = palette_ ? "8-bit palette" : describeShape(spp, bps) + (invert_ ? " (white is 0)" : "");
        unitRows_ = 0;
        if (TIFFIsTiled(tiff_)) {
            facts_.storedAs += ", tiled";
            std::uint32_t th = 0;
            TIFFGetField(tiff_, TIFFTAG_TILELENGTH, &th);
            unitRows_ = static_cast<int>(std::min<std::uint32_t>(th, h));
        } else {
            std::uint32_t rowsPerStrip = 0;
            TIFFGetFieldDefaulted(tiff_, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
            unitRows_ = static_cast<int>(std::clamp<std::uint32_t>(rowsPerStrip, 1, h));
        }
        direct_ = !TIFFIsTiled(tiff_) && !palette_ && !invert_ &&
                  std::uint64_t{storedRowBytes_} * static_cast<std::uint64_t>(unitRows_) <= kMaxBandBytes;
        next_ = 0;
        bandFirst_ = bandRows_ = 0;
        return true;
    }

    void readMetadata() {
        Metadata& m = shape_.metadata;
        float xr = 0, yr = 0;
        std::uint16_t unit = RESUNIT_INCH;
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_RESOLUTIONUNIT, &unit);
        if (TIFFGetField(tiff_, TIFFTAG_XRESOLUTION, &xr) && TIFFGetField(tiff_, TIFFTAG_YRESOLUTION, &yr) &&
            unit != RESUNIT_NONE) {
            const double perInch = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
            m.xDpi = xr * perInch;
            m.yDpi = yr * perInch;
        }
        for (const TextTag& t : kTextTags) {
            const char* value = nullptr;
            if (TIFFGetField(tiff_, t.tag, &value) && value != nullptr) m.text.emplace_back(t.key, value);
        }
        const char* date = nullptr;
        if (TIFFGetField(tiff_, TIFFTAG_DATETIME, &date) && date != nullptr) m.dateTime = date;
        std::uint32_t length = 0;
        void* profile = nullptr;
        if (TIFFGetField(tiff_, TIFFTAG_ICCPROFILE, &length, &profile) && profile != nullptr)
            m.iccProfile.assign(static_cast<const std::uint8_t*>(profile), static_cast<const std::uint8_t*>(profile) + length);
    }

    // The strip, or the row of tiles, that holds row y, decoded into band_.
    bool readBand(int y, std::string* error) {
        t_lastMessage.clear();
        if (TIFFIsTiled(tiff_)) {
            std::uint32_t tw = 0, th = 0;
            TIFFGetField(tiff_, TIFFTAG_TILEWIDTH, &tw);
            TIFFGetField(tiff_, TIFFTAG_TILELENGTH, &th);
            if (tw == 0 || th == 0 || tw > (1u << 16) || th > (1u << 16)) return fail(error, path_, "unreadable tile size");
            if (std::uint64_t{storedRowBytes_} * th > kMaxBandBytes)
                return fail(error, path_, "rows of tiles larger than 256 MiB (not read at once)");
            bandFirst_ = y / static_cast<int>(th) * static_cast<int>(th);
            bandRows_ = std::min<int>(static_cast<int>(th), shape_.height - bandFirst_);
            band_.assign(storedRowBytes_ * th, 0);
            const std::size_t pixelBytes = storedRowBytes_ / static_cast<std::size_t>(shape_.width);
            std::vector<std::uint8_t> tile(static_cast<std::size_t>(TIFFTileSize(tiff_)));
            for (std::uint32_t x = 0; x < static_cast<std::uint32_t>(shape_.width); x += tw) {
                if (TIFFReadTile(tiff_, tile.data(), x, static_cast<std::uint32_t>(bandFirst_), 0, 0) < 0)
                    return fail(error, path_, lastMessage());
                const std::size_t columns = std::min<std::size_t>(tw, static_cast<std::size_t>(shape_.width) - x);
                for (int r = 0; r < bandRows_; ++r)
                    std::memcpy(band_.data() + storedRowBytes_ * static_cast<std::size_t>(r) + x * pixelBytes,
                                tile.data() + tw * pixelBytes * static_cast<std::size_t>(r), columns * pixelBytes);
            }
            return true;
        }
        std::uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(tiff_, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        rowsPerStrip = std::clamp<std::uint32_t>(rowsPerStrip, 1, static_cast<std::uint32_t>(shape_.height));
        bandFirst_ = y / static_cast<int>(rowsPerStrip) * static_cast<int>(rowsPerStrip);
        bandRows_ = std::min<int>(static_cast<int>(rowsPerStrip), shape_.height - bandFirst_);
        if (std::uint64_t{storedRowBytes_} * static_cast<std::uint64_t>(bandRows_) > kMaxBandBytes)
            return fail(error, path_, "strips larger than 256 MiB (not read at once)");
        band_.assign(storedRowBytes_ * static_cast<std::size_t>(bandRows_), 0);
        const tstrip_t strip = TIFFComputeStrip(tiff_, static_cast<std::uint32_t>(bandFirst_), 0);
        if (TIFFReadEncodedStrip(tiff_, strip, band_.data(), static_cast<tmsize_t>(band_.size())) < 0)
            return fail(error, path_, lastMessage());
        return true;
    }

    void convertRow(const std::uint8_t* in, std::uint8_t* out) const {
        const std::size_t n = static_cast<std::size_t>(shape_.width);
        if (palette_) {
            for (std::size_t x = 0; x < n; ++x)
                for (int c = 0; c < 3; ++c) out[3 * x + c] = static_cast<std::uint8_t>(map_[c][in[x]] >> 8);
            return;
        }
        std::memcpy(out, in, storedRowBytes_);
        if (!invert_) return;
        // White-is-zero grey: levels turned so that 0 is black, as the other
        // grey images; alpha is left as it is.
        const std::size_t samples = n * storedSamples_;
        for (std::size_t i = 0; i < samples; i += storedSamples_) {
            if (shape_.bitsPerSample == 8) {
                out[i] = static_cast<std::uint8_t>(255 - out[i]);
            } else {
                std::uint16_t v;
                std::memcpy(&v, out + 2 * i, 2);
                v = static_cast<std::uint16_t>(65535 - v);
                std::memcpy(out + 2 * i, &v, 2);
            }
        }
    }

    std::string path_;
    TIFF* tiff_ = nullptr;
    bool palette_ = false, invert_ = false;
    std::uint16_t* map_[3] = {nullptr, nullptr, nullptr};
    int storedSamples_ = 1;
    std::size_t storedRowBytes_ = 0;
    std::vector<std::uint8_t> band_;
    int bandFirst_ = 0, bandRows_ = 0, next_ = 0;
    int unitRows_ = 0;     // rows a strip or row of tiles
    bool direct_ = false;  // strips hold the rows as they are given
};

class TiffWriter : public ImageWriter {
public:
    TiffWriter(std::string path, const WriteOptions& options) : path_(std::move(path)), options_(options) {}
    ~TiffWriter() override {
        if (tiff_ != nullptr) TIFFClose(tiff_);
    }

    bool beginPage(const Image& shape, std::string* error) override {
        installHandlers();
        t_lastMessage.clear();
        if (std::string why = writeRefusal(Format::Tiff, shape); !why.empty()) return fail(error, path_, why);
        if (tiff_ == nullptr) {
            // BigTIFF only when the pixels alone come near the 4 GiB limit.
            const bool big = shape.rowBytes() * static_cast<std::size_t>(shape.height) > (3ull << 30);
            if (options_.sink != nullptr) {
                sinkFile_.sink = options_.sink;
                tiff_ = TIFFClientOpen(path_.c_str(), big ? "w8m" : "wm", &sinkFile_, sinkRead, sinkWrite, sinkSeek,
                                       sinkClose, sinkSize, sinkMap, sinkUnmap);
            } else {
                tiff_ = openTiffFile(path_, big ? "w8" : "w");
            }
            headerBytes_ = big ? 16 : 8;
            if (tiff_ == nullptr) return fail(error, path_, "cannot create: " + lastMessage());
        } else if (!TIFFWriteDirectory(tiff_)) {
            return fail(error, path_, "cannot write: " + writeFailure());
        } else {
            headerBytes_ = 0;  // a later page's strips follow the directories
        }
        shape_ = shape;
        row_ = 0;
        scanned_ = false;
        TIFF* t = tiff_;
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(shape.width));
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(shape.height));
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(shape.channels));
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(shape.bitsPerSample));
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, shape.channels >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
        if (shape.hasAlpha()) {
            const std::uint16_t extra = EXTRASAMPLE_UNASSALPHA;
            TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
        }
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        switch (options_.tiffCompression) {
            case Compression::None: TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE); break;
            case Compression::Lzw: TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW); break;
            case Compression::Deflate:
                TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
                TIFFSetField(t, TIFFTAG_ZIPQUALITY, std::clamp(options_.deflateLevel, 1, 9));
                break;
        }
        if (options_.tiffCompression != Compression::None) TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        // Strips of about 256 KiB unless asked: small enough to stream, large
        // enough to compress.
        const std::size_t rows =
            options_.rowsPerStrip > 0
                ? static_cast<std::size_t>(options_.rowsPerStrip)
                : std::max<std::size_t>(1, (256u << 10) / std::max<std::size_t>(1, shape.rowBytes()));
        rowsPerStrip_ = static_cast<int>(std::min<std::size_t>(rows, shape.height));
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(rowsPerStrip_));
        TIFFSetField(t, TIFFTAG_ORIENTATION, static_cast<std::uint16_t>(shape.metadata.orientation));
        const Metadata& m = shape.metadata;
        if (m.xDpi > 0 && m.yDpi > 0) {
            TIFFSetField(t, TIFFTAG_XRESOLUTION, static_cast<float>(m.xDpi));
            TIFFSetField(t, TIFFTAG_YRESOLUTION, static_cast<float>(m.yDpi));
            TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        }
        for (const auto& [key, value] : m.text)
            for (const TextTag& tag : kTextTags)
                if (key == tag.key) TIFFSetField(t, tag.tag, value.c_str());
        if (!m.dateTime.empty()) TIFFSetField(t, TIFFTAG_DATETIME, m.dateTime.c_str());
        return true;
    }

    bool writeRows(int count, const std::uint8_t* rows, std::string* error) override {
        if (tiff_ == nullptr) return fail(error, path_, "no page begun");
        // libtiff's predictor works in place on the rows it is given: they
        // get a copy, so that the caller's rows stay as they were.
        const std::size_t rowBytes = shape_.rowBytes();
        const bool predicted = options_.tiffCompression != Compression::None;
        while (count > 0 && row_ % rowsPerStrip_ == 0 && (count >= rowsPerStrip_ || row_ + count == shape_.height)) {
            // A strip completed row by row is still in libtiff's buffer.
            if (scanned_ && TIFFFlushData(tiff_) != 1) return fail(error, path_, "cannot write: " + writeFailure());
            scanned_ = false;
            const int n = std::min(rowsPerStrip_, shape_.height - row_);
            const std::size_t bytes = rowBytes * static_cast<std::size_t>(n);
            const std::uint8_t* strip = rows;
            if (predicted) {
                scratch_.assign(rows, rows + bytes);
                strip = scratch_.data();
            }
            const tstrip_t index = TIFFComputeStrip(tiff_, static_cast<std::uint32_t>(row_), 0);
            if (TIFFWriteEncodedStrip(tiff_, index, const_cast<std::uint8_t*>(strip), static_cast<tmsize_t>(bytes)) < 0)
                return fail(error, path_, "cannot write: " + writeFailure());
            rows += bytes;
            row_ += n;
            count -= n;
        }
        scratch_.resize(rowBytes);
        scanned_ = scanned_ || count > 0;
        for (int i = 0; i < count; ++i, ++row_) {
            std::memcpy(scratch_.data(), rows + shape_.rowBytes() * static_cast<std::size_t>(i), scratch_.size());
            if (TIFFWriteScanline(tiff_, scratch_.data(), static_cast<std::uint32_t>(row_), 0) < 0)
                return fail(error, path_, "cannot write: " + writeFailure());
        }
        return true;
    }

    // libtiff appends each strip of the first page at the end of the file,
    // the first one right after the header.
    std::uint64_t fileOffsetOf(int row) const override {
        if (headerBytes_ == 0 || options_.tiffCompression != Compression::None) return 0;
        return headerBytes_ + shape_.rowBytes() * static_cast<std::uint64_t>(row);
    }

    bool finish(std::string* error) override {
        if (tiff_ == nullptr) return fail(error, path_, "no page begun");
        const bool ok = TIFFFlush(tiff_) == 1;
        TIFFClose(tiff_);
        tiff_ = nullptr;
        if (!ok) return fail(error, path_, "cannot write: " + writeFailure());
        if (options_.sink != nullptr && !options_.sink->finish()) return fail(error, path_, "cannot write: " + writeFailure());
        return true;
    }

private:
    // The sink's reason when it has one, else libtiff's.
    std::string writeFailure() const {
        const std::string why = options_.sink != nullptr ? options_.sink->failure() : std::string();
        return why.empty() ? lastMessage() : why;
    }

    std::string path_;
    WriteOptions options_;
    SinkFile sinkFile_;
    TIFF* tiff_ = nullptr;
    Image shape_;
    std::vector<std::uint8_t> scratch_;
    int row_ = 0, rowsPerStrip_ = 1;
    std::uint64_t headerBytes_ = 0;  // before the first page's strips; 0 on later pages
    bool scanned_ = false;  // rows written one by one since the last whole strip
};

}  // namespace

std::unique_ptr<ImageReader> openTiff(const std::string& path, std::string* error) {
    return opened<TiffReader>(path, error);
}

std::unique_ptr<ImageWriter> createTiff(const std::string& path, const WriteOptions& options, std::string*) {
    return std::make_unique<TiffWriter>(path, options);
}

}  // namespace imaging::formats
