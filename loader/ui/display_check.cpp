#include "display_check.h"

#include <QFileInfo>

namespace vrx {

QString ReadEnvironment(const char* name) {
    return qEnvironmentVariable(name);
}

std::optional<QString> MissingDisplayMessage(const QString& programPath,
                                             const EnvironmentReader& env) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!env(name).isEmpty()) return std::nullopt;
    }
    const QString program = QFileInfo(programPath).fileName();
    return QStringLiteral(
               "%1: the loader is a desktop window and needs a display, but neither DISPLAY "
               "nor WAYLAND_DISPLAY is set.\n"
               "Run it from a desktop session, or under a virtual X display:\n"
               "    xvfb-run -a %2\n"
               "(xvfb-run comes with the Debian package xvfb; scripts/install-deps.sh installs "
               "it.)\n")
        .arg(program, programPath);
}

}  // namespace vrx
