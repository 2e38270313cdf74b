// A scan through the simulated library as the drivers make it, step by step,
// with hand-built command blocks (offsets written out here, independently of
// the library's layout tables), plus the driver-side arithmetic that the
// tests need to produce correct shading coefficients.
#ifndef TESTS_SIMULATOR_PASSTHROUGH_SESSION_H
#define TESTS_SIMULATOR_PASSTHROUGH_SESSION_H

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "imaging/targa.h"
#include "passthrough_harness.h"

namespace ptharness {

constexpr unsigned kPieceBytes = 20;

// A Targa document whose pixel at column x of top line y is colour(x, y),
// written by the shared codec (bottom-left origin: the last file row is the
// top line).
inline void writeTargaDocument(const std::string& path, unsigned width, unsigned height,
                               const std::function<std::array<std::uint8_t, 3>(unsigned, unsigned)>& colour) {
    imaging::Image image = imaging::Image::make(static_cast<int>(width), static_cast<int>(height));
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            const auto c = colour(x, y);
            std::copy(c.begin(), c.end(), image.row(static_cast<int>(y)) + 3 * x);
        }
    imaging::writeTarga(path, image);
}

// A uniform grey document over the whole bed at 50 dpi; the scenario lines
// that put it there.
inline std::string greyDocument(const PassThrough& pt, std::uint8_t level) {
    writeTargaDocument(pt.folder() + "/grey.tga", 425, 585,
               [&](unsigned, unsigned) { return std::array<std::uint8_t, 3>{level, level, level}; });
    return "document = grey.tga\ndocument_dpi = 50\ndocument_left = 0\ndocument_top = 0\n";
}

// Window of the 12-bit dialects for R = 600, reflective: 518, 0, 4581, 2970 at 150 dpi.
struct WindowRequest {
    unsigned xStart = 518, yStart = 0, xEnd = 4581, yEnd = 2970;
    unsigned source = 0, resolution = 150;
    unsigned byte16 = 3;
    bool a3 = false;
};

// Robust mean of the 12-bit dialects: sort, drop the 3 smallest and 3 largest.
inline unsigned trimmedMean(std::vector<unsigned> column) {
    std::sort(column.begin(), column.end());
    unsigned long sum = 0;
    for (std::size_t i = 3; i + 3 < column.size(); ++i) sum += column[i];
    return static_cast<unsigned>(sum / (column.size() - 6));
}

// Shading transfer table entry for reference word w and mean v (12-bit dialects).
inline unsigned transferEntry(unsigned w, unsigned v) {
    if (v < 2048) return w;
    const long n = static_cast<long>(w) * 4095 - static_cast<long>(v) * 1023;
    if (n < 0) return 0;
    const long q = n / v, r = n % v;
    return static_cast<unsigned>((2 * r > static_cast<long>(v) ? q + 1 : q) & 0xFFFF);
}

// Entry of the 16-bit dialect's correction table for mean v and trim factor f.
inline unsigned vexaEntry(unsigned v, double f) {
    if (v < 32768) return 65535;
    const std::uint32_t x = (65535u - v) * 65535u;
    std::uint32_t q = x / v;
    if (2 * (x % v) > v) ++q;
    const double g = q * f;
    return g > 65535.0 ? 65535u : static_cast<unsigned>(g);
}

class Session {
public:
    explicit Session(PassThrough& pt)
        : inquiry(256),
          window(64),
          geometry(64),
          readShadingBlock(64),
          sendShadingBlock(64),
          gamma(16400),
          start(64),
          abortBlock(64),
          status(64),
          read(64),
          records(256 * kPieceBytes),
          transfer(65536),
          pt_(pt) {}

