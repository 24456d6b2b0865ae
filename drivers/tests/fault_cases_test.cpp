// One x9rec script per known way an OS fault used to cost data: the script
// arms the fault, and the test checks every answer and the file's bytes
// afterwards. A success answer over lost, torn, stale or misplaced data, or
// a read position that moved past a record it did not deliver, fails here.
#include <sys/stat.h>
#include <unistd.h>

#include "ascii_fixture.h"
#include "drv_op.h"

namespace {

using x9host::CallResult;
using x9host::Declaration;

enum class Driver { dos, ascii };

constexpr int32_t kLineLengthDiffers = 80;  // a rewrite in place of another length

struct ScriptCase {
    const char* name;
    Driver driver;
    std::string before;  // the file's bytes before the script
    std::string script;  // "$D" is the scratch folder; the file is $D/f
    std::vector<std::string> answers;
    std::string after;
};

const std::string kDecl = "decl file=$D/f fields=18:10\n";

std::vector<ScriptCase> scriptCases() {
    return {
        {"a FILEBUFFERS shrink whose flush is cut short keeps the window (binary)",
         Driver::dos,
         "",
         kDecl + "open 0x12\nrec rec1\nadd\nrec rec2\nadd\nrec rec3\nadd\n"
                 "fault shortwrite 1 14\nsend FILEBUFFERS=0\nfaults\nsend FILEBUFFERS\nclose\n",
         {"open ret=0 err=0", "add ret=0 err=0", "add ret=0 err=0", "add ret=0 err=0",
          "send ret=0 err=0 str=\"1024\"", "faults fired=1", "send ret=0 err=0 str=\"1024\"",
          "close ret=0 err=0"},
         "rec1      rec2      rec3      "},
        {"a FILEBUFFERS shrink whose flush is cut short keeps the window (text)",
         Driver::ascii,
         "",
         kDecl + "open 0x12\nrec rec1\nadd\nrec rec2\nadd\nrec rec3\nadd\n"
                 "fault shortwrite 1 8\nsend FILEBUFFERS=0\nfaults\nclose\n",
         {"open ret=0 err=0", "add ret=0 err=0", "add ret=0 err=0", "add ret=0 err=0",
          "send ret=0 err=0 str=\"1024\"", "faults fired=1", "close ret=0 err=0"},
         "rec1\r\nrec2\r\nrec3\r\n"},
        {"QUICKSCAN=OFF whose flush fails keeps caching until the window is written",
         Driver::dos,
         "",
         kDecl + "open 0x12\nrec rec1\nadd\nrec rec2\nadd\nfault write 1\nsend QUICKSCAN=OFF\n"
                 "send QUICKSCAN\nrec new1\nputat 1\nclose\n",
         {"open ret=0 err=0", "add ret=0 err=0", "add ret=0 err=0", "send ret=0 err=0 str=\"ON\"",
          "send ret=0 err=0 str=\"ON\"", "putat ret=0 err=0", "close ret=0 err=0"},
         "new1      rec2      "},
        {"QUICKSCAN=OFF whose flush fails keeps caching (text)",
         Driver::ascii,
         "",
         kDecl + "open 0x12\nrec rec1\nadd\nrec rec2\nadd\nfault write 1\nsend QUICKSCAN=OFF\n"
                 "rec new1\nputat 1\nclose\n",
         {"open ret=0 err=0", "add ret=0 err=0", "add ret=0 err=0", "send ret=0 err=0 str=\"ON\"",
          "putat ret=0 err=0", "close ret=0 err=0"},
         "new1\r\nrec2\r\n"},
        {"an uncached write whose seek fails writes nothing and says so",
         Driver::dos,
         "AAAAAAAAAABBBBBBBBBB",
         kDecl + "open 0x42\nfault seek 1\nrec XXXX\nputat 11\nfaults\nputat 11\nclose\n",
         {"open ret=0 err=0", "putat ret=0 err=5 (OS failure)", "faults fired=1",
          "putat ret=0 err=0", "close ret=0 err=0"},
         "AAAAAAAAAAXXXX      "},
        {"a cached put whose seek fails does not land behind the appended record",
         Driver::dos,
         "AAAAAAAAAABBBBBBBBBB",
         kDecl + "open 0x12\nrec CCCC\nadd\nfault seek 1\nrec XXXX\nputat 1\nfaults\nclose\n",
         {"open ret=0 err=0", "add ret=0 err=0", "putat ret=0 err=5 (OS failure)", "faults fired=1",
          "close ret=0 err=0"},
         "AAAAAAAAAABBBBBBBBBBCCCC      "},
        {"a Next whose seek fails is read again by the next Next",
         Driver::dos,
         "AAAAAAAAAABBBBBBBBBBCCCCCCCCCC",
         kDecl + "open 0x42\nsetfirst\nnext\nfault seek 2\nnext\nnext\nnext\nnext\n",
         {"open ret=0 err=0", "setfirst ret=0 err=0", "next ret=0 err=0 rec=\"AAAAAAAAAA\"",
          "next ret=0 err=5 (OS failure) rec=\"          \"", "next ret=0 err=0 rec=\"BBBBBBBBBB\"",
          "next ret=0 err=0 rec=\"CCCCCCCCCC\"",
          "next ret=0 err=33 (end of file) rec=\"CCCCCCCCCC\""},
         "AAAAAAAAAABBBBBBBBBBCCCCCCCCCC"},
        {"a Next whose read fails is read again by the next Next (text)",
         Driver::ascii,
         "A\r\nB\r\nC\r\n",
         kDecl + "open 0x42\nsetfirst\nnext\nfault read 1\nnext\nnext\nnext\nnext\n",
         {"open ret=0 err=0", "setfirst ret=0 err=0", "next ret=0 err=0 rec=\"A         \"",
          "next ret=0 err=5 (OS failure) rec=\"          \"", "next ret=0 err=0 rec=\"B         \"",
          "next ret=0 err=0 rec=\"C         \"",
          "next ret=0 err=33 (end of file) rec=\"C         \""},
         "A\r\nB\r\nC\r\n"},
        {"a failed read while passing over a long line fails the Next",
         Driver::ascii,
         "LONGLINE-0123456789\r\nB\r\n",
         kDecl + "open 0x42\nsetfirst\nfault read 2\nnext\nnext\nnext\nnext\n",
         {"open ret=0 err=0", "setfirst ret=0 err=0",
          "next ret=0 err=5 (OS failure) rec=\"          \"", "next ret=0 err=0 rec=\"LONGLINE-0\"",
          "next ret=0 err=0 rec=\"B         \"",
          "next ret=0 err=33 (end of file) rec=\"B         \""},
         "LONGLINE-0123456789\r\nB\r\n"},
        {"the OEM attribute set after open converts writes too",
         Driver::dos,
         "\x84"
         "b        ",
         kDecl + "open 0x12\nsetproperty 29464 0 1\ngetat 1\nput\nclose\n",
         {"open ret=0 err=0", "setproperty ret=0 err=0", "getat ret=0 err=0 rec=\"\\xE4b        \"",
          "put ret=0 err=0", "close ret=0 err=0"},
         "\x84"
         "b        "},
        {"the OEM attribute set after open converts writes too (text)",
         Driver::ascii,
         "\x84"
         "b\r\n",
         kDecl + "open 0x12\nsetproperty 29464 0 1\ngetat 1\nput\nclose\n",
         {"open ret=0 err=0", "setproperty ret=0 err=0", "getat ret=0 err=0 rec=\"\\xE4b        \"",
          "put ret=0 err=0", "close ret=0 err=0"},
         "\x84"
         "b\r\n"},
        {"an empty line rewritten without caching cuts nothing",
         Driver::ascii,
         "a\r\n\r\nc\r\n",
         kDecl + "open 0x42\ngetat 4\nput\nclose\n",
         {"open ret=0 err=0", "getat ret=0 err=0 rec=\"          \"", "put ret=0 err=0",
          "close ret=0 err=0"},
         "a\r\n\r\nc\r\n"},
        {"an append whose Ctrl-Z check cannot read fails and checks again",
         Driver::ascii,
         "a\r\n\x1a",
         kDecl + "open 0x42\nfault read 1\nrec b\nadd\nadd\nsetfirst\nnext\nnext\nnext\n",
         {"open ret=0 err=0", "add ret=0 err=5 (OS failure)", "add ret=0 err=0",
          "setfirst ret=0 err=0", "next ret=0 err=0 rec=\"a         \"",
          "next ret=0 err=0 rec=\"b         \"",
          "next ret=0 err=33 (end of file) rec=\"b         \""},
         "a\r\nb\r\n"},
        {"a second Open writes the first one's window before it closes it",
         Driver::dos,
         "",
         kDecl + "open 0x12\nrec rec1\nadd\nopen 0x12\nrec rec2\nadd\nclose\n",
         {"open ret=0 err=0", "add ret=0 err=0", "open ret=0 err=0", "add ret=0 err=0",
          "close ret=0 err=0"},
         "rec1      rec2      "},
        {"a second Open whose closing flush fails reports it",
         Driver::ascii,
         "",
         kDecl + "open 0x12\nrec rec1\nadd\nfault write 1\nopen 0x12\nfaults\n",
         {"open ret=0 err=0", "add ret=0 err=0", "open ret=0 err=5 (OS failure)", "faults fired=1"},
         ""},
        {"options, locks and end tests before Open hold nothing afterwards",
         Driver::ascii,
         "x\r\n",
         kDecl + "send FILEBUFFERS=64\nsend QUICKSCAN=ON\nsend ENDOFRECORD=1,10\nlock\natend\n"
                 "open 0x12\nsend FILEBUFFERS=64\nclose\nsend FILEBUFFERS=8\n",
         {"send ret=0 err=0 str=\"0\"", "send ret=0 err=0 str=\"OFF\"", "send ret=0 err=0 str=\"\"",
          "lock ret=0 err=6 (file not open)", "atend ret=1 err=0", "open ret=0 err=0",
          "send ret=0 err=0 str=\"1024\"", "close ret=0 err=0", "send ret=0 err=0 str=\"0\""},
         "x\r\n"},
    };
}

class FaultCases : public x9test::TextDriverTest {};

TEST_F(FaultCases, EachKnownFaultIsAnsweredAndCostsNoData) {
    for (const ScriptCase& c : scriptCases()) {
        SCOPED_TRACE(c.name);
        resetHost();
        const std::string path = dir.file("f");
        x9test::writeFile(path, c.before);
        std::vector<std::string> answers = c.driver == Driver::dos
                                               ? x9test::runScript(c.script, dir)
                                               : x9test::runAsciiScript(c.script, dir);
        EXPECT_EQ(answers, c.answers);
        EXPECT_EQ(x9test::readFile(path), c.after);
        EXPECT_EQ(x9test::descriptorsOf(path), 0) << "a descriptor of the file is still open";
    }
}

TEST_F(FaultCases, LockWaitsBetweenTriesAndItsTimeLimitDoesNotOverflow) {
    x9host::useManualClock(true);
    const std::string path = dir.file("locked");
    x9test::writeFile(path, "x");
    Declaration decl(x9host::textFieldSpec(path, 10));
    ASSERT_EQ(x9host::callDriver(x9test::dosPlugin(), decl, Open, {0x42}).err, 0);
    x9host::OsFaults held;
    held.failingLocks = 3;
    x9host::setOsFaults(held);
    auto clockBefore = Hrt$clock();
    EXPECT_EQ(x9host::callDriver(x9test::dosPlugin(), decl, Lock).err, 0);
    EXPECT_GT(Hrt$clock(), clockBefore) << "Lock tried again without waiting";
    EXPECT_EQ(x9host::callDriver(x9test::dosPlugin(), decl, Unlock).err, 0);
    // 100 x 30,000,000 seconds does not fit 32 bits.
    held.failingLocks = 5;
    x9host::setOsFaults(held);
    EXPECT_EQ(x9host::callDriver(x9test::dosPlugin(), decl, LockWithTimeout, {30000000}).err, 0);
    EXPECT_EQ(x9host::callDriver(x9test::dosPlugin(), decl, Unlock).err, 0);
    x9host::releaseDeclaration(x9test::dosPlugin(), decl);
}

// Passing over a long line, and checking a rewrite of it, read the file a
// window at a time; they used to reload the window for every byte.
TEST_F(FaultCases, LongLinesCostReadsInProportionToTheirWindows) {
    constexpr uint32_t kLine = 200000;
    const std::string path = dir.file("long.txt");
    x9test::writeFile(path, std::string(kLine, 'x') + "\r\nnext\r\n");
    for (intptr_t mode : {0x12, 0x42}) {
        SCOPED_TRACE("open mode " + std::to_string(mode));
        Declaration decl(x9host::textFieldSpec(path, 10));
        ASSERT_EQ(call(decl, Open, {mode}).err, 0);
        call(decl, SetFirst);
        x9host::resetOsCallCounts();
        ASSERT_EQ(call(decl, Next).err, 0);
        // Windows of at least 512 bytes, and a few reads besides.
        EXPECT_LE(x9host::osCallCounts().reads, kLine / 512 + 4);
        EXPECT_LE(x9host::osCallCounts().seeks, kLine / 512 + 8);
        ASSERT_EQ(call(decl, Next).err, 0);
        EXPECT_EQ(decl.recordText(), "next      ");
        x9host::resetOsCallCounts();
        EXPECT_EQ(call(decl, PutAt, {1}).err, kLineLengthDiffers);
        EXPECT_LE(x9host::osCallCounts().reads, kLine / 512 + 4);
        x9host::releaseDeclaration(x9test::asciiPlugin(), decl);
    }
}

// Positions and sizes are 32-bit. Sparse files stand for the large ones.
class FourGibEdge : public x9test::TextDriverTest {
  protected:
    std::string sparseFile(uint64_t size) {
        const std::string path = dir.file("large");
        x9test::writeFile(path, "");
        if (::truncate(path.c_str(), static_cast<off_t>(size)) != 0) return {};
        return path;
    }
    static uint64_t sizeOf(const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
    }
};

TEST_F(FourGibEdge, AWriteThatWouldPassTheEdgeFailsAndWritesNothing) {
    constexpr uint64_t kEdge = uint64_t{1} << 32;
    struct Case {
        const char* name;
        const x9host::Plugin& (*plugin)();
        uint64_t size;
        intptr_t mode;
        uint64_t grownBy;  // what the one append that fits adds
    };
    const Case cases[] = {
        {"binary, cached", x9test::dosPlugin, kEdge - 15, 0x12, 10},
        {"binary, uncached", x9test::dosPlugin, kEdge - 15, 0x42, 10},
        {"text, cached", x9test::asciiPlugin, kEdge - 6, 0x12, 4},
        {"text, uncached", x9test::asciiPlugin, kEdge - 6, 0x42, 4},
    };
    // Position 4 GiB - 2: two bytes are left, too few for any record.
    const auto kNearTheEdge = static_cast<intptr_t>(uint32_t{0xFFFFFFFE});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = sparseFile(c.size);
        if (path.empty()) GTEST_SKIP() << "no sparse files here";
        Declaration decl(x9host::textFieldSpec(path, 10));
        ASSERT_EQ(x9host::callDriver(c.plugin(), decl, Open, {c.mode}).err, 0);
        decl.setRecord("ab");
        EXPECT_EQ(x9host::callDriver(c.plugin(), decl, Add).err, 0);
        EXPECT_EQ(x9host::callDriver(c.plugin(), decl, Add).err, 5);
        EXPECT_EQ(x9host::callDriver(c.plugin(), decl, PutAt, {kNearTheEdge}).err, 5);
        EXPECT_EQ(x9host::callDriver(c.plugin(), decl, Close).err, 0);
        x9host::releaseDeclaration(c.plugin(), decl);
        EXPECT_EQ(sizeOf(path), c.size + c.grownBy);
    }
}

TEST_F(FourGibEdge, AFileAlreadyPastTheEdgeDoesNotOpen) {
    const std::string path = sparseFile((uint64_t{1} << 32) + 5);
    if (path.empty()) GTEST_SKIP() << "no sparse files here";
    for (const x9host::Plugin& (*plugin)() : {x9test::dosPlugin, x9test::asciiPlugin}) {
        Declaration decl(x9host::textFieldSpec(path, 10));
        EXPECT_EQ(x9host::callDriver(plugin(), decl, Open, {0x12}).err, 5);
        x9host::releaseDeclaration(plugin(), decl);
    }
}

}  // namespace
