// The simulated scanner's shading and tone handlers: the shading geometry,
// reading the shading lines, receiving the shading coefficients and the tone
// tables, in the layout of each dialect.
#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "caller_memory.h"
#include "request_fields.h"
#include "scanner.h"

namespace sim {

namespace {

constexpr std::uint32_t kVexaToneEntries = 65536;
constexpr std::uint32_t kVexaToneBytes = 2 * kVexaToneEntries;
constexpr std::uint32_t kScanGammaCounts[4] = {8, 4106, 8204, 12302};
constexpr std::uint32_t kVexaGammaSizes[3] = {16, 24, 32};
constexpr std::uint32_t kVexaGammaTables[3] = {20, 28, 36};

}  // namespace

std::uint32_t Scanner::shadingPixels() const {
    if (!scenario_.shadingLineBytes) return windowPixels();
    const std::uint32_t l = *scenario_.shadingLineBytes;
    if (scenario_.dialect == Dialect::Vexa) return l / 6;
    return l >= 6 ? (l - 6) / 6 : 0;
}

std::uint32_t Scanner::shadingLineBytes() const {
    if (scenario_.shadingLineBytes) return *scenario_.shadingLineBytes;
    return scenario_.dialect == Dialect::Vexa ? 6 * windowPixels() : 6 * windowPixels() + 6;
}

std::uint32_t Scanner::shadingLines() const { return scenario_.shadingLines.value_or(spec_.defaultShadingLines); }

std::uint16_t Scanner::geometry(std::uint8_t* b, LogLine& log) {
    const GeometryLayout& f = spec_.geometry;
    if (!window_.set) return refuse(log, SimStatus::Sequence, "no_window");
    if (f.request.present() && get(b, f.request) != 1) return refuse(log, SimStatus::BadField, "request");
    const std::uint32_t l = shadingLineBytes();
    const std::uint32_t m = shadingLines();
    if (!fits(f.lineBytes, l) || !fits(f.lines, m)) return refuse(log, SimStatus::BadField, "geometry");
    put(b, f.lineBytes, l);
    put(b, f.lines, m);
    log.add("bytes_per_line", l).add("lines", m);
    if (f.flag.present()) {
        put(b, f.flag, scenario_.shadingFlag);
        log.add("flag", scenario_.shadingFlag);
    }
    return 0;
}

std::uint16_t Scanner::readShading(std::uint8_t* b, LogLine& log) {
    const ReadShadingLayout& f = spec_.readShading;
    const std::uint32_t resolution = get(b, f.resolution);
    const std::uint32_t l = get(b, f.lineBytes);
    const std::uint32_t m = get(b, f.lines);
    const std::uint32_t total = get(b, f.totalBytes);
    const std::uint32_t records = get(b, f.records);
    const Description* d = pieces_.find(records);
    const std::uint32_t pieceCount = f.pieces.present() ? get(b, f.pieces) : (d != nullptr ? d->pieces : 0);
    log.add("resolution", resolution).add("bytes_per_line", l).add("lines", m).add("pieces", pieceCount);
    if (!window_.set) return refuse(log, SimStatus::Sequence, "no_window");
    if (resolution != window_.resolution || l != shadingLineBytes() || m != shadingLines() ||
        std::uint64_t{total} != std::uint64_t{l} * m) {
        return refuse(log, SimStatus::BadField, "request");
    }
    LinePlacement placement;
    if (!pieces_.placeLines(records, pieceCount, l, m, &placement)) return refuse(log, SimStatus::BadAddress, "pieces");
    const bool twelveBit = spec_.sampleBits == 12;
    // 12-bit dialects: 2 leading bytes, (l - 6) / 2 samples, 4 trailing bytes;
    // vexa: l / 2 samples and nothing else.
    const std::uint32_t lead = twelveBit ? 2 : 0;
    const std::uint32_t samples = twelveBit ? (l >= 6 ? (l - 6) / 2 : 0) : l / 2;
    for (std::uint32_t n = 0; n < m; ++n) {
        std::uint8_t* line = placement.lines[n];
        std::fill(line, line + l, std::uint8_t{0});
        if (twelveBit && l >= 2) {
            line[0] = 0x5A;
            line[1] = static_cast<std::uint8_t>(n);
        }
        for (std::uint32_t k = 0; k < samples; ++k) {
            putU16(line, lead + 2 * k, sensor_.shadingWord(n, k / 3, static_cast<int>(k % 3)));
        }
    }
    return 0;
}

std::uint16_t Scanner::sendShading(std::uint8_t* b, LogLine& log) {
    const SendShadingLayout& f = spec_.sendShading;
    const std::uint32_t resolution = get(b, f.resolution);
    const std::uint32_t count = get(b, f.count);
    log.add("resolution", resolution).add("count", count);
    if (!window_.set) return refuse(log, SimStatus::Sequence, "no_window");
    if (resolution != window_.resolution || get(b, f.zero12) != 0 || get(b, f.zero14) != 0) {
        return refuse(log, SimStatus::BadField, "request");
    }
    std::uint32_t high = get(b, f.high);
    std::uint32_t low = get(b, f.low);
    Correction next = correction_;
    if (scenario_.dialect == Dialect::Vexa) {
        // One line of count bytes in each block, three bytes per pixel.
        if (count != shadingLineBytes() / 2 || count < 3) return refuse(log, SimStatus::BadField, "count");
        if (!pieces_.coversPiece(high, count) || !pieces_.coversPiece(low, count)) {
            return refuse(log, SimStatus::BadAddress, "pieces");
        }
        const std::uint8_t* h = pointerFrom32(high);
        const std::uint8_t* lo = pointerFrom32(low);
        const std::uint32_t pixels = count / 3;
        for (int c = 0; c < 3; ++c) {
            next.coefficient[c].assign(pixels, 0);
            for (std::uint32_t j = 0; j < pixels; ++j) {
                next.coefficient[c][j] = static_cast<std::uint16_t>((h[3 * j + c] << 8) | lo[3 * j + c]);
            }
        }
    } else {
        // Planar red, green, blue planes of q pixels (count = 3q), or one
        // plane of q pixels for all three colours (the stored green shading).
        const std::uint32_t q = shadingPixels();
        if (q == 0 || (count != 3 * q && count != q)) return refuse(log, SimStatus::BadField, "count");
        const Description* dh = pieces_.find(high);
        const Description* dl = pieces_.find(low);
        if (dh == nullptr || dl == nullptr) return refuse(log, SimStatus::BadAddress, "pieces");
        high = getU32(pointerFrom32(high), kPieceAddressOffset);
        low = getU32(pointerFrom32(low), kPieceAddressOffset);
        if (high != dh->block || low != dl->block || !pieces_.coversPiece(high, count) ||
            !pieces_.coversPiece(low, count)) {
            return refuse(log, SimStatus::BadAddress, "pieces");
        }
        const std::uint8_t* h = pointerFrom32(high);
        const std::uint8_t* lo = pointerFrom32(low);
        for (std::uint32_t c = 0; c < 3; ++c) {
            const std::uint32_t plane = count == q ? 0 : c * q;
            next.coefficient[c].assign(q, 0);
            for (std::uint32_t p = 0; p < q; ++p) {
                next.coefficient[c][p] = static_cast<std::uint16_t>((h[plane + p] << 8) | lo[plane + p]);
            }
        }
    }
    correction_ = std::move(next);
    return 0;
}

std::uint16_t Scanner::sendGamma(std::uint8_t* b, LogLine& log) {
    if (scenario_.dialect == Dialect::Vexa) {
        log.add("table_bytes", getU32(b, kVexaGammaSizes[0]));
        if (getU8(b, 7) != 7) return refuse(log, SimStatus::BadField, "constant");
        for (int c = 0; c < 3; ++c) {
            if (getU32(b, kVexaGammaSizes[c]) != kVexaToneBytes) return refuse(log, SimStatus::BadField, "size");
            if (getU32(b, kVexaGammaTables[c]) == 0) return refuse(log, SimStatus::BadAddress, "table");
        }
        std::array<std::vector<std::uint16_t>, 3> tables;
        std::vector<std::uint8_t> bytes(kVexaToneBytes);
        for (int c = 0; c < 3; ++c) {
            if (!copyFromCaller(getU32(b, kVexaGammaTables[c]), bytes.data(), bytes.size())) {
                return refuse(log, SimStatus::BadAddress, "table");
            }
            tables[c].resize(kVexaToneEntries);
            for (std::uint32_t i = 0; i < kVexaToneEntries; ++i) tables[c][i] = getU16(bytes.data(), 2 * i);
        }
        correction_.tone16 = std::move(tables);
        return 0;
    }
    const std::uint32_t entries = getU16(b, kScanGammaCounts[0]);
    log.add("entries", entries);
    if (getU8(b, 6) != 0 || getU8(b, 7) != 7) return refuse(log, SimStatus::BadField, "constant");
    // A 12-bit tone table only on the model with 12-bit output.
    const std::uint32_t expected = scenario_.modelDigits == "1200" ? 4096 : 256;
    for (std::uint32_t slot : kScanGammaCounts) {
        if (getU16(b, slot) != expected) return refuse(log, SimStatus::BadField, "entries");
    }
    // Slots 1 to 3 are red, green and blue; the fourth is carried but unused.
    for (int c = 0; c < 3; ++c) {
        const std::uint8_t* t = b + kScanGammaCounts[c] + 2;
        correction_.tone8[c].assign(t, t + expected);
    }
    return 0;
}

}  // namespace sim
