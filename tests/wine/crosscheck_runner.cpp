// The cross-check runner, common to the native program and the Windows host:
// the case registry, results, files, and main().
//
//   <program> --inputs DIR --outputs DIR [--libdir DIR] [--make-inputs]
//             [--only NAME]... [--list]
//
// --make-inputs (native side) runs the input generators first. The last line
// printed is "N passed, N failed"; the exit status is 0 only when nothing
// failed.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "crosscheck.h"
#include "crosscheck_platform.h"

namespace crosscheck {

namespace {

struct Entry {
    std::string name;
    CaseFunction function;
    std::string file;
};

struct Registry {
    std::vector<Entry> cases;
    std::vector<Entry> inputs;
    std::vector<std::string> clashes;
};

Registry& registry() {
    static Registry r;
    return r;
}

struct RunState {
    std::string inputDir;
    std::string outputDir;
    std::string libraryDir;
    std::vector<std::string> failures;  // of the running case
    std::vector<ProgressCall> progress; // of the running case
    std::vector<MessageBoxSeen> boxes;  // of the running case
    int boxAnswer = 1;
    bool makingInputs = false;
    std::string currentCase;
    std::uint64_t sleptAtStart = 0;  // of the running case
    int passed = 0;
    int failed = 0;
};

RunState& run() {
    static RunState s;
    return s;
}

// Thrown by fail() to leave the running case; caught only by the runner.
struct CaseAbort {};

bool addEntry(std::vector<Entry>& list, const char* name, CaseFunction function, const char* file) {
    for (const Entry& e : list)
        if (e.name == name) registry().clashes.push_back(std::string(name) + " (" + e.file + ", " + file + ")");
    list.push_back({name, function, file});
    return true;
}

bool validRelative(const std::string& name) {
    if (name.empty() || name.front() == '/' || name.find('\\') != std::string::npos ||
        name.find(':') != std::string::npos)
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        const std::string part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

void writeFileUnder(const std::string& dir, const std::string& name, const void* bytes, std::size_t size) {
    require(validRelative(name), "bad file name \"" + name + "\"");
    const std::string path = platform::join(dir, name);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    require(static_cast<bool>(out), "cannot create " + path);
    out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    out.close();
    require(static_cast<bool>(out), "cannot write " + path);
}

bool runOne(const Entry& entry) {
    RunState& s = run();
    s.currentCase = entry.name;
    s.failures.clear();
    s.progress.clear();
    s.boxes.clear();
    s.boxAnswer = 1;
    platform::beforeCase();
    s.sleptAtStart = platform::sleptMilliseconds();
    try {
        entry.function();
    } catch (const CaseAbort&) {
    } catch (const std::exception& e) {
        s.failures.push_back(std::string("exception: ") + e.what());
    } catch (...) {
        s.failures.push_back("unknown exception");
    }
    const std::string left = platform::leftBehind();
    if (!left.empty()) s.failures.push_back(left);
    if (s.failures.empty()) {
        std::printf("[ ok ] %s\n", entry.name.c_str());
    } else {
        for (const std::string& f : s.failures) std::printf("[FAIL] %s: %s\n", entry.name.c_str(), f.c_str());
    }
    std::fflush(stdout);
    return s.failures.empty();
}

}  // namespace

bool registerCase(const char* name, CaseFunction function, const char* file) {
    return addEntry(registry().cases, name, function, file);
}
bool registerInput(const char* name, CaseFunction function, const char* file) {
    return addEntry(registry().inputs, name, function, file);
}

void check(bool condition, const std::string& message) {
    if (!condition) run().failures.push_back(message);
}

void fail(const std::string& message) {
    run().failures.push_back(message);
    throw CaseAbort{};
}

void writeOutput(const std::string& name, const void* bytes, std::size_t size) {
    writeFileUnder(run().outputDir, name, bytes, size);
}

std::string outputPath(const std::string& name) {
    require(validRelative(name), "bad file name \"" + name + "\"");
    const std::string path = platform::join(run().outputDir, name);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    return path;
}

void writeInput(const std::string& name, const void* bytes, std::size_t size) {
    require(run().makingInputs, "writeInput outside an input generator: " + name);
    writeFileUnder(run().inputDir, name, bytes, size);
}

std::vector<std::uint8_t> readInput(const std::string& name) {
    const std::string path = inputPath(name);
    std::ifstream in(path, std::ios::binary);
    require(static_cast<bool>(in), "missing input " + path);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bytes;
}

std::string inputPath(const std::string& name) {
    require(validRelative(name), "bad file name \"" + name + "\"");
    return platform::join(run().inputDir, name);
}

std::int32_t CROSSCHECK_STDCALL recordProgress(void* record, std::int32_t total) {
    ProgressCall call{0, 0, total};
    if (record != nullptr) {
        std::memcpy(&call.window, record, 4);
        std::memcpy(&call.count, static_cast<const std::uint8_t*>(record) + 4, 2);
    }
    run().progress.push_back(call);
    return 0;
}

const std::vector<ProgressCall>& progressCalls() { return run().progress; }

std::string progressText() {
    std::string text;
    for (const ProgressCall& c : run().progress)
        text += std::to_string(c.count) + " / " + std::to_string(c.total) + "\n";
    return text;
}

std::uint64_t sleptMilliseconds() { return platform::sleptMilliseconds() - run().sleptAtStart; }

const std::vector<MessageBoxSeen>& messageBoxes() { return run().boxes; }
void setMessageBoxAnswer(int button) { run().boxAnswer = button; }

std::string messageBoxText() {
    std::string text;
    for (const MessageBoxSeen& b : run().boxes) text += b.title + ": " + b.text + "\n";
    return text;
}

namespace platform {

void reportCrash(const char* what) {
    const RunState& s = run();
    std::printf("[FAIL] %s: %s\n%d passed, %d failed\n", s.currentCase.c_str(), what, s.passed, s.failed + 1);
    std::fflush(stdout);
}

int messageBoxShown(const std::string& title, const std::string& text) {
    run().boxes.push_back({title, text});
    return run().boxAnswer;
}

}  // namespace platform

const std::string& inputDir() { return run().inputDir; }
const std::string& outputDir() { return run().outputDir; }

bool onWindows() {
#ifdef _WIN32
    return true;
#else
    return false;
#endif
}

Library::~Library() {
    if (handle_ != nullptr) platform::release(handle_);
}

Library& Library::operator=(Library&& other) noexcept {
    if (this != &other) {
        if (handle_ != nullptr) platform::release(handle_);
        handle_ = other.handle_;
        name_ = std::move(other.name_);
        other.handle_ = nullptr;
    }
    return *this;
}

void* Library::symbol(const char* exportName) const {
    if (handle_ == nullptr || exportName == nullptr) return nullptr;
    return platform::symbol(handle_, exportName);
}

Library loadLibrary(const std::string& name) {
    const std::string path = platform::libraryFile(run().libraryDir, name);
    Library lib = loadLibraryPath(path);
    require(lib.loaded(), "cannot load " + path + ": " + platform::loadError());
    lib.name_ = name;
    return lib;
}

Library loadLibraryPath(const std::string& path) {
    Library lib;
    lib.handle_ = platform::load(path);
    lib.name_ = path;
    return lib;
}

namespace detail {

void checkRemoved(const char* exportName, Convention convention, std::uint32_t count, std::int32_t removed) {
    const std::int32_t expected = convention == Convention::Stdcall ? static_cast<std::int32_t>(4 * count) : 0;
    if (removed == expected) return;
    check(false, std::string(exportName) + ": the callee removed " + std::to_string(removed) +
                     " bytes of arguments, its convention (" +
                     (convention == Convention::Stdcall ? "callee cleans" : "caller cleans") + ") says " +
                     std::to_string(expected));
}

}  // namespace detail

}  // namespace crosscheck

int main(int argc, char** argv) {
    using namespace crosscheck;
    RunState& s = run();
    bool makeInputs = false, list = false;
    std::vector<std::string> only;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* what) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs %s\n", a.c_str(), what);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--inputs") s.inputDir = value("a folder");
        else if (a == "--outputs") s.outputDir = value("a folder");
        else if (a == "--libdir") s.libraryDir = value("a folder");
        else if (a == "--only") only.push_back(value("a case name"));
        else if (a == "--make-inputs") makeInputs = true;
        else if (a == "--list") list = true;
        else {
            std::fprintf(stderr, "unknown argument %s\n", a.c_str());
            return 2;
        }
    }
    Registry& reg = registry();
    if (list) {
        for (const Entry& e : reg.cases) std::printf("%s\n", e.name.c_str());
        return 0;
    }
    if (s.inputDir.empty() || s.outputDir.empty()) {
        std::fprintf(stderr, "usage: %s --inputs DIR --outputs DIR [--libdir DIR] [--make-inputs] [--only NAME]\n",
                     argv[0]);
        return 2;
    }
    if (s.libraryDir.empty()) s.libraryDir = platform::defaultLibraryDir(argv[0]);

    int& passed = s.passed;
    int& failed = s.failed;
    for (const std::string& c : reg.clashes) {
        std::printf("[FAIL] registry: name used twice: %s\n", c.c_str());
        ++failed;
    }
    std::error_code ec;
    std::filesystem::create_directories(s.outputDir, ec);
    if (makeInputs) {
        std::filesystem::create_directories(s.inputDir, ec);
        s.makingInputs = true;
        for (const Entry& e : reg.inputs) (runOne(e) ? passed : failed)++;
        s.makingInputs = false;
    }
    for (const Entry& e : reg.cases) {
        if (!only.empty() && std::find(only.begin(), only.end(), e.name) == only.end()) continue;
        (runOne(e) ? passed : failed)++;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    std::fflush(stdout);
    return failed == 0 && passed > 0 ? 0 : 1;
}
