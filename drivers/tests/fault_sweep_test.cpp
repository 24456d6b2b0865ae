// The OS-fault sweep: every script of a small corpus (appends, puts in
// place, window and caching changes, scans) runs under both plug-ins, cached
// and uncached, once for every fault point: each fault kind failing the
// N-th OS call of its kind, N = 1, 2, ... until the fault no longer fires.
// After each run:
//   - all answers 0: the file holds exactly what the unfaulted run left;
//   - an error answered: no foreign or stale record, at most a torn tail, and
//     nothing acknowledged missing unless a later write answered the loss;
//   - the successful Nexts delivered the file's records in order, none
//     skipped and none repeated;
//   - no descriptor of the data file is open.
// Records are four characters and unique to their slot, so a record tells
// where it belongs.
#include <unistd.h>

#include <map>
#include <optional>

#include "ascii_fixture.h"

namespace {

using x9host::FaultKind;

constexpr uint32_t kShortWriteBytes = 3;
constexpr int kMaxFaultPoint = 2000;  // a guard: every script makes far fewer calls
constexpr std::size_t kMaxReported = 20;

struct PluginCase {
    const char* name;
    const x9host::Plugin& (*plugin)();
    uint32_t stride;                            // file bytes of one record
    std::string (*encode)(const std::string&);  // a record's bytes in the file
};

std::string binaryBytes(const std::string& value) {
    return value + std::string(10 - value.size(), ' ');
}
std::string textBytes(const std::string& value) {
    return value + "\r\n";
}

const PluginCase kPlugins[] = {
    {"DOS", x9test::dosPlugin, 10, binaryBytes},
    {"ASCII", x9test::asciiPlugin, 6, textBytes},
};

struct ModeCase {
    const char* name;
    const char* openMode;
};
const ModeCase kModes[] = {{"cached", "0x12"}, {"uncached", "0x42"}};

struct ScriptCase {
    const char* name;
    std::vector<std::string> initial;  // records in the file before the script
    // "@N" stands for the position of record N (from 0); MODE for the open mode.
    std::string body;
};

const std::string kNexts6 = "next\nnext\nnext\nnext\nnext\nnext\n";

const ScriptCase kScripts[] = {
    {"appends",
     {},
     "open MODE\nrec A001\nadd\nrec A002\nadd\nrec A003\nadd\nflush\nrec A004\nadd\nclose\n"},
    {"puts in place",
     {"B000", "B001", "B002"},
     "open MODE\ngetat @2\nrec C002\nput\nrec C000\nputat @0\nrec B003\nadd\nrec C001\n"
     "putat @1\nclose\n"},
    {"window and caching changes",
     {"B000"},
     "open MODE\nrec D001\nadd\nrec D002\nadd\nsend FILEBUFFERS=0\nrec D003\nadd\n"
     "send QUICKSCAN=OFF\nrec E000\nputat @0\nsend QUICKSCAN=ON\nrec D004\nadd\n"
     "send FILEBUFFERS=2\nrec E002\nputat @2\nclose\n"},
    {"scans",
     {"B000", "B001", "B002", "B003"},
     "open MODE\nsetfirst\n" + kNexts6 + "rec F004\nadd\nrec G001\nputat @1\nsetfirst\n" + kNexts6 +
         "next\nclose\n"},
};

struct ScriptRun {
    std::vector<std::string> lines;  // the script's operation lines, in order
    std::vector<std::string> answers;
    uint64_t fired = 0;
};

std::string placeholdersFilled(std::string body, const PluginCase& plugin, const ModeCase& mode) {
    for (std::size_t at; (at = body.find("MODE")) != std::string::npos;)
        body.replace(at, 4, mode.openMode);
    for (std::size_t at; (at = body.find('@')) != std::string::npos;) {
        uint32_t slot = static_cast<uint32_t>(body[at + 1] - '0');
        body.replace(at, 2, std::to_string(slot * plugin.stride + 1));
    }
    return body;
}

ScriptRun runOnce(const PluginCase& plugin, const std::string& body, const std::string& path,
                  const std::string& faultLine) {
    std::string script =
        "decl file=" + path + " fields=18:10\n" + faultLine + body + "faults\nfault off\n";
    std::istringstream in(script);
    std::ostringstream out, err;
    x9rec::runScript(plugin.plugin(), in, out, err);
    ScriptRun run;
    std::istringstream bodyLines(body);
    for (std::string line; std::getline(bodyLines, line);) run.lines.push_back(line);
    std::istringstream printed(out.str());
    for (std::string line; std::getline(printed, line);) {
        if (line.starts_with("faults fired="))
            run.fired = std::stoull(line.substr(13));
        else
            run.answers.push_back(line);
    }
    return run;
}

int32_t errorOf(const std::string& answer) {
    std::size_t at = answer.find(" err=");
    return at == std::string::npos ? -999 : std::stoi(answer.substr(at + 5));
}

std::string recordOf(const std::string& answer) {
    std::size_t at = answer.find(" rec=\"");
    if (at == std::string::npos) return {};
    std::string text = answer.substr(at + 6);
    return text.substr(0, text.size() - 1);
}

std::string trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// What one record slot has held and been asked to hold, in script order.
struct Write {
    std::string bytes;
    bool acknowledged;
    std::size_t step;
};
struct Slot {
    std::vector<Write> writes;  // the first is the initial record or the append
};

// Whether `bytes` is a failed write's bytes, whole or laid over the prior
// content up to some point.
bool tornFrom(const std::string& bytes, const std::string& written, const std::string& prior) {
    if (bytes.size() != written.size() || prior.size() != written.size()) return false;
    for (std::size_t k = 0; k <= written.size(); ++k)
        if (bytes == written.substr(0, k) + prior.substr(k)) return true;
    return false;
}

class Model {
  public:
    Model(const PluginCase& plugin, const std::vector<std::string>& initial) : plugin_(plugin) {
        for (const auto& value : initial) slots_.push_back({{{plugin.encode(value), true, 0}}});
    }

