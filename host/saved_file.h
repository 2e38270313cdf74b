// Models and correction blocks as the host saves them: a small header (magic,
// kind, format version, payload size, CRC-32 of the payload) before the exact
// bytes the engine wrote, so that a wrong, truncated or corrupted file is
// refused with a clear message and never applied.
//
// Layout, little-endian:
//   0  8  magic "AUCALSAV"
//   8  4  kind (SavedKind)
//  12  4  format version (1)
//  16  4  payload size in bytes (the size the engine reported)
//  20  4  CRC-32 (IEEE) of the payload
//  24  .. payload
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

constexpr std::uint32_t kSavedFormatVersion = 1;
constexpr std::size_t kSavedHeaderBytes = 24;

const char* kindName(SavedKind kind);
// The payload size each kind must have.
std::uint32_t expectedPayloadSize(SavedKind kind);

std::uint32_t crc32(const std::uint8_t* data, std::size_t size);

// Writes through the atomic-write helper: a failed save leaves no file.
bool saveFile(const std::string& path, SavedKind kind, const std::vector<std::uint8_t>& payload, std::string* error);

struct LoadedFile {
    SavedKind kind;
    std::vector<std::uint8_t> payload;
};

// Reads and checks a saved file; false with a sentence saying what is wrong.
bool loadFile(const std::string& path, LoadedFile* out, std::string* error);
// As loadFile, and the kind must be one of those allowed.
bool loadFileOfKind(const std::string& path, std::initializer_list<SavedKind> allowed, LoadedFile* out,
                    std::string* error);
// A saved scanner model as the engine takes it: the model's floats and room
// for the 2 reported bytes past them.
bool loadModelFile(const std::string& path, std::vector<float>* model, std::string* error);

}  // namespace aucal

#endif
