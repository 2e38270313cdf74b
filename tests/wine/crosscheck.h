// Cross-checks: one case source, two programs.
//
// Every tests/wine/cases/<subject>_cases.cpp is compiled into
//   build/bin/crosscheck_native      (Linux: libraries from build/lib through
//                                     the platform stand-in's pfLoadLibrary)
//   build-win32/bin/wine_host.exe    (32-bit Windows under Wine: LoadLibraryA of
//                                     the DLLs next to the program)
// Both run every case. A case loads the library under test at run time, calls
// its exports through the documented calling convention and writes what they
// produce (images, blocks, models) with writeOutput(). The CTest test
// crosscheck_compare (label wine) then requires the two output folders to be
// equal byte for byte, file by file, and names the first differing byte.
//
// Adding a case (no file of tests/wine needs to change):
//
//   // tests/wine/cases/printer_cases.cpp
//   #include "crosscheck.h"
//   #include "qel_cms.h"
//
//   CROSSCHECK_INPUT(printer_chart_scan) {          // native side only, runs first
//       crosscheck::writeInput("printer/scan.tga", makeScanSomehow());
//   }
//
//   CROSSCHECK_CASE(printer_analysis) {             // runs in both programs
//       crosscheck::Library engine = crosscheck::loadLibrary("qel_cms");
//       std::vector<std::uint8_t> block(QEL_LUT_BLOCK_SIZE);
//       std::int32_t size = 0;
//       std::int32_t status = crosscheck::callCdecl<std::int32_t>(
//           engine, "PrinterTargetAnalysis", crosscheck::inputPath("printer/scan.tga").c_str(),
//           block.data(), &size, model, 0, (ProgressRecord*)nullptr, (ProgressCallback)nullptr);
//       crosscheck::check(status == 0, "analysis status " + std::to_string(status));
//       crosscheck::writeOutput("printer/lut.bin", block);
//   }
//
// Rules for cases:
// - Case and input names are unique over all case files (a clash fails the run).
// - Output names are relative paths with '/' (folders are created); begin them
//   with the subject ("correction/...") so that files of two cases never meet.
// - Everything written must be the same on both platforms: no addresses, no
//   handles, no times. Results that may differ go to check(), not to a file.
// - Call exports with callCdecl (the engine) or callStdcall (drivers, window
//   procedures, pass-through procedures). On Windows these check that the
//   callee removed exactly the arguments that its convention says (0 bytes
//   for cdecl, 4 per argument for stdcall), so a wrong convention in a DLL or
//   its .def file fails the case. Arguments must be 32-bit on Windows
//   (integers, floats, pointers); results are 32-bit integers, pointers,
//   floats or void.
// - check() records a failure and the case goes on; require() records it and
//   leaves the case (it throws; the runner catches it).
// - The native program fails a case that leaves a global memory block of the
//   stand-in allocated or a file open; it resets the desktop before each case.
// - withFocusWindow() gives a real focused top-level window on Windows (a
//   window of the stand-in's desktop on Linux) with a message queue to post
//   key presses and messages to, for the engine's Escape poll and the drivers'
//   message pump.
// - Windows-only checks (resources, the real message queue) go in an
//   `#ifdef _WIN32` case that writes no output.
// - A native input generator that needs a library of ours links it through
//   set_property(GLOBAL APPEND PROPERTY AUCAL_CROSSCHECK_NATIVE_LIBS <target>)
//   in that library's CMakeLists.txt.
// - Files that the Windows side needs in the Wine prefix (the simulated
//   pass-through library under C:\windows\TWAIN_32\...) are installed by the
//   prefix set-up; see tests/wine/README.md.
#ifndef TESTS_WINE_CROSSCHECK_H
#define TESTS_WINE_CROSSCHECK_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

