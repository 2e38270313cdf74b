// Scoped ownership of platform resources: a locked global memory block and an
// open file handle. Each releases exactly what it acquired, once.
#ifndef PLATFORM_RAII_HPP
#define PLATFORM_RAII_HPP

#include <cstddef>
#include <utility>

#include "platform/files.h"
#include "platform/memory.h"

namespace pf {

// A global memory block, allocated and locked on construction; unlocked and
// freed on destruction. ok() is false when the allocation or the lock failed
// or the block came out smaller than asked.
class LockedGlobal {
public:
    LockedGlobal() = default;
    LockedGlobal(unsigned flags, std::size_t bytes) { acquire(flags, bytes); }
    ~LockedGlobal() { release(); }
    LockedGlobal(const LockedGlobal&) = delete;
    LockedGlobal& operator=(const LockedGlobal&) = delete;
    LockedGlobal(LockedGlobal&& other) noexcept { swap(other); }
    LockedGlobal& operator=(LockedGlobal&& other) noexcept {
        if (this != &other) {
            release();
            swap(other);
        }
        return *this;
    }

    bool acquire(unsigned flags, std::size_t bytes) {
        release();
        handle_ = pfGlobalAlloc(flags, bytes);
        if (handle_ == nullptr) return false;
        address_ = pfGlobalLock(handle_);
        if (address_ == nullptr || pfGlobalSize(handle_) < bytes) {
            release();
            return false;
        }
        size_ = bytes;
        return true;
    }
    void release() {
        if (handle_ != nullptr) {
            if (address_ != nullptr) pfGlobalUnlock(handle_);
            pfGlobalFree(handle_);
        }
        handle_ = nullptr;
        address_ = nullptr;
        size_ = 0;
    }
    bool ok() const { return address_ != nullptr; }
    PfGlobal handle() const { return handle_; }
    void* data() const { return address_; }
    template <class T>
    T* as() const { return static_cast<T*>(address_); }
    std::size_t size() const { return size_; }

private:
    void swap(LockedGlobal& other) noexcept {
        std::swap(handle_, other.handle_);
        std::swap(address_, other.address_);
        std::swap(size_, other.size_);
    }
    PfGlobal handle_ = nullptr;
    void* address_ = nullptr;
    std::size_t size_ = 0;
};

// An open file handle, closed on destruction.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(PfFile file) : file_(file) {}
    ~FileHandle() { close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FileHandle(FileHandle&& other) noexcept : file_(other.file_) { other.file_ = PF_HFILE_ERROR; }
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            close();
            file_ = other.file_;
            other.file_ = PF_HFILE_ERROR;
        }
        return *this;
    }

    bool ok() const { return file_ != PF_HFILE_ERROR; }
    PfFile get() const { return file_; }
    void close() {
        if (file_ != PF_HFILE_ERROR) pfLclose(file_);
        file_ = PF_HFILE_ERROR;
    }

private:
    PfFile file_ = PF_HFILE_ERROR;
};

}  // namespace pf

#endif
