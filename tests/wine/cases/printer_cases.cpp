// The printer target analysis on both platforms: the chart read back as
// written, the chart with pale marks (found by the second pass), and the
// chart printed by the virtual printer and scanned at 300 dpi must give the
// same lookup blocks, byte for byte; Escape and a null model give the same
// codes. The inputs (chart, scans, the virtual scanner's exact model) are
// made on the native side.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "crosscheck.h"
#include "qel_cms.h"
#ifndef _WIN32
#include "imaging/targa.h"
#include "virtual_printer/virtual_printer.h"
#endif

namespace {

using crosscheck::callCdecl;
using crosscheck::check;
using crosscheck::require;
using Bytes = std::vector<std::uint8_t>;

std::string statusText(const char* what, std::int32_t status, std::int32_t size) {
    std::string t(what);
    t += " status ";
    t += std::to_string(status);
    t += " size ";
    t += std::to_string(size);
    t += "\n";
    return t;
}

std::vector<float> readModel() {
    const Bytes bytes = crosscheck::readInput("printer/model.bin");
    require(bytes.size() == sizeof(float) * QEL_MODEL_FLOATS, "model input size");
    std::vector<float> model(QEL_MODEL_FLOATS);
    std::memcpy(model.data(), bytes.data(), bytes.size());
    return model;
}

// Runs the analysis on one input scan; writes the block, the status and the
// progress reports.
void analyse(const char* input, const char* output, std::int32_t expected) {
    const std::vector<float> model = readModel();
    crosscheck::Library engine = crosscheck::loadLibrary("qel_cms");
    Bytes block(QEL_LUT_BLOCK_SIZE, 0x5A);
    std::int32_t size = -1;
    ProgressRecord record{0, 0, 0};
    const std::int32_t status = callCdecl<std::int32_t>(
        engine, "PrinterTargetAnalysis", crosscheck::inputPath(input).c_str(), block.data(), &size, model.data(), 0,
        &record, reinterpret_cast<ProgressCallback>(&crosscheck::recordProgress));
    check(status == expected, statusText(input, status, size));
    const std::string name(output);
    crosscheck::writeOutput(name + ".lut", block);
    const std::string text = statusText(input, status, size) + crosscheck::progressText();
    crosscheck::writeOutput(name + ".txt", text.data(), text.size());
}

}  // namespace

#ifndef _WIN32
CROSSCHECK_INPUT(printer_scans) {
    crosscheck::Library engine = crosscheck::loadLibrary("qel_cms");
    const std::string chartPath = crosscheck::inputPath("printer/chart.tga");
    crosscheck::writeInput("printer/chart.tga", Bytes{});  // makes the folder; the export fills the file
    require(callCdecl<std::int32_t>(engine, "CreatTargetImage", chartPath.c_str()) == 0, "chart not written");
    Bytes chart = crosscheck::readInput("printer/chart.tga");
    require(chart.size() == 549138, "chart size");

    // Pale marks: every pixel darker than 40 on all channels (the marks and
    // the darkest patches) reads 45.
    Bytes pale = chart;
    for (std::size_t k = 18; k + 2 < pale.size(); k += 3)
        if (pale[k] < 40 && pale[k + 1] < 40 && pale[k + 2] < 40) pale[k] = pale[k + 1] = pale[k + 2] = 45;
    crosscheck::writeInput("printer/pale.tga", pale);

    it8sim::ScannerResponse scanner = it8sim::responsePreset(it8sim::ResponsePreset::Mild);
    scanner.noiseSigma = 1.0;
    scanner.seed = 3;
    printsim::PrintScanOptions options;
    options.dpi = 300;
    options.blurPixels = 0.8;
    options.tiltDegrees = 0.3;
    const auto image = imaging::loadTarga(chartPath);
    require(image.has_value(), "chart not readable");
    const imaging::Image scan =
        printsim::printAndScan(*image, printsim::printerPreset(printsim::PrinterPreset::Inkjet), scanner, options);
    const std::string scanPath = crosscheck::inputPath("printer/printed_300dpi.tga");
    crosscheck::writeInput("printer/printed_300dpi.tga", Bytes{});  // the folder
    require(imaging::writeTarga(scanPath, scan), "scan not written");

    const std::vector<float> model = printsim::idealScannerModel(scanner);
    crosscheck::writeInput("printer/model.bin", model.data(), model.size() * sizeof(float));

    // A greyer black (found by a later pass), 150 dpi, turned the other way.
    options.dpi = 150;
    options.tiltDegrees = -0.8;
    options.blurPixels = 0.5;
    scanner.noiseSigma = 2.0;
    const imaging::Image laser =
        printsim::printAndScan(*image, printsim::printerPreset(printsim::PrinterPreset::Laser), scanner, options);
    const std::string laserPath = crosscheck::inputPath("printer/laser_150dpi.tga");
    crosscheck::writeInput("printer/laser_150dpi.tga", Bytes{});  // the folder
    require(imaging::writeTarga(laserPath, laser), "laser scan not written");
}
#endif

