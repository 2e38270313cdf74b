// Record and replay: each driver's run through the recording library (which
// forwards to the simulated scanner) writes a trace; the same driver run
// again against the simulated library replaying that trace gets the same
// answers, so it writes the same image and returns the same result, and the
// replay reports no divergence. A driver built with one block field altered
// is caught, with the field named; damaged traces and another dialect's are
// refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "itest_support/driver_bench.h"
#include "platform/desktop_posix.h"
#include "support/temp_dir.h"
#include "trace.h"

namespace {

using drvtest::DriverBench;

struct Driver {
    const char* library;
    sim::Dialect dialect;
};
const Driver kScan{DRIVER_LIB_scan, sim::Dialect::Scan};
const Driver kVexa{DRIVER_LIB_vexa, sim::Dialect::Vexa};
const Driver kPrescan{DRIVER_LIB_prescan, sim::Dialect::Prescan};

struct Session {
    const char* name;
    Driver driver;
    const char* scenario;
    std::int32_t result = 0;        // what Scan_Image returns, recorded and replayed
    std::uint32_t type = 0;
    bool escape = false;            // Escape pressed before the run
    const char* prelude = nullptr;  // an unrecorded run first (the driver keeps its stored shading)
};

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class RecordReplay {
public:
    explicit RecordReplay(const Driver& d) : bench(d.library, d.dialect), dialect(d.dialect) {}

    std::string tracePath() const { return bench.folder() + "/session.auctrace"; }
    std::string reportPath() const { return bench.folder() + "/replay.txt"; }

    // The maker's library renamed beside the recorder, which writes session.auctrace.
    void installRecorder() {
        std::string error;
        sim::InstallOptions real;
        real.fileName = "KASPI_SP_REAL.DLL";
        real.writeScenario = false;
        ASSERT_TRUE(sim::installPassThroughInto(bench.folder(), dialect, real, &error)) << error;
        sim::InstallOptions recorder;
        recorder.library = AUCAL_RECORDER_LIBRARY;
        recorder.writeScenario = false;
        ASSERT_TRUE(sim::installPassThroughInto(bench.folder(), dialect, recorder, &error)) << error;
        testsupport::writeText(bench.folder() + "/recorder.ini", "trace = session.auctrace\n");
    }
    // The simulated library again, answering from the trace.
    void installReplay(const std::string& trace) {
        std::string error;
        sim::InstallOptions simulated;
        simulated.writeScenario = false;
        ASSERT_TRUE(sim::installPassThroughInto(bench.folder(), dialect, simulated, &error)) << error;
        std::filesystem::remove(reportPath());
        bench.scenario("replay = " + trace + "\nreplay_report = replay.txt");
    }
    std::int32_t run(const Session& s) {
        if (s.escape) pfdPostKeyDown(bench.host, PF_VK_ESCAPE);
        return bench.scan(s.type);
    }

    DriverBench bench;
    sim::Dialect dialect;
};

// The stored shading of an earlier run names pieces the library described
// while it was loaded before; a library loaded afresh refuses them, and the
// trace keeps that refusal.
constexpr const char* kStored = "calibrate = 0\nstored_shading = 2\nlines = 20";
constexpr const char* kCalibrate = "calibrate = 1\nlines = 2";
constexpr const char* kEscape = "calibrate = 0\nlines = 50\npiece_bytes = 3000\npiece_limit = 2";

const Session kSessions[] = {
    {.name = "scan, the whole target", .driver = kScan, .scenario = ""},
    {.name = "scan, calibration", .driver = kScan, .scenario = "lines = 40"},
    {.name = "scan, stored shading", .driver = kScan, .scenario = kStored, .result = 1, .prelude = kCalibrate},
    {.name = "scan, transparency", .driver = kScan, .scenario = "adapter = 1\nlines = 30", .type = 1},
    {.name = "scan, Escape", .driver = kScan, .scenario = kEscape, .result = 1, .escape = true},
    {.name = "scan, status error at start scan", .driver = kScan, .scenario = "error = 5 1 0x0204", .result = 1},
    {.name = "vexa, calibration", .driver = kVexa, .scenario = "lines = 40"},
    {.name = "vexa, transparency", .driver = kVexa, .scenario = "adapter = 1\nlines = 30", .type = 2},
    {.name = "vexa, Escape", .driver = kVexa, .scenario = kEscape, .result = 1, .escape = true},
    {.name = "vexa, status error at read image", .driver = kVexa, .scenario = "lines = 20\nerror = 8 1 0x0302",
     .result = 1},
    {.name = "prescan, calibration", .driver = kPrescan, .scenario = "lines = 40"},
    {.name = "prescan, stored shading", .driver = kPrescan, .scenario = kStored, .result = 1, .prelude = kCalibrate},
    {.name = "prescan, transparency", .driver = kPrescan, .scenario = "adapter = 1\ncalibrate = 0\nlines = 30",
     .type = 1},
    {.name = "prescan, Escape", .driver = kPrescan, .scenario = kEscape, .result = 1, .escape = true},
    {.name = "prescan, status error at inquiry", .driver = kPrescan, .scenario = "error = 0 1 0x0206", .result = 1},
};

TEST(RecordReplay, EachSessionReplaysCleanlyThroughItsDriver) {
    for (const Session& s : kSessions) {
        SCOPED_TRACE(s.name);
        RecordReplay r(s.driver);
        ASSERT_TRUE(r.bench.loaded());
        if (s.prelude != nullptr) {
            r.bench.scenario(s.prelude);
            ASSERT_EQ(r.bench.scan(0), 0);
        }
        std::filesystem::remove(r.bench.imagePath());
        r.bench.scenario(s.scenario);
        r.installRecorder();
        const std::int32_t recorded = r.run(s);
        EXPECT_EQ(recorded, s.result);
        const std::string image = readText(r.bench.imagePath());
        sim::trace::Trace trace;
        std::string error;
        ASSERT_TRUE(sim::trace::read(r.tracePath(), &trace, &error)) << error;
        EXPECT_EQ(trace.header.dialect, s.driver.dialect);
        std::printf("[ trace    ] %s: %zu calls, %ju bytes\n", s.name, trace.calls.size(),
                    static_cast<std::uintmax_t>(std::filesystem::file_size(r.tracePath())));

        std::filesystem::remove(r.bench.imagePath());
        r.installReplay(r.tracePath());
        EXPECT_EQ(r.run(s), recorded);
        EXPECT_EQ(readText(r.bench.imagePath()), image) << "the replayed run wrote another image";
        EXPECT_FALSE(std::filesystem::exists(r.reportPath())) << readText(r.reportPath());
    }
}

// A trace of the scan driver and a way to spoil it.
struct Refusal {
    const char* name;
    Driver replayedBy;
    void (*spoil)(const std::string& path);
    const char* message;  // part of the report
};

void truncateTrace(const std::string& path) {
    std::filesystem::resize_file(path, std::filesystem::file_size(path) * 2 / 3);
}
void flipAByte(const std::string& path) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(std::filesystem::file_size(path) / 2));
    f.put('\x5A');
}
void keep(const std::string&) {}

