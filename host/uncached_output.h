// An output's bytes written to the disk past the system's file cache (on
// Linux, O_DIRECT through pfHostUncachedWrites). A batch of large images
// otherwise costs, for every byte, a copy into newly taken cache pages and
// that cache's flush before each rename; written past the cache, the bytes
// go from one reused buffer to the disk, and the flush before the rename
// has only the file's last bytes and its size left to wait for.
//
// The bytes are staged in a buffer aligned as the disk requires and written
// a whole buffer at a time while they come in order; bytes that already
// stand in memory at their file offset modulo a disk block (see
// ImageWriter::fileOffsetOf) are written from there, only their partial
// blocks at either end staged. The first write out of
// order (libtiff patching an offset near the start) or the first read ends
// that: what is staged is written, and the rest goes through the cache as
// usual. Where the file system or the platform cannot bypass the cache, or
// the disk refuses such a write, every write goes through the cache.
#ifndef AUCAL_UNCACHED_OUTPUT_H
#define AUCAL_UNCACHED_OUTPUT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/image_file.h"
#include "platform/host_system.h"

namespace aucal {

class UncachedOutput : public imaging::FileSink {
public:
    static constexpr std::size_t kStagingBytes = 4u << 20;
    // stagingBytes: rounded up to whole blocks of PF_HOST_UNCACHED_ALIGNMENT.
    explicit UncachedOutput(std::size_t stagingBytes = kStagingBytes);

    // Starts on an open, empty file (not owned: it stays open after
    // finish). The buffer is kept from one file to the next. False when the
    // file's writes cannot bypass the cache (they would all go through it).
    bool start(PfHostFile file);
    bool writeAt(std::uint64_t offset, const void* data, std::size_t size) override;
    bool readAt(std::uint64_t offset, void* data, std::size_t size) override;
    std::uint64_t size() const override { return size_; }
    bool finish() override;
    std::string failure() const override { return failure_; }
    // Whether writes still go past the cache.
    bool uncached() const { return uncached_; }

private:
    // Writes the staged bytes and turns to the cache.
    bool endStaging();
    // Bytes in order that stand at their file offset modulo a block: the
    // whole blocks among them written from where they are, the staged ones
    // before them completed with their head, their tail staged.
    bool writeInPlace(const std::uint8_t* bytes, std::size_t size);
    // Writes all of data at offset, through the cache when the disk refuses
    // an uncached write.
    bool put(std::uint64_t offset, const std::uint8_t* data, std::size_t size);

    std::vector<std::uint8_t> storage_;
    std::uint8_t* buffer_ = nullptr;  // aligned, within storage_
    std::size_t capacity_;
    PfHostFile file_ = PF_HOST_NO_FILE;
    std::uint64_t base_ = 0;  // the file offset of buffer_[0]
    std::size_t staged_ = 0;
    std::uint64_t size_ = 0;
    bool uncached_ = false;
    std::string failure_;
};

}  // namespace aucal

#endif
