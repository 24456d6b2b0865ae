// Builds class descriptors from field lists and parses the console's
// "TYPE:SIZE@OFFSET" form.
#include "record_description.h"

#include <charconv>
#include <cstring>

namespace x9host {

namespace {

void putInt(uint8_t* raw, std::size_t at, int32_t value) {
    std::memcpy(raw + at, &value, 4);
}

void putText(uint8_t* raw, std::size_t at, const std::string& text) {
    std::memcpy(raw + at, text.c_str(), std::min(text.size(), fd::kTextSize - 1));
}

bool parseNumber(std::string_view text, int32_t& value) {
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= 0;
}

}  // namespace

RecordDescription describeRecord(const std::vector<FieldSpec>& fields) {
    std::vector<class_descriptor::Field> out(fields.size() + 1);
    int32_t next = 0;
    int32_t end = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const FieldSpec& spec = fields[i];
        auto& field = out[i + 1];
        int32_t offset = spec.offset.value_or(next);
        int32_t count = 1;
        for (int32_t d : spec.dimensions) count *= d;
        int32_t elementSize = count > 0 ? spec.size / count : spec.size;
        field.raw[fd::kType] = spec.type;
        putInt(field.raw, fd::kOffset, offset);
        putInt(field.raw, fd::kElementSize, elementSize);
        field.raw[fd::kDimensionCount] =
            static_cast<uint8_t>(std::min(spec.dimensions.size(), fd::kMaxDimensions));
        for (std::size_t d = 0; d < spec.dimensions.size() && d < fd::kMaxDimensions; ++d)
            putInt(field.raw, fd::kDimensions + 4 * d, spec.dimensions[d]);
        field.raw[fd::kPlaces] = spec.places;
        putInt(field.raw, fd::kGroups, spec.groups);
        field.raw[fd::kLevel] = spec.level;
        putText(field.raw, fd::kText100, spec.text100);
        putText(field.raw, fd::kText298, spec.text298);
        field.name = spec.name.empty() ? "F" + std::to_string(i + 1) : spec.name;
        field.label = spec.label.empty() ? field.name : spec.label;
        field.comment = spec.comment;
        // A group's size covers its members, which follow it.
        next = spec.type == 22 ? offset : offset + spec.size;
        end = std::max(end, offset + spec.size);
    }
    auto& record = out[0];
    record.raw[fd::kType] = 22;
    putInt(record.raw, fd::kElementSize, end);
    putInt(record.raw, fd::kGroups, static_cast<int32_t>(fields.size()));
    record.name = record.label = "RECORD";
    RecordDescription description;
    description.descriptor = std::make_unique<class_descriptor>(std::move(out));
    description.recordLength = end;
    return description;
}

std::optional<std::vector<FieldSpec>> parseFieldList(const std::string& text) {
    std::vector<FieldSpec> fields;
    if (!text.empty() && text.back() == ',') return std::nullopt;
    std::string_view rest = text;
    while (!rest.empty()) {
        auto comma = rest.find(',');
        std::string_view item = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
        auto colon = item.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        auto at = item.find('@', colon);
        FieldSpec spec;
        int32_t type = 0;
        if (!parseNumber(item.substr(0, colon), type) || type > 255) return std::nullopt;
        spec.type = static_cast<uint8_t>(type);
        if (!parseNumber(
                item.substr(colon + 1,
                            at == std::string_view::npos ? std::string_view::npos : at - colon - 1),
                spec.size))
            return std::nullopt;
        if (at != std::string_view::npos) {
            int32_t offset = 0;
            if (!parseNumber(item.substr(at + 1), offset)) return std::nullopt;
            spec.offset = offset;
        }
        fields.push_back(spec);
    }
    if (fields.empty()) return std::nullopt;
    return fields;
}

}  // namespace x9host
