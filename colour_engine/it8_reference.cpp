// IT8.7/2 reference data file reader and the built-in reference table.
//
// The file is a CGATS-style text file: a first line whose first token is
// "IT8.7/2", a header, a format block (BEGIN_DATA_FORMAT, the field list on
// the next line, ...) and a data block (BEGIN_DATA ... END_DATA) with one
// patch per line, its sample identifier first. Only the XYZ_X column and the
// two columns after it are read.
#include "it8_reference.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "platform/raii.hpp"
#include "qel_cms.h"

namespace qel {

namespace {

// A line holds at most 200 characters, so at most 100 tokens.
constexpr int kMaxTokens = kTextLineCapacity / 2 + 1;

struct Tokens {
    std::string_view token[kMaxTokens];
    int count = 0;
};

bool isDelimiter(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Splits a NUL-terminated line at runs of delimiters.
Tokens tokenize(const char* line) {
    Tokens t;
    const char* p = line;
    while (*p != '\0' && t.count < kMaxTokens) {
        while (*p != '\0' && isDelimiter(*p)) ++p;
        if (*p == '\0') break;
        const char* start = p;
        while (*p != '\0' && !isDelimiter(*p)) ++p;
        t.token[t.count++] = std::string_view(start, static_cast<std::size_t>(p - start));
    }
    return t;
}

bool firstTokenIs(const Tokens& t, std::string_view word) { return t.count > 0 && t.token[0] == word; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal integer: optional sign, then the leading digits; conversion stops at
// the first other character; no digits give 0. Saturates far beyond any patch
// number instead of overflowing.
int decimalInteger(std::string_view s) {
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    long value = 0;
    for (; i < s.size() && isDigit(s[i]); ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > 1000000) value = 1000000;
    }
    return static_cast<int>(negative ? -value : value);
}

// Decimal floating-point number: optional sign, digits, optional fraction and
// exponent; conversion stops at the first character that does not fit; no
// digits give 0. The result is the float nearest to the decimal. Words such as
// "nan" or "inf" have no digits and give 0. Returns false for a value beyond
// the float range (it has no meaningful float), true otherwise.
bool decimalFloat(std::string_view s, float* out) {
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    const std::size_t mantissaStart = i;
    // Decimal exponent of the first nonzero digit, to tell an underflow from an
    // overflow when the value leaves the float range.
    long magnitude = 0;
    bool nonzeroSeen = false;
    std::size_t digits = 0;
    for (; i < s.size() && isDigit(s[i]); ++i, ++digits) {
        if (nonzeroSeen) ++magnitude;
        else if (s[i] != '0') nonzeroSeen = true;
    }
    if (i < s.size() && s[i] == '.') {
        for (++i; i < s.size() && isDigit(s[i]); ++i, ++digits) {
            if (!nonzeroSeen) {
                --magnitude;
                if (s[i] != '0') nonzeroSeen = true;
            }
        }
    }
    if (digits == 0) {
        *out = 0.0f;
        return true;
    }
    std::size_t end = i;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        bool negativeExponent = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) negativeExponent = s[j++] == '-';
        if (j < s.size() && isDigit(s[j])) {
            long exponent = 0;
            for (; j < s.size() && isDigit(s[j]); ++j) exponent = std::min(exponent * 10 + (s[j] - '0'), 100000L);
            magnitude += negativeExponent ? -exponent : exponent;
            end = j;
        }
    }
    // The sign is applied afterwards (from_chars takes no '+'); the syntax was
    // checked above, so only the range can fail.
    float value = 0.0f;
    const auto result = std::from_chars(s.data() + mantissaStart, s.data() + end, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Too small for a float: it is 0. Too large: it has no float value.
        if (magnitude >= 0) return false;
        value = 0.0f;
    } else if (result.ec != std::errc() || !std::isfinite(value)) {
        return false;
    }
    *out = negative ? -value : value;
    return true;
}

// The reference patch index of a sample identifier, -1 when the patch is not
// used (other columns, GS0, GS23, Dmin, Dmax, anything else).
int identifierIndex(std::string_view id) {
    if (id.empty() || id[0] < 'A' || id[0] > 'L') return -1;
    if (id[0] == 'G' && id.size() > 1 && id[1] == 'S') return GreyPatchIndex(decimalInteger(id.substr(2)));
    return ChromaticPatchIndex(id[0] - 'A' + 1, decimalInteger(id.substr(1)));
}

// Built-in reference values, nearest floats to the published decimals, in
// reference patch index order.
constexpr float kDefaultReference[kReferencePatches][3] = {
    // A1 A2 A3 A5 A6 A7 A9 A10 A11
    {3.89f, 3.33f, 2.46f}, {5.0f, 3.28f, 1.93f}, {6.85f, 3.85f, 1.78f}, {14.48f, 12.6f, 8.45f}, {16.79f, 12.4f, 7.36f},
    {18.71f, 12.06f, 6.48f}, {42.32f, 41.89f, 31.29f}, {44.56f, 42.06f, 29.75f}, {47.76f, 42.27f, 28.38f},
    // B1 B2 B3 B5 B6 B7 B9 B10 B11
    {3.74f, 3.41f, 2.0f}, {4.12f, 3.1f, 1.08f}, {5.93f, 3.87f, 0.87f}, {14.29f, 12.43f, 6.35f}, {15.86f, 11.96f, 3.97f},
    {18.56f, 12.32f, 2.56f}, {41.92f, 41.68f, 29.03f}, {42.8f, 40.73f, 25.74f}, {46.71f, 42.08f, 23.2f},
    // C1 C2 C3 C5 C6 C7 C9 C10 C11
    {5.12f, 5.22f, 2.77f}, {5.05f, 4.78f, 1.57f}, {6.4f, 5.6f, 1.08f}, {25.41f, 24.75f, 11.01f}, {27.29f, 24.48f, 5.42f},
    {28.95f, 24.17f, 2.38f}, {46.76f, 47.07f, 29.9f}, {49.16f, 47.91f, 26.36f}, {52.15f, 48.8f, 21.75f},
    // D1 D2 D3 D5 D6 D7 D9 D10 D11
    {4.56f, 5.07f, 2.76f}, {4.28f, 4.81f, 1.62f}, {4.86f, 5.47f, 1.16f}, {27.09f, 28.81f, 13.64f}, {27.25f, 28.85f, 7.71f},
    {26.63f, 28.28f, 3.83f}, {52.32f, 54.29f, 33.68f}, {54.05f, 56.25f, 28.44f}, {54.39f, 57.26f, 23.54f},
    // E1 E2 E3 E5 E6 E7 E9 E10 E11
    {4.09f, 4.94f, 2.84f}, {3.36f, 4.57f, 1.67f}, {3.72f, 5.53f, 1.25f}, {13.28f, 15.53f, 8.03f}, {11.18f, 14.32f, 4.65f},
    {10.03f, 14.12f, 2.87f}, {36.4f, 39.15f, 26.02f}, {35.88f, 39.6f, 22.77f}, {34.86f, 39.92f, 19.27f},
    // F1 F2 F3 F5 F6 F7 F9 F10 F11
    {1.37f, 1.94f, 1.55f}, {1.2f, 2.05f, 1.32f}, {1.4f, 2.59f, 1.48f}, {6.41f, 8.42f, 6.23f}, {4.77f, 7.68f, 4.82f},
    {3.56f, 7.15f, 4.05f}, {36.15f, 39.32f, 29.56f}, {34.94f, 39.54f, 29.21f}, {33.45f, 39.51f, 28.34f},
    // G1 G2 G3 G5 G6 G7 G9 G10 G11
    {2.18f, 2.97f, 3.1f}, {1.67f, 2.79f, 3.12f}, {2.08f, 3.85f, 4.22f}, {8.64f, 11.03f, 10.08f}, {6.83f, 10.28f, 10.11f},
    {5.51f, 9.81f, 10.68f}, {35.45f, 38.66f, 31.5f}, {33.92f, 38.99f, 32.15f}, {33.36f, 41.26f, 34.41f},
    // H1 H2 H3 H5 H6 H7 H9 H10 H11
    {2.39f, 2.96f, 3.87f}, {2.01f, 2.73f, 4.76f}, {2.31f, 3.4f, 6.96f}, {9.33f, 11.17f, 12.71f}, {7.92f, 10.34f, 15.02f},
    {7.04f, 10.16f, 18.31f}, {35.59f, 38.3f, 34.64f}, {35.04f, 38.64f, 37.77f}, {34.04f, 38.26f, 46.39f},
    // I1 I2 I3 I5 I6 I7 I9 I10 I11
    {4.52f, 4.87f, 7.13f}, {4.41f, 4.54f, 9.92f}, {4.37f, 4.45f, 13.09f}, {13.85f, 14.66f, 16.07f}, {14.21f, 14.89f, 20.11f},
    {13.84f, 13.96f, 23.86f}, {37.45f, 38.79f, 34.72f}, {37.73f, 38.98f, 38.8f}, {38.46f, 39.47f, 45.55f},
    // J1 J2 J3 J5 J6 J7 J9 J10 J11
    {2.08f, 1.91f, 3.7f}, {2.33f, 1.74f, 5.63f}, {2.73f, 1.75f, 8.44f}, {11.36f, 11.36f, 13.29f}, {12.27f, 11.39f, 16.63f},
    {12.93f, 11.12f, 20.32f}, {37.89f, 38.57f, 34.81f}, {39.43f, 39.25f, 38.61f}, {40.0f, 38.97f, 44.87f},
    // K1 K2 K3 K5 K6 K7 K9 K10 K11
    {5.44f, 4.62f, 6.39f}, {6.68f, 4.51f, 8.52f}, {7.83f, 4.3f, 10.32f}, {15.53f, 14.3f, 15.81f}, {17.59f, 14.37f, 18.69f},
    {19.2f, 13.56f, 21.37f}, {39.1f, 38.78f, 34.75f}, {41.3f, 39.09f, 38.37f}, {44.75f, 39.9f, 45.1f},
    // L1 L2 L3 L5 L6 L7 L9 L10 L11
    {3.41f, 2.87f, 3.17f}, {4.47f, 2.92f, 3.42f}, {6.32f, 3.49f, 4.32f}, {13.25f, 11.49f, 11.12f}, {15.56f, 11.25f, 11.67f},
    {18.08f, 11.18f, 12.65f}, {40.24f, 39.51f, 33.14f}, {42.43f, 39.72f, 33.52f}, {46.06f, 40.37f, 34.12f},
    // GS1 to GS22
    {71.67f, 74.08f, 61.44f}, {61.86f, 64.27f, 52.03f}, {52.4f, 54.28f, 45.0f}, {45.81f, 47.83f, 39.4f},
    {40.55f, 41.96f, 34.85f}, {35.72f, 37.11f, 30.95f}, {29.61f, 31.0f, 25.94f}, {24.08f, 25.28f, 21.76f},
    {20.79f, 21.84f, 18.84f}, {17.32f, 18.23f, 15.69f}, {15.27f, 16.13f, 13.79f}, {12.49f, 13.15f, 11.31f},
    {10.09f, 10.67f, 9.2f}, {7.39f, 7.92f, 7.08f}, {5.67f, 6.11f, 5.51f}, {4.14f, 4.47f, 4.2f},
    {3.1f, 3.41f, 3.2f}, {2.24f, 2.43f, 2.33f}, {1.53f, 1.68f, 1.68f}, {0.99f, 1.09f, 1.14f},
    {0.77f, 0.85f, 0.88f}, {0.62f, 0.66f, 0.73f},
};

}  // namespace

