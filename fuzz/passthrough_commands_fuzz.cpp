// The simulated scanner against arbitrary command blocks: any sequence of
// ADDR_CHK, BUF_ADDR and SPI_CALL with any block contents must neither
// crash nor touch memory outside the blocks and the pieces it handed out.
//
// Input layout: byte 0 dialect (% 3), byte 1 scenario bits (not-ready polls
// % 3, lines 1 + (byte / 4) % 16); then records:
//   op % 4 == 0: ADDR_CHK                                   (1 byte)
//   op % 4 == 1: BUF_ADDR size (u16 x 4) unit (u16)         (5 bytes)
//   otherwise:   SPI_CALL code (% 11), adapter flag, then 40 bytes written at
//                offset 0 of a zeroed 16400-byte block     (43 bytes)
// A 32-bit word 0xFFFFFF00 + k in a block stands for a known address:
// k = 0 the piece records, 1 the buffer, 2 the block itself, 3 the buffer + 1.
#include <cstdint>
#include <cstring>

#include "platform/memory.h"
#include "platform/raii.hpp"
#include "scanner.h"

namespace {

constexpr std::size_t kBlockBytes = 16400;
constexpr std::size_t kBufferBytes = 262144;
constexpr std::size_t kRecordBytes = 256 * 20;

struct Memory {
    pf::LockedGlobal block{PF_GMEM_DDESHARE | PF_GMEM_ZEROINIT, kBlockBytes};
    pf::LockedGlobal buffer{PF_GMEM_DDESHARE | PF_GMEM_ZEROINIT, kBufferBytes};
    pf::LockedGlobal records{PF_GMEM_DDESHARE | PF_GMEM_ZEROINIT, kRecordBytes};
};

std::uint32_t address(const void* p) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Memory memory;
    if (size < 2 || !memory.block.ok() || !memory.buffer.ok() || !memory.records.ok()) return 0;
    sim::Scenario scenario = sim::defaultScenario(static_cast<sim::Dialect>(data[0] % 3));
    scenario.logPath.clear();
    scenario.document = "/nonexistent/document.tga";  // the lid only: no target to render
    scenario.notReadyPolls = data[1] % 3;
    scenario.lines = 1 + (data[1] / 4) % 16;
    sim::Scanner scanner(scenario, "");
    std::uint8_t* block = memory.block.as<std::uint8_t>();
    const std::uint32_t known[4] = {address(memory.records.data()), address(memory.buffer.data()), address(block),
                                    address(memory.buffer.data()) + 1};
    std::uint32_t handle = 0;
    std::size_t i = 2;
    while (i < size) {
        const std::uint8_t op = data[i++];
        if (op % 4 == 0) {
            handle = scanner.addressCheck();
        } else if (op % 4 == 1) {
            if (size - i < 5) break;
            const std::uint32_t bytes = (data[i] | (data[i + 1] << 8)) * 4u;
            const std::uint32_t unit = data[i + 2] | (data[i + 3] << 8);
            const bool wrongRecords = (data[i + 4] & 1) != 0;
            i += 5;
            scanner.describeBuffer(memory.buffer.data(), bytes, wrongRecords ? nullptr : memory.records.data(), unit);
        } else {
            if (size - i < 42) break;
            const std::uint32_t code = data[i] % 11;
            const std::uint32_t adapter = (data[i + 1] & 1) != 0 ? handle : data[i + 1];
            std::memset(block, 0, kBlockBytes);
            std::memcpy(block, data + i + 2, 40);
            i += 42;
            for (std::size_t w = 0; w + 4 <= 40; w += 2) {
                std::uint32_t v = 0;
                std::memcpy(&v, block + w, 4);
                if ((v & 0xFFFFFF00u) == 0xFFFFFF00u && (v & 0xFFu) < 4) {
                    v = known[v & 0xFFu];
                    std::memcpy(block + w, &v, 4);
                }
            }
            scanner.command(block, adapter, code);
        }
    }
    return 0;
}
