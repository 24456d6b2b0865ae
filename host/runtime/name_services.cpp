// The runtime's text helpers for drivers: C strings from counted texts, the
// name check that makes a name absolute, upper-casing, the driver-string
// token walk, and copying or renaming a file.
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "x9runx.h"

namespace {

// Where each block's driver-string walk stands; one walk per thread and block.
thread_local std::map<const Drv_FCB*, std::size_t> walks;

bool isSeparator(char c) {
    return c == '/' || std::isspace(static_cast<unsigned char>(c));
}

}  // namespace

extern "C" {

char* drv_MakeCSTRING(const char* text, int32_t length) {
    if (!text) return nullptr;
    std::size_t n;
    if (length == -1) {
        n = std::strlen(text);
    } else if (length == -2) {
        n = static_cast<uint8_t>(text[0]);
        ++text;
    } else if (length < 0) {
        return nullptr;
    } else {
        n = static_cast<std::size_t>(length);
    }
    char* copy = static_cast<char*>(Hrt$calloc(n + 1, 1));
    if (copy) std::memcpy(copy, text, n);
    return copy;
}

int32_t drv_ChkName(const char* name, char* buffer260, const char*, int32_t) {
    if (!name || !*name) return kOsPathNotFound;
    std::error_code ec;
    std::filesystem::path path(name);
    if (path.is_relative()) path = std::filesystem::current_path(ec) / path;
    if (ec) return kOsPathNotFound;
    std::string full = path.lexically_normal().string();
    if (full.size() >= 260) return kOsPathNotFound;
    std::memcpy(buffer260, full.c_str(), full.size() + 1);
    return 0;
}

char* drv_Strup(char* text) {
    for (char* c = text; c && *c; ++c)
        *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    return text;
}

// Tokens of the block's driver string, split at '/' and blanks; a length of 0
// ends the walk and the next call starts again from the beginning.
void drv_NextDrvStr(Drv_FCB* fcb, char* buffer, int32_t* length) {
    const char* text = fcb && fcb->driverOptions ? fcb->driverOptions : "";
    std::size_t at = walks[fcb];
    std::size_t size = std::strlen(text);
    while (at < size && isSeparator(text[at])) ++at;
    std::size_t start = at;
    while (at < size && !isSeparator(text[at])) ++at;
    std::size_t n = at - start;
    if (n == 0) {
        walks.erase(fcb);
        *length = 0;
        if (buffer) buffer[0] = '\0';
        return;
    }
    walks[fcb] = at;
    std::size_t room = *length > 0 ? static_cast<std::size_t>(*length) - 1 : 0;
    std::size_t copied = std::min(n, room);
    if (buffer) {
        std::memcpy(buffer, text + start, copied);
        buffer[copied] = '\0';
    }
    *length = static_cast<int32_t>(copied);
}

int32_t drv_CopyOrRenameFile(const char* name, const char* target, int32_t rename) {
    if (!name || !target) return kOsFileNotFound;
    std::error_code ec;
    if (rename) {
        std::filesystem::rename(name, target, ec);
    } else {
        std::filesystem::copy_file(name, target, std::filesystem::copy_options::overwrite_existing,
                                   ec);
    }
    if (!ec) return 0;
    if (ec == std::errc::no_such_file_or_directory) return kOsFileNotFound;
    return kOsAccessDenied;
}

}  // extern "C"
