// Sequential Next scan of a 64 MiB file of 100-byte records through the
// binary plug-in, (a) with an exclusive open's defaults and (b) with
// FILEBUFFERS=128, against a plain fread loop of 100-byte records over the
// same file; then appends per second against a plain fwrite loop. Each
// figure is the fastest of a few runs, the runs taking turns.
//   driver_scan_bench [FOLDER]   (default: the system's temporary folder)
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "driver_bench_calls.h"

namespace {

constexpr std::size_t kRecord = 100;
constexpr std::size_t kFileBytes = 64u << 20;
constexpr std::size_t kRecords = kFileBytes / kRecord;
constexpr std::size_t kAppends = 200000;

using x9bench::Clock;
using x9bench::secondsSince;

void makeFile(const std::string& path) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::vector<char> record(kRecord, 'r');
    for (std::size_t i = 0; i < kRecords; ++i) {
        std::snprintf(record.data(), kRecord, "%09zu", i);
        std::fwrite(record.data(), 1, kRecord, out);
    }
    std::fclose(out);
}

double freadScan(const std::string& path, std::size_t& records) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    char record[kRecord];
    records = 0;
    auto start = Clock::now();
    while (std::fread(record, 1, kRecord, in) > 0) ++records;
    double seconds = secondsSince(start);
    std::fclose(in);
    return seconds;
}

double fwriteAppends(const std::string& path) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    char record[kRecord] = "appended record";
    auto start = Clock::now();
    for (std::size_t i = 0; i < kAppends; ++i) std::fwrite(record, 1, kRecord, out);
    std::fflush(out);
    double seconds = secondsSince(start);
    std::fclose(out);
    return seconds;
}

void report(const char* what, std::size_t count, double seconds, double baselinePerSecond) {
    double perSecond = count / seconds;
    std::printf("%-34s %9zu in %7.3f s  %12.0f /s  ratio %.2fx\n", what, count, seconds, perSecond,
                perSecond / baselinePerSecond);
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    std::string data = (folder / "x9_driver_scan.dat").string();
    std::string appends = (folder / "x9_driver_appends.dat").string();
    makeFile(data);
    x9host::Plugin plugin(X9DOSX_PATH);

    std::size_t count = 0, exclusiveCount = 0, bufferedCount = 0;
    freadScan(data, count);  // warms the page cache for every run below
    auto scan = [&](const char* driver, std::size_t& records) {
        return x9bench::driverScan(plugin, x9host::textFieldSpec(data, kRecord, driver), records);
    };
    auto [baseline, a, b] = x9bench::fastestInTurns<3>({
        [&] { return freadScan(data, count); },
        [&] { return scan("", exclusiveCount); },
        [&] { return scan("/FILEBUFFERS=128", bufferedCount); },
    });
    double baselinePerSecond = count / baseline;
    report("fread loop (baseline)", count, baseline, baselinePerSecond);
    report("Next scan, exclusive defaults", exclusiveCount, a, baselinePerSecond);
    report("Next scan, FILEBUFFERS=128", bufferedCount, b, baselinePerSecond);
    std::printf("target for FILEBUFFERS=128: at least 0.50x\n");

    auto [plainAppends, added] = x9bench::fastestInTurns<2>({
        [&] { return fwriteAppends(appends); },
        [&] {
            std::filesystem::remove(appends);
            return x9bench::driverAppends(plugin, x9host::textFieldSpec(appends, kRecord, ""),
                                          "appended record", kAppends);
        },
    });
    double plainPerSecond = kAppends / plainAppends;
    report("fwrite appends (baseline)", kAppends, plainAppends, plainPerSecond);
    report("Add, exclusive defaults", kAppends, added, plainPerSecond);

    std::filesystem::remove(data);
    std::filesystem::remove(appends);
    return 0;
}
