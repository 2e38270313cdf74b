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

// The host window of the running case, for a callback that presses Escape.
crosscheck::FocusWindow* g_window = nullptr;

// Records each call and presses Escape when the transfer reports line 3.
std::int32_t CROSSCHECK_STDCALL escapeAtLineThree(void* record, std::int32_t total) {
    crosscheck::recordProgress(record, total);
    const auto* bytes = static_cast<const std::uint8_t*>(record);
    const std::uint16_t count = static_cast<std::uint16_t>(bytes[4] | (bytes[5] << 8));
    if (count == 3 && total > 1 && g_window != nullptr) g_window->postKeyDown(crosscheck::kVkEscape);
    return 0;
}

// One call of Scan_Image; what the host saw goes to <subject>.log.
void runCase(const char* driver, const std::string& subject, std::uint32_t type, std::uint32_t language,
             bool escapeFirst, std::int32_t expected, bool escapeDuring = false) {
    crosscheck::Library library = crosscheck::loadLibrary(driver);
    crosscheck::withFocusWindow([&](crosscheck::FocusWindow& window) {
        const std::string image = crosscheck::outputPath(subject + ".tga");
        std::remove(image.c_str());
        if (escapeFirst) window.postKeyDown(crosscheck::kVkEscape);
        g_window = &window;
        const std::int32_t status = crosscheck::callStdcall<std::int32_t>(
            library, "Scan_Image", window.handle32(), image.c_str(),
            reinterpret_cast<ScanProgressCallback>(escapeDuring ? &escapeAtLineThree : &crosscheck::recordProgress),
            type, language);
        g_window = nullptr;
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
CROSSCHECK_CASE(driver_escape_during_transfer) {
    runCase("scan", "driver/escape_during_transfer", 0, 0, false, SCAN_IMAGE_FAILED, true);
}
CROSSCHECK_CASE(driver_no_adapter_english) {
    runCase("scan", "driver/no_adapter_english", 1, 0, false, SCAN_IMAGE_FAILED);
}
CROSSCHECK_CASE(driver_no_adapter_dutch) { runCase("scan", "driver/no_adapter_dutch", 1, 2, false, SCAN_IMAGE_FAILED); }
CROSSCHECK_CASE(driver_type_three) { runCase("vexa", "driver/type_three", 3, 0, false, SCAN_IMAGE_FAILED); }
CROSSCHECK_CASE(driver_no_adapter_a3) { runCase("prescan", "driver/no_adapter_a3", 2, 5, false, SCAN_IMAGE_FAILED); }
