// Terminal mode of Link against the in-memory line: the display rules for
// received text, the receive timer and the awaited script text, typing, Alt+B,
// the terminal button and the debug send buttons.
#include "link_fake_front.h"

namespace vrx::test {
namespace {

using TerminalTest = LinkFixture;

TEST_F(TerminalTest, ShowReceivedAppliesTheBackspaceLineFeedAndReturnRules) {
    struct Case {
        QString logBefore;
        QString chunk;
        QString logAfter;
    };
    const QString bs(QChar(8));
    const Case cases[] = {
        {"", "ab\r\nc", "ab\r\nc"},
        {"", "abc" + bs + "d", "abd"},
        {"xy", bs + "z", "xz"},       // a leading backspace eats the log's last char
        {"xy", bs + bs + "z", "xz"},  // further leading ones select the same char
        {"", bs + "z", "z"},          // empty log: nothing to select
        {"log", "\n\n\n", "log"},     // only line feeds: nothing added
        {"", "a\rb\r", "a\r\nb\r\n"},
        {"", "\r\r", "\r\n\r\n"},
        {"", "ab" + bs + bs + "c", "c"},
        {"q", "a" + bs + bs + "c", "c"},  // second backspace becomes leading
        {"", "\r\n", "\r\n"},
    };
    for (const auto& c : cases) {
        front.log = c.logBefore;
        QString text = c.chunk;
        link->ShowReceived(text);
        EXPECT_EQ(front.log, c.logAfter) << c.chunk.toStdString();
    }
}

TEST_F(TerminalTest, ReceiveTimerShowsTheChunkAndClearsTheAwaitedText) {
    link->OpenPort();
    loaderState().sWaitFor = "login:";
    loaderEnd().inject("log");
    link->timCommReceive_Timer();
    loaderEnd().inject("in:");
    link->timCommReceive_Timer();
    EXPECT_EQ(loaderState().sWaitFor, "login:") << "split across two chunks: not seen";
    loaderEnd().inject("\r\nboard login: ");
    link->timCommReceive_Timer();
    EXPECT_EQ(loaderState().sWaitFor, "");
    EXPECT_EQ(front.log, "login:\r\nboard login: ");

    loaderState().sWaitFor = "Login";
    loaderEnd().inject("login");
    link->timCommReceive_Timer();
    EXPECT_EQ(loaderState().sWaitFor, "Login") << "exact case";
}

TEST_F(TerminalTest, ReceiveTimerWithNothingWaitingDoesNothing) {
    link->OpenPort();
    link->timCommReceive_Timer();
    EXPECT_EQ(front.log, "");
    link->ClosePort();
    loaderEnd().inject("x");
    link->timCommReceive_Timer();
    EXPECT_EQ(front.log, "") << "a closed port is not read";
}

TEST_F(TerminalTest, TypingSendsTheKeyOnlyInTerminalModeEvenInDebugMode) {
    EXPECT_EQ(link->txtStatus_KeyPress('a'), 0) << "closed port";
    link->OpenPort();
    EXPECT_EQ(link->txtStatus_KeyPress('b'), 0) << "programmed mode";
    EXPECT_EQ(boardReceived(), QByteArray());

    bool on = true;
    link->SetTerminalMode(on);
    loaderState().bDebug = true;
    EXPECT_EQ(link->txtStatus_KeyPress('c'), 0);
    EXPECT_EQ(link->txtStatus_KeyPress(13), 0);
    EXPECT_EQ(boardReceived(), QByteArray("c\r"));
    EXPECT_EQ(front.log, "\r\n--- Enabling terminal mode ---\r\n") << "typed keys are not logged";
}

TEST_F(TerminalTest, AltBPulsesDtrAndOtherKeysDoNothing) {
    int changes = 0;
    QObject::connect(&boardEnd(), &MemoryLine::dtrChanged, [&] { ++changes; });
    link->OpenPort();
    link->txtStatus_KeyDown(kKeyCodeB, 0);
    link->txtStatus_KeyDown('C', kShiftAlt);
    EXPECT_EQ(changes, 0);
    link->txtStatus_KeyDown(kKeyCodeB, kShiftAlt);
    EXPECT_EQ(changes, 2);
}

TEST_F(TerminalTest, TerminalButtonOpensThePortAndTogglesTheMode) {
    link->cmdTerminal_Click();
    EXPECT_TRUE(loaderState().bTerminalMode);
    EXPECT_TRUE(loaderEnd().isOpen());
    EXPECT_EQ(front.terminalCaption, "Disable Terminal mode");

    loaderEnd().inject("pending");
    link->cmdTerminal_Click();
    EXPECT_FALSE(loaderState().bTerminalMode);
    EXPECT_TRUE(loaderEnd().isOpen()) << "switching off keeps the port open";
    link->cmdTerminal_Click();
    EXPECT_EQ(loaderEnd().bytesWaiting(), 7) << "nothing discarded while the port stayed open";
    EXPECT_EQ(loaderEnd().openCount(), 1);
    link->timCommReceive_Timer();
    EXPECT_TRUE(front.log.endsWith("pending"));
}

TEST_F(TerminalTest, TerminalButtonOnAMissingDeviceReportsAndStaysInProgrammedMode) {
    loaderEnd().setRefusedDevices({"/dev/ttyFAKE1"});
    link->cmdTerminal_Click();
    EXPECT_FALSE(loaderState().bTerminalMode);
    EXPECT_FALSE(link->terminalModeApplied());
    EXPECT_FALSE(link->timCommReceive().isActive());
    EXPECT_FALSE(loaderEnd().isOpen());
    ASSERT_EQ(front.boxes.boxes.size(), 1u);
    EXPECT_TRUE(front.boxes.boxes[0].text.startsWith(
        "Error communicating with COM1\r\nor other I/O problem\r\nError: "));
    EXPECT_EQ(front.boxes.boxes[0].title, "Error");
    EXPECT_EQ(front.terminalCaption, "Enable Terminal mode");
}

TEST_F(TerminalTest, DebugSendWritesTheTextWhateverTheMode) {
    link->OpenPort();
    link->cmdOutput_Click("4R");
    EXPECT_FALSE(loaderState().bDebug);
    link->cmdOut_Click("4");
    EXPECT_TRUE(loaderState().bDebug) << "the waiting dialog's button switches debug mode on";
    link->cmdOutput_Click("x");
    EXPECT_EQ(boardReceived(), QByteArray("4R4x"));
}

TEST_F(TerminalTest, DebugSendOnAClosedPortShowsTheErrorForTheSelectedPort) {
    front.port = 3;  // never opened yet: the message names the selected port
    link->cmdOutput_Click("4R");
    ASSERT_EQ(front.boxes.boxes.size(), 1u);
    EXPECT_EQ(front.boxes.boxes[0].title, "Error");
    EXPECT_EQ(
        front.boxes.boxes[0].text,
        "Error communicating with COM3\r\nor other I/O problem\r\nError: write on a closed port");
}

TEST_F(TerminalTest, StartSecondaryInTerminalModeSendsDAndReturnsToTerminalMode) {
    link->cmdTerminal_Click();
    front.log.clear();
    link->cmdStartSecondary_Click();
    EXPECT_EQ(boardReceived(), QByteArray("d"));
    EXPECT_TRUE(loaderState().bTerminalMode);
    EXPECT_EQ(lines(front.log),
              "\n--- Switching to programmed mode ---\n"
              "\n-- Starting Secondary Executable --\n"
              "\n--- Enabling terminal mode ---\n");
}

TEST_F(TerminalTest, StartSecondaryOnAClosedPortReportsAndStartsNoTerminal) {
    link->cmdStartSecondary_Click();
    ASSERT_EQ(front.boxes.boxes.size(), 1u);
    EXPECT_EQ(front.boxes.boxes[0].text,
              "Error communicating with COM1\r\nor other I/O problem\r\n"
              "Error: write on a closed port");
    EXPECT_FALSE(loaderState().bTerminalMode);
    EXPECT_FALSE(loaderEnd().isOpen());
    EXPECT_EQ(lines(front.log), "\n-- Starting Secondary Executable --\n");
}

}  // namespace
}  // namespace vrx::test
