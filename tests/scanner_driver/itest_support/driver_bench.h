// A bench for whole scan runs: a Windows directory with the simulated
// pass-through library installed, a host dialog with its status item, a
// driver library loaded as a host loads it, message boxes and progress
// recorded, and the simulator's call log read back.
#ifndef TESTS_SCANNER_DRIVER_DRIVER_BENCH_H
#define TESTS_SCANNER_DRIVER_DRIVER_BENCH_H

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "install.h"
#include "platform/library.h"
#include "platform/messages.h"
#include "scan_driver.h"
#include "support/temp_dir.h"

namespace drvtest {

// The check list shown for messages 4 and 5 (English block), and the title
// of every box without profile settings.
inline constexpr char kCheckListText[] =
    " Please make sure : \n \n 1. The cables are connected.\n 2. The scanner is turned on and power LED is\n"
    "    on.\n 3. You turned on the scanner before you\n    turned on the computer.";
inline constexpr char kDefaultTitle[] = "    Calibrator";

struct ShownBox {
    std::string text;
    std::string title;
    std::uint32_t style;
    std::size_t windowsAlive;   // windows of the desktop while the box is up
    std::uint32_t cursor;       // system cursor shown while the box is up
};

// One line of the simulator's call log: its word and key=value fields.
struct LogEvent {
    std::string word;
    std::map<std::string, std::string> fields;
    long number(const std::string& key) const;
    bool has(const std::string& key) const { return fields.count(key) != 0; }
    std::string cmd() const { auto it = fields.find("cmd"); return it == fields.end() ? "" : it->second; }
};

class DriverBench {
public:
    DriverBench(const char* driverPath, sim::Dialect dialect);
    ~DriverBench();
    DriverBench(const DriverBench&) = delete;
    DriverBench& operator=(const DriverBench&) = delete;

    bool loaded() const { return scanImage_ != nullptr; }
    const std::string& windir() const { return windir_; }
    std::string folder() const { return sim::passThroughFolder(windir_, dialect_); }
    // Scenario text for the library of this dialect (the log line is added).
    void scenario(const std::string& lines);
    // Replaces the installed library by the variant without BUF_ADDR.
    void installWithoutBufAddr();
    void removeLibrary();
    void writeWinIni(const std::string& text);

    std::int32_t scan(std::uint32_t type, std::uint32_t language = 0);
    std::int32_t scanTo(const std::string& path, std::uint32_t type, std::uint32_t language = 0);
    // Scan_Image called as is (a host calling again from inside a run).
    std::int32_t callScanImage(const std::string& path, std::uint32_t type);

    std::string imagePath() const { return temp_.file("scan.tga"); }
    bool imageExists() const;
    std::vector<LogEvent> log() const;
    // SPI_CALL events of the log, with cmd names in order.
    std::vector<std::string> commands() const;
    std::string statusText() const;
    // Windows alive besides the host dialog and its item (the popup, if left).
    std::size_t strayWindows() const;

    std::vector<ShownBox> boxes;
    std::vector<std::pair<int, int>> progress;  // (count, total)
    std::function<void()> onProgress;            // run inside each progress call
    PfWindow host = nullptr;

private:
    testsupport::TempDir temp_;
    std::string windir_;
    sim::Dialect dialect_;
    PfLibrary driver_ = nullptr;
    ScanImageProc scanImage_ = nullptr;
};

}  // namespace drvtest

#endif
