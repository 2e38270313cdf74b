// The printer model and the visual match on arbitrary host data: any model
// floats (NaN, infinities, huge values), any measured patches, any printer
// table and phosphor set give complete blocks without undefined conversions
// (the sanitizers of this build check every float-to-integer conversion),
// and leave nothing allocated.
//
// Input layout, each part repeated cyclically from the input so that short
// inputs still fill everything: the model floats, the measured patches, the
// printer table bytes; the first 24 bytes also give the phosphor set and the
// first 12 the matched levels.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/desktop_posix.h"
#include "printer_model.h"
#include "qel_cms.h"

namespace {

template <class T>
void fillCyclic(std::vector<T>& out, const std::uint8_t* data, std::size_t size, std::size_t skip) {
    const std::size_t bytes = out.size() * sizeof(T);
    std::vector<std::uint8_t> raw(bytes);
    for (std::size_t i = 0; i < bytes; ++i) raw[i] = data[(skip + i) % size];
    std::memcpy(out.data(), raw.data(), bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 24) return 0;
    std::vector<float> model(QEL_MODEL_FLOATS);
    std::vector<float> measured(3 * 512);
    std::vector<std::uint8_t> table(QEL_LUT_BLOCK_SIZE);
    fillCyclic(model, data, size, 0);
    fillCyclic(measured, data, size, 7);
    fillCyclic(table, data, size, 13);

    std::vector<std::uint8_t> block(QEL_LUT_BLOCK_SIZE);
    if (qel::BuildPrinterLut(reinterpret_cast<const qel::PrinterRgb*>(measured.data()), block.data(), model.data(),
                             nullptr, nullptr) != qel::PrinterLutResult::Completed)
        std::abort();
    int32_t lutSize = 0;
    if (PrinterTargetOpenAnalysis(table.data(), &lutSize, model.data(), 0, nullptr, nullptr) != QEL_PRINTER_OPEN_OK ||
        lutSize != QEL_LUT_BLOCK_SIZE)
        std::abort();

    float phosphors[6];
    std::memcpy(phosphors, data, sizeof phosphors);
    SetPhosphorType(phosphors[0], phosphors[1], phosphors[2], phosphors[3], phosphors[4], phosphors[5]);
    std::int32_t levels[3];
    std::memcpy(levels, data, sizeof levels);
    std::vector<std::uint8_t> matrix(QEL_MATRIX_BLOCK_SIZE);
    int32_t matrixSize = 0;
    if (VisualMatch(levels[0], levels[1], levels[2], matrix.data(), &matrixSize, model.data()) != QEL_VISUAL_OK)
        std::abort();
    // The block loads and corrects without undefined arithmetic.
    if (InitCorrect(matrix.data(), matrixSize) != QEL_INIT_OK) std::abort();
    std::uint8_t pixels[12] = {0, 0, 0, 255, 255, 255, 1, 128, 254, 77, 3, 200};
    ImageBuffer image{1, 4, pixels};
    CorrectImage(&image);
    ReleaseCorrect();
    if (pfdOpenFiles() != 0 || pfdLiveGlobalBlocks() != 0) std::abort();
    return 0;
}
