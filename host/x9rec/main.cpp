// x9rec PLUGIN [SCRIPT]: loads a driver plug-in and runs the script (or
// standard input) against it.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string_view>

#include "script_runner.h"
#include "usage_text.h"

namespace {

std::string consoleDirectory(const char* argv0) {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || self.filename().string().find("qemu") != std::string::npos) self = argv0;
    return std::filesystem::absolute(self, ec).parent_path().string();
}

}  // namespace

int main(int argc, char** argv) {
    // Options come alone: a plug-in named "--help" is never what was meant.
    if (argc == 2) {
        const std::string_view option = argv[1];
        if (option == "-h" || option == "--help") {
            std::cout << x9rec::UsageText();
            return 0;
        }
        if (option == "--version") {
            std::cout << "x9rec " << X9REC_VERSION << "\n";
            return 0;
        }
    }
    if (argc < 2 || argc > 3 || argv[1][0] == '-') {
        std::cerr << "usage: x9rec PLUGIN [SCRIPT] (x9rec --help tells more)\n";
        return x9rec::kScriptUnparsable;
    }
    // One result line at a time, so that a program driving the console
    // through a pipe sees each answer before it sends the next line.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        x9host::Plugin plugin(x9rec::pluginPath(argv[1], consoleDirectory(argv[0])));
        if (argc == 3) {
            std::ifstream script(argv[2]);
            if (!script) {
                std::cerr << "x9rec: cannot read " << argv[2] << "\n";
                return 1;
            }
            return x9rec::runScript(plugin, script, std::cout, std::cerr);
        }
        return x9rec::runScript(plugin, std::cin, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "x9rec: " << e.what() << "\n";
        return 1;
    }
}
