// The text driver's line scan on arbitrary window bytes and settings: the
// fast path must give exactly what the byte-by-byte rule gives, stay inside
// the record and the window, and take at least one byte whenever a line can
// go on (so a reader loop always advances).
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_bytes.h"
#include "line_scan.h"

namespace {

constexpr uint8_t kGuard = 0xEE;

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    x9fuzz::ByteReader in(data, size);
    std::vector<uint8_t> terminator(1 + in.byte() % 4);
    for (auto& b : terminator) b = in.byte();
    const int32_t tabChoices[] = {8, 1, 3, 0, -1, -4, ascii::kTabKept, -7, 2147483647, -2147483647};
    ascii::ScanSettings settings{terminator.data(), static_cast<uint32_t>(terminator.size()),
                                 tabChoices[in.byte() % std::size(tabChoices)], in.flag()};
    const uint32_t recordLength = in.byte() % 64;
    std::string bytes = in.rest();
    std::vector<uint8_t> window(bytes.begin(), bytes.end());
    // The window as the driver hands it: exactly `available` readable bytes.
    const auto available = static_cast<uint32_t>(window.size());

    // scanLine fills the whole record itself, so its record starts as litter.
    std::vector<uint8_t> bytewise(recordLength + 1, ' '), fast(recordLength + 1, 0xA5);
    bytewise[recordLength] = fast[recordLength] = kGuard;
    ascii::LineScan a =
        ascii::scanLineBytewise(window.data(), available, bytewise.data(), recordLength, settings);
    ascii::LineScan b =
        ascii::scanLine(window.data(), available, fast.data(), recordLength, settings);

    check(a.consumed == b.consumed);
    check(a.column == b.column);
    check(a.terminatorMet == b.terminatorMet);
    check(bytewise == fast);
    check(fast[recordLength] == kGuard);
    check(a.column <= recordLength);
    check(a.consumed <= available);
    const bool endOfText = !settings.ctrlZIsData && available > 0 && window[0] == ascii::kCtrlZ;
    if (available > 0 && recordLength > 0 && !endOfText) check(a.consumed > 0);
    return 0;
}
