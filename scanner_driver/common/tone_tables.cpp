#include "tone_tables.h"

#include <cmath>
#include <cstring>

namespace drv {

std::uint8_t toneCurve(int i) {
    const double v = 255.0 * std::pow(static_cast<double>(i) / 255.0, 1.0) + 0.5;
    return static_cast<std::uint8_t>(static_cast<int>(v));
}

void fillClassicToneSlots(ClassicGammaBlock& block, std::uint16_t entries) {
    std::uint8_t table[4096] = {};
    if (entries == 4096) {
        for (int i = 0; i < 256; ++i) table[16 * i] = toneCurve(i);
        for (int i = 1; i < 256; ++i) {
            const int previous = toneCurve(i - 1);
            const float d = static_cast<float>(toneCurve(i) - previous) / 16.0f;
            for (int k = 1; k <= 15; ++k) {
                const float v = static_cast<float>(previous) + static_cast<float>(k) * d;
                table[16 * (i - 1) + k] = static_cast<std::uint8_t>(static_cast<int>(v));
            }
        }
        for (int n = 4081; n < 4096; ++n) table[n] = toneCurve(255);
    } else {
        entries = 256;
        for (int i = 0; i < 256; ++i) table[i] = toneCurve(i);
    }
    for (ToneSlot& slot : block.slots) {
        slot.entries = entries;
        std::memcpy(slot.table, table, sizeof(table));
    }
}

void fillIdentityToneTable(std::uint16_t* table) {
    for (std::uint32_t i = 0; i < kIdentityToneEntries; ++i) table[i] = static_cast<std::uint16_t>(i);
}

}  // namespace drv
