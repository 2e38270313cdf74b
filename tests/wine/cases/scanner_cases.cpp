// ScannerIT8Analysis on both platforms: the same virtual target scans and
// reference files must give the same model bytes, statuses and progress.
#include <cstdint>
#include <string>
#include <vector>

#include "crosscheck.h"
#include "qel_cms.h"
#include "qel_layout.h"

#ifndef _WIN32
#include "imaging/targa.h"
#include "it8_target/virtual_it8.h"
#endif

namespace {

using crosscheck::callCdecl;
using crosscheck::check;
using crosscheck::require;
using Bytes = std::vector<std::uint8_t>;

// The scans: name, response, resolution, noise, tilt.
struct ScanCase {
    const char* name;
    int preset;  // it8sim::ResponsePreset
    double dpi;
    double noise;
    double tilt;
};
constexpr ScanCase kScans[] = {
    {"mild", 0, 100, 1.0, 0.0},
    {"nonlinear", 1, 150, 2.0, 0.0},
    {"crosstalk", 2, 100, 0.5, 1.5},
};

std::string text(const char* prefix, long a) {
    std::string t(prefix);
    t += std::to_string(a);
    return t;
}

std::string inputName(const ScanCase& s, const char* suffix) {
    std::string n = "scanner/";
    n += s.name;
    n += suffix;
    return n;
}

struct Result {
    std::int32_t status = -1;
    std::int32_t size = -1;
    std::vector<float> model;
};

Result analyse(const crosscheck::Library& engine, int useFile, const std::string& image, const std::string& reference,
               ProgressRecord* record) {
    Result r;
    r.model.assign(QEL_MODEL_FLOATS, 0.0f);
    r.status = callCdecl<std::int32_t>(engine, "ScannerIT8Analysis", static_cast<std::int32_t>(useFile), image.c_str(),
                                       r.model.data(), &r.size, reference.empty() ? nullptr : reference.c_str(),
                                       record,
                                       record ? reinterpret_cast<ProgressCallback>(&crosscheck::recordProgress)
                                              : static_cast<ProgressCallback>(nullptr));
    return r;
}

void writeModel(const std::string& name, const Result& r) {
    crosscheck::writeOutput(name, r.model.data(), r.model.size() * sizeof(float));
}

void writeText(const std::string& name, const std::string& body) { crosscheck::writeOutput(name, body.data(), body.size()); }

}  // namespace

#ifndef _WIN32
CROSSCHECK_INPUT(scanner_targets) {
    const it8sim::It8ReferenceSet refs = it8sim::makeIt8Reference();
    for (const ScanCase& s : kScans) {
        it8sim::ScannerResponse response = it8sim::responsePreset(static_cast<it8sim::ResponsePreset>(s.preset));
        response.noiseSigma = s.noise;
        response.seed = 11;
        it8sim::TargetOptions options;
        options.dpi = s.dpi;
        options.tiltDegrees = s.tilt;
        crosscheck::writeInput(inputName(s, ".tga"),
                               imaging::encodeTarga(it8sim::renderIt8TargetRgb(refs, response, options)));
    }
    const std::string reference = it8sim::it8ReferenceText(refs);
    crosscheck::writeInput("scanner/reference.txt", Bytes(reference.begin(), reference.end()));
    // The same file with CR LF line ends, which must read the same.
    std::string crlf;
    for (char c : reference) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    crosscheck::writeInput("scanner/reference_crlf.txt", Bytes(crlf.begin(), crlf.end()));
    const std::string broken = "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID XYZ_X XYZ_Y XYZ_Z\n";
    crosscheck::writeInput("scanner/broken.txt", Bytes(broken.begin(), broken.end()));
}
#endif

CROSSCHECK_CASE(scanner_models) {
    crosscheck::Library engine = crosscheck::loadLibrary("qel_cms");
    const std::string reference = crosscheck::inputPath("scanner/reference.txt");
    std::string summary;
    for (const ScanCase& s : kScans) {
        ProgressRecord record{0, 0, 0};
        const Result r = analyse(engine, 1, crosscheck::inputPath(inputName(s, ".tga")), reference, &record);
        check(r.status == QEL_SCANNER_OK, text("status of the scan ", r.status) + " for " + s.name);
        check(r.size == QEL_MODEL_SIZE, text("model size ", r.size));
        writeModel(std::string("scanner/") + s.name + ".model", r);
        summary += std::string(s.name) + text(" status ", r.status) + text(" size ", r.size) + "\n";
    }
    writeText("scanner/summary.txt", summary);
    writeText("scanner/progress.txt", crosscheck::progressText());
}

CROSSCHECK_CASE(scanner_reference_sources) {
    crosscheck::Library engine = crosscheck::loadLibrary("qel_cms");
    const std::string image = crosscheck::inputPath(inputName(kScans[0], ".tga"));
    // Built-in table; the path is not looked at.
    const Result builtIn = analyse(engine, 0, image, crosscheck::inputPath("scanner/broken.txt"), nullptr);
    check(builtIn.status == QEL_SCANNER_OK, text("built-in table status ", builtIn.status));
    writeModel("scanner/mild_builtin.model", builtIn);
    // CR LF line ends give the model of the LF file.
    const Result crlf = analyse(engine, 1, image, crosscheck::inputPath("scanner/reference_crlf.txt"), nullptr);
    check(crlf.status == QEL_SCANNER_OK, text("CR LF reference status ", crlf.status));
    writeModel("scanner/mild_crlf.model", crlf);
}

CROSSCHECK_CASE(scanner_failures) {
    crosscheck::Library engine = crosscheck::loadLibrary("qel_cms");
    const std::string image = crosscheck::inputPath(inputName(kScans[0], ".tga"));
    const std::string reference = crosscheck::inputPath("scanner/reference.txt");
    std::string statuses;
    const Result noImage = analyse(engine, 1, crosscheck::inputPath("scanner/none.tga"), reference, nullptr);
    statuses += text("no image ", noImage.status) + text(" size ", noImage.size) + "\n";
    const Result noFile = analyse(engine, 1, image, crosscheck::inputPath("scanner/none.txt"), nullptr);
    statuses += text("no reference ", noFile.status) + text(" size ", noFile.size) + "\n";
    const Result broken = analyse(engine, 1, image, crosscheck::inputPath("scanner/broken.txt"), nullptr);
    statuses += text("broken reference ", broken.status) + text(" size ", broken.size) + "\n";
    check(noImage.status == QEL_SCANNER_IMAGE_UNREADABLE, text("no image ", noImage.status));
    check(noFile.status == QEL_SCANNER_REFERENCE_UNOPENED, text("no reference ", noFile.status));
    check(broken.status == QEL_SCANNER_REFERENCE_INVALID, text("broken reference ", broken.status));

    crosscheck::withFocusWindow([&](crosscheck::FocusWindow& window) {
        window.postKeyDown(crosscheck::kVkEscape);
        ProgressRecord record{window.handle32(), 0, 0};
        const Result cancelled = analyse(engine, 1, image, reference, &record);
        check(cancelled.status == QEL_SCANNER_CANCELLED, text("Escape status ", cancelled.status));
        check(cancelled.size == -1, "modelSize set by a cancelled analysis");
        statuses += text("escape ", cancelled.status) + text(" size ", cancelled.size) + "\n";
        // The model as far as it got: curves, fits, no grid node.
        crosscheck::writeOutput("scanner/cancelled_head.model", cancelled.model.data(), qel::scanner_model::kGrid * sizeof(float));
    });
    writeText("scanner/failures.txt", statuses);
    writeText("scanner/failures_progress.txt", crosscheck::progressText());
}
