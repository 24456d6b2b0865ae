// What `x9rec --help` prints: the usage, the script language and the
// operations the console knows by name.
#pragma once

#include <string>

namespace x9rec {

std::string UsageText();

}  // namespace x9rec
