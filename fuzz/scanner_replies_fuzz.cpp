// The drivers' handling of scanner replies: each input becomes a scenario of
// the simulated scanner (reply fields written over its answers, shading
// geometry, line counts, statuses, piece sizes) and one Scan_Image run of the
// driver that the first byte picks, loaded as a host loads it.
//
// Every run must end with a result of the drivers' set (0, 1, 12), report
// progress within its totals, release the pass-through library, close every
// file, leave no popup, hold no more global memory than the stored shading of
// each library, and leave either a complete image (result 0) or no image.
//
// Input layout:
//   0  driver (scan, vexa, prescan: byte % 3)
//   1  target type (byte % 4: 3 is refused by every driver)
//   2  flags: bit 0 calibrate, 1 stored shading, 2 gamma request, 3 vexa
//      shading flag, 4 adapter, 5 not ready once after the last line, 6 bytes
//      per line from the window
//   3  line count (% 48; the window's own count would make every run long)
//   4-5  bytes per line (little-endian, % 16384) unless bit 6
//   6-7  shading line bytes (0xFFFF: auto), 8 shading lines (0xFF: auto, else % 64)
//   9  not-ready polls (% 6), 10 piece bytes (x 512, at least 1), 11 piece limit (% 20)
//   12 model digits (one of a few), 13 piece slack (% 8)
//   then records of 8 bytes: kind, function code, offset, size/selector, value (4 bytes)
//     kind % 4 == 0: error = <code> <n> <status> (status: the value's low 16 bits)
//     kind % 4 == 1: buf_addr_fail = <n>
//     otherwise:     reply = <code> <offset> <size> <value> [<n>]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "command_blocks.h"
#include "imaging/targa.h"
#include "install.h"
#include "platform/desktop_posix.h"
#include "platform/library.h"
#include "platform/memory.h"
#include "scan_driver.h"

namespace fs = std::filesystem;

