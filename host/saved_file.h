// Models and correction blocks as the host saves them: a small header (magic,
// kind, format version, payload size, CRC-32 of the payload, and from
// version 2 a note of text) before the exact bytes the engine wrote, so that
// a wrong, truncated or corrupted file is refused with a clear message and
// never applied.
//
// Layout, little-endian:
//   0  8  magic "AUCALSAV"
//   8  4  kind (SavedKind)
//  12  4  format version (1 or 2)
//  16  4  payload size in bytes (the size the engine reported)
//  20  4  CRC-32 (IEEE) of the payload
// version 1:
//  24  .. payload
// version 2:
//  24  4  note size N in bytes
//  28  4  CRC-32 of the note
//  32  N  note: UTF-8 lines, each ended by LF (the quality figures of the
//         characterisation that made the file); may be empty
//  32+N .. payload
// Version 2 is written; both are read.
#ifndef AUCAL_SAVED_FILE_H
#define AUCAL_SAVED_FILE_H

#include <cstdint>
#include <string>
#include <vector>

namespace aucal {

enum class SavedKind : std::uint32_t {
    ScannerModel = 1,
    MatrixBlock = 2,
    LookupBlock = 3,
};

constexpr std::uint32_t kSavedFormatVersion = 2;
constexpr std::size_t kSavedHeaderBytesV1 = 24;
constexpr std::size_t kSavedHeaderBytes = 32;  // version 2, before its note
constexpr std::uint32_t kSavedNoteLimit = 1u << 20;

const char* kindName(SavedKind kind);
// The payload size each kind must have.
std::uint32_t expectedPayloadSize(SavedKind kind);

std::uint32_t crc32(const std::uint8_t* data, std::size_t size);

// Writes through the atomic-write helper: a failed save leaves no file.
bool saveFile(const std::string& path, SavedKind kind, const std::vector<std::uint8_t>& payload, std::string* error,
              const std::string& note = {});

struct LoadedFile {
    SavedKind kind;
    std::vector<std::uint8_t> payload;
    std::uint32_t version = kSavedFormatVersion;
    std::string note;  // empty in version 1
};

// Reads and checks a saved file; false with a sentence saying what is wrong.
bool loadFile(const std::string& path, LoadedFile* out, std::string* error);
// As loadFile, and the kind must be one of those allowed.
bool loadFileOfKind(const std::string& path, std::initializer_list<SavedKind> allowed, LoadedFile* out,
                    std::string* error);
// A saved scanner model as the engine takes it: the model's floats and room
// for the 2 reported bytes past them.
bool loadModelFile(const std::string& path, std::vector<float>* model, std::string* error);

// A printer table as aucal printer --table takes it: the engine's 17^3 RGB
// nodes alone, or the file aucal print --table writes (the table in the
// engine's whole buffer, zeros after it).
bool isPrinterTable(const std::vector<std::uint8_t>& bytes);

}  // namespace aucal

#endif
