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
namespace {

// Copies sixteen bytes at a time, two blocks to a round, stored on the way,
// until a block holds a byte that `mark` marks; `stopIn` then tells the first
// stop byte among the marked ones (a lane mask of up to 32 bytes from `at`),
// or -1 when none is. Answers the stop's index, or reach (at least 16).
template <class Mark, class StopIn>
uint32_t copyBlocks(const uint8_t* window, uint32_t reach, uint8_t* record, Mark mark,
                    StopIn stopIn) {
    auto copyBlock = [&](std::size_t at) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(window + at));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(record + at), bytes);
        return bytes;
    };
    auto lanes = [](__m128i marks) { return static_cast<unsigned>(_mm_movemask_epi8(marks)); };
    std::size_t at = 0;
    for (; at + 32 <= reach; at += 32) {
        __m128i first = mark(copyBlock(at));
        __m128i second = mark(copyBlock(at + 16));
        if (lanes(_mm_or_si128(first, second)) == 0) continue;
        if (int stop = stopIn(lanes(first) | lanes(second) << 16, at); stop >= 0)
            return static_cast<uint32_t>(at) + static_cast<uint32_t>(stop);
    }
    // What is left is up to two blocks, the last of them overlapping bytes
    // already passed, none of them a stop.
    while (at < reach) {
        if (at + 16 > reach) at = reach - 16;
        if (unsigned marked = lanes(mark(copyBlock(at))); marked != 0) {
            if (int stop = stopIn(marked, at); stop >= 0)
                return static_cast<uint32_t>(at) + static_cast<uint32_t>(stop);
        }
        at += 16;
    }
    return reach;
}

}  // namespace

// One pass over the line, copying as it goes, where separate searches and a
// copy would take four. With the usual stop bytes, all control bytes, one
// unsigned compare screens a block for bytes no higher than the highest stop
// byte, and only the few such bytes of a text are looked at one by one.
uint32_t copyToStop(const uint8_t* window, uint32_t reach, uint8_t* record, uint8_t terminator,
                    bool ctrlZIsData) {
    auto isStop = [=](uint8_t byte) {
        return byte == terminator || byte == kTab || (byte == kCtrlZ && !ctrlZIsData);
    };
    if (reach < 16) {
        uint32_t at = 0;
        for (; at < reach && !isStop(window[at]); ++at) record[at] = window[at];
        return at;
    }
    const uint8_t highest = std::max<uint8_t>(terminator, ctrlZIsData ? kTab : kCtrlZ);
    if (highest < 0x20) {
        const __m128i ceiling = _mm_set1_epi8(0x1F);
        auto mark = [&](__m128i bytes) {
            return _mm_cmpeq_epi8(_mm_min_epu8(bytes, ceiling), bytes);
        };
        auto stopIn = [&](unsigned marked, std::size_t at) {
            for (; marked != 0; marked &= marked - 1) {
                int lane = __builtin_ctz(marked);
                if (isStop(window[at + static_cast<uint32_t>(lane)])) return lane;
            }
            return -1;
        };
        return copyBlocks(window, reach, record, mark, stopIn);
    }
    // A printable terminator: every block is tested for the stop bytes
    // themselves.
    const __m128i end = _mm_set1_epi8(static_cast<char>(terminator));
    const __m128i tab = _mm_set1_epi8(static_cast<char>(kTab));
    const __m128i ctrlZ = _mm_set1_epi8(static_cast<char>(ctrlZIsData ? terminator : kCtrlZ));
    auto mark = [&](__m128i bytes) {
        return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, end), _mm_cmpeq_epi8(bytes, tab)),
                            _mm_cmpeq_epi8(bytes, ctrlZ));
    };
    auto stopIn = [](unsigned marked, std::size_t) { return __builtin_ctz(marked); };
    return copyBlocks(window, reach, record, mark, stopIn);
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