namespace {

struct DriverLibrary {
    const char* path;
    sim::Dialect dialect;
    ScanImageProc scanImage = nullptr;
    PfLibrary library = nullptr;
    long heldBlocks = 0;  // global blocks this library keeps between runs
};

DriverLibrary g_drivers[] = {
    {DRIVER_LIB_scan, sim::Dialect::Scan},
    {DRIVER_LIB_vexa, sim::Dialect::Vexa},
    {DRIVER_LIB_prescan, sim::Dialect::Prescan},
};

std::string g_windir;
std::string g_document;
std::string g_image;
PfWindow g_host = nullptr;

// Blocks a driver library may keep between runs: its stored green shading.
constexpr std::size_t kStoredShadingBlocks = 3;

[[noreturn]] void fail(const char* what);

// The host shows count / total: a count past its total, or a total of no
// lines, would be a nonsense report.
std::int32_t PF_STDCALL checkProgress(ScanProgressRecord* record, std::int32_t total) {
    if (record == nullptr) fail("progress without a record");
    if (total <= 0 || record->count > total) fail("progress count beyond its total");
    return 0;
}

int answerBox(void*, PfWindow, const char*, const char*, std::uint32_t) { return 1; }

// A small grey document: the lid shows around it.
void writeDocument(const std::string& path) {
    imaging::Image grey = imaging::Image::make(16, 16);
    std::fill(grey.pixels.begin(), grey.pixels.end(), 128);
    imaging::writeTarga(path, grey);
}

// The largest reply offset worth writing at: inside the command block of that
// function code in the dialect (the scanner never writes past a block).
std::uint32_t blockBytes(sim::Dialect dialect, std::uint32_t code) {
    const bool vexa = dialect == sim::Dialect::Vexa;
    switch (code) {
        case 0: return sizeof(drv::InquiryBlock);
        case 1: return sizeof(drv::SetWindowBlock);
        case 2: return vexa ? sizeof(drv::VexaReadShadingBlock) : sizeof(drv::ClassicReadShadingBlock);
        case 3: return vexa ? sizeof(drv::VexaSendShadingBlock) : sizeof(drv::ClassicSendShadingBlock);
        case 4: return vexa ? sizeof(drv::VexaGammaBlock) : 16;
        case 5: return sizeof(drv::StartScanBlock);
        case 6: return sizeof(drv::AbortBlock);
        case 7: return vexa ? sizeof(drv::VexaGeometryBlock) : sizeof(drv::ClassicGeometryBlock);
        case 8: return vexa ? sizeof(drv::VexaReadImageBlock) : sizeof(drv::ClassicReadImageBlock);
        default: return sizeof(drv::GetStatusBlock);
    }
}

std::uint16_t interestingStatus(std::uint32_t value) {
    static const std::uint16_t kStatuses[] = {255, 0x8217, 0x8321, 0x8414, 1, 0x8F01};
    return (value & 0x80000000u) != 0 ? static_cast<std::uint16_t>(value) : kStatuses[value % 6];
}

std::string scenarioFor(const std::uint8_t* d, std::size_t size, sim::Dialect dialect) {
    std::string s = std::string("dialect = ") + sim::dialectName(dialect) + "\nlog = passthrough.log\n";
    s += "document = " + g_document + "\ndocument_dpi = 50\nshading_noise = 0\n";
    const std::uint8_t flags = d[2];
    s += "calibrate = " + std::to_string(flags & 1) + "\n";
    s += "stored_shading = " + std::to_string((flags & 2) ? 2 : 0) + "\n";
    s += "gamma_request = " + std::to_string((flags >> 2) & 1) + "\n";
    s += "shading_flag = " + std::to_string((flags >> 3) & 1) + "\n";
    s += "adapter = " + std::to_string((flags >> 4) & 1) + "\n";
    s += "lines = " + std::to_string(d[3] % 48) + "\n";
    s += "not_ready_polls_at_end = " + std::to_string((flags >> 5) & 1) + "\n";
    if ((flags & 0x40) == 0) s += "bytes_per_line = " + std::to_string((d[4] | (d[5] << 8)) % 16384) + "\n";
    const unsigned shadingBytes = d[6] | (d[7] << 8);
    if (shadingBytes != 0xFFFF) s += "shading_line_bytes = " + std::to_string(shadingBytes) + "\n";
    if (d[8] != 0xFF) s += "shading_lines = " + std::to_string(d[8] % 64) + "\n";
    s += "not_ready_polls = " + std::to_string(d[9] % 6) + "\n";
    s += "piece_bytes = " + std::to_string((d[10] + 1) * 512) + "\n";
    s += "piece_limit = " + std::to_string(d[11] % 20) + "\n";
    static const char* kDigits[] = {"6000", "1200", "6060", "8000", "600", "12", "9999", "0000"};
    s += std::string("model_digits = ") + kDigits[d[12] % 8] + "\n";
    s += "piece_slack = " + std::to_string(d[13] % 8) + "\n";
    for (std::size_t at = 14; at + 8 <= size && at < 14 + 8 * 12; at += 8) {
        const std::uint8_t* r = d + at;
        const std::uint32_t code = r[1] % 10;
        const std::uint32_t value = r[4] | (r[5] << 8) | (r[6] << 16) | (std::uint32_t{r[7]} << 24);
        const std::uint32_t nth = (r[3] >> 2) % 8;  // 0: every call (replies), else the n-th
        const std::string selector = std::to_string(nth == 0 ? 1 : nth) + ((r[3] & 0x80) ? "+" : "");
        switch (r[0] % 4) {
            case 0:
                s += "error = " + std::to_string(code) + " " + selector + " " +
                     std::to_string(interestingStatus(value)) + "\n";
                break;
            case 1: s += "buf_addr_fail = " + selector + "\n"; break;
            default: {
                static const std::uint32_t kSizes[] = {1, 2, 4, 2};
                const std::uint32_t fieldSize = kSizes[r[3] & 3];
                const std::uint32_t bytes = blockBytes(dialect, code);
                const std::uint32_t offset = 4 + r[2] % (bytes - 4 - fieldSize + 1);  // status word stays
                s += "reply = " + std::to_string(code) + " " + std::to_string(offset) + " " +
                     std::to_string(fieldSize) + " " + std::to_string(value);
                if (nth != 0) s += " " + selector;
                s += "\n";
            }
        }
    }
    return s;
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "scanner_replies_fuzz: %s\n", what);
    std::abort();
}

