#include "address_check.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "dialogs.h"
#include "hex_text.h"
#include "loader_front.h"
#include "loader_state.h"

namespace vrx {

namespace {

constexpr std::int32_t kWindowFirst = 0x08000000;  // 0x80000000 without its last digit
constexpr std::int32_t kWindowLast = 0x083FFFFF;   // 0x83FFFFFF without its last digit

bool isHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// The value of a whole-text number: "&h" and 1 to 8 hex digits, or a decimal
// integer; blanks around it allowed. Negative decimals are taken in two's
// complement.
std::optional<std::uint32_t> strictAddressValue(const QString& typed) {
    const QString text = NormalizeHexPrefix(typed.trimmed());
    if (text.size() >= 2 && text[0] == u'&' && (text[1] == u'h' || text[1] == u'H')) {
        const QString digits = text.mid(2);
        if (digits.isEmpty() || digits.size() > 8) return std::nullopt;
        if (!std::all_of(digits.begin(), digits.end(), isHexDigit)) return std::nullopt;
        return static_cast<std::uint32_t>(digits.toULong(nullptr, 16));
    }
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 10);
    if (!ok || value < -0x80000000LL || value > 0xFFFFFFFFLL) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

// The size of a row for the overlap test. Sizes of 2 GiB and more would come
// back from HexTextToLong as small numbers and slip through, so they are taken
// at their full value.
std::int64_t sizeValue(const QString& size) {
    if (size.startsWith(QLatin1String("0x"))) {
        bool ok = false;
        const qulonglong full = size.mid(2).toULongLong(&ok, 16);
        if (ok && full > 0x7FFFFFFFull) return static_cast<std::int64_t>(full);
    }
    return HexTextToLong(size);
}

QString rangeMessage(const QString& name) {
    return QStringLiteral("Check the Start address for the ") + name +
           QStringLiteral("\r\nIt must be between 0x80000004 and 0x83FFFFF0");
}

QString overlapMessage(const QString& first, const QString& second) {
    return QStringLiteral("Address range for the ") + first +
           QStringLiteral("\r\noverlaps the address range for ") + second;
}

}  // namespace

int AddressDigits(int slot) {
    return (slot == 0 || slot == 6) ? 4 : 8;
}

QString NormalizeAddressText(const QString& text, int slot) {
    const auto value = strictAddressValue(text);
    if (!value) return QStringLiteral("0x0");
    const int digits = AddressDigits(slot);
    const QString padded = QString(digits, u'0') + QString::number(*value, 16).toUpper();
    return QStringLiteral("0x") + padded.right(digits);
}

AddressCheckResult CheckAddresses(const std::array<AddressSlot, 7>& slotInputs,
                                  const std::array<QString, 8>& names) {
    AddressCheckResult result;
    for (int i = 1; i <= 4; ++i) {
        const AddressSlot& slot = slotInputs[i];
        if (!slot.ticked) continue;
        const std::int32_t v = HexTextToLong(DropLastChar(slot.address));
        if (v > kWindowLast || v < kWindowFirst) {
            result.messages.push_back({QStringLiteral("Invalid address"), rangeMessage(names[i])});
        }
        result.rows.push_back({i, QStringLiteral("0x0") + slot.address.right(7), slot.size});
    }
    result.rows.push_back({5, QStringLiteral("0x00000000"), QStringLiteral("0x4")});
    result.rows.push_back({6, QStringLiteral("0x02000000"), QString()});
    result.rows.push_back({7, QStringLiteral("0x04000000"), QString()});
    // On equal starts the fixed mark comes first, so an image that begins
    // exactly on the 0x82000000 mark (and so does not cross it) is accepted.
    std::stable_sort(result.rows.begin(), result.rows.end(),
                     [](const AddressRow& a, const AddressRow& b) {
                         if (a.start != b.start) return a.start < b.start;
                         return a.index >= 5 && b.index < 5;
                     });
    if (!result.messages.empty()) {
        result.ok = false;
        return result;
    }
    for (std::size_t j = 0; j + 1 < result.rows.size(); ++j) {
        const AddressRow& row = result.rows[j];
        const AddressRow& next = result.rows[j + 1];
        const std::int64_t end = std::int64_t{HexTextToLong(row.start)} + sizeValue(row.size);
        if (end > HexTextToLong(next.start)) {
            result.messages.push_back({QStringLiteral("Address overlap or too large"),
                                       overlapMessage(names[row.index], names[next.index])});
        }
    }
    result.ok = result.messages.empty();
    return result;
}

std::array<AddressSlot, 7> AddressInputsOf(const LoaderFront& front) {
    std::array<AddressSlot, 7> inputs;
    for (int i = 0; i < kSlotCount; ++i)
        inputs[i] = {front.slotTicked(i), front.slotAddress(i), front.slotSize(i)};
    return inputs;
}

void ShowAddressMessages(const AddressCheckResult& result, Dialogs& dialogs) {
    LoaderState& state = loaderState();
    state.sMsg.clear();
    for (const AddressMessage& message : result.messages) {
        state.sMsg = message.text;
        dialogs.message(MessageIcon::Exclamation, message.title, state.sMsg);
    }
}

}  // namespace vrx
