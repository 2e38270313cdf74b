#include "engine_library.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>


namespace aucal {

namespace {

template <class F>
void take(PfLibrary library, const char* name, F* slot) {
    *slot = reinterpret_cast<F>(pfGetProcAddress(library, name));
}

std::filesystem::path selfDirectory() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path() : exe.parent_path();
}

// The shared object of a library of the build: build/lib/lib<name>.so.
std::string libraryPath(const std::string& name) { return libraryDirectory() + "/lib" + name + ".so"; }

}  // namespace

EngineLibrary::~EngineLibrary() {
    if (library_ != nullptr) pfFreeLibrary(library_);
}

bool EngineLibrary::load(const std::string& path, std::string* error) {
    library_ = pfLoadLibrary(path.c_str());
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
    const std::filesystem::path lib = selfDirectory().parent_path() / "lib";
    std::error_code ec;
    if (std::filesystem::exists(lib / "aucal" / "libqel_cms.so", ec)) return (lib / "aucal").string();
    return lib.string();
}

bool librariesInBuildTree() { return std::filesystem::path(libraryDirectory()).filename() != "aucal"; }

std::string passThroughLibraryPath() { return libraryDirectory() + "/KASPI_SP.DLL"; }

std::string engineLibraryPath() { return libraryPath("qel_cms"); }

std::string driverLibraryPath(const std::string& driver) { return libraryPath(driver); }

}  // namespace aucal
