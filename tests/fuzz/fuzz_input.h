#pragma once
// A fuzz input read as a stream of small fields. Past the end every field reads as zero or empty,
// so a target takes what it needs without checking the length at each step.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }
    std::size_t remaining() const { return size_ - at_; }

    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t Word() {
        const uint8_t high = Byte();
        return static_cast<uint16_t>(high << 8 | Byte());
    }
    // At most n bytes: fewer when the input ends first.
    std::vector<uint8_t> Bytes(std::size_t n) {
        n = std::min(n, remaining());
        std::vector<uint8_t> out(data_ + at_, data_ + at_ + n);
        at_ += n;
        return out;
    }
    std::vector<uint8_t> Rest() { return Bytes(remaining()); }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};
