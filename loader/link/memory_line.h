// An in-memory serial line: two connected ends, whatever one end writes the
// other end receives. Used by the tests and by the board simulator when it plays
// the target inside the same process. Delivery is queued through the event loop
// (dataArrived fires on the next turn), as with a real port.
#pragma once

#include <QByteArray>
#include <QPointer>
#include <QStringList>
#include <memory>

#include "serial_line.h"

namespace vrx {

class MemoryLine : public SerialLine {
    Q_OBJECT
  public:
    explicit MemoryLine(QObject* parent = nullptr);

    void open(const QString& device, const QString& settings) override;
    void close() override;
    bool isOpen() const override { return open_; }
    void discardInput() override;
    void write(const QByteArray& bytes) override;
    // Unbounded unless setCapacity() gave the line a buffer.
    qint64 writeRoom() override;
    qint64 bytesWaiting() override { return received_.size(); }
    QByteArray read(qint64 maxBytes) override;
    void setFlowControl(FlowControl flow) override { flow_ = flow; }
    void setDtr(bool on) override;

    // --- for tests and the simulator ---
    // Devices that open() refuses ("no such device"); empty means all are accepted.
    void setRefusedDevices(const QStringList& devices) { refused_ = devices; }
    // A buffer of `bytes` between this end and the peer, as a UART's: the
    // peer's unread bytes count against it, and this end's writeRoom() goes to
    // zero when it is full (roomAvailable() follows when the peer reads).
    // Writes are still taken, as a driver queues them. 0: unbounded.
    void setCapacity(qint64 bytes) { capacity_ = bytes; }
    // Makes every following write() fail, as a vanished adapter would.
    void setWriteFails(bool fails) { writeFails_ = fails; }
    QString device() const { return device_; }
    QString settings() const { return settings_; }
    FlowControl flowControl() const { return flow_; }
    bool dtr() const { return dtr_; }
    int openCount() const { return openCount_; }
    // Every byte written on this end since creation (or the last clearWritten()).
    const QByteArray& written() const { return written_; }
    void clearWritten() { written_.clear(); }
    // Bytes arrive on this end as if the peer had written them. Works whether
    // or not this end is open, so a test can fill the line before opening.
    void inject(const QByteArray& bytes);
    // Tells the other end that this end went away.
    void simulateLoss();

    MemoryLine* peer() const { return peer_; }
    friend void connectLines(MemoryLine& a, MemoryLine& b);

  signals:
    // DTR on this end changed (the peer watches it for a reset pulse).
    void dtrChanged(bool on);
    // The peer dropped its unread input, as a port does when it is opened (the
    // simulated board takes it as the moment to reset).
    void peerDiscardedInput();

  private:
    void deliver(const QByteArray& bytes);

    QPointer<MemoryLine> peer_;
    QByteArray received_;
    QByteArray written_;
    QStringList refused_;
    QString device_;
    QString settings_;
    FlowControl flow_ = FlowControl::None;
    bool open_ = false;
    bool dtr_ = true;
    bool writeFails_ = false;
    bool deliveryQueued_ = false;
    int openCount_ = 0;
    qint64 capacity_ = 0;
    bool roomQueued_ = false;
};

// Wires two ends together: what one writes, the other receives.
void connectLines(MemoryLine& a, MemoryLine& b);

// Two connected ends owned together.
struct MemoryLinePair {
    MemoryLinePair();
    std::unique_ptr<MemoryLine> loaderEnd;
    std::unique_ptr<MemoryLine> boardEnd;
};

}  // namespace vrx
