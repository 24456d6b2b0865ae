// The entry's prologue and epilogue through the host's application side:
// which host services run in which order, how errors reach the host, when the
// block is made and discarded, and the field table built at attach.
#include "driver_fixture.h"
#include "drv_op.h"

namespace {

using x9host::callDriver;
using x9host::Declaration;
using x9host::DeclarationSpec;
using x9host::FieldSpec;
using x9test::dosPlugin;
using x9test::DriverTest;

class EntryRules : public DriverTest {
  protected:
    DeclarationSpec specFor(const std::string& name, int32_t size = 10) {
        DeclarationSpec spec;
        spec.fileName = name.empty() ? "" : dir.file(name);
        FieldSpec field;
        field.type = 18;
        field.size = size;
        spec.fields = {field};
        spec.attributes = kDeclCreateAllowed;
        return spec;
    }
};

TEST_F(EntryRules, IdleTouchesNothing) {
    Declaration decl(specFor("a.bin"));
    x9host::recordEvents(true);
    EXPECT_EQ(callDriver(dosPlugin(), decl, Idle).ret, 0);
    EXPECT_TRUE(x9host::takeEvents().empty());
    EXPECT_EQ(decl.block(), nullptr);
}

TEST_F(EntryRules, OpenRunsPrologueAndEpilogueInOrder) {
    x9test::writeFile(dir.file("a.bin"), "0123456789");
    Declaration decl(specFor("a.bin"));
    x9host::recordEvents(true);
    auto result = callDriver(dosPlugin(), decl, Open, {0x42});
    EXPECT_EQ(result.err, 0);
    std::vector<std::string> expected = {"ThreadedFileOpen", "activate 0", "check_state 25",
                                         "activate 66", "update_state 25 0 1"};
    EXPECT_EQ(x9host::takeEvents(), expected);
    ASSERT_NE(decl.block(), nullptr);
    EXPECT_EQ(+decl.block()->openMode, 0x42);
    EXPECT_EQ(+decl.block()->stateFlags & (kStateOpen | kStateForWriting | kStateDenyMode),
              kStateOpen | kStateForWriting);

    // A second operation reuses the block and stores the previous code.
    callDriver(dosPlugin(), decl, SetFirst);
    expected = {"ThreadedFileOpen", "check_state 41", "update_state 41 0 0"};
    EXPECT_EQ(x9host::takeEvents(), expected);
    EXPECT_EQ(+decl.block()->lastOperation, SetFirst);

    EXPECT_EQ(callDriver(dosPlugin(), decl, Close).err, 0);
    expected = {"ThreadedFileOpen", "check_state 7", "ThreadedFileClose", "deactivate",
                "update_state 7 0 0"};
    EXPECT_EQ(x9host::takeEvents(), expected);
    // The block stays until a later file-level operation finds it stale.
    ASSERT_NE(decl.block(), nullptr);
    callDriver(dosPlugin(), decl, Name);
    EXPECT_EQ(x9host::takeEvents().at(1), "deactivate");
}

TEST_F(EntryRules, UnknownCodesMakeTheBlockAskTheStateAndEndWith80) {
    Declaration decl(specFor("a.bin"));
    for (int32_t code : {3, 5, 34, 64, 67, 78, 79, 88, 89, 90}) {
        SCOPED_TRACE(code);
        Hrt$PushString("B", 1);
        Hrt$PushString("A", 1);
        std::size_t before = x9host::stringStackDepth();
        x9host::recordEvents(true);
        auto result = callDriver(dosPlugin(), decl, code);
        auto events = x9host::takeEvents();
        EXPECT_EQ(result.err, 80);
        EXPECT_NE(std::find(events.begin(), events.end(), "check_state " + std::to_string(code)),
                  events.end());
        std::size_t popped = popsStringA(code) + popsStringB(code);
        EXPECT_EQ(x9host::stringStackDepth(), before - popped);
        EXPECT_NE(decl.block(), nullptr);
        x9host::dropStrings(0);
    }
}

TEST_F(EntryRules, FailuresOfCodes2And14Return1) {
    Declaration decl(specFor("a.bin"));
    x9host::setCheckStateAnswer(7);
    EXPECT_EQ(callDriver(dosPlugin(), decl, AtEnd).ret, 1);
    EXPECT_EQ(callDriver(dosPlugin(), decl, 2).ret, 1);
    EXPECT_EQ(callDriver(dosPlugin(), decl, Records).ret, 0);
    EXPECT_EQ(callDriver(dosPlugin(), decl, Records).err, 7);
    EXPECT_EQ(+decl.block()->lastError, 7);
}

TEST_F(EntryRules, SilentFailureReportsNothing) {
    Declaration decl(specFor("a.bin"));
    callDriver(dosPlugin(), decl, Pointer);
    x9host::setCheckStateAnswer(-1);
    x9host::recordEvents(true);
    auto result = callDriver(dosPlugin(), decl, Pointer);
    EXPECT_EQ(result.err, 0);
    EXPECT_EQ(+decl.block()->lastError, 0);
    for (const auto& event : x9host::takeEvents()) EXPECT_NE(event.rfind("seterror", 0), 0u);
}

TEST_F(EntryRules, ErrorsReachTheHostWithTheFile) {
    Declaration decl(specFor("missing.bin"));
    auto result = callDriver(dosPlugin(), decl, Open, {0x42});
    EXPECT_EQ(result.err, kOsFileNotFound);
    EXPECT_EQ(x9host::errorFile(), decl.get());
    // A failed open discards the block.
    EXPECT_EQ(decl.block(), nullptr);
}

TEST_F(EntryRules, OpenWithoutANameFailsWith45AndLeavesNoBlock) {
    Declaration decl(specFor(""));
    EXPECT_EQ(callDriver(dosPlugin(), decl, Open, {0x42}).err, 45);
    EXPECT_EQ(decl.block(), nullptr);
}

TEST_F(EntryRules, RegisterOnAnUnopenedFileAnswersTheRecordAndDiscardsTheBlock) {
    Declaration decl(specFor("a.bin"));
    x9host::recordEvents(true);
    auto result = callDriver(dosPlugin(), decl, Send, {}, {"REGISTER"});
    auto address = reinterpret_cast<uintptr_t>(&dosPlugin().registration());
    EXPECT_EQ(result.str, std::to_string(address));
    EXPECT_EQ(result.ret, static_cast<int32_t>(address));
    EXPECT_EQ(result.err, 0);
    EXPECT_EQ(decl.block(), nullptr);
    auto events = x9host::takeEvents();
    EXPECT_NE(std::find(events.begin(), events.end(), "StackHeap"), events.end());

    // Lower case is an option text, which the option step ignores.
    result = callDriver(dosPlugin(), decl, Send, {}, {"register"});
    EXPECT_EQ(result.str, "");
    EXPECT_NE(decl.block(), nullptr);
}

TEST_F(EntryRules, NameFollowsTheDeclarationsLengthRule) {
    Declaration counted(specFor("a.bin"));
    counted.setNameForm(-2);
    EXPECT_EQ(callDriver(dosPlugin(), counted, Name).str, dir.file("a.bin"));
    Declaration terminated(specFor("b.bin"));
    terminated.setNameForm(-1);
    EXPECT_EQ(callDriver(dosPlugin(), terminated, Name).str, dir.file("b.bin"));
}

TEST_F(EntryRules, CreateNeedsTheAttributeAndRemoveReportsOsCodes) {
    DeclarationSpec spec = specFor("new.bin");
    spec.attributes = 0;
    Declaration refused(spec);
    EXPECT_EQ(callDriver(dosPlugin(), refused, Create).err, 54);
    Declaration allowed(specFor("new.bin"));
    EXPECT_EQ(callDriver(dosPlugin(), allowed, Create).err, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("new.bin")));
    EXPECT_EQ(callDriver(dosPlugin(), allowed, Remove).err, 0);
    EXPECT_EQ(callDriver(dosPlugin(), allowed, Remove).err, kOsFileNotFound);
    Declaration inMissingFolder(specFor("nowhere/x.bin"));
    EXPECT_EQ(callDriver(dosPlugin(), inMissingFolder, Remove).err, kOsPathNotFound);
}

