// The scanner's SCSI pass-through library and the seam between the run and it.
// The run talks to a Transport: the loaded library in a driver, a recording
// fake in the command layer's tests.
#ifndef SCANNER_DRIVER_PASS_THROUGH_H
#define SCANNER_DRIVER_PASS_THROUGH_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "command_blocks.h"
#include "platform/calling.h"
#include "platform/library.h"

namespace drv {

// Procedures of the library; the callee removes the arguments.
using AddrChkProc = std::uint32_t(PF_STDCALL*)();
using SpiCallProc = std::uint32_t(PF_STDCALL*)(void* block, std::uint32_t adapter, std::uint32_t code);
using BufAddrProc = std::uint32_t(PF_STDCALL*)(void* buffer, std::uint32_t bytes, void* records,
                                                std::uint32_t unit);

class Transport {
public:
    virtual ~Transport() = default;
    // SPI_CALL with the adapter handle of the run; the library fills the
    // block's reply fields.
    virtual void call(void* block, FunctionCode code) = 0;
    // BUF_ADDR: fills piece records for a locked block; the number of pieces
    // (low 16 bits), 0 on failure.
    virtual std::uint16_t describe(void* buffer, std::uint32_t bytes, PieceRecord* records, std::uint32_t unit) = 0;
};

// The library loaded for one run; released (FreeLibrary) by release() or at
// the latest when the object goes. After release every call is refused, so
// the library is never entered once it was let go.
class PassThroughLibrary final : public Transport {
public:
    PassThroughLibrary() = default;
    ~PassThroughLibrary() override { release(); }
    PassThroughLibrary(const PassThroughLibrary&) = delete;
    PassThroughLibrary& operator=(const PassThroughLibrary&) = delete;

    // LoadLibraryA and GetProcAddress of SPI_CALL, BUF_ADDR and, with
    // withAdapterCheck, ADDR_CHK. A missing procedure counts as a library that
    // cannot be loaded: the library is released again and false returned.
    bool load(const char* path, bool withAdapterCheck);
    // ADDR_CHK: stores and returns the adapter handle (0: no usable adapter).
    std::uint32_t checkAdapter();
    void release();

    void call(void* block, FunctionCode code) override;
    std::uint16_t describe(void* buffer, std::uint32_t bytes, PieceRecord* records, std::uint32_t unit) override;

private:
    PfLibrary library_ = nullptr;
    AddrChkProc addrChk_ = nullptr;
    SpiCallProc spiCall_ = nullptr;
    BufAddrProc bufAddr_ = nullptr;
    std::uint32_t adapter_ = 0;
};

// Library paths are built from the Windows directory (asked for with this
// limit) and a model's relative path.
constexpr std::uint32_t kWindowsDirectoryLimit = 66;
// The Windows directory; false when it cannot be had within the limit.
bool windowsDirectory(std::string& out);
// The Windows directory followed by tail, refused (false) when the whole path
// and its zero would not fit in capacity bytes (0: no limit).
bool libraryPath(const char* tail, std::size_t capacity, std::string& out);

}  // namespace drv

#endif
