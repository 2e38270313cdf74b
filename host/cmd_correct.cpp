// aucal correct: a saved block applied to images with InitCorrect and
// CorrectImage.
#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "image_io.h"
#include "saved_file.h"
#include "status_text.h"

namespace aucal {

bool loadEngine(EngineLibrary* engine, std::string* error) { return engine->load(engineLibraryPath(), error); }

int fail(const std::string& sentence) {
    std::fprintf(stderr, "aucal: %s\n", sentence.c_str());
    return 1;
}

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
        if (!writeImage(out, image, &error)) {
            fail(error);
            ++failures;
            continue;
        }
        if (!common.quiet) std::printf("corrected %s -> %s (%d x %d)\n", input.c_str(), out.c_str(), image.width, image.height);
    }
    x.releaseCorrect();
    return failures == 0 ? 0 : 1;
}

}  // namespace aucal