    unsigned doInquiry() {
        std::fill(inquiry.p() + 10, inquiry.p() + 106, std::uint8_t{0});
        return pt_.call(inquiry, 0);
    }
    unsigned setWindow(const WindowRequest& w) {
        std::uint8_t* b = window.p();
        std::fill(b, b + 64, std::uint8_t{0});
        w16(b, 6, w.xStart);
        w16(b, 8, w.yStart);
        w16(b, 10, w.xEnd);
        w16(b, 12, w.yEnd);
        w8(b, 14, w.source);
        w8(b, 15, 0);
        w8(b, 16, w.byte16);
        w8(b, 17, 1);
        w16(b, 18, w.resolution);
        if (w.a3) {
            w16(b, 24, 20);
            w8(b, 26, 0);
        }
        resolution_ = w.resolution;
        return pt_.call(window, 1);
    }
    // 12-bit dialects: start scan, B at 8 and H at 10.
    unsigned startScan() {
        w16(start.p(), 6, 0);
        const unsigned s = pt_.call(start, 5);
        bytesPerLine = r16(start.p(), 8);
        lines = r16(start.p(), 10);
        return s;
    }
    unsigned getStatus(unsigned* ready) {
        const unsigned s = pt_.call(status, 9);
        *ready = r16(status.p(), 6);
        return s;
    }
    // Polls until ready; the number of not-ready answers, or -1 on a status error.
    int waitReady(int limit = 1000) {
        for (int n = 0; n < limit; ++n) {
            unsigned ready = 0;
            if (getStatus(&ready) != 0) return -1;
            if (ready != 0) return n;
        }
        return limit;
    }
    // Describes the 64 KiB transfer buffer in units of B; trims and records
    // the unit counts as a driver does. Returns the number of pieces.
    unsigned describeTransfer(Shared& buffer, unsigned unit) {
        pieces = pt_.buf(buffer.p(), static_cast<std::uint32_t>(buffer.mem.size()), records.p(), unit);
        unitsPerPiece = ~0u;
        for (unsigned k = 0; k < pieces; ++k) {
            std::uint8_t* r = records.p() + k * kPieceBytes;
            const unsigned units = r32(r, 0) / unit;
            w32(r, 0, units * unit);
            w16(r, 4, units);
            unitsPerPiece = std::min(unitsPerPiece, units);
        }
        return pieces;
    }
    // Read-image block layouts: bytes per line, lines, bytes, requested,
    // done, pieces, records; the first three 16- or 32-bit.
    struct ReadLayout {
        unsigned lineBytes, lines, bytes, requested, done, pieces, records, wide;
    };
    static constexpr ReadLayout kRead12{6, 8, 12, 16, 18, 26, 28, 0};
    static constexpr ReadLayout kReadVexa{8, 12, 16, 20, 22, 30, 32, 1};

    // One read of n lines; the lines copied out in order.
    unsigned readLines(unsigned n, unsigned done, std::vector<std::vector<std::uint8_t>>* out,
                       const ReadLayout& f = kRead12) {
        std::uint8_t* b = read.p();
        if (f.wide) {
            w32(b, f.lineBytes, bytesPerLine);
            w32(b, f.lines, n);
        } else {
            w16(b, f.lineBytes, bytesPerLine);
            w16(b, f.lines, n);
        }
        w32(b, f.bytes, n * bytesPerLine);
        w16(b, f.requested, done + n);
        w16(b, f.done, done);
        w16(b, f.pieces, pieces);
        w32(b, f.records, records.a());
        const unsigned s = pt_.call(read, 8);
        if (s == 0 && out != nullptr) collect(n, out);
        return s;
    }
    // Reads every line of the scan; false on any status error.
    bool readAll(std::vector<std::vector<std::uint8_t>>* out, bool vexaLayout = false) {
        unsigned done = 0;
        const unsigned perRead = pieces * unitsPerPiece;
        while (done < lines) {
            const unsigned n = std::min(lines - done, perRead);
            const unsigned s = readLines(n, done, out, vexaLayout ? kReadVexa : kRead12);
            if (s != 0) return false;
            done += n;
        }
        return true;
    }
    // Start scan, wait for ready, describe the 64 KiB transfer buffer.
    bool beginTransfer() {
        return startScan() == 0 && waitReady() >= 0 && describeTransfer(transfer, bytesPerLine) > 0;
    }
    // ... and read every line.
    bool scanLines(std::vector<std::vector<std::uint8_t>>* out) { return beginTransfer() && readAll(out); }

    // Identity (or any) 256- or 4096-entry tables in all four slots.
    unsigned sendGamma(unsigned entries, const std::vector<std::uint8_t>& table) {
        std::uint8_t* b = gamma.p();
        w8(b, 6, 0);
        w8(b, 7, 7);
        for (unsigned slot = 0; slot < 4; ++slot) {
            w16(b, 8 + slot * 4098, entries);
            std::copy(table.begin(), table.end(), b + 10 + slot * 4098);
        }
        return pt_.call(gamma, 4);
    }

