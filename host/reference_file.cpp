#include "reference_file.h"

#include <lcms2.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "scratch_file.h"
#include "utf8_path.h"

namespace aucal {

namespace {

// The IT8.7/2 columns of each chromatic row that the model uses, in index order.
constexpr int kUsedColumns[9] = {1, 2, 3, 5, 6, 7, 9, 10, 11};
constexpr int kChromaticPatches = 108;

constexpr double kMaxY = 110.0;   // a light patch of a reflective target, white near 100
constexpr double kMaxXz = 150.0;  // room for optical brighteners under D50
constexpr double kLowestWhiteY = 2.0;  // below this, the data are on a 0 to 1 scale

// The lines of the text: LF, CR LF and CR each end one line; a UTF-8
// byte-order mark before the first line is dropped.
std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t i = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    std::string line;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// Tokens separated by spaces and tabs; a double-quoted string is one token,
// without its quotes. A line whose first character is '#' is a comment.
std::vector<std::string> tokenize(const std::string& line) {
    std::vector<std::string> tokens;
    if (!line.empty() && line[0] == '#') return tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        std::string token;
        if (line[i] == '"') {
            const std::size_t end = line.find('"', i + 1);
            token = line.substr(i + 1, (end == std::string::npos ? line.size() : end) - i - 1);
            i = end == std::string::npos ? line.size() : end + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t') token += line[i++];
        }
        tokens.push_back(token);
    }
    return tokens;
}

// The decimal digits of `s` as a number; nullopt unless `s` is 1 to 3 digits.
std::optional<int> smallNumber(const std::string& s) {
    if (s.empty() || s.size() > 3) return std::nullopt;
    int n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        n = 10 * n + (c - '0');
    }
    return n;
}

enum class NumberProblem { None, DecimalComma, NotANumber, NotFinite };

// A decimal number: optional sign, digits with an optional decimal point, an
// optional exponent, and nothing else. The float is the one nearest to the
// decimal, as the engine's reader takes it.
NumberProblem parseNumber(const std::string& token, float* asFloat, double* asDouble) {
    std::string lower(token);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::string bare = lower.empty() || (lower[0] != '+' && lower[0] != '-') ? lower : lower.substr(1);
    if (bare == "nan" || bare == "inf" || bare == "infinity") return NumberProblem::NotFinite;
    std::size_t i = token[0] == '+' || token[0] == '-' ? 1 : 0;
    const std::size_t start = token[0] == '+' ? 1 : 0;  // from_chars takes '-' but not '+'
    std::size_t digits = 0;
    for (; i < token.size() && std::isdigit(static_cast<unsigned char>(token[i])); ++i) ++digits;
    if (i < token.size() && token[i] == ',') return NumberProblem::DecimalComma;
    if (i < token.size() && token[i] == '.')
        for (++i; i < token.size() && std::isdigit(static_cast<unsigned char>(token[i])); ++i) ++digits;
    if (digits == 0) return NumberProblem::NotANumber;
    if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < token.size() && (token[j] == '+' || token[j] == '-')) ++j;
        const std::size_t expStart = j;
        while (j < token.size() && std::isdigit(static_cast<unsigned char>(token[j]))) ++j;
        if (j == expStart) return NumberProblem::NotANumber;
        i = j;
    }
    if (i != token.size()) return token.find(',') != std::string::npos ? NumberProblem::DecimalComma
                                                                      : NumberProblem::NotANumber;
    const char* first = token.data() + start;
    const char* last = token.data() + token.size();
    if (std::from_chars(first, last, *asDouble).ec != std::errc() || !std::isfinite(*asDouble))
        return NumberProblem::NotFinite;
    if (std::from_chars(first, last, *asFloat).ec != std::errc() || !std::isfinite(*asFloat))
        *asFloat = static_cast<float>(*asDouble);  // beyond float range: the range check refuses it
    return NumberProblem::None;
}

struct Fields {
    int id = -1;
    int value[3] = {-1, -1, -1};  // XYZ_X XYZ_Y XYZ_Z, or LAB_L LAB_A LAB_B
    bool lab = false;
    std::vector<std::string> names;
};

bool findFields(const std::vector<std::string>& names, Fields* f) {
    auto position = [&](const char* name) {
        const auto it = std::find(names.begin(), names.end(), name);
        return it == names.end() ? -1 : static_cast<int>(it - names.begin());
    };
    f->names = names;
    // SAMPLE_NAME holds A1.. where SAMPLE_ID is a running number.
    f->id = position("SAMPLE_NAME") >= 0 ? position("SAMPLE_NAME") : std::max(0, position("SAMPLE_ID"));
    const int xyz[3] = {position("XYZ_X"), position("XYZ_Y"), position("XYZ_Z")};
    const int lab[3] = {position("LAB_L"), position("LAB_A"), position("LAB_B")};
    const bool haveXyz = std::min({xyz[0], xyz[1], xyz[2]}) >= 0;
    f->lab = !haveXyz;
    std::copy(haveXyz ? xyz : lab, (haveXyz ? xyz : lab) + 3, f->value);
    return std::min({f->value[0], f->value[1], f->value[2]}) >= 0;
}