int ChromaticPatchIndex(int row, int column) {
    if (row < 1 || row > 12) return -1;
    for (int k = 0; k < 9; ++k)
        if (kUsedColumns[k] == column) return (row - 1) * 9 + k;
    return -1;
}

int GreyPatchIndex(int n) { return n >= 1 && n <= kGreyPatches ? kChromaticPatches - 1 + n : -1; }

bool TextFile::fill() {
    if (ended_) return false;
    const std::uint32_t got = pfLread(file_, buffer_, sizeof buffer_);
    if (got == 0 || got == PF_FILE_IO_ERROR || got > sizeof buffer_) {
        ended_ = true;
        size_ = pos_ = 0;
        return false;
    }
    size_ = got;
    pos_ = 0;
    return true;
}

int TextFile::next() {
    if (pos_ >= size_ && !fill()) return -1;
    return buffer_[pos_++];
}

int TextFile::peek() {
    if (pos_ >= size_ && !fill()) return -1;
    return buffer_[pos_];
}

int ReadTextLine(TextFile& file, char* line) {
    int c = file.next();
    if (c < 0 || c == 0) return 0;
    int length = 0;
    for (;;) {
        if (c == '\r') {
            if (file.peek() == '\n') file.next();
            break;
        }
        if (c == '\n') break;
        if (length == kTextLineCapacity) break;  // character 201 is dropped
        line[length++] = static_cast<char>(c);
        c = file.next();
        if (c < 0) break;
    }
    line[length] = '\0';
    return 1;
}

