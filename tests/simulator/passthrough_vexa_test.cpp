// The simulated pass-through library in its 16-bit dialect (window in
// 1/4800 in, gain trims, tone tables by address, wider blocks) and in the A3
// dialect (adapter handle, two more set-window fields, the A3 bed).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "passthrough_session.h"

using namespace ptharness;

namespace {

WindowRequest vexaWindow() {
    WindowRequest w;
    w.xStart = 4147;
    w.xEnd = 36652;
    w.yEnd = 23806;
    w.byte16 = 2;
    return w;
}

// Trims: red +10/256, green -10/256, blue none for source 0.
const char* kTrims = "gain_trims = 10 0 10 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n";
const double kFactors[3] = {1.0390625, 0.9609375, 1.0};

struct VexaShading {
    unsigned status = 0;
    unsigned lineBytes = 0, lines = 0, flag = 0;
    std::vector<unsigned> means;
};

// Geometry, shading lines, middle-eight means, coefficients through the
// trimmed tables (factors), interleaved high/low lines, send shading.
VexaShading calibrateVexa(PassThrough& pt, Session& s, const double factors[3]) {
    VexaShading v;
    Shared geometry(64);
    if ((v.status = pt.call(geometry, 7)) != 0) return v;
    v.flag = r16(geometry.p(), 6);
    v.lineBytes = r32(geometry.p(), 8);
    v.lines = r32(geometry.p(), 12);
    const unsigned l = v.lineBytes, m = v.lines;
    const unsigned size = (l * m + 61440) / 61440 * 61440;
    Shared lineBuffer(size);
    Shared recs(16 * kPieceBytes);
    if (pt.buf(lineBuffer.p(), size, recs.p(), l) == 0) return v;
    Shared read(64);
    w16(read.p(), 6, 150);
    w32(read.p(), 8, l);
    w32(read.p(), 12, m);
    w32(read.p(), 16, l * m);
    w32(read.p(), 24, recs.a());
    if ((v.status = pt.call(read, 2)) != 0) return v;
    const unsigned samples = l / 2;
    std::vector<unsigned> coefficient(samples);
    for (unsigned i = 0; i < samples; ++i) {
        std::vector<unsigned> column;
        for (unsigned j = 0; j < m; ++j) column.push_back(r16(lineBuffer.p() + j * l, 2 * i));
        std::sort(column.begin(), column.end());
        unsigned sum = 0;
        for (unsigned k = 6; k < 14; ++k) sum += column[k];
        v.means.push_back(sum / 8);
        coefficient[i] = vexaEntry(sum / 8, factors[i % 3]);
    }
    const unsigned outSize = (samples + 61440) / 61440 * 61440;
    Shared high(outSize), low(outSize);
    Shared highRecs(16 * kPieceBytes), lowRecs(16 * kPieceBytes);
    pt.buf(high.p(), outSize, highRecs.p(), samples);
    pt.buf(low.p(), outSize, lowRecs.p(), samples);
    std::uint8_t* h = fromAddr32(r32(highRecs.p(), 8));
    std::uint8_t* lo = fromAddr32(r32(lowRecs.p(), 8));
    for (unsigned i = 0; i < samples; ++i) {
        h[i] = static_cast<std::uint8_t>(coefficient[i] >> 8);
        lo[i] = static_cast<std::uint8_t>(coefficient[i] & 0xFF);
    }
    Shared send(64);
    w16(send.p(), 6, 150);
    w32(send.p(), 8, samples);
    w32(send.p(), 20, r32(highRecs.p(), 8));
    w32(send.p(), 24, r32(lowRecs.p(), 8));
    v.status = pt.call(send, 3);
    (void)s;
    return v;
}

// vexa start scan: B at 8, H at 12.
unsigned startVexa(PassThrough& pt, Session& s) {
    w16(s.start.p(), 6, 0);
    const unsigned status = pt.call(s.start, 5);
    s.bytesPerLine = r16(s.start.p(), 8);
    s.lines = r16(s.start.p(), 12);
    return status;
}

std::vector<std::vector<std::uint8_t>> transferVexa(Session& s) {
    std::vector<std::vector<std::uint8_t>> lines;
    EXPECT_GT(s.describeTransfer(s.transfer, s.bytesPerLine), 0u);
    EXPECT_TRUE(s.readAll(&lines, true));
    return lines;
}

double meanOf(const std::vector<std::uint8_t>& line, unsigned pixels, int colour) {
    double sum = 0;
    for (unsigned i = 0; i < pixels; ++i) sum += line[3 * i + colour];
    return sum / pixels;
}

class VexaTest : public testing::Test {
protected:
    VexaTest() : pt(sim::Dialect::Vexa) {}
    void load(const std::string& scenario) {
        pt.setScenario(scenario);
        ASSERT_TRUE(pt.load());
        pt.adapter = pt.addrChk();
        ASSERT_NE(pt.adapter, 0u);
    }
    PassThrough pt;
};

}  // namespace

