// The command layer and the shading steps against a recording transport:
// piece handling, the line transfer, Escape, waits, error reports,
// calibration and the tone tables as sent.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "classic_steps.h"
#include "command_layer.h"
#include "driver_state.h"
#include "messages.h"
#include "platform/desktop_posix.h"
#include "platform/message_box.h"
#include "classic_steps.h"
#include "support/recording_transport.h"
#include "vexa_steps.h"

namespace {

using namespace drv;
using drvtest::RecordingTransport;

struct Box {
    std::string text;
    std::string title;
};

int recordBox(void* context, PfWindow, const char* text, const char* title, std::uint32_t) {
    static_cast<std::vector<Box>*>(context)->push_back({text, title});
    return PF_IDOK;
}

class CommandLayer : public ::testing::Test {
protected:
    void SetUp() override {
        resetDriverState();
        setLanguage(0);
        pfdUseVirtualClock(1);
        pfdSetMessageBoxHandler(&recordBox, &boxes);
        host = pfdCreateWindow("host");
    }
    void TearDown() override {
        pfdSetMessageBoxHandler(nullptr, nullptr);
        resetDriverState();
    }
    RunContext context(const DriverRecord& record) {
        RunContext run{transport, host, record, BufferRules{}, {}, 0, 150, {}};
        return run;
    }
    void readyAfter(int polls) {
        auto remaining = std::make_shared<int>(polls);
        transport.replies[FunctionCode::GetStatus] = [remaining](void* b) {
            auto* block = static_cast<GetStatusBlock*>(b);
            block->status = 0;
            block->ready = (*remaining)-- <= 0 ? 1 : 0;
        };
    }

