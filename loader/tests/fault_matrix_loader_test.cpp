// The loader's three long sequences (primary load, flash run, image download)
// against the simulated board under every kind of fault, as one table: the
// port vanishes in each phase, garbage comes instead of each expected
// character, the information frame announces an impossible length, and the
// user cancels at each wait. Each case must end on the cancel path with the
// right log line or message, the port closed and the buttons in their
// documented state, and the same sequence must then succeed without a new
// Link: no fault leaves state behind.
#include <QtEndian>

#include "link_sequence_fixture.h"

namespace vrx::test {
namespace {

enum class Sequence { Primary, Flash, Download };

const char* sequenceName(Sequence s) {
    switch (s) {
        case Sequence::Primary:
            return "primary load";
        case Sequence::Flash:
            return "flash run";
        case Sequence::Download:
            return "image download";
    }
    return "?";
}

enum class Fault {
    PortLost,     // at the board event `at`
    Garbage,      // `answer` instead of the board's answer at `step`
    Cancel,       // the board stays silent at `step` and the user cancels
    CloseDialog,  // the user closes the boot ID waiting dialog
};

struct FaultCase {
    Sequence sequence;
    Fault fault;
    const char* name;
    QString at;         // board event (prefix) for PortLost
    sim::Step step{};   // Garbage and Cancel
    QByteArray answer;  // Garbage
    QString logTail;    // what the log ends with before the cancel line ("" = not checked)
    QString errorText;  // the message's "Error: " line, "" when no message is expected
};

QByteArray infoFrameHead(quint32 length) {
    QByteArray bytes(5, '\0');
    bytes[0] = 0x02;
    qToLittleEndian(length, bytes.data() + 1);
    return bytes;
}

FaultCase portLost(Sequence s, const char* name, const QString& at) {
    return {s, Fault::PortLost, name, at, {}, {}, {}, {}};
}
FaultCase garbage(Sequence s, const char* name, sim::Step step, const QByteArray& answer,
                  const QString& logTail = {}, const QString& errorText = {}) {
    return {s, Fault::Garbage, name, {}, step, answer, logTail, errorText};
}
FaultCase cancelAt(Sequence s, const char* name, sim::Step step) {
    return {s, Fault::Cancel, name, {}, step, {}, {}, {}};
}
FaultCase dialogClosed(Sequence s) {
    return {s,
            Fault::CloseDialog,
            "dialog closed at the boot ID",
            {},
            {},
            {},
            "Waiting for BootID .. " + QString(QChar(0)) + "cancelled!\n",
            {}};
}

const QString kInvalid = "invalid character received! Cancelling.\n";
const QString kPortClosed = "the serial port is closed";

std::vector<FaultCase> faultCases() {
    using S = Sequence;
    using St = sim::Step;
    std::vector<FaultCase> cases = {
        // The port vanishes in each phase.
        portLost(S::Primary, "lost after the boot ID", "state: boot ROM"),
        portLost(S::Primary, "lost after 'A'", "boot ROM: 'A' received"),
        portLost(S::Primary, "lost while the primary code goes out",
                 "state: boot ROM loading IRAM"),
        portLost(S::Primary, "lost when the primary loader starts", "primary loader running"),
        portLost(S::Primary, "lost at the secondary's command", "primary loader: command 'p'"),
        portLost(S::Primary, "lost while the secondary code goes out",
                 "state: primary loader loading SDRAM"),
        portLost(S::Flash, "lost while fl_burn goes out", "state: boot ROM loading IRAM"),
        portLost(S::Flash, "lost at the wake-up", "flash loader: 'F' received"),
        portLost(S::Flash, "lost at the version request", "flash loader: VERSION REQUEST"),
        portLost(S::Flash, "lost at the header", "flash loader: NAND FLASH HEADER"),
        portLost(S::Flash, "lost at end of data", "flash loader: END-OF-DATA"),
        portLost(S::Flash, "lost at complete", "flash loader: NAND FLASH COMPLETE"),
        portLost(S::Download, "lost at the first command", "primary loader: command 'u'"),
        portLost(S::Download, "lost while an image goes out",
                 "state: primary loader loading SDRAM"),
        portLost(S::Download, "lost at the second command", "primary loader: command 'r'"),

        // Garbage instead of each expected character.
        garbage(S::Primary, "garbage for the second boot ID", St::SecondBootId, "?",
                "Expect 2-nd BootId .. ?" + kInvalid),
        garbage(S::Primary, "garbage for 'R'", St::BootReady, "?", "Expect 'R' .. ?" + kInvalid),
        garbage(S::Primary, "garbage for 'X'", St::PrimaryReady, "?",
                "Wait for 'X' .. ?" + kInvalid),
        garbage(S::Primary, "garbage for 'o'", St::Accept, "?"),
        garbage(S::Primary, "garbage for 't'", St::Done, "?"),
        garbage(S::Flash, "garbage for 'F'", St::FlashWake, "?", "Expect 'F' .. ?" + kInvalid),
        garbage(S::Flash, "garbage for the header ack", St::HeaderAck,
                QByteArray::fromHex("020a000000ff"), "get ACK .. "),
        garbage(S::Flash, "garbage for the data ack", St::DataAck, "?", "get ACK .. "),
        garbage(S::Flash, "garbage for the end ack", St::EndAck, "?", "get ACK .. "),
        garbage(S::Flash, "garbage for the complete ack", St::CompleteAck, "?", "get ACK .. "),
        garbage(S::Download, "garbage for 'o'", St::Accept, "?"),
        garbage(S::Download, "garbage for 't'", St::Done, "?"),

        // The user cancels at each wait.
        dialogClosed(S::Primary),
        dialogClosed(S::Flash),
        cancelAt(S::Primary, "cancel at the second boot ID", St::SecondBootId),
        cancelAt(S::Primary, "cancel at 'R'", St::BootReady),
        cancelAt(S::Primary, "cancel at 'X'", St::PrimaryReady),
        cancelAt(S::Primary, "cancel at 'o'", St::Accept),
        cancelAt(S::Primary, "cancel at 't'", St::Done),
        cancelAt(S::Flash, "cancel at 'F'", St::FlashWake),
        cancelAt(S::Flash, "cancel at the version frame", St::VersionInfo),
        cancelAt(S::Flash, "cancel at the header ack", St::HeaderAck),
        cancelAt(S::Flash, "cancel at the data ack", St::DataAck),
        cancelAt(S::Flash, "cancel at the end ack", St::EndAck),
        cancelAt(S::Flash, "cancel at the complete ack", St::CompleteAck),
        cancelAt(S::Download, "cancel at 'o'", St::Accept),
        cancelAt(S::Download, "cancel at 't'", St::Done),
    };
    // Frame lengths no information frame can have.
    for (quint32 length : {0u, 8u, 32768u, 0xFFFFFFFFu}) {
        cases.push_back(garbage(S::Flash, "information frame length", St::VersionInfo,
                                infoFrameHead(length), {},
                                "invalid information frame length " + QString::number(length)));
    }
    return cases;
}

class LoaderFaultMatrix : public SequenceFixture {
  protected:
    LoaderFaultMatrix() {
        flBurn = pattern(200, 9);
        flashImage = pattern(3000, 10);
        images = {pattern(500, 20), pattern(700, 21), pattern(900, 22)};
        files = {makeFile("fl_burn.bin", flBurn), makeFile("flash.img", flashImage),
                 makeFile("u-boot.bin", images[0]), makeFile("rootfs.img", images[1]),
                 makeFile("kernel.img", images[2])};
        QObject::connect(&board, &sim::Board::protocolEvent, &board, [this](const QString& text) {
            if (!lossAt.isEmpty() && text.startsWith(lossAt)) {
                lossAt.clear();
                boardEnd().simulateLoss();
            }
            if (cancelOnSilence && text.startsWith("fault: silent")) {
                cancelOnSilence = false;
                QTimer::singleShot(0, link.get(), [this] { link->cmdCancel_Click(); });
            }
        });
    }