TEST_F(EntryRules, NegativeRecordLengthOrItemListsRefuseTheDeclaration) {
    Declaration negative(specFor("a.bin"));
    negative.get()->recordLength = -1;
    EXPECT_EQ(callDriver(dosPlugin(), negative, Pointer).err, 47);
    EXPECT_EQ(negative.block(), nullptr);
    Declaration listed(specFor("a.bin"));
    int item = 0;
    listed.get()->secondItemCount = 1;
    listed.get()->secondItemList = &item;
    EXPECT_EQ(callDriver(dosPlugin(), listed, Pointer).err, 47);
    EXPECT_EQ(listed.block(), nullptr);
}

struct FieldTableCase {
    const char* name;
    std::vector<FieldSpec> fields;
    int32_t error;
};

void PrintTo(const FieldTableCase& c, std::ostream* os) {
    *os << c.name;
}

FieldSpec field(uint8_t type, int32_t size, std::optional<int32_t> offset = {}, uint8_t level = 1) {
    FieldSpec f;
    f.type = type;
    f.size = size;
    f.offset = offset;
    f.level = level;
    return f;
}

class FieldTables : public EntryRules, public ::testing::WithParamInterface<FieldTableCase> {};

TEST_P(FieldTables, DecideWhetherTheRecordCanBeUsed) {
    DeclarationSpec spec = specFor("a.bin");
    spec.fields = GetParam().fields;
    Declaration decl(spec);
    EXPECT_EQ(callDriver(dosPlugin(), decl, Pointer).err, GetParam().error);
    EXPECT_EQ(decl.block() == nullptr, GetParam().error != 0);
}

