// File-level steps through the binary plug-in: the lock and its depth, the
// cached size of shared files, the options FILEBUFFERS and QUICKSCAN, and
// what happens when the OS fails underneath (short writes, failed flushes,
// buffers that cannot be had).
#include "buffered_file.h"
#include "driver_fixture.h"
#include "drv_op.h"

namespace {

using x9host::callDriver;
using x9host::Declaration;
using x9host::DeclarationSpec;
using x9test::dosPlugin;
using x9test::DriverTest;

class FileSteps : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        path = dir.file("f.bin");
        x9test::writeFile(path, "0123456789abcdefghij");
    }
    std::unique_ptr<Declaration> opened(int32_t mode, const std::string& driver = "") {
        DeclarationSpec spec;
        spec.fileName = path;
        spec.fields = *x9host::parseFieldList("18:10");
        spec.driverString = driver;
        auto decl = std::make_unique<Declaration>(spec);
        EXPECT_EQ(callDriver(dosPlugin(), *decl, Open, {mode}).err, 0);
        return decl;
    }
    x9host::CallResult send(Declaration& decl, const std::string& option) {
        return callDriver(dosPlugin(), decl, Send, {}, {option});
    }
    void TearDown() override {
        for (auto* decl : {&a, &b})
            if (*decl) x9host::releaseDeclaration(dosPlugin(), **decl);
        DriverTest::TearDown();
    }
    std::string path;
    std::unique_ptr<Declaration> a, b;
};

TEST_F(FileSteps, EveryLockAsksTheOsAndUnlockCountsDown) {
    a = opened(0x42);
    EXPECT_EQ(callDriver(dosPlugin(), *a, Unlock).err, 0);  // depth 0: nothing happens
    EXPECT_EQ(callDriver(dosPlugin(), *a, Lock).err, 0);
    x9host::OsFaults faults;
    faults.failingLocks = 1;
    faults.lockError = 19;
    x9host::setOsFaults(faults);
    EXPECT_EQ(callDriver(dosPlugin(), *a, Lock).err, 19);  // asked again while held
    EXPECT_EQ(callDriver(dosPlugin(), *a, Lock).err, 0);
    EXPECT_EQ(+a->block()->lockDepth, 2);

    b = opened(0x42);
    EXPECT_EQ(callDriver(dosPlugin(), *a, Unlock).err, 0);
    EXPECT_EQ(+a->block()->lockDepth, 1);
    x9host::useManualClock(true);
    EXPECT_EQ(callDriver(dosPlugin(), *b, LockWithTimeout, {2}).err, kOsLockViolation);
    EXPECT_GE(Hrt$clock(), 200);
    EXPECT_EQ(callDriver(dosPlugin(), *a, Unlock).err, 0);
    EXPECT_EQ(+a->block()->lockDepth, 0);
    EXPECT_EQ(callDriver(dosPlugin(), *b, LockWithTimeout, {2}).err, 0);
}

TEST_F(FileSteps, LockRetriesWhileTheLockIsHeldElsewhere) {
    a = opened(0x42);
    x9host::OsFaults faults;
    faults.failingLocks = 3;
    x9host::setOsFaults(faults);
    EXPECT_EQ(callDriver(dosPlugin(), *a, Lock).err, 0);
    EXPECT_EQ(x9host::osFaults().failingLocks, 0);
    EXPECT_EQ(+a->block()->lockDepth, 1);
}

TEST_F(FileSteps, SharedWritesTakeTheLockAndSeeOtherAppends) {
    a = opened(0x42);
    b = opened(0x42);
    EXPECT_EQ(callDriver(dosPlugin(), *b, Lock).err, 0);
    a->setRecord("AAAAAAAAAA");
    EXPECT_EQ(callDriver(dosPlugin(), *a, Add).err, 5);
    EXPECT_EQ(callDriver(dosPlugin(), *b, Unlock).err, 0);
    EXPECT_EQ(callDriver(dosPlugin(), *a, Add).err, 0);
    EXPECT_EQ(+a->block()->lockDepth, 0);  // released after the write
    b->setRecord("BBBBBBBBBB");
    EXPECT_EQ(callDriver(dosPlugin(), *b, Add).err, 0);  // appends behind a's record
    EXPECT_EQ(callDriver(dosPlugin(), *a, Records).ret, 4);
    EXPECT_EQ(x9test::readFile(path), "0123456789abcdefghijAAAAAAAAAABBBBBBBBBB");
}

