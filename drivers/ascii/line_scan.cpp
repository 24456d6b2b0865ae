#include "line_scan.h"

#include <algorithm>
#include <cstring>

namespace ascii {

namespace {

bool terminatorAt(const uint8_t* at, uint32_t left, const ScanSettings& settings) {
    return left >= settings.terminatorLength &&
           std::memcmp(at, settings.terminator, settings.terminatorLength) == 0;
}

// Blanks are already in the record, so a blank run only moves the column.
void storeTab(LineScan& scan, uint8_t* record, uint32_t recordLength, int32_t tabSize) {
    uint64_t room = recordLength - scan.column;
    if (tabSize > 0) {
        uint64_t blanks =
            static_cast<uint64_t>(tabSize) - scan.column % static_cast<uint32_t>(tabSize);
        scan.column += static_cast<uint32_t>(std::min(blanks, room));
    } else if (tabSize == kTabKept) {
        record[scan.column++] = kTab;
    } else if (tabSize < 0) {
        uint64_t blanks = static_cast<uint64_t>(-int64_t{tabSize});
        scan.column += static_cast<uint32_t>(std::min(blanks, room));
    }
}

}  // namespace

LineScan scanLineBytewise(const uint8_t* window, uint32_t available, uint8_t* record,
                          uint32_t recordLength, const ScanSettings& settings) {
    LineScan scan;
    while (scan.consumed < recordLength && scan.column < recordLength &&
           scan.consumed < available) {
        const uint8_t* at = window + scan.consumed;
        if (terminatorAt(at, available - scan.consumed, settings)) {
            scan.consumed += settings.terminatorLength;
            scan.terminatorMet = true;
            break;
        }
        if (*at == kCtrlZ && !settings.ctrlZIsData) break;
        ++scan.consumed;
        if (*at == kTab)
            storeTab(scan, record, recordLength, settings.tabSize);
        else
            record[scan.column++] = *at;
    }
    return scan;
}

// Taken when the first terminator byte lies within the record's reach with
// neither a TAB nor a counting Ctrl-Z before it and the whole terminator
// there; the byte-by-byte scan would copy the same bytes and stop there.
LineScan scanLine(const uint8_t* window, uint32_t available, uint8_t* record, uint32_t recordLength,
                  const ScanSettings& settings) {
    uint32_t reach = std::min(available, recordLength);
    const void* found = reach ? std::memchr(window, settings.terminator[0], reach) : nullptr;
    if (found) {
        auto k = static_cast<uint32_t>(static_cast<const uint8_t*>(found) - window);
        bool plain = !std::memchr(window, kTab, k) &&
                     (settings.ctrlZIsData || !std::memchr(window, kCtrlZ, k));
        if (plain && terminatorAt(window + k, available - k, settings)) {
            std::memcpy(record, window, k);
            LineScan scan;
            scan.consumed = k + settings.terminatorLength;
            scan.column = k;
            scan.terminatorMet = true;
            return scan;
        }
    }
    return scanLineBytewise(window, available, record, recordLength, settings);
}

}  // namespace ascii