    // Replays the answers; reports what no sound driver may answer.
    void replay(const ScriptRun& run, std::vector<std::string>& problems) {
        std::string value;
        std::size_t answer = 0;
        for (std::size_t step = 1; step <= run.lines.size(); ++step) {
            const std::string& line = run.lines[step - 1];
            if (line.starts_with("rec ")) {
                value = line.substr(4);
                continue;
            }
            if (answer >= run.answers.size()) {
                problems.push_back("no answer for " + line);
                return;
            }
            const std::string& printed = run.answers[answer++];
            int32_t err = errorOf(printed);
            if (err != 0 && err != 33) anyError_ = true;
            apply(line, printed, err, value, step, problems);
        }
    }

    // The file's bytes against what was acknowledged and what was attempted.
    void checkFile(const std::string& bytes, std::vector<std::string>& problems) const {
        const std::size_t stride = plugin_.stride;
        const std::size_t whole = bytes.size() / stride;
        for (std::size_t s = 0; s < whole; ++s) {
            std::string record = bytes.substr(s * stride, stride);
            bool last = s + 1 == whole && bytes.size() % stride == 0;
            if (s < slots_.size() ? !holds(s, record) : !(last && failedAppend(record)))
                problems.push_back("record " + std::to_string(s) + " holds \"" + record + "\"");
        }
        for (std::size_t s = whole; s < slots_.size(); ++s)
            if (!lossReported(s)) problems.push_back("record " + std::to_string(s) + " was lost");
        if (std::string tail = bytes.substr(whole * stride); !tail.empty() && !tornTail(tail))
            problems.push_back("a foreign tail \"" + tail + "\"");
    }

    bool anyError() const { return anyError_; }