    RecordingTransport transport;
    std::vector<Box> boxes;
    PfWindow host = nullptr;
};

// Writes line a of the scan as bytes (a, k) into the pieces, found by the
// scanner's own rule: u whole lines per piece, pieces used in turn.
void fillLines(const PieceSet& pieces, std::uint32_t first, std::uint32_t count, std::uint32_t lineBytes,
               std::uint32_t u) {
    for (std::uint32_t a = first; a < first + count; ++a) {
        const std::uint32_t piece = (a / u) % pieces.count;
        std::uint8_t* line = static_cast<std::uint8_t*>(fromAddress32(pieces.records[piece].address)) + (a % u) * lineBytes;
        for (std::uint32_t k = 0; k < lineBytes; ++k) line[k] = static_cast<std::uint8_t>(a * 16 + k);
    }
}

TEST_F(CommandLayer, PiecesAreTrimmedToWholeUnitsAndTheSmallestCountIsUsed) {
    pf::LockedGlobal buffer, records;
    ASSERT_TRUE(acquireShared(buffer, 65536));
    ASSERT_TRUE(acquireShared(records, 20 * 16));
    transport.unitsOfPiece = {3, 2, 5};
    transport.pieceLimit = 3;
    transport.pieceSlack = 7;
    PieceSet pieces;
    ASSERT_TRUE(describeBuffer(transport, buffer.data(), 65536, records.as<PieceRecord>(), 16, 100, Trim::ToUnits, pieces));
    EXPECT_EQ(pieces.count, 3);
    EXPECT_EQ(pieces.unitsPerPiece, 2) << "the smallest count, not the last piece's";
    EXPECT_EQ(pieces.records[0].length, 300u);
    EXPECT_EQ(pieces.records[0].units, 3);
    EXPECT_EQ(pieces.records[2].length, 500u);
    EXPECT_EQ(lineAddress(pieces, 2, 100), pieceAddress(pieces, 1));
    EXPECT_EQ(lineAddress(pieces, 3, 100), pieceAddress(pieces, 1) + 100);
    EXPECT_EQ(lineAddress(pieces, 6, 100), pieceAddress(pieces, 0)) << "pieces are used in turn";
}

TEST_F(CommandLayer, PieceRepliesThatCannotBeUsedAreRefused) {
    pf::LockedGlobal buffer, records;
    ASSERT_TRUE(acquireShared(buffer, 65536));
    ASSERT_TRUE(acquireShared(records, 20 * 16));
    PieceSet pieces;
    transport.forcedPieceCount = 0;
    EXPECT_FALSE(describeBuffer(transport, buffer.data(), 65536, records.as<PieceRecord>(), 16, 100, Trim::ToUnits, pieces));
    transport.forcedPieceCount = 17;
    EXPECT_FALSE(describeBuffer(transport, buffer.data(), 65536, records.as<PieceRecord>(), 16, 100, Trim::ToUnits, pieces))
        << "more pieces than records";
    transport.forcedPieceCount = -1;
    transport.replies.clear();
    transport.unitsPerPiece = 0;
    transport.pieceSlack = 50;  // pieces shorter than one unit
    EXPECT_FALSE(describeBuffer(transport, buffer.data(), 65536, records.as<PieceRecord>(), 16, 100, Trim::ToUnits, pieces));
    // A piece outside the block.
    struct Outside : RecordingTransport {
        std::uint16_t describe(void* b, std::uint32_t n, PieceRecord* r, std::uint32_t u) override {
            RecordingTransport::describe(b, n, r, u);
            r[0].address += n;
            return 1;
        }
    } outside;
    EXPECT_FALSE(describeBuffer(outside, buffer.data(), 65536, records.as<PieceRecord>(), 16, 100, Trim::ToUnits, pieces));
}

TEST_F(CommandLayer, TransferReadsWholePiecesAndFillsRowsBottomUpInBlueGreenRed) {
    RunContext run = context(scanRecord());
    const std::uint32_t bytesPerLine = 10;  // P = 3, the last byte of each line ignored
    TransferBuffer transfer;
    transport.unitsPerPiece = 2;
    transport.pieceLimit = 2;
    ASSERT_TRUE(describeTransferBuffer(run, bytesPerLine, transfer));
    ASSERT_EQ(transfer.pieces.count, 2);

    std::vector<std::uint16_t> reads;
    transport.replies[FunctionCode::ReadImageData] = [&](void* b) {
        auto* block = static_cast<ClassicReadImageBlock*>(b);
        EXPECT_EQ(block->bytesPerLine, bytesPerLine);
        EXPECT_EQ(block->bytes, block->lines * bytesPerLine);
        EXPECT_EQ(block->requested, block->completed + block->lines);
        EXPECT_EQ(block->pieces, 2);
        EXPECT_EQ(fromAddress32(block->records), transfer.records.data());
        reads.push_back(block->lines);
        fillLines(transfer.pieces, block->completed, block->lines, bytesPerLine, 2);
        block->status = 0;
    };
    ImageGeometry geometry;
    ASSERT_TRUE(imageGeometry(bytesPerLine, 10, geometry));
    pf::LockedGlobal image;
    ASSERT_TRUE(acquireShared(image, geometry.stride * geometry.lines));
    std::vector<std::pair<int, int>> progress;
    Progress p;
    p.record.window = 77;
    static std::vector<std::pair<int, int>>* seen;
    seen = &progress;
    p.callback = [](ScanProgressRecord* r, std::int32_t total) -> std::int32_t {
        EXPECT_EQ(r->window, 77u);
        seen->push_back({r->count, total});
        return 0;
    };
    ClassicSteps& steps = scanSteps();
    EXPECT_EQ(transferLines(run, steps, transfer, geometry, image.as<std::uint8_t>(), p), TransferEnd::Complete);
    EXPECT_EQ(reads, (std::vector<std::uint16_t>{4, 4, 2}));
    ASSERT_EQ(progress.size(), 10u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(progress[i], std::make_pair(i + 1, 10));
    const std::uint8_t* rows = image.as<std::uint8_t>();
    for (std::uint32_t a = 0; a < 10; ++a) {
        const std::uint8_t* row = rows + geometry.stride * (9 - a);
        for (int k = 0; k < 3; ++k) {
            ASSERT_EQ(row[3 * k], a * 16 + 3 * k + 2) << "line " << a;
            ASSERT_EQ(row[3 * k + 1], a * 16 + 3 * k + 1);
            ASSERT_EQ(row[3 * k + 2], a * 16 + 3 * k);
        }
        for (std::uint32_t k = 9; k < geometry.stride; ++k) ASSERT_EQ(row[k], 0) << "padding stays zero";
    }
}

TEST_F(CommandLayer, EscapeStopsBeforeTheNextReadAndTheNextTransferStartsClear) {
    RunContext run = context(scanRecord());
    TransferBuffer transfer;
    transport.unitsPerPiece = 2;
    transport.pieceLimit = 2;
    ASSERT_TRUE(describeTransferBuffer(run, 9, transfer));
    transport.replies[FunctionCode::ReadImageData] = [&](void* b) {
        auto* block = static_cast<ClassicReadImageBlock*>(b);
        block->status = 0;
        if (block->completed == 0) pfdPostKeyDown(host, PF_VK_ESCAPE);  // pressed during the first read
    };
    readyAfter(2);
    ImageGeometry geometry;
    ASSERT_TRUE(imageGeometry(9, 10, geometry));
    pf::LockedGlobal image;
    ASSERT_TRUE(acquireShared(image, geometry.stride * geometry.lines));
    Progress p;
    const std::uint64_t sleptBefore = pfdVirtualMilliseconds();
    EXPECT_EQ(transferLines(run, scanSteps(), transfer, geometry, image.as<std::uint8_t>(), p), TransferEnd::Stopped);
    EXPECT_EQ(transport.count(FunctionCode::ReadImageData), 1u);
    ASSERT_GE(transport.codes.size(), 2u);
    EXPECT_EQ(transport.codes[1], FunctionCode::Abort);
    EXPECT_EQ(transport.count(FunctionCode::GetStatus), 3u);
    EXPECT_EQ(pfdVirtualMilliseconds() - sleptBefore, 3000u) << "scan sleeps a second after each poll";
    EXPECT_TRUE(boxes.empty());

    transport.codes.clear();
    transport.replies[FunctionCode::ReadImageData] = [](void* b) { static_cast<ClassicReadImageBlock*>(b)->status = 0; };
    EXPECT_EQ(transferLines(run, scanSteps(), transfer, geometry, image.as<std::uint8_t>(), p), TransferEnd::Complete);
    EXPECT_EQ(transport.count(FunctionCode::ReadImageData), 3u);
}

TEST_F(CommandLayer, EscapeWaitOfVexaPollsWithoutSleeping) {
    RunContext run = context(vexaRecord());
    TransferBuffer transfer;
    ASSERT_TRUE(describeTransferBuffer(run, 9, transfer));
    pfdPostKeyDown(host, PF_VK_ESCAPE);
    readyAfter(5);
    ImageGeometry geometry;
    ASSERT_TRUE(imageGeometry(9, 10, geometry));
    pf::LockedGlobal image;
    ASSERT_TRUE(acquireShared(image, geometry.stride * geometry.lines));
    Progress p;
    const std::uint64_t sleepsBefore = pfdSleepCalls();
    EXPECT_EQ(transferLines(run, vexaSteps(), transfer, geometry, image.as<std::uint8_t>(), p), TransferEnd::Stopped);
    EXPECT_EQ(transport.count(FunctionCode::ReadImageData), 0u);
    EXPECT_EQ(transport.count(FunctionCode::GetStatus), 6u);
    EXPECT_EQ(pfdSleepCalls(), sleepsBefore);
}

TEST_F(CommandLayer, StatusWordsSelectTheirMessagesAndAbortFollows) {
    RunContext run = context(scanRecord());
    const std::pair<std::uint16_t, std::string> cases[] = {
        {0x8217, "Paper Jammed in Automatic Document Feeder"},
        {0x8321, "No Paper in Automatic Document Feeder"},
        {0x8414, "Slide Scanner Cover not Closed!"},
    };
    for (const auto& [status, text] : cases) {
        boxes.clear();
        transport.codes.clear();
        reportScannerError(run, status);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, text);
        EXPECT_EQ(transport.codes, std::vector<FunctionCode>{FunctionCode::Abort});
    }
    boxes.clear();
    reportScannerError(run, 0x1234);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, messageText(Text::ScannerNotReady));
    EXPECT_NE(boxes[0].text.find("Please make sure"), std::string::npos);
}

