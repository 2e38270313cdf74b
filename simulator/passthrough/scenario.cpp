#include "scenario.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace sim {

namespace {

std::string trim(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string word;
    while (in >> word) out.push_back(word);
    return out;
}

// Decimal or 0x hexadecimal, the whole word, within [0, limit].
bool parseUnsigned(const std::string& word, std::uint64_t limit, std::uint64_t* value) {
    if (word.empty() || word[0] == '-' || word[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(word.c_str(), &end, 0);
    if (errno != 0 || end == word.c_str() || *end != '\0' || v > limit) return false;
    *value = v;
    return true;
}

template <typename T>
bool parseInto(const std::string& word, T* out) {
    std::uint64_t v = 0;
    if (!parseUnsigned(word, static_cast<std::uint64_t>(static_cast<T>(~T{0})), &v)) return false;
    *out = static_cast<T>(v);
    return true;
}

bool parseDouble(const std::string& word, double low, double high, double* out) {
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(word.c_str(), &end);
    if (errno != 0 || end == word.c_str() || *end != '\0' || !(v >= low && v <= high)) return false;
    *out = v;
    return true;
}

// An unsigned value within [low, high]; *out changes only when it is valid.
bool parseRange(const std::string& word, std::uint32_t low, std::uint32_t high, std::uint32_t* out) {
    std::uint64_t v = 0;
    if (!parseUnsigned(word, high, &v) || v < low) return false;
    *out = static_cast<std::uint32_t>(v);
    return true;
}

// "auto" leaves the optional empty.
template <typename T>
bool parseAutoOr(const std::string& word, std::optional<T>* out) {
    if (lower(word) == "auto") {
        out->reset();
        return true;
    }
    T v{};
    if (!parseInto(word, &v)) return false;
    *out = v;
    return true;
}

bool parseAutoOrDouble(const std::string& word, double low, double high, std::optional<double>* out) {
    if (lower(word) == "auto") {
        out->reset();
        return true;
    }
    double v = 0;
    if (!parseDouble(word, low, high, &v)) return false;
    *out = v;
    return true;
}

bool parseSelector(const std::string& word, CallSelector* out) {
    std::string number = word;
    bool later = false;
    if (!number.empty() && number.back() == '+') {
        later = true;
        number.pop_back();
    }
    std::uint32_t nth = 0;
    if (!parseInto(number, &nth) || nth == 0) return false;
    *out = CallSelector{nth, later};
    return true;
}

bool parseDialect(const std::string& word, Dialect* out) {
    const std::string w = lower(word);
    if (w == "scan") {
        *out = Dialect::Scan;
    } else if (w == "vexa") {
        *out = Dialect::Vexa;
    } else if (w == "prescan") {
        *out = Dialect::Prescan;
    } else {
        return false;
    }
    return true;
}

std::string resolvePath(const std::string& path, const std::string& baseFolder) {
    if (path.empty() || baseFolder.empty()) return path;
    const bool absolute = path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':');
    if (absolute) return path;
    return baseFolder + "/" + path;
}

struct Line {
    std::string key;
    std::string value;
    std::size_t number;
};

std::vector<Line> splitLines(const std::string& text, std::vector<std::string>* problems) {
    std::vector<Line> out;
    std::istringstream in(text);
    std::string raw;
    std::size_t number = 0;
    while (std::getline(in, raw)) {
        ++number;
        const std::size_t hash = raw.find('#');
        const std::string line = trim(hash == std::string::npos ? raw : raw.substr(0, hash));
        if (line.empty()) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            problems->push_back("line " + std::to_string(number) + ": no '='");
            continue;
        }
        out.push_back({lower(trim(line.substr(0, eq))), trim(line.substr(eq + 1)), number});
    }
    return out;
}

// Exactly N words, each a whole number of the element type.
template <typename T, std::size_t N>
bool parseWords(const std::vector<std::string>& w, std::array<T, N>* out) {
    if (w.size() != N) return false;
    std::array<T, N> values{};
    for (std::size_t i = 0; i < N; ++i) {
        if (!parseInto(w[i], &values[i])) return false;
    }
    *out = values;
    return true;
}

// A count of polls, or "never".
bool parsePolls(const std::string& v, std::uint32_t* out) {
    if (lower(v) == "never") {
        *out = kNever;
        return true;
    }
    return parseRange(v, 0, kNever - 1, out);
}

bool parseError(const std::vector<std::string>& w, std::vector<InjectedError>* out) {
    InjectedError e;
    if (w.size() != 3 || !parseInto(w[0], &e.code) || !parseSelector(w[1], &e.calls) || !parseInto(w[2], &e.status))
        return false;
    out->push_back(e);
    return true;
}

bool parseReply(const std::vector<std::string>& w, std::vector<ReplyOverride>* out) {
    ReplyOverride r;
    if ((w.size() != 4 && w.size() != 5) || !parseInto(w[0], &r.code) || !parseRange(w[1], 0, 16399, &r.offset) ||
        !parseRange(w[2], 1, 4, &r.size) || r.size == 3 || r.offset + r.size > 16400 || !parseInto(w[3], &r.value) ||
        (w.size() == 5 && !parseSelector(w[4], &r.calls))) {
        return false;
    }
    if (r.size < 4 && r.value >= (1u << (8 * r.size))) return false;
    out->push_back(r);
    return true;
}

// A non-empty text, lower-cased.
bool parseName(const std::string& v, std::string* out) {
    if (v.empty()) return false;
    *out = lower(v);
    return true;
}

struct KeyValue;
bool parsePath(const KeyValue& k, std::string* out);

// What a key's parser gets: the value, its words, the scenario's folder.
struct KeyValue {
    const std::string& value;
    const std::vector<std::string>& words;
    const std::string& baseFolder;
};
using KeyParser = bool (*)(Scenario&, const KeyValue&);

// A non-empty path, relative to the scenario's folder.
bool parsePath(const KeyValue& k, std::string* out) {
    if (k.value.empty()) return false;
    *out = resolvePath(k.value, k.baseFolder);
    return true;
}

struct KeyEntry {
    const char* key;
    KeyParser parse;
};

// Every key of a scenario and its parser; a parser is false for a bad value.
const KeyEntry kKeys[] = {
    {"dialect", [](Scenario& s, const KeyValue& k) { return parseDialect(k.value, &s.dialect); }},
    {"model_digits",
     [](Scenario& s, const KeyValue& k) {
         if (k.value.size() > 4) return false;
         s.modelDigits = k.value;
         return true;
     }},
    {"base_resolution", [](Scenario& s, const KeyValue& k) { return parseAutoOr(k.value, &s.baseResolution); }},
    {"adapter",
     [](Scenario& s, const KeyValue& k) {
         std::uint8_t flag = 0;
         if (!parseInto(k.value, &flag) || flag > 1) return false;
         s.adapter = flag == 1;
         return true;
     }},
    {"adapter_handle", [](Scenario& s, const KeyValue& k) { return parseInto(k.value, &s.adapterHandle); }},
    {"shading_reference", [](Scenario& s, const KeyValue& k) { return parseWords(k.words, &s.shadingReference); }},
    {"gain_trims", [](Scenario& s, const KeyValue& k) { return parseWords(k.words, &s.gainTrims); }},
    {"calibrate", [](Scenario& s, const KeyValue& k) { return parseInto(k.value, &s.calibrate); }},
    {"stored_shading", [](Scenario& s, const KeyValue& k) { return parseInto(k.value, &s.storedShading); }},
    {"gamma_request", [](Scenario& s, const KeyValue& k) { return parseInto(k.value, &s.gammaRequest); }},
    {"shading_flag", [](Scenario& s, const KeyValue& k) { return parseInto(k.value, &s.shadingFlag); }},
    {"shading_line_bytes", [](Scenario& s, const KeyValue& k) { return parseAutoOr(k.value, &s.shadingLineBytes); }},
    {"shading_lines", [](Scenario& s, const KeyValue& k) { return parseAutoOr(k.value, &s.shadingLines); }},
    {"white_level",
     [](Scenario& s, const KeyValue& k) { return parseAutoOrDouble(k.value, 1.0, 65535.0, &s.whiteLevel); }},
    {"gain_variation", [](Scenario& s, const KeyValue& k) { return parseDouble(k.value, 0.0, 0.5, &s.gainVariation); }},
    {"shading_noise", [](Scenario& s, const KeyValue& k) { return parseDouble(k.value, 0.0, 1000.0, &s.shadingNoise); }},
    {"seed", [](Scenario& s, const KeyValue& k) { return parseInto(k.value, &s.seed); }},
    {"lines", [](Scenario& s, const KeyValue& k) { return parseAutoOr(k.value, &s.lines); }},
    {"bytes_per_line", [](Scenario& s, const KeyValue& k) { return parseAutoOr(k.value, &s.bytesPerLine); }},
    {"line_pad", [](Scenario& s, const KeyValue& k) { return parseRange(k.value, 0, 0xFFFF, &s.linePad); }},
    {"document",
     [](Scenario& s, const KeyValue& k) {
         if (k.value.empty()) return false;
         s.document = lower(k.value) == "it8" ? std::string("it8") : resolvePath(k.value, k.baseFolder);
         return true;
     }},
    {"document_dpi", [](Scenario& s, const KeyValue& k) { return parseDouble(k.value, 1.0, 9600.0, &s.documentDpi); }},
    {"it8_response", [](Scenario& s, const KeyValue& k) { return parseName(k.value, &s.it8Response); }},
    {"it8_tilt", [](Scenario& s, const KeyValue& k) { return parseDouble(k.value, -10.0, 10.0, &s.it8Tilt); }},
    {"document_left",
     [](Scenario& s, const KeyValue& k) { return parseAutoOrDouble(k.value, -100.0, 100.0, &s.documentLeft); }},
    {"document_top",
     [](Scenario& s, const KeyValue& k) { return parseAutoOrDouble(k.value, -100.0, 100.0, &s.documentTop); }},
    {"background", [](Scenario& s, const KeyValue& k) { return parseWords(k.words, &s.background); }},
    {"piece_bytes", [](Scenario& s, const KeyValue& k) { return parseRange(k.value, 1, 0xFFFFFFFFu, &s.pieceBytes); }},
    {"piece_limit", [](Scenario& s, const KeyValue& k) { return parseRange(k.value, 1, 0xFFFFFFFFu, &s.pieceLimit); }},
    {"piece_slack", [](Scenario& s, const KeyValue& k) { return parseRange(k.value, 0, 0xFFFF, &s.pieceSlack); }},
    {"not_ready_polls", [](Scenario& s, const KeyValue& k) { return parsePolls(k.value, &s.notReadyPolls); }},
    {"not_ready_polls_after_abort",
     [](Scenario& s, const KeyValue& k) { return parsePolls(k.value, &s.notReadyPollsAfterAbort); }},
    {"not_ready_polls_at_end", [](Scenario& s, const KeyValue& k) { return parsePolls(k.value, &s.notReadyPollsAtEnd); }},
    {"error", [](Scenario& s, const KeyValue& k) { return parseError(k.words, &s.errors); }},
    {"reply", [](Scenario& s, const KeyValue& k) { return parseReply(k.words, &s.replies); }},
    {"buf_addr_fail", [](Scenario& s, const KeyValue& k) { return parseSelector(k.value, &s.bufAddrFail); }},
    {"log",
     [](Scenario& s, const KeyValue& k) {
         if (k.value.empty()) return false;
         s.logPath = lower(k.value) == "none" ? std::string() : resolvePath(k.value, k.baseFolder);
         return true;
     }},
    {"replay", [](Scenario& s, const KeyValue& k) { return parsePath(k, &s.replayPath); }},
    {"replay_report", [](Scenario& s, const KeyValue& k) { return parsePath(k, &s.replayReportPath); }},
};

// Applies one key; false when the key is unknown or its value is bad.
bool applyKey(Scenario& s, const Line& line, const std::string& baseFolder) {
    const std::vector<std::string> w = words(line.value);
    for (const KeyEntry& entry : kKeys) {
        if (line.key == entry.key) return entry.parse(s, KeyValue{line.value, w, baseFolder});
    }
    return false;
}

}  // namespace

