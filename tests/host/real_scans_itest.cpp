// aucal scanner and aucal printer on scans and reference files as people have
// them: every turn and file type of one scan gives the model (or block) of
// the scan the driver wrote, byte for byte; so does every lossless variant of
// the reference data file; what cannot be read is refused with its reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "aucal_run.h"
#include "image_io.h"
#include "imaging/image_file.h"
#include "imaging/targa.h"
#include "it8_target/virtual_it8.h"
#include "saved_file.h"
#include "scan_orientation.h"
#include "support/temp_dir.h"

namespace {

using aucal::QuarterTurns;
using testsupport::CliRun;
using testsupport::runAucal;

// A top-first Targa (descriptor bit 5), as most programs write one.
void writeTopFirstTarga(const std::string& path, const aucal::RgbImage& image) {
    std::vector<std::uint8_t> bytes(18, 0);
    bytes[2] = 2;
    bytes[12] = image.width & 0xFF, bytes[13] = image.width >> 8;
    bytes[14] = image.height & 0xFF, bytes[15] = image.height >> 8;
    bytes[16] = 24, bytes[17] = 0x20;
    for (std::size_t i = 0; i < image.pixels.size(); i += 3)
        bytes.insert(bytes.end(), {image.pixels[i + 2], image.pixels[i + 1], image.pixels[i]});
    testsupport::writeFile(path, bytes);
}

struct Variant {
    QuarterTurns turns;  // applied to the upright scan
    const char* file;    // its name: the extension says the type
    bool topFirst;       // Targa with the origin at the top
    int bits = 8;        // 16: each level v stored as v x 257 within +-64, which rounds back to v
    const char* says = "";  // what the host says the file held; JPEG rows (quality 95) need not give the same bytes
};

// The picture at 16 bits per sample, every sample rounding back to its level.
imaging::Image sixteenBits(const aucal::RgbImage& picture) {
    imaging::Image wide = imaging::Image::make(picture.width, picture.height, 3, 16);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const int v = static_cast<int>(picture.sample(x, y, c)) * 257 + (x * 7 + y * 3 + c) % 129 - 64;
                wide.setSample(x, y, c, static_cast<unsigned>(std::clamp(v, 0, 65535)));
            }
    return wide;
}

// The variants of one upright picture, written to `dir`; the model or block
// each gives must be the one the upright Targa gives.
void expectSameResultFromEveryVariant(const testsupport::TempDir& dir, const std::string& upright,
                                      const std::string& command, const std::string& result) {
    aucal::RgbImage picture;
    std::string error;
    ASSERT_TRUE(aucal::readImage(upright, &picture, &error)) << error;
    CliRun base = runAucal(command + " " + upright + " --output " + dir.file("base." + result));
    ASSERT_EQ(base.status, 0) << base.output;
    const Variant variants[] = {
        {QuarterTurns::One, "one.tga", false},   {QuarterTurns::Two, "two.tga", false},
        {QuarterTurns::Three, "three.tga", false}, {QuarterTurns::None, "top.tga", true},
        {QuarterTurns::Two, "top-two.tga", true}, {QuarterTurns::One, "one.png", false},
        {QuarterTurns::Three, "three.tif", false}, {QuarterTurns::Two, "two-16.png", false, 16, "(PNG, 16-bit RGB)"},
        {QuarterTurns::One, "one.jpg", false, 8, "(JPEG, 8-bit YCbCr"},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.file);
        const aucal::RgbImage turned = aucal::turnedClockwise(picture, v.turns);
        const std::string file = dir.file(v.file);
        const imaging::Format format = imaging::formatFromPath(file);
        if (v.topFirst) writeTopFirstTarga(file, turned);
        else if (v.bits == 16) ASSERT_TRUE(imaging::writeImageFile(file, format, sixteenBits(turned), {}, &error)) << error;
        else ASSERT_TRUE(imaging::writeImageFile(file, format, turned, {95}, &error)) << error;
        CliRun run = runAucal(command + " " + dir.file(v.file) + " --output " + dir.file("variant." + result));
        ASSERT_EQ(run.status, 0) << run.output;
        // Turned clockwise here, it lies clockwise: the host turns it back.
        const QuarterTurns back = static_cast<QuarterTurns>((4 - static_cast<int>(v.turns)) % 4);
        EXPECT_NE(run.output.find(std::string("found lying ") + aucal::howItLies(back)), std::string::npos)
            << run.output;
        EXPECT_NE(run.output.find(v.says), std::string::npos) << run.output;
        if (format != imaging::Format::Jpeg) {
            EXPECT_EQ(testsupport::readFile(dir.file("variant." + result)), testsupport::readFile(dir.file("base." + result)));
        }
    }
}

TEST(RealScans, EveryTurnAndFileTypeOfTheTargetGivesTheSameModel) {
    testsupport::TempDir dir;
    const auto refs = it8sim::makeIt8Reference();
    const auto raster = it8sim::renderIt8TargetRgb(refs, it8sim::responsePreset(it8sim::ResponsePreset::Mild), {});
    ASSERT_TRUE(imaging::writeTarga(dir.file("it8.tga"), raster));
    ASSERT_TRUE(it8sim::writeIt8ReferenceFile(dir.file("ref.txt"), refs));
    expectSameResultFromEveryVariant(dir, dir.file("it8.tga"), "scanner --reference " + dir.file("ref.txt") + " --image",
                                     "mdl");
}

