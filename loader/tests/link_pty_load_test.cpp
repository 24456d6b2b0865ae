// End to end over a pseudo-terminal: the link on the QSerialPort line, the
// simulated board on the pty's master, as with vrx-board-sim and a real port.
#include <QFile>
#include <QTemporaryDir>

#include "board.h"
#include "link_sequence_fixture.h"
#include "pty_line.h"
#include "qserialport_line.h"

namespace vrx::test {
namespace {

class PtyLoadTest : public ::testing::Test {
  protected:
    struct PtyFront : FakeFront {
        QString path;
        QString deviceForPort(int) const override { return path; }
    };

    PtyLoadTest() {
        ensureApp();
        resetLoaderState();
        loaderState().sSlotName[1] = "Secondary Executable";
        pty = std::make_unique<sim::PtyLine>();
        board = std::make_unique<sim::Board>(*pty, sim::Mode::Boot);
        // As vrx-board-sim does: opening the port resets the board.
        QObject::connect(pty.get(), &sim::PtyLine::peerOpened, board.get(),
                         &sim::Board::loaderOpened);
        QObject::connect(pty.get(), &sim::PtyLine::peerDiscardedInput, board.get(),
                         &sim::Board::loaderOpened);
        front.path = pty->slavePath();
        primaryCode = pattern(2000, 30);
        secondaryCode = pattern(50000, 31);
        front.slotData[0] = {true, makeFile("primary.bin", primaryCode), "0x0000",
                             sizeText(primaryCode.size())};
        front.slotData[1] = {true, makeFile("secondary.bin", secondaryCode), "0x80000004",
                             sizeText(secondaryCode.size())};
        link = std::make_unique<Link>(line, front);
    }
    ~PtyLoadTest() override {
        link.reset();
        board.reset();
        pty.reset();
        resetLoaderState();
    }

    QString makeFile(const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    QTemporaryDir dir;
    std::unique_ptr<sim::PtyLine> pty;
    std::unique_ptr<sim::Board> board;
    QSerialPortLine line;
    PtyFront front;
    std::unique_ptr<Link> link;
    QByteArray primaryCode;
    QByteArray secondaryCode;
};

TEST_F(PtyLoadTest, PrimaryAndSecondaryLoadOverAPseudoTerminal) {
    link->cmdStartPrimary_Click();

    EXPECT_EQ(lines(front.log), kPrimaryLog + kSecondaryLog);
    ASSERT_TRUE(board->iram().has_value());
    EXPECT_EQ(board->iram()->data, primaryCode);
    ASSERT_TRUE(board->sdram().count('p'));
    EXPECT_EQ(board->sdram().at('p').data, secondaryCode);
    EXPECT_TRUE(board->violations().isEmpty()) << board->violations().join("\n").toStdString();
    EXPECT_TRUE(front.isEnabled(Control::URK));
    EXPECT_TRUE(line.isOpen());
}

TEST_F(PtyLoadTest, ThePtyClosingMidTransferEndsOnTheErrorPath) {
    front.slotData[1].ticked = false;
    primaryCode = pattern(60000, 32);
    front.slotData[0] = {true, makeFile("big.bin", primaryCode), "0x0000",
                         sizeText(primaryCode.size())};
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (loaderState().lBytesSent > 10000) {
            // The simulator goes away: its end of the pseudo-terminal closes.
            board.reset();
            pty.reset();
            poll.stop();
        }
    });
    poll.start(0);
    link->cmdStartPrimary_Click();

    ASSERT_EQ(front.boxes.boxes.size(), 1u);
    EXPECT_TRUE(front.boxes.boxes[0].text.startsWith(
        "Error communicating with COM1\r\nor other download problem\r\nError: "));
    EXPECT_TRUE(lines(front.log).endsWith("Sending code .. " + kCancelLine));
    EXPECT_FALSE(line.isOpen());
    EXPECT_FALSE(loaderState().bBusy);
    EXPECT_TRUE(front.isEnabled(Control::StartPrimary));
}

}  // namespace
}  // namespace vrx::test
