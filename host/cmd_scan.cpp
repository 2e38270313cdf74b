// aucal scan: one scan through a scanner driver, on the simulated scanner by
// default. The host gives the driver a dialog with item 1017 for its status
// texts, answers its message boxes on the terminal, and shows its progress.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <unistd.h>

#include "command_registry.h"
#include "commands.h"
#include "install.h"
#include "it8_target/virtual_it8.h"
#include "platform/desktop_posix.h"
#include "platform/library.h"
#include "progress.h"
#include "scan_driver.h"
#include "status_text.h"

namespace aucal {

namespace {

int onMessageBox(void* context, PfWindow, const char* text, const char* title, uint32_t) {
    auto* quiet = static_cast<const bool*>(context);
    (void)quiet;
    std::fprintf(stderr, "[%s] %s\n", title != nullptr ? title : "", text != nullptr ? text : "");
    return 1;  // OK
}

sim::Dialect dialectOf(const std::string& driver) {
    if (driver == "vexa") return sim::Dialect::Vexa;
    if (driver == "prescan") return sim::Dialect::Prescan;
    return sim::Dialect::Scan;
}

class LoadedDriver {
public:
    explicit LoadedDriver(const std::string& path) : library_(pfLoadLibrary(path.c_str())) {}
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

// Where the simulated library writes the first divergence of a replay.
constexpr const char* kReplayReport = "replay-report.txt";

std::string replayDivergence(const std::string& windir, const std::string& driver) {
    const std::string path = sim::passThroughFolder(windir, dialectOf(driver)) + "/" + kReplayReport;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return {};
    char line[2048] = {};
    const bool got = std::fgets(line, sizeof line, f) != nullptr;
    std::fclose(f);
    std::string text = got ? line : "replay: the run differs from the recording";
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

}  // namespace

// The drivers take the Windows directory in at most 65 characters, and the A3
// driver builds its library path (the directory, "\TWAIN_32\KVSC_A3\" and
// "KASPI_SP.DLL") in at most 67: its directory may have 37 characters.
constexpr std::size_t kWindowsDirectoryMost = 65;
constexpr std::size_t kA3WindowsDirectoryMost = 37;

std::string defaultWindowsDirectory() {
    if (const char* w = std::getenv("AUCAL_WINDIR"); w != nullptr && *w != '\0') return w;
    // In the build tree: windows/ beside the libraries' folder when its path is
    // short enough for every driver. Otherwise (and always for an installed
    // aucal, whose folders are not the user's) a folder of this user's in the
    // temporary folder.
    const std::string beside = (std::filesystem::path(libraryDirectory()).parent_path() / "windows").string();
    if (librariesInBuildTree() && beside.size() <= kA3WindowsDirectoryMost) return beside;
    return "/tmp/aucal-windows-" + std::to_string(static_cast<unsigned long>(::getuid()));
}

int runScan(const ScanOptions& o, const CommonOptions& common) {
    namespace fs = std::filesystem;
    if (o.driver != "scan" && o.driver != "vexa" && o.driver != "prescan")
        return fail("--driver is one of scan, vexa, prescan");
    if (!o.replay.empty() && !o.simulated) return fail("--replay answers from the simulated library, not --real-scanner");
    const std::string windir = o.windir.empty() ? defaultWindowsDirectory() : o.windir;
    const std::size_t most = o.driver == "prescan" ? kA3WindowsDirectoryMost : kWindowsDirectoryMost;
    if (windir.size() > most)
        return fail("the Windows directory " + windir + " is " + std::to_string(windir.size()) +
                    " characters long; the " + o.driver + " driver takes at most " + std::to_string(most) +
                    " (give a shorter --windir)");
    std::error_code ec;
    fs::create_directories(windir, ec);
    if (ec) return fail("cannot create the Windows directory " + windir + ": " + ec.message());
    pfdSetWindowsDirectory(windir.c_str());

    if (o.simulated) {
        std::string error;
        const sim::Dialect dialect = dialectOf(o.driver);
        const std::string folder = sim::passThroughFolder(windir, dialect);
        sim::InstallOptions install;
        install.library = passThroughLibraryPath();
        if (!sim::installPassThroughInto(folder, dialect, install, &error))
            return fail("cannot install the simulated scanner: " + error);
        std::string scenario = sim::defaultScenarioText(dialect);
        fs::remove(fs::path(folder) / kReplayReport, ec);
        if (!o.replay.empty()) {
            if (!fs::exists(o.replay)) return fail("cannot open the trace " + o.replay);
            scenario += "\nreplay = " + fs::absolute(o.replay).string() + "\nreplay_report = " + kReplayReport + "\n";
        } else if (o.document == "it8") {
            scenario += "\ndocument = it8\nit8_response = " + o.response + "\n";
        } else {
            if (!fs::exists(o.document)) return fail("cannot open the document " + o.document);
            scenario += "\ndocument = " + fs::absolute(o.document).string() +
                        "\ndocument_dpi = " + std::to_string(o.documentDpi) + "\n";
        }
        scenario += "log = none\n";
        if (!sim::writeScenarioFile(folder, scenario)) return fail("cannot write the simulated scanner's scenario");
        // The simulated scanner's warm-up waits cost no real time.
        pfdUseVirtualClock(1);
    }
    if (!o.referenceOut.empty()) {
        if (o.document != "it8") return fail("--reference-out is for the virtual IT8 target");
        if (!it8sim::writeIt8ReferenceFile(o.referenceOut, it8sim::makeIt8Reference()))
            return fail("cannot write " + o.referenceOut);
    }

    LoadedDriver driver(driverLibraryPath(o.driver));
    ScanImageProc scanImage = driver.scanImage();
    if (scanImage == nullptr) return fail("cannot load the " + o.driver + " driver from " + driverLibraryPath(o.driver));

    const int32_t items[] = {1017};
    PfWindow dialog = pfdCreateDialogWindow("aucal scan", items, 1);
    setHostWindow(dialog);
    pfdSetMessageBoxHandler(onMessageBox, nullptr);
    fs::remove(o.output, ec);
    int32_t result;
    {
        ProgressDisplay progress("scanning (" + o.driver + ")", common.quiet);
        result = scanImage(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(dialog)), o.output.c_str(),
                           reinterpret_cast<ScanProgressCallback>(&ProgressDisplay::callback),
                           static_cast<uint32_t>(o.type), static_cast<uint32_t>(o.language));
    }
    pfdSetMessageBoxHandler(nullptr, nullptr);
    setHostWindow(nullptr);
    pfdDestroyWindow(dialog);
    if (!o.replay.empty()) {
        if (const std::string divergence = replayDivergence(windir, o.driver); !divergence.empty()) {
            fs::remove(o.output, ec);
            return fail(divergence);
        }
        if (!common.quiet) std::printf("replay: every call as recorded\n");
    }
    if (result != 0) {
        fs::remove(o.output, ec);
        return fail(statusSentence(Export::ScanImage, result));
    }
    if (!fs::exists(o.output)) return fail("the scanner reported no lines: nothing was scanned");
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
    cmd->add_option("--type", o->type, "0 reflective, 1 transparency, 2 transparency adapter")->capture_default_str();
    cmd->add_option("--language", o->language, "driver message language 0 to 6")->capture_default_str();
    cmd->add_option("--output,-o", o->output, "image file to write (Targa)")->required();
    cmd->add_option("--windir", o->windir, "Windows directory holding TWAIN_32 and win.ini");
    cmd->add_flag("!--real-scanner", o->simulated, "use the pass-through library installed in --windir");
    cmd->add_option("--document", o->document, "on the simulated glass: it8 or a Targa image")->capture_default_str();
    cmd->add_option("--document-dpi", o->documentDpi, "resolution of a Targa document")->capture_default_str();
    cmd->add_option("--response", o->response, "simulated scanner: mild, nonlinear, crosstalk, linear")
        ->capture_default_str();
    cmd->add_option("--reference-out", o->referenceOut, "write the virtual target's IT8.7/2 reference file");
    cmd->add_option("--replay", o->replay, "simulated scanner: answer from a recorded session (aucal trace show)");
    return {cmd, [o, &common] { return runScan(*o, common); }};
}

const RegisterCommand registered(70, addScan);

}  // namespace

}  // namespace aucal
