// aucal trace show and aucal scan --replay on a session recorded through the
// recording library in front of the simulated scanner (as aucal scan
// --real-scanner sees a real installation).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "aucal_run.h"
#include "install.h"
#include "support/temp_dir.h"

namespace {

struct Row {
    const char* name;
    std::string args;  // after "aucal"; {T} the trace, {D} the temporary folder
    int status;        // 0 or non-zero
    const char* says;
};

std::string expand(std::string text, const std::string& trace, const std::string& dir) {
    for (std::size_t at; (at = text.find("{T}")) != std::string::npos;) text.replace(at, 3, trace);
    for (std::size_t at; (at = text.find("{D}")) != std::string::npos;) text.replace(at, 3, dir);
    return text;
}

TEST(AucalTrace, ShowAndReplayARecordedSession) {
    testsupport::TempDir dir;
    // A short, short-pathed Windows directory: the drivers take at most 65 characters.
    const std::string windir = dir.file("w");
    const std::string folder = sim::passThroughFolder(windir, sim::Dialect::Scan);
    std::string error;
    sim::InstallOptions real;
    real.fileName = "KASPI_SP_REAL.DLL";
    ASSERT_TRUE(sim::installPassThroughInto(folder, sim::Dialect::Scan, real, &error)) << error;
    sim::InstallOptions recorder;
    recorder.library = AUCAL_RECORDER_LIBRARY;
    recorder.writeScenario = false;
    ASSERT_TRUE(sim::installPassThroughInto(folder, sim::Dialect::Scan, recorder, &error)) << error;
    ASSERT_TRUE(sim::writeScenarioFile(folder, "dialect = scan\nlines = 30\nlog = none\n"));
    const testsupport::CliRun recorded =
        testsupport::runAucal("-q scan --real-scanner --windir " + windir + " -o " + dir.file("recorded.tga"));
    ASSERT_EQ(recorded.status, 0) << recorded.output;
    const std::string trace = folder + "/trace-001.auctrace";
    ASSERT_TRUE(std::filesystem::exists(trace));
    auto bytes = testsupport::readFile(trace);
    bytes.resize(bytes.size() / 2);
    testsupport::writeFile(dir.file("half.auctrace"), bytes);

    const Row rows[] = {
        {"show", "trace show {T}", 0, "scan dialect"},
        {"info", "info {T}", 0, "scanner session trace, version 1, scan dialect"},
        {"replay", "scan --windir {D}/r --replay {T} -o {D}/replayed.tga", 0, "replay: every call as recorded"},
        {"another driver", "scan --driver vexa --windir {D}/r --replay {T} -o {D}/vexa.tga", 1,
         "the trace is of the scan dialect, this library speaks vexa"},
        {"truncated", "trace show {D}/half.auctrace", 1, "truncated"},
        {"not a trace", "trace show {D}/recorded.tga", 1, "not a scanner trace"},
        {"missing", "scan --windir {D}/r --replay {D}/none.auctrace -o {D}/none.tga", 1, "cannot open the trace"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const testsupport::CliRun run = testsupport::runAucal(expand(row.args, trace, dir.path().string()));
        EXPECT_EQ(run.status != 0, row.status != 0) << run.output;
        EXPECT_NE(run.output.find(row.says), std::string::npos) << run.output;
    }
    EXPECT_EQ(testsupport::readFile(dir.file("replayed.tga")), testsupport::readFile(dir.file("recorded.tga")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("vexa.tga")));
}

}  // namespace
