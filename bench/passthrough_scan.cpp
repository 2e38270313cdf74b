// Speed of the simulated scanner: a whole reflective scan at 150 dpi (742
// lines of 1015 pixels of the virtual IT8 target, after shading and tone
// tables), the white reference lines, and the first scan of a load, which
// also renders the target.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/memory.h"
#include "platform/raii.hpp"
#include "scanner.h"

namespace {

void w16(std::uint8_t* b, unsigned o, unsigned v) {
    b[o] = static_cast<std::uint8_t>(v);
    b[o + 1] = static_cast<std::uint8_t>(v >> 8);
}
void w32(std::uint8_t* b, unsigned o, std::uint32_t v) {
    w16(b, o, v & 0xFFFF);
    w16(b, o + 2, v >> 16);
}
unsigned r16(const std::uint8_t* b, unsigned o) { return b[o] | (b[o + 1] << 8); }
std::uint32_t addr(const void* p) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p)); }

struct Memory {
    Memory() : transfer(PF_GMEM_DDESHARE | PF_GMEM_ZEROINIT, 65536), records(PF_GMEM_DDESHARE | PF_GMEM_ZEROINIT, 256 * 20),
               shading(PF_GMEM_DDESHARE | PF_GMEM_ZEROINIT, 196608), shadingRecords(PF_GMEM_DDESHARE | PF_GMEM_ZEROINIT, 16 * 20) {}
    pf::LockedGlobal transfer, records, shading, shadingRecords;
};

sim::Scenario scenario() {
    sim::Scenario s = sim::defaultScenario(sim::Dialect::Scan);
    s.notReadyPolls = 0;
    s.logPath.clear();
    return s;
}

// Set window of the reflective target on model 6000.
void setWindow(sim::Scanner& scanner, std::uint8_t* b) {
    std::memset(b, 0, 64);
    w16(b, 6, 518);
    w16(b, 10, 4581);
    w16(b, 12, 2970);
    b[16] = 3;
    b[17] = 1;
    w16(b, 18, 150);
    scanner.command(b, 0, 1);
}

// Start, ready, describe, read every line; the lines read.
unsigned scanAll(sim::Scanner& scanner, Memory& m) {
    std::uint8_t block[64] = {};
    scanner.command(block, 0, 5);
    const unsigned bytes = r16(block, 8), lines = r16(block, 10);
    std::uint8_t status[16] = {};
    scanner.command(status, 0, 9);
    const unsigned pieces = scanner.describeBuffer(m.transfer.data(), 65536, m.records.data(), bytes);
    std::uint8_t* rec = m.records.as<std::uint8_t>();
    unsigned units = 0xFFFF;
    for (unsigned k = 0; k < pieces; ++k) {
        const unsigned u = (rec[20 * k] | (rec[20 * k + 1] << 8) | (rec[20 * k + 2] << 16)) / bytes;
        w16(rec + 20 * k, 4, u);
        units = u < units ? u : units;
    }
    unsigned done = 0;
    std::uint8_t read[64] = {};
    while (done < lines) {
        const unsigned n = lines - done < pieces * units ? lines - done : pieces * units;
        w16(read, 6, bytes);
        w16(read, 8, n);
        w32(read, 12, n * bytes);
        w16(read, 16, done + n);
        w16(read, 18, done);
        w16(read, 26, pieces);
        w32(read, 28, addr(m.records.data()));
        if (scanner.command(read, 0, 8) != 0) break;
        done += n;
    }
    return done;
}

void BM_ReflectiveScan150(benchmark::State& state) {
    Memory m;
    sim::Scanner scanner(scenario(), "");
    std::uint8_t window[64];
    setWindow(scanner, window);
    scanAll(scanner, m);  // renders the target once
    unsigned lines = 0;
    for (auto _ : state) {
        setWindow(scanner, window);
        lines = scanAll(scanner, m);
        benchmark::DoNotOptimize(lines);
    }
    state.counters["lines"] = lines;
    state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_ReflectiveScan150)->Unit(benchmark::kMillisecond);

void BM_FirstScanRendersTheTarget(benchmark::State& state) {
    Memory m;
    for (auto _ : state) {
        sim::Scanner scanner(scenario(), "");
        std::uint8_t window[64];
        setWindow(scanner, window);
        benchmark::DoNotOptimize(scanAll(scanner, m));
    }
}
BENCHMARK(BM_FirstScanRendersTheTarget)->Unit(benchmark::kMillisecond);

void BM_WhiteReferenceLines(benchmark::State& state) {
    Memory m;
    sim::Scanner scanner(scenario(), "");
    std::uint8_t window[64];
    setWindow(scanner, window);
    const unsigned l = 6 * 1015 + 6, lines = 30;
    const unsigned pieces = scanner.describeBuffer(m.shading.data(), 196608, m.shadingRecords.data(), l);
    std::uint8_t b[64] = {};
    w16(b, 6, 150);
    w16(b, 8, l);
    w16(b, 10, lines);
    w32(b, 12, l * lines);
    w16(b, 18, pieces);
    w32(b, 20, addr(m.shadingRecords.data()));
    for (auto _ : state) benchmark::DoNotOptimize(scanner.command(b, 0, 2));
}
BENCHMARK(BM_WhiteReferenceLines)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
