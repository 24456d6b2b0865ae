#include "pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vrx::sim {

namespace {
// How often a pty without peer is checked for one; only runs while nobody
// holds the slave, so an idle simulator costs next to nothing.
constexpr int kPeerPollMs = 50;
// Most a single read takes from the master (the packet-mode status byte included).
constexpr int kReadChunk = 4096;
// Received bytes held for the board, as a UART driver's buffer; beyond it the
// pty is not read, so its kernel buffer fills and the writer must wait.
constexpr qsizetype kReceiveHold = 4096;
// Backlog kept for a peer that does not read; beyond it the oldest bytes go,
// as they would from a real UART's full buffer.
constexpr qsizetype kMaxOutgoing = 1 << 20;

SerialError systemError(const char* what) {
    return SerialError(std::string(what) + ": " + std::strerror(errno));
}

// The slave gets raw settings once, through a short opening of our own; its
// closing also puts the master in the hang-up state, so the first real opening
// is seen like every later one.
void makeSlaveRaw(const QString& path) {
    const int slave = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (slave < 0) throw systemError("cannot open the pseudo-terminal's slave");
    termios settings{};
    if (::tcgetattr(slave, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::tcsetattr(slave, TCSANOW, &settings);
    }
    ::close(slave);
}
}  // namespace

PtyLine::PtyLine(QObject* parent) : SerialLine(parent) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) throw systemError("cannot make a pseudo-terminal");
    char name[128] = {};
    int packet = 1;
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0 || ::ioctl(master_, TIOCPKT, &packet) != 0) {
        const SerialError error = systemError("cannot set up the pseudo-terminal");
        ::close(master_);
        throw error;
    }
    slavePath_ = QString::fromLocal8Bit(name);
    try {
        makeSlaveRaw(slavePath_);
    } catch (...) {
        ::close(master_);
        throw;
    }
    readNotifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    readNotifier_->setEnabled(false);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &PtyLine::onReadable);
    writeNotifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, &PtyLine::onWritable);
    peerPoll_.setInterval(kPeerPollMs);
    connect(&peerPoll_, &QTimer::timeout, this, &PtyLine::pollPeer);
    peerPoll_.start();
}

PtyLine::~PtyLine() {
    readNotifier_.reset();
    writeNotifier_.reset();
    if (master_ >= 0) ::close(master_);
}

void PtyLine::open(const QString&, const QString&) {
    open_ = true;
}

void PtyLine::close() {
    open_ = false;
    received_.clear();
    outgoing_.clear();
    writeNotifier_->setEnabled(false);
}

void PtyLine::write(const QByteArray& bytes) {
    if (!open_) throw SerialError("write on a closed port");
    // With nobody holding the device the bytes would wait in the pty and reach
    // whoever opens it next, long after they meant anything: a line without a
    // listener loses them.
    if (!peerConnected_) return;
    outgoing_.append(bytes);
    if (outgoing_.size() > kMaxOutgoing) outgoing_.remove(0, outgoing_.size() - kMaxOutgoing);
    flushOutgoing();
}

qint64 PtyLine::writeRoom() {
    return kMaxOutgoing - outgoing_.size();
}

QByteArray PtyLine::read(qint64 maxBytes) {
    const qint64 n = (maxBytes <= 0 || maxBytes > received_.size()) ? received_.size() : maxBytes;
    QByteArray out = received_.left(n);
    received_.remove(0, n);
    if (peerConnected_ && received_.size() < kReceiveHold) readNotifier_->setEnabled(true);
    return out;
}

void PtyLine::flushOutgoing() {
    while (!outgoing_.isEmpty()) {
        const ssize_t n = ::write(master_, outgoing_.constData(), size_t(outgoing_.size()));
        if (n > 0) {
            outgoing_.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            outgoing_.clear();  // the pty is gone; nobody will read these
            break;
        }
        break;
    }
    writeNotifier_->setEnabled(!outgoing_.isEmpty());
}

void PtyLine::onWritable() {
    flushOutgoing();
}

// In packet mode every read starts with a status byte: 0 for data, otherwise
// a set of TIOCPKT_ flags with no data behind it.
void PtyLine::onReadable() {
    bool arrived = false;
    for (;;) {
        if (open_ && received_.size() >= kReceiveHold) {
            readNotifier_->setEnabled(false);  // read() takes it up again
            break;
        }
        char buffer[kReadChunk];
        const qsizetype room =
            open_ ? kReceiveHold - received_.size() + 1 : qsizetype(sizeof buffer);
        const ssize_t n = ::read(master_, buffer, size_t(std::min<qsizetype>(room, sizeof buffer)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n <= 0) {  // EIO: nobody holds the slave any more
            setPeerConnected(false);
            break;
        }
        const quint8 status = quint8(buffer[0]);
        if (status == TIOCPKT_DATA) {
            if (open_) received_.append(buffer + 1, n - 1);
            arrived = arrived || (open_ && n > 1);
        } else if (status & TIOCPKT_FLUSHREAD) {
            emit peerDiscardedInput();
        }
    }
    if (arrived) emit dataArrived();
}

void PtyLine::pollPeer() {
    pollfd probe{master_, POLLIN, 0};
    if (::poll(&probe, 1, 0) < 0) return;
    if (!(probe.revents & POLLHUP)) setPeerConnected(true);
}

void PtyLine::setPeerConnected(bool connected) {
    if (connected == peerConnected_) return;
    peerConnected_ = connected;
    readNotifier_->setEnabled(connected);
    if (connected) {
        peerPoll_.stop();
        emit peerOpened();
        onReadable();  // the peer may already have written
    } else {
        outgoing_.clear();
        writeNotifier_->setEnabled(false);
        peerPoll_.start();
        emit peerClosed();
    }
}

}  // namespace vrx::sim
