#include "text_options.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "options_trace.h"
#include "text_fcb.h"

namespace ascii {

namespace {

constexpr std::string_view kEndOfRecord = "ENDOFRECORD";
constexpr std::string_view kCtrlZIsEof = "CTRLZISEOF";
constexpr std::string_view kClip = "CLIP";
constexpr std::string_view kTabOption = "TAB";
constexpr uint8_t kDefaultTerminator[] = {0x0D, 0x0A};
constexpr int32_t kDefaultTabSize = 8;

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// The value after "KEYWORD=", or nothing when no '=' follows the keyword.
bool valueOf(const std::string& option, std::string_view keyword, std::string_view& value) {
    if (option.size() <= keyword.size() || option[keyword.size()] != '=') return false;
    value = std::string_view(option).substr(keyword.size() + 1);
    return true;
}

// Digits from the start of text, as far as they go; held below 2^32 so a
// long run cannot wrap round to a small count.
uint64_t leadingNumber(std::string_view text, std::size_t& used) {
    uint64_t number = 0;
    used = 0;
    while (used < text.size() && isDigit(text[used])) {
        number = std::min<uint64_t>(number * 10 + static_cast<uint64_t>(text[used] - '0'),
                                    uint64_t{1} << 32);
        ++used;
    }
    return number;
}

bool replaceTerminator(Drv_FCB& fcb, const std::vector<uint8_t>& bytes) {
    auto* array = static_cast<uint8_t*>(Hrt$calloc(bytes.size(), 1));
    if (!array) return false;
    std::memcpy(array, bytes.data(), bytes.size());
    TextTail& tail = textTail(fcb);
    Hrt$free(tail.endOfRecord);
    tail.endOfRecord = array;
    tail.endOfRecordLength = static_cast<uint32_t>(bytes.size());
    return true;
}

// "n,c1,...,cn": a count of 0, or fewer codes than the count, leaves the
// terminator as it was, since the scan needs at least one byte and the codes
// must all be there.
void setTerminator(Drv_FCB& fcb, std::string_view value) {
    std::size_t start = 0;
    while (start < value.size() && !isDigit(value[start])) ++start;
    if (start == value.size()) return;
    std::size_t used = 0;
    uint64_t count = leadingNumber(value.substr(start), used);
    std::size_t at = start + used;
    std::vector<uint8_t> bytes;
    for (uint64_t i = 0; i < count; ++i) {
        std::size_t comma = value.find(',', at);
        if (comma == std::string_view::npos) return;
        at = comma + 1;
        while (at < value.size() && value[at] == ' ') ++at;  // as atoi reads a code
        bytes.push_back(static_cast<uint8_t>(leadingNumber(value.substr(at), used)));
        at += used;
    }
    if (bytes.empty()) return;
    replaceTerminator(fcb, bytes);
}

void endOfRecordOption(Drv_FCB& fcb, const std::string& option, std::string& answer) {
    TextTail& tail = textTail(fcb);
    if (tail.endOfRecord && tail.endOfRecordLength > 0)
        answer.assign(reinterpret_cast<const char*>(tail.endOfRecord), tail.endOfRecordLength);
    if (std::string_view value; valueOf(option, kEndOfRecord, value)) setTerminator(fcb, value);
}

void ctrlZOption(Drv_FCB& fcb, const std::string& option, std::string& answer) {
    answer = ctrlZIsData(fcb) ? "OFF" : "ON";
    std::string_view value;
    if (!valueOf(option, kCtrlZIsEof, value)) return;
    if (value.starts_with("OFF"))
        fcb.driverFlags |= kFlagCtrlZIsData;
    else
        fcb.driverFlags &= static_cast<uint8_t>(~kFlagCtrlZIsData);
}

void clipOption(Drv_FCB& fcb, const std::string& option, std::string& answer) {
    TextTail& tail = textTail(fcb);
    answer = tail.clip == 1 ? "ON" : "OFF";
    std::string_view value;
    if (!valueOf(option, kClip, value)) return;
    if (value.starts_with("ON"))
        tail.clip = 1;
    else if (value.starts_with("OFF"))
        tail.clip = 0;
}

// A signed number read as far as it has digits; no digits give 0, and
// values beyond 32 bits are held at the nearest end.
int32_t signedNumber(std::string_view text) {
    bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    std::size_t used = 0;
    auto magnitude = static_cast<int64_t>(leadingNumber(text, used));
    int64_t number = negative ? -magnitude : magnitude;
    return static_cast<int32_t>(std::clamp<int64_t>(number, INT32_MIN, INT32_MAX));
}

void tabOption(Drv_FCB& fcb, const std::string& option, std::string& answer) {
    TextTail& tail = textTail(fcb);
    answer = std::to_string(tail.tabSize);
    std::string_view value;
    if (!valueOf(option, kTabOption, value)) return;
    std::size_t start = value.find_first_of("-0123456789");
    if (start == std::string_view::npos) return;
    tail.tabSize = signedNumber(value.substr(start));
    tail.tabSet = 1;
}

}  // namespace

void applyTextOption(Drv_FCB& fcb, const std::string& option, std::string& answer) {
    answer.clear();
    if (option.empty()) return;
    switch (option[0]) {
        case 'F':
        case 'Q':
            drv::applyCoreOption(fcb, option, answer);
            break;
        case 'E':
            if (option.starts_with(kEndOfRecord)) endOfRecordOption(fcb, option, answer);
            break;
        case 'C':
            if (option.starts_with(kCtrlZIsEof))
                ctrlZOption(fcb, option, answer);
            else if (option.starts_with(kClip))
                clipOption(fcb, option, answer);
            break;
        case 'T':
            if (option.starts_with(kTabOption)) tabOption(fcb, option, answer);
            break;
        default:
            break;
    }
}

int32_t setTextDefaults(Drv_FCB& fcb) {
    TextTail& tail = textTail(fcb);
    tail.clip = 1;
    tail.tabSize = kDefaultTabSize;
    fcb.driverFlags &= static_cast<uint8_t>(~kFlagCtrlZIsData);
    std::vector<uint8_t> terminator(std::begin(kDefaultTerminator), std::end(kDefaultTerminator));
    return replaceTerminator(fcb, terminator) ? 0 : 8;
}

}  // namespace ascii
