// JPEG through libjpeg(-turbo): grey and colour (YCbCr or RGB) read as the RGB
// they encode, scanline by scanline; CMYK and YCCK refused. An embedded
// profile (APP2 segments, joined as the ICC specification says), the
// density and the comments are read; density and comments are written back,
// the profile is not (the output holds device values). libjpeg reports
// errors by longjmp: every call that may fail runs inside a small function
// that holds no object with a destructor.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "formats.h"

namespace imaging::formats {

namespace {

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = "";
};

void onError(j_common_ptr info) {
    auto* e = reinterpret_cast<JpegErrors*>(info->err);
    (*info->err->format_message)(info, e->message);
    std::longjmp(e->jump, 1);
}
void onMessage(j_common_ptr, int) {}

JpegErrors* errorsOf(j_common_ptr info) { return reinterpret_cast<JpegErrors*>(info->err); }

bool readHeaderC(jpeg_decompress_struct* d) {
    if (setjmp(errorsOf(reinterpret_cast<j_common_ptr>(d))->jump)) return false;
    jpeg_save_markers(d, JPEG_APP0 + 2, 0xFFFF);
    jpeg_save_markers(d, JPEG_COM, 0xFFFF);
    jpeg_read_header(d, TRUE);
    return true;
}

bool startC(jpeg_decompress_struct* d, J_COLOR_SPACE out) {
    if (setjmp(errorsOf(reinterpret_cast<j_common_ptr>(d))->jump)) return false;
    d->out_color_space = out;
    jpeg_start_decompress(d);
    return true;
}

bool readLinesC(jpeg_decompress_struct* d, std::uint8_t* out, std::size_t rowBytes, int count) {
    if (setjmp(errorsOf(reinterpret_cast<j_common_ptr>(d))->jump)) return false;
    for (int i = 0; i < count; ++i) {
        JSAMPROW row = out + rowBytes * static_cast<std::size_t>(i);
        if (jpeg_read_scanlines(d, &row, 1) != 1) return false;
    }
    return true;
}

bool readProfileC(jpeg_decompress_struct* d, JOCTET** data, unsigned* length) {
    if (setjmp(errorsOf(reinterpret_cast<j_common_ptr>(d))->jump)) return false;
    return jpeg_read_icc_profile(d, data, length) == TRUE;
}

class JpegReader : public ImageReader {
public:
    JpegReader() {
        d_.err = jpeg_std_error(&errors_.manager);
        errors_.manager.error_exit = onError;
        errors_.manager.emit_message = onMessage;
        jpeg_create_decompress(&d_);
    }
    ~JpegReader() override {
        jpeg_destroy_decompress(&d_);
        if (file_ != nullptr) std::fclose(file_);
    }

    bool open(const std::string& path, std::string* error) {
        path_ = path;
        file_ = openFile(path, "rb");
        if (file_ == nullptr) return fail(error, path, cannotOpen());
        jpeg_stdio_src(&d_, file_);
        if (!readHeaderC(&d_)) return fail(error, path, std::string("not a readable JPEG: ") + errors_.message);
        facts_.format = Format::Jpeg;
        J_COLOR_SPACE out = JCS_RGB;
        switch (d_.jpeg_color_space) {
            case JCS_GRAYSCALE: out = JCS_GRAYSCALE; facts_.storedAs = "8-bit grey"; break;
            case JCS_YCbCr: facts_.storedAs = "8-bit YCbCr (read as RGB)"; break;
            case JCS_RGB: facts_.storedAs = "8-bit RGB"; break;
            case JCS_CMYK:
            case JCS_YCCK: return fail(error, path, "CMYK (the correction takes scanner RGB)");
            default: return fail(error, path, "an unknown JPEG colour space");
        }
        Metadata& m = shape_.metadata;
        JOCTET* profile = nullptr;
        unsigned length = 0;
        if (readProfileC(&d_, &profile, &length) && profile != nullptr) {
            m.iccProfile.assign(profile, profile + length);
            std::free(profile);
        }
        if (d_.saw_JFIF_marker && d_.X_density > 0 && d_.Y_density > 0 && d_.density_unit != 0) {
            const double perInch = d_.density_unit == 2 ? 2.54 : 1.0;
            m.xDpi = d_.X_density * perInch;
            m.yDpi = d_.Y_density * perInch;
        }
        for (jpeg_saved_marker_ptr k = d_.marker_list; k != nullptr; k = k->next)
            if (k->marker == JPEG_COM)
                m.text.emplace_back("Comment", std::string(reinterpret_cast<const char*>(k->data), k->data_length));
        // A progressive JPEG is decoded whole by libjpeg: its coefficients of
        // every pixel are held at once.
        if (d_.progressive_mode && std::uint64_t{d_.image_width} * d_.image_height > (100ull << 20))
            return fail(error, path, "a progressive JPEG of more than 100 megapixels (read whole by libjpeg)");
        if (!startC(&d_, out)) return fail(error, path, errors_.message);
        shape_.width = static_cast<int>(d_.output_width);
        shape_.height = static_cast<int>(d_.output_height);
        shape_.channels = d_.output_components;
        shape_.bitsPerSample = 8;
        return true;
    }

