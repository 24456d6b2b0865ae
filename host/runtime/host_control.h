// Controls of the x9runx stand-in for tests, the driver console and the
// benchmarks: OS fault injection, the state-service answer, a manual clock,
// the record of host events and trace entries, the error state of the calling
// thread, and the remote-driver registry.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "x9runx.h"

namespace x9host {

// One table of OS faults that every __Os service consults first. A count of
// -1 means "every call from now on", 0 means off.
struct OsFaults {
    int32_t shortWrites = 0;  // writes that transfer only shortWriteBytes
    uint32_t shortWriteBytes = 0;
    int32_t failingReads = 0;  // reads that fail with readError
    int32_t readError = kOsAccessDenied;
    int32_t failingSeeks = 0;  // seeks that fail with seekError
    int32_t seekError = kOsAccessDenied;
    int32_t failingLocks = 0;  // lock attempts that fail with lockError
    int32_t lockError = kOsLockViolation;
    int32_t failingTruncates = 0;
    int32_t failingAllocations = 0;   // Hrt$calloc answers null for blocks...
    std::size_t allocationFloor = 0;  // ...of at least this many bytes
};

void setOsFaults(const OsFaults& faults);
void clearOsFaults();
OsFaults osFaults();

// One-shot faults, for sweeps that fail every OS call in turn: armFault makes
// the nth call of the kind, counted from now, fail once. write: nothing
// written, error 5; shortWrite: only `bytes` bytes written; read, seek,
// truncate: error 5; lock: held elsewhere (32); alloc: Hrt$calloc answers
// null. One fault per kind is armed at a time; arming a kind again replaces
// it. Independent of the OsFaults table.
enum class FaultKind { write, shortWrite, read, seek, truncate, lock, alloc };
inline constexpr int kFaultKinds = 7;
// The kind's name as x9rec spells it ("write", "shortwrite", ...).
const char* faultKindName(FaultKind kind);
bool faultKindNamed(std::string_view name, FaultKind& kind);
void armFault(FaultKind kind, uint32_t nth, uint32_t bytes = 0);
void disarmFaults();
// Armed faults that have fired since the process started.
uint64_t faultsFired();

// OS calls made through the stand-in since the last reset, for benchmarks.
struct OsCallCounts {
    uint64_t reads = 0;
    uint64_t writes = 0;
    uint64_t seeks = 0;
};
OsCallCounts osCallCounts();
void resetOsCallCounts();

// What drv_check_state answers (0 runs the operation).
void setCheckStateAnswer(int32_t answer);

// Manual clock: Hrt$clock answers the set value and Hrt$DELAY advances it
// instead of sleeping.
void useManualClock(bool manual);
void advanceClock(int32_t hundredths);

// Host events in call order ("ThreadedFileOpen", "check_state 24", ...),
// recorded only while enabled.
void recordEvents(bool on);
std::vector<std::string> takeEvents();

struct TraceEntry {
    std::string driver;
    int32_t code;
    int32_t error;
    int32_t elapsed;
};
std::vector<TraceEntry> takeTraceEntries();

// The calling thread's error state.
int32_t errorCode();
const Drv_FileDecl* errorFile();
// Counts Hrt$seterror calls on this thread; the application side uses it to
// tell the error of one operation.
uint64_t errorSerial();

// Number of strings on the calling thread's string stack.
std::size_t stringStackDepth();
void dropStrings(std::size_t keep);
// Pops the top string as the driver side does (empty when there is none).
std::string popString();

// Remote-driver registry. A remote file answers CallRemoteFile with the code
// and its numeric arguments; string arguments are passed as text.
struct RemoteCall {
    int32_t code;
    std::vector<intptr_t> numbers;
    std::string text;
};
using RemoteHandler = std::function<int32_t(const RemoteCall&)>;
void registerRemoteDriver(const std::string& driver, const std::string& target,
                          RemoteHandler handler);
void clearRemoteDrivers();
int32_t remoteFilesAlive();

}  // namespace x9host
