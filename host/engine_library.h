// The colour engine loaded at run time, as a host application loads it: by
// path, with every export taken by name through the documented signature.
#ifndef AUCAL_ENGINE_LIBRARY_H
#define AUCAL_ENGINE_LIBRARY_H

#include <stdexcept>
#include <string>

#include "platform/library.h"
#include "qel_cms.h"

namespace aucal {

struct EngineExports {
    decltype(&InitCorrect) initCorrect = nullptr;
    decltype(&CorrectImage) correctImage = nullptr;
    decltype(&ReleaseCorrect) releaseCorrect = nullptr;
    decltype(&ScannerIT8Analysis) scannerIt8Analysis = nullptr;
    decltype(&SetPhosphorType) setPhosphorType = nullptr;
    decltype(&VisualMatch) visualMatch = nullptr;
    decltype(&CreatTargetImage) creatTargetImage = nullptr;
    decltype(&PrinterTargetAnalysis) printerTargetAnalysis = nullptr;
    decltype(&PrinterTargetOpenAnalysis) printerTargetOpenAnalysis = nullptr;
    decltype(&DonePercentage) donePercentage = nullptr;
    decltype(&StopExecution) stopExecution = nullptr;
};

// Owns the loaded library; unloads it on destruction.
class EngineLibrary {
public:
    EngineLibrary() = default;
    ~EngineLibrary();
    EngineLibrary(const EngineLibrary&) = delete;
    EngineLibrary& operator=(const EngineLibrary&) = delete;

    // Loads the library at path; false with a reason when it cannot be loaded
    // or one of the correction exports is missing.
    bool load(const std::string& path, std::string* error);
    const EngineExports& exports() const { return exports_; }

private:
    PfLibrary library_ = nullptr;
    EngineExports exports_;
};

// An export that this build of the engine may not have: throws with its name.
template <class F>
F require(F f, const char* name) {
    if (f == nullptr) throw std::runtime_error(std::string("this colour engine has no export ") + name);
    return f;
}

// Where the host finds its libraries, relative to its own program (through
// symbolic links): AUCAL_LIBDIR when set; else ../lib/aucal, where an
// installation keeps them (<prefix>/bin/aucal, <prefix>/lib/aucal); else
// ../lib, the build tree's layout.
std::string libraryDirectory();
// True when the libraries are the build tree's, not an installation's.
bool librariesInBuildTree();
// The simulated pass-through library, kept beside the libraries.
std::string passThroughLibraryPath();
std::string engineLibraryPath();
std::string driverLibraryPath(const std::string& driver);
// An existing file's path as the libraries' exports take it (in the ANSI
// code page on Windows: pfHostLibraryPathArgument); the path as it is when it
// has no such form, for the export to refuse.
std::string libraryPathArgument(const std::string& path);

}  // namespace aucal

#endif