// The log's last event: the library must have been released after its last call.
std::string lastLogWord(const std::string& folder) {
    std::ifstream in(folder + "/passthrough.log");
    std::string line, last;
    while (std::getline(in, line))
        if (!line.empty()) last = line;
    return last.substr(0, last.find(' '));
}

void checkImage(std::int32_t result) {
    std::error_code ec;
    const bool exists = fs::exists(g_image, ec);
    if (result != 0) {
        if (exists) fail("a failed run left an image file");
        return;
    }
    if (!exists) return;  // zero lines: nothing written
    std::ifstream in(g_image, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A window the replies made zero pixels wide or high is written as a bare
    // header, which the drivers may do; the codec has no empty image to read.
    if (bytes.size() == sizeof(imaging::TargaHeader) &&
        ((bytes[12] | bytes[13]) == 0 || (bytes[14] | bytes[15]) == 0) && bytes[2] == 2 && bytes[16] == 24)
        return;
    imaging::Image image;
    if (!imaging::decodeTarga(bytes.data(), bytes.size(), &image) || image.channels != 3)
        fail("image is not a 24-bit Targa with all its rows");
    if (bytes.size() != sizeof(imaging::TargaHeader) + image.pixels.size()) fail("image size differs from its header");
}

void unloadDrivers() {
    for (DriverLibrary& d : g_drivers) {
        if (d.library != nullptr) pfFreeLibrary(d.library);
        d.library = nullptr;
        d.scanImage = nullptr;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/scanner_replies_fuzz.XXXXXX";
    if (mkdtemp(pattern) == nullptr) fail("no temporary folder");
    const fs::path root = pattern;
    g_windir = (root / "WINDOWS").string();
    g_document = (root / "document.tga").string();
    g_image = (root / "scan.tga").string();
    fs::create_directories(g_windir);
    writeDocument(g_document);
    pfdSetWindowsDirectory(g_windir.c_str());
    pfdUseVirtualClock(1);
    std::string error;
    if (!sim::installPassThrough(g_windir, sim::InstallOptions{}, &error)) fail(error.c_str());
    const std::int32_t statusItem = 1017;
    g_host = pfdCreateDialogWindow("host", &statusItem, 1);
    pfdSetMessageBoxHandler(&answerBox, nullptr);
    for (DriverLibrary& d : g_drivers) {
        d.library = pfLoadLibrary(d.path);
        if (d.library == nullptr) fail(d.path);
        d.scanImage = reinterpret_cast<ScanImageProc>(pfGetProcAddress(d.library, "Scan_Image"));
        if (d.scanImage == nullptr) fail("no Scan_Image");
    }
    // The stored shading of each driver lives until its library is unloaded:
    // unload them before the leak check at exit, and before the stand-in's
    // record of global blocks goes (made at its first use, so use it first:
    // what is registered at exit later is undone earlier).
    pfGlobalFree(pfGlobalAlloc(0, 16));
    std::atexit(&unloadDrivers);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 14) return 0;
    DriverLibrary& driver = g_drivers[data[0] % 3];
    const std::string folder = sim::passThroughFolder(g_windir, driver.dialect);
    sim::writeScenarioFile(folder, scenarioFor(data, size, driver.dialect));
    std::error_code ec;
    fs::remove(folder + "/passthrough.log", ec);
    fs::remove(g_image, ec);

    const auto window = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(g_host));
    const long blocksBefore = static_cast<long>(pfdLiveGlobalBlocks());
    const std::int32_t result = driver.scanImage(window, g_image.c_str(), &checkProgress, data[1] % 4, 0);
    if (result != 0 && result != 1 && result != 12) fail("result outside 0, 1, 12");
    if (pfdOpenFiles() != 0) fail("a file left open");
    if (pfdListWindows(nullptr, 0) != 2) fail("a window left besides the host dialog");
    // Only the run's own library changes what it holds.
    driver.heldBlocks += static_cast<long>(pfdLiveGlobalBlocks()) - blocksBefore;
    if (driver.heldBlocks < 0 || driver.heldBlocks > static_cast<long>(kStoredShadingBlocks))
        fail("global memory blocks leaked");
    const std::string last = lastLogWord(folder);
    if (!last.empty() && last != "UNLOAD") fail("pass-through library not released");
    checkImage(result);
    return 0;
}
