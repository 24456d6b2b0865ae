// Sequential Next scan of a 64 MiB text file (CR LF lines of 20 to 120
// bytes) through the text plug-in with a 256-byte record, (a) with an
// exclusive open's defaults and (b) with FILEBUFFERS=128, against a
// std::getline loop and a memchr line-splitting loop over the same file;
// then appends per second against a plain fwrite loop of the same lines.
// Each figure is the fastest of a few runs, the runs taking turns.
//   driver_text_scan_bench [FOLDER]   (default: the system's temporary folder)
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "driver_bench_calls.h"

namespace {

constexpr std::size_t kRecord = 256;
constexpr std::size_t kFileBytes = 64u << 20;
constexpr std::size_t kAppends = 200000;
constexpr std::size_t kChunk = 1 << 16;

using x9bench::Clock;
using x9bench::secondsSince;

std::size_t makeFile(const std::string& path) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::mt19937 random(64);
    std::string line;
    std::size_t bytes = 0, lines = 0;
    while (bytes < kFileBytes) {
        std::size_t length = 20 + random() % 101;
        line.assign(length, ' ');
        for (std::size_t i = 0; i < length; ++i) line[i] = static_cast<char>('a' + random() % 26);
        line += "\r\n";
        std::fwrite(line.data(), 1, line.size(), out);
        bytes += line.size();
        ++lines;
    }
    std::fclose(out);
    return lines;
}

double getlineScan(const std::string& path, std::size_t& lines) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    lines = 0;
    auto start = Clock::now();
    while (std::getline(in, line)) ++lines;
    return secondsSince(start);
}

// Splits the file at each LF with memchr, copying each line into a record
// as a line reader must.
double memchrScan(const std::string& path, std::size_t& lines) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    std::vector<char> chunk(kChunk + kRecord);
    char record[kRecord];
    std::size_t kept = 0;
    lines = 0;
    auto start = Clock::now();
    for (;;) {
        std::size_t got = std::fread(chunk.data() + kept, 1, kChunk, in);
        std::size_t end = kept + got;
        char* at = chunk.data();
        char* stop = chunk.data() + end;
        while (char* lf =
                   static_cast<char*>(std::memchr(at, '\n', static_cast<std::size_t>(stop - at)))) {
            std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(lf - at), kRecord);
            std::memcpy(record, at, length);
            std::memset(record + length, ' ', kRecord - length);
            ++lines;
            at = lf + 1;
        }
        kept = static_cast<std::size_t>(stop - at);
        std::memmove(chunk.data(), at, kept);
        if (got == 0) break;
    }
    double seconds = secondsSince(start);
    std::fclose(in);
    return seconds + (record[0] == 1 ? 1e-9 : 0);  // keeps the copies alive
}

double fwriteAppends(const std::string& path) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    const char line[] = "an appended line of some sixty bytes, cut at its last letter\r\n";
    auto start = Clock::now();
    for (std::size_t i = 0; i < kAppends; ++i) std::fwrite(line, 1, sizeof line - 1, out);
    std::fflush(out);
    double seconds = secondsSince(start);
    std::fclose(out);
    return seconds;
}

void report(const char* what, std::size_t count, double seconds, double getlinePerSecond,
            double memchrPerSecond) {
    double perSecond = count / seconds;
    std::printf("%-34s %9zu in %7.3f s  %12.0f /s  getline %.2fx", what, count, seconds, perSecond,
                perSecond / getlinePerSecond);
    if (memchrPerSecond > 0) std::printf("  memchr %.2fx", perSecond / memchrPerSecond);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    std::string data = (folder / "x9_driver_text_scan.txt").string();
    std::string appends = (folder / "x9_driver_text_appends.txt").string();
    std::size_t made = makeFile(data);
    x9host::Plugin plugin(X9ASCX_PATH);

    std::size_t count = 0, memchrCount = 0, exclusiveCount = 0, bufferedCount = 0;
    getlineScan(data, count);  // warms the page cache for every run below
    auto scan = [&](const char* driver, std::size_t& records) {
        return x9bench::driverScan(plugin, x9host::textFieldSpec(data, kRecord, driver), records);
    };
    auto [g, m, a, b] = x9bench::fastestInTurns<4>({
        [&] { return getlineScan(data, count); },
        [&] { return memchrScan(data, memchrCount); },
        [&] { return scan("", exclusiveCount); },
        [&] { return scan("/FILEBUFFERS=128", bufferedCount); },
    });
    double getlinePerSecond = count / g;
    double memchrPerSecond = memchrCount / m;
    report("std::getline loop (baseline)", count, g, getlinePerSecond, memchrPerSecond);
    report("memchr loop (baseline)", memchrCount, m, getlinePerSecond, memchrPerSecond);
    report("Next scan, exclusive defaults", exclusiveCount, a, getlinePerSecond, memchrPerSecond);
    report("Next scan, FILEBUFFERS=128", bufferedCount, b, getlinePerSecond, memchrPerSecond);
    for (std::size_t counted : {count, memchrCount, exclusiveCount, bufferedCount})
        if (counted != made) std::printf("line count differs: %zu, file has %zu\n", counted, made);
    std::printf("target for FILEBUFFERS=128: at least 1.00x getline\n");

    auto [plainAppends, added] = x9bench::fastestInTurns<2>({
        [&] { return fwriteAppends(appends); },
        [&] {
            std::filesystem::remove(appends);
            return x9bench::driverAppends(
                plugin, x9host::textFieldSpec(appends, kRecord, ""),
                "an appended line of some sixty bytes, cut at its last letter", kAppends);
        },
    });
    double plainPerSecond = kAppends / plainAppends;
    std::printf("%-34s %9zu in %7.3f s  %12.0f /s\n", "fwrite appends (baseline)", kAppends,
                plainAppends, plainPerSecond);
    std::printf("%-34s %9zu in %7.3f s  %12.0f /s  fwrite %.2fx\n", "Add, exclusive defaults",
                kAppends, added, kAppends / added, (kAppends / added) / plainPerSecond);

    std::filesystem::remove(data);
    std::filesystem::remove(appends);
    return 0;
}
