// The core's option step: FILEBUFFERS sizes the cache window in 512-byte
// units, QUICKSCAN switches the window on or off; both answer the current
// value and never fail.
#include <cctype>
#include <cstring>

#include "block.h"
#include "file_steps.h"
#include "options_trace.h"

namespace drv {

namespace {

constexpr std::string_view kFileBuffers = "FILEBUFFERS";
constexpr std::string_view kQuickScan = "QUICKSCAN";
constexpr uint64_t kMaxUnits = 0x7FFFFF;
constexpr uint32_t kHugeBuffer = 0xFFFFFFDF;

bool caching(const Drv_FCB& fcb) {
    return fcb.driverFlags & kFlagCaching;
}

void setFileBuffers(Drv_FCB& fcb, const std::string& option, std::string& answer) {
    answer = std::to_string(fcb.bufferSize);
    if (option.size() <= kFileBuffers.size() || option[kFileBuffers.size()] != '=') return;
    std::size_t at = option.find_first_of("0123456789", kFileBuffers.size() + 1);
    if (at == std::string::npos) return;
    uint64_t units = 0;
    for (; at < option.size() && std::isdigit(static_cast<unsigned char>(option[at])); ++at)
        units =
            std::min<uint64_t>(units * 10 + static_cast<uint64_t>(option[at] - '0'), kMaxUnits + 1);
    uint32_t size = units <= kMaxUnits ? static_cast<uint32_t>(units * 512) : kHugeBuffer;
    int32_t recordLength = fcb.recordLength;
    size = std::max(size, static_cast<uint32_t>(std::max(recordLength, 0)));
    // A window of no bytes cannot hold a record; a buffer that cannot be had
    // leaves the old one. Both answer as a query does.
    if (size == 0) return;
    // So does a window that cannot be written out before it shrinks: it is
    // kept whole for a later flush.
    auto* buffer = static_cast<uint8_t*>(Hrt$calloc(size, 1));
    if (!buffer) return;
    if (fileOf(fcb).setBuffer(caching(fcb) ? 0 : 1, buffer, size) != buffer) {
        Hrt$free(buffer);
        return;
    }
    Hrt$free(fcb.buffer);
    fcb.buffer = buffer;
    fcb.bufferSize = size;
}

void setQuickScan(Drv_FCB& fcb, const std::string& option, std::string& answer) {
    answer = caching(fcb) ? "ON" : "OFF";
    if (option.size() <= kQuickScan.size() || option[kQuickScan.size()] != '=') return;
    std::string_view value = std::string_view(option).substr(kQuickScan.size() + 1);
    if (value.starts_with("ON")) {
        if (caching(fcb)) return;
        fcb.driverFlags |= kFlagCaching;
        fileOf(fcb).setBuffer(0, fcb.buffer, fcb.bufferSize);
    } else if (value.starts_with("OFF")) {
        if (!caching(fcb)) return;
        // A window that cannot be written keeps caching on until it is.
        BufferedFile& file = fileOf(fcb);
        file.setBuffer(1, fcb.buffer, fcb.bufferSize);
        if (!file.caching()) fcb.driverFlags &= static_cast<uint8_t>(~kFlagCaching);
    }
}

}  // namespace

bool applyCoreOption(Drv_FCB& fcb, const std::string& option, std::string& answer) {
    answer.clear();
    if (option.starts_with(kFileBuffers)) {
        setFileBuffers(fcb, option, answer);
        return true;
    }
    if (option.starts_with(kQuickScan)) {
        setQuickScan(fcb, option, answer);
        return true;
    }
    return false;
}

void applyDriverString(const DriverDefinition& driver, Drv_FCB& fcb) {
    if (!fcb.driverOptions) return;
    std::string answer;
    for (const char* slash = std::strchr(fcb.driverOptions, '/'); slash;
         slash = std::strchr(slash + 1, '/')) {
        std::string option(slash + 1);
        drv_Strup(option.data());
        driver.layer->applyOption(fcb, option, answer);
    }
}

}  // namespace drv
