// The SerialLine on QSerialPort: a real adapter (/dev/ttyUSB0, /dev/ttyS0) or
// a pseudo-terminal, opened by its full device path. Failing DTR control (a
// pseudo-terminal has none) is ignored. A device that goes away under an open
// port closes the port and emits lineLost().
//
// Writes are gathered for a moment (up to kWriteChunk bytes or kWriteDelayMs)
// and handed to the device together, so a transfer that sends byte by byte
// does not pay a system call per byte; a byte sent before a wait still leaves
// within milliseconds.
//
// A device that cannot take more yet (a full UART buffer, a target holding
// XOFF) is back pressure, not a failure: the bytes stay queued and go out when
// the device is writable again. writeRoom() keeps the writer no more than
// kWriteHighWater bytes ahead of the wire. What is ahead counts both the bytes
// the device has not taken and those it took but cannot have sent yet at the
// line's rate (an operating system buffers far more than a UART's few KiB), so
// a response time-out armed after the last byte starts when the bytes are
// nearly out. Nothing here blocks; a writer waits with waitForRoom().
#pragma once

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTimer>

#include "serial_line.h"

namespace vrx {

inline constexpr qsizetype kWriteChunk = 512;
inline constexpr int kWriteDelayMs = 2;
inline constexpr qint64 kWriteHighWater = 4096;
// A writer kept waiting is woken when this little is left ahead, so it
// sends in sizeable pieces rather than a few bytes per turn.
inline constexpr qint64 kWriteLowWater = 3072;

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
    qint64 writeRoom() override;
    qint64 bytesWaiting() override;
    QByteArray read(qint64 maxBytes) override;
    void setFlowControl(FlowControl flow) override;
    void setDtr(bool on) override;

    QString device() const { return device_; }
    // Bytes per second the line carries with its current settings.
    double lineRate() const { return bytesPerSecond_; }

  private:
    void applySettings(const QString& settings);
    void flushPending();
    void onError(QSerialPort::SerialPortError error);
    void onBytesWritten();
    // Bytes the device took that the wire cannot have carried yet.
    double wireBacklog();
    void dropOutput();
    bool deviceHungUp();
    [[noreturn]] void fail(const QString& what);

    QSerialPort port_;
    QString device_;
    QByteArray pending_;
    QTimer flushTimer_;
    QTimer roomTimer_;  // wakes a waiting writer when the wire has carried enough
    QElapsedTimer backlogClock_;
    double backlog_ = 0;
    qint64 handedOver_ = 0;   // bytes given to QSerialPort since opening
    qint64 takenSeen_ = 0;    // of those, taken by the device when last counted
    bool refilling_ = false;  // a writer waits for the low mark, not for any room
    double bytesPerSecond_ = 11520;
    QString lossText_;  // why the port closed under us, for the next write
    FlowControl flow_ = FlowControl::None;
    bool lossQueued_ = false;
};

}  // namespace vrx
