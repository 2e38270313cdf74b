#include "pieces.h"

#include <algorithm>

#include "block_bytes.h"
#include "dialect.h"

namespace sim {

Description planPieces(std::uint32_t size, std::uint32_t unit, const Scenario& scenario) {
    Description d;
    d.size = size;
    d.unit = unit;
    if (unit == 0 || size < unit) return d;
    const std::uint64_t slack = scenario.pieceSlack;
    const std::uint64_t limit = scenario.pieceLimit == 0 ? 1 : scenario.pieceLimit;
    std::uint64_t units = std::max<std::uint64_t>(1, scenario.pieceBytes / unit);
    // Pieces grow until `piece_limit` of them cover as much of the block as
    // whole units allow.
    const std::uint64_t share = size / limit;
    if (share > slack) units = std::max<std::uint64_t>(units, (share - slack) / unit);
    std::uint64_t length = units * unit + slack;
    std::uint64_t count = size / length;
    if (count == 0) {
        // The wanted piece does not fit: one piece of whatever whole units do.
        if (size < unit + slack) return d;
        units = (size - slack) / unit;
        length = units * unit + slack;
        count = 1;
    }
    d.pieceUnits = static_cast<std::uint32_t>(units);
    d.pieceLength = static_cast<std::uint32_t>(length);
    d.pieces = static_cast<std::uint32_t>(std::min(count, limit));
    return d;
}

void PieceRegistry::add(const Description& description) {
    // A record array described again replaces its old description.
    remove(description.records);
    descriptions_.push_back(description);
}

void PieceRegistry::remove(std::uint32_t records) {
    descriptions_.erase(std::remove_if(descriptions_.begin(), descriptions_.end(),
                                       [&](const Description& d) { return d.records == records; }),
                        descriptions_.end());
}

const Description* PieceRegistry::find(std::uint32_t records) const {
    for (auto it = descriptions_.rbegin(); it != descriptions_.rend(); ++it) {
        if (it->records == records) return &*it;
    }
    return nullptr;
}

bool PieceRegistry::coversPiece(std::uint32_t address, std::uint32_t bytes) const {
    for (auto it = descriptions_.rbegin(); it != descriptions_.rend(); ++it) {
        for (std::uint32_t k = 0; k < it->pieces; ++k) {
            const std::uint64_t start = static_cast<std::uint64_t>(it->block) + std::uint64_t{k} * it->pieceLength;
            if (address >= start && std::uint64_t{address} + bytes <= start + it->pieceLength) return true;
        }
    }
    return false;
}

bool PieceRegistry::placeLines(std::uint32_t records, std::uint32_t pieceCount, std::uint32_t lineBytes,
                               std::uint32_t lineCount, LinePlacement* placement) const {
    placement->lines.clear();
    const Description* d = find(records);
    if (d == nullptr || pieceCount == 0 || pieceCount > d->pieces || d->unit != lineBytes) return false;
    const std::uint8_t* array = pointerFrom32(records);
    for (std::uint32_t k = 0; k < pieceCount && placement->lines.size() < lineCount; ++k) {
        const std::uint8_t* record = array + std::uint64_t{k} * kPieceRecordBytes;
        const std::uint32_t address = getU32(record, kPieceAddressOffset);
        const std::uint32_t expected = d->block + k * d->pieceLength;
        if (address != expected) return false;
        std::uint32_t units = getU16(record, kPieceUnitsOffset);
        if (units == 0) units = d->pieceUnits;
        if (units > d->pieceUnits) return false;
        for (std::uint32_t i = 0; i < units && placement->lines.size() < lineCount; ++i) {
            placement->lines.push_back(pointerFrom32(address) + std::uint64_t{i} * lineBytes);
        }
    }
    return placement->lines.size() == lineCount;
}

}  // namespace sim
