// The flash loader of the simulated board: wake-up, frames checked byte for
// byte, the simulated NAND, and the malformed answers it can be told to give.
#include "sim_test_support.h"

namespace {

using simtest::BoardFixture;
using simtest::frame;
using simtest::hex;
using simtest::le32;
using vrx::sim::InfoFrameFault;
using vrx::sim::kAck;
using vrx::sim::Mode;
using vrx::sim::State;
using vrx::sim::Step;

const QByteArray kVersionRequest = hex("020A000000A6A6000003");
const QByteArray kComplete = hex("020A000000B1B1000003");
const QByteArray kEndOfData = hex("020C000000A3A30000000003");

QByteArray header(quint32 address, quint32 size, bool erase) {
    return frame(0xAE, le32(address) + le32(size) + le32(3) + hex("0100") +
                           QByteArray(1, erase ? '\x01' : '\x00'));
}

class SimFlashTest : public BoardFixture {
  protected:
    void SetUp() override {
        BoardFixture::SetUp();
        makeBoard(Mode::Flash);
        board->setVersionText("V1.0");
        bootFlashLoader();
    }

    QByteArray versionFrame() { return hex("020D000000A6") + "V1.0" + hex("170003"); }

    // Version exchange, then header, data, end-of-data and complete, each
    // answered before the next goes out. Returns every answer.
    QByteArray programFlash(quint32 address, const QByteArray& image, bool erase) {
        send(kVersionRequest);
        QByteArray answers = expect(versionFrame().size());
        for (const QByteArray& f : {header(address, quint32(image.size()), erase),
                                    frame(0xAF, image), kEndOfData, kComplete}) {
            send(f);
            answers += expect(kAck.size());
        }
        return answers;
    }
};

TEST_F(SimFlashTest, ProgramsTheNandWithAndWithoutErase) {
    const QByteArray image = QByteArray(100, '\x5A') + QByteArray("\x00\x02\x03", 3);
    for (const bool erase : {false, true}) {
        SCOPED_TRACE(erase ? "full erase" : "no erase");
        board->clearCapture();
        EXPECT_EQ(programFlash(0x00040000, image, erase),
                  versionFrame() + kAck + kAck + kAck + kAck);
        const vrx::sim::NandRecord& nand = board->nand();
        EXPECT_EQ(nand.address, 0x00040000u);
        EXPECT_EQ(nand.size, quint32(image.size()));
        EXPECT_EQ(nand.erase, erase);
        EXPECT_EQ(nand.erased, erase);
        EXPECT_EQ(nand.data, image);
        EXPECT_TRUE(nand.endOfData);
        EXPECT_TRUE(nand.complete);
        EXPECT_TRUE(board->violations().isEmpty()) << board->violations().join("\n").toStdString();
    }
}

// A full erase takes its time on a real board; the acknowledgement waits for it.
TEST_F(SimFlashTest, FullEraseDelaysTheHeaderAcknowledgement) {
    board->setEraseDelay(1000);
    send(header(0, 4, true));
    ASSERT_TRUE(simtest::pumpUntil([&] { return board->nand().headerSeen; }));
    EXPECT_EQ(loader().bytesWaiting(), 0) << "no acknowledgement before the erase is done";
    EXPECT_EQ(expect(kAck.size()), kAck);

    send(header(0, 4, false));
    EXPECT_EQ(expect(kAck.size()), kAck) << "without erase the answer comes at once";
    board->setEraseDelay(60000);
    send(header(0, 4, true));
    ASSERT_TRUE(simtest::pumpUntil([&] { return board->nand().erase; }));
    board->powerCycle();
    EXPECT_EQ(drain(200), "5") << "a reset ends the erase without its acknowledgement";
}

TEST_F(SimFlashTest, TakesTheHeaderFrameAsTheLoaderWritesIt) {
    send(hex("0218000000AE000004000000020003000000010000000003"));
    EXPECT_EQ(expect(kAck.size()), kAck);
    EXPECT_EQ(board->nand().address, 0x00040000u);
    EXPECT_EQ(board->nand().size, 0x20000u);
    EXPECT_FALSE(board->nand().erase);
    EXPECT_TRUE(board->violations().isEmpty()) << board->violations().join("\n").toStdString();
}

TEST_F(SimFlashTest, FramesArrivingByteByByteAreAssembled) {
    for (const char byte : kVersionRequest) send(QByteArray(1, byte));
    EXPECT_EQ(expect(versionFrame().size()), versionFrame());
}

TEST_F(SimFlashTest, EmptyVersionTextGivesANineByteFrame) {
    board->setVersionText("");
    send(kVersionRequest);
    EXPECT_EQ(expect(9), hex("0209000000A6170003"));
}

TEST_F(SimFlashTest, MalformedInformationFrames) {
    struct Case {
        InfoFrameFault fault;
        QByteArray sent;
    };
    const Case cases[] = {
        {InfoFrameFault::NoStx, hex("150D000000A6") + "V1.0" + hex("170003")},
        {InfoFrameFault::LengthTooLarge, hex("02409C0000A6") + "V1."},
        {InfoFrameFault::LengthTooSmall, hex("0205000000A6") + "V1."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.fault));
        board->setInfoFrameFault(c.fault);
        board->powerCycle();
        bootFlashLoader();
        send(kVersionRequest);
        EXPECT_EQ(drain(), c.sent);
        EXPECT_EQ(board->state(), State::Halted);
    }
}

