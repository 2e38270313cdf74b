#include "vexa_steps.h"

#include <algorithm>
#include <cstring>

#include "command_layer.h"
#include "driver_state.h"
#include "pieces.h"
#include "shading_math.h"
#include "tone_tables.h"

namespace drv {

namespace {

constexpr unsigned kTableFlags = PF_GMEM_FIXED | PF_GMEM_ZEROINIT;
constexpr unsigned kLineFlags = PF_GMEM_MOVEABLE | PF_GMEM_ZEROINIT;
constexpr std::uint32_t kToneTableBytes = kIdentityToneEntries * sizeof(std::uint16_t);  // 131072

// First trim pair of each table, per target type; -1: factor 1.0.
constexpr int kTrimOffsets[3][4] = {
    {70, 72, 74, 76},
    {78, 80, 82, -1},
    {84, 86, 88, -1},
};
constexpr int kTrimBase = 70;

}  // namespace

void vexaTrimFactors(const std::uint8_t (&trims)[20], std::uint16_t type, double (&factors)[4]) {
    const int row = std::min<int>(type, 2);
    for (int t = 0; t < 4; ++t) {
        const int offset = kTrimOffsets[row][t];
        factors[t] = offset < 0 ? 1.0 : trimFactor(trims[offset - kTrimBase], trims[offset - kTrimBase + 1]);
    }
}

bool vexaShadingGeometryUsable(std::uint32_t lineBytes, std::uint32_t lineCount) {
    // The average takes 16 values per column; a line holds at least one
    // pixel of three 16-bit samples.
    // The read block carries L x M as a 32-bit count.
    return lineCount == kVexaShadingLines && lineBytes >= 6 && lineBytes % 2 == 0 &&
           static_cast<std::uint64_t>(lineBytes) * lineCount <= 0xFFFF0000u;
}

void vexaCoefficients(const std::uint8_t* lines, std::uint32_t lineBytes, const std::uint16_t* const tables[3],
                      std::uint16_t* coefficients) {
    const std::uint32_t samples = lineBytes / 2;
    std::uint16_t column[kVexaShadingLines];
    for (std::uint32_t i = 0; i < samples; ++i) {
        for (std::uint32_t j = 0; j < kVexaShadingLines; ++j) {
            const std::uint8_t* p = lines + static_cast<std::size_t>(j) * lineBytes + 2 * i;
            column[j] = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
        }
        const std::uint16_t mean = middleEightMean(column);
        const std::uint32_t t = i % 3;
        coefficients[i] = mean < 32768 ? 65535 : tables[t][mean - 32768];
    }
}

bool VexaSteps::findLibrary(const DriverRecord& record, std::string& path, BufferRules& rules) {
    rules = BufferRules{Grain::Steps60K, 65536};
    return record.libraryTail != nullptr && libraryPath(record.libraryTail, 0, path);
}

bool VexaSteps::identify(RunContext& run) {
    InquiryBlock* reply = sendInquiry(run);
    if (reply == nullptr) return false;
    InquiryBlock& block = *reply;
    // Every model is accepted: the window unit is the same for all.
    run.identity.adapter = block.adapter == 1;
    run.identity.windowUnit = run.record.fixedWindowUnit;
    return true;
}

StepResult VexaSteps::shading(RunContext& run) {
    if (run.reply.calibrate == 0) return StepResult::Done;
    DriverState& state = driverState();

    // Correction tables, one per sample of a pixel (the fourth is built but unused).
    pf::LockedGlobal tables[4];
    for (auto& table : tables)
        if (!table.acquire(kTableFlags, kCorrectionEntries * sizeof(std::uint16_t))) return StepResult::Failed;
    InquiryBlock& inquiry = state.blocks.inquiry;
    run.transport.call(&inquiry, FunctionCode::Inquiry);
    double factors[4];
    vexaTrimFactors(inquiry.shadingData, run.type, factors);
    for (int t = 0; t < 4; ++t) buildCorrectionTable(factors[t], tables[t].as<std::uint16_t>());

    VexaGeometryBlock& geometry = state.blocks.vexaGeometry;
    run.transport.call(&geometry, FunctionCode::GetShadingGeometry);
    if (geometry.status != 0) return StepResult::Failed;
    if (geometry.flag != 1) return StepResult::Done;
    const std::uint32_t lineBytes = geometry.lineBytes;  // L
    const std::uint32_t lineCount = geometry.lineCount;  // M
    if (!vexaShadingGeometryUsable(lineBytes, lineCount)) return StepResult::Failed;
    const std::uint64_t lineTotal = static_cast<std::uint64_t>(lineBytes) * lineCount;
    const std::uint32_t samples = lineBytes / 2;

    // The lines are read as one run from the start of the buffer.
    ShadingLineBlock lines;
    if (!acquireShadingLines(run.transport, Grain::Steps60K, lineBytes, lineCount, Trim::AsReturned, lines))
        return StepResult::Failed;
    const PieceSet& linePieces = lines.pieces;

    VexaReadShadingBlock& read = state.blocks.vexaReadShading;
    read.resolution = run.resolution;
    read.lineBytes = lineBytes;
    read.lineCount = lineCount;
    read.bytes = static_cast<std::uint32_t>(lineTotal);
    read.records = linePieces.recordsAddress;
    run.transport.call(&read, FunctionCode::ReadShadingLines);
    if (read.status != 0) return StepResult::Failed;

    pf::LockedGlobal coefficients(kLineFlags, lineBytes);
    if (!coefficients.ok()) return StepResult::Failed;
    const std::uint16_t* tableAddresses[3] = {tables[0].as<std::uint16_t>(), tables[1].as<std::uint16_t>(),
                                              tables[2].as<std::uint16_t>()};
    vexaCoefficients(lines.buffer.as<std::uint8_t>(), lineBytes, tableAddresses, coefficients.as<std::uint16_t>());

    std::uint64_t outputSize = grainSize(Grain::Steps60K, BlockUse::ShadingOutput, samples);
    pf::LockedGlobal high, low, outputRecords;
    PieceSet highPieces, lowPieces;
    if (!acquireSized(high, Grain::Steps60K, outputSize, samples, samples) ||
        !acquireSized(low, Grain::Steps60K, outputSize, samples, samples) ||
        !acquireShared(outputRecords, 2 * sizeof(PieceRecord) * kShadingPieceRecords))
        return StepResult::Failed;
    PieceRecord* records = outputRecords.as<PieceRecord>();
    const auto output32 = static_cast<std::uint32_t>(outputSize);
    if (!describeBuffer(run.transport, high.data(), output32, records, kShadingPieceRecords, samples, Trim::ToUnits,
                        highPieces) ||
        !describeBuffer(run.transport, low.data(), output32, records + kShadingPieceRecords, kShadingPieceRecords,
                        samples, Trim::ToUnits, lowPieces))
        return StepResult::Failed;

    // Interleaved pixel by pixel; every piece starts with the same line.
    const std::uint16_t* line = coefficients.as<std::uint16_t>();
    const std::uint32_t lineSamples = 3 * (lineBytes / 6);
    const std::uint16_t pieces = std::min(highPieces.count, lowPieces.count);
    for (std::uint16_t i = 0; i < pieces; ++i) {
        std::uint8_t* h = pieceAddress(highPieces, i);
        std::uint8_t* l = pieceAddress(lowPieces, i);
        for (std::uint32_t k = 0; k < lineSamples; ++k) {
            l[k] = static_cast<std::uint8_t>(line[k] & 0xFF);
            h[k] = static_cast<std::uint8_t>(line[k] >> 8);
        }
    }

    VexaSendShadingBlock& send = state.blocks.vexaSendShading;
    send.resolution = run.resolution;
    send.lineBytes = samples;
    send.zero12 = 0;
    send.zero14 = 0;
    send.highAddress = highPieces.records[0].address;
    send.lowAddress = lowPieces.records[0].address;
    run.transport.call(&send, FunctionCode::SendShading);
    return send.status == 0 ? StepResult::Done : StepResult::Failed;
}

bool VexaSteps::sendGamma(RunContext& run) {
    if (run.reply.gammaRequest == 0) return true;
    pf::LockedGlobal table;
    std::uint32_t address = 0;
    if (!acquireShared(table, kToneTableBytes, PF_GMEM_MOVEABLE | PF_GMEM_ZEROINIT | PF_GMEM_DDESHARE) ||
        !toAddress32(table.data(), address)) {
        showMessage(run.host, Text::InsufficientMemory);
        return false;
    }
    fillIdentityToneTable(table.as<std::uint16_t>());
    VexaGammaBlock& block = driverState().blocks.vexaGamma;
    block.byte7 = 7;
    for (ToneTableRef& ref : block.tables) {
        ref.bytes = kToneTableBytes;
        ref.address = address;
    }
    run.transport.call(&block, FunctionCode::SendGammaTables);
    table.release();
    if (block.status != 0) {
        reportScannerError(run, block.status);
        return false;
    }
    return true;
}

std::uint16_t VexaSteps::readImage(RunContext& run, std::uint32_t bytesPerLine, std::uint32_t lines,
                                   std::uint16_t requested, std::uint16_t completed, const PieceSet& pieces) {
    VexaReadImageBlock& block = driverState().blocks.vexaRead;
    block.bytesPerLine = bytesPerLine;
    block.lines = lines;
    block.bytes = lines * bytesPerLine;
    block.requested = requested;
    block.completed = completed;
    block.pieces = pieces.count;
    block.records = pieces.recordsAddress;
    run.transport.call(&block, FunctionCode::ReadImageData);
    return block.status;
}

VexaSteps& vexaSteps() {
    static VexaSteps steps;
    return steps;
}

}  // namespace drv
