// aucal correct: a saved block applied to images, strip by strip: 8-bit
// images with InitCorrect and CorrectImage, 16-bit images with a LittleCMS
// transform of the same block (or reduced to 8 bits on request). Every
// output is written atomically; an output that is an input, or two outputs on
// one name, are refused before any work; correcting over the input itself
// needs --in-place.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "command_registry.h"
#include "atomic_file.h"
#include "cancellation.h"
#include "commands.h"
#include "icc_embed.h"
#include "image_correction.h"
#include "option_checks.h"
#include "progress.h"
#include "saved_file.h"
#include "status_text.h"
#include "uncached_output.h"
#include "worker_processes.h"
#include "utf8_path.h"

namespace aucal {

namespace {

std::string outputPathFor(const CorrectOptions& o, const std::string& input) {
    if (o.inPlace) return input;
    const std::filesystem::path in = utf8Path(input);
    std::filesystem::path name = in.filename();
    if (!o.format.empty()) name.replace_extension("." + o.format);
    if (!o.output.empty()) return o.output;
    std::filesystem::path dir = o.outputDir.empty() ? in.parent_path() : utf8Path(o.outputDir);
    if (o.outputDir.empty()) name = in.stem().u8string() + u8"-corrected" + name.extension().u8string();
    return utf8String(dir / name);
}

// CorrectImage one call at a time: the engine holds one block for the
// process and is called one export at a time.
class LockedCorrection : public StripCorrection {
public:
    LockedCorrection(StripCorrection& inner, std::mutex& lock) : inner_(inner), lock_(lock) {}
    int bitsPerSample() const override { return inner_.bitsPerSample(); }
    bool correct(std::uint8_t* pixels, int width, int rows, std::string* error) override {
        std::lock_guard<std::mutex> hold(lock_);
        return inner_.correct(pixels, width, rows, error);
    }

private:
    StripCorrection& inner_;
    std::mutex& lock_;
};

// What the command line asks for, checked before any work: "" or the sentence.
std::string refusal(const CorrectOptions& o, const std::vector<std::string>& outputs) {
    if (!o.output.empty() && !o.outputDir.empty()) return "give --output (one input) or --output-dir, not both";
    if (!o.output.empty() && o.inputs.size() != 1) return "--output names one file; use --output-dir for several";
    if (o.inPlace && (!o.output.empty() || !o.outputDir.empty() || !o.format.empty()))
        return "--in-place writes each image over itself: --output, --output-dir and --format do not go with it";
    if (!o.output.empty() && !o.format.empty() &&
        imaging::formatFromPath(o.output) != imaging::formatFromPath("x." + o.format))
        return "--format " + o.format + " and --output " + o.output + " disagree: give one or make them agree";
    for (const std::string& out : outputs)
        if (std::string s = extensionConflict(out, {".tga", ".png", ".tif", ".tiff", ".jpg", ".jpeg"}, "an image");
            !s.empty())
            return s;
    return outputConflict(o.inPlace ? std::vector<std::string>{} : o.inputs, outputs);
}

}  // namespace

CorrectionPlan correctionPlanFor(const CorrectOptions& o, const std::string& output) {
    CorrectionPlan plan;
    plan.format = imaging::formatFromPath(output);
    plan.write.jpegQuality = o.jpegQuality;
    plan.reduceTo8Bits = o.reduceTo8Bits;
    if (o.compressionLevel >= 0) plan.write.deflateLevel = o.compressionLevel;
    if (!o.compression.empty()) {
        plan.keepTiffCompression = false;
        plan.write.tiffCompression = o.compression == "none"  ? imaging::Compression::None
                                     : o.compression == "lzw" ? imaging::Compression::Lzw
                                                              : imaging::Compression::Deflate;
    }
    return plan;
}

int runCorrect(const CorrectOptions& o, const CommonOptions& common) {
    std::vector<std::string> outputs;
    for (const std::string& input : o.inputs) outputs.push_back(outputPathFor(o, input));
    if (std::string s = refusal(o, outputs); !s.empty()) return usage(s);
    std::string error;
    std::vector<std::uint8_t> profile;
    if (!o.embed.empty() && !loadRgbProfile(o.embed, &profile, &error)) return fail(error);
    LoadedFile block;
    if (!loadFileOfKind(o.block, {SavedKind::MatrixBlock, SavedKind::LookupBlock}, &block, &error)) return fail(error);
    EngineLibrary engine;
    if (!loadEngine(&engine, &error)) return fail(error);
    const EngineExports& x = engine.exports();
    if (int32_t s = x.initCorrect(block.payload.data(), static_cast<int32_t>(block.payload.size())); s != 0)
        return failExport(Export::InitCorrect, s);

    std::unique_ptr<StripCorrection> eight = engineCorrection(x);
    std::unique_ptr<StripCorrection> sixteen = blockTransform16(block.payload, &error);
    if (!sixteen) {
        x.releaseCorrect();
        return fail(error);
    }

    // The files are spread over the cores: each worker reads, corrects and
    // writes one file at a time. The engine is called one export at a time
    // in each process (CorrectImage under a lock), as the library requires.
    // What each file reports is printed in the order of the inputs.
    std::mutex engineLock, reportLock;
    LockedCorrection locked(*eight, engineLock);
    std::vector<std::string> reports(o.inputs.size());
    std::vector<char> done(o.inputs.size(), 0), failed(o.inputs.size(), 0);
    std::size_t printed = 0;
    auto finish = [&](std::size_t i, bool ok, std::string text) {
        std::lock_guard<std::mutex> lock(reportLock);
        reports[i] = std::move(text);
        failed[i] = ok ? 0 : 1;
        done[i] = 1;
        for (; printed < reports.size() && done[printed]; ++printed) {
            if (failed[printed])
                fail(reports[printed]);
            else if (!common.quiet)
                std::printf("%s\n", reports[printed].c_str());
        }
    };
    auto worker = [&](std::atomic<std::size_t>& next, const ItemReport& finish) {
        // TIFF outputs go to the disk past the file cache, through a buffer
        // each worker keeps for its files.
        UncachedOutput uncached;
        // Between files and strips: a signal stops the batch (no file is
        // committed once it has come).
        for (std::size_t i = next++; i < o.inputs.size() && !cancelled(); i = next++) {
            const std::string& input = o.inputs[i];
            std::string fileError;
            const std::string& out = outputs[i];
            CorrectionPlan plan = correctionPlanFor(o, out);
            plan.progress = [](long long, long long) { return cancelled(); };
            if (plan.format == imaging::Format::Unknown) {
                finish(i, false, out + ": unknown image type (use .tga, .png, .tif, .jpg)");
                continue;
            }
            if (!profile.empty() && plan.format == imaging::Format::Targa) {
                finish(i, false, out + ": a Targa file cannot carry a profile; give --format png, tif or jpg to embed one");
                continue;
            }
            // Corrected into the atomic-write helper's temporary file (and the
            // profile embedded there), which replaces the output only when whole.
            CorrectionOutcome outcome;
            AtomicFile file(out);
            // The disk takes the strips while the rest is corrected (the
            // cached writes of the other kinds, started as they are
            // written): the flush before the rename has little left to wait
            // for.
            plan.written = [&file] { file.startWriteback(); };
            bool written = false;
            try {
                written = file.create(&fileError);
                if (written && plan.format == imaging::Format::Tiff && uncached.start(file.handle()))
                    plan.write.sink = &uncached;
                written = written &&
                          correctImageFile(input, file.temporaryPath(), plan, locked, *sixteen, &outcome, &fileError) &&
                          (profile.empty() ||
                           embedProfileInFile(file.temporaryPath(), file.temporaryPath(), profile, &fileError)) &&
                          file.commit(&fileError);
            } catch (const Cancelled&) {
                outcome.cancelled = true;
            }
            if (!written) {
                finish(i, false, outcome.cancelled ? input + ": cancelled; " + out + " left as it was" : fileError);
                continue;
            }
            std::string text;
            for (const std::string& w : outcome.warnings) text += "warning: " + w + "\n";
            text += "corrected " + input + " -> " + out + " (" + std::to_string(outcome.width) + " x " +
                    std::to_string(outcome.height) +
                    (outcome.pages > 1 ? ", " + std::to_string(outcome.pages) + " pages" : std::string()) + ", " +
                    outcome.route + ")";
            finish(i, true, text);
        }
    };
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t workers = std::min(o.inputs.size(), o.jobs > 0 ? static_cast<std::size_t>(o.jobs) : cores);
    // A worker a process where the platform makes copies (each with its own
    // engine, so that their corrections run side by side); else threads.
    auto lost = [&](std::size_t i) { return o.inputs[i] + ": not corrected (its worker process stopped); " +
                                            outputs[i] + " left as it was"; };
    if (!runInProcesses(static_cast<int>(workers), o.inputs.size(), worker, finish, lost)) {
        std::atomic<std::size_t> next{0};
        std::vector<std::thread> threads;
        for (std::size_t t = 1; t < workers; ++t) threads.emplace_back([&] { worker(next, finish); });
        worker(next, finish);
        for (std::thread& t : threads) t.join();
    }
    int failures = 0;
    for (char f : failed) failures += f;

    x.releaseCorrect();
    throwIfCancelled();
    return failures == 0 ? 0 : 1;
}

namespace {

AddedCommand addCorrect(CLI::App& app, const CommonOptions& common) {
    auto o = std::make_shared<CorrectOptions>();
    auto* cmd = app.add_subcommand("correct", "apply a saved correction block to images")
                    ->footer("Which correction each image takes:\n"
                             "  8-bit images: the engine's CorrectImage, exactly.\n"
                             "  16-bit images: a 16-bit LittleCMS transform built from the block itself (a lookup\n"
                             "    block's input curves and 17^3 grid, a matrix block's matrix and tables), written\n"
                             "    at 16 bits; with --8-bit they are reduced to 8 bits and go through CorrectImage.\n"
                             "  Grey images come out as RGB; alpha, resolution, text, date, TIFF orientation and\n"
                             "  every TIFF page are kept; the output carries no colour profile unless --embed.\n"
                             "Examples:\n  aucal correct --block printer.blk photo.tga\n"
                             "  aucal correct --block monitor.blk --output-dir out/ a.png b.tif c.jpg\n"
                             "  aucal correct --block monitor.blk --embed monitor.icc photo.png\n"
                             "  aucal correct --block printer.blk --in-place photo.png\n"
                             "Without --output, --output-dir or --in-place, photo.png becomes photo-corrected.png.");
    cmd->add_option("--block,-b", o->block, "correction block saved by aucal monitor or aucal printer")->required();
    cmd->add_option("images", o->inputs, "images to correct (Targa, PNG, TIFF, JPEG)")->required();
    cmd->add_option("--output,-o", o->output, "output file (one input only)");
    cmd->add_option("--output-dir", o->outputDir, "folder for the corrected images (created when missing)");
    cmd->add_option("--format", o->format, "output type: tga, png, tif or jpg (default: as the input)")
        ->check(oneOf({"tga", "png", "tif", "jpg"}));
    cmd->add_flag("--in-place", o->inPlace, "write each corrected image over its input (still atomically)");
    cmd->add_flag("--8-bit", o->reduceTo8Bits, "reduce 16-bit images to 8 bits and correct them with CorrectImage");
    cmd->add_option("--jpeg-quality", o->jpegQuality, "quality of JPEG output, 1 to 100")
        ->check(CLI::Range(1, 100))
        ->default_val(92);
    cmd->add_option("--compression", o->compression,
                    "compression of TIFF outputs: none, lzw or deflate (default: the input TIFF's; LZW from\n"
                    "other kinds)")
        ->check(oneOf({"none", "lzw", "deflate"}));
    cmd->add_option("--compression-level", o->compressionLevel,
                    "zlib level of PNG and deflate TIFF outputs: 0 (stored) to 9 (smallest, slowest); default 1,\n"
                    "the fastest")
        ->check(CLI::Range(0, 9));
    cmd->add_option("--jobs,-j", o->jobs, "files corrected at once (default: one per processor core)")
        ->check(CLI::PositiveNumber);
    cmd->add_option("--embed", o->embed, "ICC profile of the output device to embed (PNG, TIFF and JPEG outputs)");
    return {cmd, [o, &common] { return runCorrect(*o, common); }};
}

const RegisterCommand registered(10, addCorrect);

}  // namespace

}  // namespace aucal
