// A transport that stands in for the pass-through library in unit tests:
// it records every call in order, answers through per-code reply hooks, and
// splits described blocks into pieces of a chosen size.
#ifndef TESTS_SCANNER_DRIVER_RECORDING_TRANSPORT_H
#define TESTS_SCANNER_DRIVER_RECORDING_TRANSPORT_H

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "pass_through.h"

namespace drvtest {

struct DescribeCall {
    void* buffer;
    std::uint32_t bytes;
    std::uint32_t unit;
    std::uint16_t pieces;
};

class RecordingTransport : public drv::Transport {
public:
    void call(void* block, drv::FunctionCode code) override;
    std::uint16_t describe(void* buffer, std::uint32_t bytes, drv::PieceRecord* records, std::uint32_t unit) override;

    // Codes called so far, in order.
    std::vector<drv::FunctionCode> codes;
    std::vector<DescribeCall> describes;
    // The reply for a code; without one the call leaves the block alone.
    std::map<drv::FunctionCode, std::function<void(void*)>> replies;
    // Piece lengths handed out: each piece this many whole units (plus
    // pieceSlack bytes), at most pieceLimit pieces. A list in unitsOfPiece
    // overrides the unit count piece by piece.
    std::uint32_t unitsPerPiece = 4;
    std::uint32_t pieceSlack = 0;
    std::uint16_t pieceLimit = 16;
    std::vector<std::uint32_t> unitsOfPiece;
    // Returned by describe instead of the real count when set.
    int forcedPieceCount = -1;

    std::size_t count(drv::FunctionCode code) const;
};

}  // namespace drvtest

#endif
