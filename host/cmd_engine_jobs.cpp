// The engine's jobs as subcommands: scanner characterisation, monitor set-up,
// the printer chart and the printer characterisation.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "commands.h"
#include "image_io.h"
#include "match_page.h"
#include "progress.h"
#include "saved_file.h"
#include "status_text.h"

namespace aucal {

namespace {

std::vector<std::uint8_t> modelBytes(const std::vector<float>& model) {
    std::vector<std::uint8_t> bytes(QEL_MODEL_SIZE, 0);
    std::memcpy(bytes.data(), model.data(), QEL_MODEL_FLOATS * sizeof(float));
    return bytes;
}

}  // namespace

bool loadModelFile(const std::string& path, std::vector<float>* model, std::string* error) {
    LoadedFile file;
    if (!loadFileOfKind(path, {SavedKind::ScannerModel}, &file, error)) return false;
    model->assign(QEL_MODEL_FLOATS + 1, 0.0f);  // room for the 2 reported bytes past the floats
    std::memcpy(model->data(), file.payload.data(), QEL_MODEL_FLOATS * sizeof(float));
    return true;
}

namespace {

bool loadModel(const std::string& path, std::vector<float>* model, std::string* error) {
    return loadModelFile(path, model, error);
}

bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

}  // namespace

int runScanner(const ScannerOptions& o, const CommonOptions& common) {
    if (!exists(o.image)) return fail("cannot open the scanned target " + o.image);
    EngineLibrary engine;
    std::string error;
    if (!loadEngine(&engine, &error)) return fail(error);
    auto analysis = require(engine.exports().scannerIt8Analysis, "ScannerIT8Analysis");

    // The host owns the model buffer; it is zero so that nothing stale shows
    // where a cancelled analysis stopped.
    std::vector<float> model(QEL_MODEL_FLOATS + 1, 0.0f);
    int32_t modelSize = 0;
    int32_t status;
    {
        ProgressDisplay progress("scanner model", common.quiet);
        status = analysis(o.reference.empty() ? 0 : 1, o.image.c_str(), model.data(), &modelSize,
                          o.reference.empty() ? nullptr : o.reference.c_str(), progress.record(),
                          &ProgressDisplay::callback);
    }
    if (status != 0) return fail(statusSentence(Export::ScannerIT8Analysis, status));
    if (modelSize != QEL_MODEL_SIZE) return fail("the engine reported an unexpected model size");
    if (!saveFile(o.output, SavedKind::ScannerModel, modelBytes(model), &error)) return fail(error);
    if (!common.quiet)
        std::printf("scanner model written to %s (%s reference data)\n", o.output.c_str(),
                    o.reference.empty() ? "built-in" : o.reference.c_str());
    return 0;
}

int runMonitor(const MonitorOptions& o, const CommonOptions& common) {
    std::vector<float> model;
    std::string error;
    if (!o.matchPage.empty()) {
        // The page prints a command naming the model: refuse one that command could not use.
        if (!o.model.empty() && !loadModel(o.model, &model, &error)) return fail(error);
        if (!writeMatchPage(o.matchPage, {o.model, o.output}, &error)) return fail(error);
        if (!common.quiet) std::printf("visual match page written to %s: open it, match the six patches, "
                                       "then run the command it prints\n", o.matchPage.c_str());
        if (o.levels.empty()) return 0;
    }
    if (o.model.empty() || o.output.empty()) return fail("monitor needs --model and --output (or --match-page)");
    if (o.levels.size() != 3) return fail("--levels takes three numbers: red, green and blue");
    if (model.empty() && !loadModel(o.model, &model, &error)) return fail(error);
    EngineLibrary engine;
    if (!loadEngine(&engine, &error)) return fail(error);
    auto setPhosphors = require(engine.exports().setPhosphorType, "SetPhosphorType");
    auto visualMatch = require(engine.exports().visualMatch, "VisualMatch");
    if (o.phosphors.size() == 6) {
        if (int32_t s = setPhosphors(o.phosphors[0], o.phosphors[1], o.phosphors[2], o.phosphors[3], o.phosphors[4],
                                     o.phosphors[5]);
            s != 0)
            return fail(statusSentence(Export::SetPhosphorType, s));
    } else if (!o.phosphors.empty()) {
        return fail("--phosphors takes six numbers: x and y of red, green and blue");
    }
    std::vector<std::uint8_t> block(QEL_MATRIX_BLOCK_SIZE, 0);
    int32_t blockSize = 0;
    if (int32_t s = visualMatch(o.levels[0], o.levels[1], o.levels[2], block.data(), &blockSize, model.data()); s != 0)
        return fail(statusSentence(Export::VisualMatch, s));
    if (blockSize != QEL_MATRIX_BLOCK_SIZE) return fail("the engine reported an unexpected block size");
    if (!saveFile(o.output, SavedKind::MatrixBlock, block, &error)) return fail(error);
    if (!common.quiet)
        std::printf("monitor correction written to %s (levels %d %d %d)\n", o.output.c_str(), o.levels[0], o.levels[1],
                    o.levels[2]);
    return 0;
}

int runChart(const ChartOptions& o, const CommonOptions& common) {
    EngineLibrary engine;
    std::string error;
    if (!loadEngine(&engine, &error)) return fail(error);
    auto create = require(engine.exports().creatTargetImage, "CreatTargetImage");
    if (int32_t s = create(o.output.c_str()); s != 0) {
        std::remove(o.output.c_str());
        return fail(statusSentence(Export::CreatTargetImage, s));
    }
    if (!common.quiet) std::printf("printer chart written to %s: print it without colour management, then scan it\n",
                                   o.output.c_str());
    return 0;
}

int runPrinter(const PrinterOptions& o, const CommonOptions& common) {
    if (o.scan.empty() == o.table.empty()) return fail("printer needs either --scan or --table");
    std::vector<float> model;
    std::string error;
    if (!loadModel(o.model, &model, &error)) return fail(error);
    EngineLibrary engine;
    if (!loadEngine(&engine, &error)) return fail(error);
    std::vector<std::uint8_t> block(QEL_LUT_BLOCK_SIZE, 0);
    int32_t blockSize = 0;
    int32_t status;
    if (!o.scan.empty()) {
        if (!exists(o.scan)) return fail("cannot open the scanned chart " + o.scan);
        auto analysis = require(engine.exports().printerTargetAnalysis, "PrinterTargetAnalysis");
        ProgressDisplay progress("printer model", common.quiet);
        status = analysis(o.scan.c_str(), block.data(), &blockSize, model.data(), 0, progress.record(),
                          &ProgressDisplay::callback);
        if (status != 0) return fail(statusSentence(Export::PrinterTargetAnalysis, status));
    } else {
        // The printer table goes in at the start of the buffer that receives the block.
        std::ifstream in(o.table, std::ios::binary);
        if (!in) return fail("cannot open the printer table " + o.table);
        in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
        if (in.gcount() < 14739) return fail(o.table + " is not a printer table (17 x 17 x 17 RGB nodes, 14739 bytes)");
        auto open = require(engine.exports().printerTargetOpenAnalysis, "PrinterTargetOpenAnalysis");
        ProgressDisplay progress("printer table", common.quiet);
        status = open(block.data(), &blockSize, model.data(), 0, progress.record(), &ProgressDisplay::callback);
        if (status != 0) return fail(statusSentence(Export::PrinterTargetOpenAnalysis, status));
    }
    if (blockSize != QEL_LUT_BLOCK_SIZE) return fail("the engine reported an unexpected block size");
    if (!saveFile(o.output, SavedKind::LookupBlock, block, &error)) return fail(error);
    if (!common.quiet) std::printf("printer correction written to %s\n", o.output.c_str());
    return 0;
}

}  // namespace aucal
