// Class descriptors (the host's record descriptions) and the record services
// built on them: clearing a record and converting its text fields between the
// OEM and ANSI character sets.
#include <cstdlib>
#include <cstring>

#include "x9runx.h"

namespace {

char* heapText(const std::string& text) {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

int32_t readInt(const uint8_t* raw, std::size_t at) {
    int32_t value;
    std::memcpy(&value, raw + at, sizeof value);
    return value;
}

int32_t fieldBytes(const uint8_t* raw) {
    int32_t count = 1;
    for (int d = 0; d < static_cast<int8_t>(raw[fd::kDimensionCount]); ++d)
        count *= readInt(raw, fd::kDimensions + 4 * static_cast<std::size_t>(d));
    return count * readInt(raw, fd::kElementSize);
}

bool isTextType(uint8_t type) {
    return type == 18 || type == 19 || type == 20;
}

// The few characters the stand-in converts: German letters, which sit at
// different codes in the OEM (437) and ANSI (1252) sets.
constexpr uint8_t kOemAnsiPairs[][2] = {
    {0x84, 0xE4}, {0x94, 0xF6}, {0x81, 0xFC}, {0x8E, 0xC4},
    {0x99, 0xD6}, {0x9A, 0xDC}, {0xE1, 0xDF},
};

void convertTextFields(void* buffer, void* descriptor, int from, int to) {
    const auto* record = static_cast<const class_descriptor*>(descriptor);
    if (!buffer || !record) return;
    auto* bytes = static_cast<uint8_t*>(buffer);
    for (int32_t i = 1; i <= record->NFields(); ++i) {
        const uint8_t* raw = record->FieldDesc(i);
        if (!isTextType(raw[fd::kType])) continue;
        int32_t offset = readInt(raw, fd::kOffset);
        int32_t size = fieldBytes(raw);
        for (int32_t k = 0; k < size; ++k) {
            for (const auto& pair : kOemAnsiPairs) {
                if (bytes[offset + k] == pair[from]) {
                    bytes[offset + k] = pair[to];
                    break;
                }
            }
        }
    }
}

}  // namespace

const uint8_t* class_descriptor::FieldDesc(int32_t number) const {
    if (number < 0 || number > NFields()) return nullptr;
    return fields_[static_cast<std::size_t>(number)].raw;
}

char* class_descriptor::FIELDNAME(int32_t number) const {
    return FieldDesc(number) ? heapText(fields_[static_cast<std::size_t>(number)].name) : nullptr;
}

char* class_descriptor::FIELDLABEL(int32_t number) const {
    return FieldDesc(number) ? heapText(fields_[static_cast<std::size_t>(number)].label) : nullptr;
}

char* class_descriptor::FIELDCOMMENT(int32_t number) const {
    if (!FieldDesc(number) || fields_[static_cast<std::size_t>(number)].comment.empty())
        return nullptr;
    return heapText(fields_[static_cast<std::size_t>(number)].comment);
}

int32_t class_descriptor::recordLength() const {
    if (fields_.empty()) return 0;
    return readInt(fields_[0].raw, fd::kElementSize);
}

ClassDesc::ClassDesc(void* descriptor, int32_t)
    : descriptor_(static_cast<const class_descriptor*>(descriptor)) {}
ClassDesc::~ClassDesc() = default;
int32_t ClassDesc::NFields() const {
    return descriptor_ ? descriptor_->NFields() : 0;
}
const uint8_t* ClassDesc::FieldDesc(int32_t n) const {
    return descriptor_ ? descriptor_->FieldDesc(n) : nullptr;
}
char* ClassDesc::FIELDNAME(int32_t n) const {
    return descriptor_ ? descriptor_->FIELDNAME(n) : nullptr;
}
char* ClassDesc::FIELDLABEL(int32_t n) const {
    return descriptor_ ? descriptor_->FIELDLABEL(n) : nullptr;
}
char* ClassDesc::FIELDCOMMENT(int32_t n) const {
    return descriptor_ ? descriptor_->FIELDCOMMENT(n) : nullptr;
}

extern "C" {

// Fill 0 blanks the text fields and zeroes everything else, so a record read
// short keeps blanks in its text tail; any other fill goes into every byte.
void Hrt$CLEAR(void* buffer, void* descriptor, int32_t fill) {
    const auto* record = static_cast<const class_descriptor*>(descriptor);
    if (!buffer || !record) return;
    auto* bytes = static_cast<uint8_t*>(buffer);
    std::memset(bytes, fill, static_cast<std::size_t>(record->recordLength()));
    if (fill != 0) return;
    for (int32_t i = 1; i <= record->NFields(); ++i) {
        const uint8_t* raw = record->FieldDesc(i);
        if (!isTextType(raw[fd::kType])) continue;
        std::memset(bytes + readInt(raw, fd::kOffset), ' ',
                    static_cast<std::size_t>(fieldBytes(raw)));
    }
}

void Hrt$OEMTOANSIdesc(void* buffer, void* descriptor) {
    convertTextFields(buffer, descriptor, 0, 1);
}

void Hrt$ANSITOOEMdesc(void* buffer, void* descriptor) {
    convertTextFields(buffer, descriptor, 1, 0);
}

const char* drv_GetTypeName(int32_t type) {
    switch (type) {
        case 1:
            return "BYTE";
        case 2:
            return "SHORT";
        case 3:
            return "USHORT";
        case 4:
            return "LONG";
        case 5:
            return "ULONG";
        case 6:
            return "SINGLE";
        case 7:
            return "DOUBLE";
        case 8:
            return "DATE";
        case 9:
            return "TIME";
        case 10:
            return "DECIMAL";
        case 11:
            return "PACKED";
        case 13:
            return "FLOAT4";
        case 14:
            return "FLOAT8";
        case 18:
            return "STRING";
        case 19:
            return "CSTRING";
        case 20:
            return "PSTRING";
        case 22:
            return "GROUP";
        case 24:
            return "BOOL";
        default:
            return "";
    }
}

}  // extern "C"
