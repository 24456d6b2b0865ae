// The primary load (boot ROM handshake, code transfer, secondary load) against
// the simulated board: the successful runs with their exact logs and button
// states, every failure ending on the cancel path, the cancel confirmation,
// size texts that disagree with the file, and run-time errors.
#include "link_error.h"
#include "link_sequence_fixture.h"

namespace vrx::test {
namespace {

using PrimaryLoadTest = SequenceFixture;

TEST_F(PrimaryLoadTest, PrimaryOnlyEndsInTerminalModeWithTheExactLog) {
    front.slotData[1].ticked = false;
    link->cmdStartPrimary_Click();

    EXPECT_EQ(log(), kPrimaryLog + kTerminalLine);
    ASSERT_TRUE(board.iram().has_value());
    EXPECT_EQ(board.iram()->address, 0u);
    EXPECT_EQ(board.iram()->data, primaryCode);
    EXPECT_TRUE(board.violations().isEmpty()) << board.violations().join("\n").toStdString();
    EXPECT_TRUE(front.isEnabled(Control::StartPrimary));
    EXPECT_FALSE(front.isEnabled(Control::StartSecondary));
    EXPECT_FALSE(front.isEnabled(Control::URK));
    EXPECT_TRUE(loaderEnd().isOpen());
    EXPECT_TRUE(loaderState().bTerminalMode);
    EXPECT_FALSE(loaderState().bBusy);
    EXPECT_EQ(front.boxes.boxes.size(), 0u);
    EXPECT_EQ(loaderState().lBytesSent, primaryCode.size());
    EXPECT_EQ(front.statusPanel, QString("bytes sent 300 / 300"));
    EXPECT_FLOAT_EQ(front.progress, 100.0f);
}

TEST_F(PrimaryLoadTest, PrimaryAndSecondaryEnableTheDownloadButtons) {
    link->cmdStartPrimary_Click();

    EXPECT_EQ(log(), kPrimaryLog + kSecondaryLog);
    ASSERT_TRUE(board.sdram().count('p'));
    EXPECT_EQ(board.sdram().at('p').address, 0x80000004u);
    EXPECT_EQ(board.sdram().at('p').data, secondaryCode);
    EXPECT_TRUE(board.violations().isEmpty()) << board.violations().join("\n").toStdString();
    EXPECT_TRUE(front.isEnabled(Control::StartPrimary));
    EXPECT_TRUE(front.isEnabled(Control::StartSecondary));
    EXPECT_TRUE(front.isEnabled(Control::URK));
    EXPECT_TRUE(loaderEnd().isOpen());
    EXPECT_FALSE(loaderState().bTerminalMode);
    EXPECT_FALSE(loaderState().bBusy);
    EXPECT_FALSE(link->timTimeOut().isActive());
}

TEST_F(PrimaryLoadTest, WithoutSlot0ItAddressesARunningPrimaryLoader) {
    front.slotData[1].ticked = false;
    link->cmdStartPrimary_Click();  // the primary loader now runs on the board
    ASSERT_EQ(board.state(), sim::State::Primary);
    board.setResetOnOpen(false);  // the primary loader must survive the reopening
    front.log.clear();
    front.slotData[0].ticked = false;
    front.slotData[1].ticked = true;
    // The running primary loader announces itself after the port was reopened.
    QTimer::singleShot(30, [this] { board.inject("X"); });
    link->cmdStartPrimary_Click();

    EXPECT_EQ(log(), "\n--- Switching to programmed mode ---\n" + kSecondaryLog);
    EXPECT_EQ(front.bootIdWaits, 1) << "no boot ID wait without slot 0";
    EXPECT_EQ(board.sdram().at('p').data, secondaryCode);
    EXPECT_TRUE(front.isEnabled(Control::URK));
}

TEST_F(PrimaryLoadTest, WithNeitherSlotItOpensThePortInTerminalMode) {
    front.slotData[0].ticked = false;
    front.slotData[1].ticked = false;
    link->cmdStartPrimary_Click();
    EXPECT_EQ(log(), kTerminalLine);
    EXPECT_TRUE(loaderEnd().isOpen());
    EXPECT_TRUE(loaderState().bTerminalMode);
    EXPECT_TRUE(loaderEnd().written().isEmpty());
}

TEST_F(PrimaryLoadTest, AFailedAddressCheckChangesNothing) {
    front.addressesOk = false;
    link->cmdStartPrimary_Click();
    EXPECT_EQ(front.addressChecks, 1);
    EXPECT_TRUE(front.enabled.empty());
    EXPECT_FALSE(loaderEnd().isOpen());
    EXPECT_FALSE(loaderState().bBusy);
    EXPECT_EQ(front.log, "");
}

TEST_F(PrimaryLoadTest, NoiseBeforeTheBootIdIsLoggedAndIgnored) {
    front.slotData[1].ticked = false;
    board.setBootNoise(
        QByteArray("\xfe"
                   "ab",
                   3));
    link->cmdStartPrimary_Click();
    EXPECT_TRUE(log().startsWith(QString("Waiting for BootID .. ") + QChar(0xFE) +
                                 "ab5 .. found!\nSending 'A' .. done!\n"));
    EXPECT_TRUE(loaderState().bTerminalMode);
}

TEST_F(PrimaryLoadTest, AddressAndSizeGoOnTheLineLeastSignificantByteFirst) {
    front.slotData[1].ticked = false;
    const QByteArray code = pattern(0x1000, 3);
    front.slotData[0] = {true, makeFile("p4k.bin", code), "0x0000", "0x1000"};
    link->cmdStartPrimary_Click();
    EXPECT_TRUE(board.received().startsWith(QByteArray("AU3\x00\x00\x00\x00\x00\x10\x00\x00", 11)))
        << board.received().left(11).toHex(' ').toStdString();
    EXPECT_EQ(board.iram()->size, 0x1000u);
    EXPECT_EQ(board.iram()->data, code);
}

struct FailureCase {
    const char* name;
    std::function<void(sim::Board&, FakeFront&)> arrange;
    bool slot1;
    QString logTail;  // what the log ends with, cancel line included
    bool timeOutBox;
};

TEST_F(PrimaryLoadTest, EveryFailureEndsOnTheCancelPath) {
    const QString nul(QChar(0));
    const QString invalid = "invalid character received! Cancelling.\n";
    const FailureCase cases[] = {
        {"dialog closed",
         [](sim::Board&, FakeFront& f) {
             f.beforeBootIdWait = [] { loaderState().bCancel = true; };
         },
         false, "Waiting for BootID .. " + nul + "cancelled!\n" + kCancelLine, false},
        {"no second boot ID",
         [](sim::Board& b, FakeFront&) { b.setFault(sim::Step::SecondBootId, ""); }, false,
         "Expect 2-nd BootId .. " + nul + invalid + kCancelLine, true},
        {"wrong second boot ID",
         [](sim::Board& b, FakeFront&) { b.setFault(sim::Step::SecondBootId, "6"); }, false,
         "Expect 2-nd BootId .. 6" + invalid + kCancelLine, false},
        {"no R", [](sim::Board& b, FakeFront&) { b.setFault(sim::Step::BootReady, ""); }, false,
         "Expect 'R' .. " + nul + invalid + kCancelLine, true},
        {"lower-case r", [](sim::Board& b, FakeFront&) { b.setFault(sim::Step::BootReady, "r"); },
         false, "Expect 'R' .. r" + invalid + kCancelLine, false},
        {"no X", [](sim::Board& b, FakeFront&) { b.setFault(sim::Step::PrimaryReady, ""); }, true,
         "Wait for 'X' .. " + nul + invalid + kCancelLine, true},
        {"wrong X", [](sim::Board& b, FakeFront&) { b.setFault(sim::Step::PrimaryReady, "x"); },
         true, "Wait for 'X' .. x" + invalid + kCancelLine, false},
        {"E instead of o", [](sim::Board& b, FakeFront&) { b.setFault(sim::Step::Accept, "E"); },
         true,
         "Wait for acceptance from primary boot .. E .. Error signalled back from primary boot.\n"
         "Sending code aborted...!\n" +
             kCancelLine,
         false},
        {"other char instead of o",
         [](sim::Board& b, FakeFront&) { b.setFault(sim::Step::Accept, "O"); }, true,
         "Wait for acceptance from primary boot .. O .. invalid char! Cancelled.\n"
         "Sending code aborted...!\n" +
             kCancelLine,
         false},
        {"silence instead of o",
         [](sim::Board& b, FakeFront&) { b.setFault(sim::Step::Accept, ""); }, true,
         "Wait for acceptance from primary boot .. " + nul +
             " .. invalid char! Cancelled.\n"
             "Sending code aborted...!\n" +
             kCancelLine,
         true},
        {"upper-case T", [](sim::Board& b, FakeFront&) { b.setFault(sim::Step::Done, "T"); }, true,
         "Sending code .. done!\nExpect final 't' .. Tinvalid char! Cancelled.\n\n" + kCancelLine,
         false},
        {"no t", [](sim::Board& b, FakeFront&) { b.setFault(sim::Step::Done, ""); }, true,
         "Sending code .. done!\nExpect final 't' .. " + nul + "invalid char! Cancelled.\n\n" +
             kCancelLine,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        resetLoaderState();
        loaderState().sSlotName[1] = "Secondary Executable";
        front.log.clear();
        front.boxes.boxes.clear();
        front.enabled.clear();
        front.beforeBootIdWait = [this] { board.powerCycle(); };
        board.clearFaults();
        c.arrange(board, front);
        front.slotData[1].ticked = c.slot1;

        link->cmdStartPrimary_Click();

        EXPECT_TRUE(log().endsWith(c.logTail)) << log().toStdString();
        expectPrimaryFailedState();
        if (c.timeOutBox) {
            ASSERT_EQ(front.boxes.boxes.size(), 1u);
            EXPECT_EQ(front.boxes.boxes[0].title, "TimeOut");
            EXPECT_EQ(front.boxes.boxes[0].text,
                      "No valid serial response received within  5 second\r\nAborting operation");
        } else {
            EXPECT_TRUE(front.boxes.boxes.empty());
        }
    }
}

// Presses the cancel button once the transfer has passed `afterBytes`.
void cancelDuringTransfer(Link& link, std::int32_t afterBytes) {
    auto* poll = new QTimer(&link);
    QObject::connect(poll, &QTimer::timeout, [poll, &link, afterBytes] {
        if (loaderState().lBytesSent >= afterBytes) {
            link.cmdCancel_Click();
            poll->deleteLater();
            poll->stop();
        }
    });
    poll->start(0);
}

TEST_F(PrimaryLoadTest, CancelDuringTheTransferAnsweredNoGoesOnThenYesStops) {
    front.slotData[1].ticked = false;
    primaryCode = pattern(20000, 4);
    front.slotData[0] = {true, makeFile("big.bin", primaryCode), "0x0000", sizeText(20000)};
    front.boxes.yesNoAnswers = {false, true};
    bool secondCancelArmed = false;
    front.boxes.onBox = [&](const ScriptedDialogs::Box& box) {
        if (box.question && !secondCancelArmed) {
            secondCancelArmed = true;
            cancelDuringTransfer(*link, loaderState().lBytesSent + 1000);
        }
    };
    cancelDuringTransfer(*link, 2000);
    link->cmdStartPrimary_Click();

    ASSERT_EQ(front.boxes.boxes.size(), 2u);
    for (const auto& box : front.boxes.boxes) {
        EXPECT_TRUE(box.question);
        EXPECT_EQ(box.title, "VRX5520_Loader");
        EXPECT_EQ(box.text, "If you cancel now, you have to restart all over!\r\nAre you sure?");
        EXPECT_EQ(box.icon, MessageIcon::None);
    }
    const std::int32_t stoppedAt = loaderState().lBytesSent;
    EXPECT_GE(stoppedAt, 3000);
    EXPECT_LT(stoppedAt, 20000);
    // "No" left the line untouched: what arrived is exactly the file's start.
    EXPECT_EQ(board.iram()->data, primaryCode.left(stoppedAt));
    EXPECT_TRUE(log().endsWith("Sending code .. " + kCancelLine)) << log().toStdString();
    expectPrimaryFailedState();
}

TEST_F(PrimaryLoadTest, SizeTextLargerThanTheFileCountsOnButSendsOnlyTheFile) {
    front.slotData[1].ticked = false;
    front.slotData[0].size = sizeText(primaryCode.size() + 20);
    link->cmdStartPrimary_Click();
    EXPECT_EQ(board.iram()->data, primaryCode);
    EXPECT_EQ(loaderState().lBytesTotal, 320);
    EXPECT_EQ(loaderState().lBytesSent, 320);
    EXPECT_EQ(front.statusPanel, "bytes sent 320 / 320");
    EXPECT_EQ(log(), kPrimaryLog + kTerminalLine);
}

TEST_F(PrimaryLoadTest, SizeTextSmallerThanTheFileSendsOnlyThatMany) {
    front.slotData[1].ticked = false;
    front.slotData[0].size = "0x10";
    link->cmdStartPrimary_Click();
    EXPECT_EQ(board.iram()->data, primaryCode.left(16));
    EXPECT_EQ(board.received().size(), 3 + 8 + 16);
    EXPECT_EQ(loaderState().lBytesSent, 16);
}

struct ErrorCase {
    const char* name;
    std::function<void(FakeFront&, SequenceFixture&)> arrange;
    QString logTail;
    QString errorLine;  // the message's last line, after "Error: "
};

using PrimaryLoadErrorTest = SequenceFixture;

TEST_F(PrimaryLoadErrorTest, RunTimeErrorsShowTheMessageAndCancel) {
    const ErrorCase cases[] = {
        {"missing file",
         [](FakeFront& f, SequenceFixture&) { f.slotData[0].path = "/nonexistent/primary.bin"; },
         "Sending code .. " + kCancelLine, "file not found: /nonexistent/primary.bin"},
        {"size text no number", [](FakeFront& f, SequenceFixture&) { f.slotData[0].size = ""; },
         "Sending size .. " + kCancelLine, "'' is not a number"},
        {"address text no number",
         [](FakeFront& f, SequenceFixture&) { f.slotData[0].address = "0xZZ"; },
         "Sending startaddress .. " + kCancelLine, "'0xZZ' is not a number"},
        {"port missing", [](FakeFront& f, SequenceFixture&) { f.port = 4; }, kCancelLine, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        resetLoaderState();
        front.log.clear();
        front.boxes.boxes.clear();
        front.port = 1;
        front.slotData[0].path = dir.filePath("primary.bin");
        front.slotData[0].size = sizeText(primaryCode.size());
        front.slotData[0].address = "0x0000";
        front.slotData[1].ticked = false;
        loaderEnd().setRefusedDevices({"/dev/ttyFAKE4"});
        c.arrange(front, *this);

        link->cmdStartPrimary_Click();

        EXPECT_TRUE(log().endsWith(c.logTail)) << log().toStdString();
        ASSERT_EQ(front.boxes.boxes.size(), 1u);
        const auto& box = front.boxes.boxes[0];
        EXPECT_EQ(box.title, "Error");
        EXPECT_EQ(box.icon, MessageIcon::Exclamation);
        const QString head =
            QString("Error communicating with COM%1\r\nor other download problem\r\nError: ")
                .arg(front.port);
        EXPECT_TRUE(box.text.startsWith(head)) << box.text.toStdString();
        if (!c.errorLine.isEmpty()) {
            EXPECT_EQ(box.text.mid(head.size()), c.errorLine);
        }
        expectPrimaryFailedState();
    }
}

TEST_F(PrimaryLoadErrorTest, APortThatVanishesMidTransferEndsOnTheErrorPath) {
    front.slotData[1].ticked = false;
    primaryCode = pattern(20000, 5);
    front.slotData[0] = {true, makeFile("big.bin", primaryCode), "0x0000", sizeText(20000)};
    auto* poll = new QTimer(link.get());
    QObject::connect(poll, &QTimer::timeout, [this, poll] {
        if (loaderState().lBytesSent >= 5000) {
            boardEnd().simulateLoss();
            poll->stop();
        }
    });
    poll->start(0);
    link->cmdStartPrimary_Click();

    ASSERT_EQ(front.boxes.boxes.size(), 1u);
    EXPECT_EQ(front.boxes.boxes[0].text,
              "Error communicating with COM1\r\nor other download problem\r\n"
              "Error: write failed: the device is gone");
    EXPECT_TRUE(log().endsWith("Sending code .. " + kCancelLine));
    expectPrimaryFailedState();
}

TEST_F(PrimaryLoadErrorTest, APortLostDuringTheBootIdWaitEndsOnTheErrorPath) {
    front.beforeBootIdWait = [this] { boardEnd().simulateLoss(); };
    link->cmdStartPrimary_Click();
    ASSERT_EQ(front.boxes.boxes.size(), 1u);
    EXPECT_EQ(front.boxes.boxes[0].text,
              "Error communicating with COM1\r\nor other download problem\r\n"
              "Error: the serial port is closed");
    EXPECT_EQ(log(), "Waiting for BootID .. " + kCancelLine);
    expectPrimaryFailedState();
}

TEST_F(PrimaryLoadErrorTest, ErrorsPropagateInDebugMode) {
    loaderState().bDebug = true;
    front.port = 4;
    loaderEnd().setRefusedDevices({"/dev/ttyFAKE4"});
    EXPECT_THROW(link->cmdStartPrimary_Click(), SerialError);
    EXPECT_TRUE(front.boxes.boxes.empty());
}

TEST_F(PrimaryLoadTest, InDebugModeOnlyTheDialogsDebugSendReachesTheLine) {
    front.slotData[1].ticked = false;
    front.beforeBootIdWait = [this] {
        board.powerCycle();
        link->cmdOut_Click("4");
    };
    link->cmdStartPrimary_Click();
    EXPECT_EQ(board.received(), QByteArray("4"));
    ASSERT_EQ(front.boxes.boxes.size(), 1u);
    EXPECT_EQ(front.boxes.boxes[0].text,
              "No valid serial response received within  10 second\r\nAborting operation");
    EXPECT_TRUE(log().endsWith("Sending 'A' .. done!\nExpect 2-nd BootId .. " + QString(QChar(0)) +
                               "invalid character received! Cancelling.\n" + kCancelLine));
    expectPrimaryFailedState();
}

}  // namespace
}  // namespace vrx::test
