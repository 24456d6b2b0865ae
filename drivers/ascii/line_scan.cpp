#include "line_scan.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ascii {

namespace {

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

#if defined(__SSE2__)
// Sixteen bytes at a time, tested against all three stop bytes at once and
// stored on the way: one pass over the line where separate searches and a
// copy would take four.
uint32_t copyToStop(const uint8_t* window, uint32_t reach, uint8_t* record, uint8_t terminator,
                    bool ctrlZIsData) {
    const __m128i end = _mm_set1_epi8(static_cast<char>(terminator));
    const __m128i tab = _mm_set1_epi8(static_cast<char>(kTab));
    const __m128i ctrlZ = _mm_set1_epi8(static_cast<char>(ctrlZIsData ? terminator : kCtrlZ));
    auto stopsIn = [&](__m128i bytes) {
        __m128i stops =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, end), _mm_cmpeq_epi8(bytes, tab)),
                         _mm_cmpeq_epi8(bytes, ctrlZ));
        return static_cast<unsigned>(_mm_movemask_epi8(stops));
    };
    auto load = [window](uint32_t at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(window + at));
    };
    auto store = [record](uint32_t at, __m128i bytes) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(record + at), bytes);
    };
    if (reach < 16) {
        uint32_t at = 0;
        for (; at < reach; ++at) {
            uint8_t byte = window[at];
            if (byte == terminator || byte == kTab || (byte == kCtrlZ && !ctrlZIsData)) break;
            record[at] = byte;
        }
        return at;
    }
    uint32_t at = 0;
    for (; at + 16 <= reach; at += 16) {
        __m128i bytes = load(at);
        store(at, bytes);
        if (unsigned mask = stopsIn(bytes); mask != 0)
            return at + static_cast<uint32_t>(__builtin_ctz(mask));
    }
    if (at == reach) return reach;
    // The last block overlaps bytes already passed, none of them a stop.
    at = reach - 16;
    __m128i bytes = load(at);
    store(at, bytes);
    unsigned mask = stopsIn(bytes);
    return mask != 0 ? at + static_cast<uint32_t>(__builtin_ctz(mask)) : reach;
}
#else
uint32_t copyToStop(const uint8_t* window, uint32_t reach, uint8_t* record, uint8_t terminator,
                    bool ctrlZIsData) {
    auto before = [window](const void* found, uint32_t limit) {
        return found ? static_cast<uint32_t>(static_cast<const uint8_t*>(found) - window) : limit;
    };
    uint32_t stop = before(std::memchr(window, terminator, reach), reach);
    stop = before(std::memchr(window, kTab, stop), stop);
    if (!ctrlZIsData) stop = before(std::memchr(window, kCtrlZ, stop), stop);
    std::memcpy(record, window, stop);
    return stop;
}
#endif

}  // namespace ascii
