// The text plug-in X9ASCX: its registration record Asc$DrvReg and its entry
// ASCII, the only two symbols it exports, and its module start and end.
#include "text_fcb.h"
#include "text_records.h"

#define X9_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Operation codes, then field type codes, each list led by its count.
// clang-format off
constexpr uint8_t kOperationList[] = {
    34, 1, 51, 4, 59, 52, 14, 7, 9, 10, 13, 29, 53, 16, 72, 20, 21, 23, 24, 25, 27, 61,
    30, 54, 55, 66, 37, 38, 63, 60, 41, 43, 71, 48, 50,
    2, 18, 22,
};
// clang-format on
static_assert(sizeof kOperationList == 1 + 34 + 1 + 2);

ascii::TextRecords textRecords;

}  // namespace

X9_EXPORT int32_t ASCII(int32_t code, Drv_FileDecl* declaration, const intptr_t* args);

X9_EXPORT const DrvReg Asc$DrvReg = {
    "ASCII",
    "X9ASC.DLL",
    "X9 flat-file drivers for x9runx",
    "ASCII (Text)",
    ASCII,
    {0x01, 0x00, 0x80, 0x00, 0x00, 0xFF, 0xFE, 0xFE, 0xFE, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0x7F, 0xFE,
     0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0,    0,    0,    0,    0,    0,    0,    0},
    static_cast<int32_t>(sizeof(FieldDesc50)),
    static_cast<int32_t>(sizeof(Drv_KCB)),
    24,
    static_cast<int32_t>(ascii::kTextFcbSize),
    {},
    kOperationList,
    "X9ASCS.DLL",
};

namespace {

const drv::DriverDefinition kDefinition{&Asc$DrvReg, "KWASCII", "ASCII.LOG", &textRecords,
                                        ascii::readNextLine};

void (*const kInitialisers[])() = {drv::startModule, nullptr};
void (*const kTerminators[])() = {drv::endModule, nullptr};
const HrtInitTable kInitTable{kInitialisers, kTerminators};

__attribute__((constructor)) void attachModule() {
    __sysinit(&kInitTable, const_cast<DrvReg*>(&Asc$DrvReg));
}
__attribute__((destructor)) void detachModule() {
    __systerm(const_cast<DrvReg*>(&Asc$DrvReg));
}

}  // namespace

X9_EXPORT int32_t ASCII(int32_t code, Drv_FileDecl* declaration, const intptr_t* args) {
    return drv::runEntry(kDefinition, code, declaration, args);
}
