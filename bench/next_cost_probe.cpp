// One sequential pass over a file for bench/next_cost.sh to count under
// callgrind: the binary or text plug-in's Next until the end of the file, or
// the C library loop it is compared with. The driver runs are counted inside
// the plug-in's entry (DOS, ASCII); the baselines inside the loop functions
// below, which are kept out of line for that reason.
//   next_cost_probe make-binary|make-text FILE BYTES
//   next_cost_probe dos|ascii|fread|getline FILE
// Prints the number of calls (driver) or records (baseline) counted.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "driver_bench_calls.h"

namespace {

constexpr std::size_t kBinaryRecord = 100;
constexpr std::size_t kTextRecord = 256;
const char* const kDriverString = "/FILEBUFFERS=128";

// The same files the time benchmarks make, at a size callgrind gets through
// in seconds.
void makeBinary(const std::string& path, std::size_t bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::vector<char> record(kBinaryRecord, 'r');
    for (std::size_t i = 0; i < bytes / kBinaryRecord; ++i) {
        std::snprintf(record.data(), kBinaryRecord, "%09zu", i);
        std::fwrite(record.data(), 1, kBinaryRecord, out);
    }
    std::fclose(out);
}

void makeText(const std::string& path, std::size_t bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::mt19937 random(64);
    std::string line;
    for (std::size_t made = 0; made < bytes;) {
        std::size_t length = 20 + random() % 101;
        line.assign(length, ' ');
        for (std::size_t i = 0; i < length; ++i) line[i] = static_cast<char>('a' + random() % 26);
        line += "\r\n";
        std::fwrite(line.data(), 1, line.size(), out);
        made += line.size();
    }
    std::fclose(out);
}

[[gnu::noinline]] std::size_t freadLoop(std::FILE* in) {
    char record[kBinaryRecord];
    std::size_t records = 0;
    while (std::fread(record, 1, kBinaryRecord, in) > 0) ++records;
    return records;
}

[[gnu::noinline]] std::size_t getlineLoop(std::ifstream& in) {
    std::string line;
    std::size_t lines = 0;
    while (std::getline(in, line)) ++lines;
    return lines;
}

// Calls of Next, the last one failing at the end of the file.
std::size_t driverCalls(const char* pluginPath, const std::string& path, std::size_t record) {
    x9host::Plugin plugin(pluginPath);
    std::size_t records = 0;
    x9bench::driverScan(
        plugin, x9host::textFieldSpec(path, static_cast<int32_t>(record), kDriverString), records);
    return records + 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: next_cost_probe MODE FILE [BYTES]\n");
        return 2;
    }
    std::string mode = argv[1];
    std::string path = argv[2];
    std::size_t bytes = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 0;
    if (mode == "make-binary") {
        makeBinary(path, bytes);
        return 0;
    }
    if (mode == "make-text") {
        makeText(path, bytes);
        return 0;
    }
    std::size_t counted = 0;
    if (mode == "dos") {
        counted = driverCalls(X9DOSX_PATH, path, kBinaryRecord);
    } else if (mode == "ascii") {
        counted = driverCalls(X9ASCX_PATH, path, kTextRecord);
    } else if (mode == "fread") {
        std::FILE* in = std::fopen(path.c_str(), "rb");
        counted = freadLoop(in);
        std::fclose(in);
    } else if (mode == "getline") {
        std::ifstream in(path, std::ios::binary);
        counted = getlineLoop(in);
    } else {
        std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
        return 2;
    }
    std::printf("%zu\n", counted);
    return 0;
}
