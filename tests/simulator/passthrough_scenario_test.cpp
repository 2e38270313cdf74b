// The scenario parser, the dialect chosen by folder, and the BUF_ADDR split.
#include <gtest/gtest.h>

#include "pieces.h"
#include "scenario.h"
#include "sensor.h"

namespace {

sim::Scenario parse(const std::string& text, sim::Dialect d = sim::Dialect::Scan) {
    return sim::parseScenario(text, d, "/win/TWAIN_32/KVSC_PRO");
}

}  // namespace

TEST(PassThroughScenario, DialectComesFromTheFolderUnlessTheFileNamesOne) {
    EXPECT_EQ(sim::dialectForFolder("/w/TWAIN_32/KVSC_Z48"), sim::Dialect::Vexa);
    EXPECT_EQ(sim::dialectForFolder("C:\\WINDOWS\\TWAIN_32\\kvsc_a3\\"), sim::Dialect::Prescan);
    EXPECT_EQ(sim::dialectForFolder("/w/TWAIN_32/KVSC_PRO"), sim::Dialect::Scan);
    EXPECT_EQ(sim::dialectForFolder("elsewhere"), sim::Dialect::Scan);
    // The dialect line sets the defaults even when it comes last.
    const sim::Scenario s = parse("calibrate = 0\ndialect = vexa\n");
    EXPECT_EQ(s.dialect, sim::Dialect::Vexa);
    EXPECT_EQ(s.modelDigits, "1200");
    EXPECT_EQ(s.calibrate, 0u);
    EXPECT_EQ(parse("", sim::Dialect::Prescan).modelDigits, "6000");
}

TEST(PassThroughScenario, ValuesCommentsAndPaths) {
    const sim::Scenario s = parse(
        "# a comment\n"
        "  model_digits = 600   # three digits\n"
        "adapter_handle = 0x1234\n"
        "shading_reference = 2000 0x0100 2100\n"
        "lines = 10\nbytes_per_line = auto\n"
        "document = charts/chart.tga\n"
        "log = /tmp/x.log\n"
        "not_ready_polls = never\n"
        "document_left = -0.5\n");
    EXPECT_TRUE(s.problems.empty()) << s.problems.front();
    EXPECT_EQ(s.modelDigits, "600");
    EXPECT_EQ(s.adapterHandle, 0x1234u);
    EXPECT_EQ(s.shadingReference[1], 0x0100u);
    EXPECT_EQ(s.lines.value_or(0), 10u);
    EXPECT_FALSE(s.bytesPerLine.has_value());
    EXPECT_EQ(s.document, "/win/TWAIN_32/KVSC_PRO/charts/chart.tga");
    EXPECT_EQ(s.logPath, "/tmp/x.log");
    EXPECT_EQ(s.notReadyPolls, sim::kNever);
    EXPECT_DOUBLE_EQ(s.documentLeft.value_or(0), -0.5);
    EXPECT_EQ(parse("").logPath, "/win/TWAIN_32/KVSC_PRO/passthrough.log");
    EXPECT_TRUE(parse("log = none\n").logPath.empty());
}

TEST(PassThroughScenario, BadLinesAreReportedAndLeaveTheDefault) {
    const sim::Scenario s = parse(
        "model_digits = 12000\n"        // more than 4 characters
        "adapter = 2\n"
        "calibrate = 256\n"             // a byte
        "seed = -1\n"
        "gain_variation = 0.9\n"
        "error = 8 0 5\n"               // calls count from 1
        "error = 8 2\n"
        "piece_limit = 0\n"
        "no equals sign\n"
        "colour = red\n");
    EXPECT_EQ(s.problems.size(), 10u);
    EXPECT_EQ(s.modelDigits, "6000");
    EXPECT_FALSE(s.adapter);
    EXPECT_EQ(s.calibrate, 1u);
    EXPECT_EQ(s.seed, 1u);
    EXPECT_DOUBLE_EQ(s.gainVariation, 0.08);
    EXPECT_TRUE(s.errors.empty());
    EXPECT_EQ(s.pieceLimit, 16u);
}

