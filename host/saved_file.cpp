#include "saved_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "atomic_file.h"
#include "qel_cms.h"
#include "qel_layout.h"
#include "utf8_path.h"

namespace aucal {

namespace {

constexpr char kMagic[8] = {'A', 'U', 'C', 'A', 'L', 'S', 'A', 'V'};

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

const char* kindName(SavedKind kind) {
    switch (kind) {
        case SavedKind::ScannerModel: return "scanner model";
        case SavedKind::MatrixBlock: return "monitor correction (matrix block)";
        case SavedKind::LookupBlock: return "printer correction (lookup block)";
    }
    return "unknown";
}

std::uint32_t expectedPayloadSize(SavedKind kind) {
    switch (kind) {
        case SavedKind::ScannerModel: return QEL_MODEL_SIZE;
        case SavedKind::MatrixBlock: return QEL_MATRIX_BLOCK_SIZE;
        case SavedKind::LookupBlock: return QEL_LUT_BLOCK_SIZE;
    }
    return 0;
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

bool saveFile(const std::string& path, SavedKind kind, const std::vector<std::uint8_t>& payload, std::string* error,
              const std::string& note) {
    if (note.size() > kSavedNoteLimit) {
        *error = "the note for " + path + " is too long";
        return false;
    }
    std::vector<std::uint8_t> bytes(kMagic, kMagic + 8);
    put32(bytes, static_cast<std::uint32_t>(kind));
    put32(bytes, kSavedFormatVersion);
    put32(bytes, static_cast<std::uint32_t>(payload.size()));
    put32(bytes, crc32(payload.data(), payload.size()));
    const auto* text = reinterpret_cast<const std::uint8_t*>(note.data());
    put32(bytes, static_cast<std::uint32_t>(note.size()));
    put32(bytes, crc32(text, note.size()));
    bytes.insert(bytes.end(), text, text + note.size());
    bytes.insert(bytes.end(), payload.begin(), payload.end());

    return writeFileAtomically(path, bytes.data(), bytes.size(), error);
}

bool loadFile(const std::string& path, LoadedFile* out, std::string* error) {
    std::ifstream in(utf8Path(path), std::ios::binary);
    if (!in) {
        *error = "cannot open " + path;
        return false;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < kSavedHeaderBytesV1 || std::memcmp(bytes.data(), kMagic, 8) != 0) {
        *error = path + " is not a file saved by aucal (no model or block header)";
        return false;
    }
    const std::uint32_t kind = get32(&bytes[8]);
    const std::uint32_t version = get32(&bytes[12]);
    const std::uint32_t size = get32(&bytes[16]);
    const std::uint32_t crc = get32(&bytes[20]);
    if (kind < 1 || kind > 3) {
        *error = path + " holds an unknown kind of data (" + std::to_string(kind) + ")";
        return false;
    }
    if (version != 1 && version != 2) {
        *error = path + " has format version " + std::to_string(version) + "; this aucal reads versions 1 and 2";
        return false;
    }
    std::size_t start = kSavedHeaderBytesV1;
    std::string note;
    if (version == 2) {
        const std::uint32_t noteSize = bytes.size() >= kSavedHeaderBytes ? get32(&bytes[24]) : 0;
        if (bytes.size() < kSavedHeaderBytes || noteSize > kSavedNoteLimit || bytes.size() - kSavedHeaderBytes < noteSize) {
            *error = path + " is truncated: its header ends early";
            return false;
        }
        note.assign(bytes.begin() + kSavedHeaderBytes, bytes.begin() + kSavedHeaderBytes + noteSize);
        if (crc32(bytes.data() + kSavedHeaderBytes, noteSize) != get32(&bytes[28])) {
            *error = path + " is corrupted (the header's note fails its checksum)";
            return false;
        }
        start = kSavedHeaderBytes + noteSize;
    }
    const auto savedKind = static_cast<SavedKind>(kind);
    if (size != expectedPayloadSize(savedKind)) {
        *error = path + " declares " + std::to_string(size) + " bytes for a " + kindName(savedKind) + ", which has " +
                 std::to_string(expectedPayloadSize(savedKind));
        return false;
    }
    if (bytes.size() - start != size) {
        *error = path + " is truncated or has trailing bytes: " + std::to_string(bytes.size() - start) + " of " +
                 std::to_string(size) + " bytes";
        return false;
    }
    if (crc32(bytes.data() + start, size) != crc) {
        *error = path + " is corrupted (checksum mismatch)";
        return false;
    }
    out->kind = savedKind;
    out->version = version;
    out->note = note;
    out->payload.assign(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end());
    return true;
}

bool loadFileOfKind(const std::string& path, std::initializer_list<SavedKind> allowed, LoadedFile* out,
                    std::string* error) {
    if (!loadFile(path, out, error)) return false;
    for (SavedKind k : allowed)
        if (k == out->kind) return true;
    std::string want;
    for (SavedKind k : allowed) want += (want.empty() ? "" : " or ") + std::string(kindName(k));
    *error = path + " holds a " + kindName(out->kind) + ", but a " + want + " is needed here";
    return false;
}

bool loadModelFile(const std::string& path, std::vector<float>* model, std::string* error) {
    LoadedFile file;
    if (!loadFileOfKind(path, {SavedKind::ScannerModel}, &file, error)) return false;
    model->assign(QEL_MODEL_FLOATS + 1, 0.0f);  // room for the 2 reported bytes past the floats
    std::memcpy(model->data(), file.payload.data(), QEL_MODEL_FLOATS * sizeof(float));
    return true;
}

bool isPrinterTable(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() == qel::kPrinterTableBytes) return true;
    return bytes.size() == qel::kPrinterTableBufferBytes &&
           std::all_of(bytes.begin() + qel::kPrinterTableBytes, bytes.end(), [](std::uint8_t v) { return v == 0; });
}

}  // namespace aucal
