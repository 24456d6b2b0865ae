// Image download (U-Boot, root file system, kernel) through the primary loader
// of the simulated board, after a primary and secondary load.
#include "link_sequence_fixture.h"

namespace vrx::test {
namespace {

class DownloadTest : public SequenceFixture {
  protected:
    DownloadTest() {
        link->cmdStartPrimary_Click();  // primary loader running, secondary in place
        EXPECT_TRUE(front.isEnabled(Control::URK));
        images = {pattern(500, 20), pattern(700, 21), pattern(900, 22)};
        const char* names[] = {"u-boot.bin", "rootfs.img", "kernel.img"};
        const char* addresses[] = {"0x80100000", "0x80200000", "0x80300000"};
        for (int i = 2; i <= 4; ++i) {
            front.slotData[i] = {true, makeFile(names[i - 2], images[i - 2]), addresses[i - 2],
                                 sizeText(images[i - 2].size())};
        }
        front.log.clear();
        board.clearCapture();
    }

    static QString imageLog(char letter, const QString& name) {
        return QString(
                   "-- Sending command .. %1 ..done!\n"
                   "Sending startaddress .. done!\n"
                   "Sending size .. done!\n"
                   "Wait for acceptance from primary boot .. o ..OK!\n"
                   "Sending code .. done!\n"
                   "Expect final 't' .. t .. found, \n"
                   "---- %2 loaded. ---\n"
                   "\n")
            .arg(letter)
            .arg(name);
    }

    // The command letters the board saw, in order.
    QString commands() const {
        QString out;
        for (const auto& event : board.events()) {
            if (event.startsWith("primary loader: command '")) out += event.at(25);
        }
        return out;
    }

    std::vector<QByteArray> images;
};

TEST_F(DownloadTest, TickedImagesGoOutInSlotOrder) {
    front.slotData[3].ticked = false;
    link->cmdURK_Click();

    EXPECT_EQ(log(), imageLog('u', "UBoot image") + imageLog('k', "Kernel image"));
    EXPECT_EQ(commands(), "uk");
    EXPECT_EQ(board.sdram().at('u').data, images[0]);
    EXPECT_EQ(board.sdram().at('u').address, 0x80100000u);
    EXPECT_EQ(board.sdram().at('k').data, images[2]);
    EXPECT_FALSE(board.sdram().count('r'));
    EXPECT_TRUE(board.violations().isEmpty()) << board.violations().join("\n").toStdString();
    EXPECT_TRUE(front.isEnabled(Control::URK));
    EXPECT_TRUE(front.isEnabled(Control::StartPrimary));
    EXPECT_TRUE(front.isEnabled(Control::StartSecondary));
    EXPECT_TRUE(loaderEnd().isOpen());
    EXPECT_FALSE(loaderState().bTerminalMode);
    EXPECT_FALSE(loaderState().bBusy);
}

TEST_F(DownloadTest, AllThreeImagesWithTheDownloadLog) {
    link->cmdURK_Click();
    EXPECT_EQ(log(), imageLog('u', "UBoot image") + imageLog('r', "Root FS image") +
                         imageLog('k', "Kernel image"));
    EXPECT_EQ(board.sdram().at('r').data, images[1]);
}

TEST_F(DownloadTest, NothingTickedOnlyForcesProgrammedMode) {
    link->cmdTerminal_Click();  // terminal mode on
    front.log.clear();
    for (int i = 2; i <= 4; ++i) front.slotData[i].ticked = false;
    const QByteArray before = loaderEnd().written();
    link->cmdURK_Click();
    EXPECT_EQ(log(), "\n--- Switching to programmed mode ---\n");
    EXPECT_EQ(loaderEnd().written(), before);
    EXPECT_TRUE(front.isEnabled(Control::URK));
    EXPECT_TRUE(front.isEnabled(Control::StartSecondary));
}

TEST_F(DownloadTest, AFailedImageSkipsTheRestAndCancels) {
    board.setFault(sim::Step::Accept, "E", 'u');
    link->cmdURK_Click();
    EXPECT_EQ(commands(), "u");
    EXPECT_TRUE(
        log().endsWith(" .. Error signalled back from primary boot.\n"
                       "Sending code aborted...!\n" +
                       kCancelLine));
    EXPECT_FALSE(front.isEnabled(Control::URK));
    EXPECT_TRUE(front.isEnabled(Control::StartPrimary));
    EXPECT_FALSE(front.isEnabled(Control::StartSecondary));
    EXPECT_FALSE(loaderEnd().isOpen());
    EXPECT_FALSE(loaderState().bBusy);
}

TEST_F(DownloadTest, AFailedAddressCheckLeavesEverythingAsItWas) {
    front.addressesOk = false;
    front.enabled.clear();
    link->cmdURK_Click();
    EXPECT_TRUE(front.enabled.empty());
    EXPECT_TRUE(loaderEnd().isOpen());
    EXPECT_EQ(front.log, "");
    EXPECT_EQ(commands(), "");
}

TEST_F(DownloadTest, AMissingFileShowsTheErrorAndCancels) {
    front.slotData[3].path = "/nonexistent/rootfs.img";
    link->cmdURK_Click();
    EXPECT_EQ(commands(), "ur");
    ASSERT_EQ(front.boxes.boxes.size(), 1u);
    EXPECT_EQ(front.boxes.boxes[0].text,
              "Error communicating with COM1\r\nor other download problem\r\n"
              "Error: file not found: /nonexistent/rootfs.img");
    EXPECT_TRUE(log().endsWith("Sending code .. " + kCancelLine));
    EXPECT_FALSE(front.isEnabled(Control::URK));
    EXPECT_TRUE(front.isEnabled(Control::StartPrimary));
    EXPECT_FALSE(loaderEnd().isOpen());
}

}  // namespace
}  // namespace vrx::test
