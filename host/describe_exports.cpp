// aucal info on the text files aucal writes for people and other tools: the
// patch exports (CGATS .ti3 and JSON) and the HTML pages (report, match page).
#include <cstdio>

#include "describe_file.h"

namespace aucal {

namespace {

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

// The text between `open` and `close` after the first `open`; "" when absent.
std::string between(const std::string& text, const std::string& open, const std::string& close) {
    const std::size_t start = text.find(open);
    if (start == std::string::npos) return {};
    const std::size_t end = text.find(close, start + open.size());
    return end == std::string::npos ? std::string() : text.substr(start + open.size(), end - start - open.size());
}

}  // namespace

bool describeAucalText(const std::string& path, const std::string& text) {
    const std::string title = between(text, "<title>", "</title>");
    if (title.rfind("aucal", 0) == 0) {
        std::printf("%s: HTML page \"%s\" written by aucal; open it in a browser\n", path.c_str(), title.c_str());
        return true;
    }
    if (text.rfind("CTI3", 0) == 0 && text.find("ORIGINATOR \"aucal\"") != std::string::npos) {
        std::printf("%s: patch export (CGATS, .ti3 layout), \"%s\", %s patches\n", path.c_str(),
                    between(text, "DESCRIPTOR \"", "\"").c_str(), between(text, "NUMBER_OF_SETS ", "\n").c_str());
        std::printf("  fields: %s\n", between(text, "BEGIN_DATA_FORMAT\n", "\n").c_str());
        return true;
    }
    if (text.rfind("{", 0) == 0 && text.find("\"patches\":") != std::string::npos &&
        text.find("\"units\":") != std::string::npos) {
        std::printf("%s: patch export (JSON), \"%s\", %zu patches\n", path.c_str(),
                    between(text, "\"description\": \"", "\"").c_str(), count(text, "\"name\":"));
        return true;
    }
    return false;
}

}  // namespace aucal
