#include "pass_through.h"

#include <cstring>

#include "platform/profile.h"

namespace drv {

namespace {

template <class Proc>
Proc procedure(PfLibrary library, const char* name) {
    return reinterpret_cast<Proc>(pfGetProcAddress(library, name));
}

}  // namespace

bool PassThroughLibrary::load(const char* path, bool withAdapterCheck) {
    release();
    library_ = pfLoadLibrary(path);
    // Values below 32 are error codes of the old loader, not handles.
    if (reinterpret_cast<std::uintptr_t>(library_) < 32) {
        library_ = nullptr;
        return false;
    }
    if (withAdapterCheck) addrChk_ = procedure<AddrChkProc>(library_, "ADDR_CHK");
    spiCall_ = procedure<SpiCallProc>(library_, "SPI_CALL");
    bufAddr_ = procedure<BufAddrProc>(library_, "BUF_ADDR");
    if (spiCall_ == nullptr || bufAddr_ == nullptr || (withAdapterCheck && addrChk_ == nullptr)) {
        release();
        return false;
    }
    return true;
}

std::uint32_t PassThroughLibrary::checkAdapter() {
    adapter_ = (library_ != nullptr && addrChk_ != nullptr) ? addrChk_() : 0;
    return adapter_;
}

void PassThroughLibrary::release() {
    if (library_ != nullptr) pfFreeLibrary(library_);
    library_ = nullptr;
    addrChk_ = nullptr;
    spiCall_ = nullptr;
    bufAddr_ = nullptr;
    adapter_ = 0;
}

void PassThroughLibrary::call(void* block, FunctionCode code) {
    if (library_ == nullptr) return;
    spiCall_(block, adapter_, static_cast<std::uint32_t>(code));
}

std::uint16_t PassThroughLibrary::describe(void* buffer, std::uint32_t bytes, PieceRecord* records,
                                           std::uint32_t unit) {
    if (library_ == nullptr) return 0;
    return static_cast<std::uint16_t>(bufAddr_(buffer, bytes, records, unit));
}

bool windowsDirectory(std::string& out) {
    char buffer[kWindowsDirectoryLimit] = {};
    const std::uint32_t length = pfGetWindowsDirectory(buffer, kWindowsDirectoryLimit);
    if (length == 0 || length >= kWindowsDirectoryLimit) return false;
    out.assign(buffer, length);
    return true;
}

bool libraryPath(const char* tail, std::size_t capacity, std::string& out) {
    std::string directory;
    if (!windowsDirectory(directory)) return false;
    out = directory + tail;
    return capacity == 0 || out.size() + 1 <= capacity;
}

}  // namespace drv
