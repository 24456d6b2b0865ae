// Address entry and the address check, as pure functions: the normalisation
// table and the check's scenarios with their messages and table rows.
#include <gtest/gtest.h>

#include "address_check.h"
#include "slot_rules.h"

namespace vrx {
namespace {

struct NormalizeCase {
    const char* typed;
    int slot;
    const char* expected;
};

TEST(NormalizeAddressText, Table) {
    const NormalizeCase cases[] = {
        {"0x80000004", 1, "0x80000004"},
        {"0x1000", 2, "0x00001000"},
        {"4096", 0, "0x1000"},
        {"0x12345", 0, "0x2345"},
        {"0x12G4", 2, "0x0"},
        {"letters", 3, "0x0"},
        {"", 1, "0x0"},
        {"0x", 1, "0x0"},
        {"0h1f", 6, "0x001F"},
        {"&HaBc", 5, "0x00000ABC"},
        {"  0x10  ", 4, "0x00000010"},
        {"0X10", 4, "0x0"},  // the prefix is case-sensitive
        {"0xFFFFFFFF", 1, "0xFFFFFFFF"},
        {"0x100000000", 1, "0x0"},  // nine digits
        {"4294967295", 1, "0xFFFFFFFF"},
        {"4294967296", 1, "0x0"},  // does not fit in 32 bits
        {"-1", 2, "0xFFFFFFFF"},
        {"0x8000", 2, "0x00008000"},  // a short hex text keeps its plain value
        {"12 34", 2, "0x0"},
        {"0x0", 0, "0x0000"},
        {"0x80000004", 0, "0x0004"},
    };
    for (const NormalizeCase& c : cases) {
        EXPECT_EQ(NormalizeAddressText(c.typed, c.slot), c.expected)
            << "'" << c.typed << "' in slot " << c.slot;
    }
}

struct ImageSpec {
    int slot;
    const char* address;
    const char* size;
};

struct CheckCase {
    const char* name;
    std::vector<ImageSpec> images;
    bool ok;
    std::vector<AddressMessage> messages;
    std::vector<AddressRow> rows;
};

AddressMessage overlap(const char* first, const char* second) {
    return {"Address overlap or too large",
            QString("Address range for the %1\r\noverlaps the address range for %2")
                .arg(first, second)};
}

AddressMessage invalid(const char* name) {
    return {"Invalid address", QString("Check the Start address for the %1\r\nIt must be "
                                       "between 0x80000004 and 0x83FFFFF0")
                                   .arg(name)};
}

const AddressRow kMark0{5, "0x00000000", "0x4"};
const AddressRow kMark2{6, "0x02000000", ""};
const AddressRow kMax{7, "0x04000000", ""};

TEST(CheckAddresses, Scenarios) {
    const CheckCase cases[] = {
        {"no SDRAM slot ticked", {}, true, {}, {kMark0, kMark2, kMax}},
        {"image at 0x80000000 overlaps the first mark",
         {{2, "0x80000000", "0x100"}},
         false,
         {overlap("UBoot marker (0x80000000)", "UBoot image")},
         {kMark0, {2, "0x00000000", "0x100"}, kMark2, kMax}},
        {"image at 0x80000004 is accepted",
         {{2, "0x80000004", "0x100"}},
         true,
         {},
         {kMark0, {2, "0x00000004", "0x100"}, kMark2, kMax}},
        {"image ending exactly at 0x82000000 passes",
         {{3, "0x81000000", "0x1000000"}},
         true,
         {},
         {kMark0, {3, "0x01000000", "0x1000000"}, kMark2, kMax}},
        {"one byte longer crosses the 0x82000000 mark",
         {{3, "0x81000000", "0x1000001"}},
         false,
         {overlap("Root FS image", "UBoot marker (0x82000000)")},
         {kMark0, {3, "0x01000000", "0x1000001"}, kMark2, kMax}},
        {"image ending exactly at 0x84000000 passes",
         {{4, "0x83000000", "0x1000000"}},
         true,
         {},
         {kMark0, kMark2, {4, "0x03000000", "0x1000000"}, kMax}},
        {"image passing 0x84000000 fails against the maximum",
         {{4, "0x83FFFFF0", "0x11"}},
         false,
         {overlap("Kernel image", "maximum address")},
         {kMark0, kMark2, {4, "0x03FFFFF0", "0x11"}, kMax}},
        {"an image starting on the 0x82000000 mark does not cross it",
         {{1, "0x82000000", "0x10"}},
         true,
         {},
         {kMark0, kMark2, {1, "0x02000000", "0x10"}, kMax}},
        {"two images at one address overlap",
         {{1, "0x80100000", "0x10"}, {2, "0x80100000", "0x10"}},
         false,
         {overlap("Secondary Executable", "UBoot image")},
         {kMark0, {1, "0x00100000", "0x10"}, {2, "0x00100000", "0x10"}, kMark2, kMax}},
        {"several overlaps give several messages",
         {{1, "0x80000000", "0x10"}, {2, "0x81FFFFFF", "0x2"}},
         false,
         {overlap("UBoot marker (0x80000000)", "Secondary Executable"),
          overlap("UBoot image", "UBoot marker (0x82000000)")},
         {kMark0, {1, "0x00000000", "0x10"}, {2, "0x01FFFFFF", "0x2"}, kMark2, kMax}},
        {"addresses outside the window: one message each, no overlap test",
         {{1, "0x84000000", "0x10"}, {2, "0x7FFFFFF0", "0x10"}, {3, "0x80000000", "0x10"}},
         false,
         {invalid("Secondary Executable"), invalid("UBoot image")},
         {kMark0,
          {3, "0x00000000", "0x10"},
          kMark2,
          kMax,
          {1, "0x04000000", "0x10"},
          {2, "0x0FFFFFF0", "0x10"}}},
        {"an invalid entry (0x0) fails the range test",
         {{4, "0x0", ""}},
         false,
         {invalid("Kernel image")},
         {kMark0, {4, "0x00x0", ""}, kMark2, kMax}},
        {"a size of 2 GiB or more is not taken for a small one",
         {{2, "0x80000004", "0x80000010"}},
         false,
         {overlap("UBoot image", "UBoot marker (0x82000000)")},
         {kMark0, {2, "0x00000004", "0x80000010"}, kMark2, kMax}},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::array<AddressSlot, 7> input;
        for (const ImageSpec& image : c.images)
            input[image.slot] = {true, image.address, image.size};
        // Unticked slots never take part, whatever they hold.
        input[0] = {true, "0x0", "0x10"};
        if (c.images.empty()) input[2] = {false, "0x80000000", "0x10"};
        const AddressCheckResult result = CheckAddresses(input, SlotNames());
        EXPECT_EQ(result.ok, c.ok);
        EXPECT_EQ(result.messages, c.messages);
        EXPECT_EQ(result.rows, c.rows);
    }
}

}  // namespace
}  // namespace vrx