TEST(RealScans, EveryTurnAndFileTypeOfThePrintedChartGivesTheSameBlock) {
    testsupport::TempDir dir;
    ASSERT_EQ(runAucal("-q scan --output " + dir.file("it8.tga") + " --reference-out " + dir.file("ref.txt")).status, 0);
    ASSERT_EQ(runAucal("-q scanner --image " + dir.file("it8.tga") + " --reference " + dir.file("ref.txt") +
                       " --output " + dir.file("s.mdl"))
                  .status,
              0);
    ASSERT_EQ(runAucal("-q chart --output " + dir.file("chart.tga")).status, 0);
    ASSERT_EQ(runAucal("-q print --chart " + dir.file("chart.tga") + " --output " + dir.file("printed.tga")).status, 0);
    expectSameResultFromEveryVariant(dir, dir.file("printed.tga"), "printer --model " + dir.file("s.mdl") + " --scan",
                                     "blk");
}

struct Refusal {
    const char* name;
    std::string args;
    const char* says;
};

TEST(RealScans, RefusalsSayWhatWasLookedForOrNameTheLine) {
    testsupport::TempDir dir;
    const auto refs = it8sim::makeIt8Reference();
    ASSERT_TRUE(imaging::writeTarga(
        dir.file("it8.tga"), it8sim::renderIt8TargetRgb(refs, it8sim::responsePreset(it8sim::ResponsePreset::Mild), {})));
    std::string text = it8sim::it8ReferenceText(refs);
    const std::size_t b5 = text.find("\nB5\t") + 4;  // on line 38: 11 header lines, A1..A22, B1..B5
    std::string comma = text, nan = text;
    comma[text.find('.', b5)] = ',';
    nan.replace(b5, text.find('\t', b5) - b5, "nan");
    testsupport::writeText(dir.file("comma.txt"), comma);
    testsupport::writeText(dir.file("nan.txt"), nan);
    ASSERT_EQ(runAucal("-q chart --output " + dir.file("chart.tga")).status, 0);
    const std::string scanner = "scanner --output " + dir.file("out.mdl") + " --image ";
    const Refusal rows[] = {
        {"no target", scanner + dir.file("chart.tga"),
         "looked in each of its four quarter turns for the target's dark frame"},
        {"not an image", scanner + dir.file("comma.txt"), "comma.txt"},
        {"decimal comma", scanner + dir.file("it8.tga") + " --reference " + dir.file("comma.txt"),
         "comma.txt line 38: "},
        {"nan", scanner + dir.file("it8.tga") + " --reference " + dir.file("nan.txt"), "nan.txt line 38: 'nan'"},
    };
    for (const Refusal& row : rows) {
        SCOPED_TRACE(row.name);
        CliRun run = runAucal(row.args);
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find(row.says), std::string::npos) << run.output;
        EXPECT_FALSE(std::filesystem::exists(dir.file("out.mdl")));
    }
}

// A misread target made from a clean one: the pixels of one cell (a square
// of `side` pixels around its centre) replaced by those of another.
struct CellCopy {
    int fromRow, fromColumn, toRow, toColumn;
};
struct Misread {
    const char* name;
    std::vector<CellCopy> copies;
    const char* warns;               // no copies: the words of a quiet check, and no warning
    const char* printer = nullptr;   // a chart printed by this virtual printer; none: the IT8.7/2 target
};

// The chart as aucal chart writes it with patch cells copied (patch row 1..32
// and column 1..16, as aucal names them): cell row = patch row + 2, cell
// column = patch column; cell (r, c) covers file rows 15 r .. 15 r + 9
// (file row 0 at the bottom) and pixels 21 c .. 21 c + 15.
imaging::Image chartWith(const imaging::Image& chart, const std::vector<CellCopy>& copies) {
    imaging::Image out = chart;
    for (const CellCopy& c : copies)
        for (int dy = 0; dy < 10; ++dy) {
            auto row = [&](int patchRow) { return chart.height - 1 - (15 * (patchRow + 2) + dy); };
            for (int dx = 0; dx < 16; ++dx)
                for (int k = 0; k < 3; ++k)
                    out.setSample(21 * c.toColumn + dx, row(c.toRow), k,
                                  chart.sample(21 * c.fromColumn + dx, row(c.fromRow), k));
        }
    return out;
}

