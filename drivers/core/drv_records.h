// Records the driver plug-ins share with the host runtime: the registration
// record (DrvReg), the file declaration (Drv_FileDecl), the per-file control
// block (Drv_FCB), the key records and the field descriptor (FieldDesc50).
// All are packed little-endian records; the 32-bit build checks every offset
// against the host's layout, the 64-bit build keeps the order with 8-byte
// addresses.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__i386__)
#define X9_ABI_32 1
#else
#define X9_ABI_32 0
#endif

struct Drv_FileDecl;
struct Drv_FCB;
struct Drv_KCB;

// The entry every plug-in exports: operation code, declaration, extra arguments.
using DrvEntry = int32_t (*)(int32_t code, Drv_FileDecl* declaration, const intptr_t* args);

#pragma pack(push, 1)

struct DrvReg {
    char driverName[21];
    char fileName[13];
    char notice[41];
    char description[31];
    DrvEntry entry;
    uint8_t attributes[32];
    int32_t fieldDescSize;
    int32_t keyBlockSize;
    int32_t largeFieldDescSize;
    int32_t fcbSize;
    uint8_t zero[12];
    const uint8_t* operationList;
    char secondFileName[13];
};

struct Drv_FileDecl {
    int32_t hostWord;
    const char* nameText;
    int32_t nameLength;  // -1 zero-terminated, -2 first byte is the length
    const char* driverText;
    int32_t driverLength;
    const char* ownerText;
    int32_t ownerLength;
    uint8_t attributes;
    uint8_t firstItemCount;
    uint8_t secondItemCount;
    int32_t recordLength;
    void* classDescriptor;
    void* firstItemList;
    void* secondItemList;
    uint8_t* recordBuffer;
    Drv_FCB* fcb;
    uint8_t hostByte;
    uint8_t redirected;  // bit0: the file is handed to a remote driver
};

// Declaration attribute bits.
inline constexpr uint8_t kDeclDetailsRestricted = 0x02;
inline constexpr uint8_t kDeclCreateAllowed = 0x04;
inline constexpr uint8_t kDeclPerThread = 0x10;
inline constexpr uint8_t kDeclOem = 0x20;

struct Drv_KCB {
    int32_t hostWord;
    const char* name;
    const char* secondText;
    void* components;
    int32_t number;
    uint8_t flags;
    uint8_t host[8];
    int32_t value29;
};

struct Drv_KeyDecl {
    uint8_t host[16];
    Drv_KCB* kcb;
};

struct FieldDesc50 {
    uint8_t type;
    int32_t offset;
    char* name;
    char* label;
    char* text100;
    int32_t groups;
    int32_t elementCount;
    int32_t size;
    int32_t overlay;
    int32_t firstOverlaid;
    int32_t fieldNumber;
    uint8_t noComment;
    // Types 10/11: places at byte 0 and element size at byte 1;
    // types 18/19/20: characters per element as a 32-bit value.
    union {
        struct {
            uint8_t places;
            uint8_t elementSize;
        } decimal;
        int32_t charsPerElement;
    } extra;
    char* text298;
};

class BufferedFile;

struct Drv_FCB {
    char* fileName;
    char* fileLabel;
    char* owner;
    char* driverOptions;
    uint8_t attributes;  // declaration bits shifted down by one
    uint8_t* recordBuffer;
    int32_t recordLength;
    void* largeFieldTable;
    int32_t largeFieldCount;
    void* keyTable;
    int32_t keyCount;
    FieldDesc50* fieldTable;
    int32_t fieldCount;
    int32_t openMode;
    int32_t lastOperation;
    int32_t controlFlags;
    int32_t stateFlags;
    int32_t changedStrings;
    int32_t lastError;
    uint8_t traceOn;
    uint8_t traceDetails;
    char* traceFileName;
    int32_t traceHandle;
    uint8_t host83[4];
    Drv_KCB* hostKey;
    uint8_t host91[8];
    int16_t value99;
    int16_t value101;
    uint8_t host103;
    char* redirectTarget;
    const DrvReg* registration;
    Drv_FileDecl* declaration;
    Drv_KCB* currentKey;
    // From here the block belongs to the driver.
    uint8_t driverFlags;
    uint8_t lockDepth;
    BufferedFile* file;
    uint32_t currentPosition;
    uint32_t lastTransfer;
    uint32_t fileSize;
    uint32_t nextPosition;
    uint32_t bufferSize;
    uint8_t* buffer;
    // Binary driver's tail; the text driver lays its own fields over it.
    uint8_t* oemBuffer;
    uint8_t* blankRecord;
};

