// OS faults under both plug-ins and both caching modes, as one table: for each
// combination the faulted operations report the defined error or nothing, the
// file on disk holds exactly the records that were reported written (no half
// record of a failed one), and the operations after the fault work again.
#include <algorithm>
#include <functional>

#include "ascii_fixture.h"
#include "drv_op.h"

namespace {

using x9host::Declaration;
using x9host::Plugin;

constexpr int32_t kRecordLength = 10;

struct PluginCase {
    const char* name;
    const Plugin& (*plugin)();
    // The bytes one record takes in the file.
    std::string (*encode)(const std::string& record);
};

std::string binaryBytes(const std::string& record) {
    return record;
}
std::string textBytes(const std::string& record) {
    return record + "\r\n";
}

const PluginCase kPlugins[] = {
    {"DOS", x9test::dosPlugin, binaryBytes},
    {"ASCII", x9test::asciiPlugin, textBytes},
};

// Exclusive opens keep a write cache (the FILEBUFFERS window); shared opens
// go to the OS on every write.
struct ModeCase {
    const char* name;
    intptr_t openMode;
};
const ModeCase kModes[] = {{"cached", 0x12}, {"uncached", 0x42}};

class Matrix;

struct FaultCase {
    const char* name;
    // Runs the faulted steps; records every record the driver reported written.
    std::function<void(Matrix&)> run;
};

class Matrix {
  public:
    Matrix(const PluginCase& plugin, const ModeCase& mode, const std::string& path)
        : plugin_(plugin), mode_(mode), path_(path) {}

    void openFile() {
        decl_ = std::make_unique<Declaration>(spec());
        ASSERT_EQ(call(Open, {mode_.openMode}).err, 0);
    }
    // Create, then open: a file made afresh.
    void createFile() {
        decl_ = std::make_unique<Declaration>(spec());
        ASSERT_EQ(call(Create).err, 0);
        ASSERT_EQ(call(Open, {mode_.openMode}).err, 0);
    }
    // The error of an open of a file that is not there.
    int32_t openMissing() {
        Declaration decl(spec());
        int32_t err = x9host::callDriver(plugin_.plugin(), decl, Open, {mode_.openMode}).err;
        x9host::releaseDeclaration(plugin_.plugin(), decl);
        return err;
    }
    x9host::CallResult call(int32_t code, const std::vector<intptr_t>& args = {}) {
        return x9host::callDriver(plugin_.plugin(), *decl_, code, args);
    }
    // Adds the record; remembers it when the driver says it was written.
    int32_t add(const std::string& record) {
        decl_->setRecord(record);
        int32_t err = call(Add).err;
        if (err == 0) written_.push_back(record);
        return err;
    }
    void expectError(int32_t err, std::initializer_list<int32_t> allowed, const char* what) {
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), err), allowed.end())
            << what << " reported " << err;
        reported_.push_back(err);
    }
    bool reported(int32_t code) const {
        return std::find(reported_.begin(), reported_.end(), code) != reported_.end();
    }
    void close() {
        if (decl_) x9host::releaseDeclaration(plugin_.plugin(), *decl_);
        decl_.reset();
    }
    // What the file must hold: every record reported written, in order.
    std::string expectedBytes() const {
        std::string bytes;
        for (const auto& r : written_) bytes += plugin_.encode(r);
        return bytes;
    }
    std::vector<std::string> readBack() {
        Declaration reader(spec());
        std::vector<std::string> records;
        if (x9host::callDriver(plugin_.plugin(), reader, Open, {0x12}).err != 0) return {"<open>"};
        x9host::callDriver(plugin_.plugin(), reader, SetFirst);
        while (x9host::callDriver(plugin_.plugin(), reader, Next).err == 0 && records.size() < 100)
            records.push_back(reader.recordText());
        x9host::releaseDeclaration(plugin_.plugin(), reader);
        return records;
    }

    const std::string& path() const { return path_; }
    const std::vector<std::string>& written() const { return written_; }
    void forgetWritten() { written_.clear(); }

  private:
    x9host::DeclarationSpec spec() const {
        x9host::DeclarationSpec s;
        s.fileName = path_;
        s.fields = *x9host::parseFieldList("18:" + std::to_string(kRecordLength));
        s.attributes = kDeclCreateAllowed;
        return s;
    }

    const PluginCase& plugin_;
    const ModeCase& mode_;
    std::string path_;
    std::unique_ptr<Declaration> decl_;
    std::vector<std::string> written_;
    std::vector<int32_t> reported_;
};

x9host::OsFaults shortWrites(int32_t count, uint32_t bytes) {
    x9host::OsFaults f;
    f.shortWrites = count;
    f.shortWriteBytes = bytes;
    return f;
}

