// The x9runx stand-in's services as the plug-ins rely on them: the string
// stack, record clearing and OEM conversion, the text helpers, WIN.INI reads,
// the OS services' error numbers and faults, the hash table and the remote
// drivers.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "host_control.h"
#include "record_description.h"

namespace {

class Scratch {
  public:
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "x9hostXXXXXX").string();
        root_ = mkdtemp(pattern.data());
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    std::string file(const std::string& name) const { return (root_ / name).string(); }

  private:
    std::filesystem::path root_;
};

TEST(StringStack, PopsInReverseOrderAndEmptyWhenExhausted) {
    Hrt$PushString("abc", 2);
    Hrt$PushCString("second");
    EXPECT_EQ(x9host::popString(), "second");
    EXPECT_EQ(x9host::popString(), "ab");
    EXPECT_EQ(x9host::popString(), "");
    char buffer[5];
    Hrt$PushString("xy", 2);
    Hrt$PopString(buffer, 5);
    EXPECT_EQ(std::string(buffer, 5), "xy   ");
    Hrt$PushString("longer", 6);
    Hrt$PopString(buffer, 5);
    EXPECT_EQ(std::string(buffer, 5), "longe");
    EXPECT_EQ(x9host::stringStackDepth(), 0u);
}

TEST(ErrorState, IsSetAndClearedPerThread) {
    Drv_FileDecl decl{};
    Hrt$seterror(33);
    Hrt$SetErrorFile(&decl);
    EXPECT_EQ(x9host::errorCode(), 33);
    EXPECT_EQ(x9host::errorFile(), &decl);
    Hrt$clearerror();
    EXPECT_EQ(x9host::errorCode(), 0);
    EXPECT_EQ(x9host::errorFile(), nullptr);
}

x9host::RecordDescription textNumberText() {
    return x9host::describeRecord(*x9host::parseFieldList("18:3,4:4,20:2,1:1@2"));
}

TEST(RecordServices, ClearBlanksTextFieldsAndZeroesTheRest) {
    auto record = textNumberText();
    ASSERT_EQ(record.recordLength, 9);
    std::string buffer(9, '?');
    Hrt$CLEAR(buffer.data(), record.descriptor.get(), 0);
    EXPECT_EQ(buffer, std::string("   \0\0\0\0  ", 9));
    Hrt$CLEAR(buffer.data(), record.descriptor.get(), 'x');
    EXPECT_EQ(buffer, "xxxxxxxxx");
}

TEST(RecordServices, OemConversionTouchesOnlyTextFields) {
    auto record = textNumberText();
    std::string buffer = "\xE4\xDF!\xE4\xE4\xE4\xE4\xFC\xF6";
    Hrt$ANSITOOEMdesc(buffer.data(), record.descriptor.get());
    EXPECT_EQ(buffer, "\x84\xE1!\xE4\xE4\xE4\xE4\x81\x94");
    Hrt$OEMTOANSIdesc(buffer.data(), record.descriptor.get());
    EXPECT_EQ(buffer, "\xE4\xDF!\xE4\xE4\xE4\xE4\xFC\xF6");
}

TEST(RecordDescriptions, ParseTheConsoleForm) {
    auto fields = x9host::parseFieldList("18:10,4:4@2,10:5");
    ASSERT_TRUE(fields);
    ASSERT_EQ(fields->size(), 3u);
    EXPECT_EQ((*fields)[1].offset, 2);
    auto record = x9host::describeRecord(*fields);
    EXPECT_EQ(record.recordLength, 11);  // the last field follows the placed one
    EXPECT_EQ(record.descriptor->NFields(), 3);
    for (const char* bad : {"", "18", "18:", "x:4", "18:4@", "18:4,", "18:-1"})
        EXPECT_FALSE(x9host::parseFieldList(bad)) << bad;
}

TEST(TextHelpers, MakeCStringFollowsTheLengthRules) {
    auto check = [](const char* text, int32_t length, const char* expected) {
        char* made = drv_MakeCSTRING(text, length);
        ASSERT_NE(made, nullptr);
        EXPECT_STREQ(made, expected);
        Hrt$free(made);
    };
    check("abcdef", 3, "abc");
    check("abc", -1, "abc");
    check("\x02xyz", -2, "xy");
    EXPECT_EQ(drv_MakeCSTRING(nullptr, 3), nullptr);
}

TEST(TextHelpers, NameCheckGivesTheAbsoluteName) {
    char full[260];
    ASSERT_EQ(drv_ChkName("/tmp/./a/../b.dat", full, ".", 0), 0);
    EXPECT_STREQ(full, "/tmp/b.dat");
    ASSERT_EQ(drv_ChkName("rel.dat", full, ".", 0), 0);
    EXPECT_EQ(std::string(full), (std::filesystem::current_path() / "rel.dat").string());
    EXPECT_NE(drv_ChkName("", full, ".", 0), 0);
    EXPECT_NE(drv_ChkName(std::string(300, 'a').c_str(), full, ".", 0), 0);
}

