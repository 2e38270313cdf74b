#include "support/recording_transport.h"

#include <algorithm>

#include "driver_memory.h"

namespace drvtest {

void RecordingTransport::call(void* block, drv::FunctionCode code) {
    codes.push_back(code);
    auto reply = replies.find(code);
    if (reply != replies.end()) reply->second(block);
}

std::uint16_t RecordingTransport::describe(void* buffer, std::uint32_t bytes, drv::PieceRecord* records,
                                           std::uint32_t unit) {
    std::uint32_t base = 0;
    drv::toAddress32(buffer, base);
    std::uint32_t offset = 0;
    std::uint16_t count = 0;
    while (count < pieceLimit && offset < bytes) {
        const std::uint32_t units = count < unitsOfPiece.size() ? unitsOfPiece[count] : unitsPerPiece;
        const std::uint32_t length = std::min(units * unit + pieceSlack, bytes - offset);
        records[count].length = length;
        records[count].address = base + offset;
        offset += length;
        ++count;
    }
    if (forcedPieceCount >= 0) count = static_cast<std::uint16_t>(forcedPieceCount);
    describes.push_back({buffer, bytes, unit, count});
    return count;
}

std::size_t RecordingTransport::count(drv::FunctionCode code) const {
    return static_cast<std::size_t>(std::count(codes.begin(), codes.end(), code));
}

}  // namespace drvtest
