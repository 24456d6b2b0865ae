// Position values: where the current record is and where Next reads, as
// numbers and as the 4-byte little-endian text Reget and ResetTo take back.
#include <cstring>

#include "driver_core.h"
#include "file_steps.h"

namespace drv {

namespace {

uint32_t pointerValue(const Drv_FCB& fcb) {
    return (fcb.driverFlags & kFlagCurrent) ? fcb.currentPosition + 1 : 0;
}

uint32_t positionFromText(const HrtString& text) {
    uint8_t bytes[4] = {};
    if (text.text && text.length > 0)
        std::memcpy(bytes, text.text,
                    std::min<std::size_t>(4, static_cast<std::size_t>(text.length)));
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
           uint32_t{bytes[3]} << 24;
}

}  // namespace

bool performPositionValue(Operation& op) {
    Drv_FCB& fcb = *op.fcb;
    switch (op.code) {
        case Pointer:
            op.result = static_cast<int32_t>(pointerValue(fcb));
            return true;
        case Position: {
            uint32_t value = pointerValue(fcb);
            char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8),
                             static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
            op.resultText.assign(bytes, 4);
            return true;
        }
        case Bytes: {
            if (fcb.stateFlags & kStateReportTransfer) {
                op.result = static_cast<int32_t>(fcb.lastTransfer);
                return true;
            }
            uint32_t size = 0;
            op.error = takeFileSize(fcb, size);
            if (op.error == 0) op.result = static_cast<int32_t>(size);
            return true;
        }
        case SetFirst:
            fcb.currentKey = nullptr;
            fcb.nextPosition = 1;
            return true;
        case SetAt:
            fcb.currentKey = nullptr;
            fcb.nextPosition = op.position(0) ? op.position(0) : 1;
            return true;
        case ResetTo: {
            fcb.currentKey = nullptr;
            uint32_t position = positionFromText(op.stringA);
            fcb.nextPosition = position ? position : 1;
            return true;
        }
        default:
            return false;
    }
}

uint32_t positionArgument(const HrtString& text) {
    return positionFromText(text);
}

}  // namespace drv