class Refusal {
public:
    Refusal(const std::string& source, std::string* error) : source_(source), error_(error) {}
    bool at(std::size_t line, const std::string& problem) const {
        *error_ = source_ + " line " + std::to_string(line) + ": " + problem;
        return false;
    }

private:
    const std::string& source_;
    std::string* error_;
};

std::string quoted(const std::string& token) { return "'" + token + "'"; }

bool isCgatsHeader(const std::string& token) { return token == "IT8.7/2" || token.rfind("CGATS", 0) == 0; }

}  // namespace

std::string referencePatchName(int index) {
    if (index < 0 || index >= kReferencePatchCount) return "?";
    if (index >= kChromaticPatches) return "GS" + std::to_string(index - kChromaticPatches + 1);
    return std::string(1, static_cast<char>('A' + index / 9)) + std::to_string(kUsedColumns[index % 9]);
}

int referencePatchIndex(const std::string& name) {
    if (name.size() > 2 && name[0] == 'G' && name[1] == 'S') {
        const auto n = smallNumber(name.substr(2));
        return n && *n >= 1 && *n <= 22 ? kChromaticPatches + *n - 1 : -1;
    }
    if (name.size() < 2 || name[0] < 'A' || name[0] > 'L') return -1;
    const auto column = smallNumber(name.substr(1));
    if (!column) return -1;
    const int* used = std::find(std::begin(kUsedColumns), std::end(kUsedColumns), *column);
    if (used == std::end(kUsedColumns)) return -1;
    return 9 * (name[0] - 'A') + static_cast<int>(used - kUsedColumns);
}

