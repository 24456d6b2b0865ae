#include "line_trace.h"

#include <QDeadlineTimer>
#include <QFileDevice>

namespace vrx::cli {

namespace {

constexpr int kBytesPerLine = 16;

QString timeText(qint64 milliseconds) {
    return QString("%1.%2").arg(milliseconds / 1000, 6).arg(milliseconds % 1000, 3, 10, QChar('0'));
}

}  // namespace

QString TraceLines(qint64 milliseconds, TraceDirection direction, const QByteArray& bytes) {
    const QString lead =
        timeText(milliseconds) +
        (direction == TraceDirection::Sent ? QStringLiteral(" TX ") : QStringLiteral(" RX "));
    QString text;
    for (qsizetype at = 0; at < bytes.size(); at += kBytesPerLine) {
        const QByteArray piece = bytes.mid(at, kBytesPerLine);
        QString hex;
        QString ascii;
        for (const char c : piece) {
            const auto byte = static_cast<unsigned char>(c);
            hex += QString(" %1").arg(byte, 2, 16, QChar('0'));
            ascii += byte >= 0x20 && byte < 0x7F ? QChar(byte) : QChar('.');
        }
        text += lead + hex.leftJustified(3 * kBytesPerLine) + "  |" + ascii + "|\n";
    }
    return text;
}

LineTrace::LineTrace(QIODevice& out, Clock clock)
    : out_(out),
      clock_(clock ? std::move(clock) : Clock([] { return QDeadlineTimer::current().deadline(); })),
      start_(clock_()) {}

qint64 LineTrace::elapsed() const {
    return clock_() - start_;
}

void LineTrace::write(const QString& text) {
    out_.write(text.toUtf8());
    // A trace is read after a crash or a hang too.
    if (auto* file = qobject_cast<QFileDevice*>(&out_)) file->flush();
}

void LineTrace::bytes(TraceDirection direction, const QByteArray& bytes) {
    if (!bytes.isEmpty()) write(TraceLines(elapsed(), direction, bytes));
}

void LineTrace::note(const QString& text) {
    write(timeText(elapsed()) + " -- " + text + "\n");
}

}  // namespace vrx::cli