TEST_F(CommandLayer, WaitForReadyGivesUpAfterBoundedPolls) {
    RunContext run = context(scanRecord());
    readyAfter(1 << 30);
    const std::uint64_t before = pfdVirtualMilliseconds();
    EXPECT_FALSE(waitForReady(run, Pacing::PollThenSleep));
    EXPECT_EQ(transport.count(FunctionCode::GetStatus), kMaxReadyPolls);
    EXPECT_EQ(pfdVirtualMilliseconds() - before, 1000u * kMaxReadyPolls);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, messageText(Text::ScannerNotReady));
    EXPECT_EQ(transport.codes.back(), FunctionCode::Abort);
}

TEST_F(CommandLayer, SleepFirstPacingPausesBeforeTheFirstPoll) {
    RunContext run = context(scanRecord());
    std::uint64_t clockAtPoll = 0;
    transport.replies[FunctionCode::GetStatus] = [&](void* b) {
        clockAtPoll = pfdVirtualMilliseconds();
        static_cast<GetStatusBlock*>(b)->status = 0x8414;
    };
    const std::uint64_t before = pfdVirtualMilliseconds();
    EXPECT_FALSE(waitForReady(run, Pacing::SleepThenPoll));
    EXPECT_EQ(clockAtPoll - before, 1000u);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Slide Scanner Cover not Closed!");
}