const Refusal kRefusals[] = {
    {"truncated", kScan, &truncateTrace, "the trace is refused"},
    {"damaged", kScan, &flipAByte, "the trace is refused"},
    {"another dialect", kVexa, &keep, "the trace is of the scan dialect, this library speaks vexa"},
};

TEST(RecordReplay, DamagedOrForeignTracesAreRefused) {
    RecordReplay recording(kScan);
    recording.bench.scenario("calibrate = 0\nlines = 20");
    recording.installRecorder();
    ASSERT_EQ(recording.bench.scan(0), 0);
    for (const Refusal& c : kRefusals) {
        SCOPED_TRACE(c.name);
        const std::string copy = recording.bench.folder() + "/" + c.name + ".auctrace";
        std::filesystem::copy_file(recording.tracePath(), copy, std::filesystem::copy_options::overwrite_existing);
        c.spoil(copy);
        RecordReplay r(c.replayedBy);
        r.installReplay(copy);
        EXPECT_EQ(r.bench.scan(0), 1);
        EXPECT_NE(readText(r.reportPath()).find(c.message), std::string::npos) << readText(r.reportPath());
    }
}

TEST(RecordReplay, AnAlteredDriverIsCaughtWithTheFieldNamed) {
    RecordReplay r(kScan);
    r.bench.scenario("calibrate = 0\nlines = 10");
    r.installRecorder();
    ASSERT_EQ(r.bench.scan(0), 0);
    DriverBench altered(DRIVER_LIB_scan_altered, sim::Dialect::Scan);
    std::filesystem::copy_file(r.tracePath(), altered.folder() + "/session.auctrace");
    altered.scenario("replay = session.auctrace\nreplay_report = replay.txt");
    EXPECT_EQ(altered.scan(0), 1);
    const std::string report = readText(altered.folder() + "/replay.txt");
    std::printf("[ divergence ] %s", report.c_str());
    EXPECT_NE(report.find("SPI_CALL 1 set_window"), std::string::npos) << report;
    EXPECT_NE(report.find("field byte16 (byte 16) is 4, recorded 3"), std::string::npos) << report;
}

TEST(RecordReplay, AnUnwritableTraceLeavesTheRunAsItWas) {
    RecordReplay r(kScan);
    r.bench.scenario("calibrate = 0\nlines = 10");
    r.installRecorder();
    testsupport::writeText(r.bench.folder() + "/recorder.ini", "trace = no-such-folder/session.auctrace\n");
    EXPECT_EQ(r.bench.scan(0), 0);
    EXPECT_TRUE(r.bench.imageExists());
    EXPECT_FALSE(std::filesystem::exists(r.bench.folder() + "/no-such-folder"));
}

}  // namespace
