// How x9rec shows bytes inside quotes: printable ASCII as is, `"` and `\`
// escaped, every other byte as \xHH.
#pragma once

#include <string>
#include <string_view>

namespace x9rec {

std::string quoteBytes(std::string_view bytes);

}  // namespace x9rec