TEST_F(CommandLayer, SetWindowCarriesTheModelFields) {
    RunContext run = context(scanRecord());
    run.type = 1;
    transport.replies[FunctionCode::SetWindow] = [](void* b) {
        auto* block = static_cast<SetWindowBlock*>(b);
        EXPECT_EQ(block->source, 1);
        EXPECT_EQ(block->byte15, 0);
        EXPECT_EQ(block->byte16, 3);
        EXPECT_EQ(block->byte17, 1);
        EXPECT_EQ(block->resolution, 240);
        EXPECT_EQ(block->a3Field24, 0);
        block->calibrate = 1;
        block->shadingChoice = 2;
    };
    sendSetWindow(run, ScanWindow{569, 0, 4230, 2332, 240});
    EXPECT_EQ(run.reply.calibrate, 1);
    EXPECT_EQ(run.reply.shadingChoice, 2);
    EXPECT_EQ(run.resolution, 240);
}

// A classic calibration of two pixels (L = 18: N = 6, Q = 2) over 8 lines.
class ClassicCalibration : public CommandLayer {
protected:
    void SetUp() override {
        CommandLayer::SetUp();
        identity.referenceWords[0] = 2000;
        identity.referenceWords[1] = 2100;
        identity.referenceWords[2] = 1900;
        transport.replies[FunctionCode::GetShadingGeometry] = [this](void* b) {
            auto* block = static_cast<ClassicGeometryBlock*>(b);
            EXPECT_EQ(block->request, 1);
            block->lineBytes = lineBytes;
            block->lineCount = lineCount;
        };
        transport.replies[FunctionCode::ReadShadingLines] = [this](void* b) {
            auto* block = static_cast<ClassicReadShadingBlock*>(b);
            EXPECT_EQ(block->lineBytes, lineBytes);
            EXPECT_EQ(block->bytes, static_cast<std::uint32_t>(lineBytes) * lineCount);
            const auto* records = static_cast<const PieceRecord*>(fromAddress32(block->records));
            PieceSet pieces{const_cast<PieceRecord*>(records), block->records, block->pieces, records[0].units};
            for (std::uint32_t n = 0; n < lineCount; ++n) {
                std::uint8_t* line = lineAddress(pieces, n, lineBytes);
                for (std::uint32_t j = 0; j < (lineBytes - 6u) / 2; ++j) {
                    // Column j: 3010 + j, 3020 + j, ... and one outlier of 4000
                    // (with bits above the 12 that count set).
                    const std::uint16_t v = n + 1 == lineCount ? static_cast<std::uint16_t>(0xF000 | 4000)
                                                               : static_cast<std::uint16_t>(3000 + 10 * (n + 1) + j);
                    line[2 + 2 * j] = static_cast<std::uint8_t>(v & 0xFF);
                    line[3 + 2 * j] = static_cast<std::uint8_t>(v >> 8);
                }
            }
        };
        transport.replies[FunctionCode::SendShading] = [this](void* b) {
            auto* block = static_cast<ClassicSendShadingBlock*>(b);
            sent.push_back(*block);
            const auto* high = static_cast<const PieceRecord*>(fromAddress32(block->highRecords));
            const auto* low = static_cast<const PieceRecord*>(fromAddress32(block->lowRecords));
            const std::size_t bytes = block->coefficients;
            sentHigh.assign(static_cast<const std::uint8_t*>(fromAddress32(high[0].address)),
                            static_cast<const std::uint8_t*>(fromAddress32(high[0].address)) + bytes);
            sentLow.assign(static_cast<const std::uint8_t*>(fromAddress32(low[0].address)),
                           static_cast<const std::uint8_t*>(fromAddress32(low[0].address)) + bytes);
        };
    }
    StepResult runShading(std::uint8_t calibrate, std::uint8_t choice) {
        RunContext run = context(scanRecord());
        run.identity = identity;
        run.reply.calibrate = calibrate;
        run.reply.shadingChoice = choice;
        EXPECT_TRUE(steps.prepareTables(run));
        const StepResult result = steps.shading(run);
        steps.endRun();
        return result;
    }

