// Both plug-ins driven from several host threads at once, each thread on its
// own declarations: text and binary records, options, properties, and then
// redirection switched on and off while the other threads forward their
// operations. Under ThreadSanitizer this checks the plug-ins' module-wide
// state (redirection table, module flag, field-table builds).
#include <barrier>
#include <thread>

#include "ascii_fixture.h"

namespace {

using x9host::Declaration;
using x9test::TextDriverTest;

constexpr int kThreads = 4;
constexpr int kLines = 150;

class BothPluginsTest : public TextDriverTest {
  protected:
    void TearDown() override {
        x9host::clearRemoteDrivers();
        TextDriverTest::TearDown();
    }
};

int localWork(const x9test::ScratchFolder& dir, int t) {
    int failures = 0;
    auto check = [&](bool ok) { failures += !ok; };
    const x9host::Plugin& text = x9test::asciiPlugin();
    const x9host::Plugin& binary = x9test::dosPlugin();
    std::string textPath = dir.file("t" + std::to_string(t) + ".txt");
    Declaration lines(x9test::textFieldSpec(textPath, 24, "/TAB=2/FILEBUFFERS=1"));
    Declaration records(x9test::textFieldSpec(dir.file("b" + std::to_string(t) + ".bin"), 8));
    check(x9host::callDriver(text, lines, Create).err == 0);
    check(x9host::callDriver(binary, records, Create).err == 0);
    check(x9host::callDriver(text, lines, Open, {0x12}).err == 0);
    check(x9host::callDriver(binary, records, Open, {0x12}).err == 0);
    for (int i = 0; i < kLines; ++i) {
        lines.setRecord("line " + std::to_string(t) + "." + std::to_string(i));
        check(x9host::callDriver(text, lines, Add).err == 0);
        records.setRecord(std::to_string(i));
        check(x9host::callDriver(binary, records, Add).err == 0);
    }
    check(x9host::callDriver(text, lines, Send, {}, {"ENDOFRECORD"}).str == "\r\n");
    check(x9host::callDriver(text, lines, GetProperty, {0}, {"29453"}).str == "ASCII");
    check(x9host::callDriver(binary, records, GetProperty, {1}, {"31929"}).str == "8");
    x9host::callDriver(text, lines, SetFirst);
    int read = 0;
    while (x9host::callDriver(text, lines, Next).err == 0) {
        check(lines.recordText().starts_with("line " + std::to_string(t) + "."));
        ++read;
    }
    check(read == kLines);
    check(x9host::callDriver(binary, records, Records).ret == kLines);
    check(x9host::callDriver(text, lines, Close).err == 0);
    check(x9host::callDriver(binary, records, Close).err == 0);
    x9host::releaseDeclaration(text, lines);
    x9host::releaseDeclaration(binary, records);
    return failures;
}

int redirectedWork(const x9test::ScratchFolder& dir, int t, std::barrier<>& sync) {
    int failures = 0;
    auto check = [&](bool ok) { failures += !ok; };
    for (const x9host::Plugin* plugin : {&x9test::asciiPlugin(), &x9test::dosPlugin()}) {
        Declaration decl(x9test::textFieldSpec(dir.file("r" + std::to_string(t)), 8, "",
                                          kDeclCreateAllowed | kDeclPerThread));
        auto redirect = [&](const std::string& target) {
            return x9host::callDriver(*plugin, decl, SetProperty, {0}, {target, "29510"}).err;
        };
        sync.arrive_and_wait();
        for (int round = 0; round < 20; ++round) {
            check(redirect("far:/shared") == 0);
            check(x9host::callDriver(*plugin, decl, SetFirst).err == 0);
            check(x9host::callDriver(*plugin, decl, Next).err == 0);
            check(x9host::callDriver(*plugin, decl, GetProperty, {0}, {"29510"}).str ==
                  "far:/shared");
            check(redirect("") == 0);
        }
        x9host::releaseDeclaration(*plugin, decl);
    }
    return failures;
}

TEST_F(BothPluginsTest, ThreadsWorkOnTheirOwnDeclarations) {
    x9host::clearRemoteDrivers();
    for (const char* driver : {"ASCII", "DOS"})
        x9host::registerRemoteDriver(driver, "far:/shared",
                                     [](const x9host::RemoteCall&) { return 0; });
    std::vector<int> failures(kThreads, 0);
    std::barrier sync(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            failures[t] += localWork(dir, t);
            failures[t] += redirectedWork(dir, t, sync);
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, std::vector<int>(kThreads, 0));
    EXPECT_EQ(x9host::remoteFilesAlive(), 0);
}

}  // namespace
