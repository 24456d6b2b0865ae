// The binary driver's record semantics, run as x9rec scripts over small
// files: one table of (file contents, script, expected lines).
#include "driver_fixture.h"

namespace {

using x9test::DriverTest;

struct ScriptCase {
    const char* name;
    std::string contents;  // of $D/f.bin before the script
    std::string script;
    std::vector<std::string> expected;
    std::string after = "-";  // contents of $D/f.bin after, "-" when not checked
};

const std::string k25 = "0123456789abcdefghijKLMNO";

std::vector<ScriptCase> recordCases() {
    return {
        {"forwards over a short last record",
         k25,
         "decl file=$D/f.bin fields=18:10\nopen 0x42\nrecords\nsetfirst\nnext\nnext\nnext\n"
         "state\nnext\nstate\natend\n",
         {"open ret=0 err=0", "records ret=2 err=0", "setfirst ret=0 err=0",
          R"(next ret=0 err=0 rec="0123456789")", R"(next ret=0 err=0 rec="abcdefghij")",
          R"(next ret=0 err=0 rec="KLMNO     ")", "state cur=20 next=26 last=5 size=25 flags=0x03",
          R"(next ret=0 err=33 (end of file) rec="KLMNO     ")",
          "state cur=20 next=26 last=5 size=25 flags=0x02", "atend ret=1 err=0"}},
        {"backwards from the last whole record",
         k25,
         "decl file=$D/f.bin fields=18:10\nopen 0x12\nsetfirst\nprevious\nstate\nprevious\n"
         "state\nprevious\npointer\nprevious\n",
         {"open ret=0 err=0", "setfirst ret=0 err=0", R"(previous ret=0 err=0 rec="fghijKLMNO")",
          "state cur=15 next=16 last=10 size=25 flags=0x09",
          R"(previous ret=0 err=0 rec="56789abcde")",
          "state cur=5 next=6 last=10 size=25 flags=0x09",
          R"(previous ret=0 err=33 (end of file) rec="56789abcde")", "pointer ret=0 err=0",
          // Any other operation in between leaves the position alone.
          R"(previous ret=0 err=33 (end of file) rec="56789abcde")"}},
        {"previous from position recordLength ends with no record current",
         k25,
         "decl file=$D/f.bin fields=18:10\nopen 0x42\ngetat 10\nnext\nsetat 10\nnext\n"
         "previous\npointer\n",
         {"open ret=0 err=0", R"(getat ret=0 err=0 rec="9abcdefghi")",
          R"(next ret=0 err=0 rec="9abcdefghi")", "setat ret=0 err=0",
          R"(next ret=0 err=0 rec="9abcdefghi")", R"(previous ret=0 err=0 rec="9abcdefghi")",
          "pointer ret=0 err=0"}},
        {"position 0, positions and lengths",
         k25,
         "decl file=$D/f.bin fields=18:10\nopen 0x42\ngetat 0\npointer\ngetat 3\npointer\n"
         "position\ngetatlength 21 3\ngetatlength 1 99\nbytes\nreget 12\ngetat 26\natend\n"
         "setat 25\natend\nmorerecordsthan 1\nmorerecordsthan 2\n",
         {"open ret=0 err=0", R"(getat ret=0 err=0 rec="          ")", "pointer ret=0 err=0",
          R"(getat ret=0 err=0 rec="23456789ab")", "pointer ret=3 err=0",
          R"(position ret=0 err=0 str="\x03\x00\x00\x00")",
          R"(getatlength ret=0 err=0 rec="KLM       ")",
          R"(getatlength ret=0 err=0 rec="0123456789")", "bytes ret=25 err=0",
          R"(reget ret=0 err=0 rec="bcdefghijK")",
          R"(getat ret=0 err=33 (end of file) rec="bcdefghijK")", "atend ret=1 err=0",
          "setat ret=0 err=0", "atend ret=0 err=0", "morerecordsthan ret=1 err=0",
          "morerecordsthan ret=0 err=0"}},
        {"appends raise the size and land at the end",
         "",
         "decl file=$D/f.bin fields=18:4\nopen 0x12\nrec AB\nadd\nrec CDEF\nappend\n"
         "addlength 2\nstate\nrecords\nclose\n",
         {"open ret=0 err=0", "add ret=0 err=0", "append ret=0 err=0", "addlength ret=0 err=0",
          "state cur=8 next=0 last=2 size=10 flags=0x09", "records ret=2 err=0",
          "close ret=0 err=0"},
         "AB  CDEFCD"},
        {"rewrites in place and cuts",
         k25,
         "decl file=$D/f.bin fields=18:5\nopen 0x42\ngetat 6\nrec vwxyz\nput\nputat 1\n"
         "putatlength 11 2\naddlength 0\nputatlength 21 0\nclose\n",
         {"open ret=0 err=0", R"(getat ret=0 err=0 rec="56789")", "put ret=0 err=0",
          "putat ret=0 err=0", "putatlength ret=0 err=0", "addlength ret=0 err=0",
          "putatlength ret=0 err=0", "close ret=0 err=0"},
         "vwxyzvwxyzvwcdefghij"},
        {"lengths above the record length are cut to it",
         "",
         "decl file=$D/f.bin fields=18:4\nopen 0x42\nrec WXYZ\naddlength 1000\nputatlength 3 99\n"
         "getatlength 1 500\nclose\n",
         {"open ret=0 err=0", "addlength ret=0 err=0", "putatlength ret=0 err=0",
          R"(getatlength ret=0 err=0 rec="WXWX")", "close ret=0 err=0"},
         "WXWXYZ"},
        {"writes on a read-only file fail before anything moves",
         k25,
         "decl file=$D/f.bin fields=18:10\nopen 0x40\ngetat 11\nadd\nputat 1\nputatlength 5 0\n"
         "state\n",
         {"open ret=0 err=0", R"(getat ret=0 err=0 rec="abcdefghij")",
          "add ret=0 err=5 (OS failure)", "putat ret=0 err=5 (OS failure)",
          "putatlength ret=0 err=5 (OS failure)", "state cur=10 next=0 last=10 size=25 flags=0x07"},
         k25},
        {"a record length of 0 holds no records",
         k25,
         "decl file=$D/f.bin fields=18:0\nopen 0x42\nrecords\nmorerecordsthan 0\nsetfirst\nnext\n"
         "send FILEBUFFERS=0\n",
         {"open ret=0 err=0", "records ret=0 err=0", "morerecordsthan ret=0 err=0",
          "setfirst ret=0 err=0", R"(next ret=0 err=33 (end of file) rec="")",
          R"(send ret=0 err=0 str="512")"}},
        {"non-text fields read short stay zero, text fields blank",
         "AB",
         "decl file=$D/f.bin fields=18:2,4:4,18:2\nopen 0x42\nsetfirst\nnext\n",
         {"open ret=0 err=0", "setfirst ret=0 err=0",
          R"(next ret=0 err=0 rec="AB\x00\x00\x00\x00  ")"}},
    };
}

void PrintTo(const ScriptCase& c, std::ostream* os) {
    *os << c.name;
}

class RecordScripts : public DriverTest, public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(RecordScripts, AnswerAsExpected) {
    const ScriptCase& c = GetParam();
    x9test::writeFile(dir.file("f.bin"), c.contents);
    int exitCode = -1;
    auto lines = x9test::runScript(c.script, dir, &exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(lines, c.expected);
    if (c.after != "-") {
        EXPECT_EQ(x9test::readFile(dir.file("f.bin")), c.after);
    }
}

INSTANTIATE_TEST_SUITE_P(Binary, RecordScripts, ::testing::ValuesIn(recordCases()),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

}  // namespace
