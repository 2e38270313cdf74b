// Record and replay on both platforms: for each driver a run through the
// recording library (forwarding to the simulated scanner) writes a trace, and
// the same driver run against the simulated library replaying it writes the
// same image with the same result and no divergence. The trace recorded by
// the Linux build (a shared input) replays the same way under Wine.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "crosscheck.h"
#include "scan_driver.h"

namespace {

namespace fs = std::filesystem;

struct Driver {
    const char* library;
    const char* folder;
    const char* dialect;
};
constexpr Driver kDrivers[] = {
    {"scan", "KVSC_PRO", "scan"},
    {"vexa", "KVSC_Z48", "vexa"},
    {"prescan", "KVSC_A3", "prescan"},
};

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Removes first: the Windows build's copy_file does not overwrite.
void copyOver(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::remove(to, ec);
    fs::copy_file(from, to, ec);
    crosscheck::check(!ec, "cannot copy " + from + " to " + to + ": " + ec.message());
}

std::string folderOf(const Driver& d) { return crosscheck::windowsDirectory() + "/TWAIN_32/" + d.folder; }

struct RunResult {
    std::int32_t status;
    std::string image;
};

RunResult scan(const Driver& d, const std::string& subject) {
    crosscheck::Library library = crosscheck::loadLibrary(d.library);
    RunResult r{-1, {}};
    crosscheck::withFocusWindow([&](crosscheck::FocusWindow& window) {
        const std::string image = crosscheck::outputPath(subject + ".tga");
        std::remove(image.c_str());
        r.status = crosscheck::callStdcall<std::int32_t>(library, "Scan_Image", window.handle32(), image.c_str(),
                                                         static_cast<ScanProgressCallback>(nullptr), 0u, 0u);
        r.image = readText(image);
        std::remove(image.c_str());
    });
    return r;
}

// The installed library and its scenario, put back when the case ends.
class Session {
public:
    explicit Session(const Driver& d) : driver_(d), dir_(folderOf(d)), scenario_(readText(dir_ + "/scenario.txt")) {}
    ~Session() {
        copyOver(dir_ + "/KASPI_SP_REAL.DLL", dir_ + "/KASPI_SP.DLL");
        std::error_code ec;
        for (const char* f : {"KASPI_SP_REAL.DLL", "recorder.ini", "session.auctrace", "replay.txt"})
            fs::remove(dir_ + "/" + f, ec);
        writeText(dir_ + "/scenario.txt", scenario_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // A calibrated short scan through the recording library; the trace's path.
    std::string record(const std::string& subject) {
        copyOver(dir_ + "/KASPI_SP.DLL", dir_ + "/KASPI_SP_REAL.DLL");
        copyOver(crosscheck::recorderLibrary(), dir_ + "/KASPI_SP.DLL");
        writeText(dir_ + "/recorder.ini", "trace = session.auctrace\n");
        writeText(dir_ + "/scenario.txt", scenario_ + "\ncalibrate = 1\nlines = 12\nlog = none\n");
        recorded_ = scan(driver_, subject);
        copyOver(dir_ + "/KASPI_SP_REAL.DLL", dir_ + "/KASPI_SP.DLL");
        return dir_ + "/session.auctrace";
    }
    // The same driver against the simulated library replaying trace: the
    // result, the image and the first divergence (empty when none).
    std::string replay(const std::string& trace, const std::string& subject) {
        fs::remove(dir_ + "/replay.txt");
        writeText(dir_ + "/scenario.txt", std::string("dialect = ") + driver_.dialect + "\nreplay = " + trace +
                                              "\nreplay_report = replay.txt\nlog = none\n");
        const RunResult r = scan(driver_, subject);
        const std::string divergence = readText(dir_ + "/replay.txt");
        crosscheck::check(divergence.empty(), subject + ": " + divergence);
        crosscheck::check(r.status == recorded_.status && r.image == recorded_.image,
                          subject + ": the replayed run differs from the recorded one");
        crosscheck::writeOutput(subject + ".tga", r.image.data(), r.image.size());
        return "status " + std::to_string(r.status) + ", " + std::to_string(r.image.size()) + " image bytes\n" +
               divergence;
    }
    const RunResult& recorded() const { return recorded_; }

private:
    Driver driver_;
    std::string dir_;
    std::string scenario_;
    RunResult recorded_{-1, {}};
};

}  // namespace

#ifndef _WIN32
CROSSCHECK_INPUT(record_replay_traces) {
    for (const Driver& d : kDrivers) {
        Session session(d);
        const std::string trace = session.record(std::string("record_replay/input_") + d.library);
        const std::string bytes = readText(trace);
        crosscheck::writeInput(std::string("record_replay/") + d.library + ".auctrace", bytes.data(), bytes.size());
    }
}
#endif

CROSSCHECK_CASE(record_replay) {
    std::string summary;
    for (const Driver& d : kDrivers) {
        const std::string subject = std::string("record_replay/") + d.library;
        Session session(d);
        const std::string trace = session.record(subject + "_recorded");
        summary += std::string(d.library) + " own trace: " + session.replay(trace, subject + "_own");
        // The Linux build's trace of the same session.
        summary += std::string(d.library) + " Linux trace: " +
                   session.replay(crosscheck::inputPath(subject + ".auctrace"), subject + "_linux");
    }
    crosscheck::writeOutput("record_replay/summary.txt", summary.data(), summary.size());
}
