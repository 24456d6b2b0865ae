// The text driver's tail of the Drv_FCB (from offset 150; 169 bytes in all
// in the 32-bit build) and the driverFlags bit it adds.
#pragma once

#include <cstddef>

#include "driver_core.h"

namespace ascii {

#pragma pack(push, 1)
struct TextTail {
    uint8_t* endOfRecord;        // the terminator bytes, owned by the block
    uint32_t endOfRecordLength;  // at least 1 once the file is open
    int32_t tabSize;             // how a TAB read from the file is stored
    uint8_t tabSet;              // 1 once the TAB option set a value; nothing reads it
    uint8_t clip;                // 1: trailing blanks are cut before a write
    uint8_t ctrlZChecked;        // 1: the first append looked for a trailing Ctrl-Z
    uint8_t* oemBuffer;          // L-byte copy of the record for OEM writes
};
#pragma pack(pop)

inline constexpr std::size_t kTextFcbSize = kDrvFcbTailOffset + sizeof(TextTail);

#if X9_ABI_32
static_assert(kDrvFcbTailOffset == 150);
static_assert(kDrvFcbTailOffset + offsetof(TextTail, endOfRecord) == 150);
static_assert(kDrvFcbTailOffset + offsetof(TextTail, endOfRecordLength) == 154);
static_assert(kDrvFcbTailOffset + offsetof(TextTail, tabSize) == 158);
static_assert(kDrvFcbTailOffset + offsetof(TextTail, tabSet) == 162);
static_assert(kDrvFcbTailOffset + offsetof(TextTail, clip) == 163);
static_assert(kDrvFcbTailOffset + offsetof(TextTail, ctrlZChecked) == 164);
static_assert(kDrvFcbTailOffset + offsetof(TextTail, oemBuffer) == 165);
static_assert(kTextFcbSize == 169);
#endif

// driverFlags bit: set when CTRLZISEOF is off, so 0x1A is a data byte.
inline constexpr uint8_t kFlagCtrlZIsData = 0x20;

// The block is allocated with kTextFcbSize bytes, so the tail lies inside it.
inline TextTail& textTail(Drv_FCB& fcb) {
    return *reinterpret_cast<TextTail*>(reinterpret_cast<uint8_t*>(&fcb) + kDrvFcbTailOffset);
}

inline bool ctrlZIsData(const Drv_FCB& fcb) {
    return fcb.driverFlags & kFlagCtrlZIsData;
}

}  // namespace ascii
