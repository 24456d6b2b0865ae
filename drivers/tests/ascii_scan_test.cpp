// The line scan's fast path against the byte-by-byte rule: random lines made
// of the bytes that matter (terminator bytes, TAB, Ctrl-Z, CR, LF, letters),
// dense or sparse among plain letters,
// under random settings must give the same record, counts and outcome.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "line_scan.h"

namespace {

using ascii::LineScan;
using ascii::ScanSettings;

std::string describe(const std::vector<uint8_t>& bytes, uint32_t available, uint32_t length,
                     const std::vector<uint8_t>& terminator, const ScanSettings& s) {
    std::string text = "L=" + std::to_string(length) + " available=" + std::to_string(available) +
                       " tab=" + std::to_string(s.tabSize) +
                       " ctrlZIsData=" + std::to_string(s.ctrlZIsData) + " terminator=";
    for (uint8_t b : terminator) text += std::to_string(b) + ",";
    text += " bytes=";
    for (uint8_t b : bytes) text += std::to_string(b) + " ";
    return text;
}

TEST(LineScan, FastPathMatchesByteByByteScan) {
    std::mt19937 random(20261210);
    const uint8_t alphabet[] = {'a', 'b', ' ', 0x09, 0x0D, 0x0A, 0x1A, 0x00, '|'};
    const std::vector<std::vector<uint8_t>> terminators = {
        {0x0D, 0x0A}, {0x0A}, {0x1A}, {0x09}, {'|', '|', 'a'}, {0x0D, 0x0A, 0x0D, 0x0A}};
    const int32_t tabSizes[] = {8, 1, 3, 0, -1, -4, -100, -7};
    int fastHits = 0;
    for (int round = 0; round < 20000; ++round) {
        const auto& terminator = terminators[random() % terminators.size()];
        ScanSettings settings{terminator.data(), static_cast<uint32_t>(terminator.size()),
                              tabSizes[random() % std::size(tabSizes)], random() % 2 == 0};
        // Short records, and records long enough that the search runs over
        // several 16-byte blocks with its stop byte in any lane, or in none.
        uint32_t length = random() % 2 ? random() % 24 : random() % 100;
        uint32_t windowSize = length + settings.terminatorLength;
        std::vector<uint8_t> window(windowSize + 1);
        const uint32_t density[] = {1, 8, 64};
        uint32_t oneIn = density[random() % std::size(density)];
        for (auto& b : window)
            b = random() % oneIn == 0 ? alphabet[random() % std::size(alphabet)] : 'a';
        if (random() % 3 == 0) {
            // Plant a terminator, often where the fast path should take it.
            uint32_t at = random() % (windowSize + 1);
            for (std::size_t i = 0; i < terminator.size() && at + i < window.size(); ++i)
                window[at + i] = terminator[i];
        }
        uint32_t available = random() % 4 == 0 ? random() % (windowSize + 1) : windowSize;
        // scanLine fills the whole record itself, so its record starts as litter.
        std::vector<uint8_t> bytewise(length + 1, ' '), fast(length + 1, 0xA5);
        bytewise[length] = fast[length] = 0xEE;  // guard byte past the record
        LineScan a =
            ascii::scanLineBytewise(window.data(), available, bytewise.data(), length, settings);
        LineScan b = ascii::scanLine(window.data(), available, fast.data(), length, settings);
        SCOPED_TRACE(describe(window, available, length, terminator, settings));
        ASSERT_EQ(a.consumed, b.consumed);
        ASSERT_EQ(a.column, b.column);
        ASSERT_EQ(a.terminatorMet, b.terminatorMet);
        ASSERT_EQ(bytewise, fast);
        ASSERT_EQ(fast[length], 0xEE);
        ASSERT_LE(a.column, length);
        ASSERT_LE(a.consumed, available);
        fastHits += b.terminatorMet;
    }
    EXPECT_GT(fastHits, 1000);  // the terminator case is well exercised
}

}  // namespace