    ScannerIdentity identity;
    ClassicSteps steps;
    std::uint16_t lineBytes = 18;
    std::uint16_t lineCount = 8;
    std::vector<ClassicSendShadingBlock> sent;
    std::vector<std::uint8_t> sentHigh, sentLow;
};

TEST_F(ClassicCalibration, CoefficientsAreSentPlanarAndGreenIsKept) {
    ASSERT_EQ(runShading(1, 0), StepResult::Done);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].coefficients, 6u);
    EXPECT_EQ(sent[0].resolution, 150);
    std::vector<std::uint16_t> red(4096), green(4096), blue(4096);
    buildShadingTransferTable(2000, red.data());
    buildShadingTransferTable(2100, green.data());
    buildShadingTransferTable(1900, blue.data());
    // Column j of the 8 lines: 3010 + j .. 3070 + j and the outlier; the mean
    // of the middle two is 3045 + j.
    const std::uint16_t expected[6] = {red[3045], green[3046], blue[3047], red[3048], green[3049], blue[3050]};
    ASSERT_EQ(sentHigh.size(), 6u);
    const int planar[6] = {0, 3, 1, 4, 2, 5};  // high[c * Q + p] holds coefficient 3p + c
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(sentHigh[i], expected[planar[i]] >> 8) << i;
        EXPECT_EQ(sentLow[i], expected[planar[i]] & 0xFF) << i;
    }
    const StoredShading& stored = driverState().storedShading;
    ASSERT_TRUE(stored.valid());
    EXPECT_EQ(stored.greenHigh.as<std::uint8_t>()[0], green[3046] >> 8);
    EXPECT_EQ(stored.greenLow.as<std::uint8_t>()[1], green[3049] & 0xFF);

    // A later run that selects the stored shading sends the green copies.
    sent.clear();
    ASSERT_EQ(runShading(0, 2), StepResult::Done);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].coefficients, 2u) << "Q coefficients for the stored shading";
    EXPECT_EQ(fromAddress32(sent[0].highRecords), stored.records.data());
    EXPECT_EQ(sent[0].highPieces, stored.greenHighPieces);
    EXPECT_EQ(sentHigh[0], green[3046] >> 8);
    EXPECT_EQ(sentLow[1], green[3049] & 0xFF);
}

