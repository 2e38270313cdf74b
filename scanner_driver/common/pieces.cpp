#include "pieces.h"

#include <algorithm>

namespace drv {

bool describeBuffer(Transport& transport, void* buffer, std::uint32_t bytes, PieceRecord* records,
                    std::size_t capacity, std::uint32_t unit, Trim trim, PieceSet& out) {
    out = PieceSet{};
    if (buffer == nullptr || records == nullptr || unit == 0) return false;
    std::uint32_t recordsAddress = 0;
    std::uint32_t base = 0;
    if (!toAddress32(records, recordsAddress) || !toAddress32(buffer, base)) return false;
    const std::uint16_t count = transport.describe(buffer, bytes, records, unit);
    if (count == 0 || count > capacity) return false;
    const std::uint64_t end = static_cast<std::uint64_t>(base) + bytes;
    std::uint16_t fewest = 0xFFFF;
    for (std::uint16_t i = 0; i < count; ++i) {
        PieceRecord& piece = records[i];
        const std::uint64_t start = piece.address;
        if (start < base || start + piece.length > end) return false;
        if (trim == Trim::ToUnits) {
            const std::uint32_t units = piece.length / unit;
            if (units == 0 || units > 0xFFFF) return false;
            piece.length = units * unit;
            piece.units = static_cast<std::uint16_t>(units);
            fewest = std::min<std::uint16_t>(fewest, piece.units);
        }
    }
    out.records = records;
    out.recordsAddress = recordsAddress;
    out.count = count;
    out.unitsPerPiece = trim == Trim::ToUnits ? fewest : 0;
    return true;
}

bool acquireShadingLines(Transport& transport, Grain grain, std::uint32_t lineBytes, std::uint32_t lineCount,
                         Trim trim, ShadingLineBlock& out) {
    const std::uint64_t lineTotal = static_cast<std::uint64_t>(lineBytes) * lineCount;
    std::uint64_t size = grainSize(grain, BlockUse::ShadingLines, lineTotal);
    if (!acquireSized(out.buffer, grain, size, lineBytes, lineTotal) ||
        !acquireShared(out.records, sizeof(PieceRecord) * kShadingPieceRecords) ||
        !describeBuffer(transport, out.buffer.data(), static_cast<std::uint32_t>(size), out.records.as<PieceRecord>(),
                        kShadingPieceRecords, lineBytes, trim, out.pieces))
        return false;
    return trim == Trim::AsReturned || static_cast<std::uint64_t>(out.pieces.count) * out.pieces.unitsPerPiece >= lineCount;
}

std::uint8_t* pieceAddress(const PieceSet& pieces, std::size_t index) {
    return static_cast<std::uint8_t*>(fromAddress32(pieces.records[index].address));
}

std::uint8_t* lineAddress(const PieceSet& pieces, std::uint32_t line, std::uint32_t lineBytes) {
    const std::uint32_t u = pieces.unitsPerPiece;
    const std::uint32_t piece = (line / u) % pieces.count;
    return pieceAddress(pieces, piece) + static_cast<std::size_t>(line % u) * lineBytes;
}

}  // namespace drv
