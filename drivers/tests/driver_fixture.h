// Shared by the driver tests: a scratch folder per test, file helpers, and
// running x9rec script lines against the binary plug-in.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "driver_call.h"
#include "host_control.h"
#include "script_runner.h"

namespace x9test {

inline const x9host::Plugin& dosPlugin() {
    static const x9host::Plugin plugin(X9DOSX_PATH);
    return plugin;
}

class ScratchFolder {
  public:
    ScratchFolder() {
        auto base = std::filesystem::temp_directory_path() / "x9drivers";
        std::filesystem::create_directories(base);
        std::string pattern = (base / "tXXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::string root() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Descriptors of this process that name the file: none may outlive a Close.
inline int descriptorsOf(const std::string& path) {
    int count = 0;
    DIR* fds = opendir("/proc/self/fd");
    if (!fds) return 0;
    while (dirent* entry = readdir(fds)) {
        char target[4096];
        std::string link = std::string("/proc/self/fd/") + entry->d_name;
        ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == path) ++count;
    }
    closedir(fds);
    return count;
}

// Runs the script ("$D" stands for the scratch folder) and answers its lines.
inline std::vector<std::string> runScript(const std::string& script, const ScratchFolder& dir,
                                          int* exitCode = nullptr) {
    std::string text = script;
    for (std::size_t at; (at = text.find("$D")) != std::string::npos;)
        text.replace(at, 2, dir.root());
    std::istringstream in(text);
    std::ostringstream out, err;
    int code = x9rec::runScript(dosPlugin(), in, out, err);
    if (exitCode) *exitCode = code;
    std::vector<std::string> lines;
    std::istringstream result(out.str());
    for (std::string line; std::getline(result, line);) lines.push_back(line);
    return lines;
}

// Every test starts from a quiet host: no faults, state check passing, real
// clock, no event record.
class DriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dosPlugin();  // loaded before any test records host events
        resetHost();
    }
    void TearDown() override { resetHost(); }
    static void resetHost() {
        x9host::clearOsFaults();
        x9host::setCheckStateAnswer(0);
        x9host::useManualClock(false);
        x9host::recordEvents(false);
        x9host::takeEvents();
        x9host::takeTraceEntries();
        unsetenv("X9_WININI");
    }
    ScratchFolder dir;
};

}  // namespace x9test
