// The frame operations of the flash loader protocol against scripted bytes on
// the in-memory line: the command frame on the wire, the acknowledgement
// compared byte by byte, and information frames of every length class.
#include "link_error.h"
#include "link_fake_front.h"

namespace vrx::test {
namespace {

using FramesTest = LinkFixture;

const QByteArray kAck = QByteArray::fromHex("020a0000000606170003");

TEST_F(FramesTest, CommandFramesGoOnTheLineAsTenBytes) {
    link->OpenPort();
    link->SendCommandFrame(0xA6);
    EXPECT_EQ(boardReceived(), QByteArray::fromHex("020a000000a6a6000003"));
    link->SendCommandFrame(0xB1);
    EXPECT_EQ(boardReceived(), QByteArray::fromHex("020a000000b1b1000003"));
}

TEST_F(FramesTest, GetAckStopsAtTheFirstDifferingByte) {
    struct Case {
        const char* name;
        QByteArray received;
        bool result;
        qint64 leftUnread;
        QString log;
    };
    const Case cases[] = {
        {"the acknowledgement", kAck, true, 0, "get ACK .. done!\n"},
        {"ack followed by more", kAck + "x", true, 1, "get ACK .. done!\n"},
        {"zero trailer", QByteArray::fromHex("020a0000000606000003"), false, 2, "get ACK .. "},
        {"code 0x15", QByteArray::fromHex("020a0000001515170003"), false, 4, "get ACK .. "},
        {"no STX", QByteArray::fromHex("150a0000000606170003"), false, 9, "get ACK .. "},
        {"wrong ETX", QByteArray::fromHex("020a0000000606170004"), false, 0, "get ACK .. "},
    };
    link->OpenPort();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        loaderEnd().discardInput();
        front.log.clear();
        loaderEnd().inject(c.received);
        EXPECT_EQ(link->GetAck(), c.result);
        EXPECT_EQ(loaderEnd().bytesWaiting(), c.leftUnread);
        EXPECT_EQ(lines(front.log), c.log);
    }
}

TEST_F(FramesTest, GetAckAfterACancelRequestFailsAtOnce) {
    link->OpenPort();
    loaderEnd().inject(kAck);
    loaderState().bCancel = true;
    EXPECT_FALSE(link->GetAck());
    EXPECT_EQ(loaderEnd().bytesWaiting(), kAck.size());
}

TEST_F(FramesTest, ReadInfoFrameReturnsThePayloadWhateverCodeAndTrailer) {
    struct Case {
        const char* name;
        QByteArray frame;
        QString payload;
    };
    const Case cases[] = {
        {"nine bytes: empty payload", QByteArray::fromHex("0209000000a6171703"), ""},
        {"L = 20",
         QByteArray::fromHex("021400000077") + "VRX 1.2.3-x" + QByteArray::fromHex("ffee03"),
         "VRX 1.2.3-x"},
        {"binary payload",
         QByteArray::fromHex("020c00000001"
                             "00ff80"
                             "000003"),
         QString(QChar(0)) + QChar(0xFF) + QChar(0x80)},
    };
    link->OpenPort();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        front.log.clear();
        loaderEnd().inject(c.frame + "next");
        QString payload = "stale";
        EXPECT_TRUE(link->ReadInfoFrame(payload));
        EXPECT_EQ(payload, c.payload);
        EXPECT_EQ(front.log, QString(QChar(2))) << "the STX is logged as received";
        EXPECT_EQ(loaderEnd().read(0), QByteArray("next")) << "exactly L bytes are read";
    }
}

TEST_F(FramesTest, ReadInfoFrameRefusesAFrameWithoutStx) {
    link->OpenPort();
    loaderEnd().inject(QByteArray::fromHex("1509000000a6171703"));
    QString payload;
    EXPECT_FALSE(link->ReadInfoFrame(payload));
    EXPECT_EQ(lines(front.log), QString(QChar(0x15)) + "invalid character received! Cancelling.\n");
}

TEST_F(FramesTest, ReadInfoFrameRefusesLengthsOutside9To32767) {
    const std::pair<QByteArray, bool> cases[] = {
        {QByteArray::fromHex("0208000000"), false},
        {QByteArray::fromHex("0200000000"), false},
        {QByteArray::fromHex("0200800000"), false},  // 32768
        {QByteArray::fromHex("02ffffffff"), false},
        {QByteArray::fromHex("02ff7f0000"), true},  // 32767: read in full
    };
    link->OpenPort();
    for (const auto& [head, accepted] : cases) {
        SCOPED_TRACE(head.toHex().toStdString());
        loaderEnd().discardInput();
        loaderEnd().inject(head);
        QString payload;
        if (accepted) {
            loaderEnd().inject(QByteArray(32767 - 5, 'v'));
            EXPECT_TRUE(link->ReadInfoFrame(payload));
            EXPECT_EQ(payload.size(), 32767 - 9);
        } else {
            EXPECT_THROW(link->ReadInfoFrame(payload), LinkError);
        }
    }
}

}  // namespace
}  // namespace vrx::test
