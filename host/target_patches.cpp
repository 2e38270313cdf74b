#include "target_patches.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine_library.h"
#include "engine_state.h"
#include "image_io.h"
#include "imaging/image_file.h"
#include "it8_reference.h"
#include "it8_target_image.h"
#include "scratch_file.h"
#include "targa.h"
#include "utf8_path.h"

namespace aucal {

namespace {

bool say(std::string* error, const std::string& sentence) {
    if (error) *error = sentence;
    return false;
}

// Whether the file's first stored row is the top of the picture (the Targa
// origin bit); the engine reads rows as stored.
bool storedTopFirst(const std::string& path) {
    qel::TargaImageFile header{};
    std::ifstream in(utf8Path(path), std::ios::binary);
    in.read(reinterpret_cast<char*>(&header), sizeof header);
    return in && (header.descriptor & 0x20) != 0;
}

std::vector<std::array<double, 3>> toRgb(const qel::PatchRecord& record) {
    std::vector<std::array<double, 3>> rgb(kPatchCount);
    for (int i = 0; i < kPatchCount; ++i)
        for (int c = 0; c < 3; ++c) rgb[i][c] = record.entry[i][c];
    return rgb;
}

}  // namespace

std::vector<std::string> patchNames() {
    std::vector<std::string> names(kPatchCount);
    for (int row = 1; row <= 12; ++row)
        for (int column : qel::kUsedColumns) {
            char name[8];
            std::snprintf(name, sizeof name, "%c%d", 'A' + row - 1, column);
            names[qel::ChromaticPatchIndex(row, column)] = name;
        }
    for (int n = 1; n <= qel::kGreyPatches; ++n) names[qel::GreyPatchIndex(n)] = "GS" + std::to_string(n);
    return names;
}

bool readTargetPatches(const std::string& imagePath, TargetReading* reading, std::string* error) {
    // The engine reads the system's Targa files only: any other picture
    // is handed to it as one, in a temporary file.
    if (imaging::formatFromPath(imagePath) != imaging::Format::Targa) {
        RgbImage image;
        if (!readImage(imagePath, &image, error)) return false;
        ScratchFile temporary;
        if (!temporary.create(".tga", error) || !writeImage(temporary.path(), image, error)) return false;
        const bool ok = readTargetPatches(temporary.path(), reading, error);
        if (!ok) return say(error, "the engine does not find the IT8.7/2 target in " + imagePath);
        return true;
    }
    qel::It8Frame frame;
    if (qel::ReadIt8TargetImage(libraryPathArgument(imagePath).c_str(), &frame) != 0)
        return say(error, "the engine does not find the IT8.7/2 target in " + imagePath);
    const bool topFirst = storedTopFirst(imagePath);
    auto row = [&](double y) { return topFirst ? y : frame.height - 1 - y; };
    *reading = TargetReading{};
    reading->width = frame.width;
    reading->height = frame.height;
    const qel::EdgeTrace& l = frame.left;
    const qel::EdgeTrace& r = frame.right;
    reading->frame = {PixelPoint{double(l.x0), row(l.y0)}, PixelPoint{double(l.x1), row(l.y1)},
                      PixelPoint{double(r.x1), row(r.y1)}, PixelPoint{double(r.x0), row(r.y0)}};
    auto addWindow = [&](int cellRow, int cellColumn) {
        const qel::PatchWindow w = qel::It8PatchWindow(l, r, frame.width, frame.height, cellRow, cellColumn);
        if (w.empty()) return;
        const int y0 = static_cast<int>(row(w.y0)), y1 = static_cast<int>(row(w.y1));
        reading->windows.push_back({w.x0, std::min(y0, y1), w.x1, std::max(y0, y1)});
    };
    for (int cellRow = 1; cellRow <= 12; ++cellRow)
        for (int column = 1; column <= 22; ++column) addWindow(cellRow, column);
    for (int column = 1; column <= 22; ++column) addWindow(qel::kGreyScaleCellRow, column);
    qel::PatchRecord measured{};
    qel::FillMeasuredRecord(qel::g_engine.targetPatches, &measured);
    reading->rgb = toRgb(measured);
    // The windows again, their sums divided as they are.
    RgbImage image;
    if (!readImage(imagePath, &image, error)) return false;
    auto mean = [&](int cellRow, int cellColumn) {
        std::array<double, 3> m{0, 0, 0};
        const qel::PatchWindow w = qel::It8PatchWindow(l, r, frame.width, frame.height, cellRow, cellColumn);
        if (w.empty()) return m;
        const int y0 = static_cast<int>(row(w.y0)), y1 = static_cast<int>(row(w.y1));
        double count = 0;
        for (int y = std::min(y0, y1); y <= std::max(y0, y1); ++y)
            for (int x = w.x0; x <= w.x1; ++x, ++count)
                for (int c = 0; c < 3; ++c) m[c] += image.row(y)[3 * x + c];
        for (double& v : m) v /= count;
        return m;
    };
    reading->meanRgb.assign(kPatchCount, {0, 0, 0});
    for (int cellRow = 1; cellRow <= 12; ++cellRow)
        for (int column : qel::kUsedColumns) reading->meanRgb[qel::ChromaticPatchIndex(cellRow, column)] = mean(cellRow, column);
    for (int n = 1; n <= qel::kGreyPatches; ++n) reading->meanRgb[qel::GreyPatchIndex(n)] = mean(qel::kGreyScaleCellRow, n);
    return true;
}

bool readReferenceXyz(const std::string& path, std::vector<Xyz3>* xyz, std::string* error) {
    qel::PatchRecord reference{};
    if (path.empty()) {
        qel::LoadDefaultIt8Reference(&reference);
    } else {
        const int status = qel::ReadIt8Reference(&reference, libraryPathArgument(path).c_str());
        if (status == QEL_SCANNER_REFERENCE_UNOPENED) return say(error, "cannot open the reference data file " + path);
        if (status != QEL_SCANNER_OK)
            return say(error, "the engine does not accept the reference data file " + path +
                                  " (an IT8.7/2 file with XYZ_X, XYZ_Y and XYZ_Z for all 130 patches)");
    }
    xyz->assign(kPatchCount, Xyz3{});
    for (int i = 0; i < kPatchCount; ++i)
        for (int c = 0; c < 3; ++c) (*xyz)[i][c] = reference.entry[i][c];
    return true;
}

bool loadPatchSet(const std::string& imagePath, const std::string& referencePath, PatchSet* patches,
                  std::string* error) {
    TargetReading reading;
    if (!readTargetPatches(imagePath, &reading, error)) return false;
    patches->rgb = reading.meanRgb;
    return readReferenceXyz(referencePath, &patches->xyz, error);
}

}  // namespace aucal
