#include "hex_text.h"

#include <cmath>
#include <optional>

#include "link_error.h"

namespace vrx {

namespace {

bool isHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool startsWithHexMark(const QString& text) {
    return text.size() >= 2 && text[0] == u'&' && (text[1] == u'h' || text[1] == u'H');
}

// A decimal number at the start of `text` (sign, digits, optional fraction):
// its value and how many characters it took, or nothing when none starts there.
struct DecimalPrefix {
    double value;
    qsizetype length;
};

std::optional<DecimalPrefix> readDecimal(const QString& text, qsizetype pos) {
    const qsizetype start = pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
        negative = text[pos] == u'-';
        ++pos;
    }
    double value = 0;
    int digits = 0;
    while (pos < text.size() && text[pos].isDigit() && text[pos].unicode() < 128) {
        value = value * 10 + (text[pos].unicode() - '0');
        ++pos;
        ++digits;
    }
    if (pos < text.size() && text[pos] == u'.') {
        ++pos;
        double scale = 0.1;
        while (pos < text.size() && text[pos].isDigit() && text[pos].unicode() < 128) {
            value += scale * (text[pos].unicode() - '0');
            scale /= 10;
            ++pos;
            ++digits;
        }
    }
    if (digits == 0) return std::nullopt;
    return DecimalPrefix{negative ? -value : value, pos - start};
}

qsizetype skipBlanks(const QString& text, qsizetype pos) {
    while (pos < text.size() && text[pos] == u' ') ++pos;
    return pos;
}

// The strict reading HexByte needs: the whole text must be one number.
std::uint32_t strictValue(const QString& text) {
    const QString t = NormalizeHexPrefix(text.trimmed());
    const auto notANumber = [&] {
        return LinkError("'" + text.toStdString() + "' is not a number");
    };
    if (startsWithHexMark(t)) {
        const QString digits = t.mid(2);
        if (digits.isEmpty()) throw notANumber();
        for (QChar c : digits) {
            if (!isHexDigit(c)) throw notANumber();
        }
        bool ok = false;
        const qulonglong v = digits.toULongLong(&ok, 16);
        if (!ok || v > 0xFFFFFFFFull) {
            throw LinkError("'" + text.toStdString() + "' does not fit in 32 bits");
        }
        return static_cast<std::uint32_t>(v);
    }
    const auto decimal = readDecimal(t, 0);
    if (!decimal || decimal->length != t.size()) throw notANumber();
    const double rounded = std::nearbyint(decimal->value);  // half to even
    if (rounded < -2147483648.0 || rounded > 4294967295.0) {
        throw LinkError("'" + text.toStdString() + "' does not fit in 32 bits");
    }
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(rounded));
}

std::int32_t foldHighValues(std::int64_t value) {
    if (value >= 0 && value <= 0x7FFFFFFF) return static_cast<std::int32_t>(value);
    return 32768 + static_cast<std::int32_t>(static_cast<std::uint64_t>(value) & 0x7FFF);
}

}  // namespace

QString NormalizeHexPrefix(const QString& text) {
    QString out = text;
    if (out.startsWith(QLatin1String("0x"))) out = "&h" + out.mid(2);
    if (out.startsWith(QLatin1String("0h"))) out = "&h" + out.mid(2);
    return out;
}

std::uint8_t HexByte(const QString& text, int i) {
    if (i < 0 || i > 3) throw LinkError("byte index out of range");
    const std::uint32_t value = strictValue(text);
    return static_cast<std::uint8_t>(value >> (8 * (3 - i)));
}

std::int32_t HexTextToLong(const QString& text) {
    const QString t = NormalizeHexPrefix(text);
    if (startsWithHexMark(t)) {
        std::uint64_t value = 0;
        for (qsizetype pos = 2; pos < t.size() && isHexDigit(t[pos]); ++pos) {
            // Only the low 32 bits count; longer texts are not used.
            value = ((value << 4) | QString(t[pos]).toUInt(nullptr, 16)) & 0xFFFFFFFFull;
        }
        return foldHighValues(static_cast<std::int64_t>(value));
    }
    const auto decimal = readDecimal(t, skipBlanks(t, 0));
    if (!decimal) return 0;
    const double rounded = std::nearbyint(decimal->value);
    return foldHighValues(static_cast<std::int64_t>(std::fmod(rounded, 4294967296.0)));
}

QString DropLastChar(const QString& text) {
    return text.isEmpty() ? text : text.chopped(1);
}

}  // namespace vrx
