// The drivers' arithmetic: identity, windows, tone tables, shading tables,
// means, correction tables, buffer grains and image geometry.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "command_layer.h"
#include "driver_memory.h"
#include "platform/desktop_posix.h"
#include "prescan_steps.h"
#include "classic_steps.h"
#include "scan_window.h"
#include "scanner_identity.h"
#include "shading_math.h"
#include "tone_tables.h"
#include "vexa_steps.h"

namespace {

using namespace drv;

ScanWindow windowFor(const DriverRecord& record, int type, std::uint32_t unit) {
    ScanWindow w{};
    EXPECT_TRUE(computeWindow(record.windows[type], unit, w));
    return w;
}

struct WindowCase {
    std::uint32_t unit;
    int type;
    std::uint16_t xStart, xEnd, yEnd, resolution;
};

void expectWindows(const DriverRecord& record, const std::vector<WindowCase>& cases) {
    for (const WindowCase& c : cases) {
        const ScanWindow w = windowFor(record, c.type, c.unit);
        EXPECT_EQ(w.xStart, c.xStart) << "R=" << c.unit << " type " << c.type;
        EXPECT_EQ(w.yStart, 0);
        EXPECT_EQ(w.xEnd, c.xEnd) << "R=" << c.unit << " type " << c.type;
        EXPECT_EQ(w.yEnd, c.yEnd) << "R=" << c.unit << " type " << c.type;
        EXPECT_EQ(w.resolution, c.resolution);
    }
}

TEST(ScanWindowTable, FlatbedWindowsForEachBaseResolution) {
    expectWindows(scanRecord(), {
                                     {600, 0, 518, 4581, 2970, 150},
                                     {600, 1, 569, 4230, 2332, 240},
                                     {800, 0, 691, 6108, 3962, 150},
                                     {800, 1, 759, 5640, 3112, 240},
                                     {1200, 0, 1036, 9162, 5947, 150},
                                     {1200, 1, 1138, 8460, 4671, 240},
                                 });
}

TEST(ScanWindowTable, A3WindowsForEachBaseResolution) {
    // 2.46 x 600 must come out as 1476, not 1475.
    expectWindows(prescanRecord(), {
                                        {600, 0, 1476, 5539, 2970, 150},
                                        {600, 1, 1677, 5338, 2332, 240},
                                        {800, 0, 1968, 7385, 3962, 150},
                                        {800, 1, 2236, 7117, 3112, 240},
                                        {1200, 0, 2952, 11078, 5947, 150},
                                        {1200, 1, 3355, 10677, 4671, 240},
                                    });
}

TEST(ScanWindowTable, VexaWindowsIn4800ths) {
    expectWindows(vexaRecord(), {
                                     {4800, 0, 4147, 36652, 23806, 150},
                                     {4800, 1, 4555, 33844, 18704, 240},
                                 });
    EXPECT_EQ(vexaRecord().fixedWindowUnit, 4800);
}

TEST(ScanWindowTable, WindowThatDoesNotFitSixteenBitsIsRefused) {
    ScanWindow w{};
    EXPECT_FALSE(computeWindow(WindowInches{0.864, 6.772, 4.961, 150}, 48000, w));
    EXPECT_FALSE(computeWindow(WindowInches{0.0, 1.0, 0.001, 150}, 600, w));  // y end below 0
}

TEST(ScannerIdentity, ModelDigits) {
    const char d6000[4] = {'6', '0', '0', '0'};
    const char d600[4] = {'6', '0', '0', '\0'};
    const char d6060[4] = {'6', '0', '6', '0'};
    const char d1200[4] = {'1', '2', '0', '0'};
    const char d8000[4] = {'8', '0', '0', '0'};
    const char blank[4] = {' ', '+', '8', '0'};
    const char stops[4] = {'8', 'x', '0', '0'};
    EXPECT_EQ(parseModelDigits(d600), 600);
    EXPECT_EQ(findModelNumber(parseModelDigits(d600)), nullptr) << "three digits are not the 600 model";
    ASSERT_NE(findModelNumber(parseModelDigits(d6000)), nullptr);
    EXPECT_EQ(findModelNumber(parseModelDigits(d6000))->baseResolution, 600);
    const ModelNumber* m606 = findModelNumber(parseModelDigits(d6060));
    ASSERT_NE(m606, nullptr);
    EXPECT_EQ(m606->code, 606);
    EXPECT_EQ(m606->baseResolution, 1200);
    EXPECT_EQ(m606->toneEntries, 256);
    EXPECT_EQ(findModelNumber(parseModelDigits(d1200))->toneEntries, 4096);
    EXPECT_EQ(findModelNumber(parseModelDigits(d8000))->baseResolution, 800);
    EXPECT_EQ(parseModelDigits(blank), 80);
    EXPECT_EQ(parseModelDigits(stops), 8);
    EXPECT_EQ(findModelNumber(1200)->code, 1200);
    EXPECT_EQ(findModelNumber(600), nullptr);
}

TEST(ScannerIdentity, ReferenceWordsReadAsTwoByteStrings) {
    const std::uint8_t normal[2] = {0xD0, 0x07};
    const std::uint8_t zeroFirst[2] = {0x00, 0x07};
    const std::uint8_t zeroSecond[2] = {0x21, 0x00};
    EXPECT_EQ(referenceWord(normal), 2000);
    EXPECT_EQ(referenceWord(zeroFirst), 0) << "a zero first byte ends the string";
    EXPECT_EQ(referenceWord(zeroSecond), 0x21);
}

TEST(ToneTables, ClassicSlots) {
    static ClassicGammaBlock block;
    fillClassicToneSlots(block, 4096);
    for (const ToneSlot& slot : block.slots) {
        EXPECT_EQ(slot.entries, 4096);
        for (int n = 0; n < 4096; ++n) ASSERT_EQ(slot.table[n], n / 16) << "entry " << n;
    }
    fillClassicToneSlots(block, 256);
    for (const ToneSlot& slot : block.slots) {
        EXPECT_EQ(slot.entries, 256);
        for (int i = 0; i < 256; ++i) ASSERT_EQ(slot.table[i], i);
        for (int i = 256; i < 4096; ++i) ASSERT_EQ(slot.table[i], 0) << "only 256 entries are used";
    }
    for (int i = 0; i < 256; ++i) ASSERT_EQ(toneCurve(i), i);
}

TEST(ToneTables, IdentityTableOf65536Entries) {
    std::vector<std::uint16_t> table(kIdentityToneEntries, 7);
    fillIdentityToneTable(table.data());
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[12345], 12345);
    EXPECT_EQ(table[65535], 65535);
}