    bool readRows(int count, std::uint8_t* out, std::string* error) override {
        if (!readLinesC(&d_, out, shape_.rowBytes(), count))
            return fail(error, path_, errors_.message[0] != '\0' ? errors_.message : "its data ends early");
        return true;
    }

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    jpeg_decompress_struct d_{};
    JpegErrors errors_;
};

struct JpegSetup {
    int width, height, channels, quality;
    double xDpi, yDpi;
};

bool startCompressC(jpeg_compress_struct* c, const JpegSetup* s) {
    if (setjmp(errorsOf(reinterpret_cast<j_common_ptr>(c))->jump)) return false;
    c->image_width = static_cast<JDIMENSION>(s->width);
    c->image_height = static_cast<JDIMENSION>(s->height);
    c->input_components = s->channels;
    c->in_color_space = s->channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(c);
    jpeg_set_quality(c, s->quality, TRUE);
    if (s->xDpi > 0 && s->yDpi > 0) {
        c->write_JFIF_header = TRUE;
        c->density_unit = 1;
        c->X_density = static_cast<UINT16>(s->xDpi + 0.5);
        c->Y_density = static_cast<UINT16>(s->yDpi + 0.5);
    }
    jpeg_start_compress(c, TRUE);
    return true;
}

bool writeCommentC(jpeg_compress_struct* c, const std::string* text) {
    if (setjmp(errorsOf(reinterpret_cast<j_common_ptr>(c))->jump)) return false;
    jpeg_write_marker(c, JPEG_COM, reinterpret_cast<const JOCTET*>(text->data()),
                      static_cast<unsigned>(text->size() > 65533 ? 65533 : text->size()));
    return true;
}

bool writeLinesC(jpeg_compress_struct* c, const std::uint8_t* rows, std::size_t rowBytes, int count) {
    if (setjmp(errorsOf(reinterpret_cast<j_common_ptr>(c))->jump)) return false;
    for (int i = 0; i < count; ++i) {
        JSAMPROW row = const_cast<JSAMPROW>(rows + rowBytes * static_cast<std::size_t>(i));
        jpeg_write_scanlines(c, &row, 1);
    }
    return true;
}

bool finishC(jpeg_compress_struct* c) {
    if (setjmp(errorsOf(reinterpret_cast<j_common_ptr>(c))->jump)) return false;
    jpeg_finish_compress(c);
    return true;
}

class JpegWriter : public ImageWriter {
public:
    JpegWriter(std::string path, int quality) : path_(std::move(path)), quality_(quality) {
        c_.err = jpeg_std_error(&errors_.manager);
        errors_.manager.error_exit = onError;
        errors_.manager.emit_message = onMessage;
        jpeg_create_compress(&c_);
    }
    ~JpegWriter() override {
        jpeg_destroy_compress(&c_);
        if (file_ != nullptr) std::fclose(file_);
    }

    bool beginPage(const Image& shape, std::string* error) override {
        if (file_ != nullptr) return fail(error, path_, "a JPEG file holds one page");
        if (std::string why = writeRefusal(Format::Jpeg, shape); !why.empty()) return fail(error, path_, why);
        file_ = openFile(path_, "wb");
        if (file_ == nullptr) return fail(error, path_, "cannot create");
        jpeg_stdio_dest(&c_, file_);
        rowBytes_ = shape.rowBytes();
        const JpegSetup s{shape.width, shape.height, shape.channels, quality_, shape.metadata.xDpi, shape.metadata.yDpi};
        if (!startCompressC(&c_, &s)) return fail(error, path_, errors_.message);
        for (const auto& [key, value] : shape.metadata.text)
            if (key == "Comment" && !writeCommentC(&c_, &value)) return fail(error, path_, errors_.message);
        return true;
    }

    bool writeRows(int count, const std::uint8_t* rows, std::string* error) override {
        if (file_ == nullptr || !writeLinesC(&c_, rows, rowBytes_, count)) return fail(error, path_, errors_.message);
        return true;
    }

    bool finish(std::string* error) override {
        if (file_ == nullptr || !finishC(&c_)) return fail(error, path_, errors_.message);
        return closeWritten(file_, path_, error);
    }

private:
    std::string path_;
    int quality_;
    std::FILE* file_ = nullptr;
    jpeg_compress_struct c_{};
    JpegErrors errors_;
    std::size_t rowBytes_ = 0;
};

}  // namespace

std::unique_ptr<ImageReader> openJpeg(const std::string& path, std::string* error) {
    return opened<JpegReader>(path, error);
}

std::unique_ptr<ImageWriter> createJpeg(const std::string& path, int quality, std::string*) {
    return std::make_unique<JpegWriter>(path, quality < 1 ? 1 : quality > 100 ? 100 : quality);
}

}  // namespace imaging::formats
