// The three command dialects of the scanner family as data: where each field
// of each command block lies, the constants the scanner expects, the bed and
// the sample depth. The steps that really differ (inquiry reply, shading line
// format, shading coefficients, tone tables) are chosen by `Dialect` in
// scanner.cpp; everything else reads these records.
#ifndef SIMULATOR_PASSTHROUGH_DIALECT_H
#define SIMULATOR_PASSTHROUGH_DIALECT_H

#include <cstdint>
#include <vector>

#include "scenario.h"

namespace sim {

// One field: byte offset from the block start and size in bytes (0 = absent).
struct Field {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    bool present() const { return size != 0; }
};

enum FunctionCode : std::uint32_t {
    kInquiry = 0,
    kSetWindow = 1,
    kReadShading = 2,
    kSendShading = 3,
    kSendGamma = 4,
    kStartScan = 5,
    kAbort = 6,
    kShadingGeometry = 7,
    kReadImage = 8,
    kGetStatus = 9,
    kFunctionCodes = 10,
};

const char* commandName(std::uint32_t code);

constexpr std::uint32_t kStatusOffset = 2;

// Piece record of BUF_ADDR: 20 bytes.
constexpr std::uint32_t kPieceRecordBytes = 20;
constexpr std::uint32_t kPieceLengthOffset = 0;  // 32-bit, written by the library
constexpr std::uint32_t kPieceUnitsOffset = 4;   // 16-bit, written by the driver
constexpr std::uint32_t kPieceAddressOffset = 8; // 32-bit, written by the library

struct InquiryLayout {
    Field modelDigits{57, 4};
    Field shadingReference[3]{{70, 2}, {72, 2}, {74, 2}};
    Field gainTrims{70, 20};
    Field adapterFlag{126, 1};
};

struct SetWindowLayout {
    Field xStart{6, 2}, yStart{8, 2}, xEnd{10, 2}, yEnd{12, 2};
    Field source{14, 1};
    Field constant15{15, 1}, constant16{16, 1}, constant17{17, 1};
    Field resolution{18, 2};
    Field calibrate{20, 1}, storedShading{21, 1}, gammaRequest{22, 1};
    Field extra24{24, 2}, extra26{26, 1};  // A3 model only
};

struct GeometryLayout {
    Field request;  // must hold 1 where present
    Field lineBytes, lines, flag;
};

struct ReadShadingLayout {
    Field resolution{6, 2};
    Field lineBytes, lines, totalBytes, pieces, records;
};

struct SendShadingLayout {
    Field resolution{6, 2}, count{8, 4}, zero12{12, 2}, zero14{14, 2};
    Field piecesHigh, piecesLow;
    Field high{20, 4}, low{24, 4};  // piece records (scan) or first piece addresses (vexa)
};

struct StartScanLayout {
    Field request{6, 2};
    Field lineBytes{8, 2};
    Field lines;
};

struct ReadImageLayout {
    Field lineBytes, lines, bytes, requested, done, pieces, records;
};

struct GetStatusLayout {
    Field ready{6, 2};
};

struct DialectSpec {
    Dialect id;
    std::uint32_t fixedWindowUnit;  // window unit per inch; 0 = base resolution of the model
    std::uint8_t setWindowByte16;
    bool a3Fields;                  // set window carries 24 = 20, 26 = 0
    bool needsAdapterHandle;        // the driver calls ADDR_CHK
    double bedWidth, bedLength;     // inches
    std::uint32_t sampleBits;       // raw sensor samples: 12 or 16
    std::uint32_t defaultShadingLines;
    double defaultWhite;
    const char* defaultModelDigits;
    InquiryLayout inquiry;
    SetWindowLayout setWindow;
    GeometryLayout geometry;
    ReadShadingLayout readShading;
    SendShadingLayout sendShading;
    StartScanLayout startScan;
    ReadImageLayout readImage;
    GetStatusLayout getStatus;
};

const DialectSpec& dialectSpec(Dialect dialect);

// Bytes of the command block of a function code in a dialect (0: no such code).
std::uint32_t blockBytes(Dialect dialect, std::uint32_t code);

// What a field of a command block holds, for people and for the trace.
enum class FieldKind : std::uint8_t {
    Value,          // a request the driver sets
    Reply,          // what the scanner answers (the driver leaves the last answer there)
    Records,        // 32-bit address of piece records BUF_ADDR filled
    Piece,          // 32-bit address of the first piece of a described block
    CallerMemory,   // 32-bit address of memory no BUF_ADDR described (tone tables)
};
struct NamedField {
    const char* name;
    Field field;
    FieldKind kind = FieldKind::Value;
};
// The fields of a command block that the dialect defines, the status first.
// Bytes outside them are reserved: neither side gives them a meaning.
std::vector<NamedField> blockFields(const DialectSpec& spec, std::uint32_t code);

}  // namespace sim

#endif
