// IT8.7/2 reference data: the reader of the target maker's reference data
// file, the built-in reference table, and the reference patch index that the
// whole scanner characterisation follows.
//
// Reference patch index (0..129): 0..107 the chromatic patches of rows A..L,
// columns 1, 2, 3, 5, 6, 7, 9, 10, 11 only, index = (row - 1) * 9 + k;
// 108..129 the grey patches GS1..GS22, index = 107 + n.
#ifndef QEL_IT8_REFERENCE_H
#define QEL_IT8_REFERENCE_H

#include <cstddef>
#include <cstdint>

#include "platform/files.h"

namespace qel {

constexpr int kReferencePatches = 130;
constexpr int kChromaticPatches = 108;
constexpr int kGreyPatches = 22;
// The working records have room for one entry more than the patches.
constexpr int kPatchRecordEntries = 131;

// Three floats per patch in reference patch index order: X, Y, Z in the
// reference record (Y = 100 for a perfect white), R, G, B (0..255) in the
// measured record. One 1572-byte global memory block each.
struct PatchRecord {
    float entry[kPatchRecordEntries][3];
};
static_assert(sizeof(PatchRecord) == 1572);
using It8Reference = PatchRecord;

// The IT8 columns used in each chromatic row, in index order.
inline constexpr int kUsedColumns[9] = {1, 2, 3, 5, 6, 7, 9, 10, 11};

// Index of chromatic patch (row 1..12 for A..L, column 1..22), or of grey
// patch GSn; -1 for a patch that the characterisation does not use.
int ChromaticPatchIndex(int row, int column);
int GreyPatchIndex(int n);

// A line holds at most this many characters, plus the terminating NUL.
constexpr int kTextLineCapacity = 200;

// Reads an open file for ReadTextLine, through a small buffer (a reference
// file is read line by line, byte by byte). Does not own the handle.
class TextFile {
public:
    explicit TextFile(PfFile file) : file_(file) {}
    // Next byte 0..255, or -1 at the end of the file or on a read error.
    int next();
    // The next byte without taking it, -1 at the end.
    int peek();

private:
    bool fill();
    PfFile file_;
    std::uint8_t buffer_[512] = {};
    std::uint32_t size_ = 0;
    std::uint32_t pos_ = 0;
    bool ended_ = false;
};

// Reads the next line into line (kTextLineCapacity + 1 bytes). A line ends at
// LF, CR, or a CR LF pair (one line end, so CR LF files read like LF files),
// or at the end of the file. A longer line is split: its first 200 characters
// form a line, character 201 is dropped, the rest starts the next line.
// Returns 1 when a line was read, 0 at the end of the file or when the line
// starts with a NUL byte.
int ReadTextLine(TextFile& file, char* line);

// Reads the reference data file at path into reference (zero-filled by the
// caller). Returns QEL_SCANNER_OK when every one of the 130 patches was set,
// QEL_SCANNER_REFERENCE_UNOPENED when the file cannot be opened,
// QEL_SCANNER_REFERENCE_INVALID when it is not an acceptable IT8.7/2 file.
// Values already stored stay in reference on failure.
int ReadIt8Reference(It8Reference* reference, const char* path);

// Fills the 130 entries from the built-in table.
void LoadDefaultIt8Reference(It8Reference* reference);

}  // namespace qel

#endif
