// One scan with each driver against the simulated scanner (its default
// scenario), as a host runs it: the image file, the progress reports, the
// status texts and message boxes must be the same on both platforms.
#include <cstdint>
#include <string>

#include "crosscheck.h"
#include "scan_driver.h"

namespace {

void scanWith(const char* driver) {
    crosscheck::Library library = crosscheck::loadLibrary(driver);
    const std::string subject = std::string("scan_run/") + driver;
    crosscheck::withFocusWindow([&](crosscheck::FocusWindow& window) {
        const std::string image = crosscheck::outputPath(subject + ".tga");
        const std::int32_t status = crosscheck::callStdcall<std::int32_t>(
            library, "Scan_Image", window.handle32(), image.c_str(),
            reinterpret_cast<ScanProgressCallback>(&crosscheck::recordProgress), 0u, 0u);
        crosscheck::check(status == SCAN_IMAGE_WRITTEN, std::string(driver) + ": Scan_Image gave " +
                                                            std::to_string(status) + "; boxes: " +
                                                            crosscheck::messageBoxText());
        const std::string log = "status " + std::to_string(status) + "\nslept " +
                                std::to_string(crosscheck::sleptMilliseconds()) + " ms\nstatus item: " +
                                window.itemText(crosscheck::FocusWindow::kStatusItem) + "\nmessage boxes:\n" +
                                crosscheck::messageBoxText() + "progress:\n" + crosscheck::progressText();
        crosscheck::writeOutput(subject + ".log", log.data(), log.size());
    });
}

}  // namespace

CROSSCHECK_CASE(scan_run_scan) { scanWith("scan"); }
CROSSCHECK_CASE(scan_run_vexa) { scanWith("vexa"); }
