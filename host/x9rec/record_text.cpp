#include "record_text.h"

#include <cstdio>

namespace x9rec {

std::string quoteBytes(std::string_view bytes) {
    std::string out = "\"";
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        }
    }
    out += '"';
    return out;
}

}  // namespace x9rec
