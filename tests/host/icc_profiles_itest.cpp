// ICC profiles against the engine itself: the device link through LittleCMS
// against CorrectImage of the loaded engine, and aucal icc on a whole
// calibration of the simulated devices.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "aucal_run.h"
#include "commands.h"
#include "icc_check.h"
#include "support/temp_dir.h"
#include "qel_layout.h"

namespace {

using namespace aucal;

using testsupport::CliRun;
using testsupport::runAucal;

// Nodes linear in the grid coordinates: trilinear and tetrahedral
// interpolation then agree, and what is left is rounding against truncation.
std::vector<std::uint8_t> linearBlock() {
    std::vector<std::uint8_t> b(QEL_LUT_BLOCK_SIZE, 0);
    for (int c = 0; c < 3; ++c)
        for (int n = 0; n < 256; ++n) b[256 * c + n] = static_cast<std::uint8_t>(c == 2 ? 255 - n : n);
    for (int i0 = 0; i0 < 17; ++i0)
        for (int i1 = 0; i1 < 17; ++i1)
            for (int i2 = 0; i2 < 17; ++i2) {
                std::uint8_t* p = &b[qel::lutNodeOffset(i0, i1, i2)];
                p[0] = static_cast<std::uint8_t>(8 * i0 + 4 * i1 + 2 * i2);
                p[1] = static_cast<std::uint8_t>(255 - 15 * i1);
                p[2] = static_cast<std::uint8_t>(5 * i0 + 9 * i2);
            }
    return b;
}

TEST(IccDeviceLinkEngine, LinearGridMatchesCorrectImageUpToRounding) {
    EngineLibrary engine;
    std::string error;
    ASSERT_TRUE(loadEngine(&engine, &error)) << error;
    const std::vector<std::uint8_t> block = linearBlock();
    icc::Bytes profile;
    ASSERT_TRUE(icc::deviceLinkProfile(block, &profile, &error)) << error;
    icc::LinkCheck check;
    ASSERT_TRUE(icc::checkDeviceLink(profile, block, engine.exports(), 20000, 7u, &check, &error)) << error;
    EXPECT_EQ(check.againstEngine.values, 60000);
    // CorrectImage truncates, LittleCMS rounds: never more than one level apart.
    EXPECT_LE(check.againstEngine.maxAbs, 1);
    EXPECT_GT(check.againstEngine.meanAbs, 0.0);
    EXPECT_LE(check.againstTetrahedral.maxAbs, icc::kLinkToleranceLevels);
}

TEST(IccCli, ProfilesOfAWholeCalibrationPassTheirChecks) {
    testsupport::TempDir dir;
    auto at = [&](const char* name) { return dir.file(name); };
    ASSERT_EQ(runAucal("-q scan --output " + at("it8.tga") + " --reference-out " + at("ref.txt")).status, 0);
    ASSERT_EQ(runAucal("-q scanner --image " + at("it8.tga") + " --reference " + at("ref.txt") + " --output " +
                       at("s.mdl"))
                  .status,
              0);
    CliRun scanner = runAucal("icc --model " + at("s.mdl") + " --image " + at("it8.tga") + " --reference " +
                              at("ref.txt") + " --output " + at("s.icc") + " --shaper-matrix " + at("m.icc") +
                              " --table " + at("t.icc") + " --check");
    ASSERT_EQ(scanner.status, 0) << scanner.output;
    EXPECT_EQ(scanner.output.find("failed"), std::string::npos) << scanner.output;
    EXPECT_NE(scanner.output.find("130 patches through LittleCMS against the model grid"), std::string::npos);
    EXPECT_NE(scanner.output.find("130 patches through LittleCMS against the fitted shaper-matrix and correction at the table's nodes"), std::string::npos);
    // One of the two fitted profiles is recommended, by its held-out figures.
    const std::size_t recommended = scanner.output.find(": recommended for scans:");
    ASSERT_NE(recommended, std::string::npos) << scanner.output;
    EXPECT_NE(scanner.output.find("held out mean / 95th percentile", recommended), std::string::npos);
    // This scan's table keeps no correction, so it is the shaper-matrix: the
    // simpler profile is the one recommended.
    EXPECT_NE(scanner.output.find("(no correction:"), std::string::npos) << scanner.output;
    EXPECT_NE(scanner.output.find(at("m.icc") + ": recommended for scans:"), std::string::npos) << scanner.output;

    ASSERT_EQ(runAucal("-q monitor --model " + at("s.mdl") + " --levels 186 150 200 --output " + at("mon.blk")).status, 0);
    CliRun monitor = runAucal("icc --block " + at("mon.blk") + " --output " + at("mon.icc") + " --check");
    ASSERT_EQ(monitor.status, 0) << monitor.output;
    EXPECT_NE(monitor.output.find("half luminance at 150"), std::string::npos) << monitor.output;
    ASSERT_EQ(runAucal("-q monitor --model " + at("s.mdl") + " --levels 186 186 186 --phosphors 0.64 0.33 0.30 0.60 "
                       "0.15 0.06 --output " + at("mon2.blk")).status, 0);
    CliRun recovered = runAucal("icc --block " + at("mon2.blk") + " --model " + at("s.mdl") + " --output " +
                                at("mon2.icc") + " --check");
    ASSERT_EQ(recovered.status, 0) << recovered.output;
    EXPECT_NE(recovered.output.find("red 0.6400 0.3300, green 0.3000 0.6000, blue 0.1500 0.0600"), std::string::npos)
        << recovered.output;
    // The same block said to be for the default phosphors is refused.
    EXPECT_NE(runAucal("icc --block " + at("mon2.blk") + " --model " + at("s.mdl") + " --phosphors 0.635 0.333 0.28 "
                       "0.595 0.152 0.063 --output " + at("mon3.icc")).status, 0);

    ASSERT_EQ(runAucal("-q print --printer inkjet --table " + at("p.tbl")).status, 0);
    ASSERT_EQ(runAucal("-q printer --table " + at("p.tbl") + " --model " + at("s.mdl") + " --output " + at("p.blk")).status, 0);
    CliRun link = runAucal("icc --block " + at("p.blk") + " --output " + at("link.icc") + " --check");
    ASSERT_EQ(link.status, 0) << link.output;
    EXPECT_NE(link.output.find("against CorrectImage"), std::string::npos) << link.output;
    for (const char* f : {"s.icc", "m.icc", "t.icc", "mon.icc", "link.icc"}) EXPECT_TRUE(std::filesystem::exists(at(f))) << f;
}

TEST(IccCli, DemoWritesItsProfilesAndReportsThem) {
    testsupport::TempDir dir;
    const CliRun demo = runAucal("-q demo --out " + dir.file("demo"));
    ASSERT_EQ(demo.status, 0) << demo.output;
    const std::pair<const char*, icc::ProfileKind> profiles[] = {{"scanner.icc", icc::ProfileKind::ScannerLut},
                                                                 {"scanner-matrix.icc", icc::ProfileKind::ScannerMatrix},
                                                                 {"scanner-table.icc", icc::ProfileKind::ScannerLut},
                                                                 {"printer-link.icc", icc::ProfileKind::DeviceLink},
                                                                 {"monitor.icc", icc::ProfileKind::Monitor}};
    const std::vector<std::uint8_t> html = testsupport::readFile(dir.file("demo/report.html"));
    const std::string page(html.begin(), html.end());
    const std::size_t section = page.find("<section id=\"profiles\">");
    ASSERT_NE(section, std::string::npos);
    const std::string profilesSection = page.substr(section, page.find("</section>", section) - section);
    for (const auto& [name, kind] : profiles) {
        EXPECT_EQ(icc::checkStructure(testsupport::readFile(dir.file("demo/") + name), kind), "") << name;
        EXPECT_NE(profilesSection.find(std::string("href=\"") + name + "\""), std::string::npos) << name;
    }
    EXPECT_EQ(profilesSection.find("outside the stated tolerance"), std::string::npos);
    EXPECT_NE(profilesSection.find("against CorrectImage"), std::string::npos);
    EXPECT_NE(profilesSection.find("recommended for scans"), std::string::npos);
}

TEST(IccCli, RefusesWhatItCannotProfile) {
    testsupport::TempDir dir;
    // Nothing to profile, a file that is no saved block, and options that do not go together.
    CliRun none = runAucal("icc --output " + dir.file("x.icc"));
    EXPECT_NE(none.status, 0);
    EXPECT_NE(none.output.find("--model or --block"), std::string::npos) << none.output;
    testsupport::writeText(dir.file("junk.blk"), "not a block");
    CliRun junk = runAucal("icc --block " + dir.file("junk.blk") + " --output " + dir.file("x.icc"));
    EXPECT_NE(junk.status, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.icc")));
    CliRun mixed = runAucal("icc --block " + dir.file("junk.blk") + " --shaper-matrix " + dir.file("m.icc") +
                            " --output " + dir.file("x.icc"));
    EXPECT_NE(mixed.status, 0);
    EXPECT_NE(mixed.output.find("belong to a scanner model"), std::string::npos) << mixed.output;
}

}  // namespace