TEST_F(ClassicCalibration, StoredShadingBeforeAnyCalibrationSendsNothing) {
    EXPECT_EQ(runShading(0, 2), StepResult::Done);
    EXPECT_TRUE(transport.codes.empty());
    EXPECT_EQ(runShading(0, 0), StepResult::Done);
    EXPECT_TRUE(transport.codes.empty());
}

TEST_F(ClassicCalibration, GeometriesThatCannotBeAveragedEndTheCalibration) {
    const std::pair<std::uint16_t, std::uint16_t> bad[] = {{18, 6}, {18, 0}, {19, 8}, {10, 8}, {6, 30}, {0, 30}};
    for (const auto& [l, m] : bad) {
        lineBytes = l;
        lineCount = m;
        transport.codes.clear();
        EXPECT_EQ(runShading(1, 0), StepResult::Failed) << "L=" << l << " M=" << m;
        EXPECT_EQ(transport.count(FunctionCode::ReadShadingLines), 0u);
        EXPECT_TRUE(transport.describes.empty());
    }
    lineBytes = 18;
    lineCount = 7;
    EXPECT_EQ(runShading(1, 0), StepResult::Done) << "seven lines leave one value";
}

TEST_F(ClassicCalibration, PiecesThatCannotHoldEveryLineAreRefused) {
    transport.pieceLimit = 1;  // one piece of 4 lines for 8 lines
    EXPECT_EQ(runShading(1, 0), StepResult::Failed);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Insufficient Memory.");
    EXPECT_EQ(transport.count(FunctionCode::ReadShadingLines), 0u);
    transport.pieceLimit = 2;
    boxes.clear();
    EXPECT_EQ(runShading(1, 0), StepResult::Done);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ClassicCalibration, StatusErrorsAreReportedAndAborted) {
    transport.replies[FunctionCode::ReadShadingLines] = [](void* b) {
        static_cast<ClassicReadShadingBlock*>(b)->status = 0x8321;
    };
    EXPECT_EQ(runShading(1, 0), StepResult::Failed);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "No Paper in Automatic Document Feeder");
    EXPECT_EQ(transport.codes.back(), FunctionCode::Abort);
    EXPECT_FALSE(driverState().storedShading.valid());
}

TEST_F(ClassicCalibration, MemoryFailuresGiveTheirResults) {
    // Shading line buffer: the 64 KiB block cannot be had (no smaller step).
    RunContext run = context(scanRecord());
    run.identity = identity;
    run.reply.calibrate = 1;
    ASSERT_TRUE(steps.prepareTables(run));
    pfdFailAllocationAfter(1);
    EXPECT_EQ(steps.shading(run), StepResult::Failed);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Insufficient Memory.");
    steps.endRun();

    // Every later allocation of the calibration, in turn.
    for (int nth = 3; nth <= 12; ++nth) {
        boxes.clear();
        ASSERT_TRUE(steps.prepareTables(run));
        pfdFailAllocationAfter(nth);
        const StepResult result = steps.shading(run);
        steps.endRun();
        pfdFailAllocationAfter(0);
        if (nth <= 5) {
            EXPECT_EQ(result, StepResult::Failed) << nth;  // coefficient line and averaging memory
            EXPECT_TRUE(boxes.empty()) << nth;
        } else if (nth <= 11) {
            EXPECT_EQ(result, StepResult::ShadingMemory) << nth;  // output blocks
            EXPECT_TRUE(boxes.empty()) << nth;
        }
    }
}