TEST_F(FileSteps, OpenModeDecidesCachingAndWindowSize) {
    a = opened(0x42);
    EXPECT_EQ(+a->block()->driverFlags & (kFlagCaching | kFlagShared), kFlagShared);
    EXPECT_EQ(+a->block()->bufferSize, 512u);
    x9host::releaseDeclaration(dosPlugin(), *a);
    a = opened(0x12);
    EXPECT_EQ(+a->block()->driverFlags & (kFlagCaching | kFlagShared), kFlagCaching);
    EXPECT_EQ(+a->block()->bufferSize, 1024u);
    EXPECT_EQ(+a->block()->stateFlags & kStateDenyMode, kStateDenyMode);
    x9host::releaseDeclaration(dosPlugin(), *a);
    a = opened(0x40, "/QUICKSCAN=ON/FILEBUFFERS=8");
    EXPECT_EQ(+a->block()->driverFlags & (kFlagCaching | kFlagReadOnly),
              kFlagCaching | kFlagReadOnly);
    EXPECT_EQ(+a->block()->bufferSize, 4096u);
}

struct OptionCase {
    const char* option;
    const char* answer;
    uint32_t bufferSize;
    bool caching;
};

void PrintTo(const OptionCase& c, std::ostream* os) {
    *os << c.option;
}

class Options : public FileSteps, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(Options, AnswerAndApply) {
    a = opened(0x12);
    auto result = send(*a, GetParam().option);
    EXPECT_EQ(result.err, 0);
    EXPECT_EQ(result.str, GetParam().answer);
    EXPECT_EQ(+a->block()->bufferSize, GetParam().bufferSize);
    EXPECT_EQ((a->block()->driverFlags & kFlagCaching) != 0, GetParam().caching);
    EXPECT_EQ(a->block()->file->caching(), GetParam().caching);
    EXPECT_EQ(a->block()->file->capacity(), GetParam().bufferSize);
    // The file still reads through whatever window the option left.
    callDriver(dosPlugin(), *a, SetFirst);
    callDriver(dosPlugin(), *a, Next);
    EXPECT_EQ(callDriver(dosPlugin(), *a, Next).err, 0);
    EXPECT_EQ(a->recordText(), "abcdefghij");
}

