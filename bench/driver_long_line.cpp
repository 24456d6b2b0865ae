// OS reads and seeks the text plug-in spends on one 1 MiB line with a
// 10-byte record: a Next, which passes over the rest of the line, and a
// rewrite check (PutAt of a shorter line, refused as the lengths differ),
// which passes over all of it; with an exclusive open's cache and without
// caching. The baseline is the window count: one read per window's worth of
// the line. Counts, not times, so the machine's load does not move them.
//   driver_long_line_bench [FOLDER]   (default: the system's temporary folder)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "driver_call.h"
#include "drv_op.h"
#include "host_control.h"

namespace {

constexpr uint32_t kLine = 1u << 20;
constexpr int32_t kRecord = 10;

struct Mode {
    const char* name;
    intptr_t openMode;
};

void report(const char* what, const Mode& mode, uint32_t window) {
    x9host::OsCallCounts counts = x9host::osCallCounts();
    double windows = static_cast<double>(kLine) / window;
    std::printf("%-14s %-9s reads %7llu  seeks %7llu  windows %7.0f  reads/windows %.2f\n", what,
                mode.name, static_cast<unsigned long long>(counts.reads),
                static_cast<unsigned long long>(counts.seeks), windows, counts.reads / windows);
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path folder =
        argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
    const std::string path = (folder / "x9_long_line.txt").string();
    std::ofstream(path, std::ios::binary) << std::string(kLine, 'x') << "\r\nend\r\n";
    x9host::Plugin plugin(X9ASCX_PATH);
    std::printf("one line of %u bytes, record of %d bytes\n", kLine, kRecord);
    for (const Mode& mode : {Mode{"cached", 0x12}, Mode{"uncached", 0x42}}) {
        x9host::Declaration decl(x9host::textFieldSpec(path, kRecord));
        x9host::callDriver(plugin, decl, Open, {mode.openMode});
        uint32_t window = decl.block() ? decl.block()->bufferSize : 1;
        x9host::callDriver(plugin, decl, SetFirst);
        x9host::resetOsCallCounts();
        x9host::callDriver(plugin, decl, Next);
        report("Next", mode, window);
        decl.setRecord("short");
        x9host::resetOsCallCounts();
        x9host::callDriver(plugin, decl, PutAt, {1});
        report("rewrite check", mode, window);
        x9host::releaseDeclaration(plugin, decl);
    }
    std::filesystem::remove(path);
    return 0;
}