  private:
    void apply(const std::string& line, const std::string& printed, int32_t err,
               const std::string& value, std::size_t step, std::vector<std::string>& problems) {
        std::string bytes = plugin_.encode(value);
        if (line == "add") {
            if (err == 0)
                slots_.push_back({{{bytes, true, step}}});
            else
                failedAppends_.push_back(bytes);
        } else if (line.starts_with("putat ") || line == "put") {
            std::size_t slot = line == "put" ? current_ : slotAt(line);
            if (slot < slots_.size()) slots_[slot].writes.push_back({bytes, err == 0, step});
        } else if (line.starts_with("getat ")) {
            if (err == 0) {
                current_ = slotAt(line);
                checkRead(current_, printed, problems);
            }
        } else if (line == "setfirst") {
            scanSlot_ = 0;
        } else if (line == "next") {
            if (err == 0) {
                checkRead(scanSlot_++, printed, problems);
            } else if (err == 33 && scanSlot_ != slots_.size() && lastLossReported_ == 0) {
                problems.push_back("the scan ended after " + std::to_string(scanSlot_) + " of " +
                                   std::to_string(slots_.size()) + " records");
            }
        }
        if (err != 0 && writesOut(line)) lastLossReported_ = step;
    }

    // Operations whose error may stand for data that did not reach the file.
    static bool writesOut(const std::string& line) {
        return line == "add" || line == "put" || line.starts_with("putat ") || line == "flush" ||
               line == "close" || line.starts_with("open ");
    }

    std::size_t slotAt(const std::string& line) const {
        return (std::stoul(line.substr(line.find(' ') + 1)) - 1) / plugin_.stride;
    }

    // A read sees the last acknowledged write, or a failed one after it.
    void checkRead(std::size_t slot, const std::string& printed,
                   std::vector<std::string>& problems) const {
        std::string record =
            plugin_.stride == 10 ? recordOf(printed) : plugin_.encode(trimmed(recordOf(printed)));
        if (slot >= slots_.size() || !holdsLatest(slot, record))
            problems.push_back("read " + std::to_string(slot) + " delivered \"" +
                               recordOf(printed) + "\"");
    }

    std::size_t lastAcknowledged(std::size_t slot) const {
        const auto& writes = slots_[slot].writes;
        std::size_t at = 0;
        for (std::size_t i = 0; i < writes.size(); ++i)
            if (writes[i].acknowledged) at = i;
        return at;
    }

    bool holdsLatest(std::size_t slot, const std::string& record) const {
        const auto& writes = slots_[slot].writes;
        std::size_t latest = lastAcknowledged(slot);
        if (record == writes[latest].bytes) return true;
        for (std::size_t i = latest + 1; i < writes.size(); ++i)
            if (tornFrom(record, writes[i].bytes, writes[i - 1].bytes)) return true;
        return false;
    }

    // After a reported loss any record the slot ever held may be back.
    bool holds(std::size_t slot, const std::string& record) const {
        if (holdsLatest(slot, record)) return true;
        const auto& writes = slots_[slot].writes;
        if (writes[lastAcknowledged(slot)].step >= lastLossReported_) return false;
        for (std::size_t i = 0; i < writes.size(); ++i)
            if (record == writes[i].bytes ||
                (i > 0 && tornFrom(record, writes[i].bytes, writes[i - 1].bytes)))
                return true;
        return false;
    }

    bool lossReported(std::size_t slot) const {
        const Write& first = slots_[slot].writes.front();
        return first.step > 0 && first.step < lastLossReported_;
    }

    bool failedAppend(const std::string& record) const {
        for (const auto& bytes : failedAppends_)
            if (record == bytes) return true;
        return false;
    }

    // At most the start of one record the file was to take at its end.
    bool tornTail(const std::string& tail) const {
        auto startsIt = [&](const std::string& bytes) { return bytes.starts_with(tail); };
        for (const auto& bytes : failedAppends_)
            if (startsIt(bytes)) return true;
        for (std::size_t s = 0; s < slots_.size(); ++s)
            if (lossReported(s) && startsIt(slots_[s].writes.front().bytes)) return true;
        return false;
    }

