// What both driver benchmarks time: a Next scan and a run of appends through a
// plug-in's entry, called as the host calls it, without the console's
// bookkeeping around each call.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "driver_call.h"
#include "drv_op.h"
#include "host_control.h"

namespace x9bench {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Every figure is the fastest of a few runs, baselines and drivers alike: on a
// shared machine one run can lose half its time to a neighbour, and the
// fastest run is the one that shows what the code costs.
constexpr int kRounds = 5;

template <class Run>
double fastestOf(Run&& run) {
    double best = run();
    for (int round = 1; round < kRounds; ++round) best = std::min(best, run());
    return best;
}

// A declaration of one text field of `recordLength` bytes over `path`.
inline x9host::DeclarationSpec specFor(const std::string& path, const std::string& driver,
                                       std::size_t recordLength) {
    x9host::DeclarationSpec spec;
    spec.fileName = path;
    spec.fields = *x9host::parseFieldList("18:" + std::to_string(recordLength));
    spec.driverString = driver;
    spec.attributes = kDeclCreateAllowed;
    return spec;
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
    auto start = Clock::now();
    for (;;) {
        uint64_t serial = x9host::errorSerial();
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
