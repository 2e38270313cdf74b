#include "command_layer.h"

#include <algorithm>
#include <cstring>

#include "driver_state.h"
#include "platform/clock.h"
#include "platform/messages.h"

namespace drv {

namespace {

constexpr std::uint32_t kPollMilliseconds = 1000;
constexpr std::uint32_t kKeyboardFirst = 0x100;
constexpr std::uint32_t kKeyboardLast = 0x108;

}  // namespace

Text messageForStatus(std::uint16_t status) {
    switch (static_cast<ScannerStatus>(status)) {
    case ScannerStatus::PaperJammed: return Text::PaperJammed;
    case ScannerStatus::NoPaper: return Text::NoPaper;
    case ScannerStatus::CoverOpen: return Text::CoverNotClosed;
    default: return Text::ScannerNotReady;
    }
}

void sendAbort(RunContext& run) { run.transport.call(&driverState().blocks.abort, FunctionCode::Abort); }

InquiryBlock* sendInquiry(RunContext& run) {
    InquiryBlock& block = driverState().blocks.inquiry;
    std::memset(reinterpret_cast<std::uint8_t*>(&block) + kInquiryClearedOffset, 0, kInquiryClearedBytes);
    run.transport.call(&block, FunctionCode::Inquiry);
    if (block.status != 0) {
        showMessage(run.host, block.status == static_cast<std::uint16_t>(ScannerStatus::NotReady) ? Text::ScannerNotReady
                                                                                                  : Text::ScannerNotFound);
        return nullptr;
    }
    return &block;
}

void reportScannerError(RunContext& run, std::uint16_t status) {
    showMessage(run.host, messageForStatus(status));
    sendAbort(run);
}

bool waitForReady(RunContext& run, Pacing pacing) {
    GetStatusBlock& block = driverState().blocks.status;
    const std::uint32_t limit = pacing == Pacing::Unpaced ? kMaxUnpacedReadyPolls : kMaxReadyPolls;
    for (std::uint32_t poll = 0; poll < limit; ++poll) {
        if (pacing == Pacing::SleepThenPoll) pfSleep(kPollMilliseconds);
        run.transport.call(&block, FunctionCode::GetStatus);
        if (pacing == Pacing::PollThenSleep) pfSleep(kPollMilliseconds);
        if (block.status != 0) {
            reportScannerError(run, block.status);
            return false;
        }
        if (block.ready != 0) return true;
    }
    reportScannerError(run, static_cast<std::uint16_t>(ScannerStatus::NotReady));
    return false;
}

void sendSetWindow(RunContext& run, const ScanWindow& window) {
    SetWindowBlock& block = driverState().blocks.setWindow;
    block.xStart = window.xStart;
    block.yStart = window.yStart;
    block.xEnd = window.xEnd;
    block.yEnd = window.yEnd;
    block.source = static_cast<std::uint8_t>(run.type & 0xFF);
    block.byte15 = 0;
    block.byte16 = run.record.setWindowByte16;
    block.byte17 = 1;
    block.resolution = window.resolution;
    if (run.record.a3WindowFields) {
        block.a3Field24 = 20;
        block.a3Field26 = 0;
    }
    run.resolution = window.resolution;
    run.transport.call(&block, FunctionCode::SetWindow);
    run.reply.calibrate = block.calibrate;
    run.reply.shadingChoice = block.shadingChoice;
    run.reply.gammaRequest = block.gammaRequest;
}

bool imageGeometry(std::uint32_t bytesPerLine, std::uint32_t lines, ImageGeometry& out) {
    out = ImageGeometry{};
    out.bytesPerLine = bytesPerLine;
    out.lines = lines;
    out.pixels = bytesPerLine / 3;
    if (out.pixels == 0) return false;
    out.stride = (3 * out.pixels + 3) & ~3u;
    out.writtenWidth = 4 * (out.stride / 12);
    return true;
}

bool describeTransferBuffer(RunContext& run, std::uint32_t bytesPerLine, TransferBuffer& out) {
    const std::uint32_t bytes = run.rules.transferBytes;
    if (!acquireShared(out.buffer, bytes)) return false;
    if (!acquireShared(out.records, sizeof(PieceRecord) * kTransferPieceRecords)) return false;
    return describeBuffer(run.transport, out.buffer.data(), bytes, out.records.as<PieceRecord>(),
                          kTransferPieceRecords, bytesPerLine, Trim::ToUnits, out.pieces);
}

bool pumpMessages() {
    bool escape = false;
    PfMessage message{};
    while (pfPeekMessage(&message, nullptr, 0, 0, PF_PM_REMOVE) != 0) {
        if (message.message >= kKeyboardFirst && message.message <= kKeyboardLast &&
            message.wParam == PF_VK_ESCAPE)
            escape = true;
        pfTranslateMessage(&message);
        pfDispatchMessage(&message);
    }
    return escape;
}

TransferEnd transferLines(RunContext& run, DialectSteps& steps, TransferBuffer& transfer, const ImageGeometry& geometry,
                          std::uint8_t* image, Progress& progress) {
    DriverState& state = driverState();
    state.stopRequested = false;
    const PieceSet& pieces = transfer.pieces;
    const std::uint32_t perRead = static_cast<std::uint32_t>(pieces.count) * pieces.unitsPerPiece;
    const std::uint32_t total = geometry.lines;
    const std::uint32_t lineBytes = 3 * geometry.pixels;
    std::uint32_t done = 0;
    std::uint32_t requested = 0;
    while (done < total) {
        if (pumpMessages()) state.stopRequested = true;
        if (state.stopRequested) {
            sendAbort(run);
            waitForReady(run, run.record.abortPacing);
            return TransferEnd::Stopped;
        }
        const std::uint32_t n = std::min(total - requested, perRead);
        requested += n;
        const std::uint16_t status = steps.readImage(run, geometry.bytesPerLine, n, static_cast<std::uint16_t>(requested),
                                                     static_cast<std::uint16_t>(done), pieces);
        if (status != 0) {
            reportScannerError(run, status);
            return TransferEnd::Failed;
        }
        for (std::uint32_t a = done; a < done + n; ++a) {
            progress.report(static_cast<std::uint16_t>(a + 1), total);
            const std::uint8_t* line = lineAddress(pieces, a, geometry.bytesPerLine);
            // The first scanned line lands in the last row; pixels turn from
            // red, green, blue into blue, green, red.
            std::uint8_t* row = image + static_cast<std::size_t>(geometry.stride) * (total - 1 - a);
            for (std::uint32_t k = 0; k < lineBytes; k += 3) {
                row[k] = line[k + 2];
                row[k + 1] = line[k + 1];
                row[k + 2] = line[k];
            }
        }
        done += n;
    }
    return TransferEnd::Complete;
}

}  // namespace drv