    const PluginCase& plugin_;
    std::vector<Slot> slots_;
    std::vector<std::string> failedAppends_;
    std::size_t current_ = 0;
    std::size_t scanSlot_ = 0;
    std::size_t lastLossReported_ = 0;
    bool anyError_ = false;
};

class FaultSweep : public x9test::DriverTest {
  protected:
    void SetUp() override {
        x9test::asciiPlugin();
        DriverTest::SetUp();
    }

    std::string initialBytes(const PluginCase& plugin, const ScriptCase& script) {
        std::string bytes;
        for (const auto& value : script.initial) bytes += plugin.encode(value);
        return bytes;
    }

    // Runs the script with the fault line; answers whether the fault fired.
    bool sweepPoint(const PluginCase& plugin, const ScriptCase& script, const std::string& body,
                    const std::string& path, const std::string& reference,
                    const std::string& faultLine, std::vector<std::string>& problems) {
        x9test::writeFile(path, initialBytes(plugin, script));
        ScriptRun run = runOnce(plugin, body, path, faultLine);
        std::vector<std::string> found;
        Model model(plugin, script.initial);
        model.replay(run, found);
        std::string bytes = x9test::readFile(path);
        if (!model.anyError() && bytes != reference)
            found.push_back("all answers 0, yet the file holds \"" + bytes + "\"");
        model.checkFile(bytes, found);
        if (x9test::descriptorsOf(path) != 0)
            found.push_back("a descriptor of the file is still open");
        for (const auto& problem : found)
            if (problems.size() < kMaxReported)
                problems.push_back(faultLine.substr(0, faultLine.size() - 1) + ": " + problem);
        ++runs_;
        return run.fired > 0;
    }

    std::size_t runs_ = 0;
};

TEST_F(FaultSweep, NothingAcknowledgedIsLostAtAnyFaultPoint) {
    const std::string path = dir.file("sweep");
    for (const PluginCase& plugin : kPlugins) {
        for (const ModeCase& mode : kModes) {
            for (const ScriptCase& script : kScripts) {
                SCOPED_TRACE(std::string(plugin.name) + " / " + mode.name + " / " + script.name);
                const std::string body = placeholdersFilled(script.body, plugin, mode);
                x9test::writeFile(path, initialBytes(plugin, script));
                ScriptRun clean = runOnce(plugin, body, path, "");
                for (const auto& answer : clean.answers)
                    ASSERT_TRUE(errorOf(answer) == 0 ||
                                answer.starts_with("next ret=0 err=33 (end of file)"))
                        << "without faults: " << answer;
                const std::string reference = x9test::readFile(path);
                std::vector<std::string> problems;
                for (int k = 0; k < x9host::kFaultKinds; ++k) {
                    auto kind = static_cast<FaultKind>(k);
                    std::string bytes =
                        kind == FaultKind::shortWrite ? " " + std::to_string(kShortWriteBytes) : "";
                    int n = 1;
                    for (; n <= kMaxFaultPoint; ++n) {
                        std::string faultLine = std::string("fault ") +
                                                x9host::faultKindName(kind) + " " +
                                                std::to_string(n) + bytes + "\n";
                        if (!sweepPoint(plugin, script, body, path, reference, faultLine, problems))
                            break;
                    }
                    EXPECT_LE(n, kMaxFaultPoint) << x9host::faultKindName(kind) << " never stopped";
                }
                EXPECT_TRUE(problems.empty()) << [&] {
                    std::string all;
                    for (const auto& p : problems) all += p + "\n";
                    return all;
                }();
            }
        }
    }
    RecordProperty("runs", static_cast<int>(runs_));
    std::cout << "fault sweep: " << runs_ << " runs\n";
}

}  // namespace
