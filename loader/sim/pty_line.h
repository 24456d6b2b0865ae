// PtyLine: a SerialLine on the master side of a pseudo-terminal, so the board
// simulator can be reached by any program that opens a serial device path
// (the loader's QSerialPort line, screen, minicom).
//
// The slave side is put in raw mode (cfmakeraw) when the pty is made; the
// loader sets its own line settings when it opens it. Baud rate, flow control
// and DTR mean nothing on a pty: setFlowControl() and setDtr() do nothing.
//
// Since DTR cannot be seen across a pty, PtyLine reports what can be seen of
// the peer instead (the master runs in packet mode):
//   peerOpened()          the slave was opened after every holder had closed it;
//                         seen by polling for the hang-up state while nobody
//                         holds the slave (the pty starts in that state).
//   peerDiscardedInput()  the peer flushed its input queue (tcflush TCIFLUSH),
//                         as the loader does right after it opens the port.
//   peerClosed()          the last holder of the slave closed it.
// Bytes written while nobody holds the slave are dropped, as on a line with no
// listener. vrx-board-sim resets the board on the first two events, so the loader finds a fresh
// boot ID after every opening of the port even when a quick close and reopen
// slips between two polls.
#pragma once

#include <QByteArray>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <memory>

#include "serial_line.h"

namespace vrx::sim {

class PtyLine : public SerialLine {
    Q_OBJECT
  public:
    // Makes the pseudo-terminal. Throws SerialError when the system has none to give.
    explicit PtyLine(QObject* parent = nullptr);
    ~PtyLine() override;

    // The device a peer opens, e.g. /dev/pts/3.
    QString slavePath() const { return slavePath_; }
    bool peerConnected() const { return peerConnected_; }

    // The pty exists from construction; open() and close() only decide whether
    // this end takes part (a closed end neither reads nor writes).
    void open(const QString& device, const QString& settings) override;
    void close() override;
    bool isOpen() const override { return open_; }
    void discardInput() override { received_.clear(); }
    void write(const QByteArray& bytes) override;
    qint64 writeRoom() override;
    qint64 bytesWaiting() override { return received_.size(); }
    QByteArray read(qint64 maxBytes) override;
    void setFlowControl(FlowControl) override {}
    void setDtr(bool) override {}

  signals:
    void peerOpened();
    void peerClosed();
    void peerDiscardedInput();

  private:
    void onReadable();
    void onWritable();
    void pollPeer();
    void setPeerConnected(bool connected);
    void flushOutgoing();

    int master_ = -1;
    QString slavePath_;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    QTimer peerPoll_;
    QByteArray received_;
    QByteArray outgoing_;  // bytes the pty could not take yet
    bool open_ = false;
    bool peerConnected_ = false;
};

}  // namespace vrx::sim
