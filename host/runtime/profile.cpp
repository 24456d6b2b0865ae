// WIN.INI reads for the drivers' trace settings, from the file named by the
// X9_WININI environment variable (no file: every key has its default).
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>

#include "x9runx.h"

namespace {

std::string trimmed(const std::string& text) {
    auto begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return {};
    auto end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

bool sameText(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::optional<std::string> profileValue(const char* section, const char* key) {
    const char* path = std::getenv("X9_WININI");
    if (!path || !section || !key) return std::nullopt;
    std::ifstream in(path);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        std::string text = trimmed(line);
        if (text.empty() || text[0] == ';') continue;
        if (text.front() == '[') {
            auto close = text.find(']');
            inSection =
                close != std::string::npos && sameText(trimmed(text.substr(1, close - 1)), section);
            continue;
        }
        auto equals = text.find('=');
        if (inSection && equals != std::string::npos &&
            sameText(trimmed(text.substr(0, equals)), key))
            return trimmed(text.substr(equals + 1));
    }
    return std::nullopt;
}

}  // namespace

extern "C" {

uint32_t GetProfileIntA(const char* section, const char* key, int32_t fallback) {
    auto value = profileValue(section, key);
    if (!value || value->empty()) return static_cast<uint32_t>(fallback);
    return static_cast<uint32_t>(std::strtol(value->c_str(), nullptr, 0));
}

uint32_t GetProfileStringA(const char* section, const char* key, const char* fallback, char* buffer,
                           uint32_t size) {
    if (!buffer || size == 0) return 0;
    std::string text = profileValue(section, key).value_or(fallback ? fallback : "");
    std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<uint32_t>(n);
}

}  // extern "C"
