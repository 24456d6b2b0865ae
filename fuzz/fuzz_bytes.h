// Shared by the fuzz targets: takes typed values off the front of libFuzzer's
// input so one byte string drives both the settings and the data of a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace x9fuzz {

class ByteReader {
  public:
    ByteReader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }
    std::size_t left() const { return size_ - at_; }

    // 0 once the input is used up, so short inputs still make a run.
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    bool flag() { return byte() & 1; }
    uint32_t u32() {
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) v |= uint32_t{byte()} << (8 * k);
        return v;
    }
    // Bytes up to (not including) the next `stop` byte, which is skipped.
    std::string until(uint8_t stop) {
        std::string out;
        while (at_ < size_) {
            uint8_t b = data_[at_++];
            if (b == stop) break;
            out.push_back(static_cast<char>(b));
        }
        return out;
    }
    std::string rest() {
        std::string out(reinterpret_cast<const char*>(data_ + at_), size_ - at_);
        at_ = size_;
        return out;
    }

  private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace x9fuzz