    // Slots and board mode for one sequence, from a board that was just reset.
    void arrange(Sequence s) {
        for (auto& slot : front.slotData) slot.ticked = false;
        board.setMode(s == Sequence::Flash ? sim::Mode::Flash : sim::Mode::Boot);
        if (s == Sequence::Flash) {
            front.slotData[6] = {true, files[0], "0x0000", sizeText(flBurn.size())};
            front.slotData[5] = {true, files[1], "0x00040000", sizeText(flashImage.size())};
        } else {
            front.slotData[0].ticked = true;
            front.slotData[1].ticked = true;
        }
        if (s == Sequence::Download) {
            const char* addresses[] = {"0x80100000", "0x80200000", "0x80300000"};
            for (int i = 2; i <= 4; ++i) {
                front.slotData[i] = {true, files[i], addresses[i - 2],
                                     sizeText(images[i - 2].size())};
            }
        }
    }

    void startOver() {
        freshLoaderState();
        board.clearFaults();
        // The adapter is plugged in again.
        loaderEnd().setWriteFails(false);
        boardEnd().setWriteFails(false);
        front.log.clear();
        front.boxes.boxes.clear();
        front.boxes.yesNoAnswers.clear();
        front.beforeBootIdWait = [this] { board.powerCycle(); };
    }

    // Runs the sequence; a download first needs the primary and secondary in place.
    void run(Sequence s) {
        if (s == Sequence::Download) {
            link->cmdStartPrimary_Click();
            ASSERT_TRUE(front.isEnabled(Control::URK)) << log().toStdString();
            front.log.clear();
            link->cmdURK_Click();
        } else if (s == Sequence::Primary) {
            link->cmdStartPrimary_Click();
        } else {
            link->cmdPrgFlash_Click();
        }
    }

