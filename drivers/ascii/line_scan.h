// The text driver's line scan: how the bytes of one line, seen through a
// window of the file, become a record (terminator, Ctrl-Z and TAB rules).
// A memory-search fast path serves ordinary short lines; the byte-by-byte
// scan is the rule both must follow.
#pragma once

#include <cstdint>
#include <cstring>

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

// Whether the whole terminator starts at `at`, with `left` bytes there.
// Terminators are a byte or two, where a loop beats a call to memcmp.
inline bool terminatorAt(const uint8_t* at, uint32_t left, const ScanSettings& settings) {
    if (left < settings.terminatorLength) return false;
    for (uint32_t i = 0; i < settings.terminatorLength; ++i)
        if (at[i] != settings.terminator[i]) return false;
    return true;
}

// terminatorAt for the scan of an ordinary line: a two-byte terminator, the
// usual CR LF, is compared in one step.
inline bool wholeTerminatorAt(const uint8_t* at, uint32_t left, const ScanSettings& settings) {
    if (settings.terminatorLength != 2) return terminatorAt(at, left, settings);
    if (left < 2) return false;
    uint16_t seen;
    uint16_t wanted;
    std::memcpy(&seen, at, 2);
    std::memcpy(&wanted, settings.terminator, 2);
    return seen == wanted;
}

// Copies window bytes into the record up to the first byte in [0, reach)
// that stops a plain copy: the terminator's first byte, a TAB, or a Ctrl-Z
// that counts. Answers that byte's index, reach when there is none. Record
// bytes from there up to reach may have been written as well.
uint32_t copyToStop(const uint8_t* window, uint32_t reach, uint8_t* record, uint8_t terminator,
                    bool ctrlZIsData);

// The byte-by-byte scan of the line starting at window[0]; available is the
// number of window bytes before the end of the file (at most recordLength
// plus the terminator length matter). The record must be blank-filled
// beforehand.
LineScan scanLineBytewise(const uint8_t* window, uint32_t available, uint8_t* record,
                          uint32_t recordLength, const ScanSettings& settings);

// The scan of an ordinary line: the first stop byte within the record's
// reach begins the whole terminator, so the byte-by-byte scan would copy the
// bytes before it and stop there. Fills the whole record (the line, then
// blanks) and answers true; false for any other line, with record bytes
// written that the byte-by-byte scan writes over. Inline, so that the result
// stays in registers instead of taking a round trip through the stack.
inline bool scanPlainLine(const uint8_t* window, uint32_t available, uint8_t* record,
                          uint32_t recordLength, const ScanSettings& settings, LineScan& scan) {
    uint32_t reach = available < recordLength ? available : recordLength;
    uint32_t k = copyToStop(window, reach, record, settings.terminator[0], settings.ctrlZIsData);
    if (k >= reach || !wholeTerminatorAt(window + k, available - k, settings)) return false;
    if (recordLength > k) std::memset(record + k, kBlank, recordLength - k);
    scan = LineScan{k + settings.terminatorLength, k, true};
    return true;
}

// The same scan, filling the whole record itself: the line, then blanks.
inline LineScan scanLine(const uint8_t* window, uint32_t available, uint8_t* record,
                         uint32_t recordLength, const ScanSettings& settings) {
    LineScan scan;
    if (scanPlainLine(window, available, record, recordLength, settings, scan)) return scan;
    if (recordLength > 0) std::memset(record, kBlank, recordLength);
    return scanLineBytewise(window, available, record, recordLength, settings);
}

}  // namespace ascii
