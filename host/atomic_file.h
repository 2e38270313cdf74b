// Every file aucal writes goes through here: it is written under a temporary
// name in its destination folder, flushed to the disk, and renamed over the
// final name only when complete, so that a failed or interrupted step leaves
// an existing file exactly as it was and no temporary file behind.
//
// The temporary name is ".<stem>.aucal-XXXXXX<extension>" beside the final
// name (same folder, so the rename is atomic; same extension, so writers that
// pick their format from the name write the right one).
#ifndef AUCAL_ATOMIC_FILE_H
#define AUCAL_ATOMIC_FILE_H

#include <cstddef>
#include <functional>
#include <string>

#include "platform/host_system.h"

namespace aucal {

class AtomicFile {
public:
    explicit AtomicFile(std::string finalPath);
    // Removes the temporary file unless committed.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the destination folder when missing and an empty temporary file.
    bool create(std::string* error);
    const std::string& temporaryPath() const { return temporary_; }
    const std::string& finalPath() const { return final_; }
    // The temporary file, open for reading and writing until commit.
    PfHostFile handle() const { return fd_; }
    // Appends bytes to the temporary file.
    bool write(const void* data, std::size_t size, std::string* error);
    // While a writer fills the temporary file: has the system start writing
    // what it holds to the disk (every 8 MiB more), so that commit's flush
    // waits for the last part only (pfHostStartWriteback: Linux only). Safe on
    // another thread than create's and commit's, not at the same time as
    // them.
    void startWriteback();
    // Flushes the temporary file to the disk and renames it over the final
    // name; on failure the temporary file is removed. Throws Cancelled
    // (cancellation.h) instead when a signal has asked to stop.
    bool commit(std::string* error);

private:
    void discard();
    std::string final_;
    std::string temporary_;
    PfHostFile fd_ = PF_HOST_NO_FILE;
    long long writtenBack_ = 0;  // bytes whose writing startWriteback has started
    int slot_ = -1;  // in the table the second signal clears
    bool committed_ = false;
};

// The whole file at once.
bool writeFileAtomically(const std::string& path, const void* data, std::size_t size, std::string* error);
// For writers that take a path (image codecs, the engine, the drivers):
// writeTo fills the temporary path, then it is committed.
using WriteToPath = std::function<bool(const std::string& temporaryPath, std::string* error)>;
bool writeFileAtomically(const std::string& path, const WriteToPath& writeTo, std::string* error);

}  // namespace aucal

#endif
