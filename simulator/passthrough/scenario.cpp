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

// Applies one key; false when the key is unknown or its value is bad.
bool applyKey(Scenario& s, const Line& line, const std::string& baseFolder) {
    const std::string& v = line.value;
    const std::vector<std::string> w = words(v);
    const std::string& k = line.key;
    if (k == "dialect") return parseDialect(v, &s.dialect);
    if (k == "model_digits") {
        if (v.size() > 4) return false;
        s.modelDigits = v;
        return true;
    }
    if (k == "base_resolution") return parseAutoOr(v, &s.baseResolution);
    if (k == "adapter") {
        std::uint8_t flag = 0;
        if (!parseInto(v, &flag) || flag > 1) return false;
        s.adapter = flag == 1;
        return true;
    }
    if (k == "adapter_handle") return parseInto(v, &s.adapterHandle);
    if (k == "shading_reference") {
        if (w.size() != 3) return false;
        std::array<std::uint16_t, 3> words3{};
        for (int i = 0; i < 3; ++i) {
            if (!parseInto(w[i], &words3[i])) return false;
        }
        s.shadingReference = words3;
        return true;
    }
    if (k == "gain_trims") {
        if (w.size() != s.gainTrims.size()) return false;
        std::array<std::uint8_t, 20> trims{};
        for (std::size_t i = 0; i < trims.size(); ++i) {
            if (!parseInto(w[i], &trims[i])) return false;
        }
        s.gainTrims = trims;
        return true;
    }
    if (k == "calibrate") return parseInto(v, &s.calibrate);
    if (k == "stored_shading") return parseInto(v, &s.storedShading);
    if (k == "gamma_request") return parseInto(v, &s.gammaRequest);
    if (k == "shading_flag") return parseInto(v, &s.shadingFlag);
    if (k == "shading_line_bytes") return parseAutoOr(v, &s.shadingLineBytes);
    if (k == "shading_lines") return parseAutoOr(v, &s.shadingLines);
    if (k == "white_level") return parseAutoOrDouble(v, 1.0, 65535.0, &s.whiteLevel);
    if (k == "gain_variation") return parseDouble(v, 0.0, 0.5, &s.gainVariation);
    if (k == "shading_noise") return parseDouble(v, 0.0, 1000.0, &s.shadingNoise);
    if (k == "seed") return parseInto(v, &s.seed);
    if (k == "lines") return parseAutoOr(v, &s.lines);
    if (k == "bytes_per_line") return parseAutoOr(v, &s.bytesPerLine);
    if (k == "line_pad") return parseRange(v, 0, 0xFFFF, &s.linePad);
    if (k == "document") {
        if (v.empty()) return false;
        s.document = lower(v) == "it8" ? std::string("it8") : resolvePath(v, baseFolder);
        return true;
    }
    if (k == "document_dpi") return parseDouble(v, 1.0, 9600.0, &s.documentDpi);
    if (k == "it8_response") {
        if (v.empty()) return false;
        s.it8Response = lower(v);
        return true;
    }
    if (k == "it8_tilt") return parseDouble(v, -10.0, 10.0, &s.it8Tilt);
    if (k == "document_left") return parseAutoOrDouble(v, -100.0, 100.0, &s.documentLeft);
    if (k == "document_top") return parseAutoOrDouble(v, -100.0, 100.0, &s.documentTop);
    if (k == "background") {
        if (w.size() != 3) return false;
        std::array<std::uint8_t, 3> rgb{};
        for (int i = 0; i < 3; ++i) {
            if (!parseInto(w[i], &rgb[i])) return false;
        }
        s.background = rgb;
        return true;
    }
    if (k == "piece_bytes") return parseRange(v, 1, 0xFFFFFFFFu, &s.pieceBytes);
    if (k == "piece_limit") return parseRange(v, 1, 0xFFFFFFFFu, &s.pieceLimit);
    if (k == "piece_slack") return parseRange(v, 0, 0xFFFF, &s.pieceSlack);
    auto polls = [&](std::uint32_t* out) {
        if (lower(v) == "never") {
            *out = kNever;
            return true;
        }
        return parseRange(v, 0, kNever - 1, out);
    };
    if (k == "not_ready_polls") return polls(&s.notReadyPolls);
    if (k == "not_ready_polls_after_abort") return polls(&s.notReadyPollsAfterAbort);
    if (k == "not_ready_polls_at_end") return polls(&s.notReadyPollsAtEnd);
    if (k == "error") {
        InjectedError e;
        if (w.size() != 3 || !parseInto(w[0], &e.code) || !parseSelector(w[1], &e.calls) ||
            !parseInto(w[2], &e.status)) {
            return false;
        }
        s.errors.push_back(e);
        return true;
    }
    if (k == "reply") {
        ReplyOverride r;
        if ((w.size() != 4 && w.size() != 5) || !parseInto(w[0], &r.code) || !parseRange(w[1], 0, 16399, &r.offset) ||
            !parseRange(w[2], 1, 4, &r.size) || r.size == 3 || r.offset + r.size > 16400 ||
            !parseInto(w[3], &r.value) || (w.size() == 5 && !parseSelector(w[4], &r.calls))) {
            return false;
        }
        if (r.size < 4 && r.value >= (1u << (8 * r.size))) return false;
        s.replies.push_back(r);
        return true;
    }
    if (k == "buf_addr_fail") return parseSelector(v, &s.bufAddrFail);
    if (k == "log") {
        if (v.empty()) return false;
        s.logPath = lower(v) == "none" ? std::string() : resolvePath(v, baseFolder);
        return true;
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