#pragma pack(pop)

// Where a driver's own tail starts; the text driver's block continues from here.
inline constexpr std::size_t kDrvFcbTailOffset = offsetof(Drv_FCB, oemBuffer);

// Drv_FCB attribute bits (declaration bits shifted down by one).
inline constexpr uint8_t kAttrDetailsRestricted = 0x01;
inline constexpr uint8_t kAttrCreateAllowed = 0x02;
inline constexpr uint8_t kAttrPerThread = 0x08;
inline constexpr uint8_t kAttrOem = 0x10;

// controlFlags bits.
inline constexpr int32_t kCtlClearError = 0x1;
inline constexpr int32_t kCtlDiscard = 0x2;
inline constexpr int32_t kCtlStoreLastOp = 0x4;

// stateFlags bits.
inline constexpr int32_t kStateOpen = 0x1;
inline constexpr int32_t kStateReportTransfer = 0x2;
inline constexpr int32_t kStateForWriting = 0x40;
inline constexpr int32_t kStateDenyMode = 0x80;
inline constexpr int32_t kStateLive = 0x10000;

// driverFlags bits.
inline constexpr uint8_t kFlagCurrent = 0x01;
inline constexpr uint8_t kFlagShared = 0x02;
inline constexpr uint8_t kFlagReadOnly = 0x04;
inline constexpr uint8_t kFlagCaching = 0x08;

#if X9_ABI_32
static_assert(sizeof(void*) == 4);
static_assert(offsetof(DrvReg, driverName) == 0x00);
static_assert(offsetof(DrvReg, fileName) == 0x15);
static_assert(offsetof(DrvReg, notice) == 0x22);
static_assert(offsetof(DrvReg, description) == 0x4B);
static_assert(offsetof(DrvReg, entry) == 0x6A);
static_assert(offsetof(DrvReg, attributes) == 0x6E);
static_assert(offsetof(DrvReg, fieldDescSize) == 0x8E);
static_assert(offsetof(DrvReg, keyBlockSize) == 0x92);
static_assert(offsetof(DrvReg, largeFieldDescSize) == 0x96);
static_assert(offsetof(DrvReg, fcbSize) == 0x9A);
static_assert(offsetof(DrvReg, zero) == 0x9E);
static_assert(offsetof(DrvReg, operationList) == 0xAA);
static_assert(offsetof(DrvReg, secondFileName) == 0xAE);
static_assert(sizeof(DrvReg) == 0xBB);

static_assert(offsetof(Drv_FileDecl, nameText) == 4);
static_assert(offsetof(Drv_FileDecl, nameLength) == 8);
static_assert(offsetof(Drv_FileDecl, driverText) == 12);
static_assert(offsetof(Drv_FileDecl, driverLength) == 16);
static_assert(offsetof(Drv_FileDecl, ownerText) == 20);
static_assert(offsetof(Drv_FileDecl, ownerLength) == 24);
static_assert(offsetof(Drv_FileDecl, attributes) == 28);
static_assert(offsetof(Drv_FileDecl, firstItemCount) == 29);
static_assert(offsetof(Drv_FileDecl, secondItemCount) == 30);
static_assert(offsetof(Drv_FileDecl, recordLength) == 31);
static_assert(offsetof(Drv_FileDecl, classDescriptor) == 35);
static_assert(offsetof(Drv_FileDecl, firstItemList) == 39);
static_assert(offsetof(Drv_FileDecl, secondItemList) == 43);
static_assert(offsetof(Drv_FileDecl, recordBuffer) == 47);
static_assert(offsetof(Drv_FileDecl, fcb) == 51);
static_assert(offsetof(Drv_FileDecl, redirected) == 56);

static_assert(offsetof(Drv_KCB, name) == 4);
static_assert(offsetof(Drv_KCB, secondText) == 8);
static_assert(offsetof(Drv_KCB, components) == 12);
static_assert(offsetof(Drv_KCB, number) == 16);
static_assert(offsetof(Drv_KCB, flags) == 20);
static_assert(offsetof(Drv_KCB, value29) == 29);
static_assert(sizeof(Drv_KCB) == 33);
static_assert(offsetof(Drv_KeyDecl, kcb) == 16);

