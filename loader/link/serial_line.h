// The serial line the loader talks over, reduced to the operations the program
// needs: open a device with its settings, discard input, ask whether open,
// write bytes, count and read received bytes, choose flow control, drive DTR.
//
// Implementations: QSerialPortLine (a real or pseudo terminal device) and the
// in-memory pair of memory_line.h (tests, simulator). All run on the thread that
// owns them and announce received bytes with dataArrived(), so a waiter can
// sleep in the event loop instead of polling.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <stdexcept>

namespace vrx {

// A port that cannot be opened or driven. Caught by the sequence that started
// the operation and shown as the communication error message.
class SerialError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class FlowControl { None, XonXoff };

class SerialLine : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    ~SerialLine() override = default;

    // Opens `device` with a settings text such as "115200,N,8,1". Throws
    // SerialError when the device does not exist, is busy or refuses the settings.
    virtual void open(const QString& device, const QString& settings) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Drops every received byte that has not been read yet.
    virtual void discardInput() = 0;
    // Puts the bytes on the line unchanged. Throws SerialError when the port is
    // closed or the write fails. Never waits: bytes the device cannot take yet
    // are queued, however many there are.
    virtual void write(const QByteArray& bytes) = 0;
    // How many more bytes the line takes before the writer runs too far ahead
    // of the device (<= 0: wait for room). A line that wants the writer to
    // wait also makes sure an event wakes it when room comes (its own timer,
    // the device's write notifier), so waitForRoom() can sleep.
    virtual qint64 writeRoom() = 0;
    virtual qint64 bytesWaiting() = 0;
    // Reads up to `maxBytes` received bytes (all waiting bytes when maxBytes <= 0).
    virtual QByteArray read(qint64 maxBytes) = 0;
    virtual void setFlowControl(FlowControl flow) = 0;
    // On a pseudo terminal DTR cannot be driven; implementations ignore that.
    virtual void setDtr(bool on) = 0;

  signals:
    // Room came on a line that had none (see writeRoom()).
    void roomAvailable();
    // New bytes were received (emitted from the event loop, never re-entrantly
    // from inside write()).
    void dataArrived();
    // The device went away under an open port (adapter unplugged, peer closed).
    void lineLost();
};

// Sleeps in the event loop until `line` has room to write, the line closes or
// `stop()` holds. Everything else (repaint, timers, Cancel, Ctrl-C) runs
// meanwhile, so a slow or flow-controlled device never freezes the program.
void waitForRoom(SerialLine& line, const std::function<bool()>& stop);

}  // namespace vrx
