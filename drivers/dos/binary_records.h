// The binary driver's record layer: any file as a run of fixed-length records
// addressed by the 1-based byte position of their first byte.
#pragma once

#include "driver_core.h"

namespace dos {

class BinaryRecords final : public drv::RecordLayer {
  public:
    bool perform(drv::Operation& op) override;
    int32_t prepareOpen(Drv_FCB& fcb) override;
    void releaseAtClose(Drv_FCB& fcb) override;
    void applyOption(Drv_FCB& fcb, const std::string& option, std::string& answer) override;
    bool acceptsFieldType(uint8_t) const override { return true; }
};

// The record steps, each answering the operation's error.
int32_t readRecord(Drv_FCB& fcb, uint32_t position, uint32_t length);
int32_t readNext(Drv_FCB& fcb);
int32_t readPrevious(Drv_FCB& fcb);
int32_t writeRecord(Drv_FCB& fcb, uint32_t position, uint32_t length);
int32_t atEnd(Drv_FCB& fcb);  // 1 or 0
int32_t countRecords(Drv_FCB& fcb, uint32_t& count);

}  // namespace dos
