// The stand-in's state, trace, activation, error, thread, clock, memory and
// module start services, and the controls tests use to steer them.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "fault_table.h"
#include "host_control.h"

namespace {

std::atomic<int32_t> checkStateAnswer{0};
std::atomic<bool> manualClock{false};
std::atomic<int32_t> manualTicks{0};
std::atomic<bool> eventsOn{false};

std::mutex logMutex;
std::vector<std::string> events;
std::vector<x9host::TraceEntry> traces;

thread_local int32_t currentError = 0;
thread_local const Drv_FileDecl* currentErrorFile = nullptr;
thread_local uint64_t errorCounter = 0;

std::atomic<int32_t> nextThreadNumber{1};
thread_local int32_t threadNumber = 0;

std::mutex moduleMutex;
std::map<void*, const HrtInitTable*> modules;

template <class MakeText>
[[gnu::noinline, gnu::cold]] void recordEvent(MakeText& make) {
    std::string event = make();
    std::lock_guard lock(logMutex);
    events.push_back(std::move(event));
}

// Takes a function making the event text, so nothing is built while the
// record is off (the benchmarks run with it off), and the recording stays
// out of line: the services drivers call on every operation stay a few
// instructions long.
template <class MakeText>
void note(MakeText&& make) {
    if (eventsOn.load(std::memory_order_relaxed)) [[unlikely]]
        recordEvent(make);
}

void note(const char* event) {
    note([&] { return std::string(event); });
}

// For the services every operation calls: the test alone stays in line, and
// the event's arguments are touched only when the record is on.
bool recording() {
    return eventsOn.load(std::memory_order_relaxed);
}
// The numbers come in registers, so the services need no stack frame for them.
[[gnu::noinline, gnu::cold]] void keepEvent(const char* name, int count = 0, int32_t first = 0,
                                            int32_t second = 0, int32_t third = 0) {
    std::string event = name;
    const int32_t numbers[] = {first, second, third};
    for (int i = 0; i < count; ++i) event += " " + std::to_string(numbers[i]);
    std::lock_guard lock(logMutex);
    events.push_back(std::move(event));
}

void runAll(void (*const* list)()) {
    for (; list && *list; ++list) (*list)();
}

}  // namespace

namespace x9host {

void detail::noteEvent(const std::string& event) {
    note([&] { return event; });
}

void setCheckStateAnswer(int32_t answer) {
    checkStateAnswer = answer;
}
void useManualClock(bool manual) {
    manualClock = manual;
    manualTicks = 0;
}
void advanceClock(int32_t hundredths) {
    manualTicks += hundredths;
}
void recordEvents(bool on) {
    eventsOn = on;
}

std::vector<std::string> takeEvents() {
    std::lock_guard lock(logMutex);
    return std::exchange(events, {});
}

std::vector<TraceEntry> takeTraceEntries() {
    std::lock_guard lock(logMutex);
    return std::exchange(traces, {});
}

int32_t errorCode() {
    return currentError;
}
const Drv_FileDecl* errorFile() {
    return currentErrorFile;
}
uint64_t errorSerial() {
    return errorCounter;
}

}  // namespace x9host

extern "C" {

// The event is noted last in the services every operation calls, so that
// nothing needs keeping across the call that notes it.
int32_t drv_check_state(Drv_FCB* fcb, Drv_KCB*, int32_t code, HrtString*) {
    // The host keeps the previous operation's code in the block for the
    // drivers' backwards reading.
    if (fcb) fcb->controlFlags |= kCtlStoreLastOp;
    if (recording()) [[unlikely]]
        keepEvent("check_state", 1, code);
    return checkStateAnswer.load();
}

void drv_update_state(Drv_FCB* fcb, Drv_KCB*, int32_t code, int32_t error, int32_t madeBlock) {
    // Only opens (25, 48) and closes (7) change the state.
    constexpr uint64_t kStateCodes = uint64_t{1} << 7 | uint64_t{1} << 25 | uint64_t{1} << 48;
    if (fcb && static_cast<uint32_t>(code) < 64 && ((kStateCodes >> code) & 1)) [[unlikely]] {
        if (code != 7 && error == 0) fcb->stateFlags |= kStateOpen;
        // A close that reports a failed final write has still released the file.
        if (code == 7 && (error == 0 || fcb->file == nullptr)) fcb->stateFlags &= ~kStateOpen;
    }
    if (recording()) [[unlikely]]
        keepEvent("update_state", 3, code, error, madeBlock);
}

void drv_TraceOp(Drv_FCB*, Drv_KCB*, const char* driver, int32_t code, int32_t error,
                 int32_t elapsed) {
    note([&] { return "TraceOp " + std::to_string(code); });
    std::lock_guard lock(logMutex);
    traces.push_back({driver ? driver : "", code, error, elapsed});
}

void Hrt$seterror(int32_t code) {
    note([&] { return "seterror " + std::to_string(code); });
    currentError = code;
    ++errorCounter;
}
void Hrt$SetErrorFile(Drv_FileDecl* declaration) {
    note("SetErrorFile");
    currentErrorFile = declaration;
}
void Hrt$clearerror() {
    note("clearerror");
    currentError = 0;
    currentErrorFile = nullptr;
}

void Hrt$activate_drv(Drv_FileDecl*, int32_t mode, int32_t, int32_t, int32_t, int32_t, int32_t) {
    note([&] { return "activate " + std::to_string(mode); });
}
void Hrt$deactivate_drv(Drv_FileDecl*) {
    note("deactivate");
}
void Hrt$ThreadedFileOpen(Drv_FileDecl*) {
    if (recording()) [[unlikely]]
        keepEvent("ThreadedFileOpen");
}
void Hrt$ThreadedFileClose(Drv_FileDecl*) {
    note("ThreadedFileClose");
}

int32_t Hrt$THREAD() {
    if (threadNumber == 0) threadNumber = nextThreadNumber++;
    return threadNumber;
}

void Hrt$DELAY(int32_t milliseconds) {
    if (manualClock) {
        manualTicks += milliseconds / 10;
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int32_t Hrt$getLogoutNumber(Drv_FileDecl*) {
    return 0;
}
void Hrt$init() {
    note("init");
}

int32_t Hrt$clock() {
    if (manualClock) return manualTicks.load();
    using namespace std::chrono;
    auto now = steady_clock::now().time_since_epoch();
    return static_cast<int32_t>(duration_cast<milliseconds>(now).count() / 10);
}

void* Hrt$calloc(size_t count, size_t size) {
    if (x9host::detail::fireArmedFault(x9host::FaultKind::alloc)) return nullptr;
    if (x9host::osFaults().allocationFloor <= count * size) {
        x9host::OsFaults faults;
        if (x9host::detail::consumeFault(&x9host::OsFaults::failingAllocations, &faults))
            return nullptr;
    }
    return std::calloc(count, size);
}

void Hrt$free(void* block) {
    std::free(block);
}

void __sysinit(const HrtInitTable* table, void* instance) {
    {
        std::lock_guard lock(moduleMutex);
        modules[instance] = table;
    }
    if (table) runAll(table->initialisers);
}

void __systerm(void* instance) {
    const HrtInitTable* table = nullptr;
    {
        std::lock_guard lock(moduleMutex);
        auto found = modules.find(instance);
        if (found == modules.end()) return;
        table = found->second;
        modules.erase(found);
    }
    if (table) runAll(table->terminators);
}

}  // extern "C"