TEST(ShadingMath, TransferTableFromReferenceWord) {
    std::vector<std::uint16_t> t(kShadingTableEntries, 0xFFFF);
    buildShadingTransferTable(2000, t.data());
    EXPECT_EQ(t[0], 2000);
    EXPECT_EQ(t[100], 2000);
    EXPECT_EQ(t[2047], 2000);
    EXPECT_EQ(t[2048], 2976);
    EXPECT_EQ(t[4095], 977);
    buildShadingTransferTable(0, t.data());
    EXPECT_EQ(t[2048], 0) << "a negative quotient becomes 0";
    EXPECT_EQ(t[4095], 0);
}

TEST(ShadingMath, TrimmedMeanDropsThreeAtEachEnd) {
    std::uint16_t column[8] = {4000, 70, 10, 60, 20, 50, 30, 40};
    EXPECT_EQ(trimmedMean(column, 8), 45) << "the outlier 4000 is dropped";
    std::vector<std::uint16_t> full(30, 4095);
    EXPECT_EQ(trimmedMean(full.data(), 30), 4095) << "24 values of 4095 summed without overflow";
    std::uint16_t seven[7] = {1, 2, 3, 100, 5, 6, 7};
    EXPECT_EQ(trimmedMean(seven, 7), 5);
}

