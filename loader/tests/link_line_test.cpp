// Line operations of Link against the in-memory line: port rules, line modes
// and their error path, sends and waits, the log, the response time-out, the
// progress display, the cancel button and the DTR pulse.

#include "link_error.h"
#include "link_fake_front.h"

namespace vrx::test {
namespace {

// A line whose flow-control change fails while it is open, as a driver that
// refuses the setting would.
class FlowFailingLine : public MemoryLine {
  public:
    void setFlowControl(FlowControl flow) override {
        if (isOpen() && failFlow) throw SerialError("flow control refused");
        MemoryLine::setFlowControl(flow);
    }
    bool failFlow = true;
};

using LineTest = LinkFixture;

TEST_F(LineTest, OpenPortOpensTheSelectedDeviceAndDiscardsEarlierInput) {
    front.port = 3;
    loaderEnd().inject("noise before opening");
    link->OpenPort();
    EXPECT_TRUE(loaderEnd().isOpen());
    EXPECT_EQ(loaderEnd().device(), "/dev/ttyFAKE3");
    EXPECT_EQ(loaderEnd().settings(), "115200,N,8,1");
    EXPECT_EQ(loaderEnd().bytesWaiting(), 0);
    EXPECT_EQ(front.portState, "Open...");
    EXPECT_FALSE(front.isEnabled(Control::ComPort));
    EXPECT_EQ(link->commPort(), 3);

    // Already open: nothing changes, not even the port number.
    front.port = 5;
    loaderEnd().inject("kept");
    link->OpenPort();
    EXPECT_EQ(loaderEnd().openCount(), 1);
    EXPECT_EQ(loaderEnd().device(), "/dev/ttyFAKE3");
    EXPECT_EQ(loaderEnd().bytesWaiting(), 4);
    EXPECT_EQ(link->commPort(), 3);
}

TEST_F(LineTest, ClosePortClosesOnlyAnOpenPort) {
    link->ClosePort();
    EXPECT_FALSE(front.enabled.count(Control::ComPort)) << "a closed port stays as it is";
    link->OpenPort();
    link->ClosePort();
    EXPECT_FALSE(loaderEnd().isOpen());
    EXPECT_EQ(front.portState, "Closed...");
    EXPECT_TRUE(front.isEnabled(Control::ComPort));
}

TEST_F(LineTest, OpenPortFailureReachesTheCaller) {
    loaderEnd().setRefusedDevices({"/dev/ttyFAKE1"});
    EXPECT_THROW(link->OpenPort(), SerialError);
    EXPECT_EQ(front.portState, "Closed...");
}

TEST_F(LineTest, SetTerminalModeSwitchesBothWays) {
    link->OpenPort();
    bool on = true;
    link->SetTerminalMode(on);
    EXPECT_TRUE(loaderState().bTerminalMode);
    EXPECT_EQ(front.terminalCaption, "Disable Terminal mode");
    EXPECT_EQ(loaderEnd().flowControl(), FlowControl::XonXoff);
    EXPECT_TRUE(link->timCommReceive().isActive());
    EXPECT_EQ(link->timCommReceive().interval(), 200);
    EXPECT_TRUE(front.isEnabled(Control::ExecScript));
    EXPECT_EQ(lines(front.log), "\n--- Enabling terminal mode ---\n");

    bool off = false;
    link->SetTerminalMode(off);
    EXPECT_FALSE(loaderState().bTerminalMode);
    EXPECT_EQ(front.terminalCaption, "Enable Terminal mode");
    EXPECT_EQ(loaderEnd().flowControl(), FlowControl::None);
    EXPECT_FALSE(link->timCommReceive().isActive());
    EXPECT_FALSE(front.isEnabled(Control::ExecScript));
    EXPECT_EQ(lines(front.log),
              "\n--- Enabling terminal mode ---\n\n--- Switching to programmed mode ---\n");
    EXPECT_EQ(front.focusCount, 2);
    EXPECT_TRUE(loaderEnd().isOpen()) << "the mode does not touch the port";
}

TEST_F(LineTest, SetTerminalModeToTheAppliedModeOnlyMovesTheFocus) {
    loaderEnd().setFlowControl(FlowControl::XonXoff);  // would be reset by a real switch
    bool off = false;
    link->SetTerminalMode(off);
    EXPECT_EQ(front.log, "");
    EXPECT_EQ(front.focusCount, 1);
    EXPECT_EQ(loaderEnd().flowControl(), FlowControl::XonXoff);
}

class TerminalModeErrorTest : public ::testing::Test {
  protected:
    TerminalModeErrorTest() {
        ensureApp();
        resetLoaderState();
        connectLines(line, board);
        board.open("board", kLineSettings);
        link = std::make_unique<Link>(line, front);
    }
    ~TerminalModeErrorTest() override {
        link.reset();
        resetLoaderState();
    }
    FakeFront front;
    FlowFailingLine line;
    MemoryLine board;
    std::unique_ptr<Link> link;
};

TEST_F(TerminalModeErrorTest, ErrorShowsTheMessageClosesThePortAndFallsBackToProgrammedMode) {
    front.port = 2;
    link->OpenPort();
    bool& mode = loaderState().bTerminalMode;
    mode = true;
    link->SetTerminalMode(mode);

    EXPECT_FALSE(mode) << "the error path writes false back";
    EXPECT_FALSE(link->terminalModeApplied());
    EXPECT_FALSE(line.isOpen());
    EXPECT_EQ(front.portState, "Closed...");
    EXPECT_FALSE(link->timCommReceive().isActive());
    EXPECT_EQ(front.terminalCaption, "Enable Terminal mode");
    ASSERT_EQ(front.boxes.boxes.size(), 1u);
    const auto& box = front.boxes.boxes[0];
    EXPECT_EQ(box.icon, MessageIcon::Exclamation);
    EXPECT_EQ(box.title, "Error");
    EXPECT_EQ(
        box.text,
        "Error communicating with COM2\r\nor other I/O problem\r\nError: flow control refused");
    EXPECT_EQ(loaderState().sMsg, box.text);
    EXPECT_EQ(lines(front.log),
              "\n--- Enabling terminal mode ---\n"
              "\n--- closing port ---\n"
              "\n--- Switching to programmed mode ---\n");
}

TEST_F(TerminalModeErrorTest, ErrorPropagatesInDebugMode) {
    link->OpenPort();
    loaderState().bDebug = true;
    bool on = true;
    EXPECT_THROW(link->SetTerminalMode(on), SerialError);
    EXPECT_TRUE(front.boxes.boxes.empty());
}

TEST_F(LineTest, SendTextPutsBytesUnchangedAndNothingInDebugMode) {
    link->OpenPort();
    link->SendText(QByteArray("A\x00\xff", 3));
    link->sendField("0x1234");
    EXPECT_EQ(boardReceived(), QByteArray("A\x00\xff\x34\x12\x00\x00", 7));
    loaderState().bDebug = true;
    link->SendText("U3");
    link->sendField("0x1234");
    EXPECT_EQ(boardReceived(), QByteArray());
}

TEST_F(LineTest, SendTextOnAClosedPortIsAnError) {
    EXPECT_THROW(link->SendText("A"), SerialError);
}

TEST_F(LineTest, SendFieldOfANonNumberIsAnError) {
    link->OpenPort();
    EXPECT_THROW(link->sendField(""), LinkError);
    EXPECT_EQ(boardReceived(), QByteArray());
}

TEST_F(LineTest, ReadCharTakesBufferedBytesOneAtATime) {
    link->OpenPort();
    loaderEnd().inject(QByteArray("5\x00\xe9", 3));
    EXPECT_EQ(link->ReadChar(), "5");
    EXPECT_EQ(link->ReadChar(), QString(QChar(0)));
    EXPECT_EQ(link->ReadChar(), QString(QChar(0xE9)));
    EXPECT_EQ(loaderEnd().bytesWaiting(), 0);
}

TEST_F(LineTest, ReadCharWakesOnBytesThatArriveLater) {
    link->OpenPort();
    QTimer::singleShot(30, [&] { boardEnd().write("R"); });
    EXPECT_EQ(link->ReadChar(), "R");
}

TEST_F(LineTest, ReadCharReturnsCodeZeroOnCancelWithoutReading) {
    link->OpenPort();
    loaderEnd().inject("5");
    loaderState().bCancel = true;
    EXPECT_EQ(link->ReadChar(), QString(QChar(0)));
    EXPECT_EQ(loaderEnd().bytesWaiting(), 1);

    loaderState().bCancel = false;
    link->ReadChar();
    QTimer::singleShot(30, [] { loaderState().bCancel = true; });
    EXPECT_EQ(link->ReadChar(), QString(QChar(0))) << "a cancel raised while waiting";
}

TEST_F(LineTest, ReadCharOnALostLineIsAnErrorInsteadOfAnEndlessWait) {
    link->OpenPort();
    QTimer::singleShot(30, [&] { boardEnd().simulateLoss(); });
    EXPECT_THROW(link->ReadChar(), SerialError);
    EXPECT_EQ(front.portState, "Closed...");
    EXPECT_TRUE(front.isEnabled(Control::ComPort));
}

TEST_F(LineTest, ExpectCharLogsWhatArrivedAndComparesExactly) {
    struct Case {
        QByteArray received;
        const char* expected;
        bool result;
        QString log;
    };
    const Case cases[] = {
        {"5", "5", true, "5"},
        {"r", "R", false, "rinvalid character received! Cancelling.\n"},
        {QByteArray(1, '\x02'), "\x02", true, QString(QChar(2))},
        {"t", "T", false, "tinvalid character received! Cancelling.\n"},
    };
    link->OpenPort();
    for (const auto& c : cases) {
        front.log.clear();
        loaderEnd().inject(c.received);
        EXPECT_EQ(link->ExpectChar(c.expected), c.result) << c.expected;
        EXPECT_EQ(lines(front.log), c.log) << c.expected;
        EXPECT_EQ(loaderState().sRxChar, QString::fromLatin1(c.received));
    }
    front.log.clear();
    loaderState().bCancel = true;
    EXPECT_FALSE(link->ExpectChar("5"));
    EXPECT_EQ(lines(front.log), QString(QChar(0)) + "invalid character received! Cancelling.\n");
}

TEST_F(LineTest, LogStatusTurnsTheLineMarkIntoCrLf) {
    const std::pair<const char*, const char*> cases[] = {
        {"a/n/nb", "a\r\n\r\nb"}, {"abc", "abc"}, {"/n--- x ---/n", "\r\n--- x ---\r\n"},
        {"a/b\\n", "a/b\\n"},     {"", ""},
    };
    for (const auto& [in, out] : cases) {
        front.log.clear();
        link->LogStatus(in);
        EXPECT_EQ(front.log, out) << in;
    }
}

TEST_F(LineTest, ResponseTimeoutIntervalsAreFiveAndTenSeconds) {
    link->SetResponseTimeout(true);
    EXPECT_TRUE(link->timTimeOut().isActive());
    EXPECT_EQ(link->timTimeOut().interval(), 5000);
    link->SetResponseTimeout(false);
    EXPECT_FALSE(link->timTimeOut().isActive());
    loaderState().bDebug = true;
    link->SetResponseTimeout(true);
    EXPECT_EQ(link->timTimeOut().interval(), 10000);
    link->SetResponseTimeout(false);
}

TEST_F(LineTest, TimeOutMessageNamesTheIntervalInWholeSeconds) {
    const std::pair<bool, const char*> cases[] = {
        {false, "No valid serial response received within  5 second\r\nAborting operation"},
        {true, "No valid serial response received within  10 second\r\nAborting operation"},
    };
    for (const auto& [debug, text] : cases) {
        front.boxes.boxes.clear();
        loaderState().bDebug = debug;
        loaderState().bCancel = false;
        link->SetResponseTimeout(true);
        link->timTimeOut_Timer();
        link->SetResponseTimeout(false);
        EXPECT_TRUE(loaderState().bCancel);
        ASSERT_EQ(front.boxes.boxes.size(), 1u);
        EXPECT_EQ(front.boxes.boxes[0].text, text);
        EXPECT_EQ(front.boxes.boxes[0].title, "TimeOut");
        EXPECT_EQ(front.boxes.boxes[0].icon, MessageIcon::Exclamation);
    }
}

TEST_F(LineTest, TimeOutShowsAtMostOneBoxWhileItIsOpen) {
    int ticksWhileOpen = 0;
    front.boxes.onBox = [&](const ScriptedDialogs::Box&) {
        // The box is "open": further intervals run out meanwhile.
        for (int k = 0; k < 3; ++k) {
            loaderState().bCancel = false;
            link->timTimeOut_Timer();
            ticksWhileOpen += loaderState().bCancel ? 1 : 0;
        }
    };
    link->SetResponseTimeout(true);
    link->timTimeOut_Timer();
    link->SetResponseTimeout(false);
    EXPECT_EQ(front.boxes.boxes.size(), 1u);
    EXPECT_EQ(ticksWhileOpen, 3) << "each tick still raises the cancel request";

    front.boxes.onBox = nullptr;
    link->timTimeOut_Timer();
    EXPECT_EQ(front.boxes.boxes.size(), 2u) << "a later time-out shows its box again";
}

TEST_F(LineTest, ArmedTimeOutEndsAWaitForASilentTarget) {
    link->setTimeoutDivisorForTesting(100);
    link->OpenPort();
    link->SetResponseTimeout(true);
    EXPECT_EQ(link->ReadChar(), QString(QChar(0)));
    link->SetResponseTimeout(false);
    ASSERT_EQ(front.boxes.boxes.size(), 1u);
    EXPECT_EQ(front.boxes.boxes[0].text,
              "No valid serial response received within  5 second\r\nAborting operation");
}

TEST_F(LineTest, SentStatusShowsTheCountersAndPercent) {
    auto& st = loaderState();
    st.lBytesSent = 1024;
    st.lBytesTotal = 8192;
    link->timSentStatus_Timer();
    EXPECT_EQ(front.statusPanel, "bytes sent 1024 / 8192");
    EXPECT_FLOAT_EQ(front.progress, 12.5f);
    st.lBytesSent = 0;
    st.lBytesTotal = 0;
    link->timSentStatus_Timer();
    EXPECT_EQ(front.statusPanel, "bytes sent 0 / 0");
    EXPECT_FLOAT_EQ(front.progress, 0.0f);
    EXPECT_EQ(link->timSentStatus().interval(), 250);
}

TEST_F(LineTest, CancelWhileBusyOnlyRaisesTheRequest) {
    link->OpenPort();
    loaderState().bBusy = true;
    link->cmdCancel_Click();
    EXPECT_TRUE(loaderState().bCancel);
    EXPECT_TRUE(loaderEnd().isOpen());
    EXPECT_EQ(front.log, "");
}

TEST_F(LineTest, CancelWhileIdleClosesThePortAndResetsTheButtons) {
    for (bool slot0HasFile : {false, true}) {
        front.enabled.clear();
        front.log.clear();
        front.slotData[0].path = slot0HasFile ? "/tmp/primary.bin" : "";
        link->OpenPort();
        bool on = true;
        link->SetTerminalMode(on);
        front.log.clear();
        link->cmdCancel_Click();
        EXPECT_FALSE(loaderEnd().isOpen());
        EXPECT_EQ(front.isEnabled(Control::StartPrimary), slot0HasFile);
        EXPECT_FALSE(front.isEnabled(Control::URK));
        EXPECT_FALSE(front.isEnabled(Control::StartSecondary));
        EXPECT_TRUE(front.enabled.count(Control::URK));
        EXPECT_FALSE(loaderState().bTerminalMode);
        EXPECT_EQ(lines(front.log),
                  "\n--- Closing port ---\n\n--- Switching to programmed mode ---\n");
    }
}

TEST_F(LineTest, PulseDtrDropsAndRaisesDtr) {
    QList<bool> changes;
    QObject::connect(&boardEnd(), &MemoryLine::dtrChanged, [&](bool on) { changes << on; });
    link->PulseDtr();
    EXPECT_TRUE(changes.isEmpty()) << "closed port: nothing";
    link->OpenPort();
    link->PulseDtr();
    EXPECT_EQ(changes, (QList<bool>{false, true}));
    EXPECT_TRUE(loaderEnd().dtr());
}

}  // namespace
}  // namespace vrx::test