    void expectSuccess(Sequence s) {
        EXPECT_TRUE(front.boxes.boxes.empty());
        EXPECT_FALSE(loaderState().bBusy);
        switch (s) {
            case Sequence::Primary:
                EXPECT_TRUE(log().endsWith(kSecondaryLog)) << log().toStdString();
                EXPECT_TRUE(front.isEnabled(Control::URK));
                break;
            case Sequence::Flash:
                EXPECT_TRUE(log().endsWith("Sending NAND FLASH COMPLETE.. get ACK .. done!\n"))
                    << log().toStdString();
                EXPECT_EQ(board.nand().data, flashImage);
                EXPECT_TRUE(front.isEnabled(Control::PrgFlash));
                break;
            case Sequence::Download:
                EXPECT_TRUE(log().endsWith("---- Kernel image loaded. ---\n\n"))
                    << log().toStdString();
                EXPECT_EQ(board.sdram().at('k').data, images[2]);
                EXPECT_TRUE(front.isEnabled(Control::URK));
                break;
        }
    }

    // The documented state after a failed or cancelled sequence.
    void expectCancelled(Sequence s) {
        EXPECT_TRUE(log().endsWith(kCancelLine)) << log().toStdString();
        EXPECT_FALSE(loaderEnd().isOpen());
        EXPECT_EQ(front.portState, "Closed...");
        EXPECT_FALSE(loaderState().bBusy);
        EXPECT_FALSE(link->timTimeOut().isActive());
        switch (s) {
            case Sequence::Flash:
                EXPECT_TRUE(front.isEnabled(Control::PrgFlash));
                break;
            case Sequence::Primary:
            case Sequence::Download:
                EXPECT_TRUE(front.isEnabled(Control::StartPrimary));
                EXPECT_FALSE(front.isEnabled(Control::StartSecondary));
                EXPECT_FALSE(front.isEnabled(Control::URK));
                break;
        }
    }

    QString lossAt;
    bool cancelOnSilence = false;
    QByteArray flBurn, flashImage;
    std::vector<QByteArray> images;
    std::vector<QString> files;
};

TEST_F(LoaderFaultMatrix, EveryFaultEndsOnTheCancelPathAndTheNextRunWorks) {
    for (const FaultCase& c : faultCases()) {
        SCOPED_TRACE(std::string(sequenceName(c.sequence)) + " / " + c.name + " " +
                     c.errorText.toStdString());
        startOver();
        arrange(c.sequence);
        if (c.sequence == Sequence::Download) {
            // The download runs on a primary loader that was started cleanly.
            link->cmdStartPrimary_Click();
            ASSERT_TRUE(front.isEnabled(Control::URK)) << log().toStdString();
            front.log.clear();
        }
        // Board faults of the download name its first command only.
        const char command = c.sequence == Sequence::Download ? 'u' : 0;
        switch (c.fault) {
            case Fault::PortLost:
                lossAt = c.at;
                break;
            case Fault::Garbage:
                board.setFault(c.step, c.answer, command);
                break;
            case Fault::Cancel:
                board.setFault(c.step, "", command);
                cancelOnSilence = true;
                front.boxes.yesNoAnswers = {true, true};  // "really stop?" -> Yes
                break;
            case Fault::CloseDialog:
                front.beforeBootIdWait = [] { loaderState().bCancel = true; };
                break;
        }
        if (c.sequence == Sequence::Download)
            link->cmdURK_Click();
        else
            run(c.sequence);

        EXPECT_TRUE(lossAt.isEmpty()) << "the phase was never reached";
        expectCancelled(c.sequence);
        if (!c.logTail.isEmpty()) {
            EXPECT_TRUE(log().endsWith(c.logTail + kCancelLine)) << log().toStdString();
        }
        std::vector<ScriptedDialogs::Box> errors;
        for (const auto& box : front.boxes.boxes)
            if (!box.question) errors.push_back(box);
        if (c.fault == Fault::PortLost) {
            ASSERT_EQ(errors.size(), 1u);
            EXPECT_TRUE(errors[0].text.startsWith("Error communicating with COM1\r\n"))
                << errors[0].text.toStdString();
        } else if (!c.errorText.isEmpty()) {
            ASSERT_EQ(errors.size(), 1u);
            EXPECT_TRUE(errors[0].text.endsWith("Error: " + c.errorText))
                << errors[0].text.toStdString();
        } else if (c.fault == Fault::Cancel) {
            EXPECT_TRUE(errors.empty());
        }

        // The same Link, the same board after a power cycle: the run succeeds.
        lossAt.clear();
        cancelOnSilence = false;
        startOver();
        arrange(c.sequence);
        run(c.sequence);
        expectSuccess(c.sequence);
    }
}

}  // namespace
}  // namespace vrx::test
