// Every sequence over a pseudo-terminal at 115200 baud: the simulated board
// takes no more than 11,520 bytes per second and the pty's kernel buffer
// pushes back, as a real UART behind an adapter does. Plus the failures a full
// line brings: cancel while the loader waits for room, the device going away
// meanwhile, and a target that holds XOFF.
#include <QFile>
#include <QTemporaryDir>

#include "board.h"
#include "link_sequence_fixture.h"
#include "pty_line.h"
#include "qserialport_line.h"

namespace vrx::test {
namespace {

class LineRateTest : public ::testing::Test {
  protected:
    struct PtyFront : FakeFront {
        QString path;
        std::vector<float> progressSeen;
        QString deviceForPort(int) const override { return path; }
        void setProgress(float percent) override {
            FakeFront::setProgress(percent);
            progressSeen.push_back(percent);
        }
    };

    LineRateTest() {
        ensureApp();
        freshLoaderState();
        pty = std::make_unique<sim::PtyLine>();
        board = std::make_unique<sim::Board>(*pty, sim::Mode::Auto);
        board->setLinePace(sim::kDefaultBaud);
        QObject::connect(pty.get(), &sim::PtyLine::peerOpened, board.get(),
                         &sim::Board::loaderOpened);
        QObject::connect(pty.get(), &sim::PtyLine::peerDiscardedInput, board.get(),
                         &sim::Board::loaderOpened);
        front.path = pty->slavePath();
        link = std::make_unique<Link>(line, front);
    }
    ~LineRateTest() override {
        link.reset();
        board.reset();
        pty.reset();
        resetLoaderState();
    }

    static void freshLoaderState() { LinkFixture::freshLoaderState(); }

    void setSlot(int slot, const QString& name, const QByteArray& bytes, const QString& address) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        front.slotData[size_t(slot)] = {true, file.fileName(), address, sizeText(bytes.size())};
    }

    void expectNoViolations() {
        EXPECT_TRUE(board->violations().isEmpty()) << board->violations().join("\n").toStdString();
    }

    // Raises the cancel request (as the Cancel button does) once `sent` bytes are out.
    void cancelAfter(std::int32_t sent) {
        cancelPoll.disconnect();
        QObject::connect(&cancelPoll, &QTimer::timeout, [this, sent] {
            // Only while the loader waits for the line to take more.
            if (loaderState().lBytesSent < sent || line.writeRoom() > 0) return;
            link->cmdCancel_Click();
            cancelPoll.stop();
        });
        cancelPoll.start(1);
    }

    QTemporaryDir dir;
    std::unique_ptr<sim::PtyLine> pty;
    std::unique_ptr<sim::Board> board;
    QSerialPortLine line;
    PtyFront front;
    std::unique_ptr<Link> link;
    QTimer cancelPoll;
};

TEST_F(LineRateTest, PrimarySecondaryAndImagesLoadAtTheLineRate) {
    const QByteArray primary = pattern(1500, 1);
    const QByteArray secondary = pattern(12000, 2);
    const QByteArray uboot = pattern(2000, 3);
    const QByteArray rootfs = pattern(2500, 4);
    const QByteArray kernel = pattern(1800, 5);
    setSlot(0, "primary.bin", primary, "0x0000");
    setSlot(1, "secondary.bin", secondary, "0x80000004");
    setSlot(2, "uboot.ubt", uboot, "0x80100000");
    setSlot(3, "rootfs.ubt", rootfs, "0x80800000");
    setSlot(4, "kernel.bin", kernel, "0x83000000");

    link->cmdStartPrimary_Click();
    ASSERT_TRUE(front.boxes.boxes.empty()) << front.boxes.boxes[0].text.toStdString();
    EXPECT_EQ(lines(front.log), kPrimaryLog + kSecondaryLog);
    const bool progressMoved = std::any_of(front.progressSeen.begin(), front.progressSeen.end(),
                                           [](float p) { return p > 0 && p < 100; });
    EXPECT_TRUE(progressMoved) << "the progress timer fired while the line drained";

    link->cmdURK_Click();
    ASSERT_TRUE(front.boxes.boxes.empty()) << front.boxes.boxes[0].text.toStdString();
    EXPECT_FALSE(loaderState().bBusy);
    EXPECT_TRUE(front.isEnabled(Control::URK));

    ASSERT_TRUE(board->iram().has_value());
    EXPECT_EQ(board->iram()->data, primary);
    for (const auto& [letter, code] : {std::pair{'p', secondary}, std::pair{'u', uboot},
                                       std::pair{'r', rootfs}, std::pair{'k', kernel}}) {
        ASSERT_TRUE(board->sdram().count(letter)) << letter;
        EXPECT_TRUE(board->sdram().at(letter).data == code) << "image " << letter;
    }
    expectNoViolations();
}

TEST_F(LineRateTest, FlashProgrammingAtTheLineRateWithAndWithoutErase) {
    for (const bool erase : {false, true}) {
        SCOPED_TRACE(erase ? "full erase" : "no erase");
        const QByteArray flBurn = "fl_burn loader " + pattern(800, 6);
        const QByteArray image = pattern(4000, erase ? 7 : 8);
        setSlot(6, "fl_burn.bin", flBurn, "0x0000");
        setSlot(5, "flash.img", image, "0x00040000");
        front.erase = erase;
        front.log.clear();
        board->setEraseDelay(erase ? 30 : 0);

        link->cmdPrgFlash_Click();
        ASSERT_TRUE(front.boxes.boxes.empty()) << front.boxes.boxes[0].text.toStdString();
        EXPECT_TRUE(board->nand().complete);
        EXPECT_EQ(board->nand().erased, erase);
        EXPECT_TRUE(board->nand().data == image);
        EXPECT_TRUE(front.isEnabled(Control::PrgFlash));
        EXPECT_FALSE(line.isOpen());
        expectNoViolations();
    }
}

// The cancel request arrives while the loader sleeps waiting for the line to
// take more; the cancel path follows at once, the rest never goes out.
TEST_F(LineRateTest, CancelWhileTheLineDrainsEndsOnTheCancelPath) {
    front.slotData[1].ticked = false;
    const QByteArray primary = pattern(30000, 9);
    setSlot(0, "primary.bin", primary, "0x0000");
    front.boxes.yesNoAnswers = {true};
    cancelAfter(6000);

    link->cmdStartPrimary_Click();
    EXPECT_TRUE(lines(front.log).endsWith("Sending code .. " + kCancelLine));
    EXPECT_FALSE(line.isOpen());
    EXPECT_FALSE(loaderState().bBusy);
    EXPECT_TRUE(front.isEnabled(Control::StartPrimary));
    EXPECT_TRUE(front.boxes.boxes.size() == 1 && front.boxes.boxes[0].question);
    EXPECT_LT(loaderState().lBytesSent, 6000 + 2 * 512) << "sending stopped at the request";
}

// The adapter goes away while the loader waits for room: reported as a lost
// device, not taken for back pressure, and never a hang.
TEST_F(LineRateTest, ADeviceRemovedWhileTheLoaderWaitsForRoomFailsTheTransfer) {
    front.slotData[1].ticked = false;
    setSlot(0, "primary.bin", pattern(30000, 10), "0x0000");
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (loaderState().lBytesSent < 8000 || line.writeRoom() > 0) return;
        board.reset();
        pty.reset();
        poll.stop();
    });
    poll.start(1);

    link->cmdStartPrimary_Click();
    ASSERT_EQ(front.boxes.boxes.size(), 1u);
    EXPECT_TRUE(front.boxes.boxes[0].text.startsWith(
        "Error communicating with COM1\r\nor other download problem\r\nError: "));
    EXPECT_TRUE(lines(front.log).endsWith("Sending code .. " + kCancelLine));
    EXPECT_FALSE(line.isOpen());
    EXPECT_TRUE(front.isEnabled(Control::StartPrimary));
}