static_assert(offsetof(FieldDesc50, type) == 0);
static_assert(offsetof(FieldDesc50, offset) == 1);
static_assert(offsetof(FieldDesc50, name) == 5);
static_assert(offsetof(FieldDesc50, label) == 9);
static_assert(offsetof(FieldDesc50, text100) == 13);
static_assert(offsetof(FieldDesc50, groups) == 17);
static_assert(offsetof(FieldDesc50, elementCount) == 21);
static_assert(offsetof(FieldDesc50, size) == 25);
static_assert(offsetof(FieldDesc50, overlay) == 29);
static_assert(offsetof(FieldDesc50, firstOverlaid) == 33);
static_assert(offsetof(FieldDesc50, fieldNumber) == 37);
static_assert(offsetof(FieldDesc50, noComment) == 41);
static_assert(offsetof(FieldDesc50, extra) == 42);
static_assert(offsetof(FieldDesc50, extra.decimal.elementSize) == 43);
static_assert(offsetof(FieldDesc50, text298) == 46);
static_assert(sizeof(FieldDesc50) == 50);

static_assert(offsetof(Drv_FCB, fileName) == 0);
static_assert(offsetof(Drv_FCB, fileLabel) == 4);
static_assert(offsetof(Drv_FCB, owner) == 8);
static_assert(offsetof(Drv_FCB, driverOptions) == 12);
static_assert(offsetof(Drv_FCB, attributes) == 16);
static_assert(offsetof(Drv_FCB, recordBuffer) == 17);
static_assert(offsetof(Drv_FCB, recordLength) == 21);
static_assert(offsetof(Drv_FCB, largeFieldTable) == 25);
static_assert(offsetof(Drv_FCB, largeFieldCount) == 29);
static_assert(offsetof(Drv_FCB, keyTable) == 33);
static_assert(offsetof(Drv_FCB, keyCount) == 37);
static_assert(offsetof(Drv_FCB, fieldTable) == 41);
static_assert(offsetof(Drv_FCB, fieldCount) == 45);
static_assert(offsetof(Drv_FCB, openMode) == 49);
static_assert(offsetof(Drv_FCB, lastOperation) == 53);
static_assert(offsetof(Drv_FCB, controlFlags) == 57);
static_assert(offsetof(Drv_FCB, stateFlags) == 61);
static_assert(offsetof(Drv_FCB, changedStrings) == 65);
static_assert(offsetof(Drv_FCB, lastError) == 69);
static_assert(offsetof(Drv_FCB, traceOn) == 73);
static_assert(offsetof(Drv_FCB, traceDetails) == 74);
static_assert(offsetof(Drv_FCB, traceFileName) == 75);
static_assert(offsetof(Drv_FCB, traceHandle) == 79);
static_assert(offsetof(Drv_FCB, hostKey) == 87);
static_assert(offsetof(Drv_FCB, value99) == 99);
static_assert(offsetof(Drv_FCB, value101) == 101);
static_assert(offsetof(Drv_FCB, redirectTarget) == 104);
static_assert(offsetof(Drv_FCB, registration) == 108);
static_assert(offsetof(Drv_FCB, declaration) == 112);
static_assert(offsetof(Drv_FCB, currentKey) == 116);
static_assert(offsetof(Drv_FCB, driverFlags) == 120);
static_assert(offsetof(Drv_FCB, lockDepth) == 121);
static_assert(offsetof(Drv_FCB, file) == 122);
static_assert(offsetof(Drv_FCB, currentPosition) == 126);
static_assert(offsetof(Drv_FCB, lastTransfer) == 130);
static_assert(offsetof(Drv_FCB, fileSize) == 134);
static_assert(offsetof(Drv_FCB, nextPosition) == 138);
static_assert(offsetof(Drv_FCB, bufferSize) == 142);
static_assert(offsetof(Drv_FCB, buffer) == 146);
static_assert(offsetof(Drv_FCB, oemBuffer) == 150);
static_assert(offsetof(Drv_FCB, blankRecord) == 154);
static_assert(sizeof(Drv_FCB) == 158);
#else
static_assert(sizeof(FieldDesc50) == 50 + 4 * 4);
static_assert(offsetof(Drv_FCB, driverFlags) > offsetof(Drv_FCB, currentKey));
#endif
