// The text driver's records: tables of file bytes + driver string -> records
// read, and of records + options -> file bytes written, each run with the
// cache on (exclusive open) and off (shared open); then the steps around
// them as x9rec scripts.
#include "ascii_fixture.h"

namespace {

using x9host::Declaration;
using x9test::readFile;
using x9test::TextDriverTest;
using x9test::textFieldSpec;
using x9test::writeFile;

const std::string kCrLf = "\r\n";
const std::string kCtrlZ = "\x1a";

struct ReadCase {
    const char* name;
    std::string contents;
    std::string driverString;
    int32_t recordLength;
    std::vector<std::string> records;
};

std::vector<ReadCase> readCases() {
    return {
        {"empty line", "\r\nab\r\n", "", 6, {"      ", "ab    "}},
        {"line of exactly L", "abcdef\r\nxy\r\n", "", 6, {"abcdef", "xy    "}},
        {"terminator right behind L", "abc\r\nd\r\n", "", 3, {"abc", "d  "}},
        {"line of L+5 passes the rest over", "abcdefghijk\r\nxy\r\n", "", 6, {"abcdef", "xy    "}},
        {"last line without terminator", "ab\r\ncd", "", 6, {"ab    ", "cd    "}},
        {"trailing Ctrl-Z ends the text", "abc\r\n" + kCtrlZ, "", 6, {"abc   "}},
        {"Ctrl-Z at the very start", kCtrlZ + "abc\r\n", "", 6, {}},
        {"Ctrl-Z mid-line ends the line",
         "ab\x1a"
         "cd\r\nef\r\n",
         "",
         6,
         {"ab    ", "cd    ", "ef    "}},
        {"Ctrl-Z mid-line as data",
         "ab\x1a"
         "cd\r\nef\r\n",
         "/CTRLZISEOF=OFF",
         6,
         {"ab\x1a"
          "cd ",
          "ef    "}},
        {"trailing Ctrl-Z as data",
         "ab\r\n" + kCtrlZ,
         "/CTRLZISEOF=OFF",
         6,
         {"ab    ", kCtrlZ + "     "}},
        {"Ctrl-Z in a passed-over tail", "abcdefg\x1ahi\r\n", "", 4, {"abcd", "hi  "}},
        {"CR alone is data", "a\rb\r\n", "", 6, {"a\rb   "}},
        {"terminator LF alone", "ab\r\ncd\n", "/ENDOFRECORD=1,10", 6, {"ab\r   ", "cd    "}},
        {"three-byte terminator",
         "ab<>|cd<>|",
         "/ENDOFRECORD=3,60,62,124",
         6,
         {"ab    ", "cd    "}},
        {"TAB default 8", "a\tb\r\n", "", 12, {"a       b   "}},
        {"TAB fixed 4 blanks", "a\tb\r\n", "/TAB=-4", 12, {"a    b      "}},
        {"TAB dropped", "a\tb\r\n", "/TAB=0", 12, {"ab          "}},
        {"TAB kept", "a\tb\r\n", "/TAB=-100", 12, {"a\tb         "}},
        {"TAB near the end stops at L", "abcd\tef\r\nz\r\n", "", 6, {"abcd  ", "z     "}},
        {"TAB 3 from column 1", "x\ty\tz\r\n", "/TAB=3", 8, {"x  y  z "}},
        {"dropped TABs still count as consumed",
         "\t\t\t\t\t\t\tab\r\nc\r\n",
         "/TAB=0",
         4,
         {"    ", "c   "}},
    };
}

struct OpenMode {
    const char* name;
    intptr_t mode;
};
const OpenMode kModes[] = {{"cached", 0x12}, {"shared", 0x42}};

TEST_F(TextDriverTest, ReadsLinesAsRecords) {
    for (const ReadCase& c : readCases()) {
        for (const OpenMode& mode : kModes) {
            SCOPED_TRACE(std::string(c.name) + " / " + mode.name);
            std::string path = dir.file("r.txt");
            writeFile(path, c.contents);
            Declaration decl(textFieldSpec(path, c.recordLength, c.driverString));
            ASSERT_EQ(call(decl, Open, {mode.mode}).err, 0);
            int32_t end = 0;
            EXPECT_EQ(readAll(decl, &end), c.records);
            EXPECT_EQ(end, 33);
            EXPECT_EQ(call(decl, AtEnd).ret, 1);
            x9host::releaseDeclaration(x9test::asciiPlugin(), decl);
        }
    }
}

// A window must hold L + T bytes; a FILEBUFFERS value of one 512-byte unit
// with a 600-byte record leaves it 2 bytes short, and the cache grows.
TEST_F(TextDriverTest, SmallCacheGrowsToHoldALine) {
    std::string line1(600, 'a'), line2(10, 'b');
    std::string path = dir.file("big.txt");
    writeFile(path, line1 + kCrLf + line2 + kCrLf);
    for (const OpenMode& mode : kModes) {
        SCOPED_TRACE(mode.name);
        Declaration decl(textFieldSpec(path, 600, "/FILEBUFFERS=1"));
        ASSERT_EQ(call(decl, Open, {mode.mode}).err, 0);
        EXPECT_EQ(uint32_t{decl.block()->bufferSize}, 600u);
        auto records = readAll(decl);
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0], line1);
        EXPECT_EQ(records[1], line2 + std::string(590, ' '));
        EXPECT_GE(uint32_t{decl.block()->bufferSize}, 602u);
        x9host::releaseDeclaration(x9test::asciiPlugin(), decl);
    }
}

