// aucal as a person runs it: exit status, messages and no output left
// behind by a failed step.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "saved_file.h"
#include "support/temp_dir.h"

namespace {

struct CliRun {
    int status;
    std::string output;
};

CliRun aucal(const std::string& args) {
    const std::string command = std::string(AUCAL_BINARY) + " " + args + " 2>&1";
    CliRun r{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return r;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) r.output += buffer;
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

TEST(AucalCli, DemoWritesItsFilesAndTheyCorrectAgain) {
    testsupport::TempDir dir;
    CliRun demo = aucal("-q demo --out " + dir.file("demo"));
    ASSERT_EQ(demo.status, 0) << demo.output;
    for (const char* f : {"sample.tga", "sample-lookup.tga", "sample-matrix.tga", "demo-lookup.blk", "demo-matrix.blk"})
        EXPECT_TRUE(std::filesystem::exists(dir.file("demo/") + f)) << f;
    // Correcting the sample again with the saved block reproduces the demo's image.
    CliRun again = aucal("correct --block " + dir.file("demo/demo-lookup.blk") + " -o " + dir.file("again.tga") + " " +
                      dir.file("demo/sample.tga"));
    ASSERT_EQ(again.status, 0) << again.output;
    EXPECT_EQ(testsupport::readFile(dir.file("again.tga")), testsupport::readFile(dir.file("demo/sample-lookup.tga")));
    CliRun info = aucal("info " + dir.file("demo/demo-matrix.blk"));
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.output.find("matrix block"), std::string::npos) << info.output;
}

TEST(AucalCli, BadInputGivesAMessageANonZeroExitAndNoOutput) {
    testsupport::TempDir dir;
    ASSERT_EQ(aucal("-q demo --out " + dir.file("demo")).status, 0);
    const std::string image = dir.file("demo/sample.tga");
    const std::string out = dir.file("out.tga");

    CliRun missing = aucal("correct --block " + dir.file("nope.blk") + " -o " + out + " " + image);
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.output.find("cannot open"), std::string::npos) << missing.output;

    auto bytes = testsupport::readFile(dir.file("demo/demo-lookup.blk"));
    bytes.resize(bytes.size() / 2);
    testsupport::writeFile(dir.file("half.blk"), bytes);
    CliRun truncated = aucal("correct --block " + dir.file("half.blk") + " -o " + out + " " + image);
    EXPECT_NE(truncated.status, 0);
    EXPECT_NE(truncated.output.find("truncated"), std::string::npos) << truncated.output;

    std::string error;
    ASSERT_TRUE(aucal::saveFile(dir.file("model.mdl"), aucal::SavedKind::ScannerModel,
                                std::vector<std::uint8_t>(62186, 0), &error));
    CliRun wrongKind = aucal("correct --block " + dir.file("model.mdl") + " -o " + out + " " + image);
    EXPECT_NE(wrongKind.status, 0);
    EXPECT_NE(wrongKind.output.find("scanner model"), std::string::npos) << wrongKind.output;

    CliRun badImage = aucal("correct --block " + dir.file("demo/demo-lookup.blk") + " -o " + out + " " +
                         dir.file("demo/demo-matrix.blk"));
    EXPECT_NE(badImage.status, 0);
    EXPECT_FALSE(std::filesystem::exists(out));

    CliRun noArgs = aucal("correct");
    EXPECT_NE(noArgs.status, 0);
}

}  // namespace
