// Whether the window can be shown here: a desktop session (X11 or Wayland) or
// an explicitly chosen Qt platform. Without one the program says how to run it
// under a virtual display instead of failing inside Qt.
#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace vrx {

// Reads an environment variable ("" when unset).
using EnvironmentReader = std::function<QString(const char* name)>;

QString ReadEnvironment(const char* name);

// The message to print when no display is available, or nothing when the
// window can be shown.
std::optional<QString> MissingDisplayMessage(const QString& programPath,
                                             const EnvironmentReader& env = ReadEnvironment);

}  // namespace vrx
