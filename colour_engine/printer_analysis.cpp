// PrinterTargetAnalysis: a scan of the printed chart and the scanner model
// in, a LutCorrectionBlock out. The chart locator samples the 512 patches;
// the printer model inverts them.
#include "job.h"
#include "printer_model.h"
#include "printer_target_image.h"
#include "platform/raii.hpp"
#include "qel_cms.h"

namespace {

constexpr int kPatchRows = 32;
constexpr int kPatchColumns = 16;
// Room for 513 patches, as the measured table has always been allocated.
constexpr std::size_t kMeasuredBytes = 513 * sizeof(qel::PrinterRgb);

}  // namespace

extern "C" {

QEL_API int32_t QEL_CDECL PrinterTargetAnalysis(const char* imagePath, void* block, int32_t* blockSize,
                                                const float* model, int32_t /*unused*/, ProgressRecord* progress,
                                                ProgressCallback callback) {
    using qel::reportProgress;
    reportProgress(progress, callback, 0);
    // Without a model there is nothing to convert the patches with.
    if (model == nullptr) return QEL_PRINTER_NO_MODEL;
    reportProgress(progress, callback, 5);

    const qel::ChartStatus found = qel::ReadPrinterTargetImage(imagePath);
    if (found != qel::ChartStatus::Found) return static_cast<int32_t>(found);
    reportProgress(progress, callback, 15);

    pf::LockedGlobal measured(qel::kMovableZeroed, kMeasuredBytes);
    if (!measured.ok()) return QEL_PRINTER_NO_MEMORY;
    auto* patches = measured.as<qel::PrinterRgb>();
    const auto& table = qel::g_engine.printerAnalysis.patchTable;
    for (int i = 0; i < kPatchRows; ++i) {
        for (int j = 0; j < kPatchColumns; ++j) {
            float* p = patches[kPatchColumns * i + j];
            p[0] = static_cast<float>(table[i][j].r);
            p[1] = static_cast<float>(table[i][j].g);
            p[2] = static_cast<float>(table[i][j].b);
        }
    }

    const qel::PrinterLutResult result =
        qel::BuildPrinterLut(patches, static_cast<std::uint8_t*>(block), model, progress, callback);
    if (result != qel::PrinterLutResult::Completed) return QEL_PRINTER_CANCELLED;
    if (blockSize != nullptr) *blockSize = QEL_LUT_BLOCK_SIZE;
    return QEL_PRINTER_OK;
}

}  // extern "C"
