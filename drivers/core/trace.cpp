// Tracing: the settings a block reads from WIN.INI when it is made, the
// trace line appended to the trace file, and switching the trace file.
#include <cctype>
#include <cstring>

#include "block.h"
#include "options_trace.h"

namespace drv {

namespace {

constexpr std::size_t kTraceNameSize = 261;
constexpr int32_t kTokenSize = 50;

bool isAllowDetails(const char* token) {
    if (token[0] != 'A' && token[0] != 'a') return false;
    return strcasecmp(token, "ALLOWDETAILS") == 0;
}

// The walk always runs to its end, so the runtime starts the next one afresh.
bool driverStringAllowsDetails(Drv_FCB& fcb) {
    bool allowed = false;
    char token[kTokenSize] = {};
    for (;;) {
        int32_t length = kTokenSize;
        drv_NextDrvStr(&fcb, token, &length);
        if (length == 0) return allowed;
        if (isAllowDetails(token)) allowed = true;
    }
}

}  // namespace

void setUpTrace(const DriverDefinition& driver, Drv_FCB& fcb) {
    fcb.traceOn = static_cast<uint8_t>(GetProfileIntA(driver.profileSection, "Profile", 0));
    if (fcb.traceOn) {
        fcb.traceFileName = static_cast<char*>(Hrt$calloc(kTraceNameSize, 1));
        if (fcb.traceFileName) {
            GetProfileStringA(driver.profileSection, "TraceFile", driver.defaultTraceFile,
                              fcb.traceFileName, kTraceNameSize);
            if (!fcb.traceFileName[0])
                std::strncpy(fcb.traceFileName, driver.defaultTraceFile, kTraceNameSize - 1);
        }
    }
    bool details = !(fcb.attributes & kAttrDetailsRestricted) || driverStringAllowsDetails(fcb);
    if (details)
        fcb.traceDetails =
            static_cast<uint8_t>(GetProfileIntA(driver.profileSection, "Details", 0));
}

void writeTraceLine(Drv_FCB& fcb, const char* text, int32_t length) {
    if (!fcb.traceOn) return;
    int32_t handle = fcb.traceHandle;
    bool openedHere = false;
    if (handle == 0 && fcb.traceFileName) {
        if (__OsOpenFile(fcb.traceFileName, &handle, 2) != 0 &&
            __OsCreateFile(fcb.traceFileName, &handle, 0) != 0)
            handle = 0;
        openedHere = handle != 0;
    }
    if (handle == 0) return;
    uint32_t done = 0;
    __OsSeekFile(handle, 0, 2);
    if (text && length > 0) __OsWriteFile(handle, static_cast<uint32_t>(length), text, &done);
    static constexpr char kLineEnd[] = {13, 10};
    __OsWriteFile(handle, sizeof kLineEnd, kLineEnd, &done);
    if (openedHere) __OsCloseFile(handle);
}

void switchTraceFile(Drv_FCB& fcb, const char* text, int32_t length) {
    if (text && length > 0) {
        fcb.traceOn = 1;
        if (fcb.traceHandle != 0) {
            __OsCloseFile(fcb.traceHandle);
            fcb.traceHandle = 0;
        }
        fcb.traceFileName = freedText(fcb.traceFileName);
        fcb.traceFileName = drv_MakeCSTRING(text, length);
        return;
    }
    fcb.traceOn = 0;
    fcb.traceFileName = freedText(fcb.traceFileName);
}

}  // namespace drv
