// The simulated pass-through library in its 12-bit dialect, driven through
// its exports with hand-built command blocks.
#include <gtest/gtest.h>

#include <algorithm>

#include "passthrough_session.h"

using namespace ptharness;

namespace {

// Spread of one colour over the columns of one line.
int columnSpread(const std::vector<std::uint8_t>& line, unsigned pixels, int colour) {
    int lo = 255, hi = 0;
    for (unsigned i = 0; i < pixels; ++i) {
        lo = std::min<int>(lo, line[3 * i + colour]);
        hi = std::max<int>(hi, line[3 * i + colour]);
    }
    return hi - lo;
}

const unsigned kReference[3] = {2000, 1900, 2100};

// B and H of start scan after the window, on a fresh load of the scenario.
std::pair<unsigned, unsigned> startGeometry(PassThrough& pt, const std::string& scenario, const WindowRequest& w) {
    pt.setScenario(scenario);
    EXPECT_TRUE(pt.load());
    Session s(pt);
    EXPECT_EQ(s.setWindow(w), 0u);
    EXPECT_EQ(s.startScan(), 0u);
    return {s.bytesPerLine, s.lines};
}

// Inquiry, window, optional calibration, start, ready, transfer of every line.
std::vector<std::vector<std::uint8_t>> scanAll(Session& s, int calibration /* -1 none */) {
    EXPECT_EQ(s.doInquiry(), 0u);
    EXPECT_EQ(s.setWindow(WindowRequest{}), 0u);
    if (calibration >= 0) {
        EXPECT_EQ(s.calibrate(kReference, calibration).status, 0u);
    }
    std::vector<std::vector<std::uint8_t>> lines;
    EXPECT_TRUE(s.scanLines(&lines));
    return lines;
}

}  // namespace

TEST(PassThroughScan, InquiryReportsModelAdapterAndReferenceWords) {
    PassThrough pt(sim::Dialect::Scan, "model_digits = 6060\nadapter = 1\nshading_reference = 2000 0x0100 2100\n");
    ASSERT_TRUE(pt.load());
    Session s(pt);
    ASSERT_EQ(s.doInquiry(), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.inquiry.p() + 57), 4), "6060");
    EXPECT_EQ(r16(s.inquiry.p(), 70), 2000u);
    EXPECT_EQ(s.inquiry.p()[72], 0u);  // low byte 0: the driver reads the word as 0
    EXPECT_EQ(s.inquiry.p()[73], 1u);
    EXPECT_EQ(r16(s.inquiry.p(), 74), 2100u);
    EXPECT_EQ(s.inquiry.p()[126], 1u);

    pt.setScenario("model_digits = 600\n");
    ASSERT_TRUE(pt.load());
    Session t(pt);
    ASSERT_EQ(t.doInquiry(), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.inquiry.p() + 57), 3), "600");
    EXPECT_EQ(t.inquiry.p()[60], 0u);
    EXPECT_EQ(t.inquiry.p()[126], 0u);
}

TEST(PassThroughScan, WindowGivesPixelsAndLinesAtTheScanResolution) {
    PassThrough pt(sim::Dialect::Scan, "calibrate = 1\nstored_shading = 2\n");
    ASSERT_TRUE(pt.load());
    Session s(pt);
    ASSERT_EQ(s.setWindow(WindowRequest{}), 0u);
    EXPECT_EQ(s.window.p()[20], 1u);
    EXPECT_EQ(s.window.p()[21], 2u);
    ASSERT_EQ(s.startScan(), 0u);
    // 4063 units of 1/600 in at 150 dpi: 1015 pixels; 2970 units: 742 lines.
    EXPECT_EQ(s.bytesPerLine, 3045u);
    EXPECT_EQ(s.lines, 742u);

    // Model 8000 counts the window in 1/800 in.
    WindowRequest w;
    w.xStart = 691;
    w.xEnd = 6108;
    w.yEnd = 3962;
    EXPECT_EQ(startGeometry(pt, "model_digits = 8000\n", w), std::make_pair(3u * 1015, 742u));
    // The transparency window at 240 dpi, with the adapter.
    WindowRequest film;
    film.xStart = 569;
    film.xEnd = 4230;
    film.yEnd = 2332;
    film.source = 1;
    film.resolution = 240;
    EXPECT_EQ(startGeometry(pt, "adapter = 1\n", film), std::make_pair(3u * 1464, 932u));
    EXPECT_EQ(startGeometry(pt, "lines = 10\nline_pad = 1\n", WindowRequest{}), std::make_pair(3046u, 10u));
    EXPECT_EQ(startGeometry(pt, "bytes_per_line = 3001\n", WindowRequest{}), std::make_pair(3001u, 742u));
}

