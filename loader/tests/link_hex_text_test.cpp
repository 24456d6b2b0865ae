#include <gtest/gtest.h>

#include "hex_text.h"
#include "link_error.h"

namespace {

using vrx::DropLastChar;
using vrx::HexByte;
using vrx::HexTextToLong;
using vrx::NormalizeHexPrefix;

struct ByteCase {
    const char* text;
    std::array<int, 4> bytes;  // HexByte(text, 0..3)
};

TEST(HexByteTest, TakesTheBytesOfTheValueMostSignificantFirst) {
    const ByteCase cases[] = {
        {"0x80000004", {0x80, 0x00, 0x00, 0x04}},
        {"0x1234", {0x00, 0x00, 0x12, 0x34}},
        {"0x000A", {0x00, 0x00, 0x00, 0x0A}},
        {"0xc", {0x00, 0x00, 0x00, 0x0C}},
        {"0x3", {0x00, 0x00, 0x00, 0x03}},
        {"0hff", {0x00, 0x00, 0x00, 0xFF}},
        {"&HdeadBEEF", {0xDE, 0xAD, 0xBE, 0xEF}},
        {"24", {0x00, 0x00, 0x00, 0x18}},  // no prefix: decimal
        {"109", {0x00, 0x00, 0x00, 0x6D}},
        {"  4096 ", {0x00, 0x00, 0x10, 0x00}},
        {"-1", {0xFF, 0xFF, 0xFF, 0xFF}},
        {"2.5", {0x00, 0x00, 0x00, 0x02}},  // half to even
        {"3.5", {0x00, 0x00, 0x00, 0x04}},
        {"0x0", {0x00, 0x00, 0x00, 0x00}},
    };
    for (const auto& c : cases) {
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(HexByte(c.text, i), c.bytes[i]) << c.text << " byte " << i;
        }
    }
}

TEST(HexByteTest, TextsThatAreNoNumberRaiseAnError) {
    for (const char* text : {"", "abc", "0x", "&h", "0x12G4", "12abc", "0X10", "0x123456789"}) {
        EXPECT_THROW(HexByte(text, 3), vrx::LinkError) << '"' << text << '"';
    }
}

TEST(NormalizeHexPrefixTest, ReplacesOnlyLowerCasePrefixes) {
    const std::pair<const char*, const char*> cases[] = {
        {"0x1F", "&h1F"}, {"0h1F", "&h1F"}, {"0X1F", "0X1F"}, {"0H1F", "0H1F"},
        {"1F", "1F"},     {"", ""},         {"0x", "&h"},     {"x0x1", "x0x1"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(NormalizeHexPrefix(in), out) << in;
}

TEST(HexTextToLongTest, ReadsAsFarAsTheNumberGoes) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"0x1000", 0x1000},
        {"0x12G4", 0x12},
        {"4096", 4096},
        {"80000000", 80000000},  // no prefix: decimal
        {"", 0},
        {"abc", 0},
        {"0x", 0},
        {"&h7FFFFFFF", 0x7FFFFFFF},
        {"0x0800000", 0x800000},
        {"2.5", 2},
        {"7.6", 8},
        {" 12 ", 12},
        {"0X10", 0},  // not a prefix: no leading number
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(HexTextToLong(text), value) << text;
}

TEST(HexTextToLongTest, HighAndNegativeValuesBecome32768PlusTheirLow15Bits) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"0x80000000", 32768},          {"0x80000004", 32768 + 4}, {"0xFFFFFFFF", 32768 + 0x7FFF},
        {"0x8000ABCD", 32768 + 0x2BCD}, {"-1", 32768 + 0x7FFF},    {"-32768", 32768},
        {"-5", 32768 + 0x7FFB},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(HexTextToLong(text), value) << text;
}

TEST(DropLastCharTest, DropsOneCharacter) {
    EXPECT_EQ(DropLastChar("0x80000004"), "0x8000000");
    EXPECT_EQ(DropLastChar("a"), "");
    EXPECT_EQ(DropLastChar(""), "");
}

}  // namespace
