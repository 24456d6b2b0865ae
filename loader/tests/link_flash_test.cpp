// NAND flash programming against the simulated board in flash mode: the
// successful run with its exact log and frames, the header and data frame
// bytes, and every failure ending on the cancel path.
#include "link_sequence_fixture.h"

namespace vrx::test {
namespace {

const QString kVersion = "VRX5520 fl_burn (simulated) 1.0";

class FlashTest : public SequenceFixture {
  protected:
    FlashTest() {
        board.setMode(sim::Mode::Flash);
        board.setVersionText(kVersion.toLatin1());
        flBurn = pattern(200, 9);
        image = pattern(3000, 10);
        front.slotData[0].ticked = false;
        front.slotData[1].ticked = false;
        front.slotData[6] = {true, makeFile("fl_burn.bin", flBurn), "0x0000",
                             sizeText(flBurn.size())};
        front.slotData[5] = {true, makeFile("flash.img", image), "0x00040000",
                             sizeText(image.size())};
    }

    static QString flashLog(bool erase) {
        return kPrimaryLog +
               "Sending 'F' .. done!\n"
               "Expect 'F' .. F .. found!\n"
               "Sending 'S' .. done!\n"
               "Sending VERSION REQUEST .. done!\n"
               "Reading VERSION INFORMATION frame .. " +
               QChar(2) + ">" + kVersion +
               "< done!\n"
               "Sending NAND FLASH HEADER frame .. " +
               (erase ? "(ERASING FLASH) .. " : "") +
               "get ACK .. done!\n"
               "Sending NAND FLASH DATA frame .. get ACK .. done!\n"
               "Sending END-OF-DATA frame .. get ACK .. done!\n"
               "Sending NAND FLASH COMPLETE.. get ACK .. done!\n";
    }

    void expectFlashEndState() {
        EXPECT_TRUE(front.isEnabled(Control::PrgFlash));
        EXPECT_FALSE(loaderEnd().isOpen());
        EXPECT_FALSE(loaderState().bBusy);
        EXPECT_FALSE(link->timTimeOut().isActive());
    }