TEST_F(VexaTest, InquiryCarriesTheGainTrims) {
    load(kTrims);
    Session s(pt);
    ASSERT_EQ(s.doInquiry(), 0u);
    EXPECT_EQ(s.inquiry.p()[70], 10u);
    EXPECT_EQ(s.inquiry.p()[71], 0u);
    EXPECT_EQ(s.inquiry.p()[72], 10u);
    EXPECT_EQ(s.inquiry.p()[73], 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.inquiry.p() + 57), 4), "1200");
}

TEST_F(VexaTest, WindowIn4800thsAndTheWiderStartScanReply) {
    load("gamma_request = 0\n");
    Session s(pt);
    ASSERT_EQ(s.setWindow(vexaWindow()), 0u);
    EXPECT_EQ(s.window.p()[20], 1u);
    EXPECT_EQ(s.window.p()[22], 0u);
    // The 12-bit dialects' byte 16 is refused.
    WindowRequest w = vexaWindow();
    w.byte16 = 3;
    EXPECT_EQ(s.setWindow(w), 0x8F01u);
    ASSERT_EQ(s.setWindow(vexaWindow()), 0u);
    ASSERT_EQ(startVexa(pt, s), 0u);
    // 32505 / 4800 in at 150 dpi: 1015 pixels; 23806: 743 lines, at 12 only.
    EXPECT_EQ(s.bytesPerLine, 3045u);
    EXPECT_EQ(s.lines, 743u);
    EXPECT_EQ(r16(s.start.p(), 10), 0u);
}

TEST_F(VexaTest, ReplyOverrideMovesTheLineCount) {
    load("not_ready_polls = 0\nreply = 5 10 2 743\nreply = 5 12 2 0\nreply = 9 6 2 0 1\n");
    Session s(pt);
    ASSERT_EQ(s.setWindow(vexaWindow()), 0u);
    ASSERT_EQ(startVexa(pt, s), 0u);
    EXPECT_EQ(s.lines, 0u);
    EXPECT_EQ(r16(s.start.p(), 10), 743u);
    // The first get status is forced to "not ready"; the second is not.
    EXPECT_EQ(s.waitReady(), 1);
    EXPECT_EQ(pt.calls()[1].num("overridden"), 2u);
}

TEST(PassThroughVexa, NoAdapterHandleNoScanner) {
    PassThrough pt(sim::Dialect::Vexa, "adapter_handle = 0\n");
    ASSERT_TRUE(pt.load());
    Session s(pt);
    EXPECT_EQ(s.doInquiry(), 0x8F05u);
    EXPECT_EQ(pt.addrChk(), 0u);
    EXPECT_EQ(s.doInquiry(), 0x8F05u);
    const auto calls = pt.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].str("error"), "no_addr_chk");
    EXPECT_EQ(calls[1].str("error"), "no_handle");
}

TEST_F(VexaTest, GeometryFlagAndSixteenBitShadingLines) {
    load("shading_flag = 2\n");
    Session s(pt);
    ASSERT_EQ(s.setWindow(vexaWindow()), 0u);
    const VexaShading v = calibrateVexa(pt, s, kFactors);
    ASSERT_EQ(v.status, 0u);
    EXPECT_EQ(v.flag, 2u);
    EXPECT_EQ(v.lineBytes, 6u * 1015);
    EXPECT_EQ(v.lines, 16u);
    const auto [lo, hi] = std::minmax_element(v.means.begin(), v.means.end());
    EXPECT_GT(*lo, 32768u);
    EXPECT_GT(*hi - *lo, 4000u);  // element whites differ: stripes without correction
}

TEST_F(VexaTest, CorrectCoefficientsWithTheTrimsGiveAFlatFullScale) {
    load(std::string(kTrims) + greyDocument(pt, 200) + "lines = 4\ngamma_request = 0\n");
    Session s(pt);
    ASSERT_EQ(s.setWindow(vexaWindow()), 0u);
    ASSERT_EQ(calibrateVexa(pt, s, kFactors).status, 0u);
    ASSERT_EQ(startVexa(pt, s), 0u);
    ASSERT_GE(s.waitReady(), 0);
    const auto lines = transferVexa(s);
    ASSERT_EQ(lines.size(), 4u);
    for (unsigned i = 0; i < 3 * 1015; ++i) ASSERT_NEAR(lines[3][i], 200, 1) << i;
}

