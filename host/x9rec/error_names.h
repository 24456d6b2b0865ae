// Short names for the error numbers the drivers and the host's OS layer
// report, so that a console line reads "err=33 (end of file)".
#pragma once

#include <cstdint>
#include <string>

namespace x9rec {

// The name of `err`, or "" for 0 and for numbers without one.
const char* ErrorName(int32_t err);

// "err=N", followed by " (name)" when N has one. The number stays first so
// that scripts reading it keep working.
std::string ErrorText(int32_t err);

}  // namespace x9rec
