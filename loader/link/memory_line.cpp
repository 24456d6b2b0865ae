#include "memory_line.h"

#include <QMetaObject>
#include <limits>

namespace vrx {

MemoryLine::MemoryLine(QObject* parent) : SerialLine(parent) {}

void MemoryLine::open(const QString& device, const QString& settings) {
    if (refused_.contains(device)) {
        throw SerialError("cannot open " + device.toStdString() + ": no such device");
    }
    device_ = device;
    settings_ = settings;
    open_ = true;
    ++openCount_;
}

void MemoryLine::close() {
    open_ = false;
}

void MemoryLine::discardInput() {
    received_.clear();
    if (peer_) emit peer_->peerDiscardedInput();
}

void MemoryLine::write(const QByteArray& bytes) {
    if (!open_) throw SerialError("write on a closed port");
    if (writeFails_ || !peer_) throw SerialError("write failed: the device is gone");
    written_.append(bytes);
    peer_->deliver(bytes);
}

qint64 MemoryLine::writeRoom() {
    if (capacity_ <= 0) return std::numeric_limits<qint64>::max();
    return peer_ ? capacity_ - peer_->received_.size() : 0;
}

QByteArray MemoryLine::read(qint64 maxBytes) {
    const qint64 n = (maxBytes <= 0 || maxBytes > received_.size()) ? received_.size() : maxBytes;
    QByteArray out = received_.left(n);
    received_.remove(0, n);
    // The writer at the other end may be asleep waiting for this room.
    if (n > 0 && peer_ && peer_->capacity_ > 0 && !peer_->roomQueued_) {
        peer_->roomQueued_ = true;
        QMetaObject::invokeMethod(
            peer_,
            [writer = peer_.data()] {
                writer->roomQueued_ = false;
                emit writer->roomAvailable();
            },
            Qt::QueuedConnection);
    }
    return out;
}

void MemoryLine::setDtr(bool on) {
    if (on == dtr_) return;
    dtr_ = on;
    if (peer_) emit peer_->dtrChanged(on);
}

void MemoryLine::inject(const QByteArray& bytes) {
    deliver(bytes);
}

void MemoryLine::simulateLoss() {
    writeFails_ = true;
    if (peer_) {
        peer_->writeFails_ = true;
        QMetaObject::invokeMethod(peer_, &SerialLine::lineLost, Qt::QueuedConnection);
    }
}

// Bytes become readable at once (bytesWaiting() sees them), but the signal goes
// through the event loop, one per batch, so the receiver never runs inside the
// sender's write().
void MemoryLine::deliver(const QByteArray& bytes) {
    received_.append(bytes);
    if (deliveryQueued_) return;
    deliveryQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            deliveryQueued_ = false;
            if (!received_.isEmpty()) emit dataArrived();
        },
        Qt::QueuedConnection);
}

void connectLines(MemoryLine& a, MemoryLine& b) {
    a.peer_ = &b;
    b.peer_ = &a;
}

MemoryLinePair::MemoryLinePair()
    : loaderEnd(std::make_unique<MemoryLine>()), boardEnd(std::make_unique<MemoryLine>()) {
    connectLines(*loaderEnd, *boardEnd);
}

}  // namespace vrx
