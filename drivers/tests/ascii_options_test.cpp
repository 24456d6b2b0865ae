// The text driver's options through Send: each answer is the value before
// the change; unknown or malformed options answer nothing and change nothing.
#include "ascii_fixture.h"
#include "ascii_text_tail.h"

namespace {

using x9host::Declaration;
using x9test::TextDriverTest;
using x9test::textFieldSpec;
using x9test::writeFile;

struct SendStep {
    std::string text;
    std::string answer;
};

struct OptionCase {
    const char* name;
    std::vector<SendStep> steps;
};

std::vector<OptionCase> optionCases() {
    return {
        {"TAB", {{"tab=4", "8"}, {"TAB", "4"}, {"TAB=2", "4"}, {"TAB", "2"}, {"TAB=", "2"},
                 {"TAB", "2"}, {"TAB=x-7", "2"}, {"TAB", "-7"}, {"TAB=-", "-7"}, {"TAB", "0"},
                 {"TAB=99999999999", "0"}, {"TAB", "2147483647"}}},
        {"CTRLZISEOF", {{"CTRLZISEOF", "ON"}, {"ctrlzisEOF=off", "ON"}, {"CTRLZISEOF", "OFF"},
                        {"CTRLZISEOF=YES", "OFF"}, {"CTRLZISEOF", "ON"}}},
        {"CLIP", {{"CLIP", "ON"}, {"CLIP=MAYBE", "ON"}, {"CLIP", "ON"}, {"clip=off", "ON"},
                  {"CLIP", "OFF"}, {"CLIP=ON", "OFF"}, {"CLIP", "ON"}}},
        {"ENDOFRECORD", {{"ENDOFRECORD", "\r\n"}, {"ENDOFRECORD=1,10", "\r\n"},
                         {"ENDOFRECORD", "\n"}, {"ENDOFRECORD=2,269,10", "\n"},
                         {"ENDOFRECORD", "\r\n"}, {"ENDOFRECORD=3, 1 ,2,3/TAB=4", "\r\n"},
                         {"ENDOFRECORD", "\x01\x02\x03"}, {"TAB", "8"}}},
        {"ENDOFRECORD values left unchanged",
         {{"ENDOFRECORD=0", "\r\n"}, {"ENDOFRECORD=3,1,2", "\r\n"}, {"ENDOFRECORD=", "\r\n"},
          {"ENDOFRECORD=abc", "\r\n"}, {"ENDOFRECORD=99999999999,1", "\r\n"},
          {"ENDOFRECORD", "\r\n"}}},
        {"core options", {{"QUICKSCAN", "ON"}, {"QUICKSCAN=OFF", "ON"}, {"QUICKSCAN", "OFF"},
                          {"FILEBUFFERS", "1024"}, {"FILEBUFFERS=4", "1024"},
                          {"FILEBUFFERS", "2048"}}},
        {"unknown texts", {{"XYZ=1", ""}, {"FILEBUF", ""}, {"TA", ""}, {"ENDOFREC", ""},
                           {"register", ""}, {"", ""}}},
    };
}

TEST_F(TextDriverTest, SendAnswersTheValueBeforeTheChange) {
    std::string path = dir.file("o.txt");
    writeFile(path, "");
    for (const OptionCase& c : optionCases()) {
        Declaration decl(textFieldSpec(path, 6));
        ASSERT_EQ(call(decl, Open, {0x12}).err, 0);
        for (const SendStep& step : c.steps) {
            SCOPED_TRACE(std::string(c.name) + ": " + step.text);
            auto r = call(decl, Send, {}, {step.text});
            EXPECT_EQ(r.err, 0);
            EXPECT_EQ(r.str, step.answer);
        }
        x9host::releaseDeclaration(x9test::asciiPlugin(), decl);
    }
}

TEST_F(TextDriverTest, DriverStringSetsOptionsAtOpenAndOpenResetsThem) {
    std::string path = dir.file("o.txt");
    writeFile(path, "a\tb\r\n");
    Declaration decl(textFieldSpec(path, 8, "/TAB=4/CLIP=OFF"));
    EXPECT_EQ(call(decl, Send, {}, {"TAB=1"}).str, "0");  // no open yet: a zeroed block
    ASSERT_EQ(call(decl, Open, {0x12}).err, 0);
    EXPECT_EQ(call(decl, Send, {}, {"TAB"}).str, "4");
    EXPECT_EQ(call(decl, Send, {}, {"CLIP"}).str, "OFF");
    EXPECT_EQ(call(decl, Send, {}, {"CTRLZISEOF=OFF"}).str, "ON");
    x9test::TextTailView tail(*decl.block());
    EXPECT_EQ(tail.tabSize(), 4);
    EXPECT_EQ(tail.clip(), 0);
    EXPECT_EQ(tail.tabSet(), 1);
    EXPECT_EQ(call(decl, Close).err, 0);
    ASSERT_EQ(call(decl, Open, {0x12}).err, 0);
    EXPECT_EQ(call(decl, Send, {}, {"CTRLZISEOF"}).str, "ON");
    call(decl, SetFirst);
    call(decl, Next);
    EXPECT_EQ(decl.recordText(), "a   b   ");
    x9host::releaseDeclaration(x9test::asciiPlugin(), decl);
}

}  // namespace
