// Trace settings read from WIN.INI when a block is made, tracing of each
// operation through the host, and the trace line and trace file switch.
#include "driver_fixture.h"
#include "drv_op.h"
#include "options_trace.h"

namespace {

using x9host::callDriver;
using x9host::Declaration;
using x9host::DeclarationSpec;
using x9test::dosPlugin;
using x9test::DriverTest;

class Trace : public DriverTest {
  protected:
    void useWinIni(const std::string& text) {
        std::string ini = dir.file("win.ini");
        x9test::writeFile(ini, text);
        setenv("X9_WININI", ini.c_str(), 1);
    }
    std::unique_ptr<Declaration> declared(uint8_t attributes = 0, const std::string& driver = "") {
        DeclarationSpec spec;
        spec.fileName = dir.file("f.bin");
        spec.fields = *x9host::parseFieldList("18:4");
        spec.attributes = attributes;
        spec.driverString = driver;
        auto decl = std::make_unique<Declaration>(spec);
        callDriver(dosPlugin(), *decl, Pointer);
        return decl;
    }
};

TEST_F(Trace, EveryOperationIsTracedWithTheDriverName) {
    useWinIni("[KWDOS]\nProfile=1\nDetails=3\n");
    x9test::writeFile(dir.file("f.bin"), "abcd");
    auto decl = declared();
    ASSERT_EQ(+decl->block()->traceOn, 1);
    EXPECT_STREQ(decl->block()->traceFileName, "DOS.LOG");
    EXPECT_EQ(+decl->block()->traceDetails, 3);
    x9host::takeTraceEntries();
    callDriver(dosPlugin(), *decl, Open, {0x42});
    callDriver(dosPlugin(), *decl, GetAt, {9});
    auto entries = x9host::takeTraceEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].driver, "DOS");
    EXPECT_EQ(entries[0].code, Open);
    EXPECT_EQ(entries[1].code, GetAt);
    EXPECT_EQ(entries[1].error, 33);
    EXPECT_GE(entries[1].elapsed, 0);
    x9host::releaseDeclaration(dosPlugin(), *decl);
}

struct SettingsCase {
    const char* name;
    std::string ini;
    uint8_t attributes;
    std::string driver;
    uint8_t traceOn;
    const char* traceFile;  // null when none
    uint8_t details;
};

void PrintTo(const SettingsCase& c, std::ostream* os) {
    *os << c.name;
}

class TraceSettings : public Trace, public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(TraceSettings, AreReadWhenTheBlockIsMade) {
    const SettingsCase& c = GetParam();
    useWinIni(c.ini);
    auto decl = declared(c.attributes, c.driver);
    ASSERT_NE(decl->block(), nullptr);
    EXPECT_EQ(+decl->block()->traceOn, c.traceOn);
    if (c.traceFile)
        EXPECT_STREQ(decl->block()->traceFileName, c.traceFile);
    else
        EXPECT_EQ(+decl->block()->traceFileName, nullptr);
    EXPECT_EQ(+decl->block()->traceDetails, c.details);
}

INSTANTIATE_TEST_SUITE_P(
    WinIni, TraceSettings,
    ::testing::Values(
        SettingsCase{"Off", "", 0, "", 0, nullptr, 0},
        SettingsCase{"OnlyLow8BitsCount", "[KWDOS]\nProfile=256\nDetails=258\n", 0, "", 0, nullptr,
                     2},
        SettingsCase{"NamedFile", "[kwdos]\nprofile=5\nTraceFile=my.log\n", 0, "", 5, "my.log", 0},
        SettingsCase{"EmptyFileNameGivesDefault", "[KWDOS]\nProfile=1\nTraceFile=\n", 0, "", 1,
                     "DOS.LOG", 0},
        SettingsCase{"OtherSectionIgnored", "[KWASCII]\nProfile=1\n", 0, "", 0, nullptr, 0},
        SettingsCase{"DetailsRestricted", "[KWDOS]\nProfile=1\nDetails=4\n", kDeclDetailsRestricted,
                     "/FILEBUFFERS=2", 1, "DOS.LOG", 0},
        SettingsCase{"DetailsAllowed", "[KWDOS]\nProfile=1\nDetails=4\n", kDeclDetailsRestricted,
                     "/FILEBUFFERS=2 allowDetails", 1, "DOS.LOG", 4},
        SettingsCase{"TokenMustMatchWhole", "[KWDOS]\nDetails=4\n", kDeclDetailsRestricted,
                     "ALLOWDETAILSX", 0, nullptr, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// The trace line and the trace file switch, on a block made by hand.
class TraceFile : public DriverTest {
  protected:
    void TearDown() override {
        Hrt$free(fcb.traceFileName);
        DriverTest::TearDown();
    }
    Drv_FCB fcb{};
};

TEST_F(TraceFile, LinesAreAppendedToTheSwitchedFile) {
    std::string log = dir.file("trace.log");
    drv::writeTraceLine(fcb, "ignored", 7);  // tracing off: nothing happens
    drv::switchTraceFile(fcb, log.data(), static_cast<int32_t>(log.size()));
    EXPECT_EQ(+fcb.traceOn, 1);
    drv::writeTraceLine(fcb, "first", 5);
    drv::writeTraceLine(fcb, "second line", 11);
    EXPECT_EQ(x9test::readFile(log), "first\r\nsecond line\r\n");
    drv::switchTraceFile(fcb, "", 0);
    EXPECT_EQ(+fcb.traceOn, 0);
    EXPECT_EQ(+fcb.traceFileName, nullptr);
    drv::writeTraceLine(fcb, "third", 5);
    EXPECT_EQ(x9test::readFile(log), "first\r\nsecond line\r\n");
}

TEST_F(TraceFile, UnwritableTraceFileIsIgnored) {
    std::string log = dir.file("no/such/folder.log");
    drv::switchTraceFile(fcb, log.data(), static_cast<int32_t>(log.size()));
    drv::writeTraceLine(fcb, "lost", 4);
    EXPECT_FALSE(std::filesystem::exists(log));
}

}  // namespace
