// Number texts of the loader: addresses and sizes written as "0x" and hex
// digits, or plain decimal. HexByte takes one byte of a text's 32-bit value for
// the line; HexTextToLong gives the value the address check and the transfers
// count with; NormalizeHexPrefix and DropLastChar are the small text steps the
// address entry shares with them.
#pragma once

#include <QString>
#include <cstdint>

namespace vrx {

// "0x..." becomes "&h...", then "0h..." becomes "&h...". Case-sensitive: "0X"
// and "0H" are left alone.
QString NormalizeHexPrefix(const QString& text);

// Byte i (0 = most significant, 3 = least) of the 32-bit value of `text`: hex
// after a "0x"/"0h"/"&h" prefix, decimal otherwise (blanks around allowed, a
// fraction rounded half to even, negative values in two's complement). Throws
// LinkError when the text is no number or does not fit in 32 bits.
std::uint8_t HexByte(const QString& text, int i);

// The number value of an address or size text, read as far as it goes
// ("0x12G4" is 0x12, "" and "abc" are 0). Values above 0x7FFFFFFF and negative
// values come back as 32768 plus their low 15 bits; callers keep addresses of
// that size away from it.
std::int32_t HexTextToLong(const QString& text);

// The text without its last character ("" stays "").
QString DropLastChar(const QString& text);

}  // namespace vrx
