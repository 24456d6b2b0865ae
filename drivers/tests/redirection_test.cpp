// Redirection to remote drivers registered in the host stand-in: the switch
// through property 29510, which operations go to the remote file, which are
// refused and which stay local, the module flag, and the failures.
#include <mutex>
#include <thread>

#include "ascii_fixture.h"

namespace {

using x9host::CallResult;
using x9host::Declaration;
using x9host::Plugin;
using x9host::RemoteCall;
using x9test::TextDriverTest;
using x9test::textFieldSpec;
using x9test::writeFile;

class RedirectionTest : public TextDriverTest {
  protected:
    void SetUp() override {
        TextDriverTest::SetUp();
        x9host::clearRemoteDrivers();
        x9host::registerRemoteDriver("ASCII", "far:/data", [this](const RemoteCall& call) {
            std::lock_guard lock(mutex_);
            calls_.push_back(call);
            return call.code == Next ? remoteNextError_ : 0;
        });
        writeFile(dir.file("a.txt"), "local\r\n");
    }
    void TearDown() override {
        x9host::clearRemoteDrivers();
        TextDriverTest::TearDown();
    }
    int32_t redirect(Declaration& decl, const std::string& target) {
        return call(decl, SetProperty, {0}, {target, "29510"}).err;
    }
    std::vector<RemoteCall> takeCalls() {
        std::lock_guard lock(mutex_);
        return std::exchange(calls_, {});
    }
    std::mutex mutex_;
    std::vector<RemoteCall> calls_;
    int32_t remoteNextError_ = 0;
};

TEST_F(RedirectionTest, SwitchOnForwardsAndSwitchOffReturnsTheFile) {
    Declaration decl(textFieldSpec(dir.file("a.txt"), 8));
    ASSERT_EQ(redirect(decl, "far:/data"), 0);
    EXPECT_EQ(decl.get()->redirected & 1, 1);
    EXPECT_EQ(x9host::remoteFilesAlive(), 1);
    EXPECT_EQ(call(decl, GetProperty, {0}, {"29510"}).str, "far:/data");

    struct Forwarded {
        int32_t code;
        std::vector<intptr_t> args;
        std::vector<std::string> strings;
        int32_t error;
        std::vector<intptr_t> remoteNumbers;
        std::string remoteText;
    };
    const std::vector<Forwarded> forwarded = {
        {Open, {0x12}, {}, 0, {0x12}, ""},
        {Open2, {0x22}, {}, 0, {0x22}, ""},
        {SetFirst, {}, {}, 0, {}, ""},
        {Next, {}, {}, 0, {}, ""},
        {Send, {}, {"TAB=4"}, 0, {}, "TAB=4"},
        {ResetTo, {}, {std::string("\x05\0\0\0", 4)}, 0, {}, std::string("\x05\0\0\0", 4)},
        {SetProperty, {3}, {"NEWNAME", "29462"}, 0, {29462, 3}, "29462"},
        {Position, {}, {}, 0, {}, ""},
        {Close, {}, {}, 0, {}, ""},
        {Create, {}, {}, 0, {}, ""},
    };
    for (const Forwarded& f : forwarded) {
        SCOPED_TRACE("code " + std::to_string(f.code));
        CallResult r = call(decl, f.code, f.args, f.strings);
        EXPECT_EQ(r.err, f.error);
        auto calls = takeCalls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].code, f.code);
        EXPECT_EQ(calls[0].numbers, f.remoteNumbers);
        EXPECT_EQ(calls[0].text, f.remoteText);
    }
    // The remote error is the operation's error.
    remoteNextError_ = 33;
    EXPECT_EQ(call(decl, Next).err, 33);
    takeCalls();

    for (int32_t refused : {Add, CopyOrRename0, Flush, Put, Remove}) {
        SCOPED_TRACE("refused code " + std::to_string(refused));
        std::vector<std::string> strings;
        if (refused == CopyOrRename0) strings = {"copy.txt"};
        EXPECT_EQ(call(decl, refused, {}, strings).err, 80);
    }
    EXPECT_EQ(call(decl, Records).err, 80);
    EXPECT_TRUE(takeCalls().empty());

    // Local: the name, positions, properties read, REGISTER.
    EXPECT_EQ(call(decl, Name).str, dir.file("a.txt"));
    EXPECT_EQ(call(decl, SetAt, {9}).err, 0);
    EXPECT_EQ(uint32_t{decl.block()->nextPosition}, 9u);
    EXPECT_EQ(call(decl, GetProperty, {0}, {"29453"}).str, "ASCII");
    EXPECT_NE(call(decl, Send, {}, {"REGISTER"}).ret, 0);
    EXPECT_TRUE(takeCalls().empty());

    EXPECT_EQ(redirect(decl, "far:/other"), 96);
    EXPECT_EQ(redirect(decl, ""), 0);
    EXPECT_EQ(decl.get()->redirected & 1, 0);
    EXPECT_EQ(x9host::remoteFilesAlive(), 0);
    EXPECT_EQ(call(decl, GetProperty, {0}, {"29510"}).str, "");
    EXPECT_EQ(call(decl, Open, {0x12}).err, 0);
    EXPECT_TRUE(takeCalls().empty());
    EXPECT_EQ(redirect(decl, ""), 0);  // not redirected: nothing happens
    x9host::releaseDeclaration(x9test::asciiPlugin(), decl);
}

