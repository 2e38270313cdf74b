// Which memory a call names besides its command block, for the recording
// library (what to read into the trace) and for replay (what to compare and
// what to write back): the pieces of a described block that a read fills or
// a send hands over, and vexa's tone tables given by address.
#ifndef SIMULATOR_TRACE_CAPTURE_H
#define SIMULATOR_TRACE_CAPTURE_H

#include <cstdint>
#include <vector>

#include "dialect.h"
#include "trace.h"

namespace sim::trace {

// One BUF_ADDR answer: the block and its pieces (address, length).
struct Described {
    std::uint32_t index = 0;  // 0-based among the session's BUF_ADDR calls
    std::uint32_t buffer = 0;
    std::uint32_t size = 0;
    std::uint32_t records = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pieces;
};

// Piece records as BUF_ADDR left them: count records of 20 bytes.
Described describedFrom(const Call& call, std::uint32_t index);

// The session's descriptions; a record array described again replaces its
// old description.
class Descriptions {
public:
    void add(Described d);
    const Described* byRecords(std::uint32_t records) const;
    const Described* byFirstPiece(std::uint32_t address) const;
    const Described* byIndex(std::uint32_t index) const;

private:
    std::vector<Described> all_;
};

struct MemoryRef {
    Direction direction;
    std::uint32_t address;
    std::uint32_t bytes;
    const char* field;  // the block field that names it
};

// The memory named by the command block `block` of code in the dialect,
// given the descriptions so far. Fields that name nothing described are
// left out (the library refuses such a call).
std::vector<MemoryRef> namedMemory(const DialectSpec& spec, std::uint32_t code, const std::uint8_t* block,
                                   const Descriptions& described);

}  // namespace sim::trace

#endif
