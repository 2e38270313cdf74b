#include "scan_run.h"

#include "command_layer.h"
#include "driver_state.h"
#include "image_output.h"
#include "messages.h"

namespace drv {

namespace {

constexpr std::uint16_t kHighestType = 2;

// Ends the steps' per-run holdings on every exit.
struct StepsRun {
    ModelSteps& steps;
    ~StepsRun() { steps.endRun(); }
};

int fail() { return static_cast<int>(ScanResult::Failed); }

int runOnce(const ModelProfile& profile, ModelSteps& steps, std::uint32_t window, const char* fileName,
            ScanProgressCallback callback, std::uint32_t type, std::uint32_t language) {
    const auto host = reinterpret_cast<PfWindow>(static_cast<std::uintptr_t>(window));
    setLanguage(static_cast<std::uint16_t>(language & 0xFFFF));
    setStatusText(host, Text::Scanning);
    Progress progress;
    progress.callback = callback;
    progress.record.window = window;
    progress.report(0, 1);

    const auto type16 = static_cast<std::uint16_t>(type & 0xFFFF);
    if (type16 > kHighestType) return fail();

    // The library, released on every exit (declared first, so released last).
    PassThroughLibrary library;
    BufferRules rules;
    std::string path;
    if (!steps.findLibrary(profile, path, rules) || !library.load(path.c_str(), profile.adapterCheck)) {
        if (profile.loadFailureMessage != 0) showMessage(host, static_cast<Text>(profile.loadFailureMessage));
        return fail();
    }
    if (profile.adapterCheck && library.checkAdapter() == 0) {
        if (profile.adapterFailureMessage != 0) showMessage(host, static_cast<Text>(profile.adapterFailureMessage));
        return fail();
    }

    StepsRun stepsRun{steps};
    RunContext run{library, host, profile, rules, {}, type16, 0, {}};
    if (!steps.identify(run)) return fail();
    if (type16 != static_cast<std::uint16_t>(TargetType::Reflective) && !run.identity.adapter) {
        showMessage(host, Text::SlidekitNotConnected);
        return fail();
    }
    if (!steps.prepareTables(run)) return fail();

    // The adapter type scans the transparency window, with its own source byte.
    const WindowInches& inches = profile.windows[type16 == 0 ? 0 : 1];
    const std::uint32_t unit = profile.fixedWindowUnit != 0 ? profile.fixedWindowUnit : run.identity.windowUnit;
    ScanWindow scanWindow{};
    if (!computeWindow(inches, unit, scanWindow)) return fail();
    DriverState& state = driverState();
    sendSetWindow(run, scanWindow);
    WaitCursor cursor;
    Popup popup(host, profile.popupProcedure);
    if (state.blocks.setWindow.status != 0) {
        reportScannerError(run, state.blocks.setWindow.status);
        return fail();
    }

    switch (steps.shading(run)) {
    case StepResult::Done: break;
    case StepResult::Failed: return fail();
    case StepResult::ShadingMemory: return static_cast<int>(ScanResult::ShadingMemory);
    }
    if (!steps.sendGamma(run)) return fail();

    StartScanBlock& start = state.blocks.startScan;
    start.request = 0;
    library.call(&start, FunctionCode::StartScan);
    popup.destroy();
    cursor.restore();
    if (start.status != 0) {
        reportScannerError(run, start.status);
        return fail();
    }
    if (!waitForReady(run, profile.readyPacing)) return fail();

    const std::uint16_t lines = steps.reportedLines(start);
    if (lines == 0) return static_cast<int>(ScanResult::Written);
    ImageGeometry geometry;
    if (!imageGeometry(start.bytesPerLine, lines, geometry)) {
        // A line shorter than one pixel cannot be scanned: stop the scanner.
        sendAbort(run);
        return fail();
    }

    ImageFile file;
    if (!file.create(fileName)) {
        showMessage(host, Text::WriteDiskFileError);
        return fail();
    }
    WaitCursor saveCursor;
    if (!file.writeHeader(geometry)) {
        file.discard();
        showMessage(host, Text::WriteDiskFileError);
        return fail();
    }

    TransferBuffer transfer;
    pf::LockedGlobal image;
    if (!describeTransferBuffer(run, geometry.bytesPerLine, transfer) ||
        !acquireShared(image, static_cast<std::uint64_t>(geometry.stride) * geometry.lines)) {
        file.discard();
        library.release();
        showMessage(host, Text::InsufficientMemory);
        return fail();
    }

    if (transferLines(run, steps, transfer, geometry, image.as<std::uint8_t>(), progress) != TransferEnd::Complete) {
        file.discard();
        return fail();
    }

    setStatusText(host, Text::ImageSaving);
    if (!file.writeRows(image.as<std::uint8_t>(), geometry, progress)) {
        file.discard();
        showMessage(host, Text::WriteDiskFileError);
        return fail();
    }
    if (!waitForReady(run, profile.readyPacing)) {
        file.discard();
        return fail();
    }
    library.release();
    transfer = TransferBuffer{};
    image.release();
    file.keep();
    return static_cast<int>(ScanResult::Written);
}

}  // namespace

std::int32_t runScanImage(const ModelProfile& profile, ModelSteps& steps, std::uint32_t window, const char* fileName,
                          ScanProgressCallback callback, std::uint32_t type, std::uint32_t language) noexcept {
    DriverState& state = driverState();
    if (state.running) return fail();
    state.running = true;
    std::int32_t result = fail();
    try {
        result = runOnce(profile, steps, window, fileName, callback, type, language);
    } catch (...) {
        result = fail();
    }
    state.running = false;
    return result;
}

}  // namespace drv