TEST(PassThroughScan, SetWindowRefusesWhatTheScannerCannotDo) {
    PassThrough pt(sim::Dialect::Scan);
    ASSERT_TRUE(pt.load());
    Session s(pt);
    WindowRequest wrongConstant;
    wrongConstant.byte16 = 2;
    EXPECT_EQ(s.setWindow(wrongConstant), 0x8F01u);
    WindowRequest transparency;
    transparency.source = 1;
    EXPECT_EQ(s.setWindow(transparency), 0x8F01u);  // no adapter
    WindowRequest offBed;
    offBed.xEnd = 600 * 9;
    EXPECT_EQ(s.setWindow(offBed), 0x8F01u);
    WindowRequest empty;
    empty.xEnd = empty.xStart;
    EXPECT_EQ(s.setWindow(empty), 0x8F01u);
    // No window accepted: start scan is out of sequence.
    EXPECT_EQ(s.startScan(), 0x8F02u);
    const auto calls = pt.calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].str("error"), "constant");
    EXPECT_EQ(calls[1].str("error"), "no_adapter");
    EXPECT_EQ(calls[2].str("error"), "window");
}

TEST(PassThroughScan, ShadingLinesHoldEachElementsWhiteInTheLow12Bits) {
    PassThrough pt(sim::Dialect::Scan);
    ASSERT_TRUE(pt.load());
    Session s(pt);
    ASSERT_EQ(s.setWindow(WindowRequest{}), 0u);
    const auto res = s.calibrate(kReference);
    ASSERT_EQ(res.status, 0u);
    EXPECT_EQ(res.lineBytes, 6u * 1015 + 6);
    EXPECT_EQ(res.lines, 30u);
    // Column means spread by the element gains (stripes to correct) and stay
    // below full scale.
    unsigned lo = 4095, hi = 0;
    for (unsigned j = 0; j < res.samples[0].size(); ++j) {
        std::vector<unsigned> column;
        for (const auto& line : res.samples) column.push_back(line[j]);
        const unsigned mean = trimmedMean(column);
        lo = std::min(lo, mean);
        hi = std::max(hi, mean);
    }
    EXPECT_GT(hi - lo, 200u);
    EXPECT_LT(hi, 4095u);
    EXPECT_GT(lo, 2048u);
}

TEST(PassThroughScan, ShadingWordsCarryTheLineNumberAboveThe12Bits) {
    PassThrough pt(sim::Dialect::Scan, "shading_lines = 20\n");
    ASSERT_TRUE(pt.load());
    Session s(pt);
    ASSERT_EQ(s.setWindow(WindowRequest{}), 0u);
    w16(s.geometry.p(), 6, 1);
    ASSERT_EQ(pt.call(s.geometry, 7), 0u);
    const unsigned l = r16(s.geometry.p(), 8);
    Shared buffer(196608);
    Shared recs(16 * kPieceBytes);
    const unsigned n = pt.buf(buffer.p(), 196608, recs.p(), l);
    ASSERT_GT(n, 0u);
    std::uint8_t* b = s.readShadingBlock.p();
    w16(b, 6, 150);
    w16(b, 8, l);
    w16(b, 10, 20);
    w32(b, 12, l * 20);
    w16(b, 18, n);
    w32(b, 20, recs.a());
    ASSERT_EQ(pt.call(s.readShadingBlock, 2), 0u);
    // Pieces are laid back to back: line 7 lies 7 lines from the start.
    EXPECT_EQ(r16(buffer.p() + 7 * l, 2) >> 12, 7u);
    EXPECT_EQ(r16(buffer.p() + 19 * l, 2 + 2 * 100) >> 12, 3u);
    // A request that does not match the geometry is refused and writes nothing.
    std::fill(buffer.p(), buffer.p() + 196608, std::uint8_t{0});
    w16(b, 10, 21);
    w32(b, 12, l * 21);
    EXPECT_EQ(pt.call(s.readShadingBlock, 2), 0x8F01u);
    EXPECT_EQ(std::count(buffer.p(), buffer.p() + 196608, 0), 196608);
}