INSTANTIATE_TEST_SUITE_P(Send, Options,
                         ::testing::Values(OptionCase{"FILEBUFFERS=8", "1024", 4096, true},
                                           OptionCase{"filebuffers=8", "1024", 4096, true},
                                           OptionCase{"FILEBUFFERS= 8", "1024", 4096, true},
                                           OptionCase{"FILEBUFFERS=x8", "1024", 4096, true},
                                           OptionCase{"FILEBUFFERS=0", "1024", 10, true},
                                           OptionCase{"FILEBUFFERS=", "1024", 1024, true},
                                           OptionCase{"FILEBUFFERS=abc", "1024", 1024, true},
                                           OptionCase{"filebuffers", "1024", 1024, true},
                                           OptionCase{"quickscan", "ON", 1024, true},
                                           OptionCase{"QUICKSCAN=ON", "ON", 1024, true},
                                           OptionCase{"QUICKSCAN=OFF", "ON", 1024, false},
                                           OptionCase{"QUICKSCAN=MAYBE", "ON", 1024, true},
                                           OptionCase{"NOSUCHOPTION=1", "", 1024, true}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(FileSteps, FileBuffersThatCannotBeHadKeepTheOldBuffer) {
    a = opened(0x12);
    const uint8_t* before = a->block()->buffer;
    x9host::OsFaults faults;
    faults.failingAllocations = -1;
    faults.allocationFloor = 0xFFFFFFDFu;  // only the largest request fails
    x9host::setOsFaults(faults);
    auto result = send(*a, "FILEBUFFERS=9999999");
    EXPECT_EQ(result.err, 0);
    EXPECT_EQ(result.str, "1024");
    EXPECT_EQ(+a->block()->buffer, before);
    EXPECT_EQ(+a->block()->bufferSize, 1024u);
    EXPECT_EQ(callDriver(dosPlugin(), *a, GetAt, {11}).err, 0);
    EXPECT_EQ(a->recordText(), "abcdefghij");
}

TEST_F(FileSteps, ShortWriteGives5AndTheFileStaysWhole) {
    a = opened(0x42);  // uncached: the write goes to the OS at once
    x9host::OsFaults faults;
    faults.shortWrites = 1;
    faults.shortWriteBytes = 3;
    x9host::setOsFaults(faults);
    a->setRecord("KLMNOPQRST");
    EXPECT_EQ(callDriver(dosPlugin(), *a, Add).err, 5);
    EXPECT_EQ(+a->block()->lastTransfer, 0u);
    EXPECT_EQ(+a->block()->fileSize, 20u);
    EXPECT_EQ(callDriver(dosPlugin(), *a, Add).err, 0);
    EXPECT_EQ(x9test::readFile(path), "0123456789abcdefghijKLMNOPQRST");
}

TEST_F(FileSteps, FailedFlushIsReportedAndARetryWritesEverything) {
    a = opened(0x12);
    a->setRecord("KLMNOPQRST");
    EXPECT_EQ(callDriver(dosPlugin(), *a, Add).err, 0);
    x9host::OsFaults faults;
    faults.shortWrites = 1;
    faults.shortWriteBytes = 3;
    x9host::setOsFaults(faults);
    EXPECT_EQ(callDriver(dosPlugin(), *a, Flush).err, 5);
    EXPECT_EQ(callDriver(dosPlugin(), *a, Flush).err, 0);
    EXPECT_EQ(x9test::readFile(path), "0123456789abcdefghijKLMNOPQRST");
}

TEST_F(FileSteps, CloseReportsALostFinalFlushButStillReleases) {
    a = opened(0x12);
    a->setRecord("KLMNOPQRST");
    EXPECT_EQ(callDriver(dosPlugin(), *a, Add).err, 0);
    x9host::OsFaults faults;
    faults.shortWrites = -1;
    faults.shortWriteBytes = 0;
    x9host::setOsFaults(faults);
    x9host::recordEvents(true);
    EXPECT_EQ(callDriver(dosPlugin(), *a, Close).err, 5);
    auto events = x9host::takeEvents();
    EXPECT_NE(std::find(events.begin(), events.end(), "ThreadedFileClose"), events.end());
    ASSERT_NE(a->block(), nullptr);
    EXPECT_EQ(+a->block()->file, nullptr);
    EXPECT_EQ(+a->block()->buffer, nullptr);
    EXPECT_EQ(+a->block()->blankRecord, nullptr);
    EXPECT_EQ(+a->block()->stateFlags & kStateOpen, 0);
    x9host::clearOsFaults();
    EXPECT_EQ(callDriver(dosPlugin(), *a, Open, {0x12}).err, 0);
    EXPECT_EQ(callDriver(dosPlugin(), *a, Records).ret, 2);
}

TEST_F(FileSteps, EmptyCutsTheFileAndKeepsNothingBuffered) {
    a = opened(0x12);
    a->setRecord("KLMNOPQRST");
    callDriver(dosPlugin(), *a, Add);
    EXPECT_EQ(callDriver(dosPlugin(), *a, Empty).err, 0);
    EXPECT_EQ(callDriver(dosPlugin(), *a, Records).ret, 0);
    EXPECT_EQ(callDriver(dosPlugin(), *a, Close).err, 0);
    EXPECT_EQ(x9test::readFile(path), "");
}

TEST_F(FileSteps, OemRecordsAreConvertedOnACopy) {
    DeclarationSpec spec;
    spec.fileName = path;
    spec.fields = *x9host::parseFieldList("18:4,1:1");
    spec.attributes = kDeclOem;
    a = std::make_unique<Declaration>(spec);
    x9test::writeFile(path, "");
    ASSERT_EQ(callDriver(dosPlugin(), *a, Open, {0x12}).err, 0);
    a->setRecord("\xE4\xF6\xFC!\xE4");  // ANSI text, then a byte that is no text
    EXPECT_EQ(callDriver(dosPlugin(), *a, Add).err, 0);
    EXPECT_EQ(a->recordText(), "\xE4\xF6\xFC!\xE4");
    EXPECT_EQ(callDriver(dosPlugin(), *a, Close).err, 0);
    EXPECT_EQ(x9test::readFile(path), "\x84\x94\x81!\xE4");
    ASSERT_EQ(callDriver(dosPlugin(), *a, Open, {0x12}).err, 0);
    a->setRecord("");
    EXPECT_EQ(callDriver(dosPlugin(), *a, GetAt, {1}).err, 0);
    EXPECT_EQ(a->recordText(), "\xE4\xF6\xFC!\xE4");
}

}  // namespace
