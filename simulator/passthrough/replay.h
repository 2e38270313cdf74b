// Replay: the simulated library answering from a trace instead of its own
// scanner. Each call is checked against the next recorded one (its kind, the
// function code, the adapter handle, the command block the driver sent, the
// data it handed over, the size and unit of a buffer it describes); a call
// that matches gets the recorded reply: the bytes the library changed in the
// block, the data it wrote into the pieces (moved to where the driver's
// pieces are now) and its result. The first call that differs is reported
// (to the report file and the standard error) and answered, as every later
// call, with a refusal, so that the run ends.
#ifndef SIMULATOR_PASSTHROUGH_REPLAY_H
#define SIMULATOR_PASSTHROUGH_REPLAY_H

#include <cstdint>
#include <string>

#include "capture.h"
#include "trace.h"

namespace sim {

class Replay {
public:
    // Reads the trace; a trace that cannot be read or is of another dialect
    // is a divergence at the first call.
    Replay(const std::string& tracePath, Dialect dialect, std::string reportPath);

    std::uint32_t addressCheck();
    std::uint32_t describeBuffer(void* block, std::uint32_t size, void* records, std::uint32_t unit);
    std::uint32_t command(void* block, std::uint32_t adapter, std::uint32_t code);
    // At unload: calls recorded but never made are a divergence too.
    void finish();

    bool diverged() const { return !divergence_.empty(); }
    const std::string& divergence() const { return divergence_; }

private:
    const trace::Call* next(trace::Kind kind, const std::string& what);
    void diverge(const std::string& message);
    // The address field's recorded value as it should read now (*now holds
    // the driver's value on entry): the same description's records or first
    // piece; false when none matches.
    bool movedAddress(const NamedField& field, std::uint32_t recorded, std::uint32_t* now) const;
    std::string compareData(const trace::Call& recorded, const std::vector<trace::MemoryRef>& sent) const;
    std::string compareBlock(const trace::Call& recorded, const std::uint8_t* block) const;

    trace::Trace trace_;
    const DialectSpec& spec_;
    std::string reportPath_;
    std::size_t at_ = 0;
    std::string divergence_;
    trace::Descriptions recorded_, live_;
    std::uint32_t describeCalls_ = 0;
};

}  // namespace sim

#endif
