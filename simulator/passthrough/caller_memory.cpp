#include "caller_memory.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace sim {

bool copyFromCaller(std::uint32_t address, void* out, std::size_t bytes) {
    if (address == 0) return false;
    void* source = reinterpret_cast<void*>(static_cast<std::uintptr_t>(address));
    if (std::uint64_t{address} + bytes > 0x100000000ull) return false;
#if defined(_WIN32)
    SIZE_T got = 0;
    return ReadProcessMemory(GetCurrentProcess(), source, out, bytes, &got) != 0 && got == bytes;
#else
    iovec local{out, bytes};
    iovec remote{source, bytes};
    const ssize_t got = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    if (got == static_cast<ssize_t>(bytes)) return true;
    if (got < 0 && (errno == ENOSYS || errno == EPERM)) {
        // A sandbox that forbids the call: the plain copy is all that is left.
        std::memcpy(out, source, bytes);
        return true;
    }
    return false;
#endif
}

}  // namespace sim