namespace crosscheck {

// ---- Registration ---------------------------------------------------------

using CaseFunction = void (*)();
bool registerCase(const char* name, CaseFunction function, const char* file);
bool registerInput(const char* name, CaseFunction function, const char* file);

#define CROSSCHECK_CASE(name)                                                                           \
    static void crosscheck_case_##name();                                                               \
    [[maybe_unused]] static const bool crosscheck_registered_case_##name =                              \
        ::crosscheck::registerCase(#name, &crosscheck_case_##name, __FILE__);                           \
    static void crosscheck_case_##name()

// Makes shared input files; runs in the native program only, before any case.
#define CROSSCHECK_INPUT(name)                                                                          \
    static void crosscheck_input_##name();                                                              \
    [[maybe_unused]] static const bool crosscheck_registered_input_##name =                             \
        ::crosscheck::registerInput(#name, &crosscheck_input_##name, __FILE__);                         \
    static void crosscheck_input_##name()

// ---- Results --------------------------------------------------------------

void check(bool condition, const std::string& message);
[[noreturn]] void fail(const std::string& message);
inline void require(bool condition, const std::string& message) {
    if (!condition) fail(message);
}

// ---- Files ----------------------------------------------------------------

// Output files, compared between the platforms. name: relative, '/'-separated.
void writeOutput(const std::string& name, const void* bytes, std::size_t size);
inline void writeOutput(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    writeOutput(name, bytes.data(), bytes.size());
}
// The full path of an output file in this platform's form (for exports that
// write files themselves). Its folder exists.
std::string outputPath(const std::string& name);

// Shared inputs, written by CROSSCHECK_INPUT on the native side only.
void writeInput(const std::string& name, const void* bytes, std::size_t size);
inline void writeInput(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    writeInput(name, bytes.data(), bytes.size());
}
std::vector<std::uint8_t> readInput(const std::string& name);  // require()s that it exists
std::string inputPath(const std::string& name);                // this platform's form
const std::string& inputDir();
const std::string& outputDir();

bool onWindows();

// ---- Libraries ------------------------------------------------------------

class Library {
public:
    Library() = default;
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    Library(Library&& other) noexcept : handle_(other.handle_), name_(std::move(other.name_)) {
        other.handle_ = nullptr;
    }
    Library& operator=(Library&& other) noexcept;

    bool loaded() const { return handle_ != nullptr; }
    const std::string& name() const { return name_; }
    // The address of an export, null when it is missing.
    void* symbol(const char* exportName) const;

private:
    friend Library loadLibrary(const std::string& name);
    friend Library loadLibraryPath(const std::string& path);
    void* handle_ = nullptr;
    std::string name_;
};

// Loads one of our libraries by its target name ("qel_cms", "scan", ...):
// <name>.dll next to the Windows program, lib<name>.so of the native build's
// library folder. require()s that it loads.
Library loadLibrary(const std::string& name);
// Loads a library by exact file path or name (no decoration), null handle on
// failure (no require).
Library loadLibraryPath(const std::string& path);

// An export through its documented type. require()s that it exists.
template <class T>
T proc(const Library& library, const char* exportName) {
    static_assert(std::is_pointer_v<T>, "proc<T>: T is a function pointer type");
    void* address = library.symbol(exportName);
    require(address != nullptr, library.name() + " does not export " + exportName);
    return reinterpret_cast<T>(address);
}

// ---- Calling with the convention checked ----------------------------------

enum class Convention { Cdecl, Stdcall };

namespace detail {

struct RawResult {
    std::uint32_t eax;
    std::uint32_t edx;
    std::int32_t calleeRemoved;  // bytes of arguments that the callee took off the stack
    float st0;
};
// Windows: pushes the 32-bit arguments, calls, and measures the stack.
RawResult rawCall(void* function, const std::uint32_t* arguments, std::uint32_t count, bool returnsFloat);
void checkRemoved(const char* exportName, Convention convention, std::uint32_t count, std::int32_t removed);

template <class A>
std::uint32_t toWord(A value) {
    static_assert(sizeof(A) <= 4 && (std::is_integral_v<A> || std::is_enum_v<A> || std::is_pointer_v<A> ||
                                     std::is_floating_point_v<A> || std::is_null_pointer_v<A>),
                  "arguments of the exports are 32-bit integers, floats or pointers");
    if constexpr (std::is_pointer_v<A> || std::is_null_pointer_v<A>)
        return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(value));
    else if constexpr (std::is_floating_point_v<A>)
        return std::bit_cast<std::uint32_t>(value);
    else
        return static_cast<std::uint32_t>(value);
}

template <class R>
R fromRaw(const RawResult& r) {
    if constexpr (std::is_void_v<R>)
        return;
    else if constexpr (std::is_floating_point_v<R>)
        return static_cast<R>(r.st0);
    else if constexpr (std::is_pointer_v<R>)
        return reinterpret_cast<R>(static_cast<std::uintptr_t>(r.eax));
    else
        return static_cast<R>(r.eax);
}

template <class R, class... A>
R callChecked(void* address, const char* exportName, Convention convention, A... args) {
#if defined(_WIN32) && !defined(_WIN64)
    static_assert(
        [] {
            if constexpr (std::is_void_v<R>)
                return true;
            else
                return sizeof(R) <= 4;
        }(),
        "results are 32-bit");
    const std::uint32_t words[sizeof...(A) + 1] = {toWord(args)..., 0u};
    RawResult r = rawCall(address, words, sizeof...(A), std::is_floating_point_v<R>);
    checkRemoved(exportName, convention, sizeof...(A), r.calleeRemoved);
    return fromRaw<R>(r);
#else
    // One convention on this platform: a direct call through the declared type.
    (void)exportName;
    (void)convention;
    using F = R (*)(A...);
    return reinterpret_cast<F>(address)(args...);
#endif
}

}  // namespace detail

// Calls an export of library that the caller cleans up after (the engine's).
template <class R, class... A>
R callCdecl(const Library& library, const char* exportName, A... args) {
    return detail::callChecked<R>(proc<void*>(library, exportName), exportName, Convention::Cdecl, args...);
}
// Calls an export that cleans up its own arguments (drivers' exports, window
// procedures, pass-through procedures).
template <class R, class... A>
R callStdcall(const Library& library, const char* exportName, A... args) {
    return detail::callChecked<R>(proc<void*>(library, exportName), exportName, Convention::Stdcall, args...);
}
// The same for an address obtained otherwise (a procedure handed back by a call).
template <class R, class... A>
R callAddress(void* address, const char* what, Convention convention, A... args) {
    require(address != nullptr, std::string("null procedure ") + what);
    return detail::callChecked<R>(address, what, convention, args...);
}

// ---- Desktop --------------------------------------------------------------

// A focused top-level window of the calling thread with its message queue,
// standing for the host's dialog: it has a static text item 1017, where the
// drivers put their status texts.
class FocusWindow {
public:
    static constexpr std::int32_t kStatusItem = 1017;
    // The handle as the 32-bit value that a ProgressRecord or a driver takes.
    std::uint32_t handle32() const { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle_)); }
    void* handle() const { return handle_; }
    // PostMessage to this window.
    void post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
    // A key press: WM_KEYDOWN with the virtual key code, repeat count 1.
    void postKeyDown(std::uint32_t virtualKey);
    // Takes every message of this window off the queue; how many there were.
    std::size_t takeQueued();
    // Whether the window still has the keyboard focus.
    bool hasFocus() const;
    // The text of one of its items (kStatusItem).
    std::string itemText(std::int32_t item) const;

private:
    friend void withFocusWindow(const std::function<void(FocusWindow&)>& body);
    void* handle_ = nullptr;
};

