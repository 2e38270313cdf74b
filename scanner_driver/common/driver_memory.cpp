#include "driver_memory.h"

#include <algorithm>

namespace drv {

namespace {

constexpr std::uint64_t k64K = 65536;
constexpr std::uint64_t k60K = 61440;
constexpr std::uint64_t k128K = 131072;
constexpr std::uint64_t k4M = 4194304;
// Block sizes go to BUF_ADDR as 32-bit counts.
constexpr std::uint64_t kLargestBlock = 0xFFFF0000u;

std::uint64_t raisedToStep(std::uint64_t bytes, std::uint64_t step) { return (bytes + step) / step * step; }

}  // namespace

bool toAddress32(const void* address, std::uint32_t& out) {
    const auto value = reinterpret_cast<std::uintptr_t>(address);
    // Only a 64-bit address can be too wide (on 32-bit Windows every one fits).
    if constexpr (sizeof(value) > 4) {
        if (value > 0xFFFFFFFFu) return false;
    }
    out = static_cast<std::uint32_t>(value);
    return true;
}

void* fromAddress32(std::uint32_t address) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)); }

bool acquireShared(pf::LockedGlobal& block, std::uint64_t bytes, unsigned flags) {
    if (bytes == 0 || bytes > kLargestBlock) return false;
    if (!block.acquire(flags, static_cast<std::size_t>(bytes))) return false;
    std::uint32_t address = 0;
    if (!toAddress32(block.data(), address)) {
        block.release();
        return false;
    }
    return true;
}

std::uint64_t grainSize(Grain grain, BlockUse use, std::uint64_t request) {
    switch (grain) {
    case Grain::Steps64K:
        return request <= k64K ? k64K : raisedToStep(request, k64K);
    case Grain::Steps60K:
        return raisedToStep(request, k60K);
    case Grain::A3Standard:
        return use == BlockUse::ShadingLines ? std::min(k4M, std::max(request, k64K)) : std::min(k4M, request);
    case Grain::A3Other: {
        const std::uint64_t size = std::min(k4M, std::max(request, k128K));
        return size > k128K ? (size / k128K + 1) * k128K : size;
    }
    }
    return 0;
}

bool acquireSized(pf::LockedGlobal& block, Grain grain, std::uint64_t& size, std::uint32_t unit,
                  std::uint64_t minimum) {
    std::uint64_t step = k64K;
    switch (grain) {
    case Grain::Steps64K: step = k64K; break;
    case Grain::Steps60K: step = k60K; break;
    case Grain::A3Standard: step = unit; break;
    case Grain::A3Other: step = k128K; break;
    }
    if (step == 0 || size < minimum) return false;
    for (;;) {
        if (acquireShared(block, size)) return true;
        // One step less would fall below the step, or below what the block must hold.
        if (size < 2 * step || size - step < minimum) return false;
        size -= step;
    }
}

}  // namespace drv
