// Shared helpers of the simulator tests: a Qt application for the event loop,
// the loader's end of a MemoryLine pair driven byte by byte, and wire helpers.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <memory>

#include "board.h"
#include "memory_line.h"
#include "wire_bytes.h"

namespace simtest {

inline void ensureApp() {
    static int argc = 1;
    static char arg0[] = "sim_test";
    static char* argv[] = {arg0, nullptr};
    if (!QCoreApplication::instance()) {
        static QCoreApplication app(argc, argv);
    }
}

// Runs the event loop until `done` holds or `timeoutMs` passed; the timeout
// only guards against a hang, it is never what a test measures.
template <typename Pred>
bool pumpUntil(Pred done, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Gives the event loop a short while; for checks that nothing (more) arrives.
inline void settle(int ms = 60) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

inline QByteArray le32(quint32 value) {
    return vrx::sim::le32Bytes(value);
}

// A frame as the loader builds it: STX, length, code, payload, 00 00, ETX.
inline QByteArray frame(quint8 code, const QByteArray& payload) {
    return QByteArray(1, char(vrx::sim::kStx)) + le32(quint32(payload.size() + 9)) +
           QByteArray(1, char(code)) + payload + QByteArray(2, '\0') +
           QByteArray(1, char(vrx::sim::kEtx));
}

inline QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

// The loader's side of the line, with a board on the other end.
class BoardFixture : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ensureApp(); }

    void SetUp() override { loader().open("/dev/sim", "115200,N,8,1"); }

    void makeBoard(vrx::sim::Mode mode) {
        board = std::make_unique<vrx::sim::Board>(*pair.boardEnd, mode);
        board->setResetDelay(0);
    }

    vrx::MemoryLine& loader() { return *pair.loaderEnd; }

    void send(const QByteArray& bytes) { loader().write(bytes); }

    // Waits for exactly `n` bytes from the board and returns them.
    QByteArray expect(int n) {
        pumpUntil([&] { return loader().bytesWaiting() >= n; });
        return loader().read(n);
    }

    // Everything the board sends within a short while.
    QByteArray drain(int ms = 60) {
        settle(ms);
        return loader().read(0);
    }

    // Reset, boot ID, handshake and IRAM load of `code`; leaves the IRAM
    // program running (its first answer, if any, is not read).
    void bootIram(const QByteArray& code, quint32 address = 0x0000) {
        EXPECT_EQ(expect(1), "5");
        send("A");
        EXPECT_EQ(expect(1), "5");
        send("U3");
        EXPECT_EQ(expect(1), "R");
        send(le32(address) + le32(quint32(code.size())) + code);
    }

    void bootPrimary() {
        bootIram("primary code");
        ASSERT_EQ(expect(1), "X");
    }

    void bootFlashLoader() {
        bootIram("fl_burn code");
        send("F");
        ASSERT_EQ(expect(1), "F");
        send("S");
    }

    vrx::MemoryLinePair pair;
    std::unique_ptr<vrx::sim::Board> board;
};

}  // namespace simtest