INSTANTIATE_TEST_SUITE_P(
    Attach, FieldTables,
    ::testing::Values(FieldTableCase{"plain", {field(18, 4), field(4, 4), field(10, 3)}, 0},
                      FieldTableCase{"unknownType", {field(18, 4), field(12, 4)}, 79},
                      FieldTableCase{"unknownTypeOverlaid", {field(18, 4), field(12, 4, 0)}, 0},
                      FieldTableCase{"unknownTypeInOverlayingGroup",
                                     {field(18, 4), field(22, 4, 0), field(12, 4, 0, 2)},
                                     0},
                      FieldTableCase{"bool", {field(24, 1)}, 79}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EntryRules, RecordThatIsNoGroupFailsWith75) {
    Declaration decl(specFor("a.bin"));
    x9host::RecordDescription notAGroup = x9host::describeRecord({field(18, 4)});
    // Description 0 turned into a text field.
    auto* raw = const_cast<uint8_t*>(notAGroup.descriptor->FieldDesc(0));
    raw[fd::kType] = 18;
    decl.get()->classDescriptor = notAGroup.descriptor.get();
    EXPECT_EQ(callDriver(dosPlugin(), decl, Pointer).err, 75);
    EXPECT_EQ(decl.block(), nullptr);
}

TEST_F(EntryRules, FieldTableDescribesEachField) {
    DeclarationSpec spec = specFor("a.bin");
    FieldSpec text = field(18, 6);
    text.dimensions = {2};
    text.comment = "note";
    FieldSpec number = field(10, 5);
    number.places = 2;
    spec.fields = {text, number, field(4, 4, 0)};
    Declaration decl(spec);
    callDriver(dosPlugin(), decl, Pointer);
    ASSERT_NE(decl.block(), nullptr);
    ASSERT_EQ(+decl.block()->fieldCount, 3);
    const FieldDesc50* table = decl.block()->fieldTable;
    EXPECT_EQ(+table[0].type, 18);
    EXPECT_EQ(+table[0].elementCount, 2);
    EXPECT_EQ(+table[0].size, 6);
    EXPECT_EQ(+table[0].extra.charsPerElement, 3);
    EXPECT_EQ(+table[0].noComment, 0);
    EXPECT_STREQ(table[0].name, "F1");
    EXPECT_EQ(+table[1].offset, 6);
    EXPECT_EQ(+table[1].extra.decimal.places, 2);
    EXPECT_EQ(+table[1].extra.decimal.elementSize, 5);
    EXPECT_EQ(+table[1].noComment, 1);
    EXPECT_EQ(+table[2].overlay, 1);
    EXPECT_EQ(+table[2].firstOverlaid, 1);
    EXPECT_EQ(+table[2].fieldNumber, 2);
}

TEST_F(EntryRules, CodesWithoutABlockStillPushAnEmptyResult) {
    Declaration decl(specFor("a.bin"));
    decl.get()->recordLength = -5;
    auto result = callDriver(dosPlugin(), decl, Name);
    EXPECT_EQ(result.err, 47);
    EXPECT_EQ(result.str, "");
}

}  // namespace

namespace {

TEST_F(EntryRules, CloseOnAStaleBlockRunsAndThenDiscardsIt) {
    x9test::writeFile(dir.file("a.bin"), "0123456789");
    Declaration decl(specFor("a.bin"));
    callDriver(dosPlugin(), decl, Open, {0x12});
    EXPECT_EQ(callDriver(dosPlugin(), decl, Close).err, 0);
    ASSERT_NE(decl.block(), nullptr);
    EXPECT_EQ(callDriver(dosPlugin(), decl, Close).err, 0);
    EXPECT_EQ(decl.block(), nullptr);
}

TEST_F(EntryRules, ClearBytesCopyAndRename) {
    x9test::writeFile(dir.file("a.bin"), "0123456789abcde");
    DeclarationSpec spec = specFor("a.bin");
    spec.fields = *x9host::parseFieldList("18:3,4:4,18:3");
    Declaration decl(spec);
    callDriver(dosPlugin(), decl, Open, {0x42});
    callDriver(dosPlugin(), decl, GetAt, {1});
    EXPECT_EQ(decl.recordText(), "0123456789");
    EXPECT_EQ(callDriver(dosPlugin(), decl, Clear, {0}).err, 0);
    EXPECT_EQ(decl.recordText(), std::string("   \0\0\0\0   ", 10));
    EXPECT_EQ(callDriver(dosPlugin(), decl, Bytes).ret, 15);
    decl.block()->stateFlags |= kStateReportTransfer;  // the host asks for the transfer
    EXPECT_EQ(callDriver(dosPlugin(), decl, Bytes).ret, 10);

    EXPECT_EQ(callDriver(dosPlugin(), decl, CopyOrRename0, {}, {dir.file("copy.bin")}).err, 0);
    EXPECT_EQ(x9test::readFile(dir.file("copy.bin")), "0123456789abcde");
    EXPECT_EQ(callDriver(dosPlugin(), decl, Close).err, 0);
    EXPECT_EQ(callDriver(dosPlugin(), decl, CopyOrRename1, {}, {dir.file("moved.bin")}).err, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.bin")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("moved.bin")));
}

}  // namespace
