#include "scan_run.h"

#include <optional>

#include "command_layer.h"
#include "driver_state.h"
#include "image_output.h"
#include "messages.h"
#include "popup.h"

namespace drv {

namespace {

constexpr std::uint16_t kHighestType = 2;

// Ends the steps' per-run holdings on every exit.
struct StepsRun {
    DialectSteps& steps;
    ~StepsRun() { steps.endRun(); }
};

// Loads the model's library and checks its adapter; shows the model's message
// when either fails.
bool openLibrary(const DriverRecord& record, DialectSteps& steps, PfWindow host, PassThroughLibrary& library,
                 BufferRules& rules) {
    std::string path;
    if (!steps.findLibrary(record, path, rules) || !library.load(path.c_str(), record.adapterCheck)) {
        if (record.loadFailureMessage != 0) showMessage(host, static_cast<Text>(record.loadFailureMessage));
        return false;
    }
    if (record.adapterCheck && library.checkAdapter() == 0) {
        if (record.adapterFailureMessage != 0) showMessage(host, static_cast<Text>(record.adapterFailureMessage));
        return false;
    }
    return true;
}

// Window, shading, tone tables and start scan, under the wait cursor and the
// warm-up popup. Nothing when the scanner is scanning; else the run's result.
std::optional<ScanResult> startScan(RunContext& run, DialectSteps& steps, PfDialogProc popupProcedure) {
    const DriverRecord& record = run.record;
    // The adapter type scans the transparency window, with its own source byte.
    const WindowInches& inches = record.windows[run.type == 0 ? 0 : 1];
    const std::uint32_t unit = record.fixedWindowUnit != 0 ? record.fixedWindowUnit : run.identity.windowUnit;
    ScanWindow scanWindow{};
    if (!computeWindow(inches, unit, scanWindow)) return ScanResult::Failed;
    DriverState& state = driverState();
    sendSetWindow(run, scanWindow);
    WaitCursor cursor;
    Popup popup(run.host, popupProcedure);
    if (state.blocks.setWindow.status != 0) {
        reportScannerError(run, state.blocks.setWindow.status);
        return ScanResult::Failed;
    }

    switch (steps.shading(run)) {
    case StepResult::Done: break;
    case StepResult::Failed: return ScanResult::Failed;
    case StepResult::ShadingMemory: return ScanResult::ShadingMemory;
    }
    if (!steps.sendGamma(run)) return ScanResult::Failed;

    StartScanBlock& start = state.blocks.startScan;
    start.request = 0;
    run.transport.call(&start, FunctionCode::StartScan);
    popup.destroy();
    cursor.restore();
    if (start.status != 0) {
        reportScannerError(run, start.status);
        return ScanResult::Failed;
    }
    return std::nullopt;
}

// Reads the image into memory and writes it to fileName. Every failure leaves
// the cleaning up to the destructors: the image file removes itself unless kept.
ScanResult saveImage(RunContext& run, DialectSteps& steps, PassThroughLibrary& library, const char* fileName,
                     const ImageGeometry& geometry, Progress& progress) {
    ImageFile file;
    if (!file.create(fileName)) {
        showMessage(run.host, Text::WriteDiskFileError);
        return ScanResult::Failed;
    }
    WaitCursor saveCursor;
    if (!file.writeHeader(geometry)) {
        showMessage(run.host, Text::WriteDiskFileError);
        return ScanResult::Failed;
    }

    TransferBuffer transfer;
    pf::LockedGlobal image;
    if (!describeTransferBuffer(run, geometry.bytesPerLine, transfer) ||
        !acquireShared(image, static_cast<std::uint64_t>(geometry.stride) * geometry.lines)) {
        // The library goes before the message box.
        library.release();
        showMessage(run.host, Text::InsufficientMemory);
        return ScanResult::Failed;
    }
    if (transferLines(run, steps, transfer, geometry, image.as<std::uint8_t>(), progress) != TransferEnd::Complete)
        return ScanResult::Failed;

    setStatusText(run.host, Text::ImageSaving);
    if (!file.writeRows(image.as<std::uint8_t>(), geometry, progress)) {
        showMessage(run.host, Text::WriteDiskFileError);
        return ScanResult::Failed;
    }
    if (!waitForReady(run, run.record.readyPacing)) return ScanResult::Failed;
    // The library goes first: nothing it was told of is freed while it is loaded.
    library.release();
    transfer = TransferBuffer{};
    image.release();
    file.keep();
    return ScanResult::Written;
}

ScanResult runOnce(const DriverRecord& record, DialectSteps& steps, PfDialogProc popupProcedure, std::uint32_t window, const char* fileName,
                   ScanProgressCallback callback, std::uint32_t type, std::uint32_t language) {
    const auto host = reinterpret_cast<PfWindow>(static_cast<std::uintptr_t>(window));
    setLanguage(static_cast<std::uint16_t>(language & 0xFFFF));
    setStatusText(host, Text::Scanning);
    Progress progress;
    progress.callback = callback;
    progress.record.window = window;
    progress.report(0, 1);

    const auto type16 = static_cast<std::uint16_t>(type & 0xFFFF);
    if (type16 > kHighestType) return ScanResult::Failed;

    // The library, released on every exit (declared first, so released last).
    PassThroughLibrary library;
    BufferRules rules;
    if (!openLibrary(record, steps, host, library, rules)) return ScanResult::Failed;

    StepsRun stepsRun{steps};
    RunContext run{library, host, record, rules, {}, type16, 0, {}};
    if (!steps.identify(run)) return ScanResult::Failed;
    if (type16 != static_cast<std::uint16_t>(TargetType::Reflective) && !run.identity.adapter) {
        showMessage(host, Text::SlidekitNotConnected);
        return ScanResult::Failed;
    }
    if (!steps.prepareTables(run)) return ScanResult::Failed;
    if (const std::optional<ScanResult> end = startScan(run, steps, popupProcedure)) return *end;
    if (!waitForReady(run, record.readyPacing)) return ScanResult::Failed;

    const std::uint16_t lines = steps.reportedLines(driverState().blocks.startScan);
    if (lines == 0) return ScanResult::Written;
    ImageGeometry geometry;
    if (!imageGeometry(driverState().blocks.startScan.bytesPerLine, lines, geometry)) {
        // A line shorter than one pixel cannot be scanned: stop the scanner.
        sendAbort(run);
        return ScanResult::Failed;
    }
    return saveImage(run, steps, library, fileName, geometry, progress);
}

}  // namespace

std::int32_t runScanImage(const DriverRecord& record, DialectSteps& steps, PfDialogProc popupProcedure,
                          std::uint32_t window, const char* fileName,
                          ScanProgressCallback callback, std::uint32_t type, std::uint32_t language) noexcept {
    DriverState& state = driverState();
    if (state.running) return static_cast<std::int32_t>(ScanResult::Failed);
    state.running = true;
    ScanResult result = ScanResult::Failed;
    try {
        result = runOnce(record, steps, popupProcedure, window, fileName, callback, type, language);
    } catch (...) {
        result = ScanResult::Failed;
    }
    state.running = false;
    return static_cast<std::int32_t>(result);
}

}  // namespace drv
