// A link wired to the simulated board over the in-memory line, with image
// files in a temporary folder and the slots filled for a primary and a
// secondary load. The board is reset when the waiting dialog opens, as a user
// would cycle its power.
#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "board.h"
#include "link_fake_front.h"

namespace vrx::test {

// Distinct, non-repeating-looking bytes, so a lost or doubled byte shows.
inline QByteArray pattern(int size, int seed) {
    QByteArray bytes(size, '\0');
    quint32 x = quint32(seed) * 2654435761u + 1;
    for (int i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = char(x >> 24);
    }
    return bytes;
}

inline QString sizeText(qint64 size) {
    return "0x" + QString::number(size, 16).toUpper();
}

// The status log of a successful primary load of slot 0.
inline const QString kPrimaryLog =
    "Waiting for BootID .. 5 .. found!\n"
    "Sending 'A' .. done!\n"
    "Expect 2-nd BootId .. 5 .. found!\n"
    "Sending 'U','3'.. done!\n"
    "Expect 'R' .. R .. found!\n"
    "Sending startaddress .. done!\n"
    "Sending size .. done!\n"
    "Sending code .. done!\n";

// The status log of a successful secondary load (after the primary's lines).
inline const QString kSecondaryLog =
    "\n--- Loading Secondary executable ---\n"
    "Wait for 'X' .. X .. found!\n"
    "-- Sending command .. p ..done!\n"
    "Sending startaddress .. done!\n"
    "Sending size .. done!\n"
    "Wait for acceptance from primary boot .. o ..OK!\n"
    "Sending code .. done!\n"
    "Expect final 't' .. t .. found, \n"
    "---- Secondary Executable loaded. ---\n"
    "\n";

inline const QString kCancelLine = "\n--- Cancel download, closing port ---\n";
inline const QString kTerminalLine = "\n--- Enabling terminal mode ---\n";

class SequenceFixture : public LinkFixture {
  protected:
    SequenceFixture() : board(boardEnd(), sim::Mode::Boot) {
        front.beforeBootIdWait = [this] { board.powerCycle(); };
        // Time-outs run out after 100 ms instead of 5 s; the messages still say 5.
        link->setTimeoutDivisorForTesting(50);
        primaryCode = pattern(300, 1);
        secondaryCode = pattern(1000, 2);
        front.slotData[0] = {true, makeFile("primary.bin", primaryCode), "0x0000",
                             sizeText(primaryCode.size())};
        front.slotData[1] = {true, makeFile("secondary.bin", secondaryCode), "0x80000004",
                             sizeText(secondaryCode.size())};
    }

    QString makeFile(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    // Button states and port after a failed or cancelled primary load.
    void expectPrimaryFailedState() {
        EXPECT_TRUE(front.isEnabled(Control::StartPrimary));
        EXPECT_FALSE(front.isEnabled(Control::StartSecondary));
        EXPECT_FALSE(front.isEnabled(Control::URK));
        EXPECT_FALSE(loaderEnd().isOpen());
        EXPECT_EQ(front.portState, "Closed...");
        EXPECT_FALSE(loaderState().bBusy);
        EXPECT_FALSE(link->timTimeOut().isActive());
        EXPECT_FALSE(link->timSentStatus().isActive());
    }

    QString log() const { return lines(front.log); }

    QTemporaryDir dir;
    sim::Board board;
    QByteArray primaryCode;
    QByteArray secondaryCode;
};

}  // namespace vrx::test
