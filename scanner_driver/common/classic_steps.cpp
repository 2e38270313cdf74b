#include "classic_steps.h"

#include <cstring>
#include <utility>

#include "command_layer.h"
#include "driver_state.h"
#include "tone_tables.h"

namespace drv {

namespace {

constexpr unsigned kWorkingFlags = PF_GMEM_MOVEABLE | PF_GMEM_ZEROINIT;
constexpr std::uint32_t kLeadingBytes = 2;  // before the samples of a shading line
constexpr std::uint32_t kFrameBytes = 6;    // leading and trailing bytes of a shading line

std::uint16_t littleEndian16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

bool ClassicSteps::findLibrary(const DriverRecord& record, std::string& path, BufferRules& rules) {
    rules = BufferRules{Grain::Steps64K, 65536};
    return record.libraryTail != nullptr && libraryPath(record.libraryTail, 0, path);
}

bool ClassicSteps::identify(RunContext& run) {
    InquiryBlock* reply = sendInquiry(run);
    if (reply == nullptr) return false;
    InquiryBlock& block = *reply;
    const ModelNumber* model = findModelNumber(parseModelDigits(block.modelDigits));
    if (model == nullptr) return false;
    run.identity.adapter = block.adapter == 1;
    run.identity.windowUnit = model->baseResolution;
    run.identity.toneEntries = model->toneEntries;
    for (int c = 0; c < 3; ++c) run.identity.referenceWords[c] = referenceWord(&block.shadingData[2 * c]);
    return true;
}

bool ClassicSteps::prepareTables(RunContext& run) {
    for (int c = 0; c < 3; ++c) {
        if (!tables_[c].acquire(kWorkingFlags, kShadingTableEntries * sizeof(std::uint16_t))) return false;
    }
    for (int c = 0; c < 3; ++c) buildShadingTransferTable(run.identity.referenceWords[c], tables_[c].as<std::uint16_t>());
    return true;
}

void ClassicSteps::endRun() {
    for (auto& table : tables_) table.release();
    lines_ = ShadingLineBlock{};
    high_.release();
    low_.release();
    outputRecords_.release();
    coefficientCount_ = 0;
}

bool classicShadingGeometryUsable(std::uint32_t lineBytes, std::uint32_t lineCount) {
    if (lineCount < 7) return false;  // three dropped at each end leave nothing below 7
    if (lineBytes % 2 != 0) return false;
    return lineBytes >= kFrameBytes + 6;  // at least one pixel of three 16-bit samples
}

bool averageShadingLines(const PieceSet& pieces, std::uint32_t lineBytes, std::uint32_t lineCount,
                         const std::uint16_t* const tables[3], std::uint16_t* coefficients) {
    const std::uint32_t samples = (lineBytes - kFrameBytes) / 2;
    const std::uint32_t pixels = (lineBytes - kFrameBytes) / 6;
    pf::LockedGlobal work(kWorkingFlags, static_cast<std::size_t>(lineCount) * (lineBytes - kFrameBytes));
    pf::LockedGlobal column(kWorkingFlags, static_cast<std::size_t>(lineCount) * sizeof(std::uint16_t));
    if (!work.ok() || !column.ok()) return false;
    std::uint16_t* values = work.as<std::uint16_t>();
    for (std::uint32_t n = 0; n < lineCount; ++n) {
        const std::uint8_t* line = lineAddress(pieces, n, lineBytes) + kLeadingBytes;
        for (std::uint32_t j = 0; j < samples; ++j)
            values[static_cast<std::size_t>(n) * samples + j] = littleEndian16(line + 2 * j) & 0x0FFF;
    }
    std::uint16_t* gathered = column.as<std::uint16_t>();
    for (std::uint32_t j = 0; j < 3 * pixels; ++j) {
        for (std::uint32_t n = 0; n < lineCount; ++n) gathered[n] = values[static_cast<std::size_t>(n) * samples + j];
        const std::uint16_t mean = trimmedMean(gathered, lineCount);
        coefficients[j] = tables[j % 3][mean];
    }
    return true;
}

StepResult ClassicSteps::shading(RunContext& run) {
    StepResult result = StepResult::Done;
    if (run.reply.calibrate == 1) {
        result = calibrate(run);
        if (result == StepResult::Done) result = sendShading(run, true);
    } else if (run.reply.shadingChoice == 2 && driverState().storedShading.valid()) {
        // Before any calibration in this process there is nothing stored to send.
        result = sendShading(run, false);
    }
    lines_ = ShadingLineBlock{};
    high_.release();
    low_.release();
    outputRecords_.release();
    return result;
}

StepResult ClassicSteps::calibrate(RunContext& run) {
    DriverState& state = driverState();
    ClassicGeometryBlock& geometry = state.blocks.classicGeometry;
    geometry.request = 1;
    run.transport.call(&geometry, FunctionCode::GetShadingGeometry);
    if (geometry.status != 0) {
        reportScannerError(run, geometry.status);
        return StepResult::Failed;
    }
    const std::uint32_t lineBytes = geometry.lineBytes;   // L
    const std::uint32_t lineCount = geometry.lineCount;   // M
    if (!classicShadingGeometryUsable(lineBytes, lineCount)) return StepResult::Failed;
    const std::uint32_t samples = (lineBytes - kFrameBytes) / 2;  // N
    const std::uint32_t pixels = (lineBytes - kFrameBytes) / 6;   // Q
    const Grain grain = run.rules.grain;

    // White reference lines.
    const std::uint64_t lineTotal = static_cast<std::uint64_t>(lineBytes) * lineCount;
    if (!acquireShadingLines(run.transport, grain, lineBytes, lineCount, Trim::ToUnits, lines_)) {
        showMessage(run.host, Text::InsufficientMemory);
        return StepResult::Failed;
    }
    const PieceSet& linePieces = lines_.pieces;
    ClassicReadShadingBlock& read = state.blocks.classicReadShading;
    read.resolution = run.resolution;
    read.lineBytes = static_cast<std::uint16_t>(lineBytes);
    read.lineCount = static_cast<std::uint16_t>(lineCount);
    read.bytes = static_cast<std::uint32_t>(lineTotal);
    read.pieces = linePieces.count;
    read.records = linePieces.recordsAddress;
    run.transport.call(&read, FunctionCode::ReadShadingLines);
    if (read.status != 0) {
        reportScannerError(run, read.status);
        return StepResult::Failed;
    }

    pf::LockedGlobal coefficientLine(kWorkingFlags, static_cast<std::size_t>(lineBytes - kFrameBytes));
    if (!coefficientLine.ok()) return StepResult::Failed;
    const std::uint16_t* tables[3] = {transferTable(0), transferTable(1), transferTable(2)};
    if (!averageShadingLines(linePieces, lineBytes, lineCount, tables, coefficientLine.as<std::uint16_t>()))
        return StepResult::Failed;

    // Output images: high and low bytes, and the green copies kept for later runs.
    std::uint64_t outputSize = grainSize(grain, BlockUse::ShadingOutput, samples);
    StoredShading fresh;
    PieceSet highPieces, lowPieces, greenHighPieces, greenLowPieces;
    if (!acquireSized(high_, grain, outputSize, samples, samples) ||
        !acquireSized(low_, grain, outputSize, samples, samples))
        return StepResult::ShadingMemory;
    std::uint64_t greenSize = outputSize / 3;
    if (!acquireSized(fresh.greenHigh, grain, greenSize, samples, pixels) ||
        !acquireSized(fresh.greenLow, grain, greenSize, samples, pixels) ||
        !acquireShared(fresh.records, 2 * sizeof(PieceRecord) * kShadingPieceRecords) ||
        !acquireShared(outputRecords_, 2 * sizeof(PieceRecord) * kShadingPieceRecords))
        return StepResult::ShadingMemory;
    PieceRecord* greenRecords = fresh.records.as<PieceRecord>();
    PieceRecord* outputRecords = outputRecords_.as<PieceRecord>();
    const auto green32 = static_cast<std::uint32_t>(greenSize);
    const auto output32 = static_cast<std::uint32_t>(outputSize);
    if (!describeBuffer(run.transport, fresh.greenHigh.data(), green32, greenRecords, kShadingPieceRecords, pixels,
                        Trim::ToUnits, greenHighPieces) ||
        !describeBuffer(run.transport, fresh.greenLow.data(), green32, greenRecords + kShadingPieceRecords,
                        kShadingPieceRecords, pixels, Trim::ToUnits, greenLowPieces) ||
        !describeBuffer(run.transport, high_.data(), output32, outputRecords, kShadingPieceRecords, samples,
                        Trim::ToUnits, highPieces) ||
        !describeBuffer(run.transport, low_.data(), output32, outputRecords + kShadingPieceRecords,
                        kShadingPieceRecords, samples, Trim::ToUnits, lowPieces))
        return StepResult::ShadingMemory;
    state.highPieces = highPieces.count;
    state.lowPieces = lowPieces.count;

    splitPlanar(coefficientLine.as<std::uint16_t>(), pixels, pieceAddress(highPieces, 0), pieceAddress(lowPieces, 0),
                pieceAddress(greenHighPieces, 0), pieceAddress(greenLowPieces, 0));
    fresh.greenHighPieces = greenHighPieces.count;
    fresh.greenLowPieces = greenLowPieces.count;
    fresh.lineBytes = static_cast<std::uint16_t>(lineBytes);
    state.storedShading = std::move(fresh);
    coefficientCount_ = samples;
    return StepResult::Done;
}

StepResult ClassicSteps::sendShading(RunContext& run, bool calibrated) {
    DriverState& state = driverState();
    ClassicSendShadingBlock& block = state.blocks.classicSendShading;
    block.resolution = run.resolution;
    block.zero12 = 0;
    block.zero14 = 0;
    std::uint32_t highRecords = 0, lowRecords = 0;
    if (calibrated) {
        const PieceRecord* records = outputRecords_.as<PieceRecord>();
        if (!toAddress32(records, highRecords) || !toAddress32(records + kShadingPieceRecords, lowRecords))
            return StepResult::Failed;
        block.coefficients = coefficientCount_;
        block.highPieces = state.highPieces;
        block.lowPieces = state.lowPieces;
    } else {
        const StoredShading& stored = state.storedShading;
        const PieceRecord* records = stored.records.as<PieceRecord>();
        if (!toAddress32(records, highRecords) || !toAddress32(records + kShadingPieceRecords, lowRecords))
            return StepResult::Failed;
        block.coefficients = (stored.lineBytes - kFrameBytes) / 6u;
        // The counts that go with the records sent: those of the green copies.
        block.highPieces = stored.greenHighPieces;
        block.lowPieces = stored.greenLowPieces;
    }
    block.highRecords = highRecords;
    block.lowRecords = lowRecords;
    run.transport.call(&block, FunctionCode::SendShading);
    if (block.status != 0) {
        reportScannerError(run, block.status);
        return StepResult::Failed;
    }
    return StepResult::Done;
}

bool ClassicSteps::sendGamma(RunContext& run) {
    ClassicGammaBlock& block = driverState().blocks.classicGamma;
    block.byte6 = 0;
    block.byte7 = 7;
    fillClassicToneSlots(block, run.identity.toneEntries);
    run.transport.call(&block, FunctionCode::SendGammaTables);
    if (block.status != 0) {
        reportScannerError(run, block.status);
        return false;
    }
    return true;
}

std::uint16_t ClassicSteps::readImage(RunContext& run, std::uint32_t bytesPerLine, std::uint32_t lines,
                                      std::uint16_t requested, std::uint16_t completed, const PieceSet& pieces) {
    ClassicReadImageBlock& block = driverState().blocks.classicRead;
    block.bytesPerLine = static_cast<std::uint16_t>(bytesPerLine);
    block.lines = static_cast<std::uint16_t>(lines);
    block.bytes = lines * bytesPerLine;
    block.requested = requested;
    block.completed = completed;
    block.pieces = pieces.count;
    block.records = pieces.recordsAddress;
    run.transport.call(&block, FunctionCode::ReadImageData);
    return block.status;
}

ClassicSteps& scanSteps() {
    static ClassicSteps steps;
    return steps;
}

}  // namespace drv
