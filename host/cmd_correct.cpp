// aucal correct: a saved block applied to images with InitCorrect and
// CorrectImage.
#include <cstdio>
#include <filesystem>

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

    int failures = 0;
    for (const std::string& input : o.inputs) {
        RgbImage image;
        if (!readImage(input, &image, &error)) {
            fail(error);
            ++failures;
            continue;
        }
        ImageBuffer buffer{image.height, image.width, image.pixels.data()};
        if (int32_t s = x.correctImage(&buffer); s != 0) {
            fail(input + ": " + statusSentence(Export::CorrectImage, s));
            ++failures;
            continue;
        }
        const std::string out = outputPathFor(o, input);
        if (!profile.empty() && formatFromPath(out) == ImageFormat::Targa) {
            fail(out + ": a Targa file cannot carry a profile; give --format png or tif to embed one");
            ++failures;
            continue;
        }
        // With --embed, the image is written and the profile embedded under
        // the temporary name, so the output appears whole or not at all.
        const bool written = profile.empty() ? writeImage(out, image, &error)
                                             : writeFileAtomically(out, [&](const std::string& temporary, std::string* e) {
                                                   return writeImage(temporary, image, e) &&
                                                          embedProfileInFile(temporary, temporary, profile, e);
                                               }, &error);
        if (!written) {
            fail(error);
            ++failures;
            continue;
        }
        if (!common.quiet) std::printf("corrected %s -> %s (%d x %d)\n", input.c_str(), out.c_str(), image.width, image.height);
    }
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
    cmd->add_option("--embed", o->embed, "ICC profile of the output device to embed (PNG and TIFF outputs)");
    return {cmd, [o, &common] { return runCorrect(*o, common); }};
}

const RegisterCommand registered(10, addCorrect);

}  // namespace

}  // namespace aucal