class VexaCalibration : public CommandLayer {
protected:
    void SetUp() override {
        CommandLayer::SetUp();
        transport.replies[FunctionCode::GetShadingGeometry] = [this](void* b) {
            auto* block = static_cast<VexaGeometryBlock*>(b);
            block->flag = flag;
            block->lineBytes = lineBytes;
            block->lineCount = lineCount;
        };
        transport.replies[FunctionCode::ReadShadingLines] = [this](void* b) {
            auto* block = static_cast<VexaReadShadingBlock*>(b);
            auto* records = static_cast<PieceRecord*>(fromAddress32(block->records));
            auto* lines = static_cast<std::uint8_t*>(fromAddress32(records[0].address));
            for (std::uint32_t j = 0; j < lineCount; ++j)
                for (std::uint32_t i = 0; i < lineBytes / 2; ++i) {
                    const std::uint16_t v = static_cast<std::uint16_t>(40000 + 1000 * ((j + i) % 16));
                    std::memcpy(lines + j * lineBytes + 2 * i, &v, 2);
                }
        };
        transport.replies[FunctionCode::SendShading] = [this](void* b) {
            auto* block = static_cast<VexaSendShadingBlock*>(b);
            sentLineBytes = block->lineBytes;
            high.assign(static_cast<std::uint8_t*>(fromAddress32(block->highAddress)),
                        static_cast<std::uint8_t*>(fromAddress32(block->highAddress)) + block->lineBytes);
            low.assign(static_cast<std::uint8_t*>(fromAddress32(block->lowAddress)),
                       static_cast<std::uint8_t*>(fromAddress32(block->lowAddress)) + block->lineBytes);
        };
    }
    StepResult runShading() {
        RunContext run = context(vexaRecord());
        run.reply.calibrate = 1;
        return vexaSteps().shading(run);
    }
    std::uint16_t flag = 1;
    std::uint32_t lineBytes = 6000;
    std::uint32_t lineCount = 16;
    std::uint32_t sentLineBytes = 0;
    std::vector<std::uint8_t> high, low;
};

TEST_F(VexaCalibration, InterleavedCoefficientsInEveryPiece) {
    transport.unitsPerPiece = 1;
    ASSERT_EQ(runShading(), StepResult::Done);
    EXPECT_EQ(sentLineBytes, 3000u);
    ASSERT_EQ(high.size(), 3000u);
    // Every column holds 40000..55000 in some order: mean 49500, entry 16732.
    std::vector<std::uint16_t> table(kCorrectionEntries);
    buildCorrectionTable(1.0, table.data());
    const std::uint16_t c = table[16732];
    for (int i = 0; i < 3000; ++i) {
        ASSERT_EQ(high[i], c >> 8);
        ASSERT_EQ(low[i], c & 0xFF);
    }
    // The output blocks (61,440 bytes, 20 pieces of 3000 bytes, 16 records)
    // each start with the same line.
    ASSERT_EQ(transport.describes.size(), 3u);
    EXPECT_EQ(transport.describes[1].bytes, 61440u);
    EXPECT_EQ(transport.describes[1].unit, 3000u);
    EXPECT_EQ(transport.describes[0].bytes, 122880u) << "6000 x 16 = 96,000 bytes of lines";
}

