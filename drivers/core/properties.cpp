#include "properties.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "block.h"
#include "file_steps.h"
#include "options_trace.h"

namespace drv {

namespace {

enum Property : int32_t {
    kKeyValue = 29440,
    kLogoutNumber = 29441,
    kTraceLine = 29442,
    kTraceFile = 29443,
    kState400 = 29444,
    kState1000 = 29445,
    kState4000 = 29446,
    kValue101 = 29447,
    kDriverName = 29453,
    kRegistrationBit24 = 29454,
    kKeyCount = 29455,
    kHiddenLargeFields = 29456,
    kLargeFields = 29457,
    kFieldCount = 29458,
    kDetailsRestricted = 29459,
    kDriverOptions = 29460,
    kOwner = 29461,
    kName = 29462,
    kLabel = 29463,
    kOem = 29464,
    kAttribute2 = 29465,
    kKeyNumber = 29466,
    kKeyFlag21 = 29467,
    kKeyFlag02 = 29468,
    kKeyFlag04 = 29469,
    kKeyFlag10 = 29470,
    kComponentField = 29471,
    kComponentValue = 29472,
    kLargeFieldFlag = 29473,
    kDecimalPlaces = 29474,
    kElementCount = 29475,
    kOverlaid = 29476,
    kTraceDetails = 29481,
    kRegistrationBit22 = 29508,
    kRedirectTarget = 29510,
    kFileSize = 29511,
    kOffersOperation = 29512,
    kOffersFieldType = 29513,
    kTypeName = 31745,
    kContents = 31744,
    kKeyValueByNumber = 31851,
    kPerThread = 31893,
    kSize = 31929,
    kContentsToo = 31935,
    kCreateAllowed = 31942,
};

constexpr int32_t kUnsupported = 80;
constexpr int32_t kStateFlipped = 0x8000;
constexpr uint8_t kGroupType = 22;

void answerNumber(Operation& op, int64_t value) {
    op.resultText = std::to_string(value);
}
void answerFlag(Operation& op, bool value) {
    op.resultText = value ? "1" : "";
}
void answerText(Operation& op, const char* text) {
    op.resultText = text ? text : "";
}

// Bit n of the little-endian word at offset 0x6E of the registration.
bool registrationBit(const DrvReg& registration, int bit) {
    return registration.attributes[bit / 8] & (1u << (bit % 8));
}

const Drv_KCB* keyAt(const Drv_FCB& fcb, int32_t number) {
    if (!fcb.keyTable || number < 1 || number > fcb.keyCount) return nullptr;
    return static_cast<const Drv_KCB*>(fcb.keyTable) + (number - 1);
}

const LargeFieldDesc* largeFields(const Drv_FCB& fcb) {
    return static_cast<const LargeFieldDesc*>(fcb.largeFieldTable);
}

int32_t countLargeFields(const Drv_FCB& fcb, bool hidden) {
    int32_t count = 0;
    for (int32_t i = 0; largeFields(fcb) && i < fcb.largeFieldCount; ++i)
        count += ((largeFields(fcb)[i].flags & kLargeFieldHidden) != 0) == hidden;
    return count;
}

// The (-index)-th large field among those negative indexes may name.
LargeFieldDesc* largeFieldAt(const Drv_FCB& fcb, int32_t index) {
    auto* table = static_cast<LargeFieldDesc*>(fcb.largeFieldTable);
    int64_t wanted = -int64_t{index};
    for (int32_t i = 0; table && i < fcb.largeFieldCount; ++i) {
        if (table[i].flags & kLargeFieldHidden) continue;
        if (--wanted == 0) return &table[i];
    }
    return nullptr;
}

FieldDesc50* fieldAt(const Drv_FCB& fcb, int32_t index) {
    if (!fcb.fieldTable || index < 1 || index > fcb.fieldCount) return nullptr;
    return &fcb.fieldTable[index - 1];
}

void getFileProperty(Operation& op, int32_t code) {
    Drv_FCB& fcb = *op.fcb;
    const DrvReg& registration = *fcb.registration;
    switch (code) {
        case kKeyValue: {
            const Drv_KCB* key = (fcb.stateFlags & 0x4000) ? fcb.hostKey : fcb.currentKey;
            if (key) answerNumber(op, key->value29);
            break;
        }
        case kLogoutNumber:
            answerNumber(op, Hrt$getLogoutNumber(op.declaration));
            break;
        case kTraceFile:
            if (fcb.traceOn) answerText(op, fcb.traceFileName);
            break;
        case kState400:
            answerFlag(op, fcb.stateFlags & 0x400);
            break;
        case kState1000:
            answerFlag(op, fcb.stateFlags & 0x1000);
            break;
        case kState4000:
            answerFlag(op, fcb.stateFlags & 0x4000);
            break;
        case kValue101:
            answerNumber(op, (fcb.stateFlags & 0x4000) ? fcb.value101 : 0);
            break;
        case kDriverName:
            answerText(op, registration.driverName);
            break;
        case kRegistrationBit24:
            answerFlag(op, registrationBit(registration, 24));
            break;
        case kKeyCount:
            answerNumber(op, fcb.keyCount);
            break;
        case kHiddenLargeFields:
            answerNumber(op, countLargeFields(fcb, true));
            break;
        case kLargeFields:
            answerNumber(op, countLargeFields(fcb, false));
            break;
        case kFieldCount:
            answerNumber(op, fcb.fieldCount);
            break;
        case kDetailsRestricted:
            answerFlag(op, fcb.attributes & kAttrDetailsRestricted);
            break;
        case kDriverOptions:
            answerText(op, fcb.driverOptions);
            break;
        case kOwner:
            answerText(op, fcb.owner);
            break;
        case kName:
            answerText(op, fcb.fileName);
            break;
        case kLabel:
            answerText(op, fcb.fileLabel);
            break;
        case kOem:
            answerFlag(op, fcb.attributes & kAttrOem);
            break;
        case kAttribute2:
            answerFlag(op, fcb.attributes & 0x04);
            break;
        case kTraceDetails:
            answerFlag(op, fcb.traceDetails != 0);
            break;
        case kRegistrationBit22:
            answerFlag(op, registrationBit(registration, 22));
            break;
        case kRedirectTarget:
            answerText(op, fcb.redirectTarget);
            break;
        case kFileSize: {
            uint32_t size = 0;
            op.error = takeFileSize(fcb, size);
            if (op.error == 0) answerNumber(op, size);
            fcb.controlFlags |= kCtlClearError;
            break;
        }
        case kPerThread:
            answerFlag(op, fcb.attributes & kAttrPerThread);
            break;
        case kCreateAllowed:
            answerFlag(op, fcb.attributes & kAttrCreateAllowed);
            break;
        default:
            break;
    }
}

void getFieldProperty(Operation& op, int32_t code, int32_t index) {
    const FieldDesc50* field = fieldAt(*op.fcb, index);
    if (!field) return;
    switch (code) {
        case kFieldCount:
            answerNumber(op, field->type == kGroupType ? field->groups : 1);
            break;
        case kName:
            if (field->name && (!field->label || std::strcmp(field->name, field->label) != 0))
                answerText(op, field->name);
            break;
        case kLabel:
            answerText(op, field->label);
            break;
        case kDecimalPlaces:
            // Only drivers whose records may hold decimal fields know places.
            if ((field->type == 10 || field->type == 11) &&
                offersFieldType(*op.fcb->registration, field->type))
                answerNumber(op, field->extra.decimal.places);
            break;
        case kElementCount:
            answerNumber(op, field->elementCount > 1 ? field->elementCount : 0);
            break;
        case kOverlaid:
            answerNumber(op, field->firstOverlaid);
            break;
        case kTypeName:
            answerText(op, drv_GetTypeName(field->type));
            break;
        case kSize:
            answerNumber(op, field->size);
            break;
        default:
            break;
    }
}

void getLargeFieldProperty(Operation& op, int32_t code, int32_t index) {
    const LargeFieldDesc* field = largeFieldAt(*op.fcb, index);
    if (!field) return;
    switch (code) {
        case kName:
            answerText(op, field->name);
            break;
        case kLabel:
            answerText(op, field->label);
            break;
        case kLargeFieldFlag:
            answerFlag(op, field->flags & kLargeFieldReported);
            break;
        case kSize:
            answerNumber(op, field->size);
            break;
        case kContents:
        case kContentsToo:
            if (field->contents && field->size > 0)
                op.resultText.assign(reinterpret_cast<const char*>(field->contents),
                                     static_cast<std::size_t>(field->size));
            break;
        default:
            break;
    }
}

// v = 0 clears the flag; any other value flips it and stores 101 - v, with v
// held to 1..100.
void setPriority(Drv_FCB& fcb, const char* value) {
    int32_t v = std::atoi(value);
    if (v == 0) {
        fcb.stateFlags &= ~kStateFlipped;
        return;
    }
    fcb.stateFlags ^= kStateFlipped;
    v = std::clamp(v, 1, 100);
    fcb.value99 = static_cast<int16_t>(101 - v);
}

// Returns the new copy; takes the old text by value, as the fields are
// packed and may not be bound to a reference.
char* replacedText(char* old, const char* value) {
    Hrt$free(old);
    return copyText(value);
}

void setFileProperty(Operation& op, int32_t code, const char* value, int32_t length) {
    Drv_FCB& fcb = *op.fcb;
    switch (code) {
        case kLogoutNumber:
            op.error = kUnsupported;
            break;
        case kTraceLine:
            writeTraceLine(fcb, value, length);
            break;
        case kTraceFile:
            switchTraceFile(fcb, value, length);
            break;
        case kState4000:
            setPriority(fcb, value);
            break;
        case kDriverOptions:
            fcb.driverOptions = replacedText(fcb.driverOptions, value);
            fcb.changedStrings |= 0x4;
            break;
        case kOwner:
            fcb.owner = replacedText(fcb.owner, value);
            fcb.changedStrings |= 0x2;
            break;
        case kName:
            fcb.fileName = replacedText(fcb.fileName, value);
            fcb.changedStrings |= 0x1;
            break;
        case kOem:
            if (std::atoi(value) != 0)
                fcb.attributes |= kAttrOem;
            else
                fcb.attributes &= static_cast<uint8_t>(~kAttrOem);
            break;
        case kTraceDetails:
            fcb.traceDetails = static_cast<uint8_t>(std::atoi(value));
            break;
        default:
            break;
    }
}

// The host fills or cuts the value to the contents' size.
void setLargeFieldContents(Operation& op, int32_t index, const char* value, int32_t length) {
    LargeFieldDesc* field = largeFieldAt(*op.fcb, index);
    if (!field || !field->contents) return;
    Hrt$PushString(value, length);
    Hrt$PopString(reinterpret_cast<char*>(field->contents), field->size);
}

bool listHolds(const uint8_t* list, int32_t value) {
    for (int i = 1; i <= list[0]; ++i)
        if (list[i] == value) return true;
    return false;
}

}  // namespace

int32_t propertyCode(const HrtString& text) {
    if (!text.text || text.length <= 0) return 0;
    std::string copy(text.text, static_cast<std::size_t>(text.length));
    return std::atoi(copy.c_str());
}

bool offersOperation(const DrvReg& registration, int32_t code) {
    const uint8_t* list = registration.operationList;
    return list && listHolds(list, code);
}

bool offersFieldType(const DrvReg& registration, int32_t type) {
    const uint8_t* list = registration.operationList;
    return list && listHolds(list + 1 + list[0], type);
}

void getProperty(const DriverDefinition&, Operation& op) {
    int32_t code = propertyCode(op.stringA);
    auto index = static_cast<int32_t>(op.arg(0));
    Drv_FCB& fcb = *op.fcb;
    if (code == kOffersOperation || code == kOffersFieldType) {
        if (index >= 0)
            answerFlag(op, code == kOffersOperation ? offersOperation(*fcb.registration, index)
                                                    : offersFieldType(*fcb.registration, index));
        return;
    }
    if (index == 0) return getFileProperty(op, code);
    if (index < 0) return getLargeFieldProperty(op, code, index);
    if (code == kKeyValueByNumber) {
        if (const Drv_KCB* key = keyAt(fcb, index)) answerNumber(op, key->value29);
        return;
    }
    getFieldProperty(op, code, index);
}

void setProperty(const DriverDefinition&, Operation& op) {
    int32_t code = propertyCode(op.stringB);
    auto index = static_cast<int32_t>(op.arg(0));
    std::string value(op.stringA.text ? op.stringA.text : "",
                      static_cast<std::size_t>(std::max(op.stringA.length, 0)));
    value.resize(std::strlen(value.c_str()));  // the value is taken as a C string
    auto length = static_cast<int32_t>(value.size());
    if (index == 0) return setFileProperty(op, code, value.c_str(), length);
    if (index > 0) {
        if (FieldDesc50* field = fieldAt(*op.fcb, index); field && code == kName)
            field->name = replacedText(field->name, value.c_str());
        return;
    }
    if (code == kContents || code == kContentsToo)
        setLargeFieldContents(op, index, value.c_str(), length);
}

// The key's number at offset 16 counts its components; an index outside
// 1..number names no component and gets an empty answer.
void getKeyProperty(Operation& op) {
    const Drv_KCB* key = op.kcb;
    if (!key) return;
    int32_t code = propertyCode(op.stringA);
    auto index = static_cast<int32_t>(op.arg(0));
    uint8_t flags = key->flags;
    switch (code) {
        case kName:
            answerText(op, key->name);
            break;
        case kLabel:
            answerText(op, key->secondText);
            break;
        case kKeyNumber:
            answerNumber(op, key->number);
            break;
        case kKeyFlag21:
            answerFlag(op, flags & 0x21);
            break;
        case kKeyFlag02:
            answerFlag(op, flags & 0x02);
            break;
        case kKeyFlag04:
            answerFlag(op, flags & 0x04);
            break;
        case kKeyFlag10:
            answerFlag(op, flags & 0x10);
            break;
        case kComponentField:
        case kComponentValue: {
            if (!key->components || index < 1 || index > key->number) break;
            const KeyComponent& component =
                static_cast<const KeyComponent*>(key->components)[index - 1];
            if (code == kComponentValue) {
                answerFlag(op, component.value != 1);
            } else if (component.field) {
                answerNumber(op, static_cast<uint32_t>(component.field->fieldNumber) + 1u);
            }
            break;
        }
        case kTypeName:
            answerText(op, (flags & 0x20) ? "INDEX" : "KEY");
            break;
        default:
            break;
    }
}

}  // namespace drv
