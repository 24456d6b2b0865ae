// The QSerialPort line over a pseudo-terminal, end to end, and the mapping of
// COM1..COM8 to device paths.
#include <QFile>
#include <QTemporaryDir>

#include "link_fake_front.h"
#include "link_pty.h"
#include "port_map.h"
#include "qserialport_line.h"

namespace vrx::test {
namespace {

class SerialPortLineTest : public ::testing::Test {
  protected:
    SerialPortLineTest() { ensureApp(); }
    PtyMaster pty;
    QSerialPortLine line;
};

// What reaches the master, running the event loop meanwhile (the line hands
// its bytes over from a short timer).
QByteArray readFromMaster(PtyMaster& pty, qsizetype expected) {
    QByteArray got;
    spinUntil([&] {
        got += pty.readAvailable(0);
        return got.size() >= expected;
    });
    return got;
}

QByteArray allByteValues() {
    QByteArray bytes;
    for (int v = 0; v < 256; ++v) bytes.append(char(v));
    return bytes;
}

TEST_F(SerialPortLineTest, BytesCrossUnchangedInBothDirections) {
    line.open(pty.slavePath(), kLineSettings);
    ASSERT_TRUE(line.isOpen());
    EXPECT_EQ(line.device(), pty.slavePath());

    line.write(allByteValues());
    EXPECT_EQ(readFromMaster(pty, 256), allByteValues());

    int arrivals = 0;
    QObject::connect(&line, &SerialLine::dataArrived, [&] { ++arrivals; });
    pty.write(allByteValues());
    ASSERT_TRUE(spinUntil([&] { return line.bytesWaiting() >= 256; }));
    EXPECT_GT(arrivals, 0);
    EXPECT_EQ(line.read(1), QByteArray(1, '\0'));
    EXPECT_EQ(line.read(0), allByteValues().mid(1));
}

TEST_F(SerialPortLineTest, ByteByByteSendsArriveCompleteAndInOrder) {
    line.open(pty.slavePath(), kLineSettings);
    const QByteArray data = allByteValues().repeated(256);  // 64 KiB
    QByteArray got;
    for (qsizetype i = 0; i < data.size(); ++i) {
        line.write(data.mid(i, 1));
        QCoreApplication::processEvents();
        if (i % 1000 == 0) got += pty.readAvailable(0);
    }
    got += readFromMaster(pty, data.size() - got.size());
    EXPECT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data) << "bytes lost, doubled or reordered";
}

TEST_F(SerialPortLineTest, ClosingSendsWhatWasWrittenBefore) {
    line.open(pty.slavePath(), kLineSettings);
    line.write("last words");
    line.close();
    EXPECT_EQ(pty.readAvailable(1000), QByteArray("last words"));
}

TEST_F(SerialPortLineTest, DiscardDropsWhatArrivedBefore) {
    line.open(pty.slavePath(), kLineSettings);
    pty.write("stale");
    ASSERT_TRUE(spinUntil([&] { return line.bytesWaiting() == 5; }));
    line.discardInput();
    EXPECT_EQ(line.bytesWaiting(), 0);
}

TEST_F(SerialPortLineTest, DtrAndFlowControlOnAPseudoTerminalAreHarmless) {
    line.setFlowControl(FlowControl::XonXoff);  // closed: kept for the next open
    line.open(pty.slavePath(), kLineSettings);
    EXPECT_NO_THROW(line.setDtr(false));
    EXPECT_NO_THROW(line.setDtr(true));
    EXPECT_NO_THROW(line.setFlowControl(FlowControl::None));
    line.write("ok");
    EXPECT_EQ(readFromMaster(pty, 2), QByteArray("ok"));
}

TEST_F(SerialPortLineTest, OpenFailuresAreSerialErrorsNamingTheDevice) {
    try {
        line.open("/dev/ttyNOSUCHDEVICE7", kLineSettings);
        FAIL() << "opened a missing device";
    } catch (const SerialError& e) {
        EXPECT_NE(std::string(e.what()).find("/dev/ttyNOSUCHDEVICE7"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(line.isOpen());
    EXPECT_THROW(line.open(pty.slavePath(), "115200,Q,8,1"), SerialError);
    EXPECT_FALSE(line.isOpen()) << "refused settings leave the port closed";
    EXPECT_THROW(line.write("x"), SerialError);
}

TEST_F(SerialPortLineTest, ClosingTheOtherSideLosesTheLine) {
    line.open(pty.slavePath(), kLineSettings);
    bool lost = false;
    QObject::connect(&line, &SerialLine::lineLost, [&] { lost = true; });
    pty.close();
    ASSERT_TRUE(spinUntil([&] { return lost; }));
    EXPECT_FALSE(line.isOpen());
    EXPECT_THROW(line.write("x"), SerialError);
}

// Link over the pseudo-terminal: the wait wakes on bytes from the device and
// sends reach it.
TEST_F(SerialPortLineTest, LinkTalksOverThePseudoTerminal) {
    resetLoaderState();
    struct PtyFront : FakeFront {
        QString path;
        QString deviceForPort(int) const override { return path; }
    } ptyFront;
    ptyFront.path = pty.slavePath();
    Link link(line, ptyFront);
    pty.write("before open");
    QCoreApplication::processEvents();
    link.OpenPort();
    EXPECT_EQ(line.bytesWaiting(), 0);

    QTimer::singleShot(20, [&] { pty.write("5"); });
    EXPECT_TRUE(link.ExpectChar("5"));
    link.SendText("A");
    link.sendField("0x80000004");
    EXPECT_EQ(readFromMaster(pty, 5), QByteArray("A\x04\x00\x00\x80", 5));

    QTimer::singleShot(20, [&] { pty.close(); });
    EXPECT_THROW(link.ReadChar(), SerialError) << "a vanished device ends the wait";
    EXPECT_EQ(ptyFront.portState, "Closed...");
    resetLoaderState();
}

TEST_F(SerialPortLineTest, ADeviceThatVanishesMidTransferFailsTheTransfer) {
    resetLoaderState();
    QTemporaryDir dir;
    const QString path = dir.filePath("image.bin");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(allByteValues().repeated(400));  // 100 KiB
    file.close();
    struct PtyFront : FakeFront {
        QString path;
        QString deviceForPort(int) const override { return path; }
    } ptyFront;
    ptyFront.path = pty.slavePath();
    ptyFront.slotData[5] = {true, path, "0x0", "0x19000"};
    Link link(line, ptyFront);
    link.OpenPort();
    QTimer drain;
    QObject::connect(&drain, &QTimer::timeout, [&] {
        pty.readAvailable(0);
        if (loaderState().lBytesSent > 20000) pty.close();
    });
    drain.start(0);
    bool ok = true;
    EXPECT_THROW(link.SendCode(5, ok), SerialError);
    EXPECT_FALSE(ok);
    EXPECT_LT(loaderState().lBytesSent, 100 * 1024);
    EXPECT_FALSE(link.timSentStatus().isActive());
    resetLoaderState();
}

TEST(PortMapTest, PresentDevicesFillThePortsUsbAdaptersFirst) {
    const PortMap map({}, {"/dev/ttyS1", "/dev/ttyS0", "/dev/ttyACM0", "/dev/ttyUSB10",
                           "/dev/ttyUSB2", "/dev/ttyS10", "/dev/ttyS2"});
    const QStringList expected = {"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyS0",
                                  "/dev/ttyS1",   "/dev/ttyS2",    "/dev/ttyS10"};
    EXPECT_FALSE(map.isExplicit());
    for (int port = 1; port <= 7; ++port) {
        EXPECT_EQ(map.deviceForPort(port), expected[port - 1]) << "COM" << port;
    }
    EXPECT_EQ(map.deviceForPort(8), "");
}

TEST(PortMapTest, AnExplicitMappingWinsAndLeavesOtherPortsUnmapped) {
    const PortMap map({{1, "/dev/pts/7"}, {3, " /dev/ttyUSB1 "}, {9, "/dev/ttyS9"}, {4, ""}},
                      {"/dev/ttyUSB0"});
    EXPECT_TRUE(map.isExplicit());
    EXPECT_EQ(map.deviceForPort(1), "/dev/pts/7");
    EXPECT_EQ(map.deviceForPort(2), "");
    EXPECT_EQ(map.deviceForPort(3), "/dev/ttyUSB1");
    EXPECT_EQ(map.deviceForPort(4), "");
    EXPECT_EQ(map.deviceForPort(9), "") << "only COM1..COM8 exist";
}

TEST(PortMapTest, MoreDevicesThanPortsKeepTheFirstEight) {
    QStringList devices;
    for (int i = 0; i < 12; ++i) devices << QString("/dev/ttyS%1").arg(i);
    const PortMap map({}, devices);
    EXPECT_EQ(map.deviceForPort(8), "/dev/ttyS7");
}

TEST(PortMapTest, AnUnmappedPortFailsToOpenWithAMessageNamingIt) {
    ensureApp();
    resetLoaderState();
    struct UnmappedFront : FakeFront {
        QString deviceForPort(int) const override { return ""; }
    } front;
    front.port = 5;
    MemoryLinePair pair;
    Link link(*pair.loaderEnd, front);
    try {
        link.OpenPort();
        FAIL() << "opened an unmapped port";
    } catch (const SerialError& e) {
        EXPECT_STREQ(e.what(), "COM5: no serial device is mapped to this port");
    }
}

}  // namespace
}  // namespace vrx::test
