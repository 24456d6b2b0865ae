// vrxload --trace FILE: every byte on the serial line, both ways, with the
// time since the trace began, its direction and a hex + ASCII column, for
// chasing protocol problems. The line writes a trace entry per write and per
// read, in the order they happened.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <functional>

namespace vrx::cli {

enum class TraceDirection { Sent, Received };

// The trace lines of one chunk, at most 16 bytes to a line:
// "    12.345 TX  41 55 33                                         |AU3|"
QString TraceLines(qint64 milliseconds, TraceDirection direction, const QByteArray& bytes);

class LineTrace {
  public:
    // Milliseconds on a monotonic clock; tests hand in their own.
    using Clock = std::function<qint64()>;

    // `out` stays owned by the caller and must be open for writing.
    explicit LineTrace(QIODevice& out, Clock clock = {});

    void bytes(TraceDirection direction, const QByteArray& bytes);
    // An event on the line ("open /dev/ttyUSB0 115200,N,8,1", "close").
    void note(const QString& text);

  private:
    qint64 elapsed() const;
    void write(const QString& text);

    QIODevice& out_;
    Clock clock_;
    qint64 start_;
};

}  // namespace vrx::cli
