// aucal as a person runs it: exit status, messages and no output left
// behind by a failed step.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "aucal_run.h"
#include "image_corpus.h"
#include "imaging/image_file.h"
#include "qel_cms.h"
#include "saved_file.h"
#include "support/temp_dir.h"

namespace {

using testsupport::CliRun;

CliRun aucal(const std::string& args) { return testsupport::runAucal(args); }

TEST(AucalCli, DemoWritesItsFilesAndTheyCorrectAgain) {
    testsupport::TempDir dir;
    CliRun demo = aucal("-q demo --out " + dir.file("demo"));
    ASSERT_EQ(demo.status, 0) << demo.output;
    for (const char* f : {"it8-scan.tga", "it8-reference.txt", "scanner.mdl", "monitor.blk", "monitor-match.html",
                          "printer-chart.tga", "printed-chart-scan.tga", "printer.blk", "printer-from-table.blk",
                          "sample.png", "sample-monitor.png", "sample-printer.png", "report.html", "scanner.icc",
                          "scanner-matrix.icc", "printer-link.icc", "monitor.icc"})
        EXPECT_TRUE(std::filesystem::exists(dir.file("demo/") + f)) << f;
    // Correcting the sample again with the saved blocks reproduces the demo's pixels.
    for (const char* kind : {"printer", "monitor"}) {
        CliRun again = aucal("correct --block " + dir.file("demo/") + kind + ".blk -o " + dir.file("again.png") + " " +
                             dir.file("demo/sample.png"));
        ASSERT_EQ(again.status, 0) << again.output;
        imaging::Image again8, demo8;
        std::string error;
        ASSERT_TRUE(imaging::readImageFile(dir.file("again.png"), &again8, &error)) << error;
        ASSERT_TRUE(imaging::readImageFile(dir.file("demo/sample-") + kind + ".png", &demo8, &error)) << error;
        EXPECT_EQ(again8.pixels, demo8.pixels) << kind;
        EXPECT_EQ(again8.channels, 3);
    }
    // Several files at once (spread over the cores: on Linux a process
    // each), an unreadable one among them: the others come out as when
    // corrected alone (the TIFF written past the file cache), their lines in
    // the order of the inputs, and the failure is named and in the exit
    // status.
    std::filesystem::create_directories(dir.file("batch"));
    std::string inputs;
    for (const std::string name : {"a.png", "nope.png", "b.png", "c.png"}) {
        if (name != "nope.png") std::filesystem::copy_file(dir.file("demo/sample.png"), dir.file(name));
        inputs.append(" ").append(dir.file(name));
    }
    {
        imaging::Image sample;
        std::string error;
        imaging::WriteOptions uncompressed;
        uncompressed.tiffCompression = imaging::Compression::None;
        ASSERT_TRUE(imaging::readImageFile(dir.file("demo/sample.png"), &sample, &error) &&
                    imaging::writeImageFile(dir.file("d.tif"), imaging::Format::Tiff, sample, uncompressed, &error))
            << error;
        inputs.append(" ").append(dir.file("d.tif"));
    }
    CliRun batch = aucal("correct -j 2 --block " + dir.file("demo/printer.blk") + " --output-dir " + dir.file("batch") + inputs);
    EXPECT_NE(batch.status, 0);
    EXPECT_NE(batch.output.find("nope.png"), std::string::npos) << batch.output;
    auto pixelsOf = [](const std::string& path) {
        imaging::Image im;
        std::string error;
        EXPECT_TRUE(imaging::readImageFile(path, &im, &error)) << error;
        return im.pixels;
    };
    for (const char* name : {"a.png", "b.png", "c.png", "d.tif"})
        EXPECT_EQ(pixelsOf(dir.file("batch/") + name), pixelsOf(dir.file("demo/sample-printer.png"))) << name;
    EXPECT_LT(batch.output.find("a.png ->"), batch.output.find("b.png ->")) << batch.output;
    EXPECT_LT(batch.output.find("b.png ->"), batch.output.find("c.png ->")) << batch.output;
    EXPECT_LT(batch.output.find("c.png ->"), batch.output.find("d.tif ->")) << batch.output;

    // aucal info on each kind of file it knows, found from the content.
    std::string error;
    ASSERT_TRUE(corpus::writeAll(dir.file("corpus"), &error)) << error;
    const auto referenceBytes = testsupport::readFile(dir.file("demo/it8-reference.txt"));
    std::string reference(referenceBytes.begin(), referenceBytes.end());
    const std::size_t b5 = reference.find("\nB5\t");
    reference.erase(b5, reference.find('\n', b5 + 1) - b5);
    testsupport::writeText(dir.file("no-b5.txt"), reference);
    testsupport::writeText(dir.file("notes.txt"), "shopping list\n");
    const std::string models = "all " + std::to_string(QEL_MODEL_FLOATS) + " values finite";
    const struct {
        std::string file;  // under the temporary folder
        int status;
        std::string says;
    } infoRows[] = {
        {"demo/scanner.mdl", 0, models},
        {"demo/monitor.blk", 0, "matrix block"},
        {"demo/printer.blk", 0, "middle grey -> "},
        {"demo/printer.tbl", 0, "printer table, 15509 bytes"},
        {"demo/scanner.icc", 0, "class: input device"},
        {"demo/printer-link.icc", 0, "colour spaces: device 'RGB ', connection 'RGB '"},
        {"demo/it8-reference.txt", 0, "of the 130 patches the model uses, 130 found"},
        {"no-b5.txt", 0, "missing: B5\n"},
        {"demo/patches.ti3", 0, "patch export (CGATS"},
        {"demo/report.html", 0, "HTML page \"aucal calibration report\""},
        {"demo/it8-scan.tga", 0, "Targa image, 1016 x 742 pixels, stored as 8-bit RGB, 1 page"},
        {"corpus/png-rgba16.png", 0, "bit depth 16, 4 channels, alpha yes"},
        {"corpus/tif-two-pages.tif", 0, "  page 2: 24 x 16 pixels, stored as 16-bit RGB"},
        {"corpus/tif-orientation6.tif", 0, "orientation 6: first row at the right"},
        {"corpus/jpg-metadata.jpg", 0, "resolution 300 x 300 dpi"},
        {"corpus/tif-metadata.tif", 0, "embedded profile: \"sRGB built-in\""},
        {"corpus/tif-cmyk.tif", 1, "CMYK"},
        {"notes.txt", 1, "is not a file aucal knows"},
    };
    for (const auto& row : infoRows) {
        SCOPED_TRACE(row.file);
        CliRun info = aucal("info " + dir.file(row.file));
        EXPECT_EQ(info.status, row.status) << info.output;
        EXPECT_NE(info.output.find(row.says), std::string::npos) << info.output;
    }
}

TEST(AucalCli, BadInputGivesAMessageANonZeroExitAndNoOutput) {
    testsupport::TempDir dir;
    ASSERT_EQ(aucal("-q demo --out " + dir.file("demo")).status, 0);
    const std::string image = dir.file("demo/it8-scan.tga");
    const std::string out = dir.file("out.tga");

    CliRun missing = aucal("correct --block " + dir.file("nope.blk") + " -o " + out + " " + image);
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.output.find("cannot open"), std::string::npos) << missing.output;

