#include "qserialport_line.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QStringList>
#include <utility>

namespace vrx {

namespace {

QSerialPort::FlowControl toQt(FlowControl flow) {
    return flow == FlowControl::XonXoff ? QSerialPort::SoftwareControl : QSerialPort::NoFlowControl;
}

}  // namespace

QSerialPortLine::QSerialPortLine(QObject* parent) : SerialLine(parent) {
    flushTimer_.setSingleShot(true);
    connect(&flushTimer_, &QTimer::timeout, this, [this] {
        try {
            flushPending();
        } catch (const SerialError& e) {
            // Nobody to report to from a timer: the next write reports it.
            lossText_ = QString::fromLocal8Bit(e.what());
        }
    });
    connect(&port_, &QSerialPort::readyRead, this, &SerialLine::dataArrived);
    connect(&port_, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { onError(error); });
}

QSerialPortLine::~QSerialPortLine() = default;

void QSerialPortLine::fail(const QString& what) {
    const QString text = what + ": " + port_.errorString();
    port_.clearError();
    throw SerialError(text.toStdString());
}

void QSerialPortLine::open(const QString& device, const QString& settings) {
    if (port_.isOpen()) close();
    lossText_.clear();
    pending_.clear();
    // A full path is used as it is; QSerialPort would otherwise prefix /dev/.
    port_.setPortName(device);
    device_ = device;
    if (!port_.open(QIODevice::ReadWrite)) fail("cannot open " + device);
    try {
        applySettings(settings);
    } catch (...) {
        port_.close();
        throw;
    }
    // Pseudo-terminals have no modem lines: refusing DTR there is harmless.
    port_.setDataTerminalReady(true);
    port_.clearError();
}

// "115200,N,8,1": baud, parity (N, E, O, M, S), data bits, stop bits.
void QSerialPortLine::applySettings(const QString& settings) {
    const QStringList parts = settings.split(',');
    const auto refuse = [&] {
        return SerialError("unsupported line settings \"" + settings.toStdString() + "\"");
    };
    if (parts.size() != 4) throw refuse();
    bool ok = false;
    const int baud = parts[0].trimmed().toInt(&ok);
    if (!ok || baud <= 0) throw refuse();

    QSerialPort::Parity parity;
    const QString p = parts[1].trimmed().toUpper();
    if (p == "N")
        parity = QSerialPort::NoParity;
    else if (p == "E")
        parity = QSerialPort::EvenParity;
    else if (p == "O")
        parity = QSerialPort::OddParity;
    else if (p == "M")
        parity = QSerialPort::MarkParity;
    else if (p == "S")
        parity = QSerialPort::SpaceParity;
    else
        throw refuse();

    const int bits = parts[2].trimmed().toInt(&ok);
    if (!ok || bits < 5 || bits > 8) throw refuse();

    QSerialPort::StopBits stop;
    const QString s = parts[3].trimmed();
    if (s == "1")
        stop = QSerialPort::OneStop;
    else if (s == "1.5")
        stop = QSerialPort::OneAndHalfStop;
    else if (s == "2")
        stop = QSerialPort::TwoStop;
    else
        throw refuse();

    if (!port_.setBaudRate(baud) || !port_.setParity(parity) ||
        !port_.setDataBits(static_cast<QSerialPort::DataBits>(bits)) || !port_.setStopBits(stop) ||
        !port_.setFlowControl(toQt(flow_))) {
        fail("cannot apply \"" + settings + "\" to " + device_);
    }
}

void QSerialPortLine::close() {
    flushTimer_.stop();
    if (!port_.isOpen()) {
        pending_.clear();
        return;
    }
    // Bytes already handed to us belong on the wire, even when the port closes
    // right after the last send.
    try {
        flushPending();
    } catch (const SerialError&) {
        // Closing anyway; what could not be written is lost with the device.
    }
    port_.flush();
    port_.close();
    port_.clearError();
    pending_.clear();
}

void QSerialPortLine::discardInput() {
    if (port_.isOpen()) {
        port_.clear(QSerialPort::Input);
        port_.readAll();
    }
}

void QSerialPortLine::write(const QByteArray& bytes) {
    if (!port_.isOpen()) {
        throw SerialError(lossText_.isEmpty() ? std::string("write on a closed port")
                                              : lossText_.toStdString());
    }
    if (!lossText_.isEmpty()) throw SerialError(std::exchange(lossText_, {}).toStdString());
    pending_.append(bytes);
    if (pending_.size() >= kWriteChunk) {
        flushPending();
    } else if (!flushTimer_.isActive()) {
        flushTimer_.start(kWriteDelayMs);
    }
}

void QSerialPortLine::flushPending() {
    flushTimer_.stop();
    if (pending_.isEmpty() || !port_.isOpen()) return;
    const QByteArray bytes = std::exchange(pending_, {});
    if (port_.write(bytes) != bytes.size()) fail("write to " + device_ + " failed");
    port_.flush();
    QElapsedTimer stalled;
    stalled.start();
    qint64 waiting = port_.bytesToWrite();
    while (waiting > kWriteHighWater) {
        const auto error = port_.error();
        if (error == QSerialPort::WriteError || error == QSerialPort::ResourceError) {
            fail("write to " + device_ + " failed");
        }
        if (stalled.elapsed() > kWriteStallMs) {
            throw SerialError(
                ("write to " + device_ + " failed: the device takes no data").toStdString());
        }
        port_.waitForBytesWritten(100);
        if (!port_.isOpen()) throw SerialError(("write to " + device_ + " failed").toStdString());
        const qint64 now = port_.bytesToWrite();
        if (now < waiting) stalled.restart();
        waiting = now;
    }
    const auto error = port_.error();
    if (error == QSerialPort::WriteError || error == QSerialPort::ResourceError) {
        fail("write to " + device_ + " failed");
    }
}

qint64 QSerialPortLine::bytesWaiting() {
    return port_.isOpen() ? port_.bytesAvailable() : 0;
}

QByteArray QSerialPortLine::read(qint64 maxBytes) {
    if (!port_.isOpen()) return {};
    return maxBytes <= 0 ? port_.readAll() : port_.read(maxBytes);
}

void QSerialPortLine::setFlowControl(FlowControl flow) {
    flow_ = flow;
    if (port_.isOpen() && !port_.setFlowControl(toQt(flow))) {
        fail("cannot set flow control on " + device_);
    }
}

void QSerialPortLine::setDtr(bool on) {
    if (!port_.isOpen()) return;
    port_.setDataTerminalReady(on);
    port_.clearError();
}

// A device that went away (an unplugged adapter, a closed pseudo-terminal)
// shows as read or resource errors, repeated on every turn of the event loop
// for as long as the port stays open. They are reported from inside
// QSerialPort's own notifier or write, where closing would pull the notifier
// out from under it, so the port closes on the next turn.
void QSerialPortLine::onError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError) return;
    if (lossQueued_) return;
    lossQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            lossQueued_ = false;
            if (!port_.isOpen()) return;
            lossText_ = device_ + ": the device went away";
            flushTimer_.stop();
            pending_.clear();
            port_.close();
            port_.clearError();
            emit lineLost();
        },
        Qt::QueuedConnection);
}

}  // namespace vrx
