// The text driver's line scan: how the bytes of one line, seen through a
// window of the file, become a record (terminator, Ctrl-Z and TAB rules).
// A memory-search fast path serves ordinary short lines; the byte-by-byte
// scan is the rule both must follow.
#pragma once

#include <cstdint>

namespace ascii {

inline constexpr uint8_t kCtrlZ = 0x1A;
inline constexpr uint8_t kTab = 0x09;
inline constexpr uint8_t kBlank = 0x20;
// A tabSize of this value keeps TAB bytes in the record.
inline constexpr int32_t kTabKept = -100;

struct ScanSettings {
    const uint8_t* terminator;
    uint32_t terminatorLength;  // at least 1
    int32_t tabSize;
    bool ctrlZIsData;
};

struct LineScan {
    uint32_t consumed = 0;  // bytes taken from the file
    uint32_t column = 0;    // bytes stored in the record
    bool terminatorMet = false;
};

// Both scan the line starting at window[0]; available is the number of
// window bytes before the end of the file (at most recordLength plus the
// terminator length matter). The record must be blank-filled beforehand.
LineScan scanLineBytewise(const uint8_t* window, uint32_t available, uint8_t* record,
                          uint32_t recordLength, const ScanSettings& settings);
LineScan scanLine(const uint8_t* window, uint32_t available, uint8_t* record, uint32_t recordLength,
                  const ScanSettings& settings);

}  // namespace ascii
