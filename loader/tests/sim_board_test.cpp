// The boot ROM and the primary loader of the simulated board, driven byte by
// byte from the loader's end of an in-memory line.
#include <algorithm>

#include "sim_test_support.h"

namespace {

using simtest::BoardFixture;
using simtest::le32;
using simtest::settle;
using vrx::sim::Mode;
using vrx::sim::State;
using vrx::sim::Step;

class SimBootTest : public BoardFixture {
  protected:
    void SetUp() override {
        BoardFixture::SetUp();
        makeBoard(Mode::Boot);
    }

    // One command of the primary loader up to its final answer.
    QByteArray runCommand(char letter, quint32 address, const QByteArray& code) {
        send(QByteArray(1, letter) + le32(address) + le32(quint32(code.size())));
        QByteArray answers = expect(1);
        if (answers == "o") {
            send(code);
            answers += expect(1);
        }
        return answers;
    }
};

TEST_F(SimBootTest, PrimaryLoadPutsTheExactCodeIntoIram) {
    const QByteArray code("\x00\x01\xff\x35\x41 primary", 14);
    bootIram(code, 0x0100);
    EXPECT_EQ(expect(1), "X");

    ASSERT_TRUE(board->iram().has_value());
    EXPECT_EQ(board->iram()->address, 0x0100u);
    EXPECT_EQ(board->iram()->size, quint32(code.size()));
    EXPECT_EQ(board->iram()->data, code);
    EXPECT_EQ(board->state(), State::Primary);
    EXPECT_EQ(board->received(), "AU3" + le32(0x0100) + le32(quint32(code.size())) + code);
    EXPECT_EQ(board->sent(), "55RX");
    EXPECT_TRUE(board->violations().isEmpty()) << board->violations().join("\n").toStdString();
}

TEST_F(SimBootTest, HandshakeBytesArrivingInOneChunkAreTakenInOrder) {
    EXPECT_EQ(expect(1), "5");
    send("AU3" + le32(0x20) + le32(2) + "ab");
    EXPECT_EQ(expect(3), "5RX");
    EXPECT_EQ(board->iram()->data, "ab");
}

TEST_F(SimBootTest, EveryCommandLoadsItsImageIntoSdram) {
    bootPrimary();
    struct Case {
        char letter;
        quint32 address;
        QByteArray code;
    };
    const Case cases[] = {
        {'p', 0x80000004, "secondary"},
        {'u', 0x80100000, QByteArray(3000, '\xA5')},
        {'r', 0x81000000, "rootfs"},
        {'k', 0x82000000, QByteArray("k\0rn\0l", 7)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("command ") + c.letter);
        EXPECT_EQ(runCommand(c.letter, c.address, c.code), "ot");
        const auto& image = board->sdram().at(c.letter);
        EXPECT_EQ(image.address, c.address);
        EXPECT_EQ(image.data, c.code);
        EXPECT_TRUE(image.complete());
    }
    EXPECT_EQ(board->state(), State::Primary);
    EXPECT_TRUE(board->violations().isEmpty()) << board->violations().join("\n").toStdString();
}

TEST_F(SimBootTest, EmptyImageIsAcceptedAndDoneAtOnce) {
    bootPrimary();
    send(QByteArray("u") + le32(0x80000000) + le32(0));
    EXPECT_EQ(expect(2), "ot");
}

TEST_F(SimBootTest, StartingTheSecondaryGivesATerminal) {
    vrx::sim::TerminalConfig secondary;
    secondary.banner = "Linux\r\n";
    secondary.prompt = "login: ";
    board->setSecondary(secondary);
    bootPrimary();
    runCommand('p', 0x80000000, "sec");
    send("d");
    EXPECT_EQ(expect(14), "Linux\r\nlogin: ");
    send("root\r");
    EXPECT_EQ(expect(13), "root\r\nlogin: ");
    EXPECT_TRUE(board->secondaryStarted());
    EXPECT_EQ(board->state(), State::Terminal);
    EXPECT_TRUE(board->violations().isEmpty());
}

TEST_F(SimBootTest, NoiseGoesOutBeforeTheBootId) {
    EXPECT_EQ(expect(1), "5");
    board->setBootNoise(QByteArray("\x00\xfe?", 3));
    board->powerCycle();
    EXPECT_EQ(drain(), QByteArray("\x00\xfe?5", 4));
}

// A fault replaces one answer; the board then stays silent, as a confused
// target would, until it is reset.
TEST_F(SimBootTest, InjectedFaultsReplaceTheAnswerOfTheirStep) {
    struct Case {
        const char* name;
        Step step;
        QByteArray answer;  // empty: silence
    };
    const Case cases[] = {
        {"silent boot ROM", Step::BootId, ""},   {"wrong second boot ID", Step::SecondBootId, "4"},
        {"lower-case r", Step::BootReady, "r"},  {"silent after U3", Step::BootReady, ""},
        {"no X", Step::PrimaryReady, ""},        {"wrong X", Step::PrimaryReady, "x"},
        {"other acceptance", Step::Accept, "?"}, {"upper-case T", Step::Done, "T"},
        {"silent after code", Step::Done, ""},
    };
    // What the loader sends at each step, and the board's normal answer.
    const std::pair<QByteArray, QByteArray> script[] = {
        {"", "5"},
        {"A", "5"},
        {"U3", "R"},
        {le32(0) + le32(2) + "pc", "X"},
        {"p" + le32(0x80000000) + le32(3), "o"},
        {"sec", "t"},
    };
    const Step steps[] = {Step::BootId,       Step::SecondBootId, Step::BootReady,
                          Step::PrimaryReady, Step::Accept,       Step::Done};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        board->clearFaults();
        board->setFault(c.step, c.answer);
        board->powerCycle();
        board->clearCapture();
        for (int i = 0; i < 6; ++i) {
            send(script[i].first);
            if (steps[i] != c.step) {
                ASSERT_EQ(expect(1), script[i].second) << "step " << i;
                continue;
            }
            EXPECT_EQ(drain(), c.answer);
            EXPECT_EQ(board->state(), State::Halted);
            if (!c.answer.isEmpty()) {
                // -v shows a printable answer as the character it is.
                const QString shown = QString("answered with '%1'").arg(QChar(c.answer[0]));
                EXPECT_TRUE(std::any_of(board->events().cbegin(), board->events().cend(),
                                        [&](const QString& e) { return e.endsWith(shown); }))
                    << board->events().join(" | ").toStdString();
            }
            send("AU3p");
            EXPECT_EQ(drain(), "") << "a halted board answers nothing";
            break;
        }
    }
}

