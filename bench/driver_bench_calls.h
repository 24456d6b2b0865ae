// What both driver benchmarks time: a Next scan and a run of appends through a
// plug-in's entry, called as the host calls it, without the console's
// bookkeeping around each call.
#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "driver_call.h"
#include "drv_op.h"
#include "host_control.h"

namespace x9bench {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Every figure is the fastest of a few runs, baselines and drivers alike, and
// the runs take turns: each round times every job once. On a shared machine
// one run can lose half its time to a neighbour; the fastest run shows what
// the code costs, and taking turns lets a baseline and the driver it is
// compared with see the machine in the same states.
constexpr int kRounds = 7;

template <std::size_t N>
std::array<double, N> fastestInTurns(const std::array<std::function<double()>, N>& jobs) {
    std::array<double, N> best;
    best.fill(std::numeric_limits<double>::infinity());
    for (int round = 0; round < kRounds; ++round)
        for (std::size_t job = 0; job < N; ++job) best[job] = std::min(best[job], jobs[job]());
    return best;
}

// Seconds for a Next scan from the first record to the end; `records` counts
// the records read.
inline double driverScan(const x9host::Plugin& plugin, const x9host::DeclarationSpec& spec,
                         std::size_t& records) {
    x9host::Declaration decl(spec);
    x9host::callDriver(plugin, decl, Open, {0x12});
    x9host::callDriver(plugin, decl, SetFirst);
    const intptr_t args[4] = {};
    records = 0;
    // The serial moves only when a call reports an error, and the first error
    // ends the scan, so one reading before the loop serves every call.
    const uint64_t serial = x9host::errorSerial();
    auto start = Clock::now();
    for (;;) {
        plugin.entry()(Next, decl.get(), args);
        if (x9host::errorSerial() != serial) break;
        ++records;
    }
    double seconds = secondsSince(start);
    x9host::releaseDeclaration(plugin, decl);
    return seconds;
}

// Seconds for `count` appends of `recordText` to a new file, with the final flush.
inline double driverAppends(const x9host::Plugin& plugin, const x9host::DeclarationSpec& spec,
                            const std::string& recordText, std::size_t count) {
    x9host::Declaration decl(spec);
    x9host::callDriver(plugin, decl, Create);
    x9host::callDriver(plugin, decl, Open, {0x12});
    decl.setRecord(recordText);
    const intptr_t args[4] = {};
    auto start = Clock::now();
    for (std::size_t i = 0; i < count; ++i) plugin.entry()(Add, decl.get(), args);
    x9host::callDriver(plugin, decl, Flush);
    double seconds = secondsSince(start);
    x9host::releaseDeclaration(plugin, decl);
    return seconds;
}

}  // namespace x9bench