    auto bytes = testsupport::readFile(dir.file("demo/printer.blk"));
    bytes.resize(bytes.size() / 2);
    testsupport::writeFile(dir.file("half.blk"), bytes);
    CliRun truncated = aucal("correct --block " + dir.file("half.blk") + " -o " + out + " " + image);
    EXPECT_NE(truncated.status, 0);
    EXPECT_NE(truncated.output.find("truncated"), std::string::npos) << truncated.output;

    std::string error;
    ASSERT_TRUE(aucal::saveFile(dir.file("model.mdl"), aucal::SavedKind::ScannerModel,
                                std::vector<std::uint8_t>(QEL_MODEL_SIZE, 0), &error));
    CliRun wrongKind = aucal("correct --block " + dir.file("model.mdl") + " -o " + out + " " + image);
    EXPECT_NE(wrongKind.status, 0);
    EXPECT_NE(wrongKind.output.find("scanner model"), std::string::npos) << wrongKind.output;

    CliRun badImage = aucal("correct --block " + dir.file("demo/printer.blk") + " -o " + out + " " +
                         dir.file("demo/monitor.blk"));
    EXPECT_NE(badImage.status, 0);
    EXPECT_FALSE(std::filesystem::exists(out));

    const std::string model = dir.file("m.mdl");
    CliRun notATarget = aucal("scanner --image " + dir.file("demo/printer-chart.tga") + " --output " + model);
    EXPECT_NE(notATarget.status, 0);
    EXPECT_NE(notATarget.output.find("no IT8.7/2 target found"), std::string::npos) << notATarget.output;
    testsupport::writeText(dir.file("bad-ref.txt"), "IT8.7/2\nno data here\n");
    CliRun badReference = aucal("scanner --image " + image + " --reference " + dir.file("bad-ref.txt") + " --output " + model);
    EXPECT_NE(badReference.status, 0);
    EXPECT_NE(badReference.output.find("reference data file"), std::string::npos) << badReference.output;
    CliRun noReference = aucal("scanner --image " + image + " --reference " + dir.file("none.txt") + " --output " + model);
    EXPECT_NE(noReference.status, 0);
    EXPECT_FALSE(std::filesystem::exists(model));

    CliRun notAChart = aucal("printer --scan " + image + " --model " + dir.file("demo/scanner.mdl") + " --output " + out);
    EXPECT_NE(notAChart.status, 0);
    EXPECT_NE(notAChart.output.find("no printer chart found"), std::string::npos) << notAChart.output;
    EXPECT_FALSE(std::filesystem::exists(out));

    CliRun noArgs = aucal("correct");
    EXPECT_NE(noArgs.status, 0);
}

}  // namespace
