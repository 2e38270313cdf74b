// aucal icc: ICC profiles from a saved scanner model or correction block,
// written with LittleCMS and, with --check, read back and measured.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "atomic_file.h"
#include "command_registry.h"
#include "commands.h"
#include "icc_check.h"
#include "option_checks.h"
#include "reference_file.h"
#include "saved_file.h"
#include "scan_orientation.h"
#include "target_patches.h"

namespace aucal {

namespace {

std::string format(const char* pattern, double a, double b, double c = 0) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

std::string deLine(const char* against, const icc::DeSummary& s) {
    return std::to_string(s.count) + " patches through LittleCMS against " + against +
           format(": CIEDE2000 mean %.2f, largest %.2f", s.mean, s.max);
}

void outside(icc::ProfileFigures* f, const std::string& why);

// The profile's read-back figures (with --check); the file is written later,
// once every profile of the call has passed.
void readBack(const std::string& path, icc::Bytes bytes, icc::ProfileKind kind, bool check, icc::ProfileFigures* f) {
    f->file = path;
    f->bytes = std::move(bytes);
    if (!check) return;
    f->structure = icc::checkStructure(f->bytes, kind);
    if (!f->structure.empty()) outside(f, "its read-back through LittleCMS failed: " + f->structure);
}

void outside(icc::ProfileFigures* f, const std::string& why) {
    if (f->withinTolerance) f->failure = why;
    f->withinTolerance = false;
}

std::string heldOutLine(const char* what, const std::vector<double>& heldOut) {
    const icc::DeFigures h = icc::deFigures(heldOut);
    return std::string(what) + format(": CIEDE2000 mean %.2f, 95th percentile %.2f", h.mean, h.p95) +
           format(", largest %.2f", h.max, 0);
}

constexpr int kFolds = 10;
// The smooth table's weight is chosen by a cross-validation of its own within
// each fit (so the figures printed are held out from that choice too).
constexpr int kSmoothnessFolds = 5;

// Shaper-matrix fits on part of the patches, for the cross-validation.
bool shaperMatrixPredictor(const PatchSet& training, icc::Prediction* predict) {
    icc::ShaperMatrix fit;
    std::string error;
    if (!icc::fitShaperMatrix(training, &fit, &error)) return false;
    *predict = [fit](const std::array<double, 3>& levels) { return pcsLab(icc::shaperMatrixXyz(fit, levels)); };
    return true;
}

// Smooth-table fits on part of the patches, the weight chosen on that part.
bool smoothTablePredictor(const PatchSet& training, icc::Prediction* predict) {
    icc::SmoothTable table;
    std::string error;
    if (!icc::fitSmoothTableChosen(training, kSmoothnessFolds, &table, &error)) return false;
    *predict = [table](const std::array<double, 3>& levels) { return icc::smoothTableLab(table, levels); };
    return true;
}

// A scanner profile fitted on the patches: where it goes, what it is, and
// the fit itself and its refits for the cross-validation.
struct FittedProfile {
    std::string path;
    icc::ProfileKind kind;
    std::string description;
    const char* source;  // what the check compares the profile with
    icc::Prediction fit;
    icc::Predictor refit;
};

// Its figures: the fit on the patches, held out by cross-validation, and
// with --check the profile through LittleCMS against the fit.
int addFitted(const FittedProfile& p, icc::Bytes bytes, const std::vector<float>& model, const PatchSet& patches,
              bool check, std::vector<icc::ProfileFigures>* out) {
    icc::ProfileFigures m;
    m.description = p.description;
    readBack(p.path, std::move(bytes), p.kind, check, &m);
    std::vector<double> fitted;
    for (std::size_t i = 0; i < patches.rgb.size(); ++i)
        fitted.push_back(deltaE2000(p.fit(patches.rgb[i]), pcsLab(pcsXyzFromReference(patches.xyz[i]))));
    m.lines.push_back(heldOutLine(("fit on the " + std::to_string(patches.rgb.size()) + " patches").c_str(), fitted));
    // Judged on the patches the scanner did not clip: a clipped patch's levels
    // do not say its colour, so no fit can predict it.
    const PatchSet judged = icc::unclippedPatches(patches);
    if (icc::crossValidate(judged, kFolds, p.refit, &m.heldOut))
        m.lines.push_back(heldOutLine(("held out (10-fold cross-validation on the " + std::to_string(judged.rgb.size()) +
                                       " patches not clipped, each predicted by a fit without it)").c_str(),
                                      m.heldOut));
    if (check) {
        icc::InputCheck c;
        std::string error;
        if (!icc::checkInputProfile(m.bytes, p.fit, model, patches, &c, &error)) return fail(error);
        const std::string line =
            deLine(p.source, c.againstSource) + format(" (tolerance %.2f)", icc::kSourceToleranceDe2000, 0);
        m.lines.push_back(line);
        m.lines.push_back(deLine("the reference data", c.againstReference));
        if (c.againstSource.max > icc::kSourceToleranceDe2000) outside(&m, line);
    }
    out->push_back(m);
    return 0;
}

// Of the profiles fitted on the patches, the one whose cross-validated error
// is lowest (mean, then 95th percentile) is recommended: held-out patches
// are what says how it will do on colours that are not on the target. The
// figures are compared as printed (hundredths of a unit): a smooth table that
// is no better than the shaper-matrix it is built on, as shown, does not win
// on a bake's rounding, and the simpler profile, listed first, keeps a tie.
void recommend(std::vector<icc::ProfileFigures>* out, std::size_t first) {
    icc::ProfileFigures* best = nullptr;
    icc::DeFigures bestFigures;
    std::string others;
    const auto shown = [](double de) { return std::llround(de * 100.0); };
    for (std::size_t i = first; i < out->size(); ++i) {
        icc::ProfileFigures& f = (*out)[i];
        if (f.heldOut.empty()) continue;
        const icc::DeFigures h = icc::deFigures(f.heldOut);
        if (best == nullptr || shown(h.mean) < shown(bestFigures.mean) ||
            (shown(h.mean) == shown(bestFigures.mean) && shown(h.p95) < shown(bestFigures.p95))) {
            best = &f;
            bestFigures = h;
        }
    }
    if (best == nullptr) return;
    for (std::size_t i = first; i < out->size(); ++i) {
        const icc::ProfileFigures& f = (*out)[i];
        if (&f == best || f.heldOut.empty()) continue;
        const icc::DeFigures h = icc::deFigures(f.heldOut);
        others += "; " + f.file + format(": %.2f / %.2f", h.mean, h.p95);
    }
    best->recommendation = "recommended for scans: the lowest cross-validated error of the profiles fitted on the "
                           "patches, the simpler where they tie" +
                           format(" (held out mean / 95th percentile CIEDE2000 %.2f / %.2f", bestFigures.mean,
                                  bestFigures.p95) +
                           others + ")";
}

// What the profile says about itself: version, device and the files it came from.
icc::ProfileLabel label(const IccOptions& o, std::vector<std::string> sources) {
    icc::ProfileLabel l;
    icc::parseIccVersion(o.iccVersion, &l.version);
    if (!o.deviceMake.empty()) l.deviceMake = o.deviceMake;
    if (!o.deviceModel.empty()) l.deviceModel = o.deviceModel;
    for (const std::string& s : sources)
        if (!s.empty()) l.sources.push_back(s);
    return l;
}

int scannerProfiles(const IccOptions& o, bool check, std::vector<icc::ProfileFigures>* out) {
    const std::size_t first = out->size();
    std::string error;
    std::vector<float> model;
    if (!loadModelFile(o.model, &model, &error)) return fail(error);
    PatchSet patches;
    const bool haveImage = !o.image.empty();
    // The scan and the reference data as aucal scanner hands them to the engine.
    UprightScan scan;
    if (haveImage) {
        TargetReading reading;
        if (!prepareIt8Scan(o.image, &scan, &error) || !readTargetPatches(scan.targa.path(), &reading, &error))
            return fail(error);
        // The windows' means as they are: the engine's are truncated to
        // whole levels, and the fits would carry that half level.
        patches.rgb = reading.meanRgb;
    }
    ScratchFile reference;
    if (!o.reference.empty() && (!prepareReference(o.reference, &reference, &error) ||
                                 !readReferenceXyz(reference.path(), &patches.xyz, &error)))
        return fail(error);
    if ((!o.shaperMatrix.empty() || !o.table.empty()) && (patches.rgb.empty() || patches.xyz.empty()))
        return fail(std::string(o.table.empty() ? "--shaper-matrix" : "--table") +
                    " fits on the target's patches: give --image and --reference");

    icc::Bytes lut;
    const icc::ProfileLabel scannerLabel = label(o, {o.model, o.image, o.reference});
    if (!icc::scannerLutProfile(model, &lut, &error, scannerLabel)) return fail(error);
    icc::ProfileFigures f;
    f.description = "scanner input profile: tone curves and the model's CIELAB grid (A2B0)";
    readBack(o.output, std::move(lut), icc::ProfileKind::ScannerLut, check, &f);
    if (check && haveImage) {
        icc::InputCheck c;
        const icc::Prediction grid = [&](const std::array<double, 3>& levels) { return icc::modelGridPcsLab(model, levels); };
        if (!icc::checkInputProfile(f.bytes, grid, model, patches, &c, &error)) return fail(error);
        const std::string line = deLine("the model grid (read tetrahedrally, as the table is)", c.againstSource) +
                                 format(" (tolerance %.2f)", icc::kSourceToleranceDe2000, 0);
        f.lines.push_back(line);
        f.lines.push_back(deLine("the model's curves and polynomial", c.againstPolynomial));
        if (c.againstReference.count) f.lines.push_back(deLine("the reference data", c.againstReference));
        if (c.againstSource.max > icc::kSourceToleranceDe2000) outside(&f, line);
    } else if (check) {
        f.lines.push_back("give --image (and --reference) to measure the 130 patches through the profile");
    }
    out->push_back(f);

    if (!o.shaperMatrix.empty()) {
        icc::ShaperMatrix fit;
        icc::Bytes matrix;
        if (!icc::fitShaperMatrix(patches, &fit, &error) ||
            !icc::scannerMatrixProfile(fit, &matrix, &error, scannerLabel))
            return fail(error);
        FittedProfile m{o.shaperMatrix, icc::ProfileKind::ScannerMatrix,
                        "scanner shaper-matrix profile: its own shaper curves and a 3x3 matrix fitted on the patches",
                        "the fitted shapers and matrix",
                        [fit](const std::array<double, 3>& levels) { return pcsLab(icc::shaperMatrixXyz(fit, levels)); },
                        shaperMatrixPredictor};
        if (int s = addFitted(m, std::move(matrix), model, patches, check, out)) return s;
    }
    if (!o.table.empty()) {
        icc::SmoothTable table;
        icc::Bytes bytes;
        if (!icc::fitSmoothTableChosen(patches, kSmoothnessFolds, &table, &error) ||
            !icc::scannerTableProfile(table, &bytes, &error, scannerLabel))
            return fail(error);
        const std::string correction =
            std::isinf(table.smoothness)
                ? std::string(" (no correction: the cross-validation kept the shaper-matrix alone)")
                : " and a smooth " + std::to_string(table.nodes) + "^3 correction fitted on the patches" +
                      format(" (smoothness %.2g, chosen by cross-validation)", table.smoothness, 0);
        FittedProfile t{o.table, icc::ProfileKind::ScannerLut,
                        "scanner smooth-table profile: a " + std::to_string(icc::kSmoothTableProfileNodes) +
                            "^3 CIELAB table of the fitted shaper-matrix" + correction,
                        "the fitted shaper-matrix and correction at the table's nodes (read tetrahedrally, as the "
                        "table is)",
                        [table](const std::array<double, 3>& levels) { return icc::smoothTableProfileLab(table, levels); },
                        smoothTablePredictor};
        if (int s = addFitted(t, std::move(bytes), model, patches, check, out)) return s;
    }
    recommend(out, first);
    return 0;
}

int blockProfile(const IccOptions& o, bool check, std::vector<icc::ProfileFigures>* out) {
    std::string error;
    LoadedFile block;
    if (!loadFileOfKind(o.block, {SavedKind::LookupBlock, SavedKind::MatrixBlock}, &block, &error)) return fail(error);
    icc::ProfileFigures f;
    icc::Bytes bytes;
    if (block.kind == SavedKind::LookupBlock) {
        if (!o.phosphors.empty() || !o.model.empty())
            return fail("--phosphors and --model go with a monitor block; this is a lookup block");
        if (!icc::deviceLinkProfile(block.payload, &bytes, &error, label(o, {o.block}))) return fail(error);
        f.description = "device link: the lookup correction's input curves and grid (scanner RGB to printer RGB)";
        readBack(o.output, bytes, icc::ProfileKind::DeviceLink, check, &f);
        if (check) {
            EngineLibrary engine;
            if (!loadEngine(&engine, &error)) return fail(error);
            icc::LinkCheck c;
            constexpr int kPixels = 100000;
            if (!icc::checkDeviceLink(bytes, block.payload, engine.exports(), kPixels, 20261208u, &c, &error))
                return fail(error);
            const auto& e = c.againstEngine;
            const auto& t = c.againstTetrahedral;
            f.lines.push_back(std::to_string(kPixels) +
                              format(" random pixels through LittleCMS (tetrahedral) against CorrectImage (trilinear, "
                                     "truncated): mean |difference| %.3f levels, largest %.0f, %.1f%% within one level",
                                     e.meanAbs, e.maxAbs, 100.0 * e.within1) +
                              format(" (tolerance: mean %.1f)", icc::kLinkMeanToleranceLevels, 0));
            f.lines.push_back(format("against the block read tetrahedrally: mean |difference| %.3f levels, largest %.0f",
                                     t.meanAbs, t.maxAbs) +
                              format(" (tolerance %.0f)", icc::kLinkToleranceLevels, 0));
            if (t.maxAbs > icc::kLinkToleranceLevels || e.meanAbs > icc::kLinkMeanToleranceLevels)
                outside(&f, f.lines.back());
        }
    } else {
        icc::Phosphors p;
        if (!o.phosphors.empty()) {
                p = {o.phosphors[0], o.phosphors[1], o.phosphors[2], o.phosphors[3], o.phosphors[4], o.phosphors[5]};
        }
        if (!o.model.empty()) {
            // With the model the block was made from, the block itself says
            // which phosphors it was made for.
            std::vector<float> model;
            if (!loadModelFile(o.model, &model, &error)) return fail(error);
            icc::Phosphors found;
            if (!icc::phosphorsFromBlock(block.payload, model, &found))
                return fail("the block's matrix and the model's linear matrix do not give the phosphors");
            const double d = std::max({std::fabs(found.xr - p.xr), std::fabs(found.yr - p.yr), std::fabs(found.xg - p.xg),
                                       std::fabs(found.yg - p.yg), std::fabs(found.xb - p.xb), std::fabs(found.yb - p.yb)});
            if (!o.phosphors.empty() && d > icc::kMonitorTolerance)
                return fail("this block was made for other phosphors than --phosphors" +
                            format(" (red %.4f %.4f, ...)", found.xr, found.yr));
            p = found;
            f.lines.push_back(format("phosphors recovered from the block and the model: red %.4f %.4f, ", p.xr, p.yr) +
                              format("green %.4f %.4f, ", p.xg, p.yg) + format("blue %.4f %.4f", p.xb, p.yb));
        }
        icc::MonitorCurves curves;
        if (!icc::monitorProfile(block.payload, p, &bytes, &curves, &error, label(o, {o.block, o.model})))
            return fail(error);
        f.description = "monitor profile: phosphor colorants and the visually matched tone curves";
        readBack(o.output, bytes, icc::ProfileKind::Monitor, check, &f);
        std::string levels = "tone curves: ";
        for (int c = 0; c < 3; ++c)
            levels += (c ? ", " : "") + (curves.matchedLevel[c] ? format("gamma %.3f (half luminance at %.0f)",
                                                                         curves.gamma[c], curves.matchedLevel[c])
                                                                 : std::string("tabulated (no matched level fits)"));
        f.lines.push_back(levels);
        if (check) {
            icc::MonitorCheck c;
            if (!icc::checkMonitorProfile(bytes, p, curves, &c, &error)) return fail(error);
            f.lines.push_back(format("through LittleCMS: full drive is D50 within %.1e, primaries at the phosphors "
                                     "within %.1e in xy, matched levels at half luminance within %.1e",
                                     c.whiteError, c.primaryXyError, c.halfLevelError));
            if (c.whiteError > icc::kMonitorTolerance || c.primaryXyError > icc::kMonitorTolerance ||
                c.halfLevelError > icc::kMonitorTolerance)
                outside(&f, f.lines.back() + format(" (tolerance %.0e)", icc::kMonitorTolerance, 0));
        }
    }
    out->push_back(f);
    return 0;
}

}  // namespace

int runIcc(const IccOptions& o, const CommonOptions& common, std::vector<icc::ProfileFigures>* figures) {
    if (o.model.empty() && o.block.empty()) return usage("give --model or --block");
    if (!o.block.empty() && (!o.shaperMatrix.empty() || !o.table.empty() || !o.image.empty() || !o.reference.empty()))
        return usage("--shaper-matrix, --table, --image and --reference belong to a scanner model (--model)");
    if (!o.check && figures == nullptr && o.shaperMatrix.empty() && o.table.empty() &&
        (!o.image.empty() || !o.reference.empty()))
        return usage("--image and --reference are read for --check, --shaper-matrix or --table; without any of them "
                     "they would be ignored");
    if (std::string s = phosphorRefusal(o.phosphors); !s.empty()) return usage(s);
    std::vector<std::string> outputs{o.output};
    if (!o.shaperMatrix.empty()) outputs.push_back(o.shaperMatrix);
    if (!o.table.empty()) outputs.push_back(o.table);
    for (const std::string& out : outputs)
        if (std::string s = extensionConflict(out, {".icc", ".icm"}, "an ICC profile"); !s.empty()) return usage(s);
    if (std::string s = outputConflict({o.model, o.block, o.image, o.reference}, outputs); !s.empty()) return usage(s);
    std::vector<icc::ProfileFigures> local;
    std::vector<icc::ProfileFigures>* out = figures ? figures : &local;
    const std::size_t first = out->size();
    const bool check = o.check || figures != nullptr;
    if (int s = o.block.empty() ? scannerProfiles(o, check, out) : blockProfile(o, check, out)) return s;
    // A failed check writes nothing, and says on its own what failed.
    for (std::size_t i = first; o.check && i < out->size(); ++i) {
        const icc::ProfileFigures& f = (*out)[i];
        if (!f.withinTolerance)
            return fail("the " + f.description.substr(0, f.description.find(':')) + " failed its check, so no profile "
                        "was written: " + f.failure);
    }
    std::string error;
    for (std::size_t i = first; i < out->size(); ++i)
        if (!writeFileAtomically((*out)[i].file, (*out)[i].bytes.data(), (*out)[i].bytes.size(), &error))
            return fail(error);
    for (std::size_t i = first; i < out->size(); ++i) {
        const icc::ProfileFigures& f = (*out)[i];
        if (common.quiet) continue;
        std::printf("%s written to %s\n", f.description.c_str(), f.file.c_str());
        if (!check) continue;
        std::printf("  LittleCMS read-back, tags, profile ID and round trip: %s\n",
                    f.structure.empty() ? "passed" : f.structure.c_str());
        for (const auto& line : f.lines) std::printf("  %s\n", line.c_str());
    }
    for (std::size_t i = first; i < out->size() && !common.quiet; ++i)
        if (!(*out)[i].recommendation.empty())
            std::printf("%s: %s\n", (*out)[i].file.c_str(), (*out)[i].recommendation.c_str());
    return 0;
}

namespace {

AddedCommand addIcc(CLI::App& app, const CommonOptions& common) {
    auto o = std::make_shared<IccOptions>();
    auto* cmd =
        app.add_subcommand("icc", "write ICC profiles of a scanner model or a correction block")
            ->footer("Examples:\n  aucal icc --model scanner.mdl --output scanner.icc\n"
                     "  aucal icc --model scanner.mdl --image it8.tga --reference it8-reference.txt \\\n"
                     "      --output scanner.icc --shaper-matrix scanner-matrix.icc --table scanner-table.icc --check\n"
                     "  aucal icc --block printer.blk --output printer-link.icc --check\n"
                     "  aucal icc --block monitor.blk --phosphors 0.64 0.33 0.30 0.60 0.15 0.06 --output monitor.icc\n"
                     "  aucal icc --block monitor.blk --model scanner.mdl --output monitor.icc");
    cmd->add_option("--model,-m", o->model, "scanner model: an input profile (A2B0: tone curves and grid); with a "
                                             "monitor block, the model it was made from (gives the phosphors)");
    cmd->add_option("--block,-b", o->block, "correction block: printer block to device link, monitor block to "
                                             "monitor profile");
    cmd->add_option("--output,-o", o->output, "profile to write")->required();
    cmd->add_option("--shaper-matrix", o->shaperMatrix, "also write a shaper-matrix scanner profile fitted on "
                                                         "the target (needs --image and --reference)");
    cmd->add_option("--table", o->table, "also write a smooth-table scanner profile fitted on the target (needs "
                                         "--image and --reference)");
    cmd->add_option("--image,-i", o->image, "the scanned IT8.7/2 target the model was made from");
    cmd->add_option("--reference,-r", o->reference, "its IT8.7/2 reference data file");
    cmd->add_option("--phosphors", o->phosphors, "monitor: x y of the red, green and blue phosphors")->expected(6);
    cmd->add_flag("--check", o->check, "read the profiles back with LittleCMS and measure them");
    cmd->add_option("--icc-version", o->iccVersion, "ICC version of the profiles: 2.4 or 4.3")
        ->check(CLI::IsMember({"2.4", "4.3"}))
        ->capture_default_str();
    cmd->add_option("--device-make", o->deviceMake, "maker of the profiled device (its description and tags)");
    cmd->add_option("--device-model", o->deviceModel, "model of the profiled device");
    return {cmd, [o, &common] { return runIcc(*o, common); }};
}

const RegisterCommand registered(100, addIcc);

}  // namespace

}  // namespace aucal
