// Shared by the driver fuzz targets: the two plug-ins loaded once, a scratch
// folder of this process and file helpers.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "driver_call.h"
#include "host_control.h"

namespace x9fuzz {

inline const x9host::Plugin& dosPlugin() {
    static const x9host::Plugin plugin(X9DOSX_PATH);
    return plugin;
}

inline const x9host::Plugin& asciiPlugin() {
    static const x9host::Plugin plugin(X9ASCX_PATH);
    return plugin;
}

// One folder per fuzzing process, so parallel jobs never share a file.
inline const std::string& scratchFolder() {
    static const std::string folder = [] {
        auto base = std::filesystem::temp_directory_path() / "x9fuzz";
        std::filesystem::create_directories(base);
        std::string pattern = (base / "fXXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        return pattern;
    }();
    return folder;
}

inline std::string scratchFile(const std::string& name) {
    return scratchFolder() + "/" + name;
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline x9host::CallResult call(const x9host::Plugin& plugin, x9host::Declaration& decl,
                               int32_t code, const std::vector<intptr_t>& args = {},
                               const std::vector<std::string>& strings = {}) {
    return x9host::callDriver(plugin, decl, code, args, strings);
}

}  // namespace x9fuzz
