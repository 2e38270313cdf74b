#include "capture.h"

#include <algorithm>

#include "block_bytes.h"

namespace sim::trace {

Described describedFrom(const Call& call, std::uint32_t index) {
    Described d;
    d.index = index;
    d.buffer = call.buffer;
    d.size = call.size;
    d.records = call.records;
    for (std::size_t at = 0; at + kPieceRecordBytes <= call.pieceRecords.size(); at += kPieceRecordBytes) {
        const std::uint8_t* r = call.pieceRecords.data() + at;
        d.pieces.emplace_back(getU32(r, kPieceAddressOffset), getU32(r, kPieceLengthOffset));
    }
    return d;
}

void Descriptions::add(Described d) {
    all_.erase(std::remove_if(all_.begin(), all_.end(), [&](const Described& o) { return o.records == d.records; }),
               all_.end());
    all_.push_back(std::move(d));
}

const Described* Descriptions::byRecords(std::uint32_t records) const {
    for (auto it = all_.rbegin(); it != all_.rend(); ++it)
        if (it->records == records) return &*it;
    return nullptr;
}

const Described* Descriptions::byFirstPiece(std::uint32_t address) const {
    for (auto it = all_.rbegin(); it != all_.rend(); ++it)
        if (!it->pieces.empty() && it->pieces.front().first == address) return &*it;
    return nullptr;
}

const Described* Descriptions::byIndex(std::uint32_t index) const {
    for (const Described& d : all_)
        if (d.index == index) return &d;
    return nullptr;
}

std::vector<MemoryRef> namedMemory(const DialectSpec& spec, std::uint32_t code, const std::uint8_t* block,
                                   const Descriptions& described) {
    std::vector<MemoryRef> out;
    // Reads fill pieces (after the call); sends hand them over (before it).
    const Direction direction = code == kSendShading ? Direction::ToScanner : Direction::FromScanner;
    for (const NamedField& f : blockFields(spec, code)) {
        if (f.kind == FieldKind::Value || f.field.size != 4) continue;
        const std::uint32_t address = getU32(block, f.field.offset);
        if (f.kind == FieldKind::CallerMemory) {
            // The table's size is the field before its address.
            const std::uint32_t bytes = getU32(block, f.field.offset - 4);
            const bool seen = std::any_of(out.begin(), out.end(), [&](const MemoryRef& m) { return m.address == address; });
            if (address != 0 && bytes <= (1u << 20) && !seen) out.push_back({Direction::ToScanner, address, bytes, f.name});
            continue;
        }
        const Described* d =
            f.kind == FieldKind::Records ? described.byRecords(address) : described.byFirstPiece(address);
        if (d == nullptr) continue;
        for (const auto& [pieceAddress, length] : d->pieces) out.push_back({direction, pieceAddress, length, f.name});
    }
    return out;
}

}  // namespace sim::trace
