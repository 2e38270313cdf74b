// Global memory blocks on POSIX. A handle is the address of a bookkeeping
// record; the set of live records lets every entry reject unknown handles.
// Shareable blocks are mapped below 4 GiB (MAP_32BIT) so that their addresses
// fit the 32-bit address fields of the pass-through command blocks.
#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include "desktop_state.h"
#include "platform/desktop_posix.h"
#include "platform/memory.h"

namespace {

struct Block {
    std::size_t size;
    unsigned flags;
    void* memory;
    std::size_t mappedBytes;  // nonzero when mmap'ed
    int lockCount;
};

std::unordered_set<Block*>& liveBlocks() {
    static std::unordered_set<Block*> blocks;
    return blocks;
}

Block* find(PfGlobal handle) {
    auto* block = reinterpret_cast<Block*>(handle);
    return liveBlocks().count(block) != 0 ? block : nullptr;
}

void* mapLow(std::size_t bytes, std::size_t* mapped) {
    std::size_t length = bytes == 0 ? 1 : bytes;
#if defined(__x86_64__) && defined(MAP_32BIT)
    void* p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
#else
    void* p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
#endif
    if (p == MAP_FAILED) return nullptr;
    if ((reinterpret_cast<std::uintptr_t>(p) + length - 1) > 0xFFFFFFFFu) {
        munmap(p, length);
        return nullptr;
    }
    *mapped = length;
    return p;
}

}  // namespace

extern "C" {

PF_EXPORT PfGlobal pfGlobalAlloc(unsigned flags, std::size_t bytes) {
    std::lock_guard<std::mutex> lock(pf_posix::desktopMutex());
    if (pf_posix::allocationShouldFail()) return nullptr;
    auto* block = new (std::nothrow) Block{bytes, flags, nullptr, 0, 0};
    if (block == nullptr) return nullptr;
    if ((flags & PF_GMEM_DDESHARE) != 0) {
        block->memory = mapLow(bytes, &block->mappedBytes);  // mmap memory is zero
    } else {
        block->memory = std::malloc(bytes == 0 ? 1 : bytes);
        // Fresh memory on Windows is not guaranteed zero; fill non-zeroed blocks
        // with a pattern so that code relying on zero without asking shows up.
        if (block->memory != nullptr) {
            if ((flags & PF_GMEM_ZEROINIT) != 0)
                std::memset(block->memory, 0, bytes);
            else
                std::memset(block->memory, 0xCD, bytes);
        }
    }
    if (block->memory == nullptr) {
        delete block;
        return nullptr;
    }
    liveBlocks().insert(block);
    return reinterpret_cast<PfGlobal>(block);
}

PF_EXPORT void* pfGlobalLock(PfGlobal handle) {
    std::lock_guard<std::mutex> lock(pf_posix::desktopMutex());
    Block* block = find(handle);
    if (block == nullptr) return nullptr;
    ++block->lockCount;
    return block->memory;
}

PF_EXPORT int pfGlobalUnlock(PfGlobal handle) {
    std::lock_guard<std::mutex> lock(pf_posix::desktopMutex());
    Block* block = find(handle);
    if (block == nullptr || block->lockCount == 0) return 0;
    --block->lockCount;
    return block->lockCount != 0;
}

PF_EXPORT std::size_t pfGlobalSize(PfGlobal handle) {
    std::lock_guard<std::mutex> lock(pf_posix::desktopMutex());
    Block* block = find(handle);
    return block == nullptr ? 0 : block->size;
}

PF_EXPORT PfGlobal pfGlobalFree(PfGlobal handle) {
    std::lock_guard<std::mutex> lock(pf_posix::desktopMutex());
    Block* block = find(handle);
    if (block == nullptr) return handle;
    liveBlocks().erase(block);
    if (block->mappedBytes != 0)
        munmap(block->memory, block->mappedBytes);
    else
        std::free(block->memory);
    delete block;
    return nullptr;
}

PF_EXPORT std::size_t pfdLiveGlobalBlocks(void) {
    std::lock_guard<std::mutex> lock(pf_posix::desktopMutex());
    return liveBlocks().size();
}
}