TEST(ShadingMath, MiddleEightMean) {
    std::uint16_t column[16];
    for (int i = 0; i < 16; ++i) column[i] = static_cast<std::uint16_t>(55000 - 1000 * i);
    EXPECT_EQ(middleEightMean(column), 49500);
    std::uint16_t high[16];
    for (auto& v : high) v = 65535;
    EXPECT_EQ(middleEightMean(high), 65535) << "the sum of eight 65535 does not wrap";
}

TEST(ShadingMath, PlanarSplit) {
    const std::size_t pixels = 1000;  // L = 6006: N = 3000, Q = 1000
    std::vector<std::uint16_t> coefficients(3 * pixels);
    for (std::size_t p = 0; p < pixels; ++p) {
        coefficients[3 * p] = static_cast<std::uint16_t>(0x1100 + p % 256);
        coefficients[3 * p + 1] = static_cast<std::uint16_t>(0x2200 + p % 256);
        coefficients[3 * p + 2] = static_cast<std::uint16_t>(0x3300 + p % 256);
    }
    std::vector<std::uint8_t> high(3000), low(3000), greenHigh(1000), greenLow(1000);
    splitPlanar(coefficients.data(), pixels, high.data(), low.data(), greenHigh.data(), greenLow.data());
    for (std::size_t p = 0; p < pixels; ++p) {
        ASSERT_EQ(high[p], 0x11);
        ASSERT_EQ(high[1000 + p], 0x22);
        ASSERT_EQ(high[2000 + p], 0x33);
        ASSERT_EQ(low[p], p % 256);
        ASSERT_EQ(low[2000 + p], p % 256);
        ASSERT_EQ(greenHigh[p], 0x22);
        ASSERT_EQ(greenLow[p], p % 256);
    }
}

TEST(ShadingMath, TrimFactorsAndCorrectionTables) {
    EXPECT_DOUBLE_EQ(trimFactor(10, 0), 1.0390625);
    EXPECT_DOUBLE_EQ(trimFactor(10, 1), 0.9609375);
    EXPECT_DOUBLE_EQ(trimFactor(0, 0), 1.0);
    EXPECT_DOUBLE_EQ(trimFactor(0, 1), 1.0);
    std::vector<std::uint16_t> table(kCorrectionEntries);
    buildCorrectionTable(1.0, table.data());
    EXPECT_EQ(table[0], 65533);
    EXPECT_EQ(table[49152 - 32768], 21844);
    EXPECT_EQ(table[kCorrectionEntries - 1], 0);
    buildCorrectionTable(1.0390625, table.data());
    EXPECT_EQ(table[0], 65535) << "capped";
    buildCorrectionTable(0.9609375, table.data());
    EXPECT_EQ(table[0], 62973);
}

TEST(ShadingMath, VexaTrimPairsPerType) {
    std::uint8_t trims[20] = {};
    trims[0] = 10;              // table 1 of type 0: (10, 0)
    trims[2] = 10, trims[3] = 1;  // table 2 of type 0: (10, 1)
    trims[8] = 20;              // table 1 of type 1 (offset 78)
    trims[14] = 4, trims[15] = 1;  // table 1 of type 2 (offset 84)
    double f[4];
    vexaTrimFactors(trims, 0, f);
    EXPECT_DOUBLE_EQ(f[0], 1.0390625);
    EXPECT_DOUBLE_EQ(f[1], 0.9609375);
    EXPECT_DOUBLE_EQ(f[2], 1.0);
    vexaTrimFactors(trims, 1, f);
    EXPECT_DOUBLE_EQ(f[0], 1.078125);
    EXPECT_DOUBLE_EQ(f[3], 1.0);
    vexaTrimFactors(trims, 2, f);
    EXPECT_DOUBLE_EQ(f[0], 1.0 - 4.0 / 256.0);
    EXPECT_DOUBLE_EQ(f[3], 1.0);
}

