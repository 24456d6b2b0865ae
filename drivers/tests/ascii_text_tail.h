// Reads the text driver's tail of a Drv_FCB as the host sees it, by offset
// from the start of the driver's part.
#pragma once

#include <cstring>

#include "drv_records.h"

namespace x9test {

class TextTailView {
  public:
    explicit TextTailView(const Drv_FCB& fcb)
        : tail_(reinterpret_cast<const uint8_t*>(&fcb) + kDrvFcbTailOffset) {}
    uint32_t endOfRecordLength() const { return word(sizeof(void*)); }
    int32_t tabSize() const { return static_cast<int32_t>(word(sizeof(void*) + 4)); }
    uint8_t tabSet() const { return tail_[sizeof(void*) + 8]; }
    uint8_t clip() const { return tail_[sizeof(void*) + 9]; }
    uint8_t ctrlZChecked() const { return tail_[sizeof(void*) + 10]; }

  private:
    uint32_t word(std::size_t at) const {
        uint32_t value;
        std::memcpy(&value, tail_ + at, sizeof value);
        return value;
    }
    const uint8_t* tail_;
};

}  // namespace x9test
