// End to end over a pseudo-terminal: the real window on the QSerialPort line,
// the simulated board serving the pty's other side in the same event loop.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "board.h"
#include "link.h"
#include "pty_line.h"
#include "qserialport_line.h"
#include "ui_test_support.h"

namespace vrx::test {
namespace {

class EndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        application();
        resetLoaderState();
        ASSERT_TRUE(folder.isValid());
        // The pty's notifiers need the application object, so it comes after it.
        ptyLine = std::make_unique<sim::PtyLine>();
        sim::PtyLine& pty = *ptyLine;
        board = std::make_unique<sim::Board>(pty, sim::Mode::Auto);
        // As vrx-board-sim does: every opening of the device resets the
        // board, which then sends its boot ID.
        QObject::connect(&pty, &sim::PtyLine::peerOpened, board.get(), &sim::Board::loaderOpened);
        QObject::connect(&pty, &sim::PtyLine::peerDiscardedInput, board.get(),
                         &sim::Board::loaderOpened);
    }

    LoaderWindow& makeWindow() {
        WindowSetup setup;
        setup.programPath = folder.path() + "/VRX5520_Loader";
        const QString device = ptyLine->slavePath();
        setup.portDevice = [device](int port) { return port == 1 ? device : QString(); };
        window = std::make_unique<LoaderWindow>(line, dialogs, setup);
        window->show();
        return *window;
    }

    void TearDown() override {
        if (window) window->close();
        window.reset();
        board.reset();
        ptyLine.reset();
    }

    QTemporaryDir folder;
    std::unique_ptr<sim::PtyLine> ptyLine;
    std::unique_ptr<sim::Board> board;
    QSerialPortLine line;
    ScriptedDialogs dialogs;
    std::unique_ptr<LoaderWindow> window;
};

TEST_F(EndToEndTest, TerminalModeEchoesWhatIsTyped) {
    board->setMode(sim::Mode::Terminal);
    board->powerCycle();
    LoaderWindow& w = makeWindow();
    w.findChild<QPushButton*>("cmdTerminal")->click();
    ASSERT_TRUE(line.isOpen());
    ASSERT_TRUE(loaderState().bTerminalMode);
    // Opening the device resets the board (the pty reports the opening a
    // little later); type once that has passed and its terminal runs.
    spinUntil([] { return false; }, 400);
    ASSERT_TRUE(spinUntil([&] { return board->state() == sim::State::Terminal; }));
    auto* log = w.findChild<QPlainTextEdit*>("txtStatus");
    QTest::keyClicks(log, "hello");
    QTest::keyClick(log, Qt::Key_Return);
    EXPECT_TRUE(spinUntil([&] { return w.logText().endsWith("hello\r\n"); }, 5000))
        << w.logText().toStdString() << "\nboard sent: " << board->sent().toHex(' ').toStdString()
        << "\nevents: " << board->events().join(" | ").toStdString()
        << "\nwaiting: " << line.bytesWaiting() << " timer "
        << w.link().timCommReceive().isActive();
    EXPECT_TRUE(board->received().contains("hello\r"));
}

TEST_F(EndToEndTest, PrimaryAndSecondaryLoadFromTheIniFile) {
    const QByteArray primary(300, 'P');
    const QByteArray secondary(1000, 'S');
    writeFile(folder.path(), "primary.bin", primary);
    writeFile(folder.path(), "secondary.bin", secondary);
    writeFile(folder.path(), "VRX5520_Loader.INI",
              "[BINFILES]\nPRIMARY=primary.bin,0x0\nSECONDARY=secondary.bin,0x80000004\n");
    LoaderWindow& w = makeWindow();
    ASSERT_TRUE(w.findChild<QCheckBox*>("chkExeURK(1)")->isChecked());

    w.findChild<QPushButton*>("cmdStartPrimary")->click();

    EXPECT_FALSE(loaderState().bBusy);
    EXPECT_TRUE(
        w.logText().startsWith("Waiting for BootID .. 5 .. found!\r\n"
                               "Sending 'A' .. done!\r\n"
                               "Expect 2-nd BootId .. 5 .. found!\r\n"
                               "Sending 'U','3'.. done!\r\n"
                               "Expect 'R' .. R .. found!\r\n"
                               "Sending startaddress .. done!\r\n"
                               "Sending size .. done!\r\n"
                               "Sending code .. done!\r\n"))
        << w.logText().toStdString();
    ASSERT_TRUE(board->iram());
    EXPECT_EQ(board->iram()->data, primary);
    ASSERT_EQ(board->sdram().count('p'), 1u);
    EXPECT_EQ(board->sdram().at('p').address, 0x80000004u);
    EXPECT_EQ(board->sdram().at('p').data, secondary);
    EXPECT_TRUE(board->violations().isEmpty()) << board->violations().join("; ").toStdString();
    EXPECT_TRUE(w.findChild<QPushButton*>("cmdURK")->isEnabled());
    EXPECT_TRUE(w.findChild<QPushButton*>("cmdStartSecondary")->isEnabled());
    EXPECT_TRUE(w.findChild<QPushButton*>("cmdStartPrimary")->isEnabled());
    EXPECT_TRUE(line.isOpen());
    EXPECT_TRUE(dialogs.boxes.empty());
}