TEST(TextHelpers, DriverStringTokensWalkToTheEnd) {
    Drv_FCB fcb{};
    char options[] = "/FILEBUFFERS=8 /AllowDetails x";
    fcb.driverOptions = options;
    std::vector<std::string> tokens;
    for (int round = 0; round < 2; ++round) {
        for (;;) {
            char token[50];
            int32_t length = 50;
            drv_NextDrvStr(&fcb, token, &length);
            if (length == 0) break;
            tokens.emplace_back(token, static_cast<std::size_t>(length));
        }
    }
    std::vector<std::string> once = {"FILEBUFFERS=8", "AllowDetails", "x"};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(tokens, twice);
}

TEST(Profile, ReadsTheFileNamedByTheEnvironment) {
    Scratch dir;
    std::ofstream(dir.file("win.ini"))
        << "[Other]\nProfile=9\n[KWDOS]\n Profile = 0x11 \nTraceFile=t.log\n";
    setenv("X9_WININI", dir.file("win.ini").c_str(), 1);
    EXPECT_EQ(GetProfileIntA("kwdos", "PROFILE", 0), 0x11u);
    EXPECT_EQ(GetProfileIntA("KWDOS", "Details", 7), 7u);
    char text[8];
    EXPECT_EQ(GetProfileStringA("KWDOS", "TraceFile", "D.LOG", text, sizeof text), 5u);
    EXPECT_STREQ(text, "t.log");
    EXPECT_EQ(GetProfileStringA("KWDOS", "Missing", "DEFAULT.LOG", text, sizeof text), 7u);
    EXPECT_STREQ(text, "DEFAULT");
    unsetenv("X9_WININI");
    EXPECT_EQ(GetProfileIntA("KWDOS", "Profile", 3), 3u);
}

class OsServices : public ::testing::Test {
  protected:
    void TearDown() override { x9host::clearOsFaults(); }
    Scratch dir;
};

TEST_F(OsServices, AnswerTheRuntimesErrorNumbers) {
    int32_t handle = -1;
    EXPECT_EQ(__OsOpenFile(dir.file("none").c_str(), &handle, 2), kOsFileNotFound);
    EXPECT_EQ(handle, 0);
    EXPECT_EQ(__OsOpenFile(dir.file("no/none").c_str(), &handle, 2), kOsPathNotFound);
    EXPECT_EQ(__OsDeleteFile(dir.file("none").c_str()), kOsFileNotFound);
    EXPECT_EQ(__OsDeleteFile(dir.file("no/none").c_str()), kOsPathNotFound);
    std::filesystem::create_directory(dir.file("folder"));
    EXPECT_EQ(__OsDeleteFile(dir.file("folder").c_str()), kOsAccessDenied);
}

TEST_F(OsServices, ReadWriteSeekLengthAndTruncate) {
    int32_t handle = 0;
    ASSERT_EQ(__OsCreateFile(dir.file("f").c_str(), &handle, 0), 0);
    uint32_t done = 0;
    EXPECT_EQ(__OsWriteFile(handle, 6, "abcdef", &done), 0);
    EXPECT_EQ(done, 6u);
    EXPECT_EQ(__OsSeekFile(handle, 2, 0), 0);
    char buffer[8] = {};
    EXPECT_EQ(__OsReadFile(handle, 8, buffer, &done), 0);
    EXPECT_EQ(std::string(buffer, done), "cdef");
    uint32_t value = 0;
    EXPECT_EQ(__OsGetFileLen(handle, &value), 0);
    EXPECT_EQ(value, 6u);
    EXPECT_EQ(__OsSeekFile(handle, 3, 0), 0);
    EXPECT_EQ(__OsWriteFile(handle, 0, nullptr, &done), 0);
    EXPECT_EQ(__OsFileTruncate(handle), 0);
    EXPECT_EQ(__OsGetFilePos(handle, &value), 0);
    EXPECT_EQ(value, 3u);
    EXPECT_EQ(__OsGetFileLen(handle, &value), 0);
    EXPECT_EQ(value, 3u);
    EXPECT_EQ(__OsCommitFile(handle), 0);
    EXPECT_EQ(__OsCloseFile(handle), 0);
}

TEST_F(OsServices, LockIsHeldAgainstOtherHandles) {
    int32_t first = 0, second = 0;
    ASSERT_EQ(__OsCreateFile(dir.file("f").c_str(), &first, 0), 0);
    ASSERT_EQ(__OsOpenFile(dir.file("f").c_str(), &second, 2), 0);
    EXPECT_EQ(__OsLockFile(first, 0, 1), 0);
    EXPECT_EQ(__OsLockFile(second, 0, 1), kOsLockViolation);
    EXPECT_EQ(__OsUnlockFile(first, 0, 1), 0);
    EXPECT_EQ(__OsLockFile(second, 0, 1), 0);
    __OsCloseFile(first);
    __OsCloseFile(second);
}

