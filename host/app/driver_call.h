// Calling a driver operation as the host does: push the string arguments,
// call the entry with the extra arguments, and read back the numeric result,
// the error handed to the runtime and the result string.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "declaration.h"
#include "plugin.h"

namespace x9host {

struct CallResult {
    int32_t ret = 0;
    int32_t err = 0;                 // 0 when the operation reported none
    std::optional<std::string> str;  // for the codes that hand back a string
};

// Strings are given in the order the driver pops them (A, then B).
CallResult callDriver(const Plugin& plugin, Declaration& declaration, int32_t code,
                      const std::vector<intptr_t>& args = {},
                      const std::vector<std::string>& strings = {});

// Closes the file and lets the driver discard its block, as the host does
// before it drops a declaration.
void releaseDeclaration(const Plugin& plugin, Declaration& declaration);

}  // namespace x9host
