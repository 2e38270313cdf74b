// Commands every dialect shares: the scanner error report, the waits for
// ready, set window, start scan, and the line transfer into the image buffer.
#ifndef SCANNER_DRIVER_COMMAND_LAYER_H
#define SCANNER_DRIVER_COMMAND_LAYER_H

#include <cstdint>

#include "pieces.h"
#include "platform/raii.hpp"
#include "scan_driver.h"
#include "driver_record.h"

namespace drv {

// The message for a status word: jam, no paper, cover open, or the check list.
Text messageForStatus(std::uint16_t status);
// Shows the message for status, then sends abort.
void reportScannerError(RunContext& run, std::uint16_t status);
// Sends abort (code 6); its status is not read.
void sendAbort(RunContext& run);

// Clears the request part of the inquiry block and sends inquiry; on a
// status error shows message 4 (status 255) or 5 and returns null, else the
// block with the scanner's reply.
InquiryBlock* sendInquiry(RunContext& run);

// Polls get status until ready, at most this many times; a scanner that never
// becomes ready is reported with the check list and aborted.
constexpr std::uint32_t kMaxReadyPolls = 300;           // five minutes at one poll a second
constexpr std::uint32_t kMaxUnpacedReadyPolls = 100000; // polls without sleeping
bool waitForReady(RunContext& run, Pacing pacing);

// Fills and sends set window for the window; the caller tests the status.
void sendSetWindow(RunContext& run, const ScanWindow& window);

// The host's progress callback with the driver's record.
struct Progress {
    ScanProgressCallback callback = nullptr;
    ScanProgressRecord record{};
    void report(std::uint16_t current, std::uint32_t total) {
        record.count = current;
        if (callback != nullptr) callback(&record, static_cast<std::int32_t>(total));
    }
};

// The image as the transfer fills it: rows stride bytes apart, the first
// scanned line in the last row.
struct ImageGeometry {
    std::uint32_t bytesPerLine = 0;  // B
    std::uint32_t pixels = 0;        // P = B / 3
    std::uint32_t stride = 0;        // S = (3P + 3) AND ~3
    std::uint32_t lines = 0;         // H
    std::uint32_t writtenWidth = 0;  // W = 4 x floor(S / 12)
};
// False when the reply cannot be scanned (fewer than 3 bytes per line).
bool imageGeometry(std::uint32_t bytesPerLine, std::uint32_t lines, ImageGeometry& out);

// The transfer buffer and its 256 piece records, both shareable.
struct TransferBuffer {
    pf::LockedGlobal buffer;
    pf::LockedGlobal records;
    PieceSet pieces;
};
bool describeTransferBuffer(RunContext& run, std::uint32_t bytesPerLine, TransferBuffer& out);

// Removes and dispatches every pending message of the thread; returns true
// when one of them was the Escape key.
bool pumpMessages();

enum class TransferEnd : std::uint8_t { Complete, Stopped, Failed };
// Reads all H lines into image (a zero-filled block of S x H bytes),
// reporting each line. Escape stops before the next read with abort and a
// wait; a status error is reported.
TransferEnd transferLines(RunContext& run, DialectSteps& steps, TransferBuffer& transfer, const ImageGeometry& geometry,
                          std::uint8_t* image, Progress& progress);

}  // namespace drv

#endif
