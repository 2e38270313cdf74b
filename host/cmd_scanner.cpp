// aucal scanner: the scanner characterised from a scanned IT8.7/2 target
// (ScannerIT8Analysis), saved as a scanner model.
#include <cstdio>
#include <cstring>
#include <memory>

#include "command_registry.h"
#include "commands.h"
#include "fit_quality.h"
#include "option_checks.h"
#include "progress.h"
#include "reference_file.h"
#include "saved_file.h"
#include "scan_orientation.h"
#include "status_text.h"

namespace aucal {

namespace {

std::vector<std::uint8_t> modelBytes(const std::vector<float>& model) {
    std::vector<std::uint8_t> bytes(QEL_MODEL_SIZE, 0);
    std::memcpy(bytes.data(), model.data(), QEL_MODEL_FLOATS * sizeof(float));
    return bytes;
}

}  // namespace

int runScanner(const ScannerOptions& o, const CommonOptions& common) {
    if (std::string s = outputConflict({o.image, o.reference}, {o.output}); !s.empty()) return usage(s);
    if (!pathExists(o.image)) return fail("cannot open the scanned target " + o.image);
    EngineLibrary engine;
    std::string error;
    if (!loadEngine(&engine, &error)) return fail(error);
    auto analysis = require(engine.exports().scannerIt8Analysis, "ScannerIT8Analysis");
    UprightScan scan;
    if (!prepareIt8Scan(o.image, &scan, &error)) return fail(error);
    ScratchFile reference;
    if (!o.reference.empty() && !prepareReference(o.reference, &reference, &error)) return fail(error);
    if (!common.quiet) {
        std::printf("%s\n", uprightSentence(o.image, scan).c_str());
        if (o.reference.empty()) std::fprintf(stderr, "note: %s\n", kBuiltInReferenceNote);
    }

    // The host owns the model buffer; it is zero so that nothing stale shows
    // where a cancelled analysis stopped.
    std::vector<float> model(QEL_MODEL_FLOATS + 1, 0.0f);
    int32_t modelSize = 0;
    int32_t status;
    {
        ProgressDisplay progress("scanner model", common.quiet);
        const std::string image = libraryPathArgument(scan.targa.path());
        const std::string referenceFile = libraryPathArgument(reference.path());
        status = analysis(o.reference.empty() ? 0 : 1, image.c_str(), model.data(), &modelSize,
                          o.reference.empty() ? nullptr : referenceFile.c_str(), progress.record(),
                          &ProgressDisplay::callback);
    }
    if (status != 0) return failExport(Export::ScannerIT8Analysis, status);
    if (modelSize != QEL_MODEL_SIZE) return fail("the engine reported an unexpected model size");
    // The model stands without its figures; say why they are missing.
    FitQuality quality;
    const std::string note = scannerFitQualityOf(scan.targa.path(), reference.path(), model, &quality, &error)
                                 ? qualityNote(quality)
                                 : "patch differences not measured: " + error + "\n";
    if (!saveFile(o.output, SavedKind::ScannerModel, modelBytes(model), &error, note)) return fail(error);
    if (!common.quiet)
        std::printf("%sscanner model written to %s (%s reference data)\n", note.c_str(), o.output.c_str(),
                    o.reference.empty() ? "built-in" : o.reference.c_str());
    return 0;
}

namespace {

AddedCommand addScanner(CLI::App& app, const CommonOptions& common) {
    auto o = std::make_shared<ScannerOptions>();
    auto* cmd = app.add_subcommand("scanner", "characterise the scanner from a scanned IT8.7/2 target")
                    ->footer("Examples:\n  aucal scanner --image it8.tga --reference R130204.txt --output scanner.mdl\n"
                             "  aucal scanner --image it8.tga --output scanner.mdl   (built-in reference table)");
    cmd->add_option("--image,-i", o->image, "scanned IT8.7/2 target (Targa, PNG, TIFF; any quarter turn)")->required();
    cmd->add_option("--reference,-r", o->reference, "the target's reference data file (IT8.7/2 or CGATS.17, XYZ or D50 CIELAB)");
    cmd->add_option("--output,-o", o->output, "scanner model to write")->required();
    return {cmd, [o, &common] { return runScanner(*o, common); }};
}

const RegisterCommand registered(30, addScanner);

}  // namespace

}  // namespace aucal
