// Number texts of the loader on arbitrary input: the hex prefix rewrite,
// HexTextToLong, HexByte (which may refuse with LinkError, nothing else), the
// address box form for every slot, DropLastChar and the address check of a
// ticked slot with that text.
#include <QString>
#include <array>
#include <cstdlib>

#include "address_check.h"
#include "hex_text.h"
#include "link_error.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

bool isHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // Both ways a text reaches the loader: Latin-1 bytes from a port or file,
    // UTF-8 from a box.
    const char* bytes = reinterpret_cast<const char*>(data);
    const QString texts[] = {QString::fromLatin1(bytes, static_cast<qsizetype>(size)),
                             QString::fromUtf8(bytes, static_cast<qsizetype>(size))};
    for (const QString& text : texts) {
        vrx::NormalizeHexPrefix(text);
        const std::int32_t value = vrx::HexTextToLong(text);
        check(value >= 0);
        for (int i = 0; i < 4; ++i) {
            try {
                vrx::HexByte(text, i);
            } catch (const vrx::LinkError&) {
            }
        }
        for (int slot = 0; slot < 7; ++slot) {
            const QString box = vrx::NormalizeAddressText(text, slot);
            check(box.startsWith("0x"));
            check(box == "0x0" || box.size() == 2 + vrx::AddressDigits(slot));
            for (qsizetype k = 2; k < box.size(); ++k) check(isHexDigit(box[k]));
        }
        const QString shorter = vrx::DropLastChar(text);
        check(shorter.size() == std::max<qsizetype>(0, text.size() - 1));

        std::array<vrx::AddressSlot, 7> inputs;
        inputs[1] = {true, text, text};
        const auto result = vrx::CheckAddresses(inputs, {});
        check(result.rows.size() == 4);
    }
    return 0;
}