TEST(RealScans, PlacementCheckWarnsOnAMisreadTargetAndIsQuietOnCleanScans) {
    testsupport::TempDir dir;
    const auto refs = it8sim::makeIt8Reference();
    ASSERT_TRUE(it8sim::writeIt8ReferenceFile(dir.file("ref.txt"), refs));
    const std::string scanner = "scanner --reference " + dir.file("ref.txt") + " --output " + dir.file("m.mdl") +
                                " --image ";
    for (const char* driver : {"scan", "vexa", "prescan"})
        for (const char* response : {"mild", "nonlinear", "crosstalk", "linear"}) {
            SCOPED_TRACE(std::string(driver) + " " + response);
            const std::string scan = dir.file(std::string(driver) + "-" + response + ".tga");
            ASSERT_EQ(runAucal("-q scan --driver " + std::string(driver) + " --response " + response + " --output " + scan)
                          .status,
                      0);
            CliRun run = runAucal(scanner + scan);
            ASSERT_EQ(run.status, 0) << run.output;
            EXPECT_NE(run.output.find("placement check: no pattern of a misread target"), std::string::npos)
                << run.output;
            EXPECT_EQ(run.output.find("warning"), std::string::npos) << run.output;
        }
    std::filesystem::copy_file(dir.file("m.mdl"), dir.file("s.mdl"));
    ASSERT_EQ(runAucal("-q chart --output " + dir.file("chart.tga")).status, 0);
    aucal::RgbImage chart;
    std::string error;
    ASSERT_TRUE(aucal::readImage(dir.file("chart.tga"), &chart, &error)) << error;

    const it8sim::TargetOptions options;
    const auto clean = it8sim::renderIt8TargetRgb(refs, it8sim::responsePreset(it8sim::ResponsePreset::Mild), options);
    const int side = static_cast<int>(options.cellInches * options.dpi);
    std::vector<CellCopy> shiftColumn6;  // column 6 sampled where column 7 lies
    for (int row = 1; row <= 12; ++row) shiftColumn6.push_back({row, 7, row, 6});
    std::vector<CellCopy> shiftChartColumn5;  // chart column 5 sampled where column 6 lies
    for (int row = 1; row <= 32; ++row) shiftChartColumn5.push_back({row, 6, row, 5});
    const Misread misreads[] = {
        {"shifted column", shiftColumn6, "warning: placement: column 6 of the colour field"},
        {"grey scale out of order", {{14, 4, 14, 12}, {14, 12, 14, 4}}, "warning: placement: the grey scale does not fall"},
        {"one patch off", {{1, 9, 8, 5}}, "warning: placement: patch H5 lies far off"},
        {"clean inkjet print", {}, "placement check: no pattern of a misread chart", "inkjet"},
        {"clean laser print", {}, "placement check: no pattern of a misread chart", "laser"},
        {"clean newsprint print", {}, "placement check: no pattern of a misread chart", "newsprint"},
        {"shifted chart column", shiftChartColumn5, "warning: placement: column 5 of the chart's patches", "inkjet"},
        {"swapped chart patches", {{9, 3, 20, 12}, {20, 12, 9, 3}}, "warning: placement: patch R9C3 lies far off",
         "laser"},
    };
    for (const Misread& m : misreads) {
        SCOPED_TRACE(m.name);
        if (m.printer) {
            ASSERT_TRUE(imaging::writeTarga(dir.file("misread-chart.tga"), chartWith(chart, m.copies)));
            ASSERT_EQ(runAucal("-q print --chart " + dir.file("misread-chart.tga") + " --printer " + m.printer +
                               " --output " + dir.file("printed.tga"))
                          .status,
                      0);
            CliRun run = runAucal("printer --model " + dir.file("s.mdl") + " --output " + dir.file("p.blk") +
                                  " --scan " + dir.file("printed.tga"));
            ASSERT_EQ(run.status, 0) << run.output;
            EXPECT_NE(run.output.find(m.warns), std::string::npos) << run.output;
            if (m.copies.empty()) {
                EXPECT_EQ(run.output.find("warning"), std::string::npos) << run.output;
            }
            aucal::LoadedFile saved;
            ASSERT_TRUE(aucal::loadFile(dir.file("p.blk"), &saved, &error)) << error;
            EXPECT_NE(saved.note.find(m.warns), std::string::npos) << saved.note;
            continue;
        }
        imaging::Image misread = clean;
        for (const CellCopy& c : m.copies) {
            const auto from = it8sim::cellCentreInScan(options, clean.width, clean.height, c.fromRow, c.fromColumn);
            const auto to = it8sim::cellCentreInScan(options, clean.width, clean.height, c.toRow, c.toColumn);
            for (int dy = -side / 2; dy < side / 2; ++dy)
                for (int dx = -side / 2; dx < side / 2; ++dx)
                    for (int k = 0; k < 3; ++k)
                        misread.setSample(static_cast<int>(to.x) + dx, static_cast<int>(to.line) + dy, k,
                                          clean.sample(static_cast<int>(from.x) + dx, static_cast<int>(from.line) + dy, k));
        }
        ASSERT_TRUE(imaging::writeTarga(dir.file("misread.tga"), misread));
        CliRun run = runAucal(scanner + dir.file("misread.tga"));
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_NE(run.output.find(m.warns), std::string::npos) << run.output;
        aucal::LoadedFile saved;
        ASSERT_TRUE(aucal::loadFile(dir.file("m.mdl"), &saved, &error)) << error;
        EXPECT_NE(saved.note.find(m.warns), std::string::npos) << saved.note;
    }
}

}  // namespace