// A paced board at 115200 baud: the window keeps turning while the line
// drains, so the progress bar moves during the transfer.
TEST_F(EndToEndTest, APacedLoadMovesTheProgressBar) {
    board->setLinePace(sim::kDefaultBaud);
    const QByteArray primary(300, 'P');
    const QByteArray secondary(12000, 'S');
    writeFile(folder.path(), "primary.bin", primary);
    writeFile(folder.path(), "secondary.bin", secondary);
    writeFile(folder.path(), "VRX5520_Loader.INI",
              "[BINFILES]\nPRIMARY=primary.bin,0x0\nSECONDARY=secondary.bin,0x80000004\n");
    LoaderWindow& w = makeWindow();
    std::vector<int> shown;
    auto* bar = w.findChild<QProgressBar*>("pgbDownload");
    ASSERT_NE(bar, nullptr);
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) { shown.push_back(v); });

    w.findChild<QPushButton*>("cmdStartPrimary")->click();

    EXPECT_TRUE(dialogs.boxes.empty());
    ASSERT_EQ(board->sdram().count('p'), 1u);
    EXPECT_EQ(board->sdram().at('p').data, secondary);
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](int v) { return v > 0 && v < 100; }))
        << "the bar only jumped";
    EXPECT_TRUE(board->violations().isEmpty()) << board->violations().join("; ").toStdString();
}

// A script in terminal mode at 115200 baud against a terminal that is slow
// with each line and throttles the loader with XOFF/XON: every line arrives,
// in order, and the run ends with its summary.
TEST_F(EndToEndTest, AScriptAtTheLineRateMeetsXoffAndCompletes) {
    board->setMode(sim::Mode::Terminal);
    board->setLinePace(sim::kDefaultBaud);
    board->setXoff(true);
    sim::TerminalConfig terminal;
    terminal.echo = false;
    terminal.prompt = "=> ";
    terminal.lineTimeMs = 10;
    board->setTerminal(terminal);
    LoaderWindow& w = makeWindow();
    w.findChild<QPushButton*>("cmdTerminal")->click();
    ASSERT_TRUE(loaderState().bTerminalMode);
    ASSERT_TRUE(spinUntil([&] { return board->state() == sim::State::Terminal; }));
    spinUntil([] { return false; }, 100);  // the prompt after the reset passes
    board->clearCapture();

    QByteArray script;
    QByteArray expected;
    for (int i = 0; i < 30; ++i) {
        const QByteArray line =
            "setenv v" + QByteArray::number(i) + " " + QByteArray(40, 'a' + i % 26);
        script += ">" + line + "/n\r\n";
        expected += line + "\r";
    }
    script += "<=> \r\n";
    dialogs.fileAnswers.push_back(writeFile(folder.path(), "load.scr", script));
    w.findChild<QAction*>("mnuExecScript")->trigger();

    EXPECT_EQ(w.findChild<QLabel*>("staStatus.Panels(1)")->text(), "31 script lines executed.");
    ASSERT_TRUE(spinUntil([&] { return board->received().size() >= expected.size(); }));
    EXPECT_TRUE(board->received() == expected) << "lines lost or reordered";
    EXPECT_TRUE(board->events().contains("terminal: XOFF sent"));
    EXPECT_TRUE(board->violations().isEmpty()) << board->violations().join("; ").toStdString();
}

}  // namespace
}  // namespace vrx::test