struct WriteCase {
    const char* name;
    std::string before;
    std::string driverString;
    std::vector<std::pair<std::string, intptr_t>> appends;  // record, length (-1: Add)
    std::string after;
};

std::vector<WriteCase> writeCases() {
    return {
        {"CLIP on cuts trailing blanks", "", "", {{"abc", -1}}, "abc\r\n"},
        {"blanks only give an empty line", "", "", {{"", -1}}, "\r\n"},
        {"CLIP off writes L bytes", "", "/CLIP=OFF", {{"abc", -1}}, "abc   \r\n"},
        {"CLIP off takes the given length", "", "/CLIP=OFF", {{"abcdef", 2}}, "ab\r\n"},
        {"CLIP on ignores the given length", "", "", {{"abc", 5}}, "abc\r\n"},
        {"a length above L is cut to L", "", "/CLIP=OFF", {{"abcdef", 1000}}, "abcdef\r\n"},
        {"length 0 writes no line", "x\r\n", "", {{"abc", 0}}, "x\r\n"},
        {"append replaces a trailing Ctrl-Z, twice",
         "x\r\n" + kCtrlZ,
         "",
         {{"abc", -1}, {"de", -1}},
         "x\r\nabc\r\nde\r\n"},
        {"Ctrl-Z as data stays",
         "x\r\n" + kCtrlZ,
         "/CTRLZISEOF=OFF",
         {{"abc", -1}},
         "x\r\n" + kCtrlZ + "abc\r\n"},
        {"length 0 cuts the trailing Ctrl-Z", "x\r\n" + kCtrlZ, "", {{"abc", 0}}, "x\r\n"},
        {"only the first append looks for Ctrl-Z",
         "x\r\n",
         "",
         {{"a\x1a", -1}, {"", 0}},
         "x\r\na\x1a\r\n"},
        {"own terminator", "", "/ENDOFRECORD=1,10", {{"abc", -1}, {"d", -1}}, "abc\nd\n"},
        {"TAB expansion is not undone", "", "", {{"a    b", -1}}, "a    b\r\n"},
    };
}

TEST_F(TextDriverTest, WritesRecordsAsLines) {
    for (const WriteCase& c : writeCases()) {
        for (const OpenMode& mode : kModes) {
            SCOPED_TRACE(std::string(c.name) + " / " + mode.name);
            std::string path = dir.file("w.txt");
            writeFile(path, c.before);
            Declaration decl(textFieldSpec(path, 6, c.driverString));
            ASSERT_EQ(call(decl, Open, {mode.mode | 2}).err, 0);
            for (const auto& [record, length] : c.appends) {
                decl.setRecord(record);
                auto r = length < 0 ? call(decl, Add) : call(decl, AddLength, {length});
                EXPECT_EQ(r.err, 0);
            }
            EXPECT_EQ(call(decl, Close).err, 0);
            EXPECT_EQ(readFile(path), c.after);
            x9host::releaseDeclaration(x9test::asciiPlugin(), decl);
        }
    }
}

// Clipping over records long enough to be cut eight blanks at a time.
TEST_F(TextDriverTest, ClipCutsOnlyTrailingBlanksOfLongRecords) {
    const std::vector<std::string> records = {
        "",
        "a",
        "abc def",
        std::string(17, 'x'),
        std::string(16, 'y') + " z",
        std::string(39, ' ') + "!",
        "  lead" + std::string(30, ' ') + "q  ",
        std::string(40, 'w'),
    };
    std::string path = dir.file("clip.txt");
    writeFile(path, "");
    Declaration decl(textFieldSpec(path, 40));
    ASSERT_EQ(call(decl, Open, {0x12}).err, 0);
    std::string expected;
    for (const std::string& record : records) {
        decl.setRecord(record);
        EXPECT_EQ(call(decl, Add).err, 0);
        expected += record.substr(0, record.find_last_not_of(' ') + 1) + kCrLf;
    }
    EXPECT_EQ(call(decl, Close).err, 0);
    EXPECT_EQ(readFile(path), expected);
    x9host::releaseDeclaration(x9test::asciiPlugin(), decl);
}

