#include "image_correction.h"

#include <lcms2.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "icc_build.h"
#include "platform/host_system.h"
#include "lcms_handles.h"
#include "qel_layout.h"
#include "status_text.h"
#include "strip_pipeline.h"

namespace aucal {

namespace {

// InitCorrect: a block up to the matrix block's reported size is a matrix block.
constexpr std::size_t kMatrixLayoutBytes = qel::kMatrixBlockLayoutBytes;
constexpr std::size_t kMatrixBlockLimit = qel::kMatrixBlockReportedSize;
// Strips being read, corrected and written at once.
constexpr int kStripsInFlight = 4;

class EngineStrip : public StripCorrection {
public:
    explicit EngineStrip(const EngineExports& engine) : engine_(engine) {}
    int bitsPerSample() const override { return 8; }
    bool correct(std::uint8_t* pixels, int width, int rows, std::string* error) override {
        ImageBuffer buffer{rows, width, pixels};
        if (const std::int32_t s = engine_.correctImage(&buffer); s != 0) {
            *error = statusSentence(Export::CorrectImage, s);
            return false;
        }
        return true;
    }

private:
    const EngineExports& engine_;
};

using Profile = icc::ProfilePtr;
using Transform = icc::TransformPtr;

class TransformStrip : public StripCorrection {
public:
    explicit TransformStrip(Transform t) : transform_(std::move(t)) {}
    int bitsPerSample() const override { return 16; }
    bool correct(std::uint8_t* pixels, int width, int rows, std::string*) override {
        cmsDoTransform(transform_.get(), pixels, pixels, static_cast<cmsUInt32Number>(width) * rows);
        return true;
    }

private:
    Transform transform_;
};

float floatAt(const std::vector<std::uint8_t>& b, std::size_t offset) {
    const std::uint32_t bits = b[offset] | (b[offset + 1] << 8) | (b[offset + 2] << 16) |
                               (static_cast<std::uint32_t>(b[offset + 3]) << 24);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// The matrix block as a device link: the matrix on levels / 255 (output
// w / 255 where the engine computes w on the 0..255 scale), then each
// channel's table over w.
Profile matrixLink(const std::vector<std::uint8_t>& block) {
    // The matrix as InitCorrect holds it: each float in units of 1/64,
    // truncated toward zero.
    auto held = [&](std::size_t offset) { return std::trunc(floatAt(block, offset) * 64.0) / 64.0; };
    double m[9], offset[3];
    for (int k = 0; k < 3; ++k) {
        offset[k] = held(qel::matrixEntryOffset(k, 0)) / 255.0;
        for (int j = 0; j < 3; ++j) m[3 * k + j] = held(qel::matrixEntryOffset(k, j + 1));
    }
    // CorrectImage reads table entry k for every w in [k, k + 1): the 16-bit
    // curve runs through each entry at the middle of its span, k + 0.5, and
    // between them linearly, so that it neither leads nor lags the steps.
    constexpr int kCurvePoints = 4096;
    cmsToneCurve* curves[3] = {};
    for (int c = 0; c < 3; ++c) {
        std::vector<cmsUInt16Number> table(kCurvePoints);
        for (int j = 0; j < kCurvePoints; ++j) {
            const double u = std::clamp(255.0 * j / (kCurvePoints - 1) - 0.5, 0.0, 255.0);
            const int k = std::min(static_cast<int>(u), 254);
            const double f = u - k;
            const double level = block[qel::blockTableOffset(c, k)] * (1 - f) + block[qel::blockTableOffset(c, k + 1)] * f;
            table[j] = static_cast<cmsUInt16Number>(level * 257 + 0.5);
        }
        curves[c] = cmsBuildTabulatedToneCurve16(nullptr, kCurvePoints, table.data());
    }
    Profile link(cmsCreateProfilePlaceholder(nullptr));
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 3, 3);
    bool ok = link && lut && curves[0] && curves[1] && curves[2] &&
              cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocMatrix(nullptr, 3, 3, m, offset)) &&
              cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, curves));
    if (ok) {
        cmsSetDeviceClass(link.get(), cmsSigLinkClass);
        cmsSetColorSpace(link.get(), cmsSigRgbData);
        cmsSetPCS(link.get(), cmsSigRgbData);
        ok = cmsWriteTag(link.get(), cmsSigAToB0Tag, lut);
    }
    if (lut != nullptr) cmsPipelineFree(lut);
    for (cmsToneCurve* c : curves)
        if (c != nullptr) cmsFreeToneCurve(c);
    return ok ? std::move(link) : Profile();
}

