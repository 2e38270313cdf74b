// Seed corpora for the fuzzers, made by our own tools: a reference data file
// of the virtual IT8.7/2 target (LF and CR LF), small virtual scans of the
// target, and the printer chart, also printed and scanned at low resolution.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "image_corpus.h"
#include "imaging/targa.h"
#include "it8_target/virtual_it8.h"
#include "qel_cms.h"
#include "virtual_printer/virtual_printer.h"

namespace fs = std::filesystem;

namespace {

// Scan runs of each driver in the layout of scanner_replies_fuzz.cpp: a
// calibrating run of a few lines, and the same with a status error or an odd
// reply (the vexa line count at its classic offset, a zero bytes per line).
void writeScannerReplySeeds(const fs::path& folder) {
    using Record = std::vector<unsigned char>;
    const Record clean = {0, 0, 0x0D | 0x40, 6, 0, 0, 0xFF, 0xFF, 0xFF, 2, 31, 16, 0, 0};
    const std::vector<std::pair<const char*, Record>> tails = {
        {"clean", {}},
        {"error-window", {0, 1, 0, 4, 1, 0, 0, 0}},
        {"error-read", {0, 8, 0, 8, 2, 0, 0, 0}},
        {"error-status", {0, 9, 0, 4, 3, 0, 0, 0}},
        {"reply-lines", {2, 5, 6, 1, 0, 0, 0, 0}},
        {"reply-geometry", {2, 7, 0, 2, 0xFF, 0xFF, 0, 0}},
        {"buf-addr", {1, 0, 0, 8, 0, 0, 0, 0}},
        // Several odd replies at once: start-scan line count and bytes per
        // line, a read that reports more lines done, a geometry of one line.
        {"replies", {2, 5, 8, 1, 0x10, 0x27, 0, 0, 2, 5, 4, 1, 9, 0, 0, 0, 2, 8, 14, 1, 0x40, 0, 0, 0,
                     2, 7, 4, 1, 1, 0, 0, 0, 2, 1, 16, 0, 2, 0, 0, 0}},
        {"late-error", {2, 8, 12, 2, 0xFF, 0xFF, 0xFF, 0xFF, 0, 9, 0, 0x8C, 0, 0, 0, 0x80, 3, 2, 0, 0, 0, 0, 0, 0}},
    };
    for (unsigned char driver = 0; driver < 3; ++driver) {
        for (const auto& [name, tail] : tails) {
            Record seed = clean;
            seed[0] = driver;
            seed.insert(seed.end(), tail.begin(), tail.end());
            std::ofstream(folder / (std::string(name) + "-" + std::to_string(driver)), std::ios::binary)
                .write(reinterpret_cast<const char*>(seed.data()), static_cast<std::streamsize>(seed.size()));
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <corpus folder>\n");
        return 2;
    }
    const fs::path root = argv[1];
    for (const char* d : {"it8_reference", "it8_target_image", "printer_chart", "scanner_replies"})
        fs::create_directories(root / d);
    writeScannerReplySeeds(root / "scanner_replies");

    const it8sim::It8ReferenceSet refs = it8sim::makeIt8Reference();
    const std::string text = it8sim::it8ReferenceText(refs);
    std::ofstream(root / "it8_reference/reference-lf.txt", std::ios::binary) << text;
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::ofstream(root / "it8_reference/reference-crlf.txt", std::ios::binary) << crlf;

    const it8sim::ScannerResponse mild = it8sim::responsePreset(it8sim::ResponsePreset::Mild);
    for (double dpi : {30.0, 45.0}) {
        it8sim::TargetOptions options;
        options.dpi = dpi;
        options.supersample = 1;
        const imaging::Image raster = it8sim::renderIt8TargetRgb(refs, mild, options);
        imaging::writeTarga((root / ("it8_target_image/it8-" + std::to_string(static_cast<int>(dpi)) + "dpi.tga")).string(),
                               raster);
    }

    // The chart itself is large (549 kB) and slow to search; the seeds are
    // low-resolution prints of it.
    const std::string chart = (root / "chart-full.tga").string();
    if (CreatTargetImage(chart.c_str()) != 0) return 1;
    if (auto image = imaging::loadTarga(chart)) {
        for (double dpi : {40.0}) {
            printsim::PrintScanOptions options;
            options.dpi = dpi;
            options.supersample = 1;
            const auto scan = printsim::printAndScan(*image, printsim::printerPreset(printsim::PrinterPreset::Inkjet),
                                                     mild, options);
            imaging::writeTarga(
                (root / ("printer_chart/printed-" + std::to_string(static_cast<int>(dpi)) + "dpi.tga")).string(), scan);
        }
    }
    fs::remove(chart);
    // The image readers: the generated corpus, each file under its format.
    const fs::path images = root / "image-corpus";
    std::string error;
    if (!corpus::writeAll(images.string(), &error)) return 1;
    for (const corpus::Kind& k : corpus::kinds()) {
        const char* folder = k.format == imaging::Format::Png    ? "png_read"
                             : k.format == imaging::Format::Tiff ? "tiff_read"
                             : k.format == imaging::Format::Jpeg ? "jpeg_read"
                                                                 : "targa_read";
        fs::create_directories(root / folder);
        fs::copy_file(images / k.file, root / folder / k.file, fs::copy_options::overwrite_existing);
    }
    fs::remove_all(images);
    return 0;
}
