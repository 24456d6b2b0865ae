// Several host threads calling one plug-in at once, each on its own file, as
// the host does for an application's threads. Run under ThreadSanitizer it
// shows that the plug-in's module-wide state is safe.
#include <thread>

#include "driver_fixture.h"
#include "drv_op.h"

namespace {

using x9host::callDriver;
using x9test::dosPlugin;
using x9test::DriverTest;

TEST_F(DriverTest, ThreadsWorkOnTheirOwnFilesAtOnce) {
    constexpr int kThreads = 4;
    constexpr int kRecords = 200;
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            x9host::DeclarationSpec spec;
            spec.fileName = dir.file("t" + std::to_string(t) + ".bin");
            spec.fields = *x9host::parseFieldList("18:8");
            spec.attributes = kDeclCreateAllowed;
            spec.driverString = "/FILEBUFFERS=1/ALLOWDETAILS";
            x9host::Declaration decl(spec);
            auto expectOk = [&](const x9host::CallResult& r) { failures[t] += r.err != 0; };
            expectOk(callDriver(dosPlugin(), decl, Create));
            expectOk(callDriver(dosPlugin(), decl, Open, {0x12}));
            for (int i = 0; i < kRecords; ++i) {
                decl.setRecord(std::to_string(t) + ":" + std::to_string(i));
                expectOk(callDriver(dosPlugin(), decl, Add));
            }
            expectOk(callDriver(dosPlugin(), decl, Send, {}, {"QUICKSCAN=OFF"}));
            callDriver(dosPlugin(), decl, SetFirst);
            int read = 0;
            while (callDriver(dosPlugin(), decl, Next).err == 0) ++read;
            failures[t] += read != kRecords;
            failures[t] += callDriver(dosPlugin(), decl, Name).str != spec.fileName;
            expectOk(callDriver(dosPlugin(), decl, Close));
            x9host::releaseDeclaration(dosPlugin(), decl);
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, std::vector<int>(kThreads, 0));
}

}  // namespace
