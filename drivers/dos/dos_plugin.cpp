// The binary plug-in X9DOSX: its registration record Dos$DrvReg and its entry
// DOS, the only two symbols it exports, and its module start and end.
#include "binary_records.h"

#define X9_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Operation codes, then field type codes, each list led by its count.
constexpr uint8_t kOperationList[] = {
    36, 1,  51, 4,  59, 52, 14, 7,  9,  10, 13, 29, 53, 16, 72, 20, 21, 23, 24,
    25, 27, 61, 31, 30, 54, 55, 32, 66, 37, 38, 63, 60, 41, 43, 71, 48, 50, 18,
    1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 13, 14, 18, 19, 20, 22, 24,
};
static_assert(sizeof kOperationList == 1 + 36 + 1 + 18);

dos::BinaryRecords binaryRecords;

}  // namespace

X9_EXPORT int32_t DOS(int32_t code, Drv_FileDecl* declaration, const intptr_t* args);

X9_EXPORT const DrvReg Dos$DrvReg = {
    "DOS",
    "X9DOS.DLL",
    "X9 flat-file drivers for x9runx",
    "DOS (Binary)",
    DOS,
    {0x01, 0x00, 0x80, 0x00, 0x00, 0xFF, 0xFE, 0xFE, 0xFE, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0x7F, 0xFE,
     0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0,    0,    0,    0,    0,    0,    0,    0},
    static_cast<int32_t>(sizeof(FieldDesc50)),
    static_cast<int32_t>(sizeof(Drv_KCB)),
    24,
    static_cast<int32_t>(sizeof(Drv_FCB)),
    {},
    kOperationList,
    "X9DOSS.DLL",
};

namespace {

const drv::DriverDefinition kDefinition{&Dos$DrvReg, "KWDOS", "DOS.LOG", &binaryRecords,
                                        dos::readNext};

void (*const kInitialisers[])() = {drv::startModule, nullptr};
void (*const kTerminators[])() = {drv::endModule, nullptr};
const HrtInitTable kInitTable{kInitialisers, kTerminators};

__attribute__((constructor)) void attachModule() {
    __sysinit(&kInitTable, const_cast<DrvReg*>(&Dos$DrvReg));
}
__attribute__((destructor)) void detachModule() {
    __systerm(const_cast<DrvReg*>(&Dos$DrvReg));
}

}  // namespace

X9_EXPORT int32_t DOS(int32_t code, Drv_FileDecl* declaration, const intptr_t* args) {
    return drv::runEntry(kDefinition, code, declaration, args);
}
