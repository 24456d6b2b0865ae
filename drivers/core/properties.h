// Property queries and changes: GetProperty (72) and SetProperty (71) for
// the file (index 0), its fields (positive index) and its large fields
// (negative index), and GetKeyProperty (86) for a key's components. Answers
// are texts: numbers in decimal, flags "1" or empty, texts as they are.
#pragma once

#include "driver_core.h"

namespace drv {

#pragma pack(push, 1)
// The host's large-field descriptor (24 bytes in the 32-bit build).
struct LargeFieldDesc {
    char* name;
    char* label;
    uint8_t* contents;
    int32_t size;
    int32_t flags;  // bit1 reported by 29473; bit2 hides the field from negative indexes
    int32_t reserved;
};

// One component of a key: its field and a value (8 bytes in the 32-bit build).
struct KeyComponent {
    FieldDesc50* field;
    int32_t value;
};
#pragma pack(pop)

#if X9_ABI_32
static_assert(sizeof(LargeFieldDesc) == 24);
static_assert(offsetof(LargeFieldDesc, contents) == 8);
static_assert(offsetof(LargeFieldDesc, size) == 12);
static_assert(offsetof(LargeFieldDesc, flags) == 16);
static_assert(sizeof(KeyComponent) == 8);
#endif

inline constexpr int32_t kLargeFieldReported = 0x2;
inline constexpr int32_t kLargeFieldHidden = 0x4;

// The property code a popped string carries (decimal text, as atoi reads it).
int32_t propertyCode(const HrtString& text);

void getProperty(const DriverDefinition& driver, Operation& op);
// Every set but 29510, which is the redirection switch.
void setProperty(const DriverDefinition& driver, Operation& op);
void getKeyProperty(Operation& op);

// Whether the registration's operation list names the code, or its type
// list the field type.
bool offersOperation(const DrvReg& registration, int32_t code);
bool offersFieldType(const DrvReg& registration, int32_t type);

}  // namespace drv
