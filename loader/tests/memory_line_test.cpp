#include <QCoreApplication>
#include <gtest/gtest.h>

#include "memory_line.h"

namespace {

int argc = 1;
char arg0[] = "test";
char* argv[] = {arg0, nullptr};

class MemoryLineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!QCoreApplication::instance()) app = new QCoreApplication(argc, argv);
    }
    static inline QCoreApplication* app = nullptr;
    vrx::MemoryLinePair pair;
};

TEST_F(MemoryLineTest, BytesCrossInBothDirectionsAndAreRecorded) {
    pair.loaderEnd->open("/dev/memory0", "115200,N,8,1");
    pair.boardEnd->open("board", "115200,N,8,1");
    int arrivals = 0;
    QObject::connect(pair.boardEnd.get(), &vrx::SerialLine::dataArrived, [&] { ++arrivals; });

    pair.loaderEnd->write(QByteArray("A\x00\xff", 3));
    EXPECT_EQ(pair.boardEnd->bytesWaiting(), 3);
    EXPECT_EQ(arrivals, 0) << "the signal must not fire inside write()";
    QCoreApplication::processEvents();
    EXPECT_EQ(arrivals, 1);
    EXPECT_EQ(pair.boardEnd->read(1), QByteArray("A"));
    EXPECT_EQ(pair.boardEnd->read(0), QByteArray("\x00\xff", 2));
    EXPECT_EQ(pair.loaderEnd->written(), QByteArray("A\x00\xff", 3));

    pair.boardEnd->write("5");
    EXPECT_EQ(pair.loaderEnd->read(0), QByteArray("5"));
}

TEST_F(MemoryLineTest, FailuresAreSerialErrors) {
    pair.loaderEnd->setRefusedDevices({"/dev/ttyS7"});
    EXPECT_THROW(pair.loaderEnd->open("/dev/ttyS7", "115200,N,8,1"), vrx::SerialError);
    EXPECT_THROW(pair.loaderEnd->write("x"), vrx::SerialError) << "closed port";
    pair.loaderEnd->open("/dev/ttyS0", "115200,N,8,1");
    pair.boardEnd->simulateLoss();
    EXPECT_THROW(pair.loaderEnd->write("x"), vrx::SerialError) << "vanished peer";
}

}  // namespace
