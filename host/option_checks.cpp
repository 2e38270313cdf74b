#include "option_checks.h"

#include "platform/host_system.h"
#include "utf8_path.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace aucal {

namespace {

std::string number(double v) {
    std::ostringstream text;
    text << v;
    return text.str();
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool sameFile(const std::string& a, const std::string& b) { return pfHostSameFile(a.c_str(), b.c_str()) != 0; }

std::string canonicalName(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::weakly_canonical(utf8Path(path), ec);
    return ec ? path : utf8String(p);
}

}  // namespace

CLI::Validator within(double low, double high, const std::string& unit) {
    const std::string range = number(low) + " to " + number(high) + (unit.empty() ? "" : " " + unit);
    return CLI::Validator(
        [low, high, range](std::string& value) -> std::string {
            char* end = nullptr;
            const double v = std::strtod(value.c_str(), &end);
            if (end == value.c_str() || *end != '\0' || !std::isfinite(v) || v < low || v > high)
                return value + " is outside the accepted range, " + range;
            return "";
        },
        range);
}

const std::map<std::string, int>& languageNames() {
    // Block 3 is Dutch with Italian texts in places: "it" names it.
    static const std::map<std::string, int> names{{"en", 0}, {"es", 1}, {"nl", 2}, {"it", 3},
                                                  {"fr", 4}, {"de", 5}, {"zh-tw", 6}};
    return names;
}

const std::map<std::string, int>& targetTypeNames() {
    static const std::map<std::string, int> names{{"reflective", 0}, {"transparency", 1}, {"adapter", 2}};
    return names;
}

std::string namesHelp(const std::map<std::string, int>& names) {
    std::vector<std::pair<int, std::string>> byNumber;
    for (const auto& [name, n] : names) byNumber.emplace_back(n, name);
    std::sort(byNumber.begin(), byNumber.end());
    std::string text;
    for (const auto& [n, name] : byNumber) text += (text.empty() ? "" : ", ") + name + " or " + std::to_string(n);
    return text;
}

CLI::Validator nameOrNumber(const std::map<std::string, int>& names) {
    const std::string listed = namesHelp(names);
    return CLI::Validator(
        [names, listed](std::string& value) -> std::string {
            const auto it = names.find(lower(value));
            if (it != names.end()) {
                value = std::to_string(it->second);
                return "";
            }
            for (const auto& entry : names)
                if (value == std::to_string(entry.second)) return "";
            return value + " is not one of " + listed;
        },
        listed);
}

CLI::Validator oneOf(const std::vector<std::string>& names) {
    std::string listed;
    for (const std::string& n : names) listed += (listed.empty() ? "" : ", ") + n;
    return CLI::Validator(
        [names, listed](std::string& value) -> std::string {
            if (std::find(names.begin(), names.end(), value) != names.end()) return "";
            return value + " is not one of " + listed;
        },
        listed);
}

std::string outputConflict(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs) {
    for (const std::string& out : outputs) {
        for (const std::string& in : inputs)
            if (sameFile(in, out))
                return "the output " + out + " is the input " + in +
                       " itself; refused, it would be overwritten (give another name)";
    }
    for (std::size_t i = 0; i < outputs.size(); ++i)
        for (std::size_t j = i + 1; j < outputs.size(); ++j)
            if (canonicalName(outputs[i]) == canonicalName(outputs[j]) || sameFile(outputs[i], outputs[j]))
                return "two outputs would be written to " + outputs[i] + "; refused, the second would replace the first";
    return "";
}

std::string extensionConflict(const std::string& path, std::initializer_list<const char*> extensions,
                              const std::string& what) {
    const std::string extension = lower(utf8String(utf8Path(path).extension()));
    std::string listed;
    for (const char* e : extensions) {
        if (extension == e) return "";
        listed += (listed.empty() ? "" : " or ") + std::string(e);
    }
    return path + ": " + what + " is written, so the name must end in " + listed;
}

// Phosphor chromaticities the engine can build a matrix from: "" or the sentence.
std::string phosphorRefusal(const std::vector<float>& p) {
    if (p.empty()) return "";
    if (p.size() != 6) return "--phosphors takes six numbers: x and y of red, green and blue";
    const char* names[3] = {"red", "green", "blue"};
    for (int c = 0; c < 3; ++c) {
        const double x = p[2 * c], y = p[2 * c + 1];
        if (!(x > 0 && x < 1 && y > 0 && y < 1 && x + y < 1))
            return std::string("--phosphors: the ") + names[c] +
                   " x and y must each lie strictly between 0 and 1, with x + y < 1";
    }
    const double area = (p[2] - p[0]) * (p[5] - p[1]) - (p[4] - p[0]) * (p[3] - p[1]);
    if (std::fabs(area) < 1e-4)
        return "--phosphors: red, green and blue lie on one line (a triangle of no area gives no colours)";
    return "";
}

std::string refusedTogether(const CLI::App& command, const std::string& a, const std::string& b,
                            const std::string& why) {
    if (command.count(a) == 0 || command.count(b) == 0) return "";
    return a + " and " + b + " do not go together: " + why;
}

std::string privateFolderRefusal(const std::string& path, const std::string& what) {
    const int folder = pfHostPrivateFolder(path.c_str());
    if (folder < 0) return "";
    if (folder == 0)
        return what + " " + path + " is not a folder of yours that only you may write; give --windir";
    return "";
}

}  // namespace aucal
