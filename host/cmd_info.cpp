// aucal info: what a file holds, in words and figures. The kind is found
// from the content: aucal's saved models and blocks, printer tables, images,
// ICC profiles, target reference data, scanner session traces, patch exports
// and aucal's HTML pages.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "command_registry.h"
#include "commands.h"
#include "describe_file.h"
#include "imaging/image_file.h"
#include "qel_layout.h"
#include "saved_file.h"
#include "trace.h"
#include "utf8_path.h"

namespace aucal {

namespace {

namespace sm = qel::scanner_model;

float floatAt(const std::vector<std::uint8_t>& bytes, std::size_t index) {
    float f;
    std::memcpy(&f, &bytes[4 * index], 4);
    return f;
}

void describeModel(const std::vector<std::uint8_t>& m) {
    std::printf("  tone curves (relative luminance at levels 0, 64, 128, 192, 255):\n");
    const char* names[3] = {"red", "green", "blue"};
    for (int c = 0; c < 3; ++c) {
        std::printf("    %-5s", names[c]);
        for (int v : {0, 64, 128, 192, 255}) std::printf(" %8.5f", floatAt(m, sm::toneIndex(c, v)));
        std::printf("\n");
    }
    std::printf("  linear matrix (raw levels to XYZ / target white), rows X, Y, Z: constant, R, G, B\n");
    for (int r = 0; r < 3; ++r)
        std::printf("    %10.6f %10.6f %10.6f %10.6f\n", floatAt(m, sm::linearMatrixIndex(r, 0)),
                    floatAt(m, sm::linearMatrixIndex(r, 1)), floatAt(m, sm::linearMatrixIndex(r, 2)),
                    floatAt(m, sm::linearMatrixIndex(r, 3)));
    const std::size_t black = sm::gridIndex(0, 0, 0), white = sm::gridIndex(16, 16, 16);
    std::printf("  grid: scanner black L*a*b* %.2f %.2f %.2f, scanner white %.2f %.2f %.2f\n", floatAt(m, black),
                floatAt(m, black + 1), floatAt(m, black + 2), floatAt(m, white), floatAt(m, white + 1),
                floatAt(m, white + 2));
    int nonFinite = 0;
    for (int i = 0; i < sm::kFloats; ++i)
        if (!std::isfinite(floatAt(m, i))) ++nonFinite;
    const std::string finite = nonFinite == 0 ? "all " + std::to_string(sm::kFloats) + " values finite"
                                              : std::to_string(nonFinite) + " values not finite";
    std::printf("  %s\n", finite.c_str());
}

// Entries at three levels of each of the three 256-entry tables a block
// starts with: "R a b c, G a b c, B a b c".
std::string tableEntries(const std::vector<std::uint8_t>& b, int l0, int l1, int l2) {
    std::string s;
    for (int c = 0; c < 3; ++c) {
        char part[40];
        std::snprintf(part, sizeof part, "%s%c %d %d %d", c ? ", " : "", "RGB"[c], b[qel::blockTableOffset(c, l0)],
                      b[qel::blockTableOffset(c, l1)], b[qel::blockTableOffset(c, l2)]);
        s += part;
    }
    return s;
}

void describeMatrixBlock(const std::vector<std::uint8_t>& b) {
    std::printf("  matrix (scanner levels to linear monitor drive x 255), rows R, G, B: constant, R, G, B\n");
    for (int r = 0; r < 3; ++r) {
        float v[4];
        for (int j = 0; j < 4; ++j) v[j] = qel::loadFloatLE(&b[qel::matrixEntryOffset(r, j)]);
        std::printf("    %10.4f %10.4f %10.4f %10.4f\n", v[0], v[1], v[2], v[3]);
    }
    std::printf("  gamma tables at levels 64, 128, 192: %s\n", tableEntries(b, 64, 128, 192).c_str());
}

void describeLookupBlock(const std::vector<std::uint8_t>& b) {
    std::printf("  input tables at levels 0, 128, 255: %s\n", tableEntries(b, 0, 128, 255).c_str());
    auto node = [&](int i0, int i1, int i2) { return &b[qel::lutNodeOffset(i0, i1, i2)]; };
    const std::uint8_t* k = node(0, 0, 0);
    const std::uint8_t* w = node(16, 16, 16);
    const std::uint8_t* g = node(8, 8, 8);
    std::printf("  grid 17 x 17 x 17: black -> %d %d %d, middle grey -> %d %d %d, white -> %d %d %d\n", k[0], k[1], k[2],
                g[0], g[1], g[2], w[0], w[1], w[2]);
}

// The figures saved with the file, as the characterisation printed them.
void printNote(const LoadedFile& file) {
    if (file.version < 2) std::printf("  saved before files carried their quality figures (format version 1)\n");
    std::size_t start = 0;
    for (std::size_t end; (end = file.note.find('\n', start)) != std::string::npos; start = end + 1)
        std::printf("  %s\n", file.note.substr(start, end - start).c_str());
}

void describePrinterTable(const std::string& path, const std::vector<std::uint8_t>& b) {
    std::printf("%s: printer table, %zu bytes: 17 x 17 x 17 nodes of printer R, G, B (for aucal printer --table)\n",
                path.c_str(), b.size());
    const struct {
        const char* name;
        int i0, i1, i2;
    } nodes[] = {{"black", 0, 0, 0}, {"middle grey", 8, 8, 8}, {"white", 16, 16, 16},
                 {"red", 16, 0, 0},  {"green", 0, 16, 0},      {"blue", 0, 0, 16}};
    for (const auto& n : nodes) {
        const std::uint8_t* p = &b[qel::gridNodeOffset(n.i0, n.i1, n.i2)];
        std::printf("  %-11s -> printer %3d %3d %3d\n", n.name, p[0], p[1], p[2]);
    }
}

bool describeTrace(const std::string& path, std::string* error) {
    sim::trace::Trace trace;
    if (!sim::trace::read(path, &trace, error)) return false;
    std::printf("%s: scanner session trace, version %u, %s dialect, %zu calls, recorded through %s\n", path.c_str(),
                trace.header.version, sim::dialectName(trace.header.dialect), trace.calls.size(),
                trace.header.library.c_str());
    std::printf("  aucal trace show %s lists its calls\n", path.c_str());
    return true;
}

bool describeSaved(const std::string& path, std::string* error) {
    LoadedFile file;
    if (!loadFile(path, &file, error)) return false;
    std::printf("%s: %s, %zu bytes, checksum good\n", path.c_str(), kindName(file.kind), file.payload.size());
    printNote(file);
    switch (file.kind) {
        case SavedKind::ScannerModel: describeModel(file.payload); break;
        case SavedKind::MatrixBlock: describeMatrixBlock(file.payload); break;
        case SavedKind::LookupBlock: describeLookupBlock(file.payload); break;
    }
    return true;
}

bool readWhole(const std::string& path, std::vector<std::uint8_t>* bytes, std::string* error) {
    std::ifstream in(utf8Path(path), std::ios::binary);
    if (!in) {
        *error = "cannot open " + path;
        return false;
    }
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// What the file is, from its content (never its name), described.
bool describe(const std::string& path, std::string* error) {
    std::vector<std::uint8_t> head(132);
    {
        std::ifstream in(utf8Path(path), std::ios::binary);
        if (!in) {
            *error = "cannot open " + path;
            return false;
        }
        in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
        head.resize(static_cast<std::size_t>(in.gcount()));
    }
    const imaging::Format image = imaging::formatFromSignature(head.data(), head.size());
    std::vector<std::uint8_t> bytes;
    if (head.size() >= 8 && std::memcmp(head.data(), "AUCALSAV", 8) == 0) return describeSaved(path, error);
    if (looksLikeProfile(head)) return readWhole(path, &bytes, error) && describeProfile(path, bytes, error);
    if (head.size() >= 2 && head[0] == 0x1F && head[1] == 0x8B) return describeTrace(path, error);
    if (image != imaging::Format::Unknown && image != imaging::Format::Targa) return describeImage(path, error);
    if (looksLikeReference(head))
        return readWhole(path, &bytes, error) && describeReference(path, std::string(bytes.begin(), bytes.end()), error);
    // Targa has no signature and a printer table no header: a file that the
    // Targa reader refuses may still be a table.
    std::string notTarga;
    if (image == imaging::Format::Targa && describeImage(path, &notTarga)) return true;
    if (!readWhole(path, &bytes, error)) return false;
    if (isPrinterTable(bytes)) {
        describePrinterTable(path, bytes);
        return true;
    }
    if (describeAucalText(path, std::string(bytes.begin(), bytes.end()))) return true;
    *error = notTarga.empty() ? path + " is not a file aucal knows: not a saved model or block, printer table, image "
                                       "(Targa, PNG, TIFF, JPEG), ICC profile, target reference data, scanner trace, patch "
                                       "export or aucal page"
                              : notTarga;
    return false;
}

}  // namespace

int runInfo(const InfoOptions& o) {
    int failures = 0;
    for (const std::string& path : o.files) {
        std::string error;
        if (!describe(path, &error)) {
            fail(error);
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

namespace {

AddedCommand addInfo(CLI::App& app, const CommonOptions&) {
    auto o = std::make_shared<InfoOptions>();
    auto* cmd = app.add_subcommand("info", "describe any file aucal reads or writes: model, block, image, profile, ...")
                    ->footer("The kind is found from the content: saved models and blocks (with their quality figures),\n"
                             "printer tables, images (Targa, PNG, TIFF, JPEG; every page), ICC profiles, target\n"
                             "reference data, scanner traces, patch exports and aucal's pages. A file of another\n"
                             "kind gives exit status 1.\n"
                             "Examples:\n  aucal info scanner.mdl monitor.blk scan.tga\n"
                             "  aucal info photo.tif scanner.icc it8-reference.txt printer.tbl");
    cmd->add_option("files", o->files, "files to describe")->required();
    return {cmd, [o] { return runInfo(*o); }};
}

const RegisterCommand registered(20, addInfo);

}  // namespace

}  // namespace aucal
