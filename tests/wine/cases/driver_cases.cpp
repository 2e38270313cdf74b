// The drivers' exits as a host sees them, on both platforms: Escape during
// the transfer, a transparency without adapter (in two languages), a type the
// drivers do not scan, and a whole run of the A3 driver. Results, status
// texts, message boxes and progress must be the same under Wine.
#include <cstdint>
#include <cstdio>
#include <string>

#include "crosscheck.h"
#include "scan_driver.h"

namespace {

bool fileExists(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
}

// One call of Scan_Image; what the host saw goes to <subject>.log.
void runCase(const char* driver, const std::string& subject, std::uint32_t type, std::uint32_t language,
             bool escapeFirst, std::int32_t expected) {
    crosscheck::Library library = crosscheck::loadLibrary(driver);
    crosscheck::withFocusWindow([&](crosscheck::FocusWindow& window) {
        const std::string image = crosscheck::outputPath(subject + ".tga");
        std::remove(image.c_str());
        if (escapeFirst) window.postKeyDown(crosscheck::kVkEscape);
        const std::int32_t status = crosscheck::callStdcall<std::int32_t>(
            library, "Scan_Image", window.handle32(), image.c_str(),
            reinterpret_cast<ScanProgressCallback>(&crosscheck::recordProgress), type, language);
        crosscheck::check(status == expected, subject + ": Scan_Image gave " + std::to_string(status) +
                                                  "; boxes: " + crosscheck::messageBoxText());
        const bool written = fileExists(image);
        crosscheck::check(written == (status == SCAN_IMAGE_WRITTEN), subject + ": image file left by a failed run");
        const std::string log = "status " + std::to_string(status) + "\nimage " + (written ? "written" : "none") +
                                "\nstatus item: " + window.itemText(crosscheck::FocusWindow::kStatusItem) +
                                "\nmessage boxes:\n" + crosscheck::messageBoxText() + "progress:\n" +
                                crosscheck::progressText();
        crosscheck::writeOutput(subject + ".log", log.data(), log.size());
    });
}

}  // namespace

CROSSCHECK_CASE(driver_escape_scan) { runCase("scan", "driver/escape_scan", 0, 0, true, SCAN_IMAGE_FAILED); }
CROSSCHECK_CASE(driver_escape_vexa) { runCase("vexa", "driver/escape_vexa", 0, 0, true, SCAN_IMAGE_FAILED); }
CROSSCHECK_CASE(driver_no_adapter_english) {
    runCase("scan", "driver/no_adapter_english", 1, 0, false, SCAN_IMAGE_FAILED);
}
CROSSCHECK_CASE(driver_no_adapter_dutch) { runCase("scan", "driver/no_adapter_dutch", 1, 2, false, SCAN_IMAGE_FAILED); }
CROSSCHECK_CASE(driver_type_three) { runCase("vexa", "driver/type_three", 3, 0, false, SCAN_IMAGE_FAILED); }
CROSSCHECK_CASE(driver_no_adapter_a3) { runCase("prescan", "driver/no_adapter_a3", 2, 5, false, SCAN_IMAGE_FAILED); }