TEST(PassThroughScan, CorrectShadingGivesAFlatScanAndNoShadingLeavesStripes) {
    PassThrough pt(sim::Dialect::Scan);
    pt.setScenario(greyDocument(pt, 200) + "lines = 6\n");

    ASSERT_TRUE(pt.load());
    Session plain(pt);
    const auto raw = scanAll(plain, -1);
    ASSERT_EQ(raw.size(), 6u);
    for (int c = 0; c < 3; ++c) EXPECT_GT(columnSpread(raw[3], 1015, c), 10) << "colour " << c;

    ASSERT_TRUE(pt.load());
    Session corrected(pt);
    const auto flat = scanAll(corrected, 0);
    ASSERT_EQ(flat.size(), 6u);
    for (const auto& line : flat) {
        for (unsigned i = 0; i < 1015 * 3; ++i) ASSERT_NEAR(line[i], 200, 1) << "byte " << i;
    }

    ASSERT_TRUE(pt.load());
    Session wrong(pt);
    const auto striped = scanAll(wrong, 1);
    for (int c = 0; c < 3; ++c) EXPECT_GT(columnSpread(striped[2], 1015, c), 10) << "colour " << c;
}

TEST(PassThroughScan, StoredGreenShadingServesAllThreeColours) {
    PassThrough pt(sim::Dialect::Scan);
    pt.setScenario(greyDocument(pt, 200) + "lines = 2\n");
    ASSERT_TRUE(pt.load());
    Session s(pt);
    ASSERT_EQ(s.setWindow(WindowRequest{}), 0u);
    auto res = s.calibrate(kReference);
    ASSERT_EQ(res.status, 0u);
    // Only the green plane, Q coefficients: green comes out flat.
    ASSERT_EQ(s.sendPlanar(res.coefficients, 1015), 0u);
    // A count that is neither Q nor 3Q is refused.
    EXPECT_EQ(s.sendPlanar(res.coefficients, 1016), 0x8F01u);
    std::vector<std::vector<std::uint8_t>> lines;
    ASSERT_TRUE(s.scanLines(&lines));
    EXPECT_LE(columnSpread(lines[0], 1015, 1), 2);
}

TEST(PassThroughScan, ToneTablesAreAppliedToTheDeliveredLines) {
    PassThrough pt(sim::Dialect::Scan);
    pt.setScenario(greyDocument(pt, 200) + "lines = 1\n");
    ASSERT_TRUE(pt.load());
    Session s(pt);
    ASSERT_EQ(s.setWindow(WindowRequest{}), 0u);
    ASSERT_EQ(s.calibrate(kReference).status, 0u);
    std::vector<std::uint8_t> inverse(256);
    for (int i = 0; i < 256; ++i) inverse[i] = static_cast<std::uint8_t>(255 - i);
    // Model 6000 takes 256-entry tables only.
    EXPECT_EQ(s.sendGamma(4096, std::vector<std::uint8_t>(4096, 0)), 0x8F01u);
    ASSERT_EQ(s.sendGamma(256, inverse), 0u);
    std::vector<std::vector<std::uint8_t>> lines;
    ASSERT_TRUE(s.scanLines(&lines));
    for (unsigned i = 0; i < 3 * 1015; ++i) ASSERT_NEAR(lines[0][i], 55, 1);
}

TEST(PassThroughScan, TwelveBitModelTakes4096EntryTables) {
    PassThrough pt(sim::Dialect::Scan);
    pt.setScenario(greyDocument(pt, 128) + "model_digits = 1200\nlines = 1\n");
    ASSERT_TRUE(pt.load());
    Session s(pt);
    WindowRequest w;  // R = 1200
    w.xStart = 1036;
    w.xEnd = 9162;
    w.yEnd = 5947;
    ASSERT_EQ(s.setWindow(w), 0u);
    ASSERT_EQ(s.calibrate(kReference).status, 0u);
    EXPECT_EQ(s.sendGamma(256, std::vector<std::uint8_t>(256, 0)), 0x8F01u);
    // Every 12-bit value above 2047 to 255, below to 0: a threshold at half scale.
    std::vector<std::uint8_t> threshold(4096);
    for (int n = 0; n < 4096; ++n) threshold[n] = n >= 2048 ? 255 : 0;
    ASSERT_EQ(s.sendGamma(4096, threshold), 0u);
    std::vector<std::vector<std::uint8_t>> lines;
    ASSERT_TRUE(s.scanLines(&lines));
    // 128 / 255 of full scale is 2056: above the threshold everywhere.
    for (unsigned i = 0; i < s.bytesPerLine - s.bytesPerLine % 3; ++i) ASSERT_EQ(lines[0][i], 255) << i;
}

