// Test harness for the simulated pass-through library: installs it under a
// temporary Windows directory, loads it the way a driver does (through the
// platform's library loading, from the driver's folder), hands out
// shareable command blocks and piece record arrays, and reads the call log.
// Block fields are written with the harness's own little-endian helpers, not
// the library's.
#ifndef TESTS_SIMULATOR_PASSTHROUGH_HARNESS_H
#define TESTS_SIMULATOR_PASSTHROUGH_HARNESS_H

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "install.h"
#include "platform/calling.h"
#include "platform/library.h"
#include "platform/memory.h"
#include "platform/raii.hpp"
#include "support/temp_dir.h"

namespace ptharness {

using AddrChkProc = std::uint32_t(PF_STDCALL*)(void);
using SpiCallProc = std::uint32_t(PF_STDCALL*)(void*, std::uint32_t, std::uint32_t);
using BufAddrProc = std::uint32_t(PF_STDCALL*)(void*, std::uint32_t, void*, std::uint32_t);

inline void w8(std::uint8_t* b, std::size_t o, unsigned v) { b[o] = static_cast<std::uint8_t>(v); }
inline void w16(std::uint8_t* b, std::size_t o, unsigned v) {
    b[o] = static_cast<std::uint8_t>(v & 0xFF);
    b[o + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}
inline void w32(std::uint8_t* b, std::size_t o, std::uint32_t v) {
    w16(b, o, v & 0xFFFF);
    w16(b, o + 2, v >> 16);
}
inline unsigned r16(const std::uint8_t* b, std::size_t o) { return b[o] | (b[o + 1] << 8); }
inline std::uint32_t r32(const std::uint8_t* b, std::size_t o) {
    return r16(b, o) | (static_cast<std::uint32_t>(r16(b, o + 2)) << 16);
}
inline std::uint32_t addr32(const void* p) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p)); }
inline std::uint8_t* fromAddr32(std::uint32_t a) { return reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(a)); }

// A zeroed shareable block (its address fits 32 bits on every host).
struct Shared {
    explicit Shared(std::size_t bytes) : mem(PF_GMEM_DDESHARE | PF_GMEM_ZEROINIT, bytes) {}
    std::uint8_t* p() const { return mem.as<std::uint8_t>(); }
    std::uint32_t a() const { return addr32(mem.data()); }
    pf::LockedGlobal mem;
};

struct LogEntry {
    std::string word;
    std::map<std::string, std::string> fields;
    bool has(const std::string& key) const { return fields.count(key) != 0; }
    std::uint64_t num(const std::string& key) const {
        auto it = fields.find(key);
        return it == fields.end() ? ~0ull : std::stoull(it->second);
    }
    std::string str(const std::string& key) const {
        auto it = fields.find(key);
        return it == fields.end() ? std::string() : it->second;
    }
};

inline std::vector<LogEntry> readLog(const std::string& path) {
    std::vector<LogEntry> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        LogEntry e;
        words >> e.word;
        std::string kv;
        while (words >> kv) {
            const std::size_t eq = kv.find('=');
            if (eq != std::string::npos) e.fields[kv.substr(0, eq)] = kv.substr(eq + 1);
        }
        out.push_back(e);
    }
    return out;
}

// SPI_CALL entries of a log, in order.
inline std::vector<LogEntry> spiCalls(const std::vector<LogEntry>& log) {
    std::vector<LogEntry> out;
    for (const LogEntry& e : log) {
        if (e.word == "SPI_CALL") out.push_back(e);
    }
    return out;
}

class PassThrough {
public:
    explicit PassThrough(sim::Dialect dialect, const std::string& scenario = std::string())
        : dialect_(dialect), folder_(sim::passThroughFolder(dir_.path().string(), dialect)) {
        std::string error;
        EXPECT_TRUE(sim::installPassThrough(dir_.path().string(), sim::InstallOptions{}, &error)) << error;
        setScenario(scenario);
    }
    ~PassThrough() { unload(); }

    void setScenario(const std::string& text) {
        sim::writeScenarioFile(folder_, std::string("dialect = ") + sim::dialectName(dialect_) + "\n" + text);
    }
    // Loads the library as a driver would: by path, from its folder.
    bool load(const std::string& fileName = "KASPI_SP.DLL") {
        unload();
        library_ = pfLoadLibrary((folder_ + "/" + fileName).c_str());
        if (library_ == nullptr) return false;
        addrChk = reinterpret_cast<AddrChkProc>(pfGetProcAddress(library_, "ADDR_CHK"));
        spi = reinterpret_cast<SpiCallProc>(pfGetProcAddress(library_, "SPI_CALL"));
        buf = reinterpret_cast<BufAddrProc>(pfGetProcAddress(library_, "BUF_ADDR"));
        return addrChk != nullptr && spi != nullptr;
    }
    void unload() {
        if (library_ != nullptr) pfFreeLibrary(library_);
        library_ = nullptr;
        addrChk = nullptr;
        spi = nullptr;
        buf = nullptr;
    }
    const std::string& folder() const { return folder_; }
    std::string logPath() const { return folder_ + "/passthrough.log"; }
    std::vector<LogEntry> log() const { return readLog(logPath()); }
    std::vector<LogEntry> calls() const { return spiCalls(log()); }

    // SPI_CALL with the adapter the dialect's driver passes.
    unsigned call(Shared& block, std::uint32_t code) {
        spi(block.p(), adapter, code);
        return r16(block.p(), 2);
    }

    AddrChkProc addrChk = nullptr;
    SpiCallProc spi = nullptr;
    BufAddrProc buf = nullptr;
    std::uint32_t adapter = 0;

private:
    testsupport::TempDir dir_;
    sim::Dialect dialect_;
    std::string folder_;
    PfLibrary library_ = nullptr;
};

}  // namespace ptharness

#endif
