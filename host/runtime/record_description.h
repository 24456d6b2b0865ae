// Record descriptions from a small declarative form: a list of fields, each a
// type code and a size, optionally placed at an offset. The fields sit inside
// one group (description 0) whose length is the end of the last byte.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "x9runx.h"

namespace x9host {

struct FieldSpec {
    uint8_t type = 18;
    int32_t size = 0;               // bytes of the whole field
    std::optional<int32_t> offset;  // placed after the previous field when absent
    uint8_t level = 1;
    std::vector<int32_t> dimensions;
    uint8_t places = 0;
    int32_t groups = 0;
    std::string name, label, comment, text100, text298;
};

struct RecordDescription {
    std::unique_ptr<class_descriptor> descriptor;
    int32_t recordLength = 0;
};

RecordDescription describeRecord(const std::vector<FieldSpec>& fields);

// "TYPE:SIZE[@OFFSET],..." (decimal); nothing when the text is malformed.
std::optional<std::vector<FieldSpec>> parseFieldList(const std::string& text);

}  // namespace x9host
