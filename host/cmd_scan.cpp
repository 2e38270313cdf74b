// aucal scan: one scan through a scanner driver, on the simulated scanner by
// default. The host gives the driver a dialog with item 1017 for its status
// texts, answers its message boxes on the terminal (in UTF-8), and shows its
// progress. The driver writes the image to a temporary file beside the output,
// which replaces the output only when the scan succeeded.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "command_registry.h"
#include "atomic_file.h"
#include "cancellation.h"
#include "commands.h"
#include "driver_text.h"
#include "install.h"
#include "option_checks.h"
#include "it8_target/virtual_it8.h"
#include "platform/host_desktop.h"
#include "platform/host_system.h"
#include "platform/library.h"
#include "progress.h"
#include "scan_driver.h"
#include "status_text.h"
#include "utf8_path.h"

namespace aucal {

namespace {

// The message boxes of one run: shown on stderr in UTF-8, and counted, so
// that a failure says "the driver has said why" only when it did.
struct MessageBoxes {
    int language = 0;
    int shown = 0;
};

int onMessageBox(void* context, const char* text, const char* title) {
    auto* boxes = static_cast<MessageBoxes*>(context);
    ++boxes->shown;
    std::fprintf(stderr, "[%s] %s\n", driverTextToUtf8(title != nullptr ? title : "", boxes->language).c_str(),
                 driverTextToUtf8(text != nullptr ? text : "", boxes->language).c_str());
    return 1;  // OK
}

// A private Windows folder for one simulated scan, removed afterwards, so
// that scans running side by side never share (and overwrite) one installed
// simulated library and scenario. Where the drivers read the system's
// Windows directory themselves (Windows), it is that one, and stays.
class PrivateWindowsFolder {
public:
    PrivateWindowsFolder() {
        char name[4096];
        const int made = pfHostPrivateWindowsDirectory(name, sizeof name);
        if (made >= 0) path_ = name;
        owned_ = made == 1;
    }
    ~PrivateWindowsFolder() {
        std::error_code ec;
        if (owned_) std::filesystem::remove_all(utf8Path(path_), ec);
    }
    PrivateWindowsFolder(const PrivateWindowsFolder&) = delete;
    PrivateWindowsFolder& operator=(const PrivateWindowsFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    bool owned_ = false;
};

sim::Dialect dialectOf(const std::string& driver) {
    if (driver == "vexa") return sim::Dialect::Vexa;
    if (driver == "prescan") return sim::Dialect::Prescan;
    return sim::Dialect::Scan;
}

// Where the simulated library writes the first divergence of a replay.
constexpr const char* kReplayReport = "replay-report.txt";

std::string replayDivergence(const std::string& windir, const std::string& driver) {
    const std::string path = sim::passThroughFolder(windir, dialectOf(driver)) + "/" + kReplayReport;
    std::FILE* f = pfHostOpenFile(path.c_str(), "rb");
    if (f == nullptr) return {};
    char line[2048] = {};
    const bool got = std::fgets(line, sizeof line, f) != nullptr;
    std::fclose(f);
    std::string text = got ? line : "replay: the run differs from the recording";
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

class LoadedDriver {
public:
    explicit LoadedDriver(const std::string& path) : library_(pfHostLoadLibrary(path.c_str())) {}
    ~LoadedDriver() {
        if (library_ != nullptr) pfFreeLibrary(library_);
    }
    LoadedDriver(const LoadedDriver&) = delete;
    LoadedDriver& operator=(const LoadedDriver&) = delete;
    ScanImageProc scanImage() const {
        return library_ == nullptr ? nullptr : reinterpret_cast<ScanImageProc>(pfGetProcAddress(library_, "Scan_Image"));
    }

private:
    PfLibrary library_;
};

}  // namespace

// The drivers take the Windows directory in at most 65 characters, and the A3
// driver builds its library path (the directory, "\TWAIN_32\KVSC_A3\" and
// "KASPI_SP.DLL") in at most 67: its directory may have 37 characters.
constexpr std::size_t kWindowsDirectoryMost = 65;
constexpr std::size_t kA3WindowsDirectoryMost = 37;

namespace {
std::string sharedTemporaryWindowsDirectory() {
    return "/tmp/aucal-windows-" + std::to_string(pfHostUserId());
}
}  // namespace

std::string defaultWindowsDirectory() {
    // Where the drivers read the system's Windows directory themselves.
    char system[4096];
    if (const std::size_t n = pfHostSystemWindowsDirectory(system, sizeof system); n > 0 && n < sizeof system)
        return system;
    if (const char* w = std::getenv("AUCAL_WINDIR"); w != nullptr && *w != '\0') return w;
    // In the build tree: windows/ beside the libraries' folder when its path is
    // short enough for every driver. Otherwise (and always for an installed
    // aucal, whose folders are not the user's) a folder of this user's in the
    // temporary folder.
    const std::string beside = utf8String(utf8Path(libraryDirectory()).parent_path() / "windows");
    if (librariesInBuildTree() && beside.size() <= kA3WindowsDirectoryMost) return beside;
    return sharedTemporaryWindowsDirectory();
}

namespace {

// "" or the sentence refusing what the options ask for.
std::string refusal(const ScanOptions& o) {
    if (std::string s = extensionConflict(o.output, {".tga"}, "a Targa image (the drivers write Targa)"); !s.empty())
        return s;
    if (!o.referenceOut.empty() && o.document != "it8")
        return "--reference-out is the virtual IT8 target's reference data; the document here is " + o.document;
    std::vector<std::string> outputs{o.output};
    if (!o.referenceOut.empty()) outputs.push_back(o.referenceOut);
    return outputConflict(o.document == "it8" ? std::vector<std::string>{} : std::vector<std::string>{o.document},
                          outputs);
}

// Sets up the simulated scanner in windir for this scan.
std::string installSimulatedScanner(const ScanOptions& o, const std::string& windir) {
    namespace fs = std::filesystem;
    std::string error;
    const sim::Dialect dialect = dialectOf(o.driver);
    const std::string folder = sim::passThroughFolder(windir, dialect);
    sim::InstallOptions install;
    install.library = passThroughLibraryPath();
    // A real installation keeps its library at the same place (on Windows the
    // drivers look in the system's Windows directory): never replace a library
    // that the simulated scanner did not put there itself, with its scenario.
    const fs::path existing = utf8Path(folder) / install.fileName;
    if (pathExists(utf8String(existing)) && !pathExists(utf8String(utf8Path(folder) / "scenario.txt")))
        return "the Windows directory " + windir + " holds a pass-through library that is not the simulated scanner's (" +
               utf8String(existing) + "); aucal does not replace it: scan with it with --real-scanner, or give the "
               "simulated scanner another --windir";
    if (!sim::installPassThroughInto(folder, dialect, install, &error))
        return "cannot install the simulated scanner: " + error;
    std::string scenario = sim::defaultScenarioText(dialect);
    std::error_code ec;
    fs::remove(utf8Path(folder) / kReplayReport, ec);
    if (!o.replay.empty()) {
        if (!fs::exists(utf8Path(o.replay))) return "cannot open the trace " + o.replay;
        scenario += "\nreplay = " + utf8String(fs::absolute(utf8Path(o.replay))) + "\nreplay_report = " + kReplayReport + "\n";
    } else if (o.document == "it8") {
        scenario += "\ndocument = it8\nit8_response = " + o.response + "\n";
    } else {
        if (!fs::exists(utf8Path(o.document))) return "cannot open the document " + o.document;
        scenario += "\ndocument = " + utf8String(fs::absolute(utf8Path(o.document))) +
                    "\ndocument_dpi = " + std::to_string(o.documentDpi) + "\n";
    }
    scenario += "log = none\n";
    if (!sim::writeScenarioFile(folder, scenario)) return "cannot write the simulated scanner's scenario";
    // The simulated scanner's warm-up waits cost no real time.
    pfHostUseVirtualClock(1);
    return "";
}

// The real scanner's pass-through library: there, and loadable.
std::string checkPassThroughLibrary(const ScanOptions& o, const std::string& windir, std::string* library) {
    *library = utf8String(utf8Path(sim::passThroughFolder(windir, dialectOf(o.driver))) / "KASPI_SP.DLL");
    if (!pathExists(*library))
        return "--real-scanner: no pass-through library at " + *library + " (give --windir, the Windows folder "
               "holding TWAIN_32 with the scanner maker's library)";
    PfLibrary loaded = pfHostLoadLibrary(library->c_str());
    if (loaded == nullptr) return "--real-scanner: the pass-through library " + *library + " cannot be loaded";
    pfFreeLibrary(loaded);
    return "";
}

}  // namespace

int runScan(const ScanOptions& o, const CommonOptions& common) {
    namespace fs = std::filesystem;
    if (o.driver != "scan" && o.driver != "vexa" && o.driver != "prescan")
        return usage("--driver is one of scan, vexa, prescan");
    if (std::string s = refusal(o); !s.empty()) return usage(s);
    if (!o.replay.empty() && !o.simulated)
        return usage("--replay answers from the simulated library, not --real-scanner");
    PrivateWindowsFolder privateFolder;
    if (o.simulated && o.windir.empty() && privateFolder.path().empty())
        return fail("cannot make a temporary Windows folder for the simulated scanner");
    const std::string windir =
        !o.windir.empty() ? o.windir : o.simulated ? privateFolder.path() : defaultWindowsDirectory();
    const std::size_t most = o.driver == "prescan" ? kA3WindowsDirectoryMost : kWindowsDirectoryMost;
    if (windir.size() > most)
        return usage("the Windows directory " + windir + " is " + std::to_string(windir.size()) +
                     " characters long; the " + o.driver + " driver takes at most " + std::to_string(most) +
                     " (give a shorter --windir)");
    if (!o.simulated && windir == sharedTemporaryWindowsDirectory())
        if (std::string s = privateFolderRefusal(windir, "the default Windows directory"); !s.empty()) return fail(s);
    std::string library;
    if (!o.simulated)
        if (std::string s = checkPassThroughLibrary(o, windir, &library); !s.empty()) return fail(s);
    std::error_code ec;
    fs::create_directories(utf8Path(windir), ec);
    if (ec) return fail("cannot create the Windows directory " + windir + ": " + ec.message());
    if (!pfHostSetWindowsDirectory(windir.c_str()))
        return fail("the drivers look for the pass-through library under the Windows directory " +
                    defaultWindowsDirectory() + ", which cannot be moved to " + windir);
    if (o.simulated)
        if (std::string s = installSimulatedScanner(o, windir); !s.empty()) return fail(s);

    LoadedDriver driver(driverLibraryPath(o.driver));
    ScanImageProc scanImage = driver.scanImage();
    if (scanImage == nullptr) return fail("cannot load the " + o.driver + " driver from " + driverLibraryPath(o.driver));
    if (!common.quiet)
        std::printf(o.simulated ? "simulated scanner (no hardware): the %s driver on the simulated pass-through library\n"
                                : "real scanner: the %s driver on the pass-through library %s\n",
                    o.driver.c_str(), library.c_str());

    std::string error;
    if (!o.referenceOut.empty() &&
        !writeFileAtomically(
            o.referenceOut,
            [](const std::string& temporary, std::string*) {
                return it8sim::writeIt8ReferenceFile(temporary, it8sim::makeIt8Reference());
            },
            &error))
        return fail("cannot write " + o.referenceOut + (error.empty() ? "" : ": " + error));

    AtomicFile image(o.output);
    if (!image.create(&error)) return fail(error);
    const int32_t items[] = {1017};
    PfWindow dialog = pfHostCreateDialogWindow("aucal scan", items, 1);
    setHostWindow(dialog);
    MessageBoxes boxes{o.language, 0};
    pfHostSetMessageBoxHandler(onMessageBox, &boxes);
    int32_t result;
    {
        ProgressDisplay progress("scanning (" + o.driver + ")", common.quiet);
        const std::string file = libraryPathArgument(image.temporaryPath());
        result = scanImage(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(dialog)), file.c_str(),
                           reinterpret_cast<ScanProgressCallback>(&ProgressDisplay::callback),
                           static_cast<uint32_t>(o.type), static_cast<uint32_t>(o.language));
    }
    pfHostSetMessageBoxHandler(nullptr, nullptr);
    setHostWindow(nullptr);
    pfHostDestroyWindow(dialog);
    throwIfCancelled();
    if (!o.replay.empty()) {
        if (const std::string divergence = replayDivergence(windir, o.driver); !divergence.empty())
            return fail(divergence);
        if (!common.quiet) std::printf("replay: every call as recorded\n");
    }
    if (result == 1)
        return fail(boxes.shown > 0 ? "the scan failed (the driver has said why above)"
                                    : "the scan failed, and the driver gave no reason");
    if (result != 0) return fail(statusSentence(Export::ScanImage, result));
    if (fs::file_size(utf8Path(image.temporaryPath()), ec) == 0 || ec)
        return fail("the scanner reported no lines: nothing was scanned");
    if (!image.commit(&error)) return fail(error);
    if (!common.quiet) std::printf("scan written to %s\n", o.output.c_str());
    return 0;
}

namespace {

AddedCommand addScan(CLI::App& app, const CommonOptions& common) {
    auto o = std::make_shared<ScanOptions>();
    auto* cmd = app.add_subcommand("scan", "scan a target through a scanner driver (the simulated scanner by default)")
                    ->footer("Examples:\n  aucal scan --output it8.tga --reference-out it8-reference.txt\n"
                             "  aucal scan --driver vexa --response nonlinear --output it8-vexa.tga\n"
                             "  aucal scan --document printed-chart.tga --document-dpi 300 --output chart-scan.tga\n"
                             "  aucal scan --real-scanner --windir /path/to/windows --output scan.tga\n"
                             "  aucal scan --driver vexa --replay trace-001.auctrace --output replayed.tga");
    cmd->add_option("--driver,-d", o->driver, "scan, vexa or prescan")
        ->check(CLI::IsMember({"scan", "vexa", "prescan"}))
        ->capture_default_str();
    cmd->add_option("--type", o->type, "target type: " + namesHelp(targetTypeNames()))
        ->transform(nameOrNumber(targetTypeNames()))
        ->capture_default_str();
    cmd->add_option("--language", o->language, "driver message language: " + namesHelp(languageNames()))
        ->transform(nameOrNumber(languageNames()))
        ->capture_default_str();
    cmd->add_option("--output,-o", o->output, "image file to write (Targa, .tga)")->required();
    cmd->add_option("--windir", o->windir,
                    "the Windows directory holding TWAIN_32 and win.ini (with --real-scanner, default: "
                    "$AUCAL_WINDIR, else windows/ beside the library folder; the simulated scanner is "
                    "installed there when given, else in a private temporary folder)");
    cmd->add_flag("!--real-scanner", o->simulated, "use the scanner maker's pass-through library under the Windows "
                                                    "directory instead of the simulated scanner");
    cmd->add_option("--document", o->document, "on the simulated glass: it8 or a Targa image")->capture_default_str();
    cmd->add_option("--document-dpi", o->documentDpi, "resolution of a Targa document, 1 to 9600")
        ->check(within(1, 9600, "dpi"))
        ->capture_default_str();
    cmd->add_option("--response", o->response, "simulated scanner: mild, nonlinear, crosstalk or linear")
        ->check(oneOf({"mild", "nonlinear", "crosstalk", "linear"}))
        ->capture_default_str();
    cmd->add_option("--reference-out", o->referenceOut, "write the virtual target's IT8.7/2 reference file");
    cmd->add_option("--replay", o->replay, "simulated scanner: answer from a recorded session (aucal trace show)");
    return {cmd, [o, cmd, &common] {
                for (const char* simulatedOnly : {"--document", "--document-dpi", "--response", "--reference-out"})
                    if (std::string s = refusedTogether(*cmd, "--real-scanner", simulatedOnly,
                                                        "it sets up the simulated scanner");
                        !s.empty())
                        return usage(s);
                if (cmd->count("--document-dpi") > 0 && o->document == "it8")
                    return usage("--document-dpi is the resolution of a Targa --document; the virtual IT8 target "
                                 "has its own");
                return runScan(*o, common);
            }};
}

const RegisterCommand registered(70, addScan);

}  // namespace

}  // namespace aucal