    // 12-bit dialects: geometry, shading lines into a buffer, the driver's
    // coefficients (optionally altered), planar high/low blocks, send shading.
    struct ShadingResult {
        unsigned lineBytes = 0, lines = 0;
        std::vector<std::vector<unsigned>> samples;  // [line][sample], low 12 bits
        std::vector<unsigned> coefficients;
        unsigned status = 0;
    };
    ShadingResult calibrate(const unsigned reference[3], int alter = 0) {
        ShadingResult res;
        w16(geometry.p(), 6, 1);
        if ((res.status = pt_.call(geometry, 7)) != 0) return res;
        res.lineBytes = r16(geometry.p(), 8);
        res.lines = r16(geometry.p(), 10);
        const unsigned l = res.lineBytes, m = res.lines;
        Shared lineBuffer((l * m / 65536 + 1) * 65536);
        Shared shadingRecords(16 * kPieceBytes);
        const unsigned n = pt_.buf(lineBuffer.p(), static_cast<std::uint32_t>(lineBuffer.mem.size()),
                                   shadingRecords.p(), l);
        unsigned u = ~0u;
        for (unsigned k = 0; k < n; ++k) {
            std::uint8_t* r = shadingRecords.p() + k * kPieceBytes;
            const unsigned units = r32(r, 0) / l;
            w16(r, 4, units);
            u = std::min(u, units);
        }
        std::uint8_t* b = readShadingBlock.p();
        w16(b, 6, resolution_);
        w16(b, 8, l);
        w16(b, 10, m);
        w32(b, 12, l * m);
        w16(b, 18, n);
        w32(b, 20, shadingRecords.a());
        if ((res.status = pt_.call(readShadingBlock, 2)) != 0) return res;
        const unsigned samples = (l - 6) / 2;
        for (unsigned line = 0; line < m; ++line) {
            const std::uint8_t* piece = fromAddr32(r32(shadingRecords.p() + (line / u) * kPieceBytes, 8));
            const std::uint8_t* p = piece + (line % u) * l;
            std::vector<unsigned> s(samples);
            for (unsigned j = 0; j < samples; ++j) s[j] = r16(p, 2 + 2 * j) & 0x0FFF;
            res.samples.push_back(s);
        }
        res.coefficients.resize(samples);
        for (unsigned j = 0; j < samples; ++j) {
            std::vector<unsigned> column;
            for (unsigned line = 0; line < m; ++line) column.push_back(res.samples[line][j]);
            res.coefficients[j] = transferEntry(reference[j % 3], trimmedMean(column));
        }
        if (alter == 1) {
            // Wrong: every element gets the coefficient of element 0 of its colour.
            for (unsigned j = 3; j < samples; ++j) res.coefficients[j] = res.coefficients[j % 3];
        }
        res.status = sendPlanar(res.coefficients, samples);
        return res;
    }
    // Planar high/low blocks of `count` coefficients (3 planes, or 1 plane
    // when count is a third of the coefficients), sent with code 3.
    unsigned sendPlanar(const std::vector<unsigned>& coefficients, unsigned count) {
        const unsigned q = static_cast<unsigned>(coefficients.size()) / 3;
        Shared high(65536), low(65536);
        Shared highRecords(16 * kPieceBytes), lowRecords(16 * kPieceBytes);
        const unsigned nh = pt_.buf(high.p(), 65536, highRecords.p(), count);
        const unsigned nl = pt_.buf(low.p(), 65536, lowRecords.p(), count);
        std::uint8_t* h = fromAddr32(r32(highRecords.p(), 8));
        std::uint8_t* lo = fromAddr32(r32(lowRecords.p(), 8));
        for (unsigned p = 0; p < q; ++p) {
            for (unsigned c = 0; c < 3; ++c) {
                const unsigned plane = count == q ? (c == 1 ? 0 : ~0u) : c * q;
                if (plane == ~0u) continue;
                h[plane + p] = static_cast<std::uint8_t>(coefficients[3 * p + c] >> 8);
                lo[plane + p] = static_cast<std::uint8_t>(coefficients[3 * p + c] & 0xFF);
            }
        }
        std::uint8_t* b = sendShadingBlock.p();
        w16(b, 6, resolution_);
        w32(b, 8, count);
        w16(b, 12, 0);
        w16(b, 14, 0);
        w16(b, 16, nh);
        w16(b, 18, nl);
        w32(b, 20, highRecords.a());
        w32(b, 24, lowRecords.a());
        return pt_.call(sendShadingBlock, 3);
    }

    Shared inquiry, window, geometry, readShadingBlock, sendShadingBlock, gamma, start, abortBlock, status, read;
    Shared records;
    Shared transfer;
    unsigned bytesPerLine = 0, lines = 0, pieces = 0, unitsPerPiece = 0;

private:
    void collect(unsigned n, std::vector<std::vector<std::uint8_t>>* out) {
        for (unsigned i = 0; i < n; ++i) {
            const unsigned piece = i / unitsPerPiece;
            const std::uint8_t* p = fromAddr32(r32(records.p() + piece * kPieceBytes, 8)) +
                                    (i % unitsPerPiece) * bytesPerLine;
            out->emplace_back(p, p + bytesPerLine);
        }
    }
    PassThrough& pt_;
    unsigned resolution_ = 150;
};

}  // namespace ptharness

#endif