bool parseReferenceText(const std::string& text, const std::string& source, ReferenceData* out, std::string* error) {
    const Refusal refuse(source, error);
    if (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0)
        return refuse.at(1, "the file is UTF-16 text; save it as UTF-8 or ASCII");
    const std::vector<std::string> lines = splitLines(text);

    enum class Stage { Header, Keywords, Format, Data, Done } stage = Stage::Header;
    std::vector<std::string> fieldNames;
    Fields fields;
    std::size_t formatLine = 0, dataLine = 0;
    std::array<std::size_t, kReferencePatchCount> seenOn{};  // line of each patch's values, 0: not yet
    ReferenceData data;
    for (std::size_t n = 1; n <= lines.size() && stage != Stage::Done; ++n) {
        const std::vector<std::string> t = tokenize(lines[n - 1]);
        if (t.empty()) continue;
        switch (stage) {
            case Stage::Header:
                if (!isCgatsHeader(t[0]))
                    return refuse.at(n, "the file starts with " + quoted(t[0]) +
                                            ", not with IT8.7/2 or CGATS.17: it is not target reference data");
                data.header = t[0];
                stage = Stage::Keywords;
                break;
            case Stage::Keywords:
                if (t[0] == "BEGIN_DATA_FORMAT") {
                    formatLine = n;
                    fieldNames.assign(t.begin() + 1, t.end());
                    stage = Stage::Format;
                } else if (t[0] == "BEGIN_DATA") {
                    if (formatLine == 0) return refuse.at(n, "BEGIN_DATA comes before any BEGIN_DATA_FORMAT");
                    if (!findFields(fieldNames, &fields))
                        return refuse.at(formatLine, "the data format has neither XYZ_X XYZ_Y XYZ_Z nor "
                                                     "LAB_L LAB_A LAB_B");
                    dataLine = n;
                    data.fields = fieldNames;
                    stage = Stage::Data;
                }
                break;
            case Stage::Format:
                for (const std::string& token : t) {
                    if (token == "END_DATA_FORMAT") {
                        stage = Stage::Keywords;
                        break;
                    }
                    fieldNames.push_back(token);
                }
                break;
            case Stage::Data: {
                if (t[0] == "END_DATA") {
                    stage = Stage::Done;
                    dataLine = n;
                    break;
                }
                if (t.size() != fields.names.size()) {
                    for (const std::string& token : t)
                        if (token.find(',') != std::string::npos)
                            return refuse.at(n, quoted(token) + " holds a comma: values must be separated by spaces "
                                                                "or tabs and written with decimal points");
                    return refuse.at(n, std::to_string(t.size()) + " values where the data format names " +
                                            std::to_string(fields.names.size()) + " fields");
                }
                ++data.dataRows;
                const int index = referencePatchIndex(t[fields.id]);
                if (index < 0) break;  // a patch the model does not use, or Dmin, Dmax, ...
                if (seenOn[index] != 0)
                    return refuse.at(n, "patch " + t[fields.id] + " appears again (first on line " +
                                            std::to_string(seenOn[index]) + ")");
                seenOn[index] = n;
                double v[3];
                float f[3];
                for (int k = 0; k < 3; ++k) {
                    const std::string& token = t[fields.value[k]];
                    const std::string where = " (" + fields.names[fields.value[k]] + " of patch " + t[fields.id] + ")";
                    switch (parseNumber(token, &f[k], &v[k])) {
                        case NumberProblem::None: break;
                        case NumberProblem::DecimalComma:
                            return refuse.at(n, quoted(token) + where + " has a decimal comma; the reference data "
                                                                        "must be written with decimal points");
                        case NumberProblem::NotANumber: return refuse.at(n, quoted(token) + where + " is not a number");
                        case NumberProblem::NotFinite:
                            return refuse.at(n, quoted(token) + where + " is not a finite number");
                    }
                }
                if (fields.lab) {
                    const cmsCIELab lab{v[0], v[1], v[2]};
                    cmsCIEXYZ xyz;
                    cmsLab2XYZ(cmsD50_XYZ(), &xyz, &lab);
                    v[0] = 100.0 * xyz.X, v[1] = 100.0 * xyz.Y, v[2] = 100.0 * xyz.Z;
                    for (int k = 0; k < 3; ++k) f[k] = static_cast<float>(v[k]);
                }
                const char* axis[3] = {"X", "Y", "Z"};
                for (int k = 0; k < 3; ++k) {
                    const double limit = k == 1 ? kMaxY : kMaxXz;
                    if (!(v[k] >= 0.0 && v[k] <= limit)) {
                        char value[32];
                        std::snprintf(value, sizeof value, "%.4g", v[k]);
                        return refuse.at(n, "patch " + t[fields.id] + " has " + axis[k] + " = " + value +
                                                (fields.lab ? " (from its CIELAB)" : "") + ", outside 0 to " +
                                                std::to_string(static_cast<int>(limit)) +
                                                " (the scale on which white has Y = 100)");
                    }
                }
                data.xyz[index] = {f[0], f[1], f[2]};
                break;
            }
            case Stage::Done: break;
        }
    }
    const std::size_t lastLine = std::max<std::size_t>(1, lines.size());
    if (stage == Stage::Header) return refuse.at(lastLine, "the file holds no reference data");
    if (stage == Stage::Keywords || stage == Stage::Format)
        return refuse.at(lastLine, "the file ends before " +
                                       std::string(formatLine == 0 ? "BEGIN_DATA_FORMAT" : "BEGIN_DATA"));
    if (stage == Stage::Data) dataLine = lastLine;  // ends without END_DATA, as the engine allows

    std::vector<std::string> missing;
    for (int i = 0; i < kReferencePatchCount; ++i)
        if (seenOn[i] == 0) missing.push_back(referencePatchName(i));
    data.missing = missing;
    if (!missing.empty()) {
        data.fromLab = fields.lab;
        *out = data;
        std::string list;
        for (std::size_t i = 0; i < std::min<std::size_t>(missing.size(), 5); ++i)
            list += (i ? ", " : "") + missing[i];
        if (missing.size() > 5) list += ", ...";
        return refuse.at(dataLine, std::to_string(missing.size()) + " of the 130 patches the model uses have no "
                                                                    "values: " + list);
    }
    float lightest = 0;
    for (const auto& xyz : data.xyz) lightest = std::max(lightest, xyz[1]);
    if (lightest < kLowestWhiteY)
        return refuse.at(seenOn[kChromaticPatches], "the lightest patch has Y = " + std::to_string(lightest) +
                                                        ": the values are on a 0 to 1 scale, and white must have "
                                                        "Y = 100");
    data.fromLab = fields.lab;
    *out = data;
    return true;
}

bool readReferenceFile(const std::string& path, ReferenceData* out, std::string* error) {
    std::ifstream in(utf8Path(path), std::ios::binary);
    if (!in) {
        *error = "cannot open the reference data file " + path;
        return false;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return parseReferenceText(text, "the reference data file " + path, out, error);
}

std::string normalisedReferenceText(const ReferenceData& data) {
    std::string text = "IT8.7/2\n"
                       "ORIGINATOR\t\"aucal, normalised reference data\"\n"
                       "NUMBER_OF_FIELDS\t4\n"
                       "BEGIN_DATA_FORMAT\n"
                       "SAMPLE_ID\tXYZ_X\tXYZ_Y\tXYZ_Z\n"
                       "END_DATA_FORMAT\n"
                       "NUMBER_OF_SETS\t130\n"
                       "BEGIN_DATA\n";
    for (int i = 0; i < kReferencePatchCount; ++i) {
        text += referencePatchName(i);
        for (float v : data.xyz[i]) {
            // The shortest decimal that reads back as exactly this float.
            char buffer[32];
            const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
            text += '\t';
            text.append(buffer, end);
        }
        text += '\n';
    }
    text += "END_DATA\n";
    return text;
}

bool prepareReference(const std::string& path, ScratchFile* scratch, std::string* error) {
    ReferenceData data;
    return readReferenceFile(path, &data, error) && scratch->create(".txt", normalisedReferenceText(data), error);
}

const char* const kBuiltInReferenceNote =
    "no --reference given: using the engine's built-in reference table, which fits only the target batch it was "
    "measured from; pass your target's reference data file for an accurate model";

}  // namespace aucal
