#include "itest_support/driver_bench.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/desktop_posix.h"
#include "platform/message_box.h"

namespace drvtest {

namespace {

DriverBench* g_bench = nullptr;

int recordBox(void* context, PfWindow, const char* text, const char* title, std::uint32_t style) {
    static_cast<DriverBench*>(context)->boxes.push_back(
        {text, title, style, pfdListWindows(nullptr, 0), pfdCurrentCursor()});
    return PF_IDOK;
}

std::int32_t PF_STDCALL recordProgress(ScanProgressRecord* record, std::int32_t total) {
    if (g_bench == nullptr) return 0;
    g_bench->progress.push_back({record->count, total});
    if (g_bench->onProgress) g_bench->onProgress();
    return 0;
}

constexpr std::int32_t kStatusItem = 1017;

}  // namespace

long LogEvent::number(const std::string& key) const {
    auto it = fields.find(key);
    return it == fields.end() ? -1 : std::strtol(it->second.c_str(), nullptr, 10);
}

DriverBench::DriverBench(const char* driverPath, sim::Dialect dialect)
    : windir_((temp_.path() / "WINDOWS").string()), dialect_(dialect) {
    std::filesystem::create_directories(windir_);
    pfdSetWindowsDirectory(windir_.c_str());
    pfdUseVirtualClock(1);
    std::string error;
    sim::installPassThrough(windir_, sim::InstallOptions{}, &error);
    scenario("");
    host = pfdCreateDialogWindow("host", &kStatusItem, 1);
    pfdSetMessageBoxHandler(&recordBox, this);
    driver_ = pfLoadLibrary(driverPath);
    if (driver_ != nullptr) scanImage_ = reinterpret_cast<ScanImageProc>(pfGetProcAddress(driver_, "Scan_Image"));
    g_bench = this;
}

DriverBench::~DriverBench() {
    g_bench = nullptr;
    pfdSetMessageBoxHandler(nullptr, nullptr);
    if (driver_ != nullptr) pfFreeLibrary(driver_);
    pfdSetWindowsDirectory(nullptr);
}

void DriverBench::scenario(const std::string& lines) {
    sim::writeScenarioFile(folder(), std::string("dialect = ") + sim::dialectName(dialect_) +
                                         "\nlog = passthrough.log\n" + lines + "\n");
}

void DriverBench::installWithoutBufAddr() {
    sim::InstallOptions options;
    options.library = sim::builtPassThroughLibraryWithoutBufAddr();
    options.writeScenario = false;
    std::string error;
    sim::installPassThroughInto(folder(), dialect_, options, &error);
}

void DriverBench::removeLibrary() { std::filesystem::remove(std::filesystem::path(folder()) / "KASPI_SP.DLL"); }

void DriverBench::writeWinIni(const std::string& text) {
    std::ofstream out(std::filesystem::path(windir_) / "win.ini", std::ios::binary | std::ios::trunc);
    out << text;
}

std::int32_t DriverBench::scan(std::uint32_t type, std::uint32_t language) { return scanTo(imagePath(), type, language); }

std::int32_t DriverBench::scanTo(const std::string& path, std::uint32_t type, std::uint32_t language) {
    if (scanImage_ == nullptr) return -1;
    std::filesystem::remove(std::filesystem::path(folder()) / "passthrough.log");
    const auto window = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(host));
    return scanImage_(window, path.c_str(), &recordProgress, type, language);
}

std::int32_t DriverBench::callScanImage(const std::string& path, std::uint32_t type) {
    const auto window = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(host));
    return scanImage_(window, path.c_str(), &recordProgress, type, 0);
}

bool DriverBench::imageExists() const { return std::filesystem::exists(imagePath()); }

std::vector<LogEvent> DriverBench::log() const {
    std::vector<LogEvent> events;
    std::ifstream in(std::filesystem::path(folder()) / "passthrough.log");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        LogEvent event;
        words >> event.word;
        std::string field;
        while (words >> field) {
            const auto eq = field.find('=');
            if (eq != std::string::npos) event.fields[field.substr(0, eq)] = field.substr(eq + 1);
        }
        events.push_back(event);
    }
    return events;
}

std::vector<std::string> DriverBench::commands() const {
    std::vector<std::string> names;
    for (const LogEvent& e : log())
        if (e.word == "SPI_CALL") names.push_back(e.cmd());
    return names;
}

std::string DriverBench::statusText() const {
    char text[256] = {};
    pfdGetItemText(host, kStatusItem, text, sizeof text);
    return text;
}

std::size_t DriverBench::strayWindows() const {
    const std::size_t alive = pfdListWindows(nullptr, 0);
    return alive > 2 ? alive - 2 : 0;
}

}  // namespace drvtest
