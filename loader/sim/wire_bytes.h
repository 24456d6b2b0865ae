// Small helpers for reading the wire: 32-bit little-endian fields and readable
// renderings of bytes for the board's event log.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vrx::sim {

inline quint32 le32(const QByteArray& bytes, int at) {
    quint32 value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | quint8(bytes[at + i]);
    return value;
}

inline QByteArray le32Bytes(quint32 value) {
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = char((value >> (8 * i)) & 0xFF);
    return out;
}

inline QString hexValue(quint32 value, int digits = 8) {
    return "0x" + QString::number(value, 16).toUpper().rightJustified(digits, '0');
}

// A byte as the event log shows it: 'A' (0x41), or 0x02 for a control byte.
inline QString byteText(quint8 byte) {
    const QString hex = hexValue(byte, 2);
    if (byte >= 0x20 && byte < 0x7F) return QString("'%1' (%2)").arg(QChar(byte), hex);
    return hex;
}

// Bytes the board answers with, as -v shows them: printable ones as
// characters ('R'), the rest as hex pairs, with an ellipsis when longer.
inline QString answerText(const QByteArray& bytes, int limit = 24) {
    QStringList parts;
    for (const char c : bytes.left(limit)) {
        const auto byte = quint8(c);
        parts << ((byte >= 0x20 && byte < 0x7F)
                      ? QString("'%1'").arg(QChar(byte))
                      : QString::number(byte, 16).toUpper().rightJustified(2, '0'));
    }
    if (bytes.size() > limit) parts << "...";
    return parts.isEmpty() ? QStringLiteral("(nothing)") : parts.join(' ');
}

// Up to `limit` bytes as hex pairs, with an ellipsis when longer.
inline QString bytesText(const QByteArray& bytes, int limit = 24) {
    QString text = QString::fromLatin1(bytes.left(limit).toHex(' ')).toUpper();
    if (bytes.size() > limit) text += " ...";
    return text.isEmpty() ? QStringLiteral("(nothing)") : text;
}

}  // namespace vrx::sim
