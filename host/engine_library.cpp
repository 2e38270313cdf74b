#include "engine_library.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/host_system.h"
#include "utf8_path.h"

namespace aucal {

namespace {

template <class F>
void take(PfLibrary library, const char* name, F* slot) {
    *slot = reinterpret_cast<F>(pfGetProcAddress(library, name));
}

std::filesystem::path selfDirectory() {
    char path[4096];
    const std::size_t n = pfHostProgramPath(path, sizeof path);
    return n == 0 || n >= sizeof path ? std::filesystem::current_path() : utf8Path(path).parent_path();
}

std::string libraryFileName(const std::string& name) {
    char file[256];
    pfHostLibraryFileName(name.c_str(), file, sizeof file);
    return file;
}

// A library of the build: lib<name>.so on Linux, <name>.dll on Windows.
std::string libraryPath(const std::string& name) { return libraryDirectory() + "/" + libraryFileName(name); }

}  // namespace

EngineLibrary::~EngineLibrary() {
    if (library_ != nullptr) pfFreeLibrary(library_);
}

bool EngineLibrary::load(const std::string& path, std::string* error) {
    library_ = pfHostLoadLibrary(path.c_str());
    if (library_ == nullptr) {
        *error = "cannot load the colour engine from " + path;
        return false;
    }
    take(library_, "InitCorrect", &exports_.initCorrect);
    take(library_, "CorrectImage", &exports_.correctImage);
    take(library_, "ReleaseCorrect", &exports_.releaseCorrect);
    take(library_, "ScannerIT8Analysis", &exports_.scannerIt8Analysis);
    take(library_, "SetPhosphorType", &exports_.setPhosphorType);
    take(library_, "VisualMatch", &exports_.visualMatch);
    take(library_, "CreatTargetImage", &exports_.creatTargetImage);
    take(library_, "PrinterTargetAnalysis", &exports_.printerTargetAnalysis);
    take(library_, "PrinterTargetOpenAnalysis", &exports_.printerTargetOpenAnalysis);
    take(library_, "DonePercentage", &exports_.donePercentage);
    take(library_, "StopExecution", &exports_.stopExecution);
    if (exports_.initCorrect == nullptr || exports_.correctImage == nullptr || exports_.releaseCorrect == nullptr) {
        *error = path + " is not the colour engine: its correction exports are missing";
        return false;
    }
    return true;
}

std::string libraryDirectory() {
    if (const char* dir = std::getenv("AUCAL_LIBDIR"); dir != nullptr && *dir != '\0') return dir;
    // Windows keeps the DLLs beside the program.
    const std::filesystem::path self = selfDirectory();
    const std::string engine = libraryFileName("qel_cms");
    std::error_code ec;
    if (std::filesystem::exists(self / engine, ec)) return utf8String(self);
    const std::filesystem::path lib = self.parent_path() / "lib";
    if (std::filesystem::exists(lib / "aucal" / engine, ec)) return utf8String(lib / "aucal");
    return utf8String(lib);
}

bool librariesInBuildTree() {
    const std::string leaf = utf8String(utf8Path(libraryDirectory()).filename());
    return leaf == "lib" || leaf == "bin";
}

std::string libraryPathArgument(const std::string& path) {
    char narrow[4096];
    const std::size_t n = pfHostLibraryPathArgument(path.c_str(), narrow, sizeof narrow);
    return n == 0 || n >= sizeof narrow ? path : std::string(narrow, n);
}

std::string passThroughLibraryPath() {
    // The Windows zip keeps it in a folder of its own beside the DLLs' one.
    const std::filesystem::path dir = utf8Path(libraryDirectory());
    const std::filesystem::path apart = dir.parent_path() / "simulated-scanner" / "KASPI_SP.DLL";
    std::error_code ec;
    if (!std::filesystem::exists(dir / "KASPI_SP.DLL", ec) && std::filesystem::exists(apart, ec))
        return utf8String(apart);
    return libraryDirectory() + "/KASPI_SP.DLL";
}

std::string engineLibraryPath() { return libraryPath("qel_cms"); }

std::string driverLibraryPath(const std::string& driver) { return libraryPath(driver); }

}  // namespace aucal
