// frmLoader's "Execute Script" menu entry: choose a script file and run it on
// the open port, with its progress and summary in the status bar.
#include <QAction>

#include "loader_state.h"
#include "loader_window.h"
#include "script_runner.h"

namespace vrx {

void LoaderWindow::mnuExecScript_Click() {
    FileDialogRequest request;
    request.title = "Open script file";
    request.filter = "Script Files (.scr)|*.scr|All Files (*.*)|*.*|";
    request.filterIndex = 0;  // the position last used by any file dialog
    request.initialDir = cdlInitDir_;
    request.mustExist = true;
    const std::optional<QString> chosen = dialogs_.openFile(request);
    if (!chosen || chosen->isEmpty()) return;

    mnuExecScript_->setEnabled(false);
    const ScriptHooks hooks =
        LineScriptHooks(line_, [this](const QString& text) { setStatusPanel(text); });
    const int lines = RunScript(*chosen, hooks);
    mnuExecScript_->setEnabled(true);
    setStatusPanel(QStringLiteral("%1 script lines executed.").arg(lines));
}

}  // namespace vrx