struct ScriptCase {
    const char* name;
    std::string contents;
    std::string script;
    std::vector<std::string> expected;
    std::string after = "-";
};

std::vector<ScriptCase> scriptCases() {
    return {
        {"positions, transfers and the Next chain",
         "abcdef\r\n\r\nxyz",
         "decl file=$D/f.txt fields=18:6\nopen 0x12\nnext\nstate\nsetfirst\nnext\nstate\n"
         "pointer\nbytes\nnext\nstate\nnext\nstate\natend\nnext\nstate\n",
         {"open ret=0 err=0", R"(next ret=0 err=0 rec="      ")",
          "state cur=0 next=1 last=0 size=13 flags=0x08", "setfirst ret=0 err=0",
          R"(next ret=0 err=0 rec="abcdef")", "state cur=0 next=9 last=8 size=13 flags=0x09",
          "pointer ret=1 err=0", "bytes ret=13 err=0", R"(next ret=0 err=0 rec="      ")",
          "state cur=8 next=11 last=2 size=13 flags=0x09", R"(next ret=0 err=0 rec="xyz   ")",
          "state cur=10 next=14 last=3 size=13 flags=0x09", "atend ret=1 err=0",
          R"(next ret=0 err=33 (end of file) rec="xyz   ")",
          "state cur=10 next=14 last=3 size=13 flags=0x08"}},
        {"Ctrl-Z after the first line",
         "abc\r\n\x1a",
         "decl file=$D/f.txt fields=18:6\nopen 0x12\nsetfirst\nnext\natend\ngetat 6\n"
         "getat 7\ngetat 0\npointer\nreget 2\n",
         {"open ret=0 err=0", "setfirst ret=0 err=0", R"(next ret=0 err=0 rec="abc   ")",
          "atend ret=1 err=0", R"(getat ret=0 err=33 (end of file) rec="      ")",
          R"(getat ret=0 err=33 (end of file) rec="      ")", R"(getat ret=0 err=0 rec="      ")",
          "pointer ret=0 err=0", R"(reget ret=0 err=0 rec="bc    ")"}},
        {"operations the text driver does not offer",
         "abc\r\n",
         "decl file=$D/f.txt fields=18:6\nopen 0x12\nprevious\nrecords\nmorerecordsthan 0\n"
         "getproperty 29512 31\ngetproperty 29512 24\ngetproperty 29513 18\n"
         "getproperty 29513 10\n",
         {"open ret=0 err=0", R"(previous ret=0 err=80 (not supported) rec="      ")",
          "records ret=0 err=80 (not supported)", "morerecordsthan ret=0 err=0",
          R"(getproperty ret=0 err=0 str="")", R"(getproperty ret=0 err=0 str="1")",
          R"(getproperty ret=0 err=0 str="1")", R"(getproperty ret=0 err=0 str="")"}},
        {"a rewrite of the same length goes in place",
         "abc\r\nxyz\r\n",
         "decl file=$D/f.txt fields=18:6\nopen 0x12\ngetat 6\nrec XYZ\nput\nstate\nnext\n"
         "close\n",
         {"open ret=0 err=0", R"(getat ret=0 err=0 rec="xyz   ")", "put ret=0 err=0",
          "state cur=5 next=0 last=5 size=10 flags=0x09", R"(next ret=0 err=0 rec="XYZ   ")",
          "close ret=0 err=0"},
         "abc\r\nXYZ\r\n"},
        {"a rewrite of another length is refused",
         "abc\r\nxyz\r\n",
         "decl file=$D/f.txt fields=18:6\nopen 0x12\nrec ABCD\nputat 1\nrec AB\nputat 1\n"
         "rec Q\nputat 6\nclose\n",
         {"open ret=0 err=0", "putat ret=0 err=80 (not supported)",
          "putat ret=0 err=80 (not supported)", "putat ret=0 err=80 (not supported)",
          "close ret=0 err=0"},
         "abc\r\nxyz\r\n"},
        {"the last line may grow in place",
         "abc\r\nxy",
         "decl file=$D/f.txt fields=18:6\nopen 0x12\nrec LONGER\nputat 6\nstate\ngetat 6\n"
         "close\n",
         {"open ret=0 err=0", "putat ret=0 err=0", "state cur=5 next=0 last=8 size=13 flags=0x09",
          R"(getat ret=0 err=0 rec="LONGER")", "close ret=0 err=0"},
         "abc\r\nLONGER\r\n"},
        {"putat 0 appends and putatlength 0 cuts",
         "abc\r\nxyz\r\n",
         "decl file=$D/f.txt fields=18:6\nopen 0x12\nrec new\nputat 0\nputatlength 6 0\n"
         "state\nclose\n",
         {"open ret=0 err=0", "putat ret=0 err=0", "putatlength ret=0 err=0",
          "state cur=5 next=0 last=5 size=5 flags=0x09", "close ret=0 err=0"},
         "abc\r\n"},
        {"writes on a read-only file fail",
         "abc\r\n",
         "decl file=$D/f.txt fields=18:6\nopen 0x10\nrec x\nadd\nputat 1\nclose\n",
         {"open ret=0 err=0", "add ret=0 err=5 (OS failure)", "putat ret=0 err=5 (OS failure)",
          "close ret=0 err=0"},
         "abc\r\n"},
        {"a record with a numeric field cannot be used",
         "abc\r\n",
         "decl file=$D/f.txt fields=18:4,4:4\nopen 0x12\n"
         "decl file=$D/f.txt fields=18:4,4:4@0\nopen 0x12\nsetfirst\nnext\n",
         {"open ret=0 err=79 (record description refused)", "open ret=0 err=0",
          "setfirst ret=0 err=0", R"(next ret=0 err=0 rec="abc ")"}},
    };
}