class TerminalFlowTest : public LineRateTest {
  protected:
    TerminalFlowTest() {
        board->setMode(sim::Mode::Terminal);
        sim::TerminalConfig terminal;
        terminal.echo = false;
        terminal.lineTimeMs = lineTimeMs;
        board->setTerminal(terminal);
        board->setXoff(true);
        link->cmdTerminal_Click();
        // Opening the port resets the board; its terminal starts after the reset delay.
        terminalUp = spinUntil([this] { return board->state() == sim::State::Terminal; });
    }

    // Lines of text sent as a script sends them, each waiting for room.
    QByteArray sendLines(int count) {
        QByteArray all;
        for (int i = 0; i < count && !loaderState().bCancel; ++i) {
            const QByteArray text = QByteArray("line ") + QByteArray::number(i) + " " +
                                    QByteArray(40, char('a' + i % 26)) + "\r";
            link->SendText(text);
            all += text;
        }
        return all;
    }

    int lineTimeMs = 10;
    bool terminalUp = false;
};

TEST_F(TerminalFlowTest, TheTerminalsXoffPausesTheLoaderAndXonResumesIt) {
    ASSERT_TRUE(line.isOpen());
    ASSERT_TRUE(terminalUp);
    const QByteArray sent = sendLines(40);
    ASSERT_TRUE(spinUntil([&] { return board->received().size() >= sent.size(); }, 10000));
    EXPECT_TRUE(board->received() == sent) << "bytes lost or reordered around XOFF";
    EXPECT_TRUE(board->events().contains("terminal: XOFF sent"));
    ASSERT_TRUE(spinUntil([&] { return board->events().contains("terminal: XON sent"); }, 10000));
    expectNoViolations();
    EXPECT_EQ(lines(front.log).count(QChar(0x13)), 0) << "XON/XOFF never reach the log";
}

// The target raises XOFF and never lifts it: the sender waits in the event
// loop, Cancel ends the wait, and closing the port drops what is held.
class HeldXoffTest : public TerminalFlowTest {
  protected:
    HeldXoffTest() {
        sim::TerminalConfig busy;
        busy.echo = false;
        busy.lineTimeMs = 3600 * 1000;  // the first line never finishes
        board->setTerminal(busy);
    }
};

TEST_F(HeldXoffTest, CancelEndsTheWaitAndClosingDoesNotWait) {
    ASSERT_TRUE(terminalUp);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        if (ticks == 50) link->cmdCancel_Click();
    });
    loaderState().bBusy = true;  // as a running script is
    ticker.start(20);
    sendLines(2000);
    ticker.stop();
    EXPECT_TRUE(loaderState().bCancel) << "only Cancel ends the wait";
    EXPECT_TRUE(board->events().contains("terminal: XOFF sent"));
    EXPECT_FALSE(board->events().contains("terminal: XON sent"));
    EXPECT_LE(line.writeRoom(), 0) << "the held bytes are still queued";
    loaderState().bBusy = false;
    link->cmdCancel_Click();
    EXPECT_FALSE(line.isOpen());
    expectNoViolations();
}

}  // namespace
}  // namespace vrx::test