TEST(ShadingMath, VexaCoefficientsThroughTables) {
    // One pixel, 16 lines: the red column runs 40000..55000, green is dark,
    // blue is the top of the range.
    const std::uint32_t lineBytes = 6;
    std::vector<std::uint8_t> lines(16 * lineBytes);
    for (int j = 0; j < 16; ++j) {
        const std::uint16_t samples[3] = {static_cast<std::uint16_t>(40000 + 1000 * j), 32767, 65535};
        std::memcpy(&lines[j * lineBytes], samples, sizeof(samples));
    }
    std::vector<std::uint16_t> t1(kCorrectionEntries), t2(kCorrectionEntries), t3(kCorrectionEntries);
    for (std::uint32_t k = 0; k < kCorrectionEntries; ++k) {
        t1[k] = static_cast<std::uint16_t>(k);
        t2[k] = 1;
        t3[k] = static_cast<std::uint16_t>(k + 3);
    }
    const std::uint16_t* tables[3] = {t1.data(), t2.data(), t3.data()};
    std::uint16_t coefficients[3] = {};
    vexaCoefficients(lines.data(), lineBytes, tables, coefficients);
    EXPECT_EQ(coefficients[0], 16732) << "mean 49500 uses entry 16732";
    EXPECT_EQ(coefficients[1], 65535) << "a mean below 32768 gives 65535";
    EXPECT_EQ(coefficients[2], 32767 + 3);
    EXPECT_TRUE(vexaShadingGeometryUsable(6000, 16));
    EXPECT_FALSE(vexaShadingGeometryUsable(6000, 15));
    EXPECT_FALSE(vexaShadingGeometryUsable(6000, 17));
    EXPECT_FALSE(vexaShadingGeometryUsable(4, 16));
    EXPECT_FALSE(vexaShadingGeometryUsable(0x10000000u, 16)) << "L x M past the 32-bit count";
}

TEST(BufferGrain, StepsAndCaps) {
    EXPECT_EQ(grainSize(Grain::Steps64K, BlockUse::ShadingLines, 30000), 65536u);
    EXPECT_EQ(grainSize(Grain::Steps64K, BlockUse::ShadingLines, 65536), 65536u);
    EXPECT_EQ(grainSize(Grain::Steps64K, BlockUse::ShadingLines, 65537), 131072u);
    EXPECT_EQ(grainSize(Grain::Steps64K, BlockUse::ShadingLines, 131072), 196608u);
    EXPECT_EQ(grainSize(Grain::Steps60K, BlockUse::ShadingLines, 96000), 122880u);
    EXPECT_EQ(grainSize(Grain::Steps60K, BlockUse::ShadingLines, 61440), 122880u);
    EXPECT_EQ(grainSize(Grain::Steps60K, BlockUse::ShadingOutput, 3000), 61440u);
    EXPECT_EQ(grainSize(Grain::A3Standard, BlockUse::ShadingLines, 5000000), 4194304u);
    EXPECT_EQ(grainSize(Grain::A3Standard, BlockUse::ShadingLines, 30000), 65536u);
    EXPECT_EQ(grainSize(Grain::A3Standard, BlockUse::ShadingOutput, 3000), 3000u);
    EXPECT_EQ(grainSize(Grain::A3Standard, BlockUse::ShadingOutput, 5000000), 4194304u);
    EXPECT_EQ(grainSize(Grain::A3Other, BlockUse::ShadingLines, 5000000), 4325376u);
    EXPECT_EQ(grainSize(Grain::A3Other, BlockUse::ShadingLines, 30000), 131072u);
    EXPECT_EQ(grainSize(Grain::A3Other, BlockUse::ShadingOutput, 131073), 262144u);
    EXPECT_EQ(grainSize(Grain::A3Other, BlockUse::ShadingOutput, 3000), 131072u);
}

