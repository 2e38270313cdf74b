#include "scanner_identity.h"

namespace drv {

namespace {

constexpr ModelNumber kModelNumbers[] = {
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

const ModelNumber* findModelNumber(std::int32_t number) {
    for (const DigitCode& d : kDigitCodes) {
        if (d.digits != number) continue;
        for (const ModelNumber& m : kModelNumbers)
            if (m.code == d.code) return &m;
    }
    return nullptr;
}

std::uint16_t referenceWord(const std::uint8_t* twoBytes) {
    const std::uint8_t low = twoBytes[0];
    if (low == 0) return 0;
    return static_cast<std::uint16_t>(low | (twoBytes[1] << 8));
}

}  // namespace drv