TEST_F(VexaCalibration, LowBlockUsesTheSmallerPieceCount) {
    struct Uneven : RecordingTransport {
        std::uint16_t describe(void* b, std::uint32_t n, PieceRecord* r, std::uint32_t u) override {
            const std::uint16_t pieces = RecordingTransport::describe(b, n, r, u);
            return describes.size() == 3 ? std::min<std::uint16_t>(pieces, 2) : pieces;  // the low block
        }
    } uneven;
    uneven.replies = transport.replies;
    uneven.unitsPerPiece = 1;
    int piece1 = -1, piece2 = -1;
    uneven.replies[FunctionCode::SendShading] = [&](void*) {
        const auto* highBlock = static_cast<const std::uint8_t*>(uneven.describes[1].buffer);
        piece1 = highBlock[3000];
        piece2 = highBlock[6000];
    };
    RunContext run{uneven, host, vexaRecord(), BufferRules{}, {}, 0, 150, {}};
    run.reply.calibrate = 1;
    ASSERT_EQ(vexaSteps().shading(run), StepResult::Done);
    EXPECT_EQ(uneven.count(FunctionCode::SendShading), 1u);
    EXPECT_GT(piece1, 0) << "the first two pieces receive the line";
    EXPECT_EQ(piece2, 0) << "pieces past the low block's count are left alone";
}

TEST_F(VexaCalibration, FlagOtherThanOneEndsBeforeAnyBuffer) {
    for (std::uint16_t f : {0, 2}) {
        flag = f;
        transport.codes.clear();
        EXPECT_EQ(runShading(), StepResult::Done);
        EXPECT_EQ(transport.codes, (std::vector<FunctionCode>{FunctionCode::Inquiry, FunctionCode::GetShadingGeometry}));
        EXPECT_TRUE(transport.describes.empty());
    }
}

TEST_F(VexaCalibration, LineCountOtherThanSixteenIsRefused) {
    for (std::uint32_t m : {15u, 17u, 0u}) {
        lineCount = m;
        transport.codes.clear();
        EXPECT_EQ(runShading(), StepResult::Failed) << m;
        EXPECT_EQ(transport.count(FunctionCode::ReadShadingLines), 0u);
    }
    EXPECT_TRUE(boxes.empty()) << "calibration failures show no message";
}

TEST_F(VexaCalibration, CorrectionTableMemoryFailsTheCalibration) {
    for (int nth = 1; nth <= 4; ++nth) {
        pfdFailAllocationAfter(nth);
        transport.codes.clear();
        EXPECT_EQ(runShading(), StepResult::Failed) << nth;
        EXPECT_TRUE(transport.codes.empty()) << "nothing is sent without the tables";
    }
}

TEST_F(VexaCalibration, StatusErrorsFailWithoutMessages) {
    transport.replies[FunctionCode::ReadShadingLines] = [](void* b) {
        static_cast<VexaReadShadingBlock*>(b)->status = 0x8217;
    };
    EXPECT_EQ(runShading(), StepResult::Failed);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(transport.count(FunctionCode::Abort), 0u);
}

TEST_F(CommandLayer, VexaGammaHandsOverOneIdentityTable) {
    RunContext run = context(vexaRecord());
    run.reply.gammaRequest = 1;
    bool checked = false;
    transport.replies[FunctionCode::SendGammaTables] = [&](void* b) {
        auto* block = static_cast<VexaGammaBlock*>(b);
        EXPECT_EQ(block->byte7, 7);
        for (const ToneTableRef& t : block->tables) {
            EXPECT_EQ(t.bytes, 131072u);
            EXPECT_EQ(t.address, block->tables[0].address);
        }
        const auto* table = static_cast<const std::uint16_t*>(fromAddress32(block->tables[0].address));
        EXPECT_EQ(table[1], 1);
        EXPECT_EQ(table[65535], 65535);
        checked = true;
    };
    EXPECT_TRUE(vexaSteps().sendGamma(run));
    EXPECT_TRUE(checked);

    run.reply.gammaRequest = 0;
    transport.codes.clear();
    EXPECT_TRUE(vexaSteps().sendGamma(run));
    EXPECT_TRUE(transport.codes.empty()) << "no tone tables unless asked";

    run.reply.gammaRequest = 1;
    pfdFailAllocationAfter(1);
    EXPECT_FALSE(vexaSteps().sendGamma(run));
    EXPECT_TRUE(transport.codes.empty());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Insufficient Memory.");
}

}  // namespace