TEST_F(SimBootTest, RefusalLeavesThePrimaryLoaderReadyForTheNextCommand) {
    board->setFault(Step::Accept, "E", 'u');
    bootPrimary();
    send(QByteArray("u") + le32(0x80000000) + le32(4));
    EXPECT_EQ(expect(1), "E");
    EXPECT_EQ(board->state(), State::Primary);
    EXPECT_EQ(board->sdram().count('u'), 0u);
    EXPECT_EQ(runCommand('k', 0x80000000, "kern"), "ot") << "the fault is for 'u' only";
}

TEST_F(SimBootTest, DeviationsFromTheProtocolAreRecorded) {
    struct Case {
        const char* name;
        QByteArray afterPrimary;  // sent once the primary loader runs ("" = before "A")
        const char* violation;
    };
    const Case cases[] = {
        {"wrong first handshake byte", "", "expected 'A'"},
        {"unknown command", "z", "unknown command"},
        {"image below SDRAM", "u" + le32(0x7FFFFFF0) + le32(4) + "abcd", "SDRAM window"},
        {"image past SDRAM", "u" + le32(0x83FFFFFE) + le32(4) + "abcd", "SDRAM window"},
        {"start without secondary", "d", "without a loaded secondary"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        board->powerCycle();
        if (QByteArray(c.afterPrimary).isEmpty()) {
            EXPECT_EQ(expect(1), "5");
            board->clearCapture();
            send("B");
        } else {
            bootPrimary();
            board->clearCapture();
            send(c.afterPrimary);
        }
        settle();
        loader().read(0);
        ASSERT_EQ(board->violations().size(), 1) << board->events().join("\n").toStdString();
        EXPECT_TRUE(board->violations().first().contains(c.violation))
            << board->violations().first().toStdString();
    }
}

TEST_F(SimBootTest, IramImageTooLargeIsAViolationAndKeptToTheIramSize) {
    EXPECT_EQ(expect(1), "5");
    send("AU3");
    EXPECT_EQ(expect(2), "5R");
    send(le32(0x0010) + le32(0xFFFFFFFF) + QByteArray(70000, 'c'));
    settle();
    ASSERT_EQ(board->violations().size(), 1);
    EXPECT_TRUE(board->violations().first().contains("IRAM"));
    EXPECT_EQ(board->iram()->received, 70000u);
    EXPECT_EQ(board->iram()->data.size(), 0x10000);
    EXPECT_EQ(board->state(), State::BootLoad) << "still waiting for the rest";
}

TEST_F(SimBootTest, HandshakeWaitsThroughAWrongByte) {
    EXPECT_EQ(expect(1), "5");
    send("xA");
    EXPECT_EQ(expect(1), "5");
    send("U");
    send("Z");  // "3" must follow "U"; the ROM waits for "U" "3" again
    send("U3");
    EXPECT_EQ(expect(1), "R");
    EXPECT_EQ(board->violations().size(), 2);
}

TEST_F(SimBootTest, OpeningThePortResetsTheBoard) {
    bootPrimary();
    loader().close();
    loader().open("/dev/sim", "115200,N,8,1");
    loader().discardInput();  // what the loader's OpenPort does
    EXPECT_EQ(expect(1), "5");
    EXPECT_EQ(board->state(), State::BootRom);
    EXPECT_FALSE(board->iram().has_value()) << "RAM does not survive a reset";

    board->setResetOnOpen(false);
    loader().discardInput();
    EXPECT_EQ(drain(), "");
    EXPECT_EQ(board->state(), State::BootRom);
}

TEST_F(SimBootTest, DtrPulseResetsTheBoard) {
    bootPrimary();
    const int resets = board->resetCount();
    loader().setDtr(false);
    EXPECT_EQ(board->resetCount(), resets) << "a drop alone does not reset";
    loader().setDtr(true);
    EXPECT_EQ(board->resetCount(), resets + 1);
    EXPECT_EQ(expect(1), "5");
}

TEST_F(SimBootTest, BootIdRepeatsUntilTheLoaderAnswers) {
    board->setBootIdRepeat(5);
    board->powerCycle();
    EXPECT_TRUE(simtest::pumpUntil([&] { return loader().bytesWaiting() >= 3; }));
    send("A");
    settle();
    loader().read(0);  // the answer, perhaps behind a last repeat that crossed the "A"
    settle();
    EXPECT_EQ(loader().read(0), "") << "no more repeats once the loader spoke";
    send("U3");
    EXPECT_EQ(expect(1), "R");
}

TEST_F(SimBootTest, AutoModePicksTheProgramByTheIramImage) {
    board->setMode(Mode::Auto);
    board->powerCycle();
    bootIram("some primary");
    EXPECT_EQ(expect(1), "X");
    EXPECT_EQ(board->state(), State::Primary);

    board->powerCycle();
    bootIram("...fl_burn v2...");
    EXPECT_EQ(drain(), "") << "the flash loader waits for 'F'";
    EXPECT_EQ(board->state(), State::FlashWake);
}

TEST_F(SimBootTest, InjectSendsBytesAtOnce) {
    EXPECT_EQ(expect(1), "5");
    board->inject("hello");
    EXPECT_EQ(expect(5), "hello");
}

TEST_F(SimBootTest, WithoutRecordingTheBoardStillLoadsButKeepsNoCapture) {
    board->setRecording(false);
    board->clearCapture();
    QStringList signalled;
    QObject listener;  // ends the connection with this test's locals
    QObject::connect(board.get(), &vrx::sim::Board::protocolEvent, &listener,
                     [&](const QString& text) { signalled << text; });
    bootPrimary();
    EXPECT_EQ(board->iram()->data, "primary code");
    EXPECT_TRUE(board->received().isEmpty());
    EXPECT_TRUE(board->sent().isEmpty());
    EXPECT_TRUE(board->events().isEmpty());
    EXPECT_FALSE(signalled.isEmpty()) << "the events are still signalled";
}

}  // namespace