TEST_F(RedirectionTest, FailedSwitchOnLeavesNothingBehind) {
    Declaration decl(textFieldSpec(dir.file("a.txt"), 8));
    EXPECT_EQ(redirect(decl, "nowhere"), 95);
    EXPECT_EQ(decl.get()->redirected & 1, 0);
    EXPECT_EQ(call(decl, GetProperty, {0}, {"29510"}).str, "");
    EXPECT_EQ(x9host::remoteFilesAlive(), 0);
    // No module flag either: local opens go on.
    EXPECT_EQ(call(decl, Open, {0x12}).err, 0);
    EXPECT_EQ(call(decl, Close).err, 0);
    // And no stale entry: a good target works afterwards.
    EXPECT_EQ(redirect(decl, "far:/data"), 0);
    EXPECT_EQ(redirect(decl, ""), 0);
    x9host::releaseDeclaration(x9test::asciiPlugin(), decl);
}

TEST_F(RedirectionTest, TheModuleFlagRefusesLocalOpensUntilAnySwitchOff) {
    Declaration first(textFieldSpec(dir.file("a.txt"), 8));
    Declaration second(textFieldSpec(dir.file("a.txt"), 8));
    Declaration local(textFieldSpec(dir.file("a.txt"), 8));
    ASSERT_EQ(redirect(first, "far:/data"), 0);
    ASSERT_EQ(redirect(second, "far:/data"), 0);
    EXPECT_EQ(call(local, Open, {0x12}).err, 90);
    EXPECT_EQ(local.block(), nullptr);  // a failed open drops the block
    // One flag, not a count: one switch off allows local opens again.
    EXPECT_EQ(redirect(first, ""), 0);
    EXPECT_EQ(call(local, Open, {0x12}).err, 0);
    EXPECT_EQ(second.get()->redirected & 1, 1);
    EXPECT_EQ(call(second, Next).err, 0);
    EXPECT_EQ(takeCalls().size(), 1u);
    EXPECT_EQ(redirect(second, ""), 0);
    x9host::releaseDeclaration(x9test::asciiPlugin(), local);
    x9host::releaseDeclaration(x9test::asciiPlugin(), first);
    x9host::releaseDeclaration(x9test::asciiPlugin(), second);
}

TEST_F(RedirectionTest, LookUpFailuresEndTheOperation) {
    Declaration decl(textFieldSpec(dir.file("a.txt"), 8));
    ASSERT_EQ(redirect(decl, "far:/data"), 0);
    x9host::clearRemoteDrivers();
    EXPECT_EQ(call(decl, Next).err, 95);
    EXPECT_EQ(call(decl, GetProperty, {0}, {"29453"}).err, 95);
    EXPECT_EQ(redirect(decl, ""), 95);
    x9host::registerRemoteDriver("ASCII", "far:/data", nullptr);
    EXPECT_EQ(redirect(decl, ""), 0);
    EXPECT_EQ(decl.get()->redirected & 1, 0);
    x9host::releaseDeclaration(x9test::asciiPlugin(), decl);
}

TEST_F(RedirectionTest, CreateIsForwardedOnlyWhenAllowed) {
    Declaration decl(textFieldSpec(dir.file("a.txt"), 8, "", 0));
    ASSERT_EQ(redirect(decl, "far:/data"), 0);
    EXPECT_EQ(call(decl, Create).err, 54);
    EXPECT_TRUE(takeCalls().empty());
    EXPECT_EQ(redirect(decl, ""), 0);
    x9host::releaseDeclaration(x9test::asciiPlugin(), decl);
}

// Declarations of one instance per thread are keyed by the thread: another
// thread finds no table entry for the same declaration.
TEST_F(RedirectionTest, PerThreadDeclarationsAreKeyedByThread) {
    Declaration decl(textFieldSpec(dir.file("a.txt"), 8, "", kDeclCreateAllowed | kDeclPerThread));
    ASSERT_EQ(redirect(decl, "far:/data"), 0);
    int32_t otherThreadError = 0;
    std::thread([&] { otherThreadError = call(decl, SetFirst).err; }).join();
    EXPECT_EQ(otherThreadError, 96);
    EXPECT_EQ(call(decl, SetFirst).err, 0);
    EXPECT_EQ(redirect(decl, ""), 0);
    x9host::releaseDeclaration(x9test::asciiPlugin(), decl);
}

}  // namespace
