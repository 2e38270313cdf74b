#include "icc_embed.h"

#include <lcms2.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "atomic_file.h"
#include "utf8_path.h"

namespace aucal {

namespace {

using Bytes = std::vector<std::uint8_t>;

bool say(std::string* error, const std::string& sentence) {
    if (error) *error = sentence;
    return false;
}

bool readWhole(const std::string& path, Bytes* bytes, std::string* error) {
    std::ifstream in(utf8Path(path), std::ios::binary);
    if (!in) return say(error, "cannot open " + path);
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return say(error, "cannot read " + path);
    return true;
}

std::uint32_t big32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

void putBig32(Bytes* out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<std::uint8_t>(v >> shift));
}

// ---- PNG: signature, then chunks of length (4), type (4), data, CRC-32 of type and data (4).

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

void putPngChunk(Bytes* out, const char type[4], const Bytes& data) {
    putBig32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out->size();
    out->insert(out->end(), type, type + 4);
    out->insert(out->end(), data.begin(), data.end());
    putBig32(out, static_cast<std::uint32_t>(crc32(0, out->data() + start, static_cast<uInt>(out->size() - start))));
}

bool embedPng(const Bytes& file, const Bytes& profile, Bytes* out, std::string* error) {
    // iCCP: a profile name (Latin-1, 1 to 79 bytes), a zero, compression method 0, the zlib stream.
    Bytes iccp = {'I', 'C', 'C', ' ', 'p', 'r', 'o', 'f', 'i', 'l', 'e', 0, 0};
    uLongf packed = compressBound(static_cast<uLong>(profile.size()));
    const std::size_t head = iccp.size();
    iccp.resize(head + packed);
    if (compress2(iccp.data() + head, &packed, profile.data(), static_cast<uLong>(profile.size()), 9) != Z_OK)
        return say(error, "zlib could not compress the profile");
    iccp.resize(head + packed);

    out->assign(file.begin(), file.begin() + 8);
    std::size_t at = 8;
    bool sawHeader = false, sawEnd = false;
    while (!sawEnd) {
        if (file.size() - at < 12) return say(error, "the PNG file ends inside a chunk");
        const std::uint32_t length = big32(&file[at]);
        if (length > 0x7FFFFFFFu || file.size() - at - 12 < length) return say(error, "the PNG file ends inside a chunk");
        const std::string type(reinterpret_cast<const char*>(&file[at + 4]), 4);
        const std::size_t next = at + 12 + length;
        if (!sawHeader && type != "IHDR") return say(error, "the PNG file does not start with its header chunk");
        const bool colourDescription = type == "iCCP" || type == "sRGB" || type == "cICP" || type == "gAMA" || type == "cHRM";
        if (!colourDescription) out->insert(out->end(), file.begin() + static_cast<std::ptrdiff_t>(at),
                                            file.begin() + static_cast<std::ptrdiff_t>(next));
        if (type == "IHDR" && !sawHeader) {
            sawHeader = true;
            putPngChunk(out, "iCCP", iccp);
        }
        sawEnd = type == "IEND";
        at = next;
    }
    return true;
}

// ---- JPEG: SOI, then marker segments (0xFF, code, big-endian length counting
// itself, data) up to the start of scan, after which the rest is copied as it is.

bool isIccSegment(const Bytes& file, std::size_t at, std::size_t length) {
    static const char kTag[] = "ICC_PROFILE";  // with its terminating zero: 12 bytes
    return file[at + 1] == 0xE2 && length >= 2 + 14 && std::memcmp(&file[at + 4], kTag, 12) == 0;
}

bool embedJpeg(const Bytes& file, const Bytes& profile, Bytes* out, std::string* error) {
    const std::size_t chunks = (profile.size() + kJpegIccChunk - 1) / kJpegIccChunk;
    if (chunks > 255) return say(error, "the profile is too large for a JPEG file (at most 255 segments of 65519 bytes)");
    Bytes icc;
    for (std::size_t n = 0; n < chunks; ++n) {
        const std::size_t from = n * kJpegIccChunk, size = std::min(kJpegIccChunk, profile.size() - from);
        const std::size_t length = 2 + 14 + size;
        icc.insert(icc.end(), {0xFF, 0xE2, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
        const char tag[] = "ICC_PROFILE";
        icc.insert(icc.end(), tag, tag + 12);
        icc.push_back(static_cast<std::uint8_t>(n + 1));
        icc.push_back(static_cast<std::uint8_t>(chunks));
        icc.insert(icc.end(), profile.begin() + static_cast<std::ptrdiff_t>(from),
                   profile.begin() + static_cast<std::ptrdiff_t>(from + size));
    }
    out->assign(file.begin(), file.begin() + 2);
    std::size_t at = 2;
    bool placed = false;
    for (;;) {
        if (file.size() - at < 4 || file[at] != 0xFF) return say(error, "the JPEG file has a broken marker before its image data");
        const std::uint8_t code = file[at + 1];
        if (code == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        const std::size_t length = static_cast<std::size_t>(file[at + 2]) << 8 | file[at + 3];
        if (length < 2 || file.size() - at - 2 < length) return say(error, "the JPEG file ends inside a segment");
        // The profile goes after the JFIF (APP0) and Exif (APP1) segments, which readers expect first.
        if (!placed && code != 0xE0 && code != 0xE1) {
            out->insert(out->end(), icc.begin(), icc.end());
            placed = true;
        }
        if (code == 0xDA) {  // start of scan: everything from here is the image data and what follows it
            out->insert(out->end(), file.begin() + static_cast<std::ptrdiff_t>(at), file.end());
            return true;
        }
        if (!isIccSegment(file, at, length))
            out->insert(out->end(), file.begin() + static_cast<std::ptrdiff_t>(at),
                        file.begin() + static_cast<std::ptrdiff_t>(at + 2 + length));
        at += 2 + length;
    }
}

// ---- TIFF: libtiff on the bytes in memory, opened for update.

struct MemoryFile {
    Bytes* bytes;
    std::size_t position = 0;
};

tmsize_t memoryRead(thandle_t h, void* buffer, tmsize_t size) {
    auto* f = static_cast<MemoryFile*>(h);
    const std::size_t n = std::min(static_cast<std::size_t>(size), f->bytes->size() - std::min(f->position, f->bytes->size()));
    if (n > 0) std::memcpy(buffer, f->bytes->data() + f->position, n);
    f->position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t memoryWrite(thandle_t h, void* buffer, tmsize_t size) {
    auto* f = static_cast<MemoryFile*>(h);
    const std::size_t end = f->position + static_cast<std::size_t>(size);
    if (end > f->bytes->size()) f->bytes->resize(end);
    std::memcpy(f->bytes->data() + f->position, buffer, static_cast<std::size_t>(size));
    f->position = end;
    return size;
}

toff_t memorySeek(thandle_t h, toff_t offset, int whence) {
    auto* f = static_cast<MemoryFile*>(h);
    const std::size_t base = whence == SEEK_CUR ? f->position : whence == SEEK_END ? f->bytes->size() : 0;
    f->position = base + static_cast<std::size_t>(offset);
    return f->position;
}

int memoryClose(thandle_t) { return 0; }
toff_t memorySize(thandle_t h) { return static_cast<MemoryFile*>(h)->bytes->size(); }
int memoryMap(thandle_t, void**, toff_t*) { return 0; }
void memoryUnmap(thandle_t, void*, toff_t) {}

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};

bool embedTiff(const Bytes& file, const Bytes& profile, Bytes* out, std::string* error) {
    if (profile.size() > 0xFFFFFFFFu) return say(error, "the profile is too large for a TIFF tag");
    *out = file;
    MemoryFile memory{out};
    std::unique_ptr<TIFF, TiffCloser> tiff(TIFFClientOpen("image", "r+", &memory, memoryRead, memoryWrite, memorySeek,
                                                          memoryClose, memorySize, memoryMap, memoryUnmap));
    if (!tiff) return say(error, "libtiff cannot open the TIFF file");
    const tdir_t directories = TIFFNumberOfDirectories(tiff.get());
    for (tdir_t d = 0; d < directories; ++d) {
        if (!TIFFSetDirectory(tiff.get(), d) ||
            !TIFFSetField(tiff.get(), TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(profile.size()), profile.data()) ||
            !TIFFRewriteDirectory(tiff.get()))
            return say(error, "libtiff cannot write the profile into image " + std::to_string(d + 1) + " of the TIFF file");
    }
    tiff.reset();
    return true;
}

}  // namespace

ImageContainer containerOf(const Bytes& file) {
    if (file.size() >= 8 && std::memcmp(file.data(), kPngSignature, 8) == 0) return ImageContainer::Png;
    if (file.size() >= 3 && file[0] == 0xFF && file[1] == 0xD8 && file[2] == 0xFF) return ImageContainer::Jpeg;
    if (file.size() >= 4 && ((file[0] == 'I' && file[1] == 'I' && (file[2] == 42 || file[2] == 43) && file[3] == 0) ||
                             (file[0] == 'M' && file[1] == 'M' && file[2] == 0 && (file[3] == 42 || file[3] == 43))))
        return ImageContainer::Tiff;
    return ImageContainer::Unknown;
}

bool embedProfile(const Bytes& file, const Bytes& profile, Bytes* out, std::string* error) {
    switch (containerOf(file)) {
        case ImageContainer::Png: return embedPng(file, profile, out, error);
        case ImageContainer::Jpeg: return embedJpeg(file, profile, out, error);
        case ImageContainer::Tiff: return embedTiff(file, profile, out, error);
        case ImageContainer::Unknown: break;
    }
    return say(error, "not a PNG, TIFF or JPEG file (a profile cannot be embedded in a Targa file)");
}

bool loadRgbProfile(const std::string& path, Bytes* profile, std::string* error) {
    if (!readWhole(path, profile, error)) return false;
    cmsHPROFILE h = cmsOpenProfileFromMem(profile->data(), static_cast<cmsUInt32Number>(profile->size()));
    if (h == nullptr) return say(error, path + " is not an ICC profile LittleCMS can read");
    const bool rgb = cmsGetColorSpace(h) == cmsSigRgbData;
    const cmsProfileClassSignature kind = cmsGetDeviceClass(h);
    cmsCloseProfile(h);
    if (!rgb) return say(error, path + " is not a profile of RGB images");
    // A device link or an abstract profile describes a conversion, not the colours of an image.
    if (kind == cmsSigLinkClass || kind == cmsSigAbstractClass || kind == cmsSigNamedColorClass)
        return say(error, path + " is a conversion (device link), not a profile to embed in an image");
    return true;
}

bool embedProfileInFile(const std::string& input, const std::string& output, const Bytes& profile, std::string* error) {
    Bytes file, embedded;
    if (!readWhole(input, &file, error)) return false;
    if (!embedProfile(file, profile, &embedded, error)) return say(error, input + ": " + *error);
    return writeFileAtomically(output, embedded.data(), embedded.size(), error);
}

}  // namespace aucal