TEST(PassThroughScan, BufAddrSplitsTheBlockIntoEqualPiecesOfWholeUnits) {
    PassThrough pt(sim::Dialect::Scan);
    ASSERT_TRUE(pt.load());
    Shared block(65536);
    Shared recs(256 * kPieceBytes);
    // 16384 bytes wanted: 5 lines of 3045 per piece, 4 pieces back to back.
    ASSERT_EQ(pt.buf(block.p(), 65536, recs.p(), 3045), 4u);
    for (unsigned k = 0; k < 4; ++k) {
        EXPECT_EQ(r32(recs.p() + k * kPieceBytes, 0), 15225u);
        EXPECT_EQ(r32(recs.p() + k * kPieceBytes, 8), block.a() + k * 15225);
    }
    // No unit, or a unit larger than the block: no pieces.
    EXPECT_EQ(pt.buf(block.p(), 65536, recs.p(), 0), 0u);
    EXPECT_EQ(pt.buf(block.p(), 1000, recs.p(), 3045), 0u);
    // The failed call took back the records' earlier description.
    Session s(pt);
    ASSERT_EQ(s.setWindow(WindowRequest{}), 0u);
    ASSERT_EQ(s.startScan(), 0u);
    EXPECT_GE(s.waitReady(), 0);
    std::uint8_t* b = s.read.p();
    w16(b, 6, 3045);
    w16(b, 8, 1);
    w32(b, 12, 3045);
    w16(b, 16, 1);
    w16(b, 26, 1);
    w32(b, 28, recs.a());
    EXPECT_EQ(pt.call(s.read, 8), 0x8F03u);
    EXPECT_EQ(pt.buf(nullptr, 65536, recs.p(), 3045), 0u);
    const auto log = pt.log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0].word, "LOAD");
    EXPECT_EQ(log[1].word, "BUF_ADDR");
    EXPECT_EQ(log[1].num("pieces"), 4u);
    EXPECT_EQ(log[1].num("piece_bytes"), 15225u);
}

TEST(PassThroughScan, PieceLimitSlackAndInjectedFailure) {
    PassThrough pt(sim::Dialect::Scan, "piece_limit = 2\npiece_slack = 7\nbuf_addr_fail = 2\n");
    ASSERT_TRUE(pt.load());
    Shared block(65536);
    Shared recs(256 * kPieceBytes);
    // Two pieces cover the block: 10 units each plus the slack (2 x 30457 bytes).
    ASSERT_EQ(pt.buf(block.p(), 65536, recs.p(), 3045), 2u);
    EXPECT_EQ(r32(recs.p(), 0), 10u * 3045 + 7);
    EXPECT_EQ(r32(recs.p() + kPieceBytes, 8), block.a() + 10 * 3045 + 7);
    EXPECT_EQ(pt.buf(block.p(), 65536, recs.p(), 3045), 0u);  // the second call fails by request
    Shared large(131072);
    ASSERT_EQ(pt.buf(large.p(), 131072, recs.p(), 3045), 2u);
    EXPECT_EQ(r32(recs.p(), 0), 21u * 3045 + 7);
    // A block for exactly one unit and its slack.
    EXPECT_EQ(pt.buf(block.p(), 3045 + 7, recs.p(), 3045), 1u);
    EXPECT_EQ(pt.buf(block.p(), 3045 + 6, recs.p(), 3045), 0u);
}

TEST(PassThroughScan, ReadsFillThePiecesAndFollowTheLineCount) {
    PassThrough pt(sim::Dialect::Scan);
    pt.setScenario(greyDocument(pt, 90) + "lines = 10\npiece_bytes = 6090\nnot_ready_polls = 0\n");
    ASSERT_TRUE(pt.load());
    Session s(pt);
    ASSERT_EQ(s.setWindow(WindowRequest{}), 0u);
    ASSERT_EQ(s.startScan(), 0u);
    Shared transfer(8 * 3045);
    // Two lines per piece, 4 pieces: reads of 8 and 2.
    ASSERT_EQ(s.describeTransfer(transfer, 3045), 4u);
    ASSERT_EQ(s.unitsPerPiece, 2u);
    // Reading before get status has said ready is out of sequence.
    EXPECT_EQ(s.readLines(8, 0, nullptr), 0x8F02u);
    ASSERT_EQ(s.waitReady(), 0);
    // A request whose counts do not follow the lines delivered is refused.
    EXPECT_EQ(s.readLines(8, 2, nullptr), 0x8F01u);
    // More lines than the pieces hold.
    EXPECT_EQ(s.readLines(9, 0, nullptr), 0x8F03u);
    std::vector<std::vector<std::uint8_t>> lines;
    ASSERT_EQ(s.readLines(8, 0, &lines), 0u);
    ASSERT_EQ(s.readLines(2, 8, &lines), 0u);
    EXPECT_EQ(s.readLines(1, 10, nullptr), 0x8F02u);  // the scan is complete
    ASSERT_EQ(lines.size(), 10u);
    const auto calls = pt.calls();
    const LogEntry& second = calls[calls.size() - 2];
    EXPECT_EQ(second.str("cmd"), "read_image");
    EXPECT_EQ(second.num("lines"), 2u);
    EXPECT_EQ(second.num("requested"), 10u);
    EXPECT_EQ(second.num("done"), 8u);
    EXPECT_EQ(second.num("bytes"), 6090u);
}

