// BUF_ADDR: how the simulated library splits a caller's memory block into
// pieces, and the record of every split it handed out, so that later command
// blocks that name piece records or piece addresses are checked against
// memory the caller really described before a byte is written there.
#ifndef SIMULATOR_PASSTHROUGH_PIECES_H
#define SIMULATOR_PASSTHROUGH_PIECES_H

#include <cstdint>
#include <vector>

#include "scenario.h"

namespace sim {

// One BUF_ADDR description: the block, the unit and the equal pieces laid
// out back to back from the block start, each `pieceLength` bytes long and
// holding `pieceUnits` whole units (the rest, `piece_slack`, is spare).
struct Description {
    std::uint32_t records = 0;  // address of the piece record array
    std::uint32_t block = 0;
    std::uint32_t size = 0;
    std::uint32_t unit = 0;
    std::uint32_t pieceLength = 0;
    std::uint32_t pieceUnits = 0;
    std::uint32_t pieces = 0;
};

// The split BUF_ADDR makes of `size` bytes in units of `unit` bytes, or
// pieces = 0 when not even one unit fits.
Description planPieces(std::uint32_t size, std::uint32_t unit, const Scenario& scenario);

// Where a run of lines goes: the address of each line in order.
struct LinePlacement {
    std::vector<std::uint8_t*> lines;
};

class PieceRegistry {
public:
    void add(const Description& description);
    void remove(std::uint32_t records);
    // The latest description whose record array lies at `records`, or null.
    const Description* find(std::uint32_t records) const;
    // True when [address, address + bytes) lies inside one described piece.
    bool coversPiece(std::uint32_t address, std::uint32_t bytes) const;
    void clear() { descriptions_.clear(); }

    // Addresses of `lineCount` lines of `lineBytes` bytes spread over the
    // first `pieceCount` pieces of the records at `records`: each piece takes
    // as many lines as the unit count the caller stored in its record (or
    // its whole units when the caller stored none), the pieces in order.
    // False when the records are unknown, were altered, their unit differs
    // from `lineBytes`, a count exceeds what the piece holds, or the lines do
    // not fit.
    bool placeLines(std::uint32_t records, std::uint32_t pieceCount, std::uint32_t lineBytes,
                    std::uint32_t lineCount, LinePlacement* placement) const;

private:
    std::vector<Description> descriptions_;
};

}  // namespace sim

#endif