TEST_F(OsServices, FaultsAreInjectedThroughOneTable) {
    int32_t handle = 0;
    ASSERT_EQ(__OsCreateFile(dir.file("f").c_str(), &handle, 0), 0);
    x9host::OsFaults faults;
    faults.shortWrites = 1;
    faults.shortWriteBytes = 2;
    faults.failingSeeks = 1;
    faults.seekError = 25;
    faults.failingLocks = 2;
    faults.failingReads = 1;
    faults.failingTruncates = 1;
    x9host::setOsFaults(faults);
    uint32_t done = 0;
    EXPECT_EQ(__OsWriteFile(handle, 5, "abcde", &done), 0);
    EXPECT_EQ(done, 2u);
    EXPECT_EQ(__OsWriteFile(handle, 3, "cde", &done), 0);
    EXPECT_EQ(done, 3u);  // one short write only
    EXPECT_EQ(__OsSeekFile(handle, 0, 0), 25);
    EXPECT_EQ(__OsSeekFile(handle, 0, 0), 0);
    EXPECT_EQ(__OsLockFile(handle, 0, 1), kOsLockViolation);
    EXPECT_EQ(__OsLockFile(handle, 0, 1), kOsLockViolation);
    EXPECT_EQ(__OsLockFile(handle, 0, 1), 0);
    char buffer[5];
    EXPECT_EQ(__OsReadFile(handle, 5, buffer, &done), kOsAccessDenied);
    EXPECT_EQ(__OsFileTruncate(handle), kOsAccessDenied);
    EXPECT_EQ(__OsReadFile(handle, 5, buffer, &done), 0);
    EXPECT_EQ(std::string(buffer, done), "abcde");
    __OsCloseFile(handle);
}

TEST(Clock, ManualClockAdvancesWithDelay) {
    x9host::useManualClock(true);
    EXPECT_EQ(Hrt$clock(), 0);
    Hrt$DELAY(1000);
    EXPECT_EQ(Hrt$clock(), 100);
    x9host::useManualClock(false);
    int32_t before = Hrt$clock();
    Hrt$DELAY(20);
    EXPECT_GE(Hrt$clock(), before + 1);
}

struct Entry : HashElement {
    int payload = 0;
};
HashElement* makeEntry() {
    return new Entry;
}
void destroyEntry(HashElement* e) {
    delete static_cast<Entry*>(e);
}

TEST(HashTables, FindByDeclarationAndThread) {
    HashTable table(8);
    table.setFactory(makeEntry, destroyEntry);
    int a = 0, b = 0;
    auto* first = static_cast<Entry*>(table.HAdd({&a, 0}));
    first->payload = 1;
    static_cast<Entry*>(table.HAdd({&a, 2}))->payload = 2;
    EXPECT_EQ(static_cast<Entry*>(table.HFind({&a, 0}))->payload, 1);
    EXPECT_EQ(static_cast<Entry*>(table.HFind({&a, 2}))->payload, 2);
    EXPECT_EQ(table.HFind({&b, 0}), nullptr);
    table.HDelete(first);
    EXPECT_EQ(table.HFind({&a, 0}), nullptr);
}

TEST(RemoteDrivers, AreFoundByDriverAndTargetAndAnswerCalls) {
    std::vector<x9host::RemoteCall> calls;
    x9host::registerRemoteDriver("DOS", "remote:1", [&](const x9host::RemoteCall& call) {
        calls.push_back(call);
        return call.code == 24 ? 33 : 0;
    });
    Hrt$PushCString("DOS");
    Hrt$PushCString("remote:2");
    EXPECT_EQ(FindRemoteDriver(), 0);
    Hrt$PushCString("DOS");
    Hrt$PushCString("remote:1");
    intptr_t driver = FindRemoteDriver();
    ASSERT_NE(driver, 0);
    Drv_FileDecl decl{};
    intptr_t file = FindRemoteFile(driver, &decl, 0);
    ASSERT_NE(file, 0);
    EXPECT_EQ(FindRemoteFile(driver, &decl, 0), file);
    EXPECT_EQ(CallRemoteFile(file, 24), 33);
    EXPECT_EQ(CallRemoteFile(file, 25, intptr_t{0x42}), 0);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].numbers, std::vector<intptr_t>{0x42});
    DestroyRemoteFile(driver, &decl, 0);
    EXPECT_EQ(x9host::remoteFilesAlive(), 0);
    x9host::clearRemoteDrivers();
}

}  // namespace