TEST(PassThroughScan, RecordsThatWereNotHandedOutAreRefused) {
    PassThrough pt(sim::Dialect::Scan, "lines = 4\nnot_ready_polls = 0\n");
    ASSERT_TRUE(pt.load());
    Session s(pt);
    ASSERT_EQ(s.setWindow(WindowRequest{}), 0u);
    ASSERT_TRUE(s.beginTransfer());
    // A piece address changed after BUF_ADDR.
    const std::uint32_t saved = r32(s.records.p(), 8);
    w32(s.records.p(), 8, saved + 1);
    EXPECT_EQ(s.readLines(4, 0, nullptr), 0x8F03u);
    w32(s.records.p(), 8, saved);
    // A unit count larger than the piece holds.
    w16(s.records.p(), 4, 6);
    EXPECT_EQ(s.readLines(4, 0, nullptr), 0x8F03u);
    w16(s.records.p(), 4, 5);
    // Records the library never described.
    Shared other(256 * kPieceBytes);
    std::copy(s.records.p(), s.records.p() + 256 * kPieceBytes, other.p());
    std::uint8_t* b = s.read.p();
    w16(b, 6, 3045);
    w16(b, 8, 4);
    w32(b, 12, 4 * 3045);
    w16(b, 16, 4);
    w16(b, 18, 0);
    w16(b, 26, s.pieces);
    w32(b, 28, other.a());
    EXPECT_EQ(pt.call(s.read, 8), 0x8F03u);
    EXPECT_EQ(s.readLines(4, 0, nullptr), 0u);
}

TEST(PassThroughScan, InjectedStatusHitsTheNthCallOnly) {
    PassThrough pt(sim::Dialect::Scan, "lines = 30\nerror = 8 2 0x8217\nerror = 1 3+ 33812\n");
    ASSERT_TRUE(pt.load());
    Session s(pt);
    ASSERT_EQ(s.setWindow(WindowRequest{}), 0u);
    ASSERT_TRUE(s.beginTransfer());
    std::vector<std::vector<std::uint8_t>> lines;
    ASSERT_EQ(s.readLines(20, 0, &lines), 0u);
    std::fill(s.transfer.p(), s.transfer.p() + 65536, std::uint8_t{0xEE});
    EXPECT_EQ(s.readLines(10, 20, nullptr), 0x8217u);
    EXPECT_EQ(s.transfer.p()[0], 0xEE);  // nothing delivered
    EXPECT_EQ(s.readLines(10, 20, nullptr), 0u);  // the injected call did not count as delivery
    EXPECT_EQ(s.setWindow(WindowRequest{}), 0u);
    EXPECT_EQ(s.setWindow(WindowRequest{}), 0x8414u);
    EXPECT_EQ(s.setWindow(WindowRequest{}), 0x8414u);
    const auto calls = pt.calls();
    int injected = 0;
    for (const auto& c : calls) injected += c.has("injected") ? 1 : 0;
    EXPECT_EQ(injected, 3);
}

