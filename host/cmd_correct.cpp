// aucal correct: a saved block applied to images with InitCorrect and
// CorrectImage.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "command_registry.h"
#include "atomic_file.h"
#include "commands.h"
#include "icc_embed.h"
#include "image_io.h"
#include "saved_file.h"
#include "status_text.h"

namespace aucal {

namespace {

std::string outputPathFor(const CorrectOptions& o, const std::string& input) {
    std::filesystem::path in(input);
    std::filesystem::path name = in.filename();
    if (!o.format.empty()) name.replace_extension("." + o.format);
    if (!o.output.empty()) return o.output;
    std::filesystem::path dir = o.outputDir.empty() ? in.parent_path() : std::filesystem::path(o.outputDir);
    if (o.outputDir.empty()) name = in.stem().string() + "-corrected" + name.extension().string();
    return (dir / name).string();
}

}  // namespace

int runCorrect(const CorrectOptions& o, const CommonOptions& common) {
    if (!o.output.empty() && o.inputs.size() != 1) return fail("--output names one file; use --output-dir for several");
    std::string error;
    std::vector<std::uint8_t> profile;
    if (!o.embed.empty() && !loadRgbProfile(o.embed, &profile, &error)) return fail(error);
    LoadedFile block;
    if (!loadFileOfKind(o.block, {SavedKind::MatrixBlock, SavedKind::LookupBlock}, &block, &error)) return fail(error);
    EngineLibrary engine;
    if (!loadEngine(&engine, &error)) return fail(error);
    const EngineExports& x = engine.exports();
    if (int32_t s = x.initCorrect(block.payload.data(), static_cast<int32_t>(block.payload.size())); s != 0)
        return fail(statusSentence(Export::InitCorrect, s));

    // The files are spread over the cores: each worker reads, corrects and
    // writes one file at a time. The engine is called one export at a time
    // (CorrectImage under a lock), as the library requires; reading and
    // writing, most of the work, run side by side. What each file reports is
    // printed in the order of the inputs.
    std::mutex engineLock, reportLock;
    std::atomic<std::size_t> next{0};
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
    auto worker = [&] {
        for (std::size_t i = next++; i < o.inputs.size(); i = next++) {
            const std::string& input = o.inputs[i];
            std::string fileError;
            RgbImage image;
            if (!readImage(input, &image, &fileError)) {
                finish(i, false, fileError);
                continue;
            }
            ImageBuffer buffer{image.height, image.width, image.pixels.data()};
            int32_t status;
            {
                std::lock_guard<std::mutex> lock(engineLock);
                status = x.correctImage(&buffer);
            }
            if (status != 0) {
                finish(i, false, input + ": " + statusSentence(Export::CorrectImage, status));
                continue;
            }
            const std::string out = outputPathFor(o, input);
            if (!profile.empty() && formatFromPath(out) == ImageFormat::Targa) {
                finish(i, false, out + ": a Targa file cannot carry a profile; give --format png or tif to embed one");
                continue;
            }
            // With --embed, the image is written and the profile embedded under
            // the temporary name, so the output appears whole or not at all.
            const bool written =
                profile.empty() ? writeImage(out, image, &fileError)
                                : writeFileAtomically(out, [&](const std::string& temporary, std::string* e) {
                                      return writeImage(temporary, image, e) &&
                                             embedProfileInFile(temporary, temporary, profile, e);
                                  }, &fileError);
            if (!written) {
                finish(i, false, fileError);
                continue;
            }
            finish(i, true, "corrected " + input + " -> " + out + " (" + std::to_string(image.width) + " x " +
                                std::to_string(image.height) + ")");
        }
    };
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t workers = std::min(o.inputs.size(), o.jobs > 0 ? static_cast<std::size_t>(o.jobs) : cores);
    std::vector<std::thread> threads;
    for (std::size_t t = 1; t < workers; ++t) threads.emplace_back(worker);
    worker();
    for (std::thread& t : threads) t.join();
    int failures = 0;
    for (char f : failed) failures += f;

    x.releaseCorrect();
    return failures == 0 ? 0 : 1;
}

namespace {

AddedCommand addCorrect(CLI::App& app, const CommonOptions& common) {
    auto o = std::make_shared<CorrectOptions>();
    auto* cmd = app.add_subcommand("correct", "apply a saved correction block to images")
                    ->footer("Examples:\n  aucal correct --block printer.blk photo.tga\n"
                             "  aucal correct --block monitor.blk --output-dir out/ a.png b.tif c.tga\n"
                             "  aucal correct --block monitor.blk --embed monitor.icc photo.png");
    cmd->add_option("--block,-b", o->block, "correction block saved by aucal monitor or aucal printer")->required();
    cmd->add_option("images", o->inputs, "images to correct (.tga, .png, .tif)")->required();
    cmd->add_option("--output,-o", o->output, "output file (one input only)");
    cmd->add_option("--output-dir", o->outputDir, "folder for the corrected images");
    cmd->add_option("--format", o->format, "output type: tga, png or tif (default: as the input)")
        ->check(CLI::IsMember({"tga", "png", "tif"}));
    cmd->add_option("--jobs,-j", o->jobs, "files corrected at once (default: one per processor core)")
        ->check(CLI::PositiveNumber);
    cmd->add_option("--embed", o->embed, "ICC profile of the output device to embed (PNG and TIFF outputs)");
    return {cmd, [o, &common] { return runCorrect(*o, common); }};
}

const RegisterCommand registered(10, addCorrect);

}  // namespace

}  // namespace aucal
