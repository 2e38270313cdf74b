// Piece records of a block described to the scanner library: each piece is
// trimmed to whole units, and lines are found piece by piece.
#ifndef SCANNER_DRIVER_PIECES_H
#define SCANNER_DRIVER_PIECES_H

#include <cstddef>
#include <cstdint>

#include "command_blocks.h"
#include "driver_memory.h"
#include "pass_through.h"

namespace drv {

struct PieceSet {
    PieceRecord* records = nullptr;
    std::uint32_t recordsAddress = 0;  // 32-bit address of the records for command blocks
    std::uint16_t count = 0;
    // The smallest unit count over all pieces: every piece holds at least
    // this many units, so a line found with it never runs past its piece.
    std::uint16_t unitsPerPiece = 0;
};

enum class Trim : std::uint8_t { ToUnits, AsReturned };

// BUF_ADDR for a locked block of `bytes` bytes with records[capacity] (itself
// in shareable memory). Refuses a reply that names no piece, more pieces than
// the array holds, or a piece outside the block. With Trim::ToUnits each
// length is cut to whole units and the unit count stored; a piece without a
// whole unit is refused.
bool describeBuffer(Transport& transport, void* buffer, std::uint32_t bytes, PieceRecord* records,
                    std::size_t capacity, std::uint32_t unit, Trim trim, PieceSet& out);

// The white reference lines of a calibration: a locked shareable block of
// lineCount lines of lineBytes, sized by the grain (never below the lines),
// its kShadingPieceRecords records in a shareable block of their own, and
// BUF_ADDR with the line as unit. With Trim::ToUnits the lines are found piece
// by piece, so the pieces must hold all of them; with Trim::AsReturned they
// are read as one run from the start of the block. False when any of it fails.
struct ShadingLineBlock {
    pf::LockedGlobal buffer;
    pf::LockedGlobal records;
    PieceSet pieces;
};
bool acquireShadingLines(Transport& transport, Grain grain, std::uint32_t lineBytes, std::uint32_t lineCount,
                         Trim trim, ShadingLineBlock& out);

// The address of piece `index` (a pointer into the described block).
std::uint8_t* pieceAddress(const PieceSet& pieces, std::size_t index);

// Line `line` of `lineBytes` bytes when the pieces are filled in turn with
// unitsPerPiece lines each: a multiple of that count starts piece
// (line / u) mod count, other lines follow their predecessor.
std::uint8_t* lineAddress(const PieceSet& pieces, std::uint32_t line, std::uint32_t lineBytes);

}  // namespace drv

#endif