CROSSCHECK_CASE(printer_analysis_chart) { analyse("printer/chart.tga", "printer/chart", QEL_PRINTER_OK); }

CROSSCHECK_CASE(printer_analysis_pale_marks) { analyse("printer/pale.tga", "printer/pale", QEL_PRINTER_OK); }

CROSSCHECK_CASE(printer_analysis_printed) {
    analyse("printer/printed_300dpi.tga", "printer/printed_300dpi", QEL_PRINTER_OK);
}

CROSSCHECK_CASE(printer_analysis_laser) {
    analyse("printer/laser_150dpi.tga", "printer/laser_150dpi", QEL_PRINTER_OK);
}

CROSSCHECK_CASE(printer_analysis_refusals) {
    const std::vector<float> model = readModel();
    crosscheck::Library engine = crosscheck::loadLibrary("qel_cms");
    Bytes block(QEL_LUT_BLOCK_SIZE, 0x5A);
    std::int32_t size = -1;
    std::string text;

    std::int32_t status = callCdecl<std::int32_t>(engine, "PrinterTargetAnalysis",
                                                  crosscheck::inputPath("printer/chart.tga").c_str(), block.data(),
                                                  &size, static_cast<const float*>(nullptr), 0,
                                                  static_cast<ProgressRecord*>(nullptr), static_cast<ProgressCallback>(nullptr));
    check(status == QEL_PRINTER_NO_MODEL && size == -1, statusText("null model", status, size));
    text += statusText("null model", status, size);

    status = callCdecl<std::int32_t>(engine, "PrinterTargetAnalysis", crosscheck::inputPath("printer/none.tga").c_str(),
                                     block.data(), &size, model.data(), 0, static_cast<ProgressRecord*>(nullptr),
                                     static_cast<ProgressCallback>(nullptr));
    check(status == QEL_PRINTER_UNREADABLE_OR_FEW_TOP_MARKS && size == -1, statusText("missing file", status, size));
    text += statusText("missing file", status, size);

    crosscheck::withFocusWindow([&](crosscheck::FocusWindow& window) {
        window.postKeyDown(crosscheck::kVkEscape);
        ProgressRecord record{window.handle32(), 0, 0};
        status = callCdecl<std::int32_t>(engine, "PrinterTargetAnalysis",
                                         crosscheck::inputPath("printer/chart.tga").c_str(), block.data(), &size,
                                         model.data(), 0, &record,
                                         reinterpret_cast<ProgressCallback>(&crosscheck::recordProgress));
        check(status == QEL_PRINTER_CANCELLED && size == -1, statusText("escape", status, size));
        text += statusText("escape", status, size) + crosscheck::progressText();
    });
    crosscheck::writeOutput("printer/refusals.txt", text.data(), text.size());
    // Cancelled: the curves and nothing after the first row of nodes.
    crosscheck::writeOutput("printer/cancelled.lut", block);
}