TEST_F(SimFlashTest, FaultyAcknowledgements) {
    struct Case {
        const char* name;
        Step step;
        QByteArray answer;
        int answeredFrames;  // acknowledged before the fault (header, data, end, complete)
    };
    const Case cases[] = {
        {"header trailer 00 00", Step::HeaderAck, vrx::sim::kAckZeroTrailer, 0},
        {"data answered 0x15", Step::DataAck, vrx::sim::kAckNak, 1},
        {"end-of-data silent", Step::EndAck, "", 2},
        {"complete silent", Step::CompleteAck, "", 3},
    };
    const QByteArray image("img");
    const QByteArray frames[] = {header(0, 3, false), frame(0xAF, image), kEndOfData, kComplete};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        board->clearFaults();
        board->setFault(c.step, c.answer);
        board->powerCycle();
        bootFlashLoader();
        for (int i = 0; i < c.answeredFrames; ++i) {
            send(frames[i]);
            ASSERT_EQ(expect(kAck.size()), kAck);
        }
        send(frames[c.answeredFrames]);
        EXPECT_EQ(drain(), c.answer);
        EXPECT_EQ(board->state(), State::Halted);
    }
}

TEST_F(SimFlashTest, SilentAfterTheHandshake) {
    board->setFault(Step::FlashWake, "");
    board->powerCycle();
    bootIram("fl_burn");
    send("F");
    EXPECT_EQ(drain(), "");
    EXPECT_EQ(board->state(), State::Halted);
}

TEST_F(SimFlashTest, WrongWakeUpBytesAreViolations) {
    board->powerCycle();
    bootIram("fl_burn");
    send("XF");
    EXPECT_EQ(expect(1), "F");
    send("TS");
    simtest::settle();
    EXPECT_EQ(board->violations().size(), 2);
    EXPECT_EQ(board->state(), State::FlashFrames);
}

// Each malformed frame is reported, and the parser stays in step: a good
// version request right behind it is answered.
TEST_F(SimFlashTest, MalformedFramesAreViolations) {
    struct Case {
        const char* name;
        QByteArray sent;
        const char* violation;
    };
    QByteArray wrongTrailer = kVersionRequest;
    wrongTrailer[7] = '\x17';
    QByteArray noEtx = kVersionRequest;
    noEtx[9] = '\x04';
    QByteArray wrongLength = kVersionRequest;
    wrongLength[1] = '\x0B';
    const Case cases[] = {
        {"garbage before STX", "?", "expected STX"},
        {"trailer not zero", wrongTrailer, "trailer"},
        {"no ETX", noEtx, "ETX"},
        {"length field", wrongLength, "length 11"},
        {"header number", frame(0xAE, le32(0) + le32(4) + le32(4) + hex("010000")), "number 4"},
        {"header constant bytes", frame(0xAE, le32(0) + le32(4) + le32(3) + hex("000100")),
         "01 00"},
        {"erase flag", frame(0xAE, le32(0) + le32(4) + le32(3) + hex("010002")), "erase flag"},
        {"end before data", kEndOfData, "before the data"},
        {"complete before end", kComplete, "before END-OF-DATA"},
        {"unknown code", frame(0x42, "x"), "unknown frame code"},
        {"version payload", frame(0xA6, "\x01"), "carries"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        board->powerCycle();
        bootFlashLoader();
        board->clearCapture();
        send(c.sent);
        simtest::settle();
        loader().read(0);
        ASSERT_FALSE(board->violations().isEmpty());
        EXPECT_TRUE(board->violations().first().contains(c.violation))
            << board->violations().join("\n").toStdString();
        send(kVersionRequest);
        EXPECT_EQ(expect(versionFrame().size()), versionFrame());
    }
}

TEST_F(SimFlashTest, DataFrameLengthMustMatchTheHeader) {
    send(header(0x1000, 4, false));
    EXPECT_EQ(expect(kAck.size()), kAck);
    QByteArray data = frame(0xAF, "abcd");
    data[1] = '\x0E';  // announces 5 image bytes
    send(data);
    EXPECT_EQ(expect(kAck.size()), kAck)
        << "taken at the header's length, so the parser stays in step";
    EXPECT_EQ(board->nand().data, "abcd");
    ASSERT_EQ(board->violations().size(), 1);
    EXPECT_TRUE(board->violations().first().contains("expected 13"));
}

TEST_F(SimFlashTest, ImpossibleLengthIsDroppedWithoutWaitingForIt) {
    QByteArray huge = frame(0x42, "");
    huge[4] = '\x7F';  // about 2 GiB
    send(huge.left(6));
    simtest::settle();
    EXPECT_TRUE(board->violations().join("\n").contains("impossible"));
    send(kVersionRequest);
    EXPECT_EQ(expect(versionFrame().size()), versionFrame());
}

}  // namespace
