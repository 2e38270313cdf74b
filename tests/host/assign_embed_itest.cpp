// aucal assign and aucal correct --embed as a person runs them: copies with
// the profile in them, and refusals that leave no file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "aucal_run.h"
#include "icc_embed.h"
#include "support/temp_dir.h"

namespace {

TEST(AssignEmbedCli, CopiesCarryTheProfileAndRefusalsLeaveNoFile) {
    testsupport::TempDir dir;
    auto at = [&](const std::string& name) { return dir.file("demo/" + name); };
    ASSERT_EQ(testsupport::runAucal("-q demo --out " + dir.file("demo")).status, 0);
    const struct Row {
        std::string args;
        std::string output;  // the file it must write, or must not write when refused
        std::string embedded;  // empty: refused
    } rows[] = {
        {"assign --profile " + at("scanner.icc") + " " + at("sample.png"), at("sample-profiled.png"), at("scanner.icc")},
        {"correct --block " + at("monitor.blk") + " --format tif --embed " + at("monitor.icc") + " -o " + at("m.tif") +
             " " + at("sample.png"),
         at("m.tif"), at("monitor.icc")},
        {"assign --profile " + at("scanner.icc") + " --output-dir " + dir.file("out") + " " + at("m.tif"),
         dir.file("out/m.tif"), at("scanner.icc")},
        {"assign --profile " + at("scanner.icc") + " -o " + at("x.tga") + " " + at("it8-scan.tga"), at("x.tga"), ""},
        {"assign --profile " + at("printer-link.icc") + " -o " + at("y.png") + " " + at("sample.png"), at("y.png"), ""},
        {"correct --block " + at("monitor.blk") + " --embed " + at("monitor.icc") + " -o " + at("z.tga") + " " +
             at("it8-scan.tga"),
         at("z.tga"), ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        const testsupport::CliRun run = testsupport::runAucal(row.args);
        if (row.embedded.empty()) {
            EXPECT_NE(run.status, 0);
            EXPECT_FALSE(run.output.empty());
            EXPECT_FALSE(std::filesystem::exists(row.output));
            continue;
        }
        ASSERT_EQ(run.status, 0) << run.output;
        const std::vector<std::uint8_t> written = testsupport::readFile(row.output);
        const std::vector<std::uint8_t> profile = testsupport::readFile(row.embedded);
        if (aucal::containerOf(written) == aucal::ImageContainer::Tiff) {
            // A TIFF tag holds the profile as it is.
            EXPECT_NE(std::search(written.begin(), written.end(), profile.begin(), profile.end()), written.end());
            continue;
        }
        // Embedding the same profile again changes nothing: it is already there, whole.
        std::vector<std::uint8_t> again;
        std::string error;
        ASSERT_TRUE(aucal::embedProfile(written, profile, &again, &error)) << error;
        EXPECT_TRUE(again == written);
    }
}

}  // namespace
