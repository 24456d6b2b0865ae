// The SerialLine on QSerialPort: a real adapter (/dev/ttyUSB0, /dev/ttyS0) or
// a pseudo-terminal, opened by its full device path. Failing DTR control (a
// pseudo-terminal has none) is ignored. A device that goes away under an open
// port closes the port and emits lineLost().
//
// Writes are gathered for a moment (up to kWriteChunk bytes or kWriteDelayMs)
// and handed to the device together, so a transfer that sends byte by byte
// does not pay a system call per byte; a byte sent before a wait still leaves
// within milliseconds. The loader never runs more than kWriteHighWater bytes
// ahead of the device: a slow line makes write() wait, so a response time-out
// armed after the last byte starts when the bytes are nearly out.
#pragma once

#include <QSerialPort>
#include <QTimer>

#include "serial_line.h"

namespace vrx {

inline constexpr qsizetype kWriteChunk = 512;
inline constexpr int kWriteDelayMs = 2;
inline constexpr qint64 kWriteHighWater = 4096;
// A device that takes no byte for this long (XOFF never lifted, a stuck
// adapter) fails the write.
inline constexpr int kWriteStallMs = 5000;

class QSerialPortLine : public SerialLine {
    Q_OBJECT
  public:
    explicit QSerialPortLine(QObject* parent = nullptr);
    ~QSerialPortLine() override;

    void open(const QString& device, const QString& settings) override;
    void close() override;
    bool isOpen() const override { return port_.isOpen(); }
    void discardInput() override;
    void write(const QByteArray& bytes) override;
    qint64 bytesWaiting() override;
    QByteArray read(qint64 maxBytes) override;
    void setFlowControl(FlowControl flow) override;
    void setDtr(bool on) override;

    QString device() const { return device_; }

  private:
    void applySettings(const QString& settings);
    void flushPending();
    void onError(QSerialPort::SerialPortError error);
    [[noreturn]] void fail(const QString& what);

    QSerialPort port_;
    QString device_;
    QByteArray pending_;
    QTimer flushTimer_;
    QString lossText_;  // why the port closed under us, for the next write
    FlowControl flow_ = FlowControl::None;
    bool lossQueued_ = false;
};

}  // namespace vrx
