// frmLoader and its INI file: the start-up load, the "Load INI file" menu
// entry filling the slots, and what a slot shows when its file is missing.

#include "file_paths.h"
#include "loader_state.h"
#include "loader_window.h"
#include "slot_rules.h"

namespace vrx {

void LoaderWindow::iniStartupLoad() {
    const QString& iniFile = loaderState().sIniFile;
    if (FileExists(iniFile, true)) {
        mnuLoadIni_Click();
        return;
    }
    dialogs_.message(MessageIcon::Information, "No file",
                     QStringLiteral("No INI File found. Expect ") + iniFile +
                         QStringLiteral("\r\nDefault values are NOT set!"));
}

void LoaderWindow::mnuLoadIni_Click() {
    const auto fills = IniSlotFills(loaderState().sIniFile, programFolder_);
    for (int i = 0; i < kSlotCount; ++i) {
        if (fills[i]) applySlotFill(i, *fills[i]);
    }
}

}  // namespace vrx
