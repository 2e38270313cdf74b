// virtual-it8: writes a scanned virtual IT8.7/2 target as a Targa file (as
// the scanner drivers write it) and the matching reference data file.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "imaging/targa.h"
#include "it8_target/virtual_it8.h"

int main(int argc, char** argv) {
    CLI::App app{"Writes a virtual IT8.7/2 target scan (Targa) and its reference data file."};
    std::string targaPath = "it8_target.tga";
    std::string referencePath = "it8_reference.txt";
    std::string presetName = "mild";
    it8sim::TargetOptions options;
    double noise = 0.0;
    std::uint64_t seed = 1;
    app.add_option("-o,--out", targaPath, "Targa file to write");
    app.add_option("-r,--reference", referencePath, "IT8.7/2 reference data file to write ('' for none)");
    app.add_option("--dpi", options.dpi, "resolution in dots per inch")->check(CLI::Range(10.0, 2400.0));
    app.add_option("--preset", presetName, "scanner response: mild, nonlinear, crosstalk, linear");
    app.add_option("--tilt", options.tiltDegrees, "target turned on the glass, degrees")->check(CLI::Range(-20.0, 20.0));
    app.add_option("--skew", options.skewDegrees, "lean of the vertical edges, degrees")->check(CLI::Range(-20.0, 20.0));
    app.add_flag("--half-turn", options.halfTurn, "target turned by half a turn");
    app.add_option("--interrupt", options.interruptRow, "file row crossed by a light stripe (-1: none)");
    app.add_option("--interrupt-rows", options.interruptRows, "height of the stripe in rows")->check(CLI::Range(1, 1000));
    app.add_option("--noise", noise, "noise standard deviation in levels")->check(CLI::Range(0.0, 50.0));
    app.add_option("--seed", seed, "noise seed");
    CLI11_PARSE(app, argc, argv);

    const auto preset = it8sim::presetFromName(presetName);
    if (!preset) {
        std::fprintf(stderr, "virtual-it8: unknown preset '%s'\n", presetName.c_str());
        return 2;
    }
    it8sim::ScannerResponse response = it8sim::responsePreset(*preset);
    response.noiseSigma = noise;
    response.seed = seed;

    const it8sim::It8ReferenceSet refs = it8sim::makeIt8Reference();
    const imaging::Image raster = it8sim::renderIt8TargetRgb(refs, response, options);
    std::string error;
    if (!imaging::writeTarga(targaPath, raster, &error)) {
        std::fprintf(stderr, "virtual-it8: %s\n", error.c_str());
        return 1;
    }
    if (!referencePath.empty() && !it8sim::writeIt8ReferenceFile(referencePath, refs)) {
        std::fprintf(stderr, "virtual-it8: cannot write %s\n", referencePath.c_str());
        return 1;
    }
    std::printf("%s: %d x %d pixels at %g dpi, response %s\n", targaPath.c_str(), raster.width, raster.height,
                options.dpi, presetName.c_str());
    return 0;
}
