#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace fuzz {

// Hands out the fuzzer's bytes field by field; past the end every field reads as zero.
class ByteStream {
public:
    ByteStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }

    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }

    int32_t int32() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value |= uint32_t(byte()) << (8 * i);
        }
        return static_cast<int32_t>(value);
    }

    // Copies up to size bytes into out and returns how many were left to copy.
    size_t fill(uint8_t* out, size_t size) {
        const size_t n = std::min(size, size_ - std::min(at_, size_));
        if (n > 0) {
            std::memcpy(out, data_ + at_, n);
        }
        at_ += n;
        return n;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

} // namespace fuzz
