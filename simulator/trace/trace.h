// Scanner session traces: what a driver and a pass-through library said to
// each other, call by call, as the recording library writes it and as the
// simulated library replays it. Layout (version 1), all numbers little-endian,
// the whole file one zlib (gzip) stream:
//
//   header   "AUCALTRC" (8 bytes), u16 version, u8 dialect (0 scan, 1 vexa,
//            2 prescan), u8 reserved, u16 n + n bytes: the forwarded library
//   calls    u8 kind, u32 payload bytes, payload:
//     every kind   u32 start (microseconds since the library was loaded),
//                  u32 duration (microseconds), u32 result
//     1 ADDR_CHK   nothing more
//     2 SPI_CALL   u32 function code, u32 adapter handle, u32 n, the n block
//                  bytes before the call, the n block bytes after it, u16 m
//                  data segments: u8 direction (0: the driver's bytes, read
//                  before the call; 1: the library's, read after it),
//                  u32 address, u32 n, n bytes
//     3 BUF_ADDR   u32 block address, u32 size, u32 records address, u32 unit,
//                  u32 n, n bytes of piece records as the library left them
//     4 end        nothing more: the session ended (library unloaded)
//
// A trace without the end record, with a bad length or a damaged stream is
// refused. Image data is in the pieces of read-image calls.
#ifndef SIMULATOR_TRACE_TRACE_H
#define SIMULATOR_TRACE_TRACE_H

#include <cstdint>
#include <string>
#include <vector>

#include "scenario.h"

namespace sim::trace {

constexpr std::uint16_t kVersion = 1;

enum class Kind : std::uint8_t { AddressCheck = 1, Command = 2, Describe = 3, End = 4 };

enum class Direction : std::uint8_t { ToScanner = 0, FromScanner = 1 };

struct Segment {
    Direction direction = Direction::FromScanner;
    std::uint32_t address = 0;
    std::vector<std::uint8_t> bytes;
};

struct Call {
    Kind kind = Kind::End;
    std::uint32_t start = 0;     // microseconds since load
    std::uint32_t duration = 0;  // microseconds
    std::uint32_t result = 0;
    // SPI_CALL
    std::uint32_t code = 0;
    std::uint32_t adapter = 0;
    std::vector<std::uint8_t> before, after;
    std::vector<Segment> data;
    // BUF_ADDR
    std::uint32_t buffer = 0;
    std::uint32_t size = 0;
    std::uint32_t records = 0;
    std::uint32_t unit = 0;
    std::vector<std::uint8_t> pieceRecords;
};

struct Header {
    std::uint16_t version = kVersion;
    Dialect dialect = Dialect::Scan;
    std::string library;
};

struct Trace {
    Header header;
    std::vector<Call> calls;  // without the end record
};

// Writes one session. Every failure is kept, not thrown: ok() turns false and
// error() says why; later writes do nothing.
class Writer {
public:
    Writer() = default;
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    bool open(const std::string& path, const Header& header);
    void write(const Call& call);
    // Writes the end record and closes the file.
    void close();
    bool ok() const { return file_ != nullptr; }
    const std::string& error() const { return error_; }

private:
    void put(const std::vector<std::uint8_t>& bytes);
    void* file_ = nullptr;  // gzFile
    std::string error_;
};

// Reads a whole trace; false with the reason in *error for a file that cannot
// be read, a damaged or truncated stream, another version or a malformed call.
bool read(const std::string& path, Trace* out, std::string* error);

// One line per call, for people: kind, code, sizes, timing.
std::string describe(const Call& call);

}  // namespace sim::trace

#endif