TEST(PassThroughScenario, InjectedErrorsSelectTheirCalls) {
    const sim::Scenario s = parse("error = 9 3 0x8217\nerror = 8 2+ 255\nbuf_addr_fail = 1+\n");
    ASSERT_EQ(s.errors.size(), 2u);
    EXPECT_EQ(s.errors[0].code, 9u);
    EXPECT_EQ(s.errors[0].status, 0x8217u);
    EXPECT_FALSE(s.errors[0].calls.matches(2));
    EXPECT_TRUE(s.errors[0].calls.matches(3));
    EXPECT_FALSE(s.errors[0].calls.matches(4));
    EXPECT_FALSE(s.errors[1].calls.matches(1));
    EXPECT_TRUE(s.errors[1].calls.matches(2));
    EXPECT_TRUE(s.errors[1].calls.matches(1000));
    EXPECT_TRUE(s.bufAddrFail.matches(1));
    EXPECT_FALSE(sim::CallSelector{}.matches(1));
}

TEST(PassThroughScenario, ReplyOverridesNameAFieldThatFitsTheLargestBlock) {
    const sim::Scenario s = parse(
        "reply = 5 10 2 742\n"
        "reply = 0 57 1 32 2+\n"
        "reply = 4 16398 4 1\n"   // beyond the largest block
        "reply = 5 12 3 0\n"      // no 3-byte fields
        "reply = 5 12 1 256\n"    // does not fit a byte
        "reply = 5 12 2\n");
    EXPECT_EQ(s.problems.size(), 4u);
    ASSERT_EQ(s.replies.size(), 2u);
    EXPECT_EQ(s.replies[0].offset, 10u);
    EXPECT_EQ(s.replies[0].value, 742u);
    EXPECT_TRUE(s.replies[0].appliesTo(1));
    EXPECT_TRUE(s.replies[0].appliesTo(7));
    EXPECT_FALSE(s.replies[1].appliesTo(1));
    EXPECT_TRUE(s.replies[1].appliesTo(3));
}

TEST(PassThroughPieces, SplitCoversTheBlockWithinTheLimit) {
    sim::Scenario s;
    // Shading buffer for 30 lines of 6096 bytes (196608 bytes): 16 pieces of 2 lines.
    sim::Description d = sim::planPieces(196608, 6096, s);
    EXPECT_EQ(d.pieces, 16u);
    EXPECT_EQ(d.pieceUnits, 2u);
    EXPECT_GE(d.pieces * d.pieceUnits, 30u);
    // A 4 MiB block with at most 16 records: pieces of 256 KiB worth of units.
    d = sim::planPieces(4194304, 6096, s);
    EXPECT_EQ(d.pieces, 16u);
    EXPECT_EQ(d.pieceUnits, 43u);
    EXPECT_LE(std::uint64_t{d.pieces} * d.pieceLength, 4194304u);
    // A unit bigger than the wanted piece: one unit per piece.
    d = sim::planPieces(65536, 20000, s);
    EXPECT_EQ(d.pieceUnits, 1u);
    EXPECT_EQ(d.pieces, 3u);
    EXPECT_EQ(sim::planPieces(100, 0, s).pieces, 0u);
}

TEST(PassThroughSensor, GainsMeanWhatTheDriversCompute) {
    // 12-bit: a coefficient made for white v with reference W brings v to 4095.
    const unsigned w = 2000, v = 3200;
    const unsigned coefficient = (w * 4095 - v * 1023 + v / 2) / v;
    EXPECT_NEAR(v * sim::shadingGain(12, static_cast<std::uint16_t>(coefficient), w), 4095.0, 2.0);
    // 16-bit: (65535 - v) * 65535 / v, scaled by the trim, brings v to 65535.
    const unsigned v16 = 50000;
    const double trim = sim::trimFactor(10, 0);
    EXPECT_DOUBLE_EQ(trim, 1.0390625);
    EXPECT_DOUBLE_EQ(sim::trimFactor(10, 1), 0.9609375);
    EXPECT_DOUBLE_EQ(sim::trimFactor(0, 1), 1.0);
    const double q = static_cast<double>((65535u - v16) * 65535u / v16);
    EXPECT_NEAR(v16 * sim::shadingGain(16, static_cast<std::uint16_t>(q * trim), trim), 65535.0, 3.0);
}
