// Command blocks of the SCSI pass-through library, one definition per block.
// Offsets are bytes from the block start, multi-byte fields little-endian; in
// every block the 16-bit word at offset 2 is the status the library writes back
// (0 = success). Blocks are module-level, zero at load, and persist between runs.
//
// Two dialects share the ten function codes: the classic one (scan, prescan)
// and the 1/4800-inch one with wider fields (vexa). Where a block differs, each
// dialect has its own definition below.
#ifndef SCANNER_DRIVER_COMMAND_BLOCKS_H
#define SCANNER_DRIVER_COMMAND_BLOCKS_H

#include <cstddef>
#include <cstdint>

namespace drv {

enum class FunctionCode : std::uint32_t {
    Inquiry = 0,
    SetWindow = 1,
    ReadShadingLines = 2,
    SendShading = 3,
    SendGammaTables = 4,
    StartScan = 5,
    Abort = 6,
    GetShadingGeometry = 7,
    ReadImageData = 8,
    GetStatus = 9,
};

// Status words with a message of their own; any other non-zero word is the
// generic "not ready" case.
enum class ScannerStatus : std::uint16_t {
    Success = 0,
    NotReady = 255,
    PaperJammed = 0x8217,
    NoPaper = 0x8321,
    CoverOpen = 0x8414,
};

#pragma pack(push, 1)

// Piece record filled by BUF_ADDR: the library splits a locked block into
// pieces; the driver trims each length to whole units and stores the count.
struct PieceRecord {
    std::uint32_t length;   // 0: bytes in the piece
    std::uint16_t units;    // 4: whole units, written by the driver
    std::uint8_t reserved6[2];
    std::uint32_t address;  // 8: 32-bit address of the piece
    std::uint8_t reserved12[8];
};
static_assert(sizeof(PieceRecord) == 20);
static_assert(offsetof(PieceRecord, units) == 4);
static_assert(offsetof(PieceRecord, address) == 8);

// Code 0. The request clears 96 bytes from offset 10; the reply lands inside
// that area (model digits, shading reference words or gain trims) and at 126.
struct InquiryBlock {
    std::uint8_t reserved0[2];
    std::uint16_t status;            // 2
    std::uint8_t reserved4[6];
    std::uint8_t area10[47];         // 10: start of the cleared request area
    char modelDigits[4];             // 57: model resolution code, ASCII digits
    std::uint8_t reserved61[9];
    std::uint8_t shadingData[20];    // 70: classic: three reference words; vexa: ten trim pairs
    std::uint8_t reserved90[36];
    std::uint8_t adapter;            // 126: 1 = transparency adapter present
    std::uint8_t reserved127;
};
static_assert(sizeof(InquiryBlock) == 128);
static_assert(offsetof(InquiryBlock, status) == 2);
static_assert(offsetof(InquiryBlock, area10) == 10);
static_assert(offsetof(InquiryBlock, modelDigits) == 57);
static_assert(offsetof(InquiryBlock, shadingData) == 70);
static_assert(offsetof(InquiryBlock, adapter) == 126);
constexpr std::size_t kInquiryClearedOffset = 10;
constexpr std::size_t kInquiryClearedBytes = 96;

// Code 1, both dialects. The classic reply byte 21 selects the stored
// shading; vexa's byte 22 asks for tone tables. 24 and 26 are sent by the A3
// model only (zero otherwise).
struct SetWindowBlock {
    std::uint8_t reserved0[2];
    std::uint16_t status;         // 2
    std::uint8_t reserved4[2];
    std::uint16_t xStart;         // 6: in units of the window base
    std::uint16_t yStart;         // 8
    std::uint16_t xEnd;           // 10
    std::uint16_t yEnd;           // 12
    std::uint8_t source;          // 14: low byte of the target type
    std::uint8_t byte15;          // 15: 0
    std::uint8_t byte16;          // 16: 3 (classic) or 2 (vexa)
    std::uint8_t byte17;          // 17: 1
    std::uint16_t resolution;     // 18: scan resolution, dots per inch
    std::uint8_t calibrate;       // 20: reply, calibration request
    std::uint8_t shadingChoice;   // 21: reply, 2 = send the stored shading
    std::uint8_t gammaRequest;    // 22: reply (vexa), non-zero = send tone tables
    std::uint8_t reserved23;
    std::uint16_t a3Field24;      // 24: 20 on the A3 bed
    std::uint8_t a3Field26;       // 26: 0 on the A3 bed
    std::uint8_t reserved27;
};
static_assert(sizeof(SetWindowBlock) == 28);
static_assert(offsetof(SetWindowBlock, xStart) == 6);
static_assert(offsetof(SetWindowBlock, yEnd) == 12);
static_assert(offsetof(SetWindowBlock, source) == 14);
static_assert(offsetof(SetWindowBlock, resolution) == 18);
static_assert(offsetof(SetWindowBlock, calibrate) == 20);
static_assert(offsetof(SetWindowBlock, gammaRequest) == 22);
static_assert(offsetof(SetWindowBlock, a3Field24) == 24);
static_assert(offsetof(SetWindowBlock, a3Field26) == 26);

// Code 4, classic: four slots, each a 16-bit entry count and 4096 table bytes.
struct ToneSlot {
    std::uint16_t entries;         // 256 or 4096
    std::uint8_t table[4096];
};
static_assert(sizeof(ToneSlot) == 4098);
struct ClassicGammaBlock {
    std::uint8_t reserved0[2];
    std::uint16_t status;          // 2
    std::uint8_t reserved4[2];
    std::uint8_t byte6;            // 6: 0
    std::uint8_t byte7;            // 7: 7
    ToneSlot slots[4];             // 8, 4106, 8204, 12302
};
static_assert(sizeof(ClassicGammaBlock) == 16400);
static_assert(offsetof(ClassicGammaBlock, slots) == 8);
static_assert(offsetof(ClassicGammaBlock, slots) + 3 * sizeof(ToneSlot) == 12302);

// Code 4, vexa: three tables handed over by size and 32-bit address.
struct ToneTableRef {
    std::uint32_t bytes;
    std::uint32_t address;
};
struct VexaGammaBlock {
    std::uint8_t reserved0[2];
    std::uint16_t status;          // 2
    std::uint8_t reserved4[3];
    std::uint8_t byte7;            // 7: 7
    std::uint8_t reserved8[8];
    ToneTableRef tables[3];        // 16, 24, 32
};
static_assert(sizeof(VexaGammaBlock) == 40);
static_assert(offsetof(VexaGammaBlock, byte7) == 7);
static_assert(offsetof(VexaGammaBlock, tables) == 16);

// Code 5. Both dialects reply bytes per line at 8; the line count is at 10
// (classic) or 12 (vexa).
struct StartScanBlock {
    std::uint8_t reserved0[2];
    std::uint16_t status;          // 2
    std::uint8_t reserved4[2];
    std::uint16_t request;         // 6: 0
    std::uint16_t bytesPerLine;    // 8: B
    std::uint16_t classicLines;    // 10: H (classic)
    std::uint16_t vexaLines;       // 12: H (vexa)
    std::uint8_t reserved14[2];
};
static_assert(sizeof(StartScanBlock) == 16);
static_assert(offsetof(StartScanBlock, bytesPerLine) == 8);
static_assert(offsetof(StartScanBlock, classicLines) == 10);
static_assert(offsetof(StartScanBlock, vexaLines) == 12);

// Code 6: no field is set, the status is not read.
struct AbortBlock {
    std::uint8_t reserved0[2];
    std::uint16_t status;
    std::uint8_t reserved4[12];
};
static_assert(sizeof(AbortBlock) == 16);

// Code 9.
struct GetStatusBlock {
    std::uint8_t reserved0[2];
    std::uint16_t status;          // 2
    std::uint8_t reserved4[2];
    std::uint16_t ready;           // 6: non-zero = ready
    std::uint8_t reserved8[8];
};
static_assert(sizeof(GetStatusBlock) == 16);
static_assert(offsetof(GetStatusBlock, ready) == 6);

// Code 8, classic.
struct ClassicReadImageBlock {
    std::uint8_t reserved0[2];
    std::uint16_t status;          // 2
    std::uint8_t reserved4[2];
    std::uint16_t bytesPerLine;    // 6: B
    std::uint16_t lines;           // 8: n, lines in this read
    std::uint8_t reserved10[2];
    std::uint32_t bytes;           // 12: n x B
    std::uint16_t requested;       // 16: lines requested so far, this read included
    std::uint16_t completed;       // 18: lines completed before this read
    std::uint8_t reserved20[6];
    std::uint16_t pieces;          // 26
    std::uint32_t records;         // 28: 32-bit address of the piece records
};
static_assert(sizeof(ClassicReadImageBlock) == 32);
static_assert(offsetof(ClassicReadImageBlock, bytes) == 12);
static_assert(offsetof(ClassicReadImageBlock, completed) == 18);
static_assert(offsetof(ClassicReadImageBlock, pieces) == 26);
static_assert(offsetof(ClassicReadImageBlock, records) == 28);

// Code 8, vexa: 32-bit counts.
struct VexaReadImageBlock {
    std::uint8_t reserved0[2];
    std::uint16_t status;          // 2
    std::uint8_t reserved4[4];
    std::uint32_t bytesPerLine;    // 8
    std::uint32_t lines;           // 12
    std::uint32_t bytes;           // 16
    std::uint16_t requested;       // 20
    std::uint16_t completed;       // 22
    std::uint8_t reserved24[6];
    std::uint16_t pieces;          // 30
    std::uint32_t records;         // 32
};
static_assert(sizeof(VexaReadImageBlock) == 36);
static_assert(offsetof(VexaReadImageBlock, bytesPerLine) == 8);
static_assert(offsetof(VexaReadImageBlock, requested) == 20);
static_assert(offsetof(VexaReadImageBlock, pieces) == 30);
static_assert(offsetof(VexaReadImageBlock, records) == 32);

// Code 7, classic: request word 6 = 1; reply L (bytes per shading line) and M (lines).
struct ClassicGeometryBlock {
    std::uint8_t reserved0[2];
    std::uint16_t status;          // 2
    std::uint8_t reserved4[2];
    std::uint16_t request;         // 6: 1
    std::uint16_t lineBytes;       // 8: L
    std::uint16_t lineCount;       // 10: M
};
static_assert(sizeof(ClassicGeometryBlock) == 12);
static_assert(offsetof(ClassicGeometryBlock, lineCount) == 10);

// Code 7, vexa: nothing is set; the reply carries a flag and 32-bit L, M.
struct VexaGeometryBlock {
    std::uint8_t reserved0[2];
    std::uint16_t status;          // 2
    std::uint8_t reserved4[2];
    std::uint16_t flag;            // 6: calibration goes on only when 1
    std::uint32_t lineBytes;       // 8
    std::uint32_t lineCount;       // 12
};
static_assert(sizeof(VexaGeometryBlock) == 16);
static_assert(offsetof(VexaGeometryBlock, lineCount) == 12);

// Code 2, classic.
struct ClassicReadShadingBlock {
    std::uint8_t reserved0[2];
    std::uint16_t status;          // 2
    std::uint8_t reserved4[2];
    std::uint16_t resolution;      // 6
    std::uint16_t lineBytes;       // 8: L
    std::uint16_t lineCount;       // 10: M
    std::uint32_t bytes;           // 12: L x M
    std::uint8_t reserved16[2];
    std::uint16_t pieces;          // 18
    std::uint32_t records;         // 20
};
static_assert(sizeof(ClassicReadShadingBlock) == 24);
static_assert(offsetof(ClassicReadShadingBlock, bytes) == 12);
static_assert(offsetof(ClassicReadShadingBlock, pieces) == 18);
static_assert(offsetof(ClassicReadShadingBlock, records) == 20);

// Code 2, vexa.
struct VexaReadShadingBlock {
    std::uint8_t reserved0[2];
    std::uint16_t status;          // 2
    std::uint8_t reserved4[2];
    std::uint16_t resolution;      // 6
    std::uint32_t lineBytes;       // 8
    std::uint32_t lineCount;       // 12
    std::uint32_t bytes;           // 16
    std::uint8_t reserved20[4];
    std::uint32_t records;         // 24
};
static_assert(sizeof(VexaReadShadingBlock) == 28);
static_assert(offsetof(VexaReadShadingBlock, bytes) == 16);
static_assert(offsetof(VexaReadShadingBlock, records) == 24);

// Code 3, classic: piece records of the high- and low-byte images (or of the
// stored green copies).
struct ClassicSendShadingBlock {
    std::uint8_t reserved0[2];
    std::uint16_t status;          // 2
    std::uint8_t reserved4[2];
    std::uint16_t resolution;      // 6
    std::uint32_t coefficients;    // 8: N after calibration, Q for the stored shading
    std::uint16_t zero12;          // 12
    std::uint16_t zero14;          // 14
    std::uint16_t highPieces;      // 16
    std::uint16_t lowPieces;       // 18
    std::uint32_t highRecords;     // 20
    std::uint32_t lowRecords;      // 24
};
static_assert(sizeof(ClassicSendShadingBlock) == 28);
static_assert(offsetof(ClassicSendShadingBlock, highPieces) == 16);
static_assert(offsetof(ClassicSendShadingBlock, highRecords) == 20);
static_assert(offsetof(ClassicSendShadingBlock, lowRecords) == 24);

// Code 3, vexa: the addresses of the first pieces themselves.
struct VexaSendShadingBlock {
    std::uint8_t reserved0[2];
    std::uint16_t status;          // 2
    std::uint8_t reserved4[2];
    std::uint16_t resolution;      // 6
    std::uint32_t lineBytes;       // 8: L / 2 bytes per coefficient line
    std::uint16_t zero12;          // 12
    std::uint16_t zero14;          // 14
    std::uint8_t reserved16[4];
    std::uint32_t highAddress;     // 20
    std::uint32_t lowAddress;      // 24
};
static_assert(sizeof(VexaSendShadingBlock) == 28);
static_assert(offsetof(VexaSendShadingBlock, highAddress) == 20);
static_assert(offsetof(VexaSendShadingBlock, lowAddress) == 24);

#pragma pack(pop)

// Piece record arrays handed to BUF_ADDR.
constexpr std::size_t kShadingPieceRecords = 16;
constexpr std::size_t kTransferPieceRecords = 256;

}  // namespace drv

#endif
