// The field table: one FieldDesc50 per field of the record, made from the
// host's class descriptor when a block is made. It decides whether the
// driver can use the record at all (errors 75 and 79).
#include <cstring>
#include <vector>

#include "block.h"

namespace drv {

namespace {

constexpr std::size_t kGroupStackDepth = 100;
constexpr uint8_t kGroup = 22;

int32_t readInt(const uint8_t* raw, std::size_t at) {
    int32_t value;
    std::memcpy(&value, raw + at, sizeof value);
    return value;
}

char* copyInlineText(const uint8_t* raw, std::size_t at) {
    const char* text = reinterpret_cast<const char*>(raw + at);
    return drv_MakeCSTRING(text, static_cast<int32_t>(strnlen(text, fd::kTextSize)));
}

int32_t elementCount(const uint8_t* raw) {
    int32_t count = 1;
    auto dimensions = static_cast<int8_t>(raw[fd::kDimensionCount]);
    for (int d = 0; d < dimensions && d < static_cast<int>(fd::kMaxDimensions); ++d)
        count *= readInt(raw, fd::kDimensions + 4 * static_cast<std::size_t>(d));
    return count;
}

bool isPlainType(uint8_t type) {
    return (type >= 1 && type <= 9) || type == 13 || type == 14;
}

// Kept per build on the calling thread, so two threads building tables do not
// share the group stack.
struct Walk {
    std::vector<int32_t> groupStack;
    int32_t previousLevel = 0;
    int32_t previousOffset = 0;
    int32_t currentOverlay = 0;
};

int32_t describeField(const DriverDefinition& driver, const ClassDesc& view, int32_t i,
                      FieldDesc50& field, Walk& walk) {
    field.name = view.FIELDNAME(i);
    field.label = view.FIELDLABEL(i);
    char* comment = view.FIELDCOMMENT(i);
    field.noComment = (!comment || !*comment) ? 1 : 0;
    Hrt$free(comment);

    const uint8_t* d = view.FieldDesc(i);
    if (!d) return 75;
    field.type = d[fd::kType];
    field.offset = readInt(d, fd::kOffset);
    field.elementCount = elementCount(d);
    int32_t elementSize = readInt(d, fd::kElementSize);
    field.size = field.elementCount * elementSize;
    int32_t level = d[fd::kLevel];

    if (level < walk.previousLevel) {
        for (int32_t k = 0; k < walk.previousLevel - level && !walk.groupStack.empty(); ++k) {
            walk.currentOverlay = walk.groupStack.back();
            walk.groupStack.pop_back();
        }
    }
    if (walk.currentOverlay) {
        field.overlay = 1;
    } else {
        field.overlay =
            (i > 1 && field.offset <= walk.previousOffset && level <= walk.previousLevel) ? 1 : 0;
    }
    if (field.overlay && !walk.currentOverlay) {
        for (int32_t j = 1; j <= i; ++j) {
            if (readInt(view.FieldDesc(j), fd::kOffset) == field.offset) {
                field.firstOverlaid = j;
                break;
            }
        }
    }
    if (field.type == kGroup) {
        if (walk.groupStack.size() == kGroupStackDepth) return 75;
        walk.groupStack.push_back(walk.currentOverlay);
        walk.currentOverlay = field.overlay;
    }
    walk.previousOffset = field.offset;
    walk.previousLevel = level;
    field.fieldNumber = i - 1;
    field.text100 = copyInlineText(d, fd::kText100);

    if (!driver.layer->acceptsFieldType(field.type)) return field.overlay ? 0 : 79;
    if (field.type == kGroup) {
        field.groups = readInt(d, fd::kGroups);
    } else if (field.type == 10 || field.type == 11) {
        field.extra.decimal.places = d[fd::kPlaces];
        field.extra.decimal.elementSize = static_cast<uint8_t>(elementSize);
    } else if (field.type == 18 || field.type == 19 || field.type == 20) {
        field.extra.charsPerElement = elementSize;
        field.text298 = copyInlineText(d, fd::kText298);
    } else if (!isPlainType(field.type) && !field.overlay) {
        return 79;
    }
    return 0;
}

}  // namespace

int32_t buildFieldTable(const DriverDefinition& driver, Drv_FCB& fcb) {
    ClassDesc view(fcb.declaration ? fcb.declaration->classDescriptor : nullptr, 0);
    int32_t count = view.NFields();
    fcb.fieldCount = count;
    fcb.fieldTable = static_cast<FieldDesc50*>(
        Hrt$calloc(static_cast<std::size_t>(count > 0 ? count : 1), sizeof(FieldDesc50)));
    if (!fcb.fieldTable) {
        fcb.fieldCount = 0;
        return 8;
    }
    const uint8_t* record = view.FieldDesc(0);
    if (!record || record[fd::kType] != kGroup) return 75;
    Walk walk;
    walk.groupStack.reserve(kGroupStackDepth);
    for (int32_t i = 1; i <= count; ++i) {
        if (int32_t error = describeField(driver, view, i, fcb.fieldTable[i - 1], walk); error)
            return error;
    }
    return 0;
}

}  // namespace drv