TEST(BufferGrain, FailedAllocationLowersTheSizeByOneStep) {
    pf::LockedGlobal block;
    std::uint64_t size = 196608;
    pfdFailAllocationAfter(1);
    ASSERT_TRUE(acquireSized(block, Grain::Steps64K, size, 100));
    EXPECT_EQ(size, 131072u);
    EXPECT_GE(pfGlobalSize(block.handle()), 131072u);
    block.release();

    size = 65536;
    pfdFailAllocationAfter(1);
    EXPECT_FALSE(acquireSized(block, Grain::Steps64K, size, 100)) << "no step below 64 KiB";

    size = 6000;  // standard A3 library: lowered by the unit
    pfdFailAllocationAfter(1);
    ASSERT_TRUE(acquireSized(block, Grain::A3Standard, size, 3000));
    EXPECT_EQ(size, 3000u);
    block.release();

    size = 131072 * 3;
    pfdFailAllocationAfter(1);
    ASSERT_TRUE(acquireSized(block, Grain::A3Other, size, 3000));
    EXPECT_EQ(size, 262144u);
    block.release();

    // Never lowered below what the block must hold.
    size = 196608;
    pfdFailAllocationAfter(1);
    EXPECT_FALSE(acquireSized(block, Grain::Steps64K, size, 100, 140000));
    size = 196608;
    pfdFailAllocationAfter(1);
    EXPECT_TRUE(acquireSized(block, Grain::Steps64K, size, 100, 131072));
    EXPECT_FALSE(acquireSized(block, Grain::A3Standard, size = 4194304, 100, 5000000)) << "the 4 MiB cap cannot hold it";
}

TEST(BufferGrain, SharedBlocksHaveThirtyTwoBitAddresses) {
    pf::LockedGlobal block;
    ASSERT_TRUE(acquireShared(block, 65536));
    std::uint32_t address = 0;
    EXPECT_TRUE(toAddress32(block.data(), address));
    EXPECT_EQ(fromAddress32(address), block.data());
    int onStack = 0;
    if (reinterpret_cast<std::uintptr_t>(&onStack) > 0xFFFFFFFFu) {
        EXPECT_FALSE(toAddress32(&onStack, address)) << "an address above 4 GiB is refused, not truncated";
    }
}

TEST(ImageGeometry, StrideAndWrittenWidth) {
    ImageGeometry g;
    ASSERT_TRUE(imageGeometry(3000, 5, g));
    EXPECT_EQ(g.pixels, 1000u);
    EXPECT_EQ(g.stride, 3000u);
    EXPECT_EQ(g.writtenWidth, 1000u);
    ASSERT_TRUE(imageGeometry(3001, 5, g));  // the last byte of each line is ignored
    EXPECT_EQ(g.pixels, 1000u);
    ASSERT_TRUE(imageGeometry(3003, 5, g));
    EXPECT_EQ(g.pixels, 1001u);
    EXPECT_EQ(g.stride, 3004u);
    EXPECT_EQ(g.writtenWidth, 1000u);
    ASSERT_TRUE(imageGeometry(3009, 5, g));
    EXPECT_EQ(g.pixels, 1003u);
    EXPECT_EQ(g.stride, 3012u);
    EXPECT_EQ(g.writtenWidth, 1004u);
    ASSERT_TRUE(imageGeometry(65535, 1, g));  // 3P + 3 past 16 bits: no wrap to a zero stride
    EXPECT_EQ(g.pixels, 21845u);
    EXPECT_EQ(g.stride, 65536u);
    EXPECT_FALSE(imageGeometry(2, 10, g)) << "less than one pixel per line";
    EXPECT_FALSE(imageGeometry(0, 10, g));
}

TEST(A3Library, StandardNameWithoutRegardToCase) {
    EXPECT_TRUE(isStandardLibrary("KASPI_SP.DLL"));
    EXPECT_TRUE(isStandardLibrary("kaspi_sp.dll"));
    EXPECT_TRUE(isStandardLibrary("Kaspi_Sp.Dll"));
    EXPECT_FALSE(isStandardLibrary("KASPI_SP2.DLL"));
    EXPECT_FALSE(isStandardLibrary("KASPI_SP.DL"));
    EXPECT_FALSE(isStandardLibrary(""));
}

}  // namespace