const char* dialectName(Dialect dialect) {
    switch (dialect) {
        case Dialect::Vexa: return "vexa";
        case Dialect::Prescan: return "prescan";
        case Dialect::Scan: break;
    }
    return "scan";
}

Scenario defaultScenario(Dialect dialect) {
    Scenario s;
    s.dialect = dialect;
    s.modelDigits = dialect == Dialect::Vexa ? "1200" : "6000";
    return s;
}

Dialect dialectForFolder(const std::string& folder) {
    std::string name = folder;
    while (!name.empty() && (name.back() == '/' || name.back() == '\\')) name.pop_back();
    const std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name = name.substr(slash + 1);
    name = lower(name);
    if (name == "kvsc_z48") return Dialect::Vexa;
    if (name == "kvsc_a3") return Dialect::Prescan;
    return Dialect::Scan;
}

Scenario parseScenario(const std::string& text, Dialect defaultDialect, const std::string& baseFolder) {
    std::vector<std::string> problems;
    const std::vector<Line> lines = splitLines(text, &problems);
    // The dialect decides the defaults, so it is taken first.
    Dialect dialect = defaultDialect;
    for (const Line& line : lines) {
        if (line.key == "dialect" && !parseDialect(line.value, &dialect)) dialect = defaultDialect;
    }
    Scenario s = defaultScenario(dialect);
    s.logPath = resolvePath("passthrough.log", baseFolder);
    for (const Line& line : lines) {
        if (!applyKey(s, line, baseFolder)) {
            problems.push_back("line " + std::to_string(line.number) + ": " + line.key + " = " + line.value);
        }
    }
    s.dialect = dialect;
    s.problems = std::move(problems);
    return s;
}

}  // namespace sim
