#include "qserialport_line.h"

#include <poll.h>
#include <sys/ioctl.h>

#include <QMetaObject>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <utility>

#include "port_error_hint.h"

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
    roomTimer_.setSingleShot(true);
    roomTimer_.setTimerType(Qt::PreciseTimer);
    connect(&roomTimer_, &QTimer::timeout, this, &SerialLine::roomAvailable);
    connect(&port_, &QSerialPort::readyRead, this, &SerialLine::dataArrived);
    connect(&port_, &QSerialPort::bytesWritten, this, [this] { onBytesWritten(); });
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
    backlog_ = 0;
    handedOver_ = takenSeen_ = 0;
    refilling_ = false;
    // A full path is used as it is; QSerialPort would otherwise prefix /dev/.
    port_.setPortName(device);
    device_ = device;
    if (!port_.open(QIODevice::ReadWrite))
        throw SerialError(PortOpenFailure(device, port_).toStdString());
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

    // A start bit, the data bits, the parity bit and the stop bits per byte.
    const double stopBits = stop == QSerialPort::OneStop   ? 1
                            : stop == QSerialPort::TwoStop ? 2
                                                           : 1.5;
    bytesPerSecond_ = baud / (1 + bits + (parity == QSerialPort::NoParity ? 0 : 1) + stopBits);

    if (!port_.setBaudRate(baud) || !port_.setParity(parity) ||
        !port_.setDataBits(static_cast<QSerialPort::DataBits>(bits)) || !port_.setStopBits(stop) ||
        !port_.setFlowControl(toQt(flow_))) {
        fail("cannot apply \"" + settings + "\" to " + device_);
    }
}

void QSerialPortLine::close() {
    flushTimer_.stop();
    roomTimer_.stop();
    if (!port_.isOpen()) {
        pending_.clear();
        return;
    }
    // Bytes already handed to us belong on the wire, even when the port closes
    // right after the last send: the device gets what it takes now.
    try {
        flushPending();
    } catch (const SerialError&) {
        // Closing anyway; what could not be written is lost with the device.
    }
    port_.flush();
    dropOutput();
    port_.close();
    port_.clearError();
    pending_.clear();
    backlog_ = 0;
    handedOver_ = takenSeen_ = 0;
    refilling_ = false;
}

// A target that holds XOFF, or a device that takes nothing, would keep the
// closing of a real serial port waiting until the driver gives up (half a
// minute). What it has not taken by now is abandoned instead.
void QSerialPortLine::dropOutput() {
    int unsent = 0;
    const bool held = flow_ == FlowControl::XonXoff &&
                      ::ioctl(int(port_.handle()), TIOCOUTQ, &unsent) == 0 && unsent > 0;
    if (port_.bytesToWrite() > 0 || held) port_.clear(QSerialPort::Output);
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

// Hands the gathered bytes to QSerialPort, which writes them whenever the
// device is writable; a device that is not is left to the event loop.
void QSerialPortLine::flushPending() {
    flushTimer_.stop();
    if (pending_.isEmpty() || !port_.isOpen()) return;
    const QByteArray bytes = std::exchange(pending_, {});
    if (port_.write(bytes) != bytes.size()) fail("write to " + device_ + " failed");
    handedOver_ += bytes.size();
}

qint64 QSerialPortLine::writeRoom() {
    if (!port_.isOpen()) return 0;
    const double ahead = double(port_.bytesToWrite() + pending_.size()) + wireBacklog();
    // A writer that had to wait goes on waiting until the backlog is down to
    // the low mark. Without that it would wake on every turn of the event loop
    // and send the few bytes the wire carried meanwhile, a system call and a
    // wake-up every few milliseconds for the whole transfer.
    if (ahead <= double(kWriteLowWater)) refilling_ = false;
    const qint64 room = refilling_ ? 0 : kWriteHighWater - qint64(std::ceil(ahead));
    if (room > 0) return room;
    refilling_ = true;
    // Room the device makes shows as bytesWritten; room the wire makes needs a
    // clock. A device that holds everything (XOFF) costs one wake-up per wait.
    if (!roomTimer_.isActive()) {
        const double wait = (ahead - double(kWriteLowWater)) / bytesPerSecond_ * 1000.0;
        roomTimer_.start(std::max(1, int(std::ceil(wait))));
    }
    return 0;
}

// QSerialPort announces what the device took (bytesWritten) only on a later
// turn; the bytes have already left its buffer, so they are counted from the
// buffer itself.
double QSerialPortLine::wireBacklog() {
    const qint64 taken = handedOver_ - port_.bytesToWrite();
    backlog_ += double(taken - takenSeen_);
    takenSeen_ = taken;
    if (backlogClock_.isValid()) {
        const double carried = double(backlogClock_.nsecsElapsed()) * 1e-9 * bytesPerSecond_;
        backlog_ = std::max(0.0, backlog_ - carried);
    }
    backlogClock_.start();
    return backlog_;
}

void QSerialPortLine::onBytesWritten() {
    if (port_.bytesToWrite() + pending_.size() < kWriteHighWater) emit roomAvailable();
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

bool QSerialPortLine::deviceHungUp() {
    pollfd probe{int(port_.handle()), POLLIN | POLLOUT, 0};
    if (::poll(&probe, 1, 0) < 0) return false;
    return (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// A device that went away (an unplugged adapter, a closed pseudo-terminal)
// shows as read or resource errors, repeated on every turn of the event loop
// for as long as the port stays open. They are reported from inside
// QSerialPort's own notifier or write, where closing would pull the notifier
// out from under it, so the port closes on the next turn.
//
// A device that cannot take more yet also reports a resource error, with the
// text of EAGAIN: that is back pressure, and the bytes stay queued. So does a
// hung-up device whose read ends without a new error number, hence the probe.
void QSerialPortLine::onError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::ResourceError && port_.errorString() == qt_error_string(EAGAIN) &&
        !deviceHungUp()) {
        port_.clearError();
        return;
    }
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
        error != QSerialPort::WriteError) {
        return;
    }
    if (lossQueued_) return;
    lossQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            lossQueued_ = false;
            if (!port_.isOpen()) return;
            lossText_ = device_ + ": the device went away";
            flushTimer_.stop();
            roomTimer_.stop();
            pending_.clear();
            port_.close();
            port_.clearError();
            emit lineLost();
        },
        Qt::QueuedConnection);
}

}  // namespace vrx
