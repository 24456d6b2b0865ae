// The SerialLine on QSerialPort: a real adapter (/dev/ttyUSB0, /dev/ttyS0) or
// a pseudo-terminal, opened by its full device path. Writes go to the device
// at once, so a byte sent before a wait is on the wire while the loader waits.
// Failing DTR control (a pseudo-terminal has none) is ignored. A device that
// goes away under an open port closes the port and emits lineLost().
#pragma once

#include <QSerialPort>

#include "serial_line.h"

namespace vrx {

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
    void onError(QSerialPort::SerialPortError error);
    [[noreturn]] void fail(const QString& what);

    QSerialPort port_;
    QString device_;
    FlowControl flow_ = FlowControl::None;
    bool lossQueued_ = false;
};

}  // namespace vrx
