// The text driver's record layer: a text file as a file of records, one line
// per record, addressed by the 1-based position of the line's first byte.
#pragma once

#include "driver_core.h"

namespace ascii {

class TextRecords final : public drv::RecordLayer {
  public:
    bool perform(drv::Operation& op) override;
    int32_t prepareOpen(Drv_FCB& fcb) override;
    void releaseAtClose(Drv_FCB& fcb) override;
    void applyOption(Drv_FCB& fcb, const std::string& option, std::string& answer) override;
    bool acceptsFieldType(uint8_t type) const override { return type == 18 || type == 22; }
};

// The record steps, each answering the operation's error.
int32_t readLine(Drv_FCB& fcb, uint32_t position);
int32_t readNextLine(Drv_FCB& fcb);
int32_t atEnd(Drv_FCB& fcb);  // 1 or 0
// position 0 appends; length 0 cuts the file at the write offset.
int32_t writeLine(Drv_FCB& fcb, uint32_t position, uint32_t length);

// A rewrite in place that would not take exactly the old line's bytes.
inline constexpr int32_t kLineLengthDiffers = 80;

}  // namespace ascii
