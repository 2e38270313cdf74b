// Scanner status errors injected through the simulated scanner's scenario, on
// both platforms: for each driver a command answered with 0x8217, 0x8321 or
// 0x8414. The result, the message boxes and the commands the driver sent
// (abort after the report, the library released) must be the same under Wine.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "crosscheck.h"
#include "scan_driver.h"

namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The call log reduced to what is the same on both platforms: the command
// names with their statuses, and the release.
std::string commandsOf(const std::string& log) {
    std::istringstream lines(log);
    std::string line, out;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string word, field, cmd, status;
        words >> word;
        if (word == "UNLOAD") out += "UNLOAD\n";
        if (word != "SPI_CALL") continue;
        while (words >> field) {
            if (field.rfind("cmd=", 0) == 0) cmd = field.substr(4);
            if (field.rfind("status=", 0) == 0) status = field.substr(7);
        }
        out += cmd + " " + status + "\n";
    }
    return out;
}

void runWithError(const char* driver, const char* folder, const char* error, const std::string& subject) {
    const std::string dir = crosscheck::windowsDirectory() + "/TWAIN_32/" + folder;
    const std::string scenarioPath = dir + "/scenario.txt";
    const std::string logPath = dir + "/passthrough.log";
    const std::string saved = readText(scenarioPath);
    writeText(scenarioPath, saved + "\nlines = 4\nlog = passthrough.log\nerror = " + error + "\n");
    std::remove(logPath.c_str());

    crosscheck::Library library = crosscheck::loadLibrary(driver);
    crosscheck::withFocusWindow([&](crosscheck::FocusWindow& window) {
        const std::string image = crosscheck::outputPath(subject + ".tga");
        std::remove(image.c_str());
        const std::int32_t status = crosscheck::callStdcall<std::int32_t>(
            library, "Scan_Image", window.handle32(), image.c_str(),
            reinterpret_cast<ScanProgressCallback>(&crosscheck::recordProgress), 0u, 0u);
        crosscheck::check(status == SCAN_IMAGE_FAILED, subject + ": Scan_Image gave " + std::to_string(status));
        std::FILE* left = std::fopen(image.c_str(), "rb");
        crosscheck::check(left == nullptr, subject + ": image file left by a failed run");
        if (left != nullptr) std::fclose(left);
        const std::string commands = commandsOf(readText(logPath));
        crosscheck::check(commands.size() >= 7 && commands.compare(commands.size() - 7, 7, "UNLOAD\n") == 0,
                          subject + ": library not released");
        const std::string log = "status " + std::to_string(status) + "\nmessage boxes:\n" +
                                crosscheck::messageBoxText() + "commands:\n" + commands;
        crosscheck::writeOutput(subject + ".log", log.data(), log.size());
    });
    writeText(scenarioPath, saved);
    std::remove(logPath.c_str());
}

}  // namespace

CROSSCHECK_CASE(scanner_error_scan_window) {
    runWithError("scan", "KVSC_PRO", "1 1 0x8217", "scanner_error/scan_window");
}
CROSSCHECK_CASE(scanner_error_scan_start) {
    runWithError("scan", "KVSC_PRO", "5 1 0x8321", "scanner_error/scan_start");
}
CROSSCHECK_CASE(scanner_error_vexa_status) {
    runWithError("vexa", "KVSC_Z48", "9 1 0x8414", "scanner_error/vexa_status");
}
CROSSCHECK_CASE(scanner_error_vexa_geometry) {
    runWithError("vexa", "KVSC_Z48", "7 1 0x8217", "scanner_error/vexa_geometry");
}
CROSSCHECK_CASE(scanner_error_prescan_gamma) {
    runWithError("prescan", "KVSC_A3", "4 1 0x8321", "scanner_error/prescan_gamma");
}
CROSSCHECK_CASE(scanner_error_prescan_read) {
    runWithError("prescan", "KVSC_A3", "8 1 0x8414", "scanner_error/prescan_read");
}
