// PNG through libpng's row interface (the simplified interface converts
// 16-bit samples through a gamma curve, which is exactly what must not
// happen). libpng reports errors by longjmp: every call that may fail runs
// inside a small function that holds no object with a destructor.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "formats.h"

namespace imaging::formats {

namespace {

// zlib levels up to this one write every row with one filter.
constexpr int kOneFilterLevel = 2;

struct PngErrors {
    char message[256] = "";
};

void onError(png_structp png, png_const_charp message) {
    auto* e = static_cast<PngErrors*>(png_get_error_ptr(png));
    std::snprintf(e->message, sizeof e->message, "%s", message);
    png_longjmp(png, 1);
}
void onWarning(png_structp, png_const_charp) {}

// Why the chunks of the file cannot be what they state, or "". libpng
// allocates (and clears) a text chunk's buffer at the length its header
// states before reading it, with no bound: a 600-byte file stating a 2 GB
// chunk would cost 2 GB and half a minute before the read fails. So every
// chunk's length is checked against the bytes the file holds first.
std::string chunkProblem(std::FILE* f) {
    if (std::fseek(f, 0, SEEK_END) != 0) return "cannot be read";
    const long size = std::ftell(f);
    long at = 8;  // after the signature
    unsigned char head[8];
    while (at + 8 <= size && std::fseek(f, at, SEEK_SET) == 0 && std::fread(head, 1, 8, f) == 8) {
        const unsigned long length = (static_cast<unsigned long>(head[0]) << 24) | (head[1] << 16) | (head[2] << 8) | head[3];
        const long room = size - at - 12;  // after this chunk's length, type and CRC
        if (room < 0 || length > static_cast<unsigned long>(room))
            return "its " + std::string(reinterpret_cast<const char*>(head + 4), 4) + " chunk at byte " +
                   std::to_string(at) + " states " + std::to_string(length) + " bytes, more than the file holds";
        if (std::memcmp(head + 4, "IEND", 4) == 0) break;
        at += 12 + static_cast<long>(length);
    }
    std::rewind(f);
    return {};
}

bool readInfo(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    return true;
}

// The transformations that give samples as stored: palettes and tRNS
// expanded, small grey widened, 16-bit samples in the machine's order.
bool setTransforms(png_structp png, png_infop info, int* passes) {
    if (setjmp(png_jmpbuf(png))) return false;
    const int type = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (depth == 16) {
        const std::uint16_t probe = 1;
        if (*reinterpret_cast<const std::uint8_t*>(&probe) == 1) png_set_swap(png);
    }
    *passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

bool readRowsC(png_structp png, png_bytep* rows, int count) {
    if (setjmp(png_jmpbuf(png))) return false;
    for (int i = 0; i < count; ++i) png_read_row(png, rows[i], nullptr);
    return true;
}

bool readImageC(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    return true;
}

std::string dateOf(const png_time& t) {
    char s[32];
    std::snprintf(s, sizeof s, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return s;
}

class PngReader : public ImageReader {
public:
    ~PngReader() override {
        if (png_ != nullptr) png_destroy_read_struct(&png_, &info_, nullptr);
        if (file_ != nullptr) std::fclose(file_);
    }

    bool open(const std::string& path, std::string* error) {
        path_ = path;
        file_ = openFile(path, "rb");
        if (file_ == nullptr) return fail(error, path, cannotOpen());
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &errors_, onError, onWarning);
        if (png_ == nullptr || (info_ = png_create_info_struct(png_)) == nullptr) return fail(error, path, "out of memory");
        if (const std::string problem = chunkProblem(file_); !problem.empty()) return fail(error, path, problem);
        png_init_io(png_, file_);
        // Refuse sizes whose rows could not be addressed before libpng
        // allocates anything for them.
        png_set_user_limits(png_, 1u << 20, 1u << 20);
        if (!readInfo(png_, info_)) return fail(error, path, std::string("not a readable PNG: ") + errors_.message);
        const int type = png_get_color_type(png_, info_);
        const int depth = png_get_bit_depth(png_, info_);
        const bool trns = png_get_valid(png_, info_, PNG_INFO_tRNS) != 0;
        facts_.format = Format::Png;
        facts_.storedAs = std::to_string(depth) + "-bit " +
                          (type == PNG_COLOR_TYPE_PALETTE  ? "palette"
                           : type == PNG_COLOR_TYPE_GRAY   ? "grey"
                           : type == PNG_COLOR_TYPE_GA     ? "grey with alpha"
                           : type == PNG_COLOR_TYPE_RGB    ? "RGB"
                                                           : "RGB with alpha") +
                          (trns ? " with transparency" : "") +
                          (png_get_interlace_type(png_, info_) != PNG_INTERLACE_NONE ? ", interlaced" : "");
        if (!setTransforms(png_, info_, &passes_)) return fail(error, path, errors_.message);
        shape_.width = static_cast<int>(png_get_image_width(png_, info_));
        shape_.height = static_cast<int>(png_get_image_height(png_, info_));
        shape_.channels = png_get_channels(png_, info_);
        shape_.bitsPerSample = png_get_bit_depth(png_, info_);
        readMetadata();
        return true;
    }

    bool readRows(int count, std::uint8_t* out, std::string* error) override {
        if (passes_ > 1) return readInterlaced(count, out, error);
        std::vector<png_bytep> rows(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) rows[i] = out + shape_.rowBytes() * static_cast<std::size_t>(i);
        if (!readRowsC(png_, rows.data(), count)) return fail(error, path_, errors_.message);
        return true;
    }

private:
    void readMetadata() {
        Metadata& m = shape_.metadata;
        png_uint_32 xr = 0, yr = 0;
        int unit = 0;
        if (png_get_pHYs(png_, info_, &xr, &yr, &unit) && unit == PNG_RESOLUTION_METER) {
            m.xDpi = xr * 0.0254;
            m.yDpi = yr * 0.0254;
        }
        png_textp text = nullptr;
        const int n = png_get_text(png_, info_, &text, nullptr);
        for (int i = 0; i < n; ++i)
            m.text.emplace_back(text[i].key, std::string(text[i].text, text[i].text_length > 0 ? text[i].text_length
                                                                                               : text[i].itxt_length));
        png_timep time = nullptr;
        if (png_get_tIME(png_, info_, &time)) m.dateTime = dateOf(*time);
        png_charp name = nullptr;
        png_bytep profile = nullptr;
        png_uint_32 length = 0;
        int compression = 0;
        if (png_get_iCCP(png_, info_, &name, &compression, &profile, &length))
            m.iccProfile.assign(profile, profile + length);
    }

    // An interlaced image comes whole from libpng: it is read at the first
    // call and handed out from memory.
    bool readInterlaced(int count, std::uint8_t* out, std::string* error) {
        if (whole_.empty()) {
            if (shape_.rowBytes() * static_cast<std::size_t>(shape_.height) > (512u << 20))
                return fail(error, path_, "an interlaced PNG larger than 512 MiB (interlaced images are read whole)");
            whole_.resize(shape_.rowBytes() * static_cast<std::size_t>(shape_.height));
            std::vector<png_bytep> rows(static_cast<std::size_t>(shape_.height));
            for (int i = 0; i < shape_.height; ++i) rows[i] = whole_.data() + shape_.rowBytes() * static_cast<std::size_t>(i);
            if (!readImageC(png_, rows.data())) return fail(error, path_, errors_.message);
        }
        std::memcpy(out, whole_.data() + shape_.rowBytes() * static_cast<std::size_t>(next_),
                    shape_.rowBytes() * static_cast<std::size_t>(count));
        next_ += count;
        return true;
    }

    std::string path_;
    std::FILE* file_ = nullptr;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    PngErrors errors_;
    int passes_ = 1;
    int next_ = 0;
    std::vector<std::uint8_t> whole_;
};

// Writing: IHDR, pHYs, text and tIME; no sRGB, gAMA, cHRM or iCCP chunk, so
// that device values are not declared to be in any colour space.
struct PngHeader {
    png_uint_32 width, height;
    int depth, type;
    int level;
    bool dpi;
    png_uint_32 xPpm, yPpm;
    bool time;
    png_time when;
    std::vector<png_text> text;
    bool swap;
};

bool writeHeaderC(png_structp png, png_infop info, PngHeader* h) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, h->width, h->height, h->depth, h->type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, h->level);
    // The fast levels take one filter for every row (the difference from
    // the pixel to the left, good for photographs) instead of trying five.
    if (h->level <= kOneFilterLevel) png_set_filter(png, PNG_FILTER_TYPE_BASE, h->level == 0 ? PNG_FILTER_NONE : PNG_FILTER_SUB);
    if (h->dpi) png_set_pHYs(png, info, h->xPpm, h->yPpm, PNG_RESOLUTION_METER);
    if (!h->text.empty()) png_set_text(png, info, h->text.data(), static_cast<int>(h->text.size()));
    if (h->time) png_set_tIME(png, info, &h->when);
    png_write_info(png, info);
    if (h->swap) png_set_swap(png);
    return true;
}

bool writeRowsC(png_structp png, const std::uint8_t* rows, std::size_t rowBytes, int count) {
    if (setjmp(png_jmpbuf(png))) return false;
    for (int i = 0; i < count; ++i) png_write_row(png, rows + rowBytes * static_cast<std::size_t>(i));
    return true;
}

bool writeEndC(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_write_end(png, info);
    return true;
}

// "YYYY-MM-DD HH:MM:SS" (or with ':' between the date's numbers, as TIFF
// and Exif write it) as a PNG time.
bool parseDate(const std::string& s, png_time* t) {
    int y, mo, d, h, mi, se;
    char a, b;
    if (std::sscanf(s.c_str(), "%4d%c%2d%c%2d %2d:%2d:%2d", &y, &a, &mo, &b, &d, &h, &mi, &se) != 8) return false;
    t->year = static_cast<png_uint_16>(y);
    t->month = static_cast<png_byte>(mo);
    t->day = static_cast<png_byte>(d);
    t->hour = static_cast<png_byte>(h);
    t->minute = static_cast<png_byte>(mi);
    t->second = static_cast<png_byte>(se);
    return mo >= 1 && mo <= 12 && d >= 1 && d <= 31 && h <= 23 && mi <= 59 && se <= 60;
}

class PngWriter : public ImageWriter {
public:
    PngWriter(std::string path, int deflateLevel) : path_(std::move(path)), level_(std::clamp(deflateLevel, 0, 9)) {}
    ~PngWriter() override {
        if (png_ != nullptr) png_destroy_write_struct(&png_, &info_);
        if (file_ != nullptr) std::fclose(file_);
    }

