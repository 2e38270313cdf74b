#include "engine_library.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace aucal {

namespace {

template <class F>
void take(PfLibrary library, const char* name, F* slot) {
    *slot = reinterpret_cast<F>(pfGetProcAddress(library, name));
}

std::filesystem::path selfDirectory() {
#if defined(_WIN32)
    char buffer[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    return std::filesystem::path(std::string(buffer, n)).parent_path();
#else
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path() : exe.parent_path();
#endif
}

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
#if defined(_WIN32)
    return selfDirectory().string();
#else
    return (selfDirectory().parent_path() / "lib").string();
#endif
}

std::string engineLibraryPath() {
#if defined(_WIN32)
    return libraryDirectory() + "\\qel_cms.dll";
#else
    return libraryDirectory() + "/libqel_cms.so";
#endif
}

std::string driverLibraryPath(const std::string& driver) {
#if defined(_WIN32)
    return libraryDirectory() + "\\" + driver + ".dll";
#else
    return libraryDirectory() + "/lib" + driver + ".so";
#endif
}

}  // namespace aucal
