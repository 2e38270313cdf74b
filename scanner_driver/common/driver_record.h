// What makes one driver of the family (scan, vexa, prescan): a record of
// constants, and the few steps whose commands really differ between the
// dialects. The run itself exists once. (The scanner attached has a model
// number of its own: see scanner_identity.h.)
#ifndef SCANNER_DRIVER_DRIVER_RECORD_H
#define SCANNER_DRIVER_DRIVER_RECORD_H

#include <cstdint>
#include <string>

#include "command_blocks.h"
#include "driver_memory.h"
#include "messages.h"
#include "pass_through.h"
#include "platform/dialogs.h"
#include "scan_window.h"
#include "scanner_identity.h"

namespace drv {

// Results of Scan_Image.
enum class ScanResult : int {
    Written = 0,        // also: zero lines, nothing to write
    Failed = 1,
    ShadingMemory = 12, // shading output buffers could not be had
};

// How a wait for ready paces its get-status calls.
enum class Pacing : std::uint8_t {
    PollThenSleep,  // call, then sleep 1000 ms
    SleepThenPoll,  // sleep 1000 ms, then call
    Unpaced,        // call again at once
};

// Target types; the low byte also goes to the scanner as the scan source.
enum class TargetType : std::uint16_t { Reflective = 0, Transparency = 1, AdapterTransparency = 2 };

// The constants of one driver; the three side by side in driver_records.cpp.
struct DriverRecord {
    // Library path after the Windows directory; null when the driver's steps
    // find the library name themselves.
    const char* libraryTail;
    bool adapterCheck;                // takes ADDR_CHK and passes its handle on every call
    std::uint16_t loadFailureMessage;     // 0: none
    std::uint16_t adapterFailureMessage;  // 0: none
    WindowInches windows[2];            // reflective, transparency (the adapter type scans the latter)
    std::uint16_t fixedWindowUnit;    // window unit for every scanner; 0: base resolution of the model number
    std::uint8_t setWindowByte16;
    bool a3WindowFields;              // sends set-window bytes 24 and 26
    Pacing readyPacing;               // waits after start scan and after saving
    Pacing abortPacing;               // the wait after Escape and abort
};

const DriverRecord& scanRecord();
const DriverRecord& vexaRecord();
const DriverRecord& prescanRecord();

// Buffer rules chosen when the library is found.
struct BufferRules {
    Grain grain = Grain::Steps64K;
    std::uint32_t transferBytes = 65536;
};

// Reply bytes of set window that steer the run.
struct WindowReply {
    std::uint8_t calibrate = 0;
    std::uint8_t shadingChoice = 0;
    std::uint8_t gammaRequest = 0;
};

enum class StepResult : std::uint8_t { Done, Failed, ShadingMemory };

class ErrorReporter;

// Everything a step needs from the run.
struct RunContext {
    Transport& transport;
    PfWindow host;
    const DriverRecord& record;
    BufferRules rules;
    ScannerIdentity identity;
    std::uint16_t type = 0;
    std::uint16_t resolution = 0;  // scan resolution of the window sent
    WindowReply reply;
};

// Steps that differ between the dialects.
class DialectSteps {
public:
    virtual ~DialectSteps() = default;
    // The library to load and the buffer rules that go with it; false when
    // no usable path can be made (treated as a library that cannot be loaded).
    virtual bool findLibrary(const DriverRecord& record, std::string& path, BufferRules& rules) = 0;
    // Inquiry: fills the identity; shows its own messages. False ends the run with 1.
    virtual bool identify(RunContext& run) = 0;
    // Tables needed before the window is sent (false: the run ends with 1, no message).
    virtual bool prepareTables(RunContext& run) = 0;
    // Calibration and send shading as the set-window reply asks.
    virtual StepResult shading(RunContext& run) = 0;
    // Tone tables as the dialect sends them (false: failed, message shown).
    virtual bool sendGamma(RunContext& run) = 0;
    // Line count of the start-scan reply.
    virtual std::uint16_t reportedLines(const StartScanBlock& block) const = 0;
    // One read of image data: n lines of bytesPerLine into the transfer pieces.
    virtual std::uint16_t readImage(RunContext& run, std::uint32_t bytesPerLine, std::uint32_t lines,
                                    std::uint16_t requested, std::uint16_t completed, const struct PieceSet& pieces) = 0;
    // Frees what the steps hold for this run only.
    virtual void endRun() {}
};

}  // namespace drv

#endif
