// The corpus of broken input files (tests/data/bad_input) through aucal as a
// person runs it: a file the engine refuses gives a message, a non-zero exit
// and no output file; an acceptable one writes its output. A scanner that
// answers with an error status does the same for a scan.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "aucal_run.h"
#include "imaging/targa.h"
#include "it8_target/virtual_it8.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const fs::path kCorpus = fs::path(__FILE__).parent_path().parent_path() / "data" / "bad_input";

using testsupport::CliRun;

CliRun aucal(const std::string& args) { return testsupport::runAucal(args); }

TEST(AucalBadInput, EveryCorpusFileIsRefusedWithAMessageOrAccepted) {
    testsupport::TempDir dir;
    const it8sim::It8ReferenceSet refs = it8sim::makeIt8Reference();
    it8sim::TargetOptions options;
    options.dpi = 100;
    const std::string scan = dir.file("scan.tga");
    ASSERT_TRUE(imaging::writeTarga(
        scan, it8sim::renderIt8TargetRgb(refs, it8sim::responsePreset(it8sim::ResponsePreset::Mild), options)));
    const std::string model = dir.file("model.mdl");
    const CliRun fitted = aucal("-q scanner --image " + scan + " -o " + model);
    ASSERT_EQ(fitted.status, 0) << fitted.output;

    std::ifstream in(kCorpus / "expected.txt");
    std::string line;
    int cases = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string file, reader;
        int status = -1;
        if (!(words >> file >> reader >> status)) continue;
        std::string host;
        if (words >> host) status = host == "accepted" ? 0 : 1;
        ++cases;
        SCOPED_TRACE(file + " as " + reader);
        const std::string path = (kCorpus / file).string();
        const std::string out = dir.file("out-" + std::to_string(cases) + ".bin");
        std::string args;
        if (reader == "reference") args = "scanner --image " + scan + " --reference " + path + " -o " + out;
        if (reader == "image") args = "scanner --image " + path + " -o " + out;
        if (reader == "chart") args = "printer --scan " + path + " --model " + model + " -o " + out;
        ASSERT_FALSE(args.empty()) << "unknown reader " << reader;
        const CliRun run = aucal("-q " + args);
        if (status == 0) {
            EXPECT_EQ(run.status, 0) << run.output;
            EXPECT_TRUE(fs::exists(out));
        } else {
            EXPECT_NE(run.status, 0) << run.output;
            EXPECT_FALSE(run.output.empty()) << "refused without a message";
            EXPECT_FALSE(fs::exists(out)) << "output written for a refused input";
        }
    }
    EXPECT_GE(cases, 30);
}

TEST(AucalBadInput, ScannerErrorGivesTheDriversMessageAndNoImage) {
    testsupport::TempDir dir;
    const std::string scenario = dir.file("scenario.txt");
    testsupport::writeText(scenario, "error = 1 1 0x8217\nlog = none\n");
    ::setenv("AUCAL_SIM_SCENARIO", scenario.c_str(), 1);
    for (const char* driver : {"scan", "vexa", "prescan"}) {
        SCOPED_TRACE(driver);
        const std::string out = dir.file(std::string(driver) + ".tga");
        const CliRun run = aucal("scan --driver " + std::string(driver) + " -o " + out);
        EXPECT_NE(run.status, 0) << run.output;
        EXPECT_NE(run.output.find("Paper Jammed in Automatic Document Feeder"), std::string::npos) << run.output;
        EXPECT_FALSE(fs::exists(out));
    }
    ::unsetenv("AUCAL_SIM_SCENARIO");
}

}  // namespace