TEST_F(TextDriverTest, ScriptedSteps) {
    for (const ScriptCase& c : scriptCases()) {
        SCOPED_TRACE(c.name);
        writeFile(dir.file("f.txt"), c.contents);
        EXPECT_EQ(x9test::runAsciiScript(c.script, dir), c.expected);
        if (c.after != "-") {
            EXPECT_EQ(readFile(dir.file("f.txt")), c.after);
        }
    }
}

TEST_F(TextDriverTest, ShortWriteFailsAndLeavesNoPartialLine) {
    std::string path = dir.file("s.txt");
    writeFile(path, "abc\r\n");
    Declaration decl(textFieldSpec(path, 6));
    ASSERT_EQ(call(decl, Open, {0x42 | 2}).err, 0);
    decl.setRecord("xyz");
    x9host::OsFaults faults;
    faults.shortWrites = 1;
    faults.shortWriteBytes = 1;
    x9host::setOsFaults(faults);
    EXPECT_EQ(call(decl, Add).err, 5);
    x9host::clearOsFaults();
    EXPECT_EQ(uint32_t{decl.block()->fileSize}, 5u);
    EXPECT_FALSE(decl.block()->driverFlags & kFlagCurrent);
    EXPECT_EQ(call(decl, Add).err, 0);
    EXPECT_EQ(call(decl, Close).err, 0);
    EXPECT_EQ(readFile(path), "abc\r\nxyz\r\n");
    x9host::releaseDeclaration(x9test::asciiPlugin(), decl);
}

// With the cache off every window is loaded afresh, so a line rewritten
// through the same block is read back as written.
TEST_F(TextDriverTest, UncachedReadsSeeTheirOwnRewrites) {
    std::string path = dir.file("u.txt");
    writeFile(path, "abc\r\nxyz\r\n");
    Declaration decl(textFieldSpec(path, 6));
    ASSERT_EQ(call(decl, Open, {0x42 | 2}).err, 0);
    ASSERT_EQ(call(decl, GetAt, {1}).err, 0);
    decl.setRecord("QRS");
    ASSERT_EQ(call(decl, PutAt, {1}).err, 0);
    ASSERT_EQ(call(decl, GetAt, {1}).err, 0);
    EXPECT_EQ(decl.recordText(), "QRS   ");
    x9host::releaseDeclaration(x9test::asciiPlugin(), decl);
}

}  // namespace

namespace {

// OEM files: lines are converted to ANSI after reading, records to OEM on a
// copy before writing, so the record buffer keeps its ANSI bytes.
TEST_F(TextDriverTest, OemFilesConvertOnReadAndOnACopyForWrites) {
    std::string path = dir.file("oem.txt");
    writeFile(path,
              "\x84"
              "b\r\n");
    Declaration decl(textFieldSpec(path, 4, "", kDeclCreateAllowed | kDeclOem));
    ASSERT_EQ(call(decl, Open, {0x12}).err, 0);
    call(decl, SetFirst);
    ASSERT_EQ(call(decl, Next).err, 0);
    EXPECT_EQ(decl.recordText(),
              "\xE4"
              "b  ");
    decl.setRecord(
        "\xF6"
        "x");
    EXPECT_EQ(call(decl, Add).err, 0);
    EXPECT_EQ(decl.recordText(),
              "\xF6"
              "x  ");
    EXPECT_EQ(call(decl, Close).err, 0);
    EXPECT_EQ(readFile(path),
              "\x84"
              "b\r\n\x94"
              "x\r\n");
    x9host::releaseDeclaration(x9test::asciiPlugin(), decl);
}

}  // namespace
