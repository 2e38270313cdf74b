#include "scan_window.h"

#include <cmath>

namespace drv {

namespace {

constexpr ModelCode kModelCodes[] = {
    {1200, 1200, 4096},
    {600, 600, 256},
    {606, 1200, 256},
    {800, 800, 256},
};

// The digits as they arrive ("6000") against the code the driver uses.
struct DigitCode {
    std::int32_t digits;
    std::uint16_t code;
};
constexpr DigitCode kDigitCodes[] = {{1200, 1200}, {6000, 600}, {6060, 606}, {8000, 800}};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Truncation toward zero of a product that must fit 0..65535.
bool truncToField(double value, std::int64_t& out) {
    if (!std::isfinite(value) || value <= -65536.0 || value >= 65536.0) return false;
    out = static_cast<std::int64_t>(value);
    return true;
}

}  // namespace

std::int32_t parseModelDigits(const char (&digits)[4]) {
    char text[5] = {};
    for (int i = 0; i < 4 && digits[i] != '\0'; ++i) text[i] = digits[i];
    const char* p = text;
    while (isBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    std::int32_t value = 0;
    while (*p >= '0' && *p <= '9') value = value * 10 + (*p++ - '0');
    return negative ? -value : value;
}

const ModelCode* findModelCode(std::int32_t number) {
    for (const DigitCode& d : kDigitCodes) {
        if (d.digits != number) continue;
        for (const ModelCode& m : kModelCodes)
            if (m.code == d.code) return &m;
    }
    return nullptr;
}

std::uint16_t referenceWord(const std::uint8_t* twoBytes) {
    const std::uint8_t low = twoBytes[0];
    if (low == 0) return 0;
    return static_cast<std::uint16_t>(low | (twoBytes[1] << 8));
}

bool computeWindow(const WindowInches& inches, std::uint32_t unit, ScanWindow& out) {
    const double r = static_cast<double>(unit);
    std::int64_t xStart = 0, xExtent = 0, yExtent = 0;
    if (!truncToField(inches.start * r, xStart) || !truncToField(inches.extentX * r, xExtent) ||
        !truncToField(inches.extentY * r, yExtent))
        return false;
    const std::int64_t xEnd = xStart + xExtent;
    const std::int64_t yEnd = yExtent - 6;
    if (xStart < 0 || xEnd < 0 || xEnd > 0xFFFF || yEnd < 0 || yEnd > 0xFFFF) return false;
    out.xStart = static_cast<std::uint16_t>(xStart);
    out.yStart = 0;
    out.xEnd = static_cast<std::uint16_t>(xEnd);
    out.yEnd = static_cast<std::uint16_t>(yEnd);
    out.resolution = inches.resolution;
    return true;
}

}  // namespace drv
