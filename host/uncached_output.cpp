#include "uncached_output.h"

#include <algorithm>
#include <cstring>

namespace aucal {

namespace {

constexpr std::size_t kAlignment = PF_HOST_UNCACHED_ALIGNMENT;

}  // namespace

UncachedOutput::UncachedOutput(std::size_t stagingBytes)
    : capacity_(std::max<std::size_t>(1, (stagingBytes + kAlignment - 1) / kAlignment) * kAlignment) {}

bool UncachedOutput::start(PfHostFile file) {
    file_ = file;
    base_ = size_ = 0;
    staged_ = 0;
    failure_.clear();
    uncached_ = pfHostUncachedWrites(file, 1) != 0;
    if (uncached_ && buffer_ == nullptr) {
        storage_.resize(capacity_ + kAlignment);
        const auto at = reinterpret_cast<std::uintptr_t>(storage_.data());
        buffer_ = storage_.data() + (kAlignment - at % kAlignment) % kAlignment;
    }
    return uncached_;
}

bool UncachedOutput::put(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const long n = pfHostWriteAt(file_, data, size, static_cast<long long>(offset));
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            offset += static_cast<std::uint64_t>(n);
        } else if (uncached_) {
            // Alignment the disk wants beyond ours, or a part written short:
            // the cache takes any offset.
            uncached_ = false;
            pfHostUncachedWrites(file_, 0);
        } else {
            failure_ = pfHostErrorText();
            return false;
        }
    }
    return true;
}

bool UncachedOutput::endStaging() {
    const std::size_t whole = staged_ / kAlignment * kAlignment;
    const bool ok = put(base_, buffer_, whole);
    uncached_ = false;
    if (!ok || !pfHostUncachedWrites(file_, 0)) {
        if (failure_.empty()) failure_ = pfHostErrorText();
        return false;
    }
    const std::size_t rest = staged_ - whole;
    staged_ = 0;
    return put(base_ + whole, buffer_ + whole, rest);
}

bool UncachedOutput::writeInPlace(const std::uint8_t* bytes, std::size_t size) {
    const std::size_t head = (kAlignment - staged_ % kAlignment) % kAlignment;
    std::memcpy(buffer_ + staged_, bytes, head);
    staged_ += head;
    const std::size_t middle = (size - head) / kAlignment * kAlignment;
    if (!put(base_, buffer_, staged_) || !put(base_ + staged_, bytes + head, middle)) return false;
    base_ += staged_ + middle;
    staged_ = 0;
    bytes += head + middle;
    size -= head + middle;
    if (!uncached_) return put(base_, bytes, size);
    std::memcpy(buffer_, bytes, size);
    staged_ = size;
    return true;
}

bool UncachedOutput::writeAt(std::uint64_t offset, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    size_ = std::max(size_, offset + size);
    const auto at = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(data));
    if (uncached_ && offset == base_ + staged_ && size >= 2 * kAlignment && (at - offset) % kAlignment == 0)
        return writeInPlace(bytes, size);
    if (uncached_ && offset == base_ + staged_) {
        while (size > 0) {
            const std::size_t n = std::min(size, capacity_ - staged_);
            std::memcpy(buffer_ + staged_, bytes, n);
            staged_ += n;
            bytes += n;
            size -= n;
            if (staged_ < capacity_) break;
            if (!put(base_, buffer_, capacity_)) return false;
            base_ += capacity_;
            staged_ = 0;
            // Turned to the cache: the rest goes there straight.
            if (!uncached_) return put(base_, bytes, size);
        }
        return true;
    }
    if (uncached_ && !endStaging()) return false;
    return put(offset, bytes, size);
}

bool UncachedOutput::readAt(std::uint64_t offset, void* data, std::size_t size) {
    if (uncached_ && !endStaging()) return false;
    auto* bytes = static_cast<std::uint8_t*>(data);
    while (size > 0) {
        const long n = pfHostReadAt(file_, bytes, size, static_cast<long long>(offset));
        if (n <= 0) {
            failure_ = n < 0 ? pfHostErrorText() : "the file is shorter than what was written";
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool UncachedOutput::finish() { return !uncached_ || endStaging(); }

}  // namespace aucal