TEST_F(VexaTest, CoefficientsThatIgnoreTheTrimsTintTheScan) {
    load("gain_trims = 40 0 40 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n" + greyDocument(pt, 200) +
         "lines = 1\ngamma_request = 0\n");
    Session s(pt);
    ASSERT_EQ(s.setWindow(vexaWindow()), 0u);
    const double untrimmed[3] = {1.0, 1.0, 1.0};
    ASSERT_EQ(calibrateVexa(pt, s, untrimmed).status, 0u);
    ASSERT_EQ(startVexa(pt, s), 0u);
    ASSERT_GE(s.waitReady(), 0);
    const auto lines = transferVexa(s);
    // Red's trim is above 1: its gain comes out short; green's below 1: too high.
    EXPECT_LT(meanOf(lines[0], 1015, 0), 197.0);
    EXPECT_GT(meanOf(lines[0], 1015, 1), 203.0);
    EXPECT_NEAR(meanOf(lines[0], 1015, 2), 200.0, 0.5);
}

TEST_F(VexaTest, ToneTablesByAddressAreApplied) {
    load(greyDocument(pt, 200) + "lines = 1\n");
    Session s(pt);
    ASSERT_EQ(s.setWindow(vexaWindow()), 0u);
    EXPECT_EQ(s.window.p()[22], 1u);
    const double untrimmed[3] = {1.0, 1.0, 1.0};
    ASSERT_EQ(calibrateVexa(pt, s, untrimmed).status, 0u);
    Shared table(131072);
    for (unsigned i = 0; i < 65536; ++i) w16(table.p(), 2 * i, 65535 - i);
    Shared gamma(64);
    w8(gamma.p(), 7, 7);
    for (unsigned k = 0; k < 3; ++k) {
        w32(gamma.p(), 16 + 8 * k, 131072);
        w32(gamma.p(), 20 + 8 * k, table.a());
    }
    w32(gamma.p(), 24, 65536);
    EXPECT_EQ(pt.call(gamma, 4), 0x8F01u);
    w32(gamma.p(), 24, 131072);
    // A table address where nothing is mapped is refused, not read.
    w32(gamma.p(), 28, 0x1000);
    EXPECT_EQ(pt.call(gamma, 4), 0x8F03u);
    w32(gamma.p(), 28, table.a());
    ASSERT_EQ(pt.call(gamma, 4), 0u);
    ASSERT_EQ(startVexa(pt, s), 0u);
    ASSERT_GE(s.waitReady(), 0);
    const auto lines = transferVexa(s);
    for (unsigned i = 0; i < 3 * 1015; ++i) ASSERT_NEAR(lines[0][i], 55, 1) << i;
    const LogEntry refused = pt.calls()[4];
    EXPECT_EQ(refused.str("cmd"), "gamma");
    EXPECT_EQ(refused.str("error"), "size");
}

TEST_F(VexaTest, ShadingCountMustBeHalfTheLineAndPiecesMustBeKnown) {
    load("");
    Session s(pt);
    ASSERT_EQ(s.setWindow(vexaWindow()), 0u);
    Shared block(61440);
    Shared recs(16 * kPieceBytes);
    ASSERT_GT(pt.buf(block.p(), 61440, recs.p(), 3045), 0u);
    Shared send(64);
    w16(send.p(), 6, 150);
    w32(send.p(), 8, 3045);
    w32(send.p(), 20, block.a());
    w32(send.p(), 24, block.a() + 100);
    EXPECT_EQ(pt.call(send, 3), 0u);
    w32(send.p(), 8, 3044);
    EXPECT_EQ(pt.call(send, 3), 0x8F01u);
    Shared elsewhere(61440);
    w32(send.p(), 8, 3045);
    w32(send.p(), 24, elsewhere.a());
    EXPECT_EQ(pt.call(send, 3), 0x8F03u);
}

TEST(PassThroughPrescan, A3WindowNeedsTheTwoMoreFieldsAndTheAdapterHandle) {
    PassThrough pt(sim::Dialect::Prescan);
    ASSERT_TRUE(pt.load());
    Session s(pt);
    WindowRequest w;  // R = 600, A3 reflective window
    w.xStart = 1476;
    w.xEnd = 5539;
    w.yEnd = 2970;
    w.a3 = true;
    EXPECT_EQ(s.setWindow(w), 0x8F05u);  // the A3 model is reached through ADDR_CHK only
    EXPECT_EQ(pt.calls()[0].str("error"), "no_addr_chk");
    pt.adapter = pt.addrChk();
    EXPECT_EQ(s.setWindow(w), 0u);
    w.a3 = false;
    EXPECT_EQ(s.setWindow(w), 0x8F01u);
    // The A3 bed takes a window wider than the letter bed.
    w.a3 = true;
    w.xStart = 2952;
    w.xEnd = 11078;
    w.yEnd = 5947;
    pt.setScenario("model_digits = 1200\n");
    ASSERT_TRUE(pt.load());
    Session t(pt);
    pt.adapter = pt.addrChk();
    ASSERT_EQ(t.setWindow(w), 0u);
    ASSERT_EQ(t.startScan(), 0u);
    EXPECT_EQ(t.bytesPerLine, 3045u);
    EXPECT_EQ(t.lines, 743u);
}