    bool beginPage(const Image& shape, std::string* error) override {
        if (png_ != nullptr) return fail(error, path_, "a PNG file holds one page");
        if (std::string why = writeRefusal(Format::Png, shape); !why.empty()) return fail(error, path_, why);
        file_ = openFile(path_, "wb");
        if (file_ == nullptr) return fail(error, path_, "cannot create");
        png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, &errors_, onError, onWarning);
        if (png_ == nullptr || (info_ = png_create_info_struct(png_)) == nullptr) return fail(error, path_, "out of memory");
        png_init_io(png_, file_);
        rowBytes_ = shape.rowBytes();
        static const int kTypes[] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GA, PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGBA};
        PngHeader h{};
        h.width = static_cast<png_uint_32>(shape.width);
        h.height = static_cast<png_uint_32>(shape.height);
        h.depth = shape.bitsPerSample;
        h.type = kTypes[shape.channels];
        h.level = level_;
        const Metadata& m = shape.metadata;
        h.dpi = m.xDpi > 0 && m.yDpi > 0;
        h.xPpm = static_cast<png_uint_32>(m.xDpi / 0.0254 + 0.5);
        h.yPpm = static_cast<png_uint_32>(m.yDpi / 0.0254 + 0.5);
        h.time = !m.dateTime.empty() && parseDate(m.dateTime, &h.when);
        for (const auto& [key, value] : m.text) {
            png_text t{};
            t.compression = value.size() > 1000 ? PNG_TEXT_COMPRESSION_zTXt : PNG_TEXT_COMPRESSION_NONE;
            t.key = const_cast<png_charp>(key.c_str());
            t.text = const_cast<png_charp>(value.c_str());
            t.text_length = value.size();
            h.text.push_back(t);
        }
        const std::uint16_t probe = 1;
        h.swap = shape.bitsPerSample == 16 && *reinterpret_cast<const std::uint8_t*>(&probe) == 1;
        if (!writeHeaderC(png_, info_, &h)) return fail(error, path_, errors_.message);
        return true;
    }

    bool writeRows(int count, const std::uint8_t* rows, std::string* error) override {
        if (png_ == nullptr || !writeRowsC(png_, rows, rowBytes_, count)) return fail(error, path_, errors_.message);
        return true;
    }

    bool finish(std::string* error) override {
        if (png_ == nullptr || !writeEndC(png_, info_)) return fail(error, path_, errors_.message);
        return closeWritten(file_, path_, error);
    }

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    PngErrors errors_;
    std::size_t rowBytes_ = 0;
    int level_;
};

}  // namespace

std::unique_ptr<ImageReader> openPng(const std::string& path, std::string* error) {
    return opened<PngReader>(path, error);
}

std::unique_ptr<ImageWriter> createPng(const std::string& path, int deflateLevel, std::string*) {
    return std::make_unique<PngWriter>(path, deflateLevel);
}

}  // namespace imaging::formats
