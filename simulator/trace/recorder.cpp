// The recording pass-through library: installed in place of the maker's
// KASPI_SP.DLL, it forwards ADDR_CHK, SPI_CALL and BUF_ADDR to the real
// library and writes every call into a trace (trace.h). It changes nothing
// the driver sees: blocks, pieces and results pass through untouched, and a
// trace that cannot be written is reported once and the calls go on.
//
// Beside it, recorder.ini (optional, "key = value" lines):
//   library = KASPI_SP_REAL.DLL   the maker's library (default: that name)
//   trace   = FILE                the trace (default: trace-001.auctrace, the
//                                 first number not yet used)
//   dialect = scan|vexa|prescan   (default: from the folder, as the drivers
//                                 install it: KVSC_Z48 vexa, KVSC_A3 prescan)
// Relative paths are taken from the library's folder.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>

#include "block_bytes.h"
#include "caller_memory.h"
#include "capture.h"
#include "library_folder.h"
#include "platform/calling.h"
#include "platform/library.h"
#include "trace.h"

namespace {

using AddrChkProc = std::uint32_t(PF_STDCALL*)(void);
using SpiCallProc = std::uint32_t(PF_STDCALL*)(void*, std::uint32_t, std::uint32_t);
using BufAddrProc = std::uint32_t(PF_STDCALL*)(void*, std::uint32_t, void*, std::uint32_t);

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::map<std::string, std::string> readSettings(const std::string& path) {
    std::map<std::string, std::string> out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return out;
    char line[1024];
    while (std::fgets(line, sizeof line, f) != nullptr) {
        const std::string text = line;
        const auto eq = text.find('=');
        if (text.empty() || text[0] == '#' || eq == std::string::npos) continue;
        out[trim(text.substr(0, eq))] = trim(text.substr(eq + 1));
    }
    std::fclose(f);
    return out;
}

std::string inFolder(const std::string& folder, const std::string& path) {
    const bool absolute = !path.empty() && (path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':'));
    return absolute ? path : folder + "/" + path;
}

bool exists(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f != nullptr) std::fclose(f);
    return f != nullptr;
}

std::string freeTraceName(const std::string& folder) {
    for (int n = 1; n < 1000; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "trace-%03d.auctrace", n);
        const std::string path = folder + "/" + name;
        if (!exists(path)) return path;
    }
    return folder + "/trace-999.auctrace";
}

std::vector<std::uint8_t> copyOut(std::uint32_t address, std::uint32_t bytes) {
    std::vector<std::uint8_t> out(bytes);
    if (bytes != 0 && !sim::copyFromCaller(address, out.data(), bytes)) out.clear();
    return out;
}

class Recorder {
public:
    Recorder() : started_(std::chrono::steady_clock::now()) {
        const std::string folder = sim::libraryFolder();
        auto settings = readSettings(folder + "/recorder.ini");
        const std::string library = inFolder(folder, settings.count("library") ? settings["library"] : "KASPI_SP_REAL.DLL");
        const std::string path = settings.count("trace") ? inFolder(folder, settings["trace"]) : freeTraceName(folder);
        sim::Dialect dialect = sim::dialectForFolder(folder);
        if (settings.count("dialect")) {
            const sim::Scenario s = sim::parseScenario("dialect = " + settings["dialect"], dialect, folder);
            dialect = s.dialect;
        }
        spec_ = &sim::dialectSpec(dialect);
        real_ = pfLoadLibrary(library.c_str());
        if (real_ != nullptr) {
            addrChk_ = reinterpret_cast<AddrChkProc>(pfGetProcAddress(real_, "ADDR_CHK"));
            spiCall_ = reinterpret_cast<SpiCallProc>(pfGetProcAddress(real_, "SPI_CALL"));
            bufAddr_ = reinterpret_cast<BufAddrProc>(pfGetProcAddress(real_, "BUF_ADDR"));
        } else {
            std::fprintf(stderr, "recorder: cannot load %s: every call fails\n", library.c_str());
        }
        if (!writer_.open(path, sim::trace::Header{sim::trace::kVersion, dialect, library})) reportTraceError();
    }
    ~Recorder() {
        writer_.close();
        if (!writer_.error().empty()) reportTraceError();
        if (real_ != nullptr) pfFreeLibrary(real_);
    }