int ReadIt8Reference(It8Reference* reference, const char* path) {
    if (path == nullptr) return QEL_SCANNER_REFERENCE_UNOPENED;
    pf::FileHandle handle(pfLopen(path, PF_OF_READ));
    if (!handle.ok()) return QEL_SCANNER_REFERENCE_UNOPENED;
    TextFile file(handle.get());
    char line[kTextLineCapacity + 1];

    if (ReadTextLine(file, line) == 0 || !firstTokenIs(tokenize(line), "IT8.7/2"))
        return QEL_SCANNER_REFERENCE_INVALID;

    // Field positions from the one line after the first BEGIN_DATA_FORMAT.
    int xPos = -1, yPos = -1, zPos = -1;
    bool more = true;
    while ((more = ReadTextLine(file, line) != 0) && !firstTokenIs(tokenize(line), "BEGIN_DATA_FORMAT")) {
    }
    if (more && ReadTextLine(file, line) != 0) {
        const Tokens fields = tokenize(line);
        for (int i = 0; i < fields.count; ++i) {
            if (fields.token[i] == "XYZ_X") xPos = i;
            if (fields.token[i] == "XYZ_Y") yPos = i;
            if (fields.token[i] == "XYZ_Z") zPos = i;
        }
    }
    if (xPos <= 0 || (yPos < 0 && zPos < 0)) return QEL_SCANNER_REFERENCE_INVALID;

    while ((more = ReadTextLine(file, line) != 0) && !firstTokenIs(tokenize(line), "BEGIN_DATA")) {
    }
    if (!more) return QEL_SCANNER_REFERENCE_INVALID;

    // Every patch must be set at least once; a patch listed again takes the
    // values of its later line but does not stand in for a missing one.
    bool set[kReferencePatches] = {};
    while (ReadTextLine(file, line) != 0) {
        const Tokens t = tokenize(line);
        if (t.count == 0) continue;
        if (t.token[0] == "END_DATA") break;
        const int index = identifierIndex(t.token[0]);
        if (index < 0 || xPos + 2 >= t.count) continue;
        float xyz[3];
        if (!decimalFloat(t.token[xPos], &xyz[0]) || !decimalFloat(t.token[xPos + 1], &xyz[1]) ||
            !decimalFloat(t.token[xPos + 2], &xyz[2]))
            continue;
        std::memcpy(reference->entry[index], xyz, sizeof xyz);
        set[index] = true;
    }
    for (bool s : set)
        if (!s) return QEL_SCANNER_REFERENCE_INVALID;
    return QEL_SCANNER_OK;
}

void LoadDefaultIt8Reference(It8Reference* reference) {
    std::memcpy(reference->entry, kDefaultReference, sizeof kDefaultReference);
}

}  // namespace qel
