// aucal assign: copies of images with an ICC profile embedded, their samples
// untouched. A scanner profile is used this way: assigned to scans, so that
// colour-managed software converts from it.
#include <cstdio>
#include <filesystem>

#include "command_registry.h"
#include "commands.h"
#include "cancellation.h"
#include "icc_embed.h"
#include "option_checks.h"
#include "utf8_path.h"

namespace aucal {

namespace {

std::string assignedPath(const AssignOptions& o, const std::string& input) {
    if (!o.output.empty()) return o.output;
    const std::filesystem::path in = utf8Path(input);
    if (!o.outputDir.empty()) return utf8String(utf8Path(o.outputDir) / in.filename());
    return utf8String(in.parent_path() / (in.stem().u8string() + u8"-profiled" + in.extension().u8string()));
}

}  // namespace

int runAssign(const AssignOptions& o, const CommonOptions& common) {
    if (!o.output.empty() && o.inputs.size() != 1) return usage("--output names one file; use --output-dir for several");
    if (!o.output.empty() && !o.outputDir.empty()) return usage("give --output (one input) or --output-dir, not both");
    std::vector<std::string> outputs;
    for (const std::string& input : o.inputs) outputs.push_back(assignedPath(o, input));
    if (std::string s = outputConflict(o.inputs, outputs); !s.empty()) return usage(s);
    std::string error;
    std::vector<std::uint8_t> profile;
    if (!loadRgbProfile(o.profile, &profile, &error)) return fail(error);
    int failures = 0;
    for (std::size_t i = 0; i < o.inputs.size(); ++i) {
        // Between files: a signal stops the batch here.
        throwIfCancelled();
        const std::string& input = o.inputs[i];
        const std::string& out = outputs[i];
        if (!embedProfileInFile(input, out, profile, &error)) {
            fail(error);
            ++failures;
            continue;
        }
        if (!common.quiet) std::printf("%s -> %s with %s embedded\n", input.c_str(), out.c_str(), o.profile.c_str());
    }
    return failures == 0 ? 0 : 1;
}

namespace {

AddedCommand addAssign(CLI::App& app, const CommonOptions& common) {
    auto o = std::make_shared<AssignOptions>();
    auto* cmd = app.add_subcommand("assign", "copy images with an ICC profile embedded (samples unchanged)")
                    ->footer("Examples:\n  aucal assign --profile scanner.icc scan1.tif scan2.png   (scan1-profiled.tif ...)\n"
                             "  aucal assign --profile scanner.icc --output-dir profiled/ *.jpg");
    cmd->add_option("--profile,-p", o->profile, "ICC profile to embed (RGB)")->required();
    cmd->add_option("images", o->inputs, "PNG, TIFF or JPEG images")->required();
    cmd->add_option("--output,-o", o->output, "output file (one input only)");
    cmd->add_option("--output-dir", o->outputDir, "folder for the copies, under the images' own names");
    return {cmd, [o, &common] { return runAssign(*o, common); }};
}

const RegisterCommand registered(15, addAssign);

}  // namespace

}  // namespace aucal