    std::uint32_t addressCheck() {
        if (addrChk_ == nullptr) return 0;
        sim::trace::Call call = begin(sim::trace::Kind::AddressCheck);
        call.result = addrChk_();
        finish(call);
        return call.result;
    }

    std::uint32_t command(void* block, std::uint32_t adapter, std::uint32_t code) {
        if (spiCall_ == nullptr) return 0x8F03;
        sim::trace::Call call = begin(sim::trace::Kind::Command);
        call.code = code;
        call.adapter = adapter;
        // The block is the driver's own memory, handed over by pointer.
        const std::uint32_t bytes = block == nullptr ? 0 : sim::blockBytes(spec_->id, code);
        const auto* b = static_cast<const std::uint8_t*>(block);
        call.before.assign(b, b + bytes);
        std::vector<sim::trace::MemoryRef> named;
        if (call.before.size() == bytes)
            named = sim::trace::namedMemory(*spec_, code, call.before.data(), described_);
        for (const sim::trace::MemoryRef& m : named)
            if (m.direction == sim::trace::Direction::ToScanner)
                call.data.push_back({m.direction, m.address, copyOut(m.address, m.bytes)});
        call.result = spiCall_(block, adapter, code);
        call.duration = micros() - call.start;
        call.after.assign(b, b + bytes);
        for (const sim::trace::MemoryRef& m : named)
            if (m.direction == sim::trace::Direction::FromScanner)
                call.data.push_back({m.direction, m.address, copyOut(m.address, m.bytes)});
        finish(call);
        return call.result;
    }

    std::uint32_t describeBuffer(void* block, std::uint32_t size, void* records, std::uint32_t unit) {
        if (bufAddr_ == nullptr) return 0;
        sim::trace::Call call = begin(sim::trace::Kind::Describe);
        sim::pointerTo32(block, &call.buffer);
        sim::pointerTo32(records, &call.records);
        call.size = size;
        call.unit = unit;
        call.result = bufAddr_(block, size, records, unit);
        call.duration = micros() - call.start;
        const std::uint32_t count = call.result & 0xFFFF;
        if (records != nullptr && count <= 4096) call.pieceRecords = copyOut(call.records, count * sim::kPieceRecordBytes);
        described_.add(sim::trace::describedFrom(call, describeCalls_++));
        finish(call);
        return call.result;
    }

private:
    std::uint32_t micros() const {
        const auto d = std::chrono::steady_clock::now() - started_;
        return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(d).count());
    }
    sim::trace::Call begin(sim::trace::Kind kind) const {
        sim::trace::Call call;
        call.kind = kind;
        call.start = micros();
        return call;
    }
    void finish(sim::trace::Call& call) {
        if (call.duration == 0) call.duration = micros() - call.start;
        const bool wasOk = writer_.ok();
        writer_.write(call);
        if (wasOk && !writer_.ok()) reportTraceError();
    }
    // Said once: after the first failure the writer stays closed.
    void reportTraceError() {
        if (reported_) return;
        reported_ = true;
        std::fprintf(stderr, "recorder: %s; the calls go on unrecorded\n", writer_.error().c_str());
    }

    std::chrono::steady_clock::time_point started_;
    const sim::DialectSpec* spec_ = nullptr;
    PfLibrary real_ = nullptr;
    AddrChkProc addrChk_ = nullptr;
    SpiCallProc spiCall_ = nullptr;
    BufAddrProc bufAddr_ = nullptr;
    sim::trace::Writer writer_;
    sim::trace::Descriptions described_;
    std::uint32_t describeCalls_ = 0;
    bool reported_ = false;
};

Recorder& recorder() {
    static Recorder r;
    return r;
}

}  // namespace

extern "C" {

PF_EXPORT std::uint32_t PF_STDCALL ADDR_CHK(void) {
    try {
        return recorder().addressCheck();
    } catch (...) {
        return 0;
    }
}

PF_EXPORT std::uint32_t PF_STDCALL SPI_CALL(void* block, std::uint32_t adapter, std::uint32_t code) {
    try {
        return recorder().command(block, adapter, code);
    } catch (...) {
        return 0x8F03;
    }
}

PF_EXPORT std::uint32_t PF_STDCALL BUF_ADDR(void* block, std::uint32_t size, void* records, std::uint32_t unit) {
    try {
        return recorder().describeBuffer(block, size, records, unit);
    } catch (...) {
        return 0;
    }
}
}