// The lookup block as the device link aucal icc writes: its input curves and
// 17^3 grid.
Profile lookupLink(const std::vector<std::uint8_t>& block, std::string* error) {
    std::vector<std::uint8_t> bytes;
    if (!icc::deviceLinkProfile(block, &bytes, error)) return Profile();
    return Profile(cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
}

// Packed RGB at the correction's depth from a row of any of our shapes;
// 16-bit samples reduced to 8 bits by rounding when the depths differ.
void toRgb(const imaging::Image& shape, const std::uint8_t* in, std::uint8_t* rgb, int bits, std::size_t pixels) {
    const bool grey = shape.channels <= 2;
    const int step = shape.channels;
    for (std::size_t i = 0; i < pixels; ++i)
        for (int c = 0; c < 3; ++c) {
            const std::size_t from = i * step + (grey ? 0 : c);
            unsigned v;
            if (shape.bitsPerSample == 8) {
                v = in[from];
            } else {
                std::uint16_t w;
                std::memcpy(&w, in + 2 * from, 2);
                v = bits == 8 ? (w * 255u + 32767u) / 65535u : w;
            }
            if (bits == 8) {
                rgb[3 * i + c] = static_cast<std::uint8_t>(v);
            } else {
                const auto w = static_cast<std::uint16_t>(v);
                std::memcpy(rgb + 6 * i + 2 * c, &w, 2);
            }
        }
}

// The output row: corrected RGB and the input's alpha, at the output depth.
void withAlpha(const imaging::Image& shape, const std::uint8_t* in, const std::uint8_t* rgb, std::uint8_t* out,
               int bits, std::size_t pixels) {
    const std::size_t bytes = bits / 8;
    const int outChannels = shape.hasAlpha() ? 4 : 3;
    for (std::size_t i = 0; i < pixels; ++i) {
        std::memcpy(out + (i * outChannels) * bytes, rgb + 3 * i * bytes, 3 * bytes);
        if (!shape.hasAlpha()) continue;
        const std::size_t from = i * shape.channels + shape.channels - 1;
        std::uint8_t* to = out + (i * outChannels + 3) * bytes;
        if (shape.bitsPerSample == 8) {
            *to = in[from];
        } else {
            std::uint16_t w;
            std::memcpy(&w, in + 2 * from, 2);
            if (bits == 8) {
                *to = static_cast<std::uint8_t>((w * 255u + 32767u) / 65535u);
            } else {
                std::memcpy(to, &w, 2);
            }
        }
    }
}

}  // namespace

std::unique_ptr<StripCorrection> engineCorrection(const EngineExports& engine) {
    return std::make_unique<EngineStrip>(engine);
}

std::unique_ptr<StripCorrection> blockTransform16(const std::vector<std::uint8_t>& block, std::string* error) {
    const bool matrix = block.size() <= kMatrixBlockLimit;
    if (matrix && block.size() < kMatrixLayoutBytes) {
        *error = "the matrix correction block is too short";
        return nullptr;
    }
    Profile link = matrix ? matrixLink(block) : lookupLink(block, error);
    if (!link) {
        if (error->empty()) *error = "LittleCMS could not make the 16-bit transform of the block";
        return nullptr;
    }
    // No optimisation: LittleCMS evaluates the block's own curves and grid
    // (or matrix and tables) instead of a resampled copy.
    Transform t(cmsCreateTransform(link.get(), TYPE_RGB_16, nullptr, TYPE_RGB_16, INTENT_PERCEPTUAL,
                                   cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE));
    if (!t) {
        *error = "LittleCMS could not make the 16-bit transform of the block";
        return nullptr;
    }
    return std::make_unique<TransformStrip>(std::move(t));
}

std::string foreignProfileWarning(const std::string& path, const std::vector<std::uint8_t>& profile) {
    if (profile.empty()) return {};
    std::string description = "unreadable";
    if (Profile p{cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()))}) {
        char text[256] = "";
        if (cmsGetProfileInfoASCII(p.get(), cmsInfoDescription, "en", "US", text, sizeof text) > 0) description = text;
    }
    if (description.rfind("aucal scanner", 0) == 0) return {};
    return path + " carries an embedded profile (\"" + description +
           "\"); the correction expects the scanner's RGB and does not use it, and the output is untagged";
}

DepthAgreement measureDepthAgreement(StripCorrection& eight, StripCorrection& sixteen, int pixels, unsigned seed) {
    std::vector<std::uint8_t> v(3 * static_cast<std::size_t>(pixels));
    std::uint32_t state = seed;
    for (std::uint8_t& b : v) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    std::vector<std::uint16_t> wide(v.size());
    for (std::size_t i = 0; i < v.size(); ++i) wide[i] = static_cast<std::uint16_t>(v[i] * 257);
    std::string error;
    DepthAgreement a;
    if (!eight.correct(v.data(), pixels, 1, &error) ||
        !sixteen.correct(reinterpret_cast<std::uint8_t*>(wide.data()), pixels, 1, &error))
        return a;
    long long sum = 0, within = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const int d = std::abs(static_cast<int>((wide[i] * 255u + 32767u) / 65535u) - v[i]);
        sum += d;
        within += d <= 1;
        a.largestDifference = std::max(a.largestDifference, d);
    }
    a.pixels = pixels;
    a.meanDifference = static_cast<double>(sum) / static_cast<double>(v.size());
    a.withinOneLevel = static_cast<double>(within) / static_cast<double>(v.size());
    return a;
}

