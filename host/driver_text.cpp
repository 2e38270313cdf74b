#include "driver_text.h"

#include <vector>

#include "platform/host_system.h"

namespace aucal {

namespace {

constexpr int kChineseBlock = 6;

}  // namespace

unsigned driverCodePage(int language) { return language == kChineseBlock ? 950 : 1252; }

std::string driverTextToUtf8(const std::string& text, int language) {
    const unsigned page = driverCodePage(language);
    const std::size_t n = pfHostToUtf8(page, text.data(), text.size(), nullptr, 0);
    std::vector<char> out(n + 1);
    pfHostToUtf8(page, text.data(), text.size(), out.data(), out.size());
    return std::string(out.data(), n);
}

}  // namespace aucal