    QByteArray flBurn;
    QByteArray image;
};

TEST_F(FlashTest, FullRunWithAndWithoutEraseProgramsTheImage) {
    for (bool erase : {true, false}) {
        SCOPED_TRACE(erase ? "full erase" : "no erase");
        front.log.clear();
        front.erase = erase;
        link->cmdPrgFlash_Click();

        EXPECT_EQ(log(), flashLog(erase));
        EXPECT_TRUE(board.violations().isEmpty()) << board.violations().join("\n").toStdString();
        EXPECT_EQ(board.iram()->data, flBurn);
        EXPECT_TRUE(board.nand().complete);
        EXPECT_EQ(board.nand().erase, erase);
        EXPECT_EQ(board.nand().address, 0x40000u);
        EXPECT_EQ(board.nand().data, image);
        EXPECT_TRUE(front.boxes.boxes.empty());
        expectFlashEndState();
    }
}

TEST_F(FlashTest, HeaderAndDataFramesCarryAddressSizeAndLength) {
    image = pattern(0x20000, 11);
    front.slotData[5] = {true, makeFile("big.img", image), "0x00040000", "0x20000"};
    link->cmdPrgFlash_Click();
    const QByteArray header = QByteArray::fromHex(
        "021800000"
        "0ae"
        "00000400"
        "00000200"
        "03000000"
        "01"
        "00"
        "00"
        "0000"
        "03");
    EXPECT_TRUE(board.received().contains(header));
    EXPECT_EQ(board.nand().data, image);

    board.clearCapture();
    image = pattern(100, 12);
    front.slotData[5] = {true, makeFile("small.img", image), "0x00040000", "0x64"};
    link->cmdPrgFlash_Click();
    EXPECT_TRUE(board.received().contains(QByteArray::fromHex("026d000000af") + image +
                                          QByteArray::fromHex("000003")));
    EXPECT_TRUE(board.nand().complete);
}

TEST_F(FlashTest, ANineByteVersionFrameGivesAnEmptyVersionText) {
    board.setVersionText("");
    link->cmdPrgFlash_Click();
    EXPECT_TRUE(
        log().contains(QString("Reading VERSION INFORMATION frame .. ") + QChar(2) + ">< done!\n"));
    EXPECT_TRUE(board.nand().complete);
}

TEST_F(FlashTest, MissingFlBurnSelectionIsReportedAndTheRunGoesOn) {
    front.slotData[6].ticked = false;
    link->cmdPrgFlash_Click();
    ASSERT_GE(front.boxes.boxes.size(), 1u);
    EXPECT_EQ(front.boxes.boxes[0].text, "No fl_burn binary specified in INI file");
    EXPECT_EQ(front.boxes.boxes[0].title, "Error");
    EXPECT_EQ(front.boxes.boxes[0].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(board.nand().complete);
    expectFlashEndState();
}

struct FlashFailure {
    const char* name;
    std::function<void(sim::Board&, FakeFront&, Link&)> arrange;
    QString logTail;
    QString errorBox;  // the message's last line when the error path runs
};

void cancelAfter(Link& link, int ms) {
    QTimer::singleShot(ms, &link, [&link] { link.cmdCancel_Click(); });
}

TEST_F(FlashTest, EveryFailureEndsOnTheCancelPath) {
    const QString nul(QChar(0));
    const QString invalid = "invalid character received! Cancelling.\n";
    const FlashFailure cases[] = {
        {"dialog closed",
         [](sim::Board&, FakeFront& f, Link&) {
             f.beforeBootIdWait = [] { loaderState().bCancel = true; };
         },
         "Waiting for BootID .. " + nul + "cancelled!\n" + kCancelLine, ""},
        {"no R", [](sim::Board& b, FakeFront&, Link&) { b.setFault(sim::Step::BootReady, ""); },
         "Expect 'R' .. " + nul + invalid + kCancelLine, ""},
        {"silent after the code: the user cancels",
         [](sim::Board& b, FakeFront&, Link& l) {
             b.setFault(sim::Step::FlashWake, "");
             cancelAfter(l, 300);
         },
         "Expect 'F' .. " + nul + invalid + kCancelLine, ""},
        {"wrong F", [](sim::Board& b, FakeFront&, Link&) { b.setFault(sim::Step::FlashWake, "f"); },
         "Expect 'F' .. f" + invalid + kCancelLine, ""},
        {"information frame without STX",
         [](sim::Board& b, FakeFront&, Link&) { b.setInfoFrameFault(sim::InfoFrameFault::NoStx); },
         "Reading VERSION INFORMATION frame .. " + QString(QChar(0x15)) + invalid + kCancelLine,
         ""},
        {"information frame too long",
         [](sim::Board& b, FakeFront&, Link&) {
             b.setInfoFrameFault(sim::InfoFrameFault::LengthTooLarge);
         },
         "Reading VERSION INFORMATION frame .. " + QString(QChar(2)) + kCancelLine,
         "invalid information frame length 40000"},
        {"information frame too short",
         [](sim::Board& b, FakeFront&, Link&) {
             b.setInfoFrameFault(sim::InfoFrameFault::LengthTooSmall);
         },
         "Reading VERSION INFORMATION frame .. " + QString(QChar(2)) + kCancelLine,
         "invalid information frame length 5"},
        {"header ack with zero trailer",
         [](sim::Board& b, FakeFront&, Link&) {
             b.setFault(sim::Step::HeaderAck, sim::kAckZeroTrailer);
         },
         "Sending NAND FLASH HEADER frame .. get ACK .. " + kCancelLine, ""},
        {"data NAK",
         [](sim::Board& b, FakeFront&, Link&) { b.setFault(sim::Step::DataAck, sim::kAckNak); },
         "Sending NAND FLASH DATA frame .. get ACK .. " + kCancelLine, ""},
        {"end-of-data ack missing: the user cancels",
         [](sim::Board& b, FakeFront&, Link& l) {
             b.setFault(sim::Step::EndAck, "");
             cancelAfter(l, 300);
         },
         "Sending END-OF-DATA frame .. get ACK .. " + kCancelLine, ""},
        {"complete NAK",
         [](sim::Board& b, FakeFront&, Link&) { b.setFault(sim::Step::CompleteAck, sim::kAckNak); },
         "Sending NAND FLASH COMPLETE.. get ACK .. " + kCancelLine, ""},
        {"missing image file",
         [](sim::Board&, FakeFront& f, Link&) { f.slotData[5].path = "/nonexistent/flash.img"; },
         "Sending NAND FLASH DATA frame .. " + kCancelLine,
         "file not found: /nonexistent/flash.img"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        resetLoaderState();
        front.log.clear();
        front.boxes.boxes.clear();
        front.enabled.clear();
        front.beforeBootIdWait = [this] { board.powerCycle(); };
        front.slotData[5].path = dir.filePath("flash.img");
        board.clearFaults();
        board.setInfoFrameFault(sim::InfoFrameFault::None);
        c.arrange(board, front, *link);

        link->cmdPrgFlash_Click();

        EXPECT_TRUE(log().endsWith(c.logTail)) << log().toStdString();
        expectFlashEndState();
        const bool timeOut = QString(c.name) == "no R";
        if (c.errorBox.isEmpty()) {
            EXPECT_EQ(front.boxes.boxes.size(), timeOut ? 1u : 0u);
        } else {
            ASSERT_EQ(front.boxes.boxes.size(), 1u);
            EXPECT_EQ(front.boxes.boxes[0].text,
                      "Error communicating with COM1\r\nor other download problem\r\nError: " +
                          c.errorBox);
        }
    }
}

TEST_F(FlashTest, CancelDuringTheDataFrameClosesTheFrameAndFailsOnTheAck) {
    image = pattern(60000, 13);
    front.slotData[5] = {true, makeFile("big.img", image), "0x00040000", sizeText(image.size())};
    front.boxes.yesNoAnswers = {true};
    auto* poll = new QTimer(link.get());
    QObject::connect(poll, &QTimer::timeout, [this, poll] {
        if (loaderState().lBytesSent >= 10000 && loaderState().lBytesTotal == 60000) {
            link->cmdCancel_Click();
            poll->stop();
        }
    });
    poll->start(0);
    link->cmdPrgFlash_Click();

    ASSERT_EQ(front.boxes.boxes.size(), 1u);
    EXPECT_TRUE(front.boxes.boxes[0].question);
    EXPECT_TRUE(log().endsWith("Sending NAND FLASH DATA frame .. get ACK .. " + kCancelLine));
    EXPECT_TRUE(loaderEnd().written().endsWith(QByteArray::fromHex("000003")))
        << "the data frame is closed with its trailer and ETX";
    EXPECT_LT(loaderState().lBytesSent, 60000);
    expectFlashEndState();
}

}  // namespace
}  // namespace vrx::test
