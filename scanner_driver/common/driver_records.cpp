// The three drivers' records side by side. Windows in inches: the reflective
// window, then the transparency window (which the adapter type scans too).
#include "driver_record.h"

#include "messages.h"

namespace drv {

namespace {

constexpr DriverRecord kScan{
    .libraryTail = "\\TWAIN_32\\KVSC_PRO\\KASPI_SP.DLL",
    .adapterCheck = false,  // no ADDR_CHK: adapter handle 0
    .loadFailureMessage = 0,
    .adapterFailureMessage = 0,
    .windows = {{0.864, 6.772, 4.961, 150}, {0.949, 6.102, 3.898, 240}},
    .fixedWindowUnit = 0,  // the base resolution of the scanner's model number
    .setWindowByte16 = 3,
    .a3WindowFields = false,
    .readyPacing = Pacing::PollThenSleep,
    .abortPacing = Pacing::PollThenSleep,
};

constexpr DriverRecord kVexa{
    .libraryTail = "\\TWAIN_32\\KVSC_Z48\\KASPI_SP.DLL",
    .adapterCheck = true,  // ADDR_CHK; its handle goes with every call
    .loadFailureMessage = 0,
    .adapterFailureMessage = 0,
    .windows = {{0.864, 6.772, 4.961, 150}, {0.949, 6.102, 3.898, 240}},
    .fixedWindowUnit = 4800,  // 1/4800 inch for every scanner
    .setWindowByte16 = 2,
    .a3WindowFields = false,
    .readyPacing = Pacing::PollThenSleep,
    .abortPacing = Pacing::Unpaced,
};

constexpr DriverRecord kPrescan{
    .libraryTail = nullptr,  // the library named in win.ini
    .adapterCheck = true,
    .loadFailureMessage = static_cast<std::uint16_t>(Text::ScannerNotFound),
    .adapterFailureMessage = static_cast<std::uint16_t>(Text::LoadSpicallError),
    .windows = {{2.46, 6.772, 4.961, 150}, {2.796, 6.102, 3.898, 240}},  // the A3 bed: larger start offsets
    .fixedWindowUnit = 0,
    .setWindowByte16 = 3,
    .a3WindowFields = true,
    .readyPacing = Pacing::SleepThenPoll,
    .abortPacing = Pacing::Unpaced,
};

}  // namespace

const DriverRecord& scanRecord() { return kScan; }
const DriverRecord& vexaRecord() { return kVexa; }
const DriverRecord& prescanRecord() { return kPrescan; }

}  // namespace drv
