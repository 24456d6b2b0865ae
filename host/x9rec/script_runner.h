// The x9rec console: runs a script of driver operations against a loaded
// plug-in, one result line per operation.
#pragma once

#include <iosfwd>
#include <string>

#include "plugin.h"

namespace x9rec {

inline constexpr int kScriptDone = 0;
inline constexpr int kScriptUnparsable = 2;

// Runs every line; answers kScriptDone at the end of the script, or
// kScriptUnparsable at the first line it cannot parse (named on err).
int runScript(const x9host::Plugin& plugin, std::istream& in, std::ostream& out, std::ostream& err);

// PLUGIN as given on the command line: DOS and ASCII name the plug-ins built
// beside the console, anything else is a path.
std::string pluginPath(const std::string& argument, const std::string& consoleDirectory);

}  // namespace x9rec
