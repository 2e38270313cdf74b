// Image files of every kind that the host reads and writes: Targa (through
// the shared codec), PNG (libpng), TIFF (libtiff) and JPEG (libjpeg-turbo),
// read and written in strips of rows so that no image needs to be whole in
// memory.
//
// Reading gives the samples as stored: no gamma, sRGB or colour conversion
// (JPEG's own YCbCr is turned into the RGB it encodes, as every JPEG reader
// does). Grey, grey and alpha, RGB and RGBA at 8 or 16 bits per sample are
// read; palettes are expanded (with their transparency as alpha); grey of
// fewer than 8 bits in PNG is widened to 8. What a correction cannot mean is
// refused naming it: CMYK, Lab, YCbCr other than JPEG's, floating-point
// samples, more than 4 channels, other depths.
//
// Rows are given in stored order, which is the picture top first except in
// a TIFF whose orientation tag says otherwise; that tag is kept in the
// metadata and written back, so that a corrected file shows as its input did.
#ifndef AUCAL_IMAGING_IMAGE_FILE_H
#define AUCAL_IMAGING_IMAGE_FILE_H

#include <cstdint>
#include <memory>
#include <string>

#include "imaging/image.h"

namespace imaging {

enum class Format { Targa, Png, Tiff, Jpeg, Unknown };

// From the name's extension (.tga, .png, .tif/.tiff, .jpg/.jpeg).
Format formatFromPath(const std::string& path);
// From the first bytes of the file itself.
Format formatFromSignature(const std::uint8_t* bytes, std::size_t size);
const char* formatName(Format format);

// The lossless compressions of TIFF strips that are written.
enum class Compression { None, Lzw, Deflate };

// What a file is, besides the image shape that a reader gives: the stored
// form in words ("8-bit palette with transparency") and the pages.
struct FileFacts {
    Format format = Format::Unknown;
    std::string storedAs;
    int pages = 1;
    // TIFF: the first page's compression when it is one of the above; LZW
    // for every other kind (and any other compression).
    Compression compression = Compression::Lzw;
};

class ImageReader {
public:
    virtual ~ImageReader() = default;
    // The current page: size, channels, depth and metadata, no pixels.
    const Image& shape() const { return shape_; }
    const FileFacts& facts() const { return facts_; }
    // The next count rows of the current page, shape().rowBytes() each.
    virtual bool readRows(int count, std::uint8_t* out, std::string* error) = 0;
    // Moves to the next page; false at the last one (error untouched) or
    // when the next page cannot be read (error set).
    virtual bool nextPage(std::string* error);
    // The rows the file stores together (a TIFF strip or row of tiles), 0
    // when it has no such unit. Reading whole units from the start of one
    // decodes straight into the caller's rows, with no copy.
    virtual int storedRows() const { return 0; }

protected:
    Image shape_;
    FileFacts facts_;
};

// Null with the reason when the file cannot be read; the format is found
// from the file's first bytes, not its name.
std::unique_ptr<ImageReader> openImage(const std::string& path, std::string* error);

// Where a writer puts a file's bytes instead of a file it opens itself: the
// caller's file, written at offsets (libtiff seeks back to patch offsets and
// may read what it wrote). False from a call: the file cannot be completed.
class FileSink {
public:
    virtual ~FileSink() = default;
    virtual bool writeAt(std::uint64_t offset, const void* data, std::size_t size) = 0;
    virtual bool readAt(std::uint64_t offset, void* data, std::size_t size) = 0;
    virtual std::uint64_t size() const = 0;
    // After the writer's last write: every byte given is in the file.
    virtual bool finish() = 0;
    // Why the last call that failed did.
    virtual std::string failure() const = 0;
};

struct WriteOptions {
    int jpegQuality = 92;  // 1..100
    Compression tiffCompression = Compression::Lzw;
    // zlib level of PNG and of deflate-compressed TIFF: 0 stored, 1 fastest
    // .. 9 smallest.
    int deflateLevel = kFastDeflateLevel;
    // TIFF rows per strip; 0: about 256 KiB a strip. Writing whole strips
    // at once spares a copy (and, uncompressed, writes the caller's rows as
    // they are).
    int rowsPerStrip = 0;
    // TIFF: the bytes go here instead of a file the writer opens at its path
    // (which then only names the file in messages). Not owned.
    FileSink* sink = nullptr;
    static constexpr int kFastDeflateLevel = 1;
};

class ImageWriter {
public:
    virtual ~ImageWriter() = default;
    // Starts a page of this shape and metadata (TIFF only takes more than one).
    virtual bool beginPage(const Image& shape, std::string* error) = 0;
    virtual bool writeRows(int count, const std::uint8_t* rows, std::string* error) = 0;
    // Completes the file; without it the file is unfinished.
    virtual bool finish(std::string* error) = 0;
    // Where in the file the bytes given for row `row` of this page will
    // stand when they are stored as given (an uncompressed TIFF's first
    // page); 0 when that is not known. Rows held in memory at the same
    // offset modulo a disk block go to an uncached file without a copy.
    virtual std::uint64_t fileOffsetOf(int row) const { return (void)row, 0; }
};

// Null with the reason when the format cannot be written there.
std::unique_ptr<ImageWriter> createImage(const std::string& path, Format format, const WriteOptions& options,
                                         std::string* error);
// Why the format cannot hold an image of this shape; empty when it can.
std::string writeRefusal(Format format, const Image& shape);

// Whole images (first page), for small pictures.
bool readImageFile(const std::string& path, Image* image, std::string* error);
bool writeImageFile(const std::string& path, Format format, const Image& image, const WriteOptions& options,
                    std::string* error);

}  // namespace imaging

#endif