std::vector<FaultCase> faultCases() {
    return {
        {"short write",
         [](Matrix& m) {
             x9host::setOsFaults(shortWrites(1, 3));
             // Cached, the Add fills the window and the Flush meets the fault.
             m.expectError(m.add("FAULTED-01"), {0, kOsAccessDenied}, "Add");
             // A writer may finish a short write with a second call; silence is
             // then fine, and the file check below tells whether it was.
             m.expectError(m.call(Flush).err, {0, kOsAccessDenied}, "Flush");
         }},
        {"failing seek",
         [](Matrix& m) {
             x9host::OsFaults f;
             f.failingSeeks = 1;
             x9host::setOsFaults(f);
             m.expectError(m.call(GetAt, {1}).err, {0, kOsAccessDenied}, "GetAt");
             m.expectError(m.add("FAULTED-02"), {0, kOsAccessDenied}, "Add");
             m.expectError(m.call(Flush).err, {0, kOsAccessDenied}, "Flush");
             if (x9host::osFaults().failingSeeks == 0) {
                 EXPECT_TRUE(m.reported(kOsAccessDenied)) << "the failed seek went unreported";
             }
         }},
        {"failing lock",
         [](Matrix& m) {
             x9host::OsFaults f;
             f.failingLocks = 1;
             f.lockError = kOsAccessDenied;
             x9host::setOsFaults(f);
             const int32_t err = m.call(Lock).err;
             // An exclusive open may hold the file without asking the OS.
             const bool asked = x9host::osFaults().failingLocks == 0;
             m.expectError(err, {asked ? kOsAccessDenied : 0}, "Lock");
             if (err == 0) m.call(Unlock);
             x9host::clearOsFaults();
             m.expectError(m.call(Lock).err, {0}, "Lock again");
             m.expectError(m.add("LOCKED--03"), {0}, "Add under the lock");
             m.expectError(m.call(Unlock).err, {0}, "Unlock");
         }},
        {"lock held elsewhere",
         [](Matrix& m) {
             x9host::useManualClock(true);
             x9host::OsFaults f;
             f.failingLocks = 1000000;  // held for longer than any time-out
             f.lockError = kOsLockViolation;
             x9host::setOsFaults(f);
             const int32_t err = m.call(LockWithTimeout, {2}).err;
             const bool asked = x9host::osFaults().failingLocks < 1000000;
             m.expectError(err, {asked ? kOsLockViolation : 0}, "LockWithTimeout");
             if (err == 0) m.call(Unlock);
             x9host::clearOsFaults();
             m.expectError(m.call(LockWithTimeout, {2}).err, {0}, "LockWithTimeout when free");
             m.expectError(m.add("LOCKED--04"), {0}, "Add under the lock");
             m.expectError(m.call(Unlock).err, {0}, "Unlock");
         }},
        {"file removed between operations",
         [](Matrix& m) {
             m.expectError(m.call(Flush).err, {0}, "Flush");
             ASSERT_EQ(std::remove(m.path().c_str()), 0);
             // The open handle keeps the removed file: its operations go on,
             // and what they write goes with the file.
             m.expectError(m.add("REMOVED-05"), {0}, "Add to the removed file");
             m.expectError(m.call(Flush).err, {0}, "Flush of the removed file");
             m.close();
             m.forgetWritten();
             EXPECT_EQ(m.openMissing(), kOsFileNotFound);
             m.createFile();
         }},
        {"disk full in the middle of an append",
         [](Matrix& m) {
             x9host::setOsFaults(shortWrites(-1, 4));
             m.expectError(m.add("FULL----06"), {0, kOsAccessDenied}, "Add");
             m.expectError(m.add("FULL----07"), {0, kOsAccessDenied}, "Add");
             m.expectError(m.call(Flush).err, {0, kOsAccessDenied}, "Flush");
             EXPECT_TRUE(m.reported(kOsAccessDenied)) << "the full disk went unreported";
             // Space comes back: whatever was reported written must now reach the file.
             x9host::clearOsFaults();
             m.expectError(m.call(Flush).err, {0}, "Flush with space again");
         }},
    };
}

class DriverFaultMatrix : public x9test::DriverTest {
  protected:
    void SetUp() override {
        x9test::asciiPlugin();
        DriverTest::SetUp();
    }
};

TEST_F(DriverFaultMatrix, EveryFaultLeavesTheFileWholeAndTheDriverWorking) {
    for (const PluginCase& plugin : kPlugins) {
        for (const ModeCase& mode : kModes) {
            for (const FaultCase& fault : faultCases()) {
                SCOPED_TRACE(std::string(plugin.name) + " / " + mode.name + " / " + fault.name);
                resetHost();
                const std::string path = dir.file(std::string("m.") + plugin.name);
                x9test::writeFile(path, "");
                Matrix m(plugin, mode, path);
                m.openFile();
                ASSERT_EQ(m.add("BEFORE--00"), 0);
                fault.run(m);
                x9host::clearOsFaults();
                x9host::useManualClock(false);
                // The driver goes on as before the fault.
                EXPECT_EQ(m.add("AFTER---99"), 0);
                EXPECT_EQ(m.call(Flush).err, 0);
                EXPECT_EQ(m.call(Close).err, 0);
                m.close();
                EXPECT_EQ(x9test::readFile(path), m.expectedBytes());
                EXPECT_EQ(m.readBack(), m.written());
            }
        }
    }
}

}  // namespace