// Creates a visible top-level window with its item, gives it the keyboard
// focus, runs body, destroys the window (also when body fails) and leaves the
// queue empty.
void withFocusWindow(const std::function<void(FocusWindow&)>& body);

constexpr std::uint32_t kWmKeyDown = 0x0100;
constexpr std::uint32_t kWmKeyUp = 0x0101;
constexpr std::uint32_t kWmChar = 0x0102;
constexpr std::uint32_t kWmUser = 0x0400;
constexpr std::uint32_t kVkEscape = 0x1B;
constexpr std::uint32_t kVkReturn = 0x0D;

// Message boxes shown during the case, in order. Each is answered at once with
// the answer set (IDOK, 1, unless set otherwise for the case): on Windows the
// real box appears and is closed by that button; on Linux the stand-in's
// handler answers it.
struct MessageBoxSeen {
    std::string title;
    std::string text;
};
const std::vector<MessageBoxSeen>& messageBoxes();
void setMessageBoxAnswer(int button);
// The boxes as text, "title: text" a line, to write as output.
std::string messageBoxText();

// The Windows directory that the libraries under test see: the Wine prefix's
// C:\windows, or on Linux the folder that the native run set up (AUCAL_WINDIR),
// each with the simulated pass-through library installed.
std::string windowsDirectory();

// The recording pass-through library of this build (the Linux build's file;
// under Wine the copy installed as C:\windows\AUCAL_RECORDER\KASPI_SP.DLL).
std::string recorderLibrary();

// Sleep in the libraries under test runs on a virtual clock on both sides (on
// Windows their imported Sleep is redirected when loadLibrary loads them):
// no real time passes. The milliseconds slept during this case, to write as
// output (the drivers' status polls must match).
std::uint64_t sleptMilliseconds();

// Global memory blocks and handle files of the libraries under test that are
// held now (the stand-in's counts on Linux; on Windows those acquired through
// the redirected imports of the libraries that loadLibrary loaded).
std::size_t liveGlobalBlocks();
std::size_t openFiles();

// ---- Host progress callback -----------------------------------------------

#if defined(_WIN32) && !defined(_WIN64)
#define CROSSCHECK_STDCALL __stdcall
#else
#define CROSSCHECK_STDCALL
#endif

// One call of the host's progress callback: the record's 32-bit window and
// 16-bit count at offset 4, and the total passed.
struct ProgressCall {
    std::uint32_t window;
    std::uint16_t count;
    std::int32_t total;
};
// A host progress callback of the documented shape (record address, 32-bit
// total; callee cleans) that logs each call; cast it to ProgressCallback.
// The log is emptied before each case.
std::int32_t CROSSCHECK_STDCALL recordProgress(void* record, std::int32_t total);
const std::vector<ProgressCall>& progressCalls();
// The counts and totals of the logged calls as text, one call a line (the
// window handle is left out: handles differ between the platforms).
std::string progressText();

// ---- Deterministic data ---------------------------------------------------

// The same sequence on every platform (SplitMix64).
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint8_t byte() { return static_cast<std::uint8_t>(next() >> 56); }
    // 0 .. bound-1
    std::uint32_t below(std::uint32_t bound) { return static_cast<std::uint32_t>((next() >> 32) % bound); }
    std::vector<std::uint8_t> bytes(std::size_t n) {
        std::vector<std::uint8_t> v(n);
        for (auto& b : v) b = byte();
        return v;
    }

private:
    std::uint64_t state_;
};

}  // namespace crosscheck

#endif
