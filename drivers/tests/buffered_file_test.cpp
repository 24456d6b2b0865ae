// BufferedFile's window rules on real files through the stand-in's OS
// services, including OS faults injected through the host.
#include "buffered_file.h"

#include "driver_fixture.h"

namespace {

using x9test::DriverTest;

class Window : public DriverTest {
  protected:
    // A 40-byte file opened read-write with a 16-byte cache window.
    void SetUp() override {
        DriverTest::SetUp();
        path = dir.file("w.bin");
        x9test::writeFile(path, "0123456789abcdefghijklmnopqrstuvwxyzABCD");
        ASSERT_EQ(file.open(path.c_str(), 0x12), 0);
        ASSERT_NE(file.setBuffer(0, nullptr, 16), nullptr);
        ASSERT_TRUE(file.caching());
    }
    std::string readAt(uint32_t offset, uint32_t count) {
        std::string out(count, '\0');
        EXPECT_EQ(file.seek(offset), 0);
        int32_t got = file.read(out.data(), count);
        out.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
        return out;
    }
    std::string path;
    BufferedFile file;
};

TEST_F(Window, ShortLoadMarksTheEndWithCtrlZ) {
    EXPECT_EQ(readAt(0, 4), "0123");
    EXPECT_EQ(file.windowFill(), 16u);  // a full load stores nothing extra
    EXPECT_EQ(readAt(32, 4), "wxyz");
    EXPECT_EQ(file.windowFill(), 8u);
    EXPECT_EQ(file.data()[8], 26);
}

TEST_F(Window, ReadsInsideTheWindowCostNoLoad) {
    readAt(0, 4);
    x9host::OsFaults faults;
    faults.failingReads = -1;
    x9host::setOsFaults(faults);
    EXPECT_EQ(readAt(10, 6), "abcdef");
    EXPECT_EQ(readAt(14, 4), "");  // needs a load, which fails
}

TEST_F(Window, ReadLargerThanTheWindowFails) {
    std::string out(17, '\0');
    EXPECT_EQ(file.read(out.data(), 17), -1);
}

TEST_F(Window, FlushEmptiesTheWindowEvenWhenClean) {
    readAt(0, 4);
    EXPECT_EQ(file.flush(), 0);
    EXPECT_EQ(file.windowFill(), 0u);
    EXPECT_EQ(readAt(4, 2), "45");
}

TEST_F(Window, SeekToTheEndOfTheLoadedDataStaysInside) {
    readAt(32, 2);  // loads 8 bytes at 32
    EXPECT_EQ(file.seek(40), 0);
    EXPECT_FALSE(file.unloaded());
    EXPECT_EQ(file.windowStart(), 32u);
    EXPECT_EQ(file.windowCursor(), 8u);
    EXPECT_EQ(file.write("EF", 2), 2);
    EXPECT_EQ(file.flush(), 0);
    EXPECT_EQ(x9test::readFile(path), "0123456789abcdefghijklmnopqrstuvwxyzABCDEF");
}

TEST_F(Window, WritesGatherUntilTheWindowIsFull) {
    ASSERT_EQ(file.seek(40), 0);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(file.write("xyz", 3), 3);
    EXPECT_EQ(x9test::readFile(path).size(), 40u);  // nothing written yet
    EXPECT_EQ(file.write("!!", 2), 2);              // 17 bytes do not fit: flush first
    EXPECT_EQ(x9test::readFile(path).size(), 55u);
    EXPECT_EQ(file.flush(), 0);
    EXPECT_EQ(x9test::readFile(path).substr(40), "xyzxyzxyzxyzxyz!!");
}

TEST_F(Window, WriteLargerThanTheWindowGoesStraightToTheFile) {
    ASSERT_EQ(file.seek(38), 0);
    EXPECT_EQ(file.write("CD", 2), 2);
    std::string big(20, '#');
    EXPECT_EQ(file.write(big.data(), 20), 20);
    EXPECT_EQ(file.write("+", 1), 1);
    EXPECT_EQ(file.flush(), 0);
    EXPECT_EQ(x9test::readFile(path).substr(36), "ABCD" + big + "+");
}

TEST_F(Window, TruncateKeepsChangesBeforeTheCut) {
    ASSERT_EQ(file.seek(4), 0);
    EXPECT_EQ(file.write("XY", 2), 2);  // before the cut: kept
    EXPECT_EQ(file.seek(8), 0);
    EXPECT_EQ(file.write("ZZZZ", 4), 4);  // across the cut: cut with it
    EXPECT_EQ(file.truncate(10), 0);
    EXPECT_EQ(x9test::readFile(path), "0123XY67ZZ");
    EXPECT_FALSE(file.dirty());
    EXPECT_EQ(file.length(), 10);
}

TEST_F(Window, GrowingTheBufferKeepsTheWindow) {
    ASSERT_EQ(file.seek(40), 0);
    EXPECT_EQ(file.write("new", 3), 3);
    file.setBuffer(2, nullptr, 64);
    EXPECT_EQ(file.capacity(), 64u);
    EXPECT_TRUE(file.dirty());
    EXPECT_EQ(file.flush(), 0);
    EXPECT_EQ(x9test::readFile(path).substr(40), "new");
}

TEST_F(Window, ShrinkingOrSwitchingCachingOffWritesTheWindowFirst) {
    ASSERT_EQ(file.seek(40), 0);
    EXPECT_EQ(file.write("abc", 3), 3);
    file.setBuffer(2, nullptr, 8);
    EXPECT_EQ(x9test::readFile(path).substr(40), "abc");
    EXPECT_EQ(file.write("d", 1), 1);
    file.setBuffer(1, nullptr, 8);
    EXPECT_FALSE(file.caching());
    EXPECT_EQ(x9test::readFile(path).substr(40), "abcd");
}

TEST_F(Window, ShortWriteAtFlushIsError5AndTheWindowIsKept) {
    ASSERT_EQ(file.seek(40), 0);
    EXPECT_EQ(file.write("0123456789", 10), 10);
    x9host::OsFaults faults;
    faults.shortWrites = 1;
    faults.shortWriteBytes = 4;
    x9host::setOsFaults(faults);
    EXPECT_EQ(file.flush(), kOsAccessDenied);
    EXPECT_TRUE(file.dirty());
    EXPECT_EQ(file.windowFill(), 10u);
    // The next flush writes the whole window again: the file is whole.
    EXPECT_EQ(file.flush(), 0);
    EXPECT_EQ(x9test::readFile(path).substr(40), "0123456789");
}

TEST_F(Window, FailingSeekLeavesTheWindowAsItWas) {
    ASSERT_EQ(file.seek(40), 0);
    EXPECT_EQ(file.write("ab", 2), 2);
    x9host::OsFaults faults;
    faults.failingSeeks = 1;
    x9host::setOsFaults(faults);
    EXPECT_EQ(file.seek(0), kOsAccessDenied);
    EXPECT_EQ(file.windowStart(), 40u);
    EXPECT_TRUE(file.dirty());
    EXPECT_EQ(file.seek(0), 0);
    EXPECT_EQ(x9test::readFile(path).substr(40), "ab");
}

TEST(BufferedFileClosed, NoOsCallReachesAHandleThatIsNotOpen) {
    BufferedFile file;
    char byte = 0;
    EXPECT_EQ(file.seek(0), 6);
    EXPECT_EQ(file.read(&byte, 1), -1);
    EXPECT_EQ(file.write("x", 1), -1);
    EXPECT_EQ(file.lock(0, 1), 6);
    EXPECT_EQ(file.length(), 0);
}

TEST(BufferedFileOpen, MissingFileAndFolderAnswerTheirCodes) {
    x9test::ScratchFolder dir;
    BufferedFile file;
    EXPECT_EQ(file.open(dir.file("none.bin").c_str(), 2), kOsFileNotFound);
    EXPECT_EQ(file.handle(), 0);
    EXPECT_EQ(file.open(dir.file("none/x.bin").c_str(), 2), kOsPathNotFound);
    EXPECT_EQ(file.create(dir.file("made.bin").c_str()), 0);
    EXPECT_EQ(file.handle(), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("made.bin")));
}

}  // namespace
