// The x9rec console's contract: script syntax, the result line format, and
// its exit status.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "error_names.h"
#include "host_control.h"
#include "record_text.h"
#include "script_runner.h"

namespace {

TEST(RecordText, QuotesEveryByteUnambiguously) {
    EXPECT_EQ(x9rec::quoteBytes("plain text"), "\"plain text\"");
    EXPECT_EQ(x9rec::quoteBytes("a\"b\\c"), R"("a\"b\\c")");
    EXPECT_EQ(x9rec::quoteBytes(std::string("\0\x1A\x7F\xFF~ ", 6)), R"("\x00\x1A\x7F\xFF~ ")");
}

TEST(PluginPath, NamesThePluginsBesideTheConsole) {
    EXPECT_EQ(x9rec::pluginPath("DOS", "/opt/x9"), "/opt/x9/X9DOSX.so");
    EXPECT_EQ(x9rec::pluginPath("ASCII", "/opt/x9"), "/opt/x9/X9ASCX.so");
    EXPECT_EQ(x9rec::pluginPath("./my.so", "/opt/x9"), "./my.so");
}

class Console : public ::testing::Test {
  protected:
    Console() {
        std::string pattern = (std::filesystem::temp_directory_path() / "x9recXXXXXX").string();
        root = mkdtemp(pattern.data());
    }
    ~Console() override {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    // Runs the script with "$D" standing for the scratch folder.
    std::string run(std::string script, int expectedExit = x9rec::kScriptDone) {
        for (std::size_t at; (at = script.find("$D")) != std::string::npos;)
            script.replace(at, 2, root.string());
        std::istringstream in(script);
        std::ostringstream out;
        errors.str("");
        EXPECT_EQ(x9rec::runScript(plugin, in, out, errors), expectedExit);
        return out.str();
    }
    static inline const x9host::Plugin plugin{X9DOSX_PATH};
    std::filesystem::path root;
    std::ostringstream errors;
};

TEST_F(Console, RunsOperationsAndPrintsOneLineEach) {
    std::ofstream(root / "f.bin") << "first.....second....";
    std::string out =
        run("# comment\n"
            "\n"
            "decl file=$D/f.bin fields=18:10 driver=/FILEBUFFERS=1 owner=me attr=4\n"
            "OPEN 0x12\n"
            "  setfirst\n"
            "next\n"
            "position\n"
            "reget 11\n"
            "resetto 11\n"
            "scan\n"
            "rec new\r\n"
            "add\n"
            "send filebuffers\n"
            "getproperty 29462 0\n"
            "setproperty 29446 0 250\n"
            "raw 24 0\n"
            "raw 16 1\n"
            "state\n");
    EXPECT_EQ(out,
              "open ret=0 err=0\n"
              "setfirst ret=0 err=0\n"
              "next ret=0 err=0 rec=\"first.....\"\n"
              "position ret=0 err=0 str=\"\\x01\\x00\\x00\\x00\"\n"
              "reget ret=0 err=0 rec=\"second....\"\n"
              "resetto ret=0 err=0\n"
              "scan n=1 err=33 (end of file)\n"
              "add ret=0 err=0\n"
              "send ret=0 err=0 str=\"512\"\n"
              "getproperty ret=0 err=0 str=\"" +
                  (root / "f.bin").string() +
                  "\"\n"
                  "setproperty ret=0 err=0\n"
                  "raw ret=0 err=0 rec=\"new       \"\n"
                  "raw ret=0 err=0 rec=\"first.....\"\n"
                  "state cur=0 next=31 last=10 size=30 flags=0x09\n");
}

TEST_F(Console, EmptyFileNameAndOperationsBeforeOpen) {
    EXPECT_EQ(run("decl file= fields=18:4\nstate\nopen 0x42\nstate\n"),
              "state none\nopen ret=0 err=45 (no file name)\nstate none\n");
}

TEST_F(Console, StopsWithStatus2AtALineItCannotParse) {
    for (const char* bad :
         {"frobnicate", "getat", "getat x", "getat 1 2", "decl fields=18:4",
          "decl file=a fields=18", "raw", "decl file=a fields=18:4 colour=red", "fault",
          "fault write", "fault write 0", "fault write -1", "fault write x", "fault flood 1",
          "fault read 1 4", "fault shortwrite 1 2 3", "fault shortwrite 1 x", "fault off now",
          "faults 1"}) {
        SCOPED_TRACE(bad);
        std::string out =
            run(std::string("decl file=$D/a fields=18:4\nsetfirst\n") + bad + "\nsetfirst\n",
                x9rec::kScriptUnparsable);
        EXPECT_EQ(out, "setfirst ret=0 err=0\n");
        EXPECT_NE(errors.str().find("line 3"), std::string::npos);
    }
    run("next\n", x9rec::kScriptUnparsable);  // no declaration yet
}

// Fault lines print nothing; the N-th call of the kind fails once, counted
// from the line; faults counts what fired.
TEST_F(Console, FaultLinesFailTheNthCallOnce) {
    std::ofstream(root / "f.bin") << "first.....second....third.....";
    std::string out =
        run("decl file=$D/f.bin fields=18:10\n"
            "open 0x42\n"
            "faults\n"
            "fault read 2\n"
            "getat 1\n"
            "getat 11\n"
            "getat 21\n"
            "faults\n"
            "fault read 1\n"
            "fault off\n"
            "getat 1\n"
            "fault shortwrite 1 3\n"
            "rec NEW\n"
            "putat 1\n"
            "faults\n");
    EXPECT_EQ(out,
              "open ret=0 err=0\n"
              "faults fired=0\n"
              "getat ret=0 err=0 rec=\"first.....\"\n"
              "getat ret=0 err=5 (OS failure) rec=\"          \"\n"
              "getat ret=0 err=0 rec=\"third.....\"\n"
              "faults fired=1\n"
              "getat ret=0 err=0 rec=\"first.....\"\n"
              "putat ret=0 err=5 (OS failure)\n"
              "faults fired=2\n");
}

#if !defined(__i386__)
// The program itself; the 32-bit build runs under an emulator that cannot
// start another 32-bit program.
TEST_F(Console, ProgramExitStatus) {
    std::ofstream(root / "ok.txt")
        << "decl file=" << (root / "x").string() << " fields=18:4\nopen 0x42\n";
    std::ofstream(root / "bad.txt") << "decl file=x fields=18:4\nnosuchop\n";
    std::string console = X9REC_PATH;
    auto status = [&](const std::string& args) {
        int raw = std::system((console + " " + args + " >/dev/null 2>&1").c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    EXPECT_EQ(status("DOS " + (root / "ok.txt").string()), 0);
    EXPECT_EQ(status("DOS " + (root / "bad.txt").string()), 2);
    EXPECT_EQ(status("DOS < " + (root / "ok.txt").string()), 0);
    EXPECT_NE(status((root / "missing.so").string() + " " + (root / "ok.txt").string()), 0);
}

TEST_F(Console, HelpAndVersionAreAnsweredNotLoadedAsPlugins) {
    std::string console = X9REC_PATH;
    auto output = [&](const std::string& args, int& exitStatus) {
        const std::filesystem::path file = root / "out.txt";
        int raw = std::system((console + " " + args + " >" + file.string() + " 2>&1").c_str());
        exitStatus = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::stringstream text;
        text << std::ifstream(file).rdbuf();
        return text.str();
    };
    struct Case {
        const char* args;
        int exitStatus;
        std::vector<const char*> says;
    };
    const Case cases[] = {
        {"--help", 0, {"Usage: x9rec PLUGIN [SCRIPT]", "decl file=PATH", "attr=4", "getat"}},
        {"-h", 0, {"Usage: x9rec PLUGIN [SCRIPT]", "Operations:"}},
        {"--version", 0, {"x9rec "}},
        {"--bogus", 2, {"usage: x9rec PLUGIN [SCRIPT]", "--help"}},
    };
    for (const Case& c : cases) {
        int exitStatus = -1;
        const std::string text = output(c.args, exitStatus);
        EXPECT_EQ(exitStatus, c.exitStatus) << c.args;
        for (const char* says : c.says)
            EXPECT_NE(text.find(says), std::string::npos) << c.args << " lacks " << says << ":\n"
                                                          << text;
        EXPECT_EQ(text.find("cannot load"), std::string::npos) << c.args;
    }
}

TEST(ErrorText, NumberFirstThenTheName) {
    EXPECT_EQ(x9rec::ErrorText(0), "err=0");
    EXPECT_EQ(x9rec::ErrorText(33), "err=33 (end of file)");
    EXPECT_EQ(x9rec::ErrorText(54), "err=54 (create not allowed)");
    EXPECT_EQ(x9rec::ErrorText(-1), "err=-1");
    EXPECT_EQ(x9rec::ErrorText(12345), "err=12345");
}
#endif

}  // namespace