TEST(PassThroughScan, GetStatusAnswersNotReadyTheSetNumberOfTimes) {
    PassThrough pt(sim::Dialect::Scan, "lines = 1\nnot_ready_polls = 3\nnot_ready_polls_after_abort = 2\n");
    ASSERT_TRUE(pt.load());
    Session s(pt);
    ASSERT_EQ(s.setWindow(WindowRequest{}), 0u);
    ASSERT_EQ(s.startScan(), 0u);
    EXPECT_EQ(s.waitReady(), 3);
    EXPECT_EQ(s.waitReady(), 0);
    ASSERT_EQ(pt.call(s.abortBlock, 6), 0u);
    EXPECT_EQ(s.waitReady(), 2);
    // After abort there is nothing left to read.
    ASSERT_GT(s.describeTransfer(s.transfer, 3045), 0u);
    EXPECT_EQ(s.readLines(1, 0, nullptr), 0x8F02u);

    // After the last line, the scanner is busy for a while again.
    pt.setScenario("lines = 1\nnot_ready_polls = 0\nnot_ready_polls_at_end = 4\n");
    ASSERT_TRUE(pt.load());
    Session e(pt);
    ASSERT_EQ(e.setWindow(WindowRequest{}), 0u);
    ASSERT_TRUE(e.beginTransfer());
    ASSERT_EQ(e.readLines(1, 0, nullptr), 0u);
    EXPECT_EQ(e.waitReady(), 4);

    pt.setScenario("not_ready_polls = never\n");
    ASSERT_TRUE(pt.load());
    Session t(pt);
    ASSERT_EQ(t.setWindow(WindowRequest{}), 0u);
    ASSERT_EQ(t.startScan(), 0u);
    EXPECT_EQ(t.waitReady(500), 500);
}

TEST(PassThroughScan, LogRecordsLoadCallsAndUnloadAndTheScenarioIsReadAtEachLoad) {
    PassThrough pt(sim::Dialect::Scan, "model_digits = 8000\n");
    ASSERT_TRUE(pt.load());
    {
        Session s(pt);
        ASSERT_EQ(s.doInquiry(), 0u);
        ASSERT_EQ(s.setWindow(WindowRequest{}), 0u);
        pt.unload();
    }
    pt.setScenario("model_digits = 1200\nfrobnicate = 1\n");
    ASSERT_TRUE(pt.load());
    Session s(pt);
    ASSERT_EQ(s.doInquiry(), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.inquiry.p() + 57), 4), "1200");
    pt.unload();

    const auto log = pt.log();
    std::vector<std::string> words;
    for (const auto& e : log) words.push_back(e.word);
    const std::vector<std::string> expected = {"LOAD", "SPI_CALL", "SPI_CALL", "UNLOAD",
                                               "LOAD", "SCENARIO", "SPI_CALL", "UNLOAD"};
    EXPECT_EQ(words, expected);
    EXPECT_EQ(log[0].str("dialect"), "scan");
    EXPECT_EQ(log[1].str("cmd"), "inquiry");
    EXPECT_EQ(log[1].str("model"), "8000");
    EXPECT_EQ(log[2].num("code"), 1u);
    EXPECT_EQ(log[2].num("x_start"), 518u);
    EXPECT_EQ(log[2].num("x_end"), 4581u);
    EXPECT_EQ(log[2].num("y_end"), 2970u);
    EXPECT_EQ(log[2].num("resolution"), 150u);
    EXPECT_EQ(log[2].num("status"), 0u);
    EXPECT_NE(log[5].str("error").find("frobnicate"), std::string::npos);
    EXPECT_EQ(log[6].num("call"), 1u);  // counts start again at each load
}

TEST(PassThroughScan, AdapterHandleMustBeTheOneHandedOut) {
    PassThrough pt(sim::Dialect::Scan, "adapter_handle = 0x77\n");
    ASSERT_TRUE(pt.load());
    Session s(pt);
    pt.adapter = 5;
    EXPECT_EQ(s.doInquiry(), 0x8F05u);  // no ADDR_CHK yet: only 0 is valid
    pt.adapter = 0;
    EXPECT_EQ(s.doInquiry(), 0u);
    EXPECT_EQ(pt.addrChk(), 0x77u);
    EXPECT_EQ(s.doInquiry(), 0x8F05u);
    pt.adapter = 0x77;
    EXPECT_EQ(s.doInquiry(), 0u);
    EXPECT_EQ(pt.call(s.status, 10), 0x8F04u);
}

TEST(PassThroughScan, VariantWithoutBufAddrLacksThatProcedure) {
    PassThrough pt(sim::Dialect::Scan);
    sim::InstallOptions options;
    options.library = sim::builtPassThroughLibraryWithoutBufAddr();
    options.fileName = "NOBUF_SP.DLL";
    options.writeScenario = false;
    std::string error;
    ASSERT_TRUE(sim::installPassThroughInto(pt.folder(), sim::Dialect::Scan, options, &error)) << error;
    ASSERT_TRUE(pt.load("NOBUF_SP.DLL"));
    EXPECT_EQ(pt.buf, nullptr);
    Session s(pt);
    EXPECT_EQ(s.doInquiry(), 0u);
}