namespace {

// Rows a strip: about 1 MiB of the input, a whole number of the file's own
// strips when those are small enough to read straight into ours.
int stripRowsFor(const imaging::ImageReader& reader, int asked) {
    if (asked > 0) return asked;
    constexpr std::size_t kStripBytes = 1u << 20, kLargestUnitBytes = 4u << 20;
    const std::size_t rowBytes = std::max<std::size_t>(1, reader.shape().rowBytes());
    const int rows = static_cast<int>(std::max<std::size_t>(1, kStripBytes / rowBytes));
    const int unit = reader.storedRows();
    if (unit <= 0 || static_cast<std::size_t>(unit) * rowBytes > kLargestUnitBytes) return rows;
    return std::max(unit, rows / unit * unit);
}

// The strip's rows as read, placed in s.in at the offset that they will
// have in the output file modulo a disk block: an uncached output then
// writes them from there, without a copy (uncached_output.h).
std::uint8_t* placed(Strip& s, std::size_t bytes, std::uint64_t fileOffset) {
    constexpr std::size_t kBlock = PF_HOST_UNCACHED_ALIGNMENT;
    s.in.resize(bytes + kBlock);
    const auto at = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(s.in.data()));
    s.inAt = static_cast<std::size_t>((fileOffset - at) % kBlock);
    return s.in.data() + s.inAt;
}

}  // namespace

bool correctImageFile(const std::string& input, const std::string& output, const CorrectionPlan& plan,
                      StripCorrection& eight, StripCorrection& sixteen, CorrectionOutcome* outcome,
                      std::string* error) {
    auto reader = imaging::openImage(input, error);
    if (!reader) return false;
    std::unique_ptr<imaging::ImageWriter> writer;
    std::string pageError;
    std::atomic<long long> doneRows{0};
    const int pages = reader->facts().pages;
    const long long totalRows = static_cast<long long>(reader->shape().height) * pages;
    imaging::WriteOptions write = plan.write;
    if (plan.keepTiffCompression) write.tiffCompression = reader->facts().compression;
    do {
        const imaging::Image& in = reader->shape();
        StripCorrection& correction = in.bitsPerSample == 16 && !plan.reduceTo8Bits ? sixteen : eight;
        const int bits = correction.bitsPerSample();
        imaging::Image out;
        out.width = in.width;
        out.height = in.height;
        out.channels = in.hasAlpha() ? 4 : 3;
        out.bitsPerSample = bits;
        out.metadata = in.metadata;
        out.metadata.iccProfile.clear();
        const int strip = stripRowsFor(*reader, plan.stripRows);
        if (outcome->pages == 0) {
            outcome->width = in.width;
            outcome->height = in.height;
            outcome->route = bits == 8 ? (in.bitsPerSample == 16 ? "reduced to 8 bits, CorrectImage" : "CorrectImage")
                                      : "16-bit LittleCMS transform of the block";
            if (std::string w = foreignProfileWarning(input, in.metadata.iccProfile); !w.empty())
                outcome->warnings.push_back(w);
            if (std::string why = imaging::writeRefusal(plan.format, out); !why.empty()) {
                *error = output + ": " + why;
                return false;
            }
            // TIFF strips of the rows a strip here: each written whole, at once.
            if (write.rowsPerStrip == 0) write.rowsPerStrip = strip;
            writer = imaging::createImage(output, plan.format, write, error);
            if (!writer) return false;
        }
        if (!writer->beginPage(out, error)) return false;
        // RGB at the correction's depth is corrected where it was read, and
        // written from there: no conversion, no copy.
        const bool asRead = in.channels == 3 && in.bitsPerSample == bits;
        StripStages stages;
        stages.read = [&](Strip& s, std::string* e) {
            const std::size_t bytes = in.rowBytes() * static_cast<std::size_t>(s.rows);
            return reader->readRows(s.rows, placed(s, bytes, writer->fileOffsetOf(s.first)), e);
        };
        stages.correct = [&](Strip& s, std::string* e) {
            const std::size_t pixels = static_cast<std::size_t>(in.width) * s.rows;
            std::uint8_t* read = s.in.data() + s.inAt;
            if (asRead) {
                if (!correction.correct(read, in.width, s.rows, e)) return false;
            } else {
                s.work.resize(3 * (bits / 8) * pixels);
                s.out.resize(out.rowBytes() * static_cast<std::size_t>(s.rows));
                toRgb(in, read, s.work.data(), bits, pixels);
                if (!correction.correct(s.work.data(), in.width, s.rows, e)) return false;
                withAlpha(in, read, s.work.data(), s.out.data(), bits, pixels);
            }
            if (plan.progress && plan.progress(doneRows += s.rows, totalRows)) {
                outcome->cancelled = true;
                return false;
            }
            return true;
        };
        stages.write = [&](Strip& s, std::string* e) {
            if (!writer->writeRows(s.rows, asRead ? s.in.data() + s.inAt : s.out.data(), e)) return false;
            if (plan.written) plan.written();
            return true;
        };
        if (!runStripPipeline(in.height, strip, kStripsInFlight, stages, error)) return false;
        ++outcome->pages;
    } while (reader->nextPage(&pageError));
    if (!pageError.empty()) {
        *error = pageError;
        return false;
    }
    return writer->finish(error);
}

}  // namespace aucal
